#include "directory/DirectoryNames.h"

#include <array>

namespace vellrun::directory {

namespace {
constexpr std::string_view kRoot = "[Root]";
}

bool DSIsSpecialName(std::string_view name) {
    static constexpr std::array<std::string_view, 4> kSpecial = {"[Root]", "[This]", "[Public]",
                                                                 "[Supervisor]"};
    for (std::string_view special : kSpecial) {
        if (name == special) return true;
    }
    return false;
}

std::string DSFullName(std::string_view name) {
    if (!name.empty() && name.front() != '.' && !DSIsSpecialName(name)) {
        return "." + std::string(name);
    }
    return std::string(name);
}

std::string DSStripDot(std::string_view name) {
    if (!name.empty() && name.front() == '.') name.remove_prefix(1);
    return std::string(name);
}

std::string DSComposeName(std::string_view container, std::string_view name) {
    if (name.empty() || name == ".") return std::string(container);
    if (name == ".." || name == "[ .. ]") {
        std::string_view rest = container;
        while (!rest.empty() && rest.front() == '.')
            rest.remove_prefix(1);
        const size_t dot = rest.find('.');
        if (dot == std::string_view::npos) return std::string(kRoot);
        return std::string(rest.substr(dot + 1));
    }
    if (container == kRoot || container.empty() || name.front() == '.') return DSFullName(name);
    if (container.front() == '.') return "." + std::string(name) + std::string(container);
    return std::string(name) + "." + std::string(container);
}

}  // namespace vellrun::directory
