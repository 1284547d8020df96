#pragma once
// A window's picture as the window manager frames it on the screen, for the
// README's screenshots.

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QWidget>

// Waits until the window manager has put its frame around `window` (at most
// two seconds: without a window manager there is none).
inline void AwaitFrame(QWidget& window) {
    QElapsedTimer waited;
    waited.start();
    while (window.frameGeometry() == window.geometry() && waited.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    // Let the frame and the window's contents reach the screen.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The window and its frame as `screen` (a grab of the whole screen) shows
// them; without a window manager the window draws itself.
inline QPixmap FramedWindow(QWidget& window, const QPixmap& screen) {
    const QRect frame = window.frameGeometry();
    return frame == window.geometry() ? window.grab() : screen.copy(frame);
}
