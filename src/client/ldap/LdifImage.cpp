#include "client/ldap/LdifImage.h"

#include "client/ldap/LdapNames.h"
#include "client/ldap/LdapValues.h"
#include "client/ldap/LdifRecords.h"
#include "platform/AsciiText.h"
#include "platform/RegularFile.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace vellrun::client::ldap {

namespace {

using image::Entry;
using image::FoldCase;
using image::PackedValues;
using image::StoredAttribute;
using image::StoredValue;
using image::Tree;

constexpr uint32_t kValueNaming = 0x01;
constexpr uint32_t kValueBaseClass = 0x02;
constexpr uint32_t kValuePresent = 0x04;

// What slapd defines itself rather than in its schema files (its stock
// core.schema, cosine.schema, nis.schema and others leave these out, commented
// out, and refer to them), as slapd's own subschema entry gives them. The
// first three are always added, so a dump reads without any schema file;
// the rest when the schema or the dump refers to one of their names and
// defines none of them itself.
struct Builtin {
    bool always;
    bool ofClass;
    const char* names;  // every name and the OID, blank-separated
    const char* definition;
};
const Builtin kBuiltins[] = {
    {true, false, "objectClass 2.5.4.0",
     "( 2.5.4.0 NAME 'objectClass' DESC 'RFC4512: object classes of the entity' "
     "EQUALITY objectIdentifierMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 )"},
    {true, true, "top 2.5.6.0",
     "( 2.5.6.0 NAME 'top' DESC 'top of the superclass chain' ABSTRACT MUST objectClass )"},
    {true, true, "extensibleObject 1.3.6.1.4.1.1466.101.120.111",
     "( 1.3.6.1.4.1.1466.101.120.111 NAME 'extensibleObject' DESC 'RFC4512: extensible object' "
     "SUP top AUXILIARY )"},
    {false, false, "aliasedObjectName aliasedEntryName 2.5.4.1",
     "( 2.5.4.1 NAME ( 'aliasedObjectName' 'aliasedEntryName' ) DESC 'RFC4512: name of aliased "
     "object' EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 "
     "SINGLE-VALUE )"},
    {false, false, "ref 2.16.840.1.113730.3.1.34",
     "( 2.16.840.1.113730.3.1.34 NAME 'ref' DESC 'RFC3296: subordinate referral URL' "
     "EQUALITY caseExactMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 "
     "USAGE distributedOperation )"},
    {false, false, "distinguishedName 2.5.4.49",
     "( 2.5.4.49 NAME 'distinguishedName' DESC 'RFC4519: common supertype of DN attributes' "
     "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 )"},
    {false, false, "name 2.5.4.41",
     "( 2.5.4.41 NAME 'name' DESC 'RFC4519: common supertype of name attributes' "
     "EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch "
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{32768} )"},
    {false, false, "cn commonName 2.5.4.3",
     "( 2.5.4.3 NAME ( 'cn' 'commonName' ) DESC 'RFC4519: common name(s) for which the entity "
     "is known by' SUP name )"},
    {false, false, "uid userid 0.9.2342.19200300.100.1.1",
     "( 0.9.2342.19200300.100.1.1 NAME ( 'uid' 'userid' ) DESC 'RFC4519: user identifier' "
     "EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch "
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{256} )"},
    {false, false, "uidNumber 1.3.6.1.1.1.1.0",
     "( 1.3.6.1.1.1.1.0 NAME 'uidNumber' DESC 'RFC2307: An integer uniquely identifying a user "
     "in an administrative domain' EQUALITY integerMatch ORDERING integerOrderingMatch "
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )"},
    {false, false, "gidNumber 1.3.6.1.1.1.1.1",
     "( 1.3.6.1.1.1.1.1 NAME 'gidNumber' DESC 'RFC2307: An integer uniquely identifying a group "
     "in an administrative domain' EQUALITY integerMatch ORDERING integerOrderingMatch "
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 SINGLE-VALUE )"},
    {false, false, "userPassword 2.5.4.35",
     "( 2.5.4.35 NAME 'userPassword' DESC 'RFC4519/2307: password of user' "
     "EQUALITY octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40{128} )"},
    {false, false, "labeledURI 1.3.6.1.4.1.250.1.57",
     "( 1.3.6.1.4.1.250.1.57 NAME 'labeledURI' DESC 'RFC2079: Uniform Resource Identifier "
     "with optional label' EQUALITY caseExactMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )"},
    {false, false, "description 2.5.4.13",
     "( 2.5.4.13 NAME 'description' DESC 'RFC4519: descriptive information' "
     "EQUALITY caseIgnoreMatch SUBSTR caseIgnoreSubstringsMatch "
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.15{1024} )"},
    {false, false, "seeAlso 2.5.4.34",
     "( 2.5.4.34 NAME 'seeAlso' DESC 'RFC4519: DN of related object' SUP distinguishedName )"},
    {false, true, "alias 2.5.6.1",
     "( 2.5.6.1 NAME 'alias' DESC 'RFC4512: an alias' SUP top STRUCTURAL "
     "MUST aliasedObjectName )"},
    {false, true, "referral 2.16.840.1.113730.3.2.6",
     "( 2.16.840.1.113730.3.2.6 NAME 'referral' DESC 'namedref: named subordinate referral' "
     "SUP top STRUCTURAL MUST ref )"},
    {false, true, "dynamicObject 1.3.6.1.4.1.1466.101.119.2",
     "( 1.3.6.1.4.1.1466.101.119.2 NAME 'dynamicObject' DESC 'RFC2589: Dynamic Object' "
     "SUP top AUXILIARY )"},
};

// The server's bookkeeping: never part of a read of every attribute.
bool IsBookkeeping(std::string_view type) {
    static const std::unordered_set<std::string> kNames = {
        "createtimestamp",  "modifytimestamp",   "structuralobjectclass", "entryuuid",
        "entrycsn",         "creatorsname",      "modifiersname",         "entrydn",
        "contextcsn",       "subschemasubentry", "hassubordinates",       "numsubordinates",
        "subordinatecount", "entryflags"};
    return kNames.count(FoldCase(type)) != 0;
}

struct Fault {
    size_t line;
    std::string text;
};
[[noreturn]] void Refuse(size_t line, std::string text) {
    throw Fault{line, std::move(text)};
}

// A value the program can show as text.
bool IsText(std::string_view value) {
    return platform::IsValidUtf8(value) && value.find('\0') == std::string_view::npos;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool SamePart(const RelativeName& a, const RelativeName& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!platform::EqualsNoCase(a[i].type, b[i].type) ||
            !platform::EqualsNoCase(a[i].value, b[i].value)) {
            return false;
        }
    }
    return true;
}

