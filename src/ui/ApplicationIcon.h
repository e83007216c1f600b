#pragma once

#include <QIcon>

namespace vellrun::ui {

// The program's icon for its windows, for window managers that do not find
// it through the desktop entry. It is packaging/vellrun.svg (the icon the
// desktop entry names) drawn by the program itself, as the class images are:
// no image format plugin and no installed file is needed, wherever the
// program is installed. A change of the SVG's shapes is made here too.
QIcon ApplicationIcon();

}  // namespace vellrun::ui
