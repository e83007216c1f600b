#pragma once

#include <QIcon>
#include <QPixmap>

namespace vellrun::ui {

// The program's icon for its windows, for window managers that do not find
// it through the desktop entry. It is packaging/vellrun.svg (the icon the
// desktop entry names) drawn by the program itself, as the class images are:
// no image format plugin and no installed file is needed, wherever the
// program is installed. A change of the SVG's shapes is made here too.
QIcon ApplicationIcon();

// The same picture, size pixels square where it is shown, drawn at the
// screen's device pixel ratio so that a scaled screen shows it sharp (the
// splash window's picture).
QPixmap ApplicationPicture(int size, qreal ratio);

}  // namespace vellrun::ui
