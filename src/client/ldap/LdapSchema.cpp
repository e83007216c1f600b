#include "client/ldap/LdapSchema.h"

#include "client/ObjectIdentifiers.h"
#include "client/ldap/LdifRecords.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <memory>

#include <ldap.h>
#include <ldap_schema.h>

namespace vellrun::client::ldap {

namespace {

constexpr std::string_view kLdapSyntaxPrefix = "1.3.6.1.4.1.1466.115.121.1.";
constexpr std::string_view kNdsSyntaxPrefix = "2.16.840.1.113719.1.1.5.1.";

// Syntax numbers by the last number of the standard LDAP syntax OIDs.
SyntaxId StandardSyntax(unsigned number) {
    switch (number) {
        case 12: return 1;
        case 26: return 2;
        case 3:
        case 11:
        case 15:
        case 16:
        case 17:
        case 37:
        case 39:
        case 54:
        case 57: return 3;
        case 44: return 4;
        case 36: return 5;
        case 7: return 7;
        case 27: return 8;
        case 50: return 10;
        case 22: return 11;
        case 41: return 18;
        case 38: return 20;
        case 5: return 21;
        case 24: return 24;
        default: break;
    }
    if (number >= 30 && number <= 35) return 3;
    return 9;  // every other standard syntax is shown as bytes
}

bool IsStandardKnown(unsigned number) {
    return number >= 1 && number <= 58;
}

std::string Fold(std::string_view text) {
    return image::FoldCase(text);
}

// A quoted string as libldap hands it out, its escapes still in it: RFC
// 4512 writes a quote and a backslash as \27 and \5C, and export-ldif any
// control character as \HH too. A backslash before anything else stays.
std::string Unescaped(std::string_view quoted) {
    std::string text;
    text.reserve(quoted.size());
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 2 < quoted.size() &&
            platform::HexDigitValue(quoted[i + 1]) >= 0 &&
            platform::HexDigitValue(quoted[i + 2]) >= 0) {
            text += static_cast<char>(platform::HexDigitValue(quoted[i + 1]) * 16 +
                                      platform::HexDigitValue(quoted[i + 2]));
            i += 2;
        } else {
            text += quoted[i];
        }
    }
    return text;
}

// The first value of an extension term such as X-NDS_NAME, or empty.
std::string Extension(LDAPSchemaExtensionItem** items, std::string_view term) {
    for (int i = 0; items && items[i]; ++i) {
        if (image::EqualsNoCase(items[i]->lsei_name, term) && items[i]->lsei_values &&
            items[i]->lsei_values[0]) {
            return Unescaped(items[i]->lsei_values[0]);
        }
    }
    return {};
}

std::vector<std::string> ExtensionList(LDAPSchemaExtensionItem** items, std::string_view term) {
    std::vector<std::string> values;
    for (int i = 0; items && items[i]; ++i) {
        if (!image::EqualsNoCase(items[i]->lsei_name, term)) continue;
        for (int j = 0; items[i]->lsei_values && items[i]->lsei_values[j]; ++j)
            values.push_back(Unescaped(items[i]->lsei_values[j]));
    }
    return values;
}

bool ExtensionSet(LDAPSchemaExtensionItem** items, std::string_view term) {
    const std::string value = Extension(items, term);
    return !value.empty() && value != "0" && !image::EqualsNoCase(value, "false");
}

