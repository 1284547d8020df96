#pragma once
// A window's picture as the window manager frames it on the screen, for the
// README's screenshots and the screen tests.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cstdio>

// Processes events until `done` holds or 30 s have passed; false (with a line
// on stderr naming `what`) when it never held.
template <typename Condition> bool AwaitShot(Condition done, const char* what) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > 30000) {
            std::fprintf(stderr, "gave up after 30 s waiting for %s\n", what);
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The window and its frame as `screen` (a grab of the whole screen, in the
// screen's own pixels when it is scaled) shows them.
inline QPixmap FramedWindow(QWidget& window, const QPixmap& screen) {
    const qreal ratio = screen.devicePixelRatio();
    const QRectF frame = window.frameGeometry();
    return screen.copy(QRectF(frame.topLeft() * ratio, frame.size() * ratio).toAlignedRect());
}

// Waits until the window manager has put its frame around `window`, the
// window is on the screen, and what the screen shows of it has stopped
// changing (the frame and the contents drawn). False, saying what it waited
// for, when one of them did not happen within 30 s.
inline bool AwaitFrame(QWidget& window) {
    if (!AwaitShot(
            [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); },
            "the window to be exposed") ||
        !AwaitShot([&] { return window.frameGeometry() != window.geometry(); },
                   "the window manager's frame around the window"))
        return false;
    QImage last;
    return AwaitShot(
        [&] {
            QApplication::processEvents();
            const QImage now = FramedWindow(window, window.screen()->grabWindow(0)).toImage();
            const bool stable = !last.isNull() && now == last;
            last = now;
            return stable;
        },
        "the framed window to stop changing on the screen");
}
