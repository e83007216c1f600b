#pragma once

#include <QColor>
#include <QIcon>
#include <QPalette>
#include <string_view>

namespace vellrun::ui {

// The tree browser's 15 class images, drawn by the program itself (in a
// 16-unit square, at the size and device pixel ratio they are shown at) so
// that they need no image format plugin and stay sharp on a scaled screen:
// 0 Top (also every tree's top), 1 Country, 2 domain, 3 Organization, 4
// Organizational Unit, 5 SAS:Security, 6 any other container, 7 any other
// object, 8 User, 9 Group, 10 Organizational Role, 11 Volume, 12 LDAP Group,
// 13 LDAP Server, 14 NCP Server. Stateless apart from the icons made once on
// first use and the pixmaps they keep in the program's pixmap cache.
class ClassImages {
public:
    static constexpr int kCount = 15;
    static constexpr int kTop = 0;
    static constexpr int kOtherContainer = 6;
    static constexpr int kOtherObject = 7;

    // The image of a class (compared without case); an unlisted class gives
    // kOtherContainer for a container node and kOtherObject otherwise.
    static int IndexOf(std::string_view className, bool container);
    static QIcon Icon(int index);

    // The colours of the images' lines and outlines and of the Organizational
    // Role's hat under a palette: dark on a light view, the view's text
    // colour on a dark one. The images take the application's palette each
    // time they are painted.
    struct Ink {
        QColor line;
        QColor hat;
    };
    static Ink InkFor(const QPalette& palette);
};

}  // namespace vellrun::ui
