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
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_progressTimer, &QTimer::timeout, this, &CStatusLine::ApplyProgress);

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
        m_progressTimer.stop();
        m_progress->hide();
        return;
    }
    m_done = done < 0 ? 0 : (done > total ? total : done);
    m_total = total;
    // The bar repaints at once when its value changes: at most about sixty
    // times a second, the first and the last value always shown.
    if (m_progress->isHidden() || m_done == m_total || !m_lastProgress.isValid() ||
        m_lastProgress.elapsed() >= kProgressEveryMs) {
        ApplyProgress();
    } else if (!m_progressTimer.isActive()) {
        m_progressTimer.start(static_cast<int>(kProgressEveryMs - m_lastProgress.elapsed()));
    }
}

void CStatusLine::ApplyProgress() {
    m_progressTimer.stop();
    m_lastProgress.start();
    m_progress->setRange(0, m_total);
    m_progress->setValue(m_done);
    m_progress->show();
}

bool CStatusLine::ProgressVisible() const {
    return !m_progress->isHidden();
}

QString CStatusLine::ProgressText() const {
    if (m_progress->isHidden())
        return QString();
    return m_progress->format()
        .replace(QStringLiteral("%v"), QString::number(m_done))
        .replace(QStringLiteral("%m"), QString::number(m_total));
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
