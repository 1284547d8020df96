#pragma once
// How a fixed-size window gives way to a screen too small for it: the window
// keeps its template size while the screen's available area (panels
// excluded) holds it with its frame, and otherwise takes the missing height
// from its lists (then the missing width), each list keeping a few rows.

#include <QMargins>
#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

// How much a window's lists give up.
struct ScreenFitCut {
    std::vector<int> heights; // per list, in the order given
    int width = 0;
    bool operator==(const ScreenFitCut&) const = default;
};

// The cut that lets a window of `templateSize` with `frame` fit in
// `available`: the missing height shared out evenly over `listHeights`, none
// below `minListHeight`; the missing width taken from the lists' width
// `listWidth`, down to `minListWidth`.
ScreenFitCut PlanScreenFit(QSize templateSize, QMargins frame, QRect available,
                           const std::vector<int>& listHeights, int minListHeight, int listWidth,
                           int minListWidth);

// The frame the window manager puts around `window`: the one it has, else the
// one last seen around any window, else a title bar and thin borders for the
// window's font.
QMargins ExpectedFrameMargins(const QWidget& window);

// `frame` (a window's frame geometry) moved as little as needed to lie inside
// `available`, its top-left corner first.
QRect KeptInside(QRect frame, const QRect& available);