std::string KeyOf(const Name& name) {
    return FoldCase(DnText(name));
}

// An attribute description split into its type and the options kept in the
// attribute's name. ";binary" is only how the value travels, and a range
// (";range=0-1499") is one part of the whole attribute: both go.
void SplitDescription(std::string_view description, std::string& type, std::string& options) {
    const size_t semicolon = description.find(';');
    type = std::string(description.substr(0, semicolon));
    options.clear();
    if (semicolon == std::string_view::npos) return;
    std::string_view rest = description.substr(semicolon + 1);
    while (!rest.empty()) {
        const size_t next = rest.find(';');
        const std::string_view option = rest.substr(0, next);
        if (!option.empty() && !platform::EqualsNoCase(option, "binary") &&
            !platform::StartsWithNoCase(option, "range=")) {
            options += ';';
            options += option;
        }
        if (next == std::string_view::npos) break;
        rest.remove_prefix(next + 1);
    }
}

class Builder {
public:
    Builder(const std::vector<LdifRecord>& records, const LdapSchema& schema, Tree& tree)
        : records_(records), schema_(schema), tree_(tree) {}

    void Build();

private:
    struct Parsed {
        const LdifRecord* record;
        Name name;
    };

    void DefineUnknownAttributes();
    std::string TypeName(std::string_view ldapType) const;
    void NameEntry(Entry& entry, const RelativeName& rdn) const;
    void Fill(Entry& entry, const Parsed& source);
    // The LDAP name of the entry's base class.
    std::string BaseClass(const std::vector<std::string>& classes,
                          const std::string& structural) const;

