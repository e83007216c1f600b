#pragma once

// A directory schema as LDAP publishes it: attribute types, object classes and
// syntaxes in RFC 4512 form, parsed with libldap into the program's definitions
// (names, syntax numbers, flags, bounds, identifiers, the five lists of a
// class). The program's name of a definition is its X-NDS_NAME term where the
// server publishes one, else its first LDAP name; the schema maps both ways.
// A definition with X-NDS_LDAP_NAME is the directory's own description of an
// attribute that LDAP keeps under that name (objectClass, which a schema file
// cannot define again): it stands in for LDAP's plain definition. A class
// with X-NDS_NO_SUPERCLASSES has none, whatever SUP it names for LDAP's sake.
//
// Owned by the LDAP client (one per connection) or by the LDIF image loader.
// It holds text only and never talks to a server.

#include "client/image/DirectoryImage.h"

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vellrun::client::ldap {

// The definitions of a subschema entry (or of schema files), as written.
struct SchemaText {
    std::vector<std::string> attributeTypes;
    std::vector<std::string> objectClasses;
    std::vector<std::string> ldapSyntaxes;
};

// Reads schema files as slapd reads them ("attributetype ( ... )",
// "objectclass ( ... )", continuation lines, comments, "objectidentifier"
// macros) or an LDIF subschema entry ("attributeTypes: ( ... )"). Appends to
// into; false with a message naming the line when a definition is unfinished
// or a base64 value ("attributeTypes:: ...") is not valid base64.
bool ReadSchemaText(std::string_view text, SchemaText& into, std::string& error);

// The syntax number for an LDAP syntax OID (0 for an OID nobody knows).
SyntaxId SyntaxFromOid(std::string_view oid);
// The LDAP syntax OID the exporter writes for a syntax number.
std::string OidForSyntax(SyntaxId syntax);

class LdapSchema {
public:
    // Parses what the server sent. Definitions that do not parse are passed
    // over and counted in skipped (a server's one broken line must not hide the rest).
    void Load(const SchemaText& text);

    // The definitions under the program's names, in the order the server sent them.
    const image::Schema& Definitions() const { return schema_; }
    image::Schema& Definitions() { return schema_; }

    // The LDAP name of an attribute or class given by its program name or any
    // of its LDAP names; empty when the schema does not know it.
    std::string LdapAttribute(std::string_view name) const;
    std::string LdapClass(std::string_view name) const;
    // The program's name of an attribute or class given by any LDAP name or
    // OID; empty when unknown.
    std::string ProgramAttribute(std::string_view ldapName) const;
    std::string ProgramClass(std::string_view ldapName) const;
    // The same lookups without copies, for the reads of every cell: the
    // definition (under its program name) of an attribute given by any name,
    // and the attribute's LDAP name; null when the schema does not know it.
    const image::AttributeDefinition* AttributeOf(std::string_view anyName) const;
    const std::string* LdapAttributeOf(std::string_view anyName) const;
    // Whether the attribute's values travel only under ";binary" (the
    // certificate syntaxes): a server refuses changes of them without it.
    bool BinaryTransfer(std::string_view anyName) const;

    // An entry's classes as the directory lists them in Object Class: the
    // base class with its superclasses up to the top, then each other class
    // of the entry (its auxiliary classes) with those of its superclasses not
    // listed yet; each once, by LDAP name. stored: the entry's objectClass
    // values, which need not hold the superclasses; structural: the server's
    // structuralObjectClass, or empty to take the most derived structural
    // class stored. A class the schema does not define stays as stored.
    void ClassChain(std::span<const std::string_view> stored, std::string_view structural,
                    std::vector<std::string>& into) const;
    // The most derived structural class of an entry's stored classes, by
    // LDAP name, which the server's structuralObjectClass would name; empty
    // when the schema knows none of them as structural.
    std::string BaseClassOf(std::span<const std::string_view> stored) const;

    // The names that definitions refer to (an attribute's superior, a class's
    // superclasses and attributes) and that no definition defines, as written.
    const std::vector<std::string>& Unresolved() const { return unresolved_; }
    // True when the attribute (any name) has no syntax of its own and none
    // up its superiors, which the schema does not all define: its values are
    // then taken as text, a guess.
    bool SyntaxGuessed(std::string_view anyName) const;

    size_t skipped = 0;

private:
    // The index of BaseClassOf's class, or kUnknown.
    size_t MostDerivedStructural(std::span<const std::string_view> stored) const;

    image::Schema schema_;
    std::vector<std::string> attributeLdapNames_;  // by definition index
    std::vector<bool> binaryTransfer_;             // by definition index
    std::vector<std::string> classLdapNames_;
    std::unordered_map<std::string, size_t> attributeByAnyName_;  // folded -> index
    std::unordered_map<std::string, size_t> classByAnyName_;
    std::vector<std::string> unresolved_;
    std::vector<bool> syntaxGuessed_;  // by attribute definition index
    // The names the reads asked for last, as given, with their definition
    // index (npos: unknown); a report asks for the same few for every cell.
    static constexpr size_t kUnknown = static_cast<size_t>(-1);
    mutable std::vector<std::pair<std::string, size_t>> recentAttributes_;
    size_t AttributeIndex(std::string_view anyName) const;
};

}  // namespace vellrun::client::ldap
