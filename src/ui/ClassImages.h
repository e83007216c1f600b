#pragma once

#include <QIcon>
#include <string_view>

namespace vellrun::ui {

// The tree browser's 15 class images, drawn by the program itself at 16 px so
// that they need no image format plugin: 0 Top (also every tree's top), 1
// Country, 2 domain, 3 Organization, 4 Organizational Unit, 5 SAS:Security,
// 6 any other container, 7 any other object, 8 User, 9 Group, 10
// Organizational Role, 11 Volume, 12 LDAP Group, 13 LDAP Server, 14 NCP
// Server. Stateless apart from the icons made once on first use.
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
};

}  // namespace vellrun::ui