    const std::vector<LdifRecord>& records_;
    const LdapSchema& schema_;
    Tree& tree_;
    ldap::Name base_;
    ValueNames names_;
    // Program names of attributes the schema does not know, by folded LDAP description.
    std::unordered_map<std::string, std::string> unknown_;
};

std::string Builder::TypeName(std::string_view ldapType) const {
    // A naming attribute the directory names itself ("vrCN" is "CN") shows that name.
    const std::string program = schema_.ProgramAttribute(ldapType);
    if (program.empty() || platform::EqualsNoCase(program, ldapType)) {
        return platform::AsciiUpperCopy(ldapType);
    }
    return program;
}

void Builder::NameEntry(Entry& entry, const RelativeName& rdn) const {
    // Named by the first type; a multi-valued relative name by all its values
    // ("cn=a+sn=b" is "a+b"), as the live client lists it.
    entry.namingType = tree_.names.Intern(TypeName(rdn.front().type));
    entry.name = ImageDottedText({rdn});
}

void Builder::DefineUnknownAttributes() {
    // The syntax of an attribute the schema leaves out: text when every value is.
    std::vector<std::pair<std::string, bool>> found;  // name as first written, all text
    std::unordered_map<std::string, size_t> index;
    for (const LdifRecord& record : records_) {
        for (const LdifValue& value : record.values) {
            std::string type, options;
            SplitDescription(value.description, type, options);
            if (IsBookkeeping(type) || !schema_.ProgramAttribute(type).empty()) continue;
            auto [at, added] = index.try_emplace(FoldCase(type), found.size());
            if (added) found.emplace_back(type, true);
            bool& text = found[at->second].second;
            text = text && IsText(value.value);
        }
    }
    for (const auto& [name, text] : found) {
        image::AttributeDefinition definition;
        definition.name = name;
        definition.syntax = text ? Syntax::CiString : Syntax::OctetString;
        unknown_[FoldCase(name)] = name;
        tree_.schema.attributes.push_back(std::move(definition));
    }
}

std::string Builder::BaseClass(const std::vector<std::string>& classes,
                               const std::string& structural) const {
    // The structural class the server names, else the most derived structural
    // class among the entry's classes, else the last one.
    if (!structural.empty()) return structural;
    const std::vector<std::string_view> stored(classes.begin(), classes.end());
    std::string base = schema_.BaseClassOf(stored);
    if (base.empty() && !classes.empty()) base = classes.back();
    return base;
}

