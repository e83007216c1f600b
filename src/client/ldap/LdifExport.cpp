#include "client/ldap/LdifExport.h"

#include "client/ObjectIdentifiers.h"
#include "client/image/DirectoryImage.h"
#include "client/ldap/LdapNames.h"
#include "client/ldap/LdapSchema.h"
#include "client/ldap/LdapValues.h"
#include "platform/AsciiText.h"

#include <functional>
#include <map>
#include <set>
#include <vector>

#include <ldap.h>
#include <ldif.h>

namespace vellrun::client::ldap {

namespace {

// Vellrun's private arc (a UUID OID): attributes under .1, classes under .2.
constexpr const char* kArc = "2.25.275186938416375926043254719873560221421";

// A quoted string of a schema definition (RFC 4512's qdstring): a quote and
// a backslash as \27 and \5C, and a control character, which would break
// the definition's line, as \HH too; the reader takes back any \HH.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\'' || c == '\\' || byte < 0x20 || byte == 0x7F) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "\\%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "'";
}

void Line(std::ostream& out, const std::string& name, const std::string& value) {
    char* text = ldif_put_wrap(LDIF_PUT_VALUE, name.c_str(), value.data(),
                               static_cast<ber_len_t>(value.size()), 76);
    if (text) {
        out << text;
        ber_memfree(text);
    }
}

struct Walker {
    explicit Walker(DirectoryClient& c) : client(c) {}
    DirectoryClient& client;
    ContextHandle context{};
    std::map<std::string, std::string> attributeNames;  // folded program name -> LDAP name
    std::map<std::string, std::string> classNames;
    std::map<std::string, SyntaxId> syntaxes;
    Name base;
    ValueNames names;
    size_t entries = 0;
    std::string error;

    std::string LdapAttribute(const std::string& program) const {
        auto it = attributeNames.find(image::FoldCase(program));
        return it == attributeNames.end() ? std::string() : it->second;
    }
    std::string LdapClass(const std::string& program) const {
        auto it = classNames.find(image::FoldCase(program));
        return it == classNames.end() ? std::string() : it->second;
    }

    // A typed full name to its DN under the base. A "+" starts another part
    // of the relative name only before a type ("CN=a+SN=b", as the live
    // client writes a multi-valued one); an image's "a+b" is one value.
    std::string DnOf(std::string_view dotted) const {
        if (IsRootName(dotted)) return DnText(base);
        Name name;
        if (!ParseDotted(dotted, name, true)) return std::string(dotted);
        for (RelativeName& relative : name) {
            for (NamePart& part : relative) {
                std::string type = LdapAttribute(part.type.empty() ? "CN" : part.type);
                part.type = type.empty() ? (part.type.empty() ? "cn" : part.type) : type;
            }
        }
        return DnText(Under(name, base));
    }

