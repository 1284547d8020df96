#include "ui/StatusLine.h"

#include "ui/DisplayText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

CStatusLine::CStatusLine(QWidget* parent)
    : QWidget(parent), m_label(new QLabel(this)), m_wait(new QLabel(this)),
      m_progress(new QProgressBar(this)) {
    m_label->setObjectName(QStringLiteral("statusText"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_wait->setObjectName(QStringLiteral("waitText"));
    m_wait->setTextFormat(Qt::PlainText);
    m_wait->hide();
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_progress->setTextVisible(true);
    m_progress->setMaximumWidth(220);
    m_progress->hide();

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(m_label, 1);
    layout->addWidget(m_wait);
    layout->addWidget(m_progress);
}

void CStatusLine::ShowStatus(const std::string& text) {
    m_text = DisplayText(text);
    UpdateLabel();
    m_label->repaint();
}

void CStatusLine::ShowWait(const QString& text, const QString& detail) {
    m_wait->setText(text);
    m_wait->setToolTip(detail);
    m_wait->setVisible(!text.isEmpty());
}

QString CStatusLine::WaitText() const {
    return m_wait->isHidden() ? QString() : m_wait->text();
}

void CStatusLine::ShowProgress(int done, int total) {
    if (total <= 0) {
        m_progress->hide();
        return;
    }
    m_progress->setRange(0, total);
    m_progress->setValue(done < 0 ? 0 : (done > total ? total : done));
    m_progress->show();
}

bool CStatusLine::ProgressVisible() const {
    return !m_progress->isHidden();
}

QString CStatusLine::ProgressText() const {
    return m_progress->isHidden() ? QString() : m_progress->text();
}

void CStatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    UpdateLabel();
}

void CStatusLine::UpdateLabel() {
    // A long text is cut with an ellipsis; the tool tip holds it whole.
    const int width = m_label->width() > 0 ? m_label->width() : this->width();
    m_label->setText(m_label->fontMetrics().elidedText(m_text, Qt::ElideRight, width));
    m_label->setToolTip(m_label->text() == m_text ? QString() : m_text);
}