void Builder::Fill(Entry& entry, const Parsed& source) {
    const LdifRecord& record = *source.record;
    struct Gathered {
        std::string name;  // the program's name with any options
        SyntaxId syntax = 0;
        std::string ldapType;
        std::vector<std::string> texts;
    };
    std::vector<Gathered> gathered;
    std::unordered_map<std::string, size_t> byName;
    std::vector<std::string> classes;
    std::string structural;
    for (const LdifValue& value : record.values) {
        std::string type, options;
        SplitDescription(value.description, type, options);
        const bool created = platform::EqualsNoCase(type, "createTimestamp");
        if (created || platform::EqualsNoCase(type, "modifyTimestamp")) {
            uint32_t seconds = 0;
            if (!ParseGeneralizedTime(value.value, seconds)) {
                Refuse(value.line, Quoted(value.value) + " is not a Generalized Time");
            }
            (created ? entry.created : entry.modified) = seconds;
            continue;
        }
        if (platform::EqualsNoCase(type, "structuralObjectClass")) structural = value.value;
        if (IsBookkeeping(type)) continue;
        if (platform::EqualsNoCase(type, "objectClass")) classes.push_back(value.value);
        std::string program = schema_.ProgramAttribute(type);
        if (program.empty()) program = unknown_.at(FoldCase(type));
        const auto* definition = tree_.schema.FindAttribute(program);
        std::string name = program + options;
        auto [at, added] = byName.try_emplace(FoldCase(name), gathered.size());
        if (added) {
            gathered.push_back(
                {std::move(name), definition ? definition->syntax : Syntax::OctetString, type, {}});
        }
        gathered[at->second].texts.push_back(value.value);
    }
    const std::string baseLdap = BaseClass(classes, structural);
    const std::string baseProgram = schema_.ProgramClass(baseLdap);
    entry.baseClass = tree_.names.Intern(baseProgram.empty() ? baseLdap : baseProgram);
    const RelativeName* rdn = source.name.size() > base_.size() ? &source.name.front() : nullptr;
    entry.attributes.reserve(gathered.size());
    for (Gathered& g : gathered) {
        StoredAttribute attribute;
        attribute.name = tree_.names.Intern(g.name);
        attribute.syntax = g.syntax;
        std::vector<StoredValue> values;
        if (g.syntax == Syntax::Stream) {
            // A stream's content is read through a stream handle; the dump has one value.
            values.push_back(StoredValue{AttrValue{Syntax::Stream, StreamValue{}}, 0, {}});
            const std::string& content = g.texts.front();
            attribute.values =
                PackedValues(values, tree_.values,
                             {reinterpret_cast<const uint8_t*>(content.data()), content.size()});
            entry.attributes.push_back(std::move(attribute));
            continue;
        }
        bool parsed = true;
        // A syntax the schema left to a guess (text) holds only text.
        const bool guessed = schema_.SyntaxGuessed(g.ldapType);
        for (const std::string& text : g.texts) {
            AttrValue value;
            if ((guessed && !IsText(text)) || !ParseLdapValue(g.syntax, text, names_, value)) {
                parsed = false;
                break;
            }
            values.push_back(StoredValue{std::move(value), 0, {}});
        }
        if (!parsed) {
            // A value that does not fit its syntax: every value kept as its bytes.
            attribute.syntax = Syntax::OctetString;
            values.clear();
            for (const std::string& text : g.texts) {
                values.push_back(
                    StoredValue{AttrValue{Syntax::OctetString,
                                          OctetStringValue{Bytes(text.begin(), text.end())}},
                                0,
                                {}});
            }
        }
        // The flags a server implies: every value present, the relative name's
        // value naming, the base class's value marked.
        const bool objectClass = platform::EqualsNoCase(g.ldapType, "objectClass");
        for (size_t i = 0; i < values.size(); ++i) {
            uint32_t flags = kValuePresent;
            for (size_t p = 0; rdn && p < rdn->size(); ++p) {
                if (platform::EqualsNoCase((*rdn)[p].type, g.ldapType) &&
                    platform::EqualsNoCase((*rdn)[p].value, g.texts[i])) {
                    flags |= kValueNaming;
                }
            }
            if (objectClass && platform::EqualsNoCase(g.texts[i], baseLdap)) {
                flags |= kValueBaseClass;
            }
            values[i].flags = flags;
        }
        attribute.values = PackedValues(values, tree_.values);
        entry.attributes.push_back(std::move(attribute));
    }
}

