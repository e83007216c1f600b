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

}  // namespace

QRect ReachableGeometry(const QRect& saved, const QList<QRect>& screens) {
    if (screens.isEmpty() || saved.isEmpty()) return saved;
    const QRect topEdge(saved.left(), saved.top(), saved.width(),
                        std::min(kGripHeight, saved.height()));
    for (const QRect& screen : screens) {
        const QRect shown = topEdge.intersected(screen);
        if (shown.width() >= std::min(kGripWidth, saved.width()) &&
            shown.height() >= topEdge.height())
            return saved;
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
