#include "platform/AsciiText.h"

namespace vellrun::platform {

std::string AsciiLowerCopy(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = AsciiLower(c);
    }
    return lowered;
}

std::string AsciiUpperCopy(std::string_view text) {
    std::string uppered(text);
    for (char& c : uppered) {
        c = AsciiUpper(c);
    }
    return uppered;
}

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace vellrun::platform