uint32_t Number(const std::string& text) {
    uint32_t value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// An identifier the schema text gives; none when it is not a dotted one.
ObjectIdentifier Encode(std::string_view text) {
    return EncodeOid(text).value_or(ObjectIdentifier{});
}

// "name:suffix" or "name" of an objectidentifier macro, expanded.
std::string ExpandMacros(const std::string& definition,
                         const std::map<std::string, std::string>& macros) {
    if (macros.empty()) return definition;
    std::string out;
    size_t at = 0;
    while (at < definition.size()) {
        const char c = definition[at];
        if (c == '\'') {
            const size_t end = definition.find('\'', at + 1);
            const size_t stop = end == std::string::npos ? definition.size() : end + 1;
            out.append(definition, at, stop - at);
            at = stop;
            continue;
        }
        if (platform::IsAsciiLetter(c)) {
            size_t end = at;
            while (end < definition.size() &&
                   (platform::IsAsciiLetterOrDigit(definition[end]) || definition[end] == '-' ||
                    definition[end] == '_' || definition[end] == ':' || definition[end] == '.')) {
                ++end;
            }
            std::string word = definition.substr(at, end - at);
            const size_t colon = word.find(':');
            auto it = macros.find(Fold(word.substr(0, colon)));
            if (it != macros.end()) {
                word =
                    it->second + (colon == std::string::npos ? "" : "." + word.substr(colon + 1));
            }
            out += word;
            at = end;
            continue;
        }
        out += c;
        ++at;
    }
    return out;
}

bool StartsWithWord(std::string_view line, std::string_view word, std::string_view& rest) {
    if (line.size() < word.size() || !image::EqualsNoCase(line.substr(0, word.size()), word)) {
        return false;
    }
    rest = line.substr(word.size());
    if (!rest.empty() && rest.front() == ':') {
        rest.remove_prefix(1);
    } else if (rest.empty() || !platform::IsAsciiSpace(rest.front())) {
        return false;
    }
    while (!rest.empty() && platform::IsAsciiSpace(rest.front()))
        rest.remove_prefix(1);
    return true;
}

}  // namespace

SyntaxId SyntaxFromOid(std::string_view oid) {
    // A length bound such as {64} is not part of the OID.
    if (auto brace = oid.find('{'); brace != std::string_view::npos) oid = oid.substr(0, brace);
    unsigned number = 0;
    auto tail = [&](std::string_view prefix) {
        if (oid.size() <= prefix.size() || oid.substr(0, prefix.size()) != prefix) return false;
        const std::string_view rest = oid.substr(prefix.size());
        auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        return ec == std::errc() && end == rest.data() + rest.size();
    };
    if (tail(kLdapSyntaxPrefix)) return IsStandardKnown(number) ? StandardSyntax(number) : 9;
    if (tail(kNdsSyntaxPrefix)) {
        if (number == 0 || number == 6 || (number >= 12 && number <= 17) || number == 19 ||
            number == 22 || number == 23 || (number >= 25 && number <= 27)) {
            return number;
        }
        return 9;
    }
    // A server's own text syntaxes: entryUUID's UUID and OpenLDAP's entryCSN.
    if (oid == "1.3.6.1.1.16.1" || oid == "1.3.6.1.4.1.4203.666.11.2.1") return 3;
    return 9;
}

std::string OidForSyntax(SyntaxId syntax) {
    static const std::map<SyntaxId, unsigned> kStandard = {
        {1, 12}, {2, 26},  {3, 15},  {4, 44},  {5, 36},  {7, 7},  {8, 27},
        {9, 40}, {10, 50}, {11, 22}, {18, 41}, {20, 38}, {21, 5}, {24, 24}};
    if (auto it = kStandard.find(syntax); it != kStandard.end()) {
        return std::string(kLdapSyntaxPrefix) + std::to_string(it->second);
    }
    if (syntax <= 27) return std::string(kNdsSyntaxPrefix) + std::to_string(syntax);
    return std::string(kLdapSyntaxPrefix) + "40";
}

