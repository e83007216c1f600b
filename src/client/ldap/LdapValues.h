#pragma once

// Attribute values between their LDAP string forms and the program's typed
// value records. Names inside values are DNs on the wire and dotted names in
// the records; compound values join their fields with "#", lists with "$"
// (with "\24" and "\5C" for a "$" or "\" inside an item), times are
// Generalized Time. A value that does not parse is refused here; the caller
// keeps its bytes as an octet string so that nothing is lost.
//
// Plain functions; the caller supplies how names and schema names map.

#include "client/AttrValue.h"

#include <functional>
#include <string>
#include <string_view>

namespace vellrun::client::ldap {

struct ValueNames {
    // A DN to the program's name of the object, and back.
    std::function<std::string(std::string_view)> fromDn;
    std::function<std::string(std::string_view)> toDn;
    // LDAP names of classes and attributes to the program's names, and back.
    std::function<std::string(std::string_view)> classFromLdap;
    std::function<std::string(std::string_view)> classToLdap;
    std::function<std::string(std::string_view)> attributeFromLdap;
    std::function<std::string(std::string_view)> attributeToLdap;
};

// Parses one value of the syntax; false when the text does not fit it.
bool ParseLdapValue(SyntaxId syntax, std::string_view text, const ValueNames& names,
                    AttrValue& value);

// Whether a name inside the value is empty: written, it would be the empty
// DN, the server's root entry, which no value may name.
bool HoldsEmptyName(const AttrValue& value);

// The LDAP string form of a value (for modifications and LDIF export).
std::string LdapValueText(const AttrValue& value, const ValueNames& names);

// Generalized Time ("20091030120000Z", fractions and offsets allowed) to
// seconds since 1970 UTC, and back; false for a malformed time.
bool ParseGeneralizedTime(std::string_view text, uint32_t& seconds);
std::string GeneralizedTimeText(uint32_t seconds);

}  // namespace vellrun::client::ldap
