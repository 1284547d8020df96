#include "ui/StatusLine.h"

#include "ui/DisplayText.h"

#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <vector>

namespace {

constexpr int kMargin = 4;
constexpr int kSpacing = 6;

QLabel* MakeLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    return label;
}

// `text` in `label`, cut to `width` at a character boundary with "…".
void SetCut(QLabel* label, const QString& text, const QString& detail, int width) {
    const QString shown = label->fontMetrics().elidedText(text, Qt::ElideRight, width);
    label->setText(shown);
    label->setToolTip(!detail.isEmpty() ? detail : (shown == text ? QString() : text));
}

} // namespace

CStatusLine::CStatusLine(QWidget* parent)
    : QWidget(parent), m_label(MakeLabel("statusText", this)), m_wait(MakeLabel("waitText", this)),
      m_count(MakeLabel("progressText", this)), m_progress(new QProgressBar(this)) {
    m_progress->setObjectName(QStringLiteral("progress"));
    // The count is a label of its own: a bar's text may wrap when narrow.
    m_progress->setTextVisible(false);
    m_wait->hide();
    m_count->hide();
    m_progress->hide();
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_progressTimer, &QTimer::timeout, this, &CStatusLine::ApplyProgress);
}

void CStatusLine::ShowStatus(const std::string& text) {
    m_text = DisplayText(text);
    Relayout();
    m_label->repaint();
}

void CStatusLine::ShowWait(const QString& text, const QString& detail) {
    m_waitText = text;
    m_waitDetail = detail;
    Relayout();
}

QString CStatusLine::WaitText() const {
    return m_waitText;
}

void CStatusLine::ShowProgress(int done, int total) {
    if (total <= 0) {
        m_progressTimer.stop();
        m_progressShown = false;
        Relayout();
        return;
    }
    m_done = done < 0 ? 0 : (done > total ? total : done);
    m_total = total;
    // The bar repaints at once when its value changes: at most about sixty
    // times a second, the first and the last value always shown.
    if (!m_progressShown || m_done == m_total || !m_lastProgress.isValid() ||
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
    const bool wasShown = m_progressShown;
    m_progressShown = true;
    if (!wasShown || ProgressText() != m_count->toolTip())
        Relayout();
}

bool CStatusLine::ProgressVisible() const {
    return m_progressShown;
}

QString CStatusLine::ProgressText() const {
    if (!m_progressShown)
        return QString();
    return QStringLiteral("%1 / %2").arg(m_done).arg(m_total);
}

QString CStatusLine::ShownStatus() const {
    return m_label->text();
}

QString CStatusLine::ShownWait() const {
    return m_wait->isHidden() ? QString() : m_wait->text();
}

QString CStatusLine::ShownProgress() const {
    return m_count->isHidden() ? QString() : m_count->text();
}

void CStatusLine::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void CStatusLine::Relayout() {
    const QFontMetrics metrics = fontMetrics();
    const QString count = ProgressText();
    // The parts after the status text, in order; the bar is short and fixed.
    struct Part {
        QLabel* label;
        QString text;
        QString detail;
        int natural;
    };
    std::vector<Part> parts;
    if (!m_waitText.isEmpty())
        parts.push_back({m_wait, m_waitText, m_waitDetail, metrics.horizontalAdvance(m_waitText)});
    if (!count.isEmpty())
        parts.push_back({m_count, count, count, metrics.horizontalAdvance(count)});
    m_wait->setVisible(!m_waitText.isEmpty());
    m_count->setVisible(!count.isEmpty());
    m_progress->setVisible(m_progressShown);

    const int barWidth = m_progressShown ? std::min(80, width() / 5) : 0;
    int room = width() - 2 * kMargin - barWidth;
    room -= kSpacing * static_cast<int>(parts.size() + (m_progressShown ? 1 : 0));
    room = std::max(room, 0);
    // The status text keeps at least two fifths of the room; the other parts
    // share what it does not need.
    const int statusNatural = m_text.isEmpty() ? 0 : metrics.horizontalAdvance(m_text);
    int othersNatural = 0;
    for (const Part& part : parts)
        othersNatural += part.natural;
    const int statusWidth =
        parts.empty() ? room
                      : std::min(statusNatural, std::max(room * 2 / 5, room - othersNatural));
    int left = room - statusWidth;

    int x = kMargin;
    const int h = height();
    m_label->setGeometry(x, 0, statusWidth, h);
    SetCut(m_label, m_text, {}, statusWidth);
    x += statusWidth;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        Part& part = parts[i];
        // The last part takes what is left; the others no more than their share.
        const int share =
            i + 1 == parts.size() ? left : std::min(part.natural, std::max(left / 2, 0));
        x += kSpacing;
        part.label->setGeometry(x, 0, share, h);
        SetCut(part.label, part.text, part.detail, share);
        x += share;
        left -= share;
    }
    if (m_progressShown) {
        x += kSpacing;
        m_progress->setGeometry(x, (h - std::min(h, 12)) / 2, barWidth, std::min(h, 12));
    }
}