bool ReadSchemaText(std::string_view text, SchemaText& into, std::string& error) {
    // Join continuation lines (a line starting with blank continues the one before).
    struct Logical {
        size_t number;
        std::string text;
        bool ldif;  // "name: value" lines fold by dropping the one blank
    };
    std::vector<Logical> logical;
    size_t lineNumber = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        ++lineNumber;
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty() && line.front() == '#') continue;
        if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !logical.empty()) {
            // LDIF folding drops the one blank; schema files keep the words apart.
            if (!logical.back().ldif) logical.back().text += ' ';
            logical.back().text += line.substr(1);
            continue;
        }
        if (line.find_first_not_of(" \t") == std::string_view::npos) {
            if (end == text.size()) break;
            continue;
        }
        const size_t colon = line.find(':');
        const size_t blank = line.find_first_of(" \t(");
        logical.push_back({lineNumber, std::string(line),
                           colon != std::string_view::npos &&
                               (blank == std::string_view::npos || colon < blank)});
        if (end == text.size()) break;
    }
    std::map<std::string, std::string> macros;
    for (auto& [number, line, ldif] : logical) {
        std::string_view rest;
        std::string value;
        std::vector<std::string>* target = nullptr;
        std::string_view view(line);
        bool base64 = false;
        for (auto [word, list] : {std::pair<std::string_view, std::vector<std::string>*>{
                                      "attributetypes", &into.attributeTypes},
                                  {"attributetype", &into.attributeTypes},
                                  {"olcAttributeTypes", &into.attributeTypes},
                                  {"objectclasses", &into.objectClasses},
                                  {"objectclass", &into.objectClasses},
                                  {"olcObjectClasses", &into.objectClasses},
                                  {"ldapsyntaxes", &into.ldapSyntaxes},
                                  {"ldapsyntax", &into.ldapSyntaxes}}) {
            if (StartsWithWord(view, word, rest)) {
                target = list;
                break;
            }
        }
        if (!target && StartsWithWord(view, "objectidentifier", rest)) {
            const std::string words(rest);
            // A name without an OID after it (blanks at most) defines nothing.
            const size_t blank = words.find_first_of(" \t");
            const size_t oidAt =
                blank == std::string::npos ? blank : words.find_first_not_of(" \t", blank);
            if (oidAt == std::string::npos) continue;
            std::string name = words.substr(0, blank);
            std::string oid = words.substr(oidAt);
            while (!oid.empty() && platform::IsAsciiSpace(oid.back()))
                oid.pop_back();
            macros[Fold(name)] = ExpandMacros(oid, macros);
            continue;
        }
        if (!target) continue;  // dn:, objectClass: subschema and other lines
        if (!rest.empty() && rest.front() == ':') {
            base64 = true;
            rest.remove_prefix(1);
            while (!rest.empty() && rest.front() == ' ')
                rest.remove_prefix(1);
        }
        if (base64) {
            std::optional<std::string> decoded = DecodeBase64(rest);
            if (!decoded) {
                error = "line " + std::to_string(number) + ": the base64 value is not valid base64";
                return false;
            }
            value = std::move(*decoded);
        } else {
            value = std::string(rest);
        }
        // "objectClass: subschema" in an LDIF entry is not a definition.
        if (value.find('(') == std::string::npos) continue;
        int depth = 0;
        for (char c : value) {
            if (c == '(') ++depth;
            if (c == ')') --depth;
        }
        if (depth != 0) {
            error = "line " + std::to_string(number) + ": the definition is not closed";
            return false;
        }
        target->push_back(ExpandMacros(value, macros));
    }
    return true;
}