    Result Walk(const std::string& container, std::ostream& ldif);
    Result WriteEntry(const std::string& full, const EntryRecord& record, std::ostream& ldif);
};

Result Walker::Walk(const std::string& container, std::ostream& ldif) {
    BufferHandle reply{};
    if (Result r = client.AllocBuffer(kListReplySize, reply); r != 0) return r;
    std::vector<std::pair<std::string, EntryRecord>> children;
    int32_t continuation = kNoContinuation;
    Result result = 0;
    do {
        result = client.ListSubordinates(context, container, continuation, reply);
        if (result != 0) break;
        // An entry that cannot be taken fails the dump: it would be short
        // of that entry and everything below it.
        uint32_t count = 0;
        result = client.GetEntryCount(context, reply, count);
        for (uint32_t i = 0; result == 0 && i < count; ++i) {
            std::string name;
            uint32_t attributes = 0;
            EntryRecord record;
            result = client.GetNextEntry(context, reply, name, attributes, record);
            if (result != 0) break;
            const std::string full = IsRootName(container) ? name : name + "." + container;
            children.emplace_back(full, record);
        }
        if (result != 0) break;
    } while (continuation != kNoContinuation);
    client.FreeBuffer(reply);
    if (result != 0) {
        error = "listing " + container + " failed (" + std::to_string(result) + ")";
        return result;
    }
    for (const auto& [full, record] : children) {
        if (Result r = WriteEntry(full, record, ldif); r != 0) return r;
        if ((record.flags & EntryFlag::Container) != 0 || record.subordinateCount > 0) {
            if (Result r = Walk(full, ldif); r != 0) return r;
        }
    }
    return 0;
}

Result Walker::WriteEntry(const std::string& full, const EntryRecord& record, std::ostream& ldif) {
    const std::string dn = DnOf(full);
    Line(ldif, "dn", dn);
    const auto failed = [&](const std::string& what, Result result) {
        error = what + " " + full + " failed (" + std::to_string(result) + ")";
        return result;
    };
    BufferHandle reply{};
    if (Result r = client.AllocBuffer(kReadReplySize, reply); r != 0) return failed("reading", r);
    int32_t continuation = kNoContinuation;
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
    std::vector<std::string> streams;
    // A value that cannot be taken fails the dump rather than leave it out.
    const auto takePage = [&]() -> Result {
        uint32_t count = 0;
        if (Result r = client.GetAttrCount(context, reply, count); r != 0) return r;
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            uint32_t valueCount = 0;
            SyntaxId syntax = 0;
            if (Result r = client.GetAttrName(context, reply, name, valueCount, syntax); r != 0)
                return r;
            if (attributes.empty() || attributes.back().first != name) {
                attributes.emplace_back(name, std::vector<std::string>{});
            }
            for (uint32_t v = 0; v < valueCount; ++v) {
                AttrValue value;
                if (Result r = client.GetAttrVal(context, reply, syntax, value); r != 0) return r;
                if (syntax == Syntax::Stream) {
                    streams.push_back(name);
                    continue;
                }
                attributes.back().second.push_back(LdapValueText(value, names));
            }
        }
        return 0;
    };
    Result result = 0;
    do {
        result =
            client.Read(context, full, ReadKind::Values, true, BufferHandle{}, continuation, reply);
        if (result == 0) result = takePage();
    } while (result == 0 && continuation != kNoContinuation);
    client.FreeBuffer(reply);
    if (result != 0) return failed("reading", result);
    bool classesWritten = false;
    for (const auto& [name, values] : attributes) {
        if (image::EqualsNoCase(name, "Object Class")) {
            for (const std::string& value : values)
                Line(ldif, "objectClass", value);
            classesWritten = true;
        }
    }
    if (!classesWritten) {
        const std::string baseClass = LdapClass(record.baseClass);
        Line(ldif, "objectClass", baseClass.empty() ? "top" : baseClass);
    }
    for (const auto& [name, values] : attributes) {
        if (image::EqualsNoCase(name, "Object Class")) continue;
        const std::string ldapName = LdapAttribute(name);
        if (ldapName.empty()) continue;
        for (const std::string& value : values)
            Line(ldif, ldapName, value);
    }
    for (const std::string& name : streams) {
        StreamHandle stream{};
        if (Result r = client.OpenStream(context, full, name, 1, stream); r != 0)
            return failed("opening the stream " + name + " of", r);
        std::string content;
        uint8_t chunk[4096];
        size_t read = 0;
        Result r = 0;
        while ((r = client.ReadStream(stream, chunk, read)) == 0 && read > 0)
            content.append(chunk, chunk + read);
        client.CloseStream(stream);
        if (r != 0) return failed("reading the stream " + name + " of", r);
        Line(ldif, LdapAttribute(name), content);
    }
    EntryInfo info;
    client.SetContextNumber(context, ContextKey::EntryInfoItems,
                            EntryItemBit::CreationTime | EntryItemBit::ModificationTime);
    if (client.ReadEntryInfo(context, full, 4096, info) == 0) {
        auto time = [&](uint32_t bit, const char* attribute) {
            auto it = info.items.find(bit);
            if (it == info.items.end()) return;
            if (const auto* seconds = std::get_if<uint32_t>(&it->second); seconds && *seconds) {
                Line(ldif, attribute, GeneralizedTimeText(*seconds));
            }
        };
        time(EntryItemBit::CreationTime, "createTimestamp");
        time(EntryItemBit::ModificationTime, "modifyTimestamp");
    }
    ldif << '\n';
    ++entries;
    return 0;
}

