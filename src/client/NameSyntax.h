#pragma once

// How a full name is written, whichever backend serves it: relative names
// joined by "." from the object up ("john.Sales.Corp"), where a backslash
// escapes the character after it ("john\.doe.Sales" is two names).

#include <cstddef>
#include <string_view>
#include <vector>

namespace vellrun::client {

// Where the first `wanted` that no backslash escapes stands in text, or npos.
size_t FirstUnescaped(std::string_view text, char wanted);
// The relative names of a full name, from the object up: split at each "."
// that no backslash escapes.
std::vector<std::string_view> SplitFullName(std::string_view fullName);
// The same into parts (replacing what it held), keeping its room.
void SplitFullName(std::string_view fullName, std::vector<std::string_view>& parts);

// Why a full name inside a value (a member, a volume, an ACL's subject) is not
// one the directory keeps, or an empty text when it is. Such a name is
// typeless and written without a leading dot, and every relative name holds
// something; an "=" no backslash escapes would make it typed ("a\\=b" is an
// escaped backslash and a type). Special names ("[Root]", "[Public]") keep
// these rules too.
std::string_view ValueNameFault(std::string_view name);

// Whether a relative name's text spells one of the special names ("[Root]",
// "[This]", "[Public]", "[Supervisor]") in any case. An object whose name
// would read so has its leading "[" escaped ("\[Root]"), so that no object
// is taken for the top of the tree or another special name.
bool SpellsSpecialName(std::string_view text);

}  // namespace vellrun::client