void LdapSchema::Load(const SchemaText& text) {
    recentAttributes_.clear();
    schema_ = image::Schema();
    attributeLdapNames_.clear();
    binaryTransfer_.clear();
    classLdapNames_.clear();
    attributeByAnyName_.clear();
    classByAnyName_.clear();
    unresolved_.clear();
    syntaxGuessed_.clear();
    skipped = 0;

    // Syntax numbers the server publishes for its own syntaxes.
    std::unordered_map<std::string, SyntaxId> publishedSyntax;
    for (const std::string& line : text.ldapSyntaxes) {
        int code = 0;
        const char* error = nullptr;
        LDAPSyntax* syntax = ldap_str2syntax(line.c_str(), &code, &error, LDAP_SCHEMA_ALLOW_ALL);
        if (!syntax) continue;
        const std::string number = Extension(syntax->syn_extensions, "X-NDS_SYNTAX");
        if (!number.empty()) publishedSyntax[syntax->syn_oid] = Number(number);
        ldap_syntax_free(syntax);
    }

    struct Pending {
        std::string syntaxOid;
        std::string superior;
        bool syntaxGiven = false;
    };
    // Names the directory gives its own definitions win over a plain LDAP
    // definition of the same name ("Title" over "title"): the plain one is
    // shadowed and left out of the program's schema.
    std::unordered_map<std::string, bool> ownAttributeNames, ownClassNames;
    // LDAP names whose plain definition a directory's own one stands in for.
    std::unordered_map<std::string, bool> describedLdapNames;
    for (const std::string& line : text.attributeTypes) {
        int code = 0;
        const char* error = nullptr;
        if (LDAPAttributeType* at =
                ldap_str2attributetype(line.c_str(), &code, &error, LDAP_SCHEMA_ALLOW_ALL)) {
            const std::string own = Extension(at->at_extensions, "X-NDS_NAME");
            if (!own.empty()) ownAttributeNames[Fold(own)] = true;
            const std::string described = Extension(at->at_extensions, "X-NDS_LDAP_NAME");
            if (!own.empty() && !described.empty()) describedLdapNames[Fold(described)] = true;
            ldap_attributetype_free(at);
        }
    }
    for (const std::string& line : text.objectClasses) {
        int code = 0;
        const char* error = nullptr;
        if (LDAPObjectClass* oc =
                ldap_str2objectclass(line.c_str(), &code, &error, LDAP_SCHEMA_ALLOW_ALL)) {
            const std::string own = Extension(oc->oc_extensions, "X-NDS_NAME");
            if (!own.empty()) ownClassNames[Fold(own)] = true;
            ldap_objectclass_free(oc);
        }
    }
    std::vector<Pending> pending;
    bool namedByDirectory = false;
    const unsigned flags = LDAP_SCHEMA_ALLOW_ALL;
    for (const std::string& line : text.attributeTypes) {
        int code = 0;
        const char* error = nullptr;
        LDAPAttributeType* at = ldap_str2attributetype(line.c_str(), &code, &error, flags);
        if (!at) {
            ++skipped;
            continue;
        }
        image::AttributeDefinition definition;
        std::string ldapName =
            at->at_names && at->at_names[0] ? at->at_names[0] : (at->at_oid ? at->at_oid : "");
        if (ldapName.empty()) {
            // Nothing to ask the server for it by, and nothing to show.
            ldap_attributetype_free(at);
            ++skipped;
            continue;
        }
        const std::string ndsName = Extension(at->at_extensions, "X-NDS_NAME");
        definition.name = ndsName.empty() ? ldapName : ndsName;
        namedByDirectory = namedByDirectory || !ndsName.empty();
        bool shadowed = false;
        for (int i = 0; ndsName.empty() && at->at_names && at->at_names[i]; ++i) {
            shadowed = shadowed || describedLdapNames.count(Fold(at->at_names[i])) != 0;
        }
        if (ndsName.empty() && (shadowed || ownAttributeNames.count(Fold(ldapName)) != 0)) {
            ldap_attributetype_free(at);
            continue;
        }
        // The directory's own description of an attribute LDAP keeps under
        // another name: values are asked for and written under that name.
        const std::string described = Extension(at->at_extensions, "X-NDS_LDAP_NAME");
        if (!ndsName.empty() && !described.empty()) ldapName = described;
        Pending p;
        if (at->at_syntax_oid) p.syntaxOid = at->at_syntax_oid;
        if (at->at_sup_oid) p.superior = at->at_sup_oid;
        const std::string syntaxTerm = Extension(at->at_extensions, "X-NDS_SYNTAX");
        if (!syntaxTerm.empty()) {
            definition.syntax = Number(syntaxTerm);
            p.syntaxGiven = true;
        } else if (!p.syntaxOid.empty()) {
            std::string oid = p.syntaxOid.substr(0, p.syntaxOid.find('{'));
            auto it = publishedSyntax.find(oid);
            definition.syntax = it != publishedSyntax.end() ? it->second : SyntaxFromOid(oid);
            p.syntaxGiven = true;
        }
        uint32_t f = 0;
        auto* ext = at->at_extensions;
        if (at->at_single_value) f |= 0x1;
        const std::string lower = Extension(ext, "X-NDS_LOWER_BOUND");
        const std::string upper = Extension(ext, "X-NDS_UPPER_BOUND");
        if (!lower.empty() || !upper.empty()) {
            f |= 0x2;
            definition.lowerBound = Number(lower);
            definition.upperBound = Number(upper);
        } else if (at->at_syntax_len > 0) {
            f |= 0x2;
            definition.upperBound = static_cast<uint32_t>(at->at_syntax_len);
        }
        if (ExtensionSet(ext, "X-NDS_NONREMOVABLE")) f |= 0x4;
        if (at->at_no_user_mod || ExtensionSet(ext, "X-NDS_READ_ONLY")) f |= 0x8;
        if (ExtensionSet(ext, "X-NDS_HIDDEN")) f |= 0x10;
        if (ExtensionSet(ext, "X-NDS_STRING")) f |= 0x20;
        if (ExtensionSet(ext, "X-NDS_SYNC_IMMEDIATE")) f |= 0x40;
        if (ExtensionSet(ext, "X-NDS_PUBLIC_READ")) f |= 0x80;
        if (ExtensionSet(ext, "X-NDS_SERVER_READ")) f |= 0x100;
        if (ExtensionSet(ext, "X-NDS_WRITE_MANAGED")) f |= 0x200;
        if (ExtensionSet(ext, "X-NDS_PER_REPLICA")) f |= 0x400;
        if (ExtensionSet(ext, "X-NDS_SYNC_NEVER")) f |= 0x800;
        if (at->at_usage != LDAP_SCHEMA_USER_APPLICATIONS ||
            ExtensionSet(ext, "X-NDS_OPERATIONAL")) {
            f |= 0x1000;
        }
        if (ExtensionSet(ext, "X-NDS_BOTH_MANAGED")) f |= 0x8000;
        if (ExtensionSet(ext, "X-NDS_READ_FILTERED")) f |= 0x20000;
        // The bits no term of their own names (the program's LDIF export).
        f |= Number(Extension(ext, "X-NDS_OTHER_FLAGS"));
        definition.flags = f;
        // The directory's own identifier when the definition carries it.
        const std::string ownOid = Extension(ext, "X-NDS_OID");
        if (!ownOid.empty()) {
            definition.identifier = Encode(ownOid);
        } else if (at->at_oid) {
            definition.identifier = Encode(at->at_oid);
        }

        const size_t index = schema_.attributes.size();
        // The first definition of a name wins: a server never sends two.
        if (attributeByAnyName_.count(Fold(definition.name)) != 0) {
            ldap_attributetype_free(at);
            ++skipped;
            continue;
        }
        attributeByAnyName_.emplace(Fold(definition.name), index);
        for (int i = 0; at->at_names && at->at_names[i]; ++i) {
            // An LDAP alias such as "surname" does not take a name the directory gives
            // another definition.
            const std::string alias = Fold(at->at_names[i]);
            if (ownAttributeNames.count(alias) == 0 || alias == Fold(definition.name))
                attributeByAnyName_.emplace(alias, index);
        }
        if (at->at_oid) attributeByAnyName_.emplace(Fold(at->at_oid), index);
        if (ldapName == described) attributeByAnyName_.emplace(Fold(described), index);
        schema_.attributes.push_back(std::move(definition));
        attributeLdapNames_.push_back(ldapName);
        {
            // Certificate, certificate list and certificate pair.
            const std::string oid = p.syntaxOid.substr(0, p.syntaxOid.find('{'));
            binaryTransfer_.push_back(oid == "1.3.6.1.4.1.1466.115.121.1.8" ||
                                      oid == "1.3.6.1.4.1.1466.115.121.1.9" ||
                                      oid == "1.3.6.1.4.1.1466.115.121.1.10");
        }
        pending.push_back(std::move(p));
        ldap_attributetype_free(at);
    }
    // A schema that speaks the directory's names calls objectClass "Object
    // Class", as the directory does, though a server's own objectClass
    // definition cannot carry the term.
    if (namedByDirectory) {
        auto it = attributeByAnyName_.find("objectclass");
        if (it != attributeByAnyName_.end() &&
            image::EqualsNoCase(schema_.attributes[it->second].name, "objectClass") &&
            attributeByAnyName_.count("object class") == 0) {
            schema_.attributes[it->second].name = "Object Class";
            attributeByAnyName_.emplace("object class", it->second);
        }
    }
    // Any other schema keeps LDAP's name, and the directory's answers to it
    // as well: the reports read an object's classes as "Object Class".
    if (auto it = attributeByAnyName_.find("objectclass"); it != attributeByAnyName_.end())
        attributeByAnyName_.emplace("object class", it->second);
    // Attributes without a syntax of their own take their superior's. Where
    // the chain ends at a superior the schema does not define (a schema file
    // read without the server's own definitions), the syntax is a guess:
    // text, which nearly every such attribute is (the superiors of the
    // standard ones are name and distinguishedName).
    syntaxGuessed_.assign(schema_.attributes.size(), false);
    for (size_t i = 0; i < schema_.attributes.size(); ++i) {
        size_t at = i;
        for (int hops = 0; hops < 16 && !pending[at].syntaxGiven && !pending[at].superior.empty();
             ++hops) {
            auto it = attributeByAnyName_.find(Fold(pending[at].superior));
            if (it == attributeByAnyName_.end()) {
                unresolved_.push_back(pending[at].superior);
                break;
            }
            at = it->second;
        }
        if (!pending[i].syntaxGiven) {
            const bool inherited = pending[at].syntaxGiven;
            schema_.attributes[i].syntax =
                inherited ? schema_.attributes[at].syntax
                          : (pending[at].superior.empty() ? Syntax::OctetString : Syntax::CiString);
            syntaxGuessed_[i] = !inherited && !pending[at].superior.empty();
        }
    }

    struct PendingClass {
        std::vector<std::string> lists[5];
    };
    std::vector<PendingClass> classLists;
    for (const std::string& line : text.objectClasses) {
        int code = 0;
        const char* error = nullptr;
        LDAPObjectClass* oc = ldap_str2objectclass(line.c_str(), &code, &error, flags);
        if (!oc) {
            ++skipped;
            continue;
        }
        image::ClassDefinition definition;
        const std::string ldapName =
            oc->oc_names && oc->oc_names[0] ? oc->oc_names[0] : (oc->oc_oid ? oc->oc_oid : "");
        if (ldapName.empty()) {
            ldap_objectclass_free(oc);
            ++skipped;
            continue;
        }
        const std::string ndsName = Extension(oc->oc_extensions, "X-NDS_NAME");
        definition.name = ndsName.empty() ? ldapName : ndsName;
        if (ndsName.empty() && ownClassNames.count(Fold(ldapName)) != 0) {
            ldap_objectclass_free(oc);
            continue;
        }
        auto* ext = oc->oc_extensions;
        uint32_t f = 0;
        // An alias stands for another entry and holds none itself: a walk
        // does not step into it (a dangling one would fail the walk, and one
        // for a container would walk that container twice).
        const bool aliasClass = (oc->oc_oid && std::string_view(oc->oc_oid) == "2.5.6.1") ||
                                image::EqualsNoCase(ldapName, "alias");
        if (!ExtensionSet(ext, "X-NDS_NOT_CONTAINER") && !aliasClass) f |= 0x01;
        if (oc->oc_kind == LDAP_SCHEMA_STRUCTURAL) f |= 0x02;
        if (ExtensionSet(ext, "X-NDS_NONREMOVABLE")) f |= 0x04;
        if (ExtensionSet(ext, "X-NDS_AMBIGUOUS_NAMING")) f |= 0x08;
        if (ExtensionSet(ext, "X-NDS_AMBIGUOUS_CONTAINMENT")) f |= 0x10;
        if (oc->oc_kind == LDAP_SCHEMA_AUXILIARY) f |= 0x20;
        if (ExtensionSet(ext, "X-NDS_OPERATIONAL")) f |= 0x40;
        f |= Number(Extension(ext, "X-NDS_OTHER_FLAGS"));
        definition.flags = f;
        const std::string ownOid = Extension(ext, "X-NDS_OID");
        if (!ownOid.empty()) {
            definition.identifier = Encode(ownOid);
        } else if (oc->oc_oid) {
            definition.identifier = Encode(oc->oc_oid);
        }
        PendingClass lists;
        auto take = [](char** names, std::vector<std::string>& into) {
            for (int i = 0; names && names[i]; ++i)
                into.emplace_back(names[i]);
        };
        // A class the directory gives no superclass names top only for LDAP.
        if (!ExtensionSet(ext, "X-NDS_NO_SUPERCLASSES")) take(oc->oc_sup_oids, lists.lists[0]);
        lists.lists[1] = ExtensionList(ext, "X-NDS_CONTAINMENT");
        lists.lists[2] = ExtensionList(ext, "X-NDS_NAMING");
        take(oc->oc_at_oids_must, lists.lists[3]);
        take(oc->oc_at_oids_may, lists.lists[4]);
        if (classByAnyName_.count(Fold(definition.name)) != 0) {
            ldap_objectclass_free(oc);
            ++skipped;
            continue;
        }
        const size_t index = schema_.classes.size();
        classByAnyName_.emplace(Fold(definition.name), index);
        for (int i = 0; oc->oc_names && oc->oc_names[i]; ++i) {
            const std::string alias = Fold(oc->oc_names[i]);
            if (ownClassNames.count(alias) == 0 || alias == Fold(definition.name))
                classByAnyName_.emplace(alias, index);
        }
        if (oc->oc_oid) classByAnyName_.emplace(Fold(oc->oc_oid), index);
        schema_.classes.push_back(std::move(definition));
        classLdapNames_.push_back(ldapName);
        classLists.push_back(std::move(lists));
        ldap_objectclass_free(oc);
    }
    // The lists name classes and attributes by their program names.
    for (size_t i = 0; i < schema_.classes.size(); ++i) {
        image::ClassDefinition& definition = schema_.classes[i];
        std::vector<std::string>* targets[5] = {&definition.superClasses, &definition.containment,
                                                &definition.naming, &definition.mandatory,
                                                &definition.optional};
        for (int list = 0; list < 5; ++list) {
            for (const std::string& name : classLists[i].lists[list]) {
                const bool ofClasses = list < 2;
                std::string program = ofClasses ? ProgramClass(name) : ProgramAttribute(name);
                if (program.empty()) {
                    if (list != 1 && list != 2) unresolved_.push_back(name);
                    program = name;
                }
                // A class is not its own superclass (a directory's Top written
                // as LDAP's top, whose name it shares).
                if (list == 0 && image::EqualsNoCase(program, definition.name)) continue;
                if (std::none_of(targets[list]->begin(), targets[list]->end(),
                                 [&](const std::string& have) {
                                     return image::EqualsNoCase(have, program);
                                 })) {
                    targets[list]->push_back(program);
                }
            }
        }
    }
    schema_.Index();
}