// The flags that have an X-NDS term of their own, in the order they are written.
struct FlagTerm {
    uint32_t bit;
    const char* term;
};
constexpr FlagTerm kAttributeTerms[] = {
    {0x4, "X-NDS_NONREMOVABLE"},     {0x8, "X-NDS_READ_ONLY"},       {0x10, "X-NDS_HIDDEN"},
    {0x20, "X-NDS_STRING"},          {0x40, "X-NDS_SYNC_IMMEDIATE"}, {0x80, "X-NDS_PUBLIC_READ"},
    {0x100, "X-NDS_SERVER_READ"},    {0x200, "X-NDS_WRITE_MANAGED"}, {0x400, "X-NDS_PER_REPLICA"},
    {0x800, "X-NDS_SYNC_NEVER"},     {0x1000, "X-NDS_OPERATIONAL"},  {0x8000, "X-NDS_BOTH_MANAGED"},
    {0x20000, "X-NDS_READ_FILTERED"}};
constexpr FlagTerm kClassTerms[] = {{0x04, "X-NDS_NONREMOVABLE"},
                                    {0x08, "X-NDS_AMBIGUOUS_NAMING"},
                                    {0x10, "X-NDS_AMBIGUOUS_CONTAINMENT"},
                                    {0x40, "X-NDS_OPERATIONAL"}};
// The flags written other ways: single-valued and sized (the definition's own
// terms) of an attribute; container, effective and auxiliary (its kind) of a
// class.
constexpr uint32_t kAttributeFlagsOfTheDefinition = 0x1 | 0x2;
constexpr uint32_t kClassFlagsOfTheDefinition = 0x01 | 0x02 | 0x20;

// The flag terms set in flags, then X-NDS_OTHER_FLAGS with every bit that no
// term names, so that the reader gets the whole word back.
template <size_t N>
std::string FlagTerms(uint32_t flags, const FlagTerm (&terms)[N], uint32_t writtenOtherwise) {
    std::string out;
    uint32_t other = flags & ~writtenOtherwise;
    for (const FlagTerm& term : terms) {
        if ((flags & term.bit) != 0) out += std::string(" ") + term.term + " '1'";
        other &= ~term.bit;
    }
    if (other != 0) out += " X-NDS_OTHER_FLAGS '" + std::to_string(other) + "'";
    return out;
}

std::string NameList(const std::vector<std::string>& names, bool quoted) {
    if (names.size() == 1) return quoted ? Quoted(names[0]) : names[0];
    std::string out = "( ";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out += quoted ? " " : " $ ";
        out += quoted ? Quoted(names[i]) : names[i];
    }
    return out + " )";
}

}  // namespace

std::string ExportedName(const std::string& programName) {
    std::string out = "vr";
    bool upper = true;
    for (char c : programName) {
        if (platform::IsAsciiLetterOrDigit(c)) {
            out += upper ? platform::AsciiUpper(c) : c;
            upper = false;
        } else {
            upper = true;
        }
    }
    return out;
}

