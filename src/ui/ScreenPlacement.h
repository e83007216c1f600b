#pragma once

// Where a window saved on another desktop layout comes back.

#include <QList>
#include <QRect>

namespace vellrun::ui {

// The saved geometry as it stands when a person can still reach the
// window's top edge on one of the screens' free areas, except that a width
// or height larger than that area becomes the area's, from its edge; otherwise (a screen
// that has gone, a smaller resolution, made-up numbers) the window moves
// onto the screen it overlaps most, or the first one, shrunk to that
// screen's free area where it is larger.
QRect ReachableGeometry(const QRect& saved, const QList<QRect>& screens);

}  // namespace vellrun::ui