bool LdapSchema::SyntaxGuessed(std::string_view anyName) const {
    auto it = attributeByAnyName_.find(Fold(anyName));
    return it != attributeByAnyName_.end() && syntaxGuessed_[it->second];
}

std::string LdapSchema::LdapAttribute(std::string_view name) const {
    auto it = attributeByAnyName_.find(Fold(name));
    return it == attributeByAnyName_.end() ? std::string() : attributeLdapNames_[it->second];
}

bool LdapSchema::BinaryTransfer(std::string_view anyName) const {
    auto it = attributeByAnyName_.find(Fold(anyName));
    return it != attributeByAnyName_.end() && binaryTransfer_[it->second];
}

std::string LdapSchema::LdapClass(std::string_view name) const {
    auto it = classByAnyName_.find(Fold(name));
    return it == classByAnyName_.end() ? std::string() : classLdapNames_[it->second];
}

std::string LdapSchema::ProgramAttribute(std::string_view ldapName) const {
    auto it = attributeByAnyName_.find(Fold(ldapName));
    return it == attributeByAnyName_.end() ? std::string() : schema_.attributes[it->second].name;
}

size_t LdapSchema::AttributeIndex(std::string_view anyName) const {
    for (const auto& [name, index] : recentAttributes_) {
        if (name == anyName) return index;
    }
    auto it = attributeByAnyName_.find(Fold(anyName));
    const size_t index = it == attributeByAnyName_.end() ? kUnknown : it->second;
    constexpr size_t kMostRecent = 32;
    if (recentAttributes_.size() >= kMostRecent) recentAttributes_.clear();
    recentAttributes_.emplace_back(anyName, index);
    return index;
}

