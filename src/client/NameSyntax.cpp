#include "client/NameSyntax.h"

#include "platform/AsciiText.h"

namespace vellrun::client {

size_t FirstUnescaped(std::string_view text, char wanted) {
    // Nearly every name escapes nothing: the first one found at once is it.
    const size_t found = text.find(wanted);
    if (found == std::string_view::npos ||
        text.substr(0, found).find('\\') == std::string_view::npos) {
        return found;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == wanted) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::vector<std::string_view> SplitFullName(std::string_view fullName) {
    std::vector<std::string_view> parts;
    SplitFullName(fullName, parts);
    return parts;
}

void SplitFullName(std::string_view fullName, std::vector<std::string_view>& parts) {
    parts.clear();
    for (;;) {
        const size_t end = FirstUnescaped(fullName, '.');
        parts.push_back(fullName.substr(0, end));
        if (end == std::string_view::npos) break;
        fullName.remove_prefix(end + 1);
    }
}

std::string_view ValueNameFault(std::string_view name) {
    if (name.empty()) return "is empty";
    if (name.front() == '.') return "has a leading dot (full names are written without one)";
    for (size_t start = 0;;) {
        const size_t dot = FirstUnescaped(name.substr(start), '.');
        if (dot == 0) return "has an empty relative name";
        if (dot == std::string_view::npos) break;
        start += dot + 1;
        if (start == name.size()) return "has an empty relative name";
    }
    if (FirstUnescaped(name, '=') != std::string_view::npos) {
        return "has name types; such names are written typeless (\"jdoe.Sales.Corp\")";
    }
    return {};
}

bool SpellsSpecialName(std::string_view text) {
    if (text.empty() || text.front() != '[') return false;
    for (const std::string_view special : {"[Root]", "[This]", "[Public]", "[Supervisor]"}) {
        if (platform::EqualsNoCase(text, special)) return true;
    }
    return false;
}

}  // namespace vellrun::client