void Builder::Build() {
    tree_.schema = schema_.Definitions();
    DefineUnknownAttributes();
    tree_.schema.Index();

    std::vector<Parsed> parsed;
    parsed.reserve(records_.size());
    for (const LdifRecord& record : records_) {
        Parsed entry{&record, {}};
        if (!ParseDn(record.dn, entry.name)) {
            Refuse(record.line, Quoted(record.dn) + " is not a distinguished name");
        }
        parsed.push_back(std::move(entry));
    }
    // The top: the longest suffix every DN shares.
    if (!parsed.empty()) base_ = parsed.front().name;
    for (const Parsed& p : parsed) {
        size_t shared = 0;
        while (shared < base_.size() && shared < p.name.size() &&
               SamePart(base_[base_.size() - 1 - shared], p.name[p.name.size() - 1 - shared])) {
            ++shared;
        }
        base_.erase(base_.begin(), base_.end() - static_cast<std::ptrdiff_t>(shared));
    }
    names_.fromDn = [this](std::string_view dn) {
        ldap::Name full, relative;
        if (!ParseDn(dn, full)) return std::string(dn);
        if (!RelativeTo(full, base_, relative)) relative = full;
        return relative.empty() ? std::string("[Root]") : ImageDottedText(relative);
    };
    names_.classFromLdap = [this](std::string_view n) { return schema_.ProgramClass(n); };
    names_.attributeFromLdap = [this](std::string_view n) { return schema_.ProgramAttribute(n); };

    // Parents before children, else in the order of the dump.
    std::vector<size_t> order(parsed.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return parsed[a].name.size() < parsed[b].name.size();
    });
    tree_.root = std::make_unique<Entry>();
    tree_.root->name = "[Root]";
    tree_.root->partitionRoot = true;
    const std::string topClass = schema_.ProgramClass("top");
    tree_.root->baseClass = tree_.names.Intern(topClass.empty() ? "Top" : topClass);
    std::unordered_map<std::string, std::pair<Entry*, size_t>> byDn;  // folded DN -> entry, line
    byDn.emplace(KeyOf(base_), std::make_pair(tree_.root.get(), size_t{0}));
    for (size_t i : order) {
        const Parsed& p = parsed[i];
        const std::string key = KeyOf(p.name);
        if (p.name.size() == base_.size()) {
            auto& top = byDn.at(key);
            if (top.second != 0) {
                Refuse(p.record->line, Quoted(p.record->dn) +
                                           " is already an entry of the dump (line " +
                                           std::to_string(top.second) + ")");
            }
            top.second = p.record->line;
            Fill(*tree_.root, p);
            continue;
        }
        if (auto known = byDn.find(key); known != byDn.end()) {
            Refuse(p.record->line, Quoted(p.record->dn) +
                                       " is already an entry of the dump (line " +
                                       std::to_string(known->second.second) + ")");
        }
        const ldap::Name parentName(p.name.begin() + 1, p.name.end());
        auto parent = byDn.find(KeyOf(parentName));
        if (parent == byDn.end()) {
            Refuse(p.record->line, "the parent " + Quoted(DnText(parentName)) + " of " +
                                       Quoted(p.record->dn) + " is not in the dump");
        }
        auto entry = std::make_unique<Entry>();
        NameEntry(*entry, p.name.front());
        // An entry without a name of its own could be neither named nor found.
        if (entry->name.empty()) {
            Refuse(p.record->line, Quoted(p.record->dn) + " has an empty relative name");
        }
        if (const Entry* twin = parent->second.first->FindChild(entry->name)) {
            Refuse(p.record->line,
                   Quoted(p.record->dn) + " has the same name as another entry under " +
                       Quoted(DnText(parentName)) + " (" + Tree::FullName(*twin, false) +
                       "); entries are told apart by their values without the types");
        }
        Fill(*entry, p);
        Entry& added = parent->second.first->AddChild(std::move(entry));
        byDn.emplace(key, std::make_pair(&added, p.record->line));
    }
}

// Loads the schema with the server's own definitions that it, or the dump,
// refers to and does not define: each one added may refer to others in turn
// (cn to name, alias to aliasedObjectName), so until none is missing.
void LoadWithBuiltins(const SchemaText& given, const std::vector<LdifRecord>& records,
                      LdapSchema& schema) {
    SchemaText text = given;
    std::vector<bool> added(std::size(kBuiltins), false);
    const auto add = [&](size_t i) {
        added[i] = true;
        (kBuiltins[i].ofClass ? text.objectClasses : text.attributeTypes)
            .emplace_back(kBuiltins[i].definition);
    };
    for (size_t i = 0; i < std::size(kBuiltins); ++i) {
        if (kBuiltins[i].always) add(i);
    }
    // The attribute types and classes the dump uses, each once: the dump is
    // read through once however often the schema is loaded again.
    std::unordered_set<std::string> types, classes;
    for (const LdifRecord& record : records) {
        for (const LdifValue& value : record.values) {
            std::string type, options;
            SplitDescription(value.description, type, options);
            if (IsBookkeeping(type)) continue;
            if (platform::EqualsNoCase(type, "objectClass")) classes.insert(value.value);
            types.insert(std::move(type));
        }
    }
    for (;;) {
        schema.Load(text);
        std::unordered_set<std::string> wanted;
        for (const std::string& name : schema.Unresolved())
            wanted.insert(FoldCase(name));
        for (const std::string& type : types) {
            if (schema.ProgramAttribute(type).empty()) wanted.insert(FoldCase(type));
        }
        for (const std::string& name : classes) {
            if (schema.ProgramClass(name).empty()) wanted.insert(FoldCase(name));
        }
        bool more = false;
        for (size_t i = 0; i < std::size(kBuiltins); ++i) {
            if (added[i]) continue;
            std::string_view names = kBuiltins[i].names;
            while (!names.empty()) {
                const size_t blank = names.find(' ');
                if (wanted.count(FoldCase(names.substr(0, blank))) != 0) {
                    add(i);
                    more = true;
                    break;
                }
                if (blank == std::string_view::npos) break;
                names.remove_prefix(blank + 1);
            }
        }
        if (!more) return;
    }
}