const image::AttributeDefinition* LdapSchema::AttributeOf(std::string_view anyName) const {
    const size_t index = AttributeIndex(anyName);
    return index == kUnknown ? nullptr : &schema_.attributes[index];
}

const std::string* LdapSchema::LdapAttributeOf(std::string_view anyName) const {
    const size_t index = AttributeIndex(anyName);
    return index == kUnknown ? nullptr : &attributeLdapNames_[index];
}

size_t LdapSchema::MostDerivedStructural(std::span<const std::string_view> stored) const {
    std::vector<size_t> candidates;
    for (const std::string_view name : stored) {
        auto it = classByAnyName_.find(Fold(name));
        if (it != classByAnyName_.end() && (schema_.classes[it->second].flags & 0x02) != 0 &&
            std::find(candidates.begin(), candidates.end(), it->second) == candidates.end()) {
            candidates.push_back(it->second);
        }
    }
    // Whether index derives from ancestor, up all its superclasses, each
    // class once: a schema may loop.
    const auto derives = [this](size_t index, size_t ancestor) {
        std::vector<bool> seen(schema_.classes.size(), false);
        std::vector<size_t> pending = {index};
        seen[index] = true;
        while (!pending.empty()) {
            const size_t current = pending.back();
            pending.pop_back();
            for (const std::string& super : schema_.classes[current].superClasses) {
                auto it = classByAnyName_.find(Fold(super));
                if (it == classByAnyName_.end() || seen[it->second]) continue;
                if (it->second == ancestor) return true;
                seen[it->second] = true;
                pending.push_back(it->second);
            }
        }
        return false;
    };
    // The one no other listed structural class derives from, whatever order
    // the classes are listed in; the first such when they are of separate
    // lines of descent.
    for (const size_t candidate : candidates) {
        if (std::none_of(candidates.begin(), candidates.end(), [&](size_t other) {
                return other != candidate && derives(other, candidate);
            })) {
            return candidate;
        }
    }
    return kUnknown;
}

