#pragma once

// Names between LDAP and the program: an LDAP distinguished name
// ("cn=jdoe,ou=Sales,o=Corp") is the program's typed dotted name
// ("CN=jdoe.OU=Sales.O=Corp") or its typeless form ("jdoe.Sales.Corp").
// Dotted names escape "." "\" "=" and "+" inside values with a backslash; a
// multi-valued relative name joins its parts with "+". A relative name that
// spells a special name ("[Root]", "[Public]", in any case) is written with its
// "[" escaped ("\[Root]"), so that it is read as that entry's name and never
// as the special name. A connection's base DN is the top of its tree
// ("[Root]"), so dotted names are relative to it.
//
// Plain functions over values; nothing here talks to a server.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::client::ldap {

// One attribute type and value of a relative name; the type is empty in a
// typeless dotted name.
struct NamePart {
    std::string type;
    std::string value;
};
using RelativeName = std::vector<NamePart>;
// Relative names from the object up to the top, as a DN is written.
using Name = std::vector<RelativeName>;

// Parses an LDAP DN (RFC 4514, through libldap). False for a malformed DN.
bool ParseDn(std::string_view text, Name& name);
// Writes a DN with RFC 4514 escapes; types in lower case.
std::string DnText(const Name& name);

// Parses a dotted name, typed or typeless, without a leading dot. False for an
// empty relative name or a dangling escape. With plusBeforeTypeOnly a "+"
// starts another part of a multi-valued relative name only where a type
// follows ("CN=a+SN=b"); any other "+" is part of the value, as in the names
// of an image ("CN=a+b" is the one value "a+b").
bool ParseDotted(std::string_view text, Name& name, bool plusBeforeTypeOnly = false);
// Writes a dotted name, typed ("CN=jdoe") or typeless ("jdoe"). typeName, when
// given, turns an LDAP attribute type into the type the program shows;
// without it (or when it returns nothing) the type is written in capitals.
std::string DottedText(const Name& name, bool typeless,
                       const std::function<std::string(std::string_view)>& typeName = {});

// The typeless dotted name an embedded directory gives an LDAP name. It
// reads "+" as part of a name, so a "+" in a value is written as it is, and
// the values of a multi-valued relative name are joined by "+" ("a+b").
std::string ImageDottedText(const Name& name);

// The part of full below base, or false when full is not at or under base.
// Types and values compare without regard to ASCII case.
bool RelativeTo(const Name& full, const Name& base, Name& relative);
// full = relative followed by base.
Name Under(const Name& relative, const Name& base);

// True for the names that stand for the top of the tree.
bool IsRootName(std::string_view name);

// Escapes one value for a dotted name, and back.
std::string EscapeDottedValue(std::string_view value);

}  // namespace vellrun::client::ldap
