#pragma once
// Whether a shown window lies whole inside its screen's available area
// (panels excluded), the named controls with it, for the screen tests.

#include <QRect>
#include <QScreen>
#include <QWidget>

#include <cstdio>
#include <initializer_list>

// Prints the window's sizes and every part that reaches outside the area;
// true when nothing does.
inline bool FitsAvailableArea(const QWidget& window, std::initializer_list<const char*> names) {
    const QRect available = window.screen()->availableGeometry();
    const QRect frame = window.frameGeometry();
    std::printf("client %dx%d frame %dx%d%+d%+d available %dx%d%+d%+d screen %dx%d\n",
                window.width(), window.height(), frame.width(), frame.height(), frame.x(),
                frame.y(), available.width(), available.height(), available.x(), available.y(),
                window.screen()->size().width(), window.screen()->size().height());
    bool fits = true;
    if (!available.contains(frame)) {
        std::printf("the framed window reaches outside the available area\n");
        fits = false;
    }
    for (const char* name : names) {
        const QWidget* control = window.findChild<QWidget*>(QString::fromLatin1(name));
        if (control == nullptr || !control->isVisible()) {
            std::printf("%s is missing or hidden\n", name);
            fits = false;
            continue;
        }
        const QRect global(control->mapToGlobal(QPoint(0, 0)), control->size());
        if (!available.contains(global) || !window.rect().contains(control->geometry())) {
            std::printf("%s at %dx%d%+d%+d is outside the area or the window\n", name,
                        global.width(), global.height(), global.x(), global.y());
            fits = false;
        }
    }
    return fits;
}