LdifExportResult ExportLdif(DirectoryClient& client, const LdifExportOptions& options,
                            std::ostream& ldif, std::ostream& schema) {
    LdifExportResult outcome;
    Walker walker(client);
    if (!ParseDn(options.base, walker.base) || walker.base.empty()) {
        outcome.result = Err::IllegalDsName;
        outcome.error = "the base \"" + options.base + "\" is not a DN";
        return outcome;
    }
    ContextHandle context{};
    if (Result r = client.CreateContext(context); r != 0) {
        outcome.result = r;
        outcome.error = "no directory context";
        return outcome;
    }
    walker.context = context;
    auto fail = [&](Result r, const std::string& what) {
        client.FreeContext(context);
        outcome.result = r;
        outcome.error = what;
        return outcome;
    };
    if (!options.tree.empty()) {
        if (Result r = client.SetContextText(context, ContextKey::TreeName, options.tree); r != 0) {
            return fail(r, "no tree \"" + options.tree + "\"");
        }
    }
    // Typed names, so that every name inside a value becomes a full DN.
    client.SetContextNumber(context, ContextKey::Flags, ContextFlag::Canonical);

    // The schema: every attribute and class definition, in order.
    BufferHandle reply{};
    client.AllocBuffer(kReadReplySize, reply);
    std::vector<std::pair<std::string, AttrDefRecord>> attributes;
    int32_t continuation = kNoContinuation;
    do {
        if (Result r = client.ReadAttrDefinitions(context, AttrInfoKind::Definitions, true,
                                                  BufferHandle{}, continuation, reply);
            r != 0) {
            client.FreeBuffer(reply);
            return fail(r, "the attribute definitions cannot be read");
        }
        uint32_t count = 0;
        client.GetAttrCount(context, reply, count);
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            AttrDefRecord record;
            client.GetAttrDef(context, reply, name, record);
            attributes.emplace_back(name, record);
        }
    } while (continuation != kNoContinuation);
    struct ClassOut {
        std::string name;
        ClassDefRecord record;
        std::vector<std::vector<std::string>> lists;
    };
    std::vector<ClassOut> classes;
    continuation = kNoContinuation;
    do {
        if (Result r = client.ReadClassDefinitions(context, ClassInfoKind::Definitions, true,
                                                   BufferHandle{}, continuation, reply);
            r != 0) {
            client.FreeBuffer(reply);
            return fail(r, "the class definitions cannot be read");
        }
        uint32_t count = 0;
        client.GetClassDefCount(context, reply, count);
        for (uint32_t i = 0; i < count; ++i) {
            ClassOut out;
            client.GetClassDef(context, reply, out.name, out.record);
            for (int list = 0; list < 5; ++list) {
                uint32_t items = 0;
                out.lists.emplace_back();
                if (client.GetClassItemCount(context, reply, items) != 0) break;
                for (uint32_t k = 0; k < items; ++k) {
                    std::string item;
                    client.GetClassItem(context, reply, item);
                    out.lists.back().push_back(item);
                }
            }
            classes.push_back(std::move(out));
        }
    } while (continuation != kNoContinuation);
    client.FreeBuffer(reply);

    std::set<std::string> taken;
    auto unique = [&](const std::string& program) {
        std::string name = ExportedName(program);
        std::string candidate = name;
        for (int n = 2; !taken.insert(image::FoldCase(candidate)).second; ++n)
            candidate = name + std::to_string(n);
        return candidate;
    };
    // Object Class's values are LDAP's objectClass; its definition gets a
    // name of its own, which says that it describes objectClass.
    std::string objectClassName;
    for (const auto& [name, record] : attributes) {
        if (image::EqualsNoCase(name, "Object Class")) {
            objectClassName = unique(name);
            continue;
        }
        walker.attributeNames[image::FoldCase(name)] = unique(name);
        walker.syntaxes[image::FoldCase(name)] = record.syntax;
    }
    for (const ClassOut& c : classes)
        walker.classNames[image::FoldCase(c.name)] = unique(c.name);

    schema << "# Written by vellrun-cli export-ldif: the schema of the tree "
           << (options.tree.empty() ? std::string("(primary)") : options.tree)
           << " as LDAP definitions.\n# The X-NDS_* terms keep the directory's own names, "
              "syntaxes and flags.\n\n";
    size_t index = 0;
    for (const auto& [name, record] : attributes) {
        ++index;
        const bool objectClass = image::EqualsNoCase(name, "Object Class");
        std::string line = "attributetype ( " + std::string(kArc) + ".1." + std::to_string(index) +
                           " NAME " +
                           Quoted(objectClass ? objectClassName : walker.LdapAttribute(name)) +
                           "\n\tEQUALITY octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40";
        if ((record.flags & 0x1) != 0) line += " SINGLE-VALUE";
        line += "\n\tX-NDS_NAME " + Quoted(name) + " X-NDS_SYNTAX " +
                Quoted(std::to_string(record.syntax));
        if ((record.flags & 0x2) != 0) {
            line += " X-NDS_LOWER_BOUND " + Quoted(std::to_string(record.lowerBound)) +
                    " X-NDS_UPPER_BOUND " + Quoted(std::to_string(record.upperBound));
        }
        line += FlagTerms(record.flags, kAttributeTerms, kAttributeFlagsOfTheDefinition);
        const std::string oid = OidText(record.identifier);
        if (!oid.empty()) line += " X-NDS_OID " + Quoted(oid);
        if (objectClass) line += " X-NDS_LDAP_NAME 'objectClass'";
        schema << line << " )\n";
    }
    index = 0;
    for (const ClassOut& c : classes) {
        ++index;
        std::vector<std::string> supers, must, may, containment, naming;
        auto mapAll = [](const std::vector<std::string>& in, std::vector<std::string>& out,
                         const std::function<std::string(const std::string&)>& map) {
            for (const std::string& n : in) {
                const std::string mapped = map(n);
                if (!mapped.empty()) out.push_back(mapped);
            }
        };
        auto attribute = [&](const std::string& n) {
            return image::EqualsNoCase(n, "Object Class") ? std::string("objectClass")
                                                          : walker.LdapAttribute(n);
        };
        auto ofClass = [&](const std::string& n) { return walker.LdapClass(n); };
        mapAll(c.lists[0], supers, ofClass);
        mapAll(c.lists[1], containment, ofClass);
        mapAll(c.lists[2], naming, attribute);
        mapAll(c.lists[3], must, attribute);
        mapAll(c.lists[4], may, attribute);
        // LDAP's classes derive from top, except the directory's Top, which
        // stands for it; a class that has no superclass says so for the reader.
        const bool standsForTop = image::EqualsNoCase(c.name, "Top");
        const bool noSuperclasses = supers.empty() && !standsForTop;
        if (noSuperclasses) supers.push_back("top");
        const char* kind = (c.record.flags & 0x20) != 0   ? "AUXILIARY"
                           : (c.record.flags & 0x02) != 0 ? "STRUCTURAL"
                                                          : "ABSTRACT";
        std::string line = "objectclass ( " + std::string(kArc) + ".2." + std::to_string(index) +
                           " NAME " + Quoted(walker.LdapClass(c.name));
        if (!supers.empty()) line += "\n\tSUP " + NameList(supers, false);
        line += std::string(" ") + kind;
        if (!must.empty()) line += "\n\tMUST " + NameList(must, false);
        if (!may.empty()) line += "\n\tMAY " + NameList(may, false);
        line += "\n\tX-NDS_NAME " + Quoted(c.name);
        if (!containment.empty()) line += " X-NDS_CONTAINMENT " + NameList(containment, true);
        if (!naming.empty()) line += " X-NDS_NAMING " + NameList(naming, true);
        if ((c.record.flags & 0x01) == 0) line += " X-NDS_NOT_CONTAINER '1'";
        if (noSuperclasses) line += " X-NDS_NO_SUPERCLASSES '1'";
        line += FlagTerms(c.record.flags, kClassTerms, kClassFlagsOfTheDefinition);
        const std::string oid = OidText(c.record.identifier);
        if (!oid.empty()) line += " X-NDS_OID " + Quoted(oid);
        schema << line << " )\n";
    }

    // Names inside values become DNs; class and attribute names their LDAP names.
    walker.names.toDn = [&walker](std::string_view name) { return walker.DnOf(name); };
    walker.names.classToLdap = [&walker](std::string_view n) {
        return walker.LdapClass(std::string(n));
    };
    walker.names.attributeToLdap = [&walker](std::string_view n) {
        return walker.LdapAttribute(std::string(n));
    };

    // The base entry, then the tree from the top down.
    const RelativeName& top = walker.base.front();
    Line(ldif, "dn", DnText(walker.base));
    Line(ldif, "objectClass", "extensibleObject");
    Line(ldif, "objectClass", "top");
    for (const NamePart& part : top)
        Line(ldif, part.type, part.value);
    ldif << '\n';
    if (Result r = walker.Walk("[Root]", ldif); r != 0) return fail(r, walker.error);
    client.FreeContext(context);
    outcome.entries = walker.entries;
    return outcome;
}

}  // namespace vellrun::client::ldap