std::string LdapSchema::BaseClassOf(std::span<const std::string_view> stored) const {
    const size_t index = MostDerivedStructural(stored);
    return index == kUnknown ? std::string() : classLdapNames_[index];
}

void LdapSchema::ClassChain(std::span<const std::string_view> stored, std::string_view structural,
                            std::vector<std::string>& into) const {
    into.clear();
    const auto indexOf = [this](std::string_view name) {
        auto it = classByAnyName_.find(Fold(name));
        return it == classByAnyName_.end() ? kUnknown : it->second;
    };
    std::vector<bool> listed(schema_.classes.size(), false);
    // A class, then its superclasses, nearest first, each once.
    const auto add = [&](size_t first) {
        std::vector<size_t> pending = {first};
        for (int steps = 0; !pending.empty() && steps < 256; ++steps) {
            const size_t index = pending.back();
            pending.pop_back();
            if (listed[index]) continue;
            listed[index] = true;
            into.push_back(classLdapNames_[index]);
            const auto& superClasses = schema_.classes[index].superClasses;
            for (auto it = superClasses.rbegin(); it != superClasses.rend(); ++it) {
                const size_t super = indexOf(*it);
                if (super != kUnknown && !listed[super]) pending.push_back(super);
            }
        }
    };
    size_t base = structural.empty() ? kUnknown : indexOf(structural);
    if (base == kUnknown) base = MostDerivedStructural(stored);
    if (base != kUnknown) add(base);
    for (const std::string_view name : stored) {
        const size_t index = indexOf(name);
        if (index == kUnknown) {
            // A class the schema does not define stays as it is.
            if (std::none_of(into.begin(), into.end(), [&](const std::string& have) {
                    return image::EqualsNoCase(have, name);
                }))
                into.emplace_back(name);
        } else {
            add(index);
        }
    }
}

std::string LdapSchema::ProgramClass(std::string_view ldapName) const {
    auto it = classByAnyName_.find(Fold(ldapName));
    return it == classByAnyName_.end() ? std::string() : schema_.classes[it->second].name;
}

}  // namespace vellrun::client::ldap
