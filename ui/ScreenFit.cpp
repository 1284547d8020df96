#include "ui/ScreenFit.h"

#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {
QMargins& LastFrameSeen() {
    static QMargins margins;
    return margins;
}
} // namespace

ScreenFitCut PlanScreenFit(QSize templateSize, QMargins frame, QRect available,
                           const std::vector<int>& listHeights, int minListHeight, int listWidth,
                           int minListWidth) {
    ScreenFitCut cut;
    cut.heights.assign(listHeights.size(), 0);
    int missing = templateSize.height() + frame.top() + frame.bottom() - available.height();
    // Shared out evenly; a list at its least passes its share on to the others.
    while (missing > 0) {
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < listHeights.size(); ++i)
            if (listHeights[i] - cut.heights[i] > minListHeight)
                open.push_back(i);
        if (open.empty())
            break;
        const int share = std::max(1, missing / static_cast<int>(open.size()));
        for (std::size_t i : open) {
            const int room = listHeights[i] - cut.heights[i] - minListHeight;
            const int taken = std::min({share, room, missing});
            cut.heights[i] += taken;
            missing -= taken;
        }
    }
    const int missingWidth =
        templateSize.width() + frame.left() + frame.right() - available.width();
    cut.width = std::clamp(missingWidth, 0, std::max(0, listWidth - minListWidth));
    return cut;
}

QMargins ExpectedFrameMargins(const QWidget& window) {
    if (const QWindow* handle = window.windowHandle()) {
        const QMargins margins = handle->frameMargins();
        if (!margins.isNull()) {
            LastFrameSeen() = margins;
            return margins;
        }
    }
    if (!LastFrameSeen().isNull())
        return LastFrameSeen();
    const int title = window.fontMetrics().height() + 12;
    return QMargins(4, title, 4, 4);
}

QRect KeptInside(QRect frame, const QRect& available) {
    if (frame.right() > available.right())
        frame.moveRight(available.right());
    if (frame.bottom() > available.bottom())
        frame.moveBottom(available.bottom());
    if (frame.left() < available.left())
        frame.moveLeft(available.left());
    if (frame.top() < available.top())
        frame.moveTop(available.top());
    return frame;
}
