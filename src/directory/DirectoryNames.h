#pragma once

// The naming rules of the directory that need no client: full names with one
// leading dot, the special names in square brackets, and names seen from a
// container. Plain functions on 8-bit text; they keep no state.

#include "platform/AsciiText.h"

#include <string>
#include <string_view>

namespace vellrun::directory {

// True for "[Root]", "[This]", "[Public]" and "[Supervisor]", compared exactly.
bool DSIsSpecialName(std::string_view name);

// The name with a leading "." when it is not empty, has none yet and is not special.
std::string DSFullName(std::string_view name);

// The name without one leading ".".
std::string DSStripDot(std::string_view name);

// The full or relative name that name means when seen from container:
// "." or "" is the container itself, ".." or "[ .. ]" its parent ("[Root]"
// above the top level), a full name or a name seen from the top stays full,
// anything else is put in front of the container.
std::string DSComposeName(std::string_view container, std::string_view name);

// True for the attribute an alias names its object in, by the directory's
// name ("Aliased Object Name") or LDAP's ("aliasedObjectName"), in any case.
// Reads and writes of it are the alias's own: they do not follow the alias.
// Asked for every cell a report reads, so kept inline: most names differ in
// length from both, which settles it at once.
inline bool DSIsAliasTargetAttribute(std::string_view attribute) {
    constexpr std::string_view kDirectoryName = "Aliased Object Name";
    constexpr std::string_view kLdapName = "aliasedObjectName";
    if (attribute.size() != kDirectoryName.size() && attribute.size() != kLdapName.size())
        return false;
    return platform::EqualsNoCase(attribute, kDirectoryName) ||
           platform::EqualsNoCase(attribute, kLdapName);
}

}  // namespace vellrun::directory
