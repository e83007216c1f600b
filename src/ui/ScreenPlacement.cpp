#include "ui/ScreenPlacement.h"

#include <algorithm>

namespace vellrun::ui {

namespace {

// How much of the window's top edge must show for a person to take hold of it.
constexpr int kGripHeight = 20;
constexpr int kGripWidth = 100;

qint64 Area(const QRect& rect) {
    return rect.isEmpty() ? 0 : qint64{rect.width()} * rect.height();
}

// Where the window is larger than the screen's free area, it takes that
// area's size and starts at its edge, so that its status bar and buttons
// show; where it fits, it stays as it is.
QRect FittedTo(const QRect& saved, const QRect& screen) {
    QRect fitted = saved;
    if (saved.width() > screen.width()) {
        fitted.setLeft(screen.left());
        fitted.setWidth(screen.width());
    }
    if (saved.height() > screen.height()) {
        fitted.setTop(screen.top());
        fitted.setHeight(screen.height());
    }
    return fitted;
}

}  // namespace

QRect ReachableGeometry(const QRect& saved, const QList<QRect>& screens) {
    if (screens.isEmpty() || saved.isEmpty()) return saved;
    const QRect topEdge(saved.left(), saved.top(), saved.width(),
                        std::min(kGripHeight, saved.height()));
    for (const QRect& screen : screens) {
        const QRect shown = topEdge.intersected(screen);
        if (shown.width() >= std::min(kGripWidth, saved.width()) &&
            shown.height() >= topEdge.height())
            return FittedTo(saved, screen);
    }
    QRect target = screens.front();
    qint64 most = 0;
    for (const QRect& screen : screens) {
        const qint64 overlap = Area(saved.intersected(screen));
        if (overlap > most) {
            most = overlap;
            target = screen;
        }
    }
    const int width = std::min(saved.width(), target.width());
    const int height = std::min(saved.height(), target.height());
    const int left = std::clamp(saved.left(), target.left(), target.right() + 1 - width);
    const int top = std::clamp(saved.top(), target.top(), target.bottom() + 1 - height);
    return {left, top, width, height};
}

}  // namespace vellrun::ui