std::string ReadFile(const std::filesystem::path& path, std::string& error) {
    std::string content;
    if (auto status = platform::ReadRegularFile(path, content); !status.ok()) {
        error = path.string() + ": cannot read the file: " + status.error;
    }
    return content;
}

}  // namespace

bool IsLdifFile(const std::filesystem::path& path) {
    return platform::EqualsNoCase(path.extension().string(), ".ldif");
}

image::LoadResult LoadLdifText(std::string_view ldif, const std::string& displayName,
                               const std::filesystem::path& baseDir, const SchemaText& schemaText,
                               const std::string& treeName) {
    image::LoadResult result;
    try {
        std::vector<LdifRecord> records;
        std::string error;
        if (!ReadLdifRecords(ldif, baseDir, records, error)) {
            // A message quotes what it found, which need not be UTF-8: it stays readable text.
            result.status.error = displayName + ": " + platform::BytesToUtf8(error);
            return result;
        }
        LdapSchema schema;
        LoadWithBuiltins(schemaText, records, schema);
        auto tree = std::make_unique<Tree>();
        tree->name = treeName;
        Builder(records, schema, *tree).Build();
        auto image = std::make_unique<image::DirectoryImage>();
        image->sourcePath = displayName;
        image->trees.push_back(std::move(tree));
        result.image = std::move(image);
    } catch (const Fault& fault) {
        result.status.error = displayName + ": line " + std::to_string(fault.line) + ": " +
                              platform::BytesToUtf8(fault.text);
    } catch (const std::bad_alloc&) {
        result.status.error = displayName + ": not enough memory to load the dump";
    } catch (const std::exception& error) {
        // The last line of defence: whatever else goes wrong is this dump's
        // failure to load, not the program's end.
        result.status.error = displayName + ": cannot load the dump: " + error.what();
    }
    return result;
}

image::LoadResult LoadLdifImage(const std::filesystem::path& path,
                                const std::vector<std::filesystem::path>& schemaFiles,
                                const std::string& treeName) {
    std::string error;
    SchemaText schema;
    for (const auto& file : schemaFiles) {
        const std::string text = ReadFile(file, error);
        if (!error.empty()) return {nullptr, platform::FileStatus::Failed(error)};
        bool read = false;
        try {
            read = ReadSchemaText(text, schema, error);
        } catch (const std::exception& fault) {
            error = std::string("cannot read the schema: ") + fault.what();
        }
        if (!read)
            return {nullptr, platform::FileStatus::Failed(file.string() + ": " +
                                                          platform::BytesToUtf8(error))};
    }
    const std::string ldif = ReadFile(path, error);
    if (!error.empty()) return {nullptr, platform::FileStatus::Failed(error)};
    std::filesystem::path baseDir = path.parent_path();
    if (baseDir.empty()) baseDir = ".";
    if (!treeName.empty()) return LoadLdifText(ldif, path.string(), baseDir, schema, treeName);
    // Named after the file, the name must still be one the tree list shows
    // unchanged.
    std::string stemName = image::FitTreeName(path.stem().string());
    if (stemName.empty()) stemName = "LDIF";
    image::LoadResult result = LoadLdifText(ldif, path.string(), baseDir, schema, stemName);
    if (result.image) {
        for (const auto& tree : result.image->trees)
            tree->derivedName = true;
    }
    return result;
}

}  // namespace vellrun::client::ldap
