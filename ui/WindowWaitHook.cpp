#include "ui/WindowWaitHook.h"

#include "ui/StatusLine.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
// The status line's figures change this often; painting goes on at every report.
constexpr qint64 kShowEveryMs = 200;

bool IsUserInput(QEvent::Type type) {
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}
} // namespace

CWindowWaitHook::CWindowWaitHook(CStatusLine* statusLine, std::function<void()> ended,
                                 QObject* parent)
    : QObject(parent), m_statusLine(statusLine), m_ended(std::move(ended)) {}

CWindowWaitHook::~CWindowWaitHook() {
    StopFiltering();
}

void CWindowWaitHook::OnWaiting(const WaitProgress& progress) {
    if (!m_waiting) {
        m_waiting = true;
        QCoreApplication::instance()->installEventFilter(this);
        m_lastShown.invalidate();
    }
    if (!m_lastShown.isValid() || m_lastShown.elapsed() >= kShowEveryMs) {
        m_lastShown.start();
        m_statusLine->ShowWait(QString::fromStdString(FormatWaitProgressShort(progress)),
                               QString::fromStdString(FormatWaitProgress(progress)));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void CWindowWaitHook::OnWaitUnreported() {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CWindowWaitHook::OnBusy() {
    QCoreApplication* app = QCoreApplication::instance();
    if (m_waiting || app == nullptr) {
        if (app != nullptr)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        return;
    }
    m_busy = true;
    app->installEventFilter(this);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(this);
    m_busy = false;
}

void CWindowWaitHook::OnWaitEnded() {
    if (!m_waiting)
        return;
    // Input that arrived since the last report is dropped as well.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    StopFiltering();
    m_statusLine->ShowWait({}, {});
    if (m_ended)
        m_ended();
}

void CWindowWaitHook::StopFiltering() {
    if (!m_waiting)
        return;
    m_waiting = false;
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

bool CWindowWaitHook::eventFilter(QObject* watched, QEvent* event) {
    if ((m_waiting || m_busy) && IsUserInput(event->type())) {
        event->accept();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
