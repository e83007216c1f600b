#pragma once

// The in-memory directory that the embedded backend serves: trees, each with
// its schema and its objects. The loader builds it from an image file and
// validates it whole; the client reads and changes it. Names are compared
// without regard to (ASCII) case, as the directory does.

#include "client/AttrValue.h"
#include "client/ClientTypes.h"
#include "client/NameSyntax.h"
#include "client/image/PackedValues.h"
#include "platform/AsciiText.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vellrun::client::image {

// Names are looked up under their ASCII lower-cased form and compared
// without case (platform/AsciiText.h).
using platform::EqualsNoCase;
inline std::string FoldCase(std::string_view text) {
    return platform::AsciiLowerCopy(text);
}
// The same into out (replacing what it held), keeping its room.
inline void FoldCase(std::string_view text, std::string& out) {
    out.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = platform::AsciiLower(text[i]);
}

using client::FirstUnescaped;
using client::SplitFullName;
// A relative name without its "TYPE=" (an escaped "\=" belongs to the value),
// and without the type of each further part that a "+" starts ("CN=a+SN=b",
// LDAP's multi-valued relative name, is "a+b"; "CN=a+b" is "a+b" too). The
// result lies in relativeName, or in room when a type is cut from its middle.
std::string_view WithoutType(std::string_view relativeName, std::string& room);

struct AttributeDefinition {
    std::string name;
    SyntaxId syntax = 0;
    uint32_t flags = 0;
    uint32_t lowerBound = 0;
    uint32_t upperBound = 0;
    ObjectIdentifier identifier;
};

struct ClassDefinition {
    std::string name;
    uint32_t flags = 0;
    ObjectIdentifier identifier;
    std::vector<std::string> superClasses;
    std::vector<std::string> containment;
    std::vector<std::string> naming;
    std::vector<std::string> mandatory;
    std::vector<std::string> optional;
};

class Schema {
public:
    // Both keep definition order, which is the order in which reads list them.
    std::vector<AttributeDefinition> attributes;
    std::vector<ClassDefinition> classes;

    // Rebuilds the name indexes; call after filling the vectors.
    void Index();
    const AttributeDefinition* FindAttribute(std::string_view name) const;
    const ClassDefinition* FindClass(std::string_view name) const;

private:
    std::unordered_map<std::string, size_t> attributeIndex_;
    std::unordered_map<std::string, size_t> classIndex_;
};

// A name that many objects of a tree share (an attribute's or a class's name,
// a naming type), held once in the tree's NamePool; an object keeps only this
// pointer to it. Empty until it is given a pooled text.
class PooledName {
public:
    PooledName() = default;

    const std::string& str() const { return text_ != nullptr ? *text_ : Empty(); }
    // Reads like the text it names.
    operator const std::string&() const { return str(); }  // NOLINT(google-explicit-constructor)
    operator std::string_view() const { return str(); }    // NOLINT(google-explicit-constructor)
    bool empty() const { return str().empty(); }
    size_t size() const { return str().size(); }

    friend bool operator==(const PooledName& a, const PooledName& b) {
        return a.text_ == b.text_ || a.str() == b.str();
    }
    friend bool operator==(const PooledName& a, std::string_view b) { return a.str() == b; }
    friend bool operator==(const PooledName& a, const char* b) { return a.str() == b; }
    friend std::ostream& operator<<(std::ostream& out, const PooledName& name) {
        return out << name.str();
    }

private:
    friend class NamePool;
    explicit PooledName(const std::string* text) : text_(text) {}
    static const std::string& Empty();

    const std::string* text_ = nullptr;
};

// The texts of a tree's PooledNames, each held once, spelled as given (the
// pool tells "CN" and "cn" apart). It only grows, and a text keeps its place.
class NamePool {
public:
    PooledName Intern(std::string_view text);

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_set<std::string, Hash, std::equal_to<>> texts_;
};

struct StoredAttribute {
    PooledName name;  // spelled as the schema spells it
    SyntaxId syntax = 0;
    // For a stream: exactly one StreamValue, and the stream's content.
    PackedValues values;
};

// The last two positions at which an attribute was found (ImageClient keeps
// one hint for each few names).
struct AttributePositionHint {
    size_t recent = 0;
    size_t before = 0;
};

struct Entry {
    std::string name;         // relative name without its type, e.g. "jdoe"
    PooledName namingType;    // the type of the relative name, e.g. "CN", "OU", "O"
    PooledName baseClass;     // spelled as the schema spells it
    Entry* parent = nullptr;  // null only for the tree's top, "[Root]"
    std::vector<std::unique_ptr<Entry>> children;  // listing order
    std::vector<StoredAttribute> attributes;       // reading order
    uint32_t created = 0;
    uint32_t modified = 0;
    bool partitionRoot = false;
    bool readOnly = false;  // the logged-in user may neither change nor remove it

    bool IsRoot() const { return parent == nullptr; }
    bool IsAlias() const;  // base class "Alias"
    Entry* FindChild(std::string_view childName) const;
    StoredAttribute* FindAttribute(std::string_view attributeName);
    const StoredAttribute* FindAttribute(std::string_view attributeName) const;
    // The same, trying the positions of the hint first; the hint learns where
    // the attribute was found. Objects of one kind keep their attributes in
    // the same order, so a hint kept per name is nearly always right.
    const StoredAttribute* FindAttribute(std::string_view attributeName,
                                         AttributePositionHint& hint) const;
    // Finds a child by its name folded to lower case (FoldCase).
    Entry* FindFoldedChild(const std::string& foldedName) const;
    // Adds a child at the end of the listing order and indexes it.
    Entry& AddChild(std::unique_ptr<Entry> child);
    // Removes a child that has no subordinates of its own.
    void RemoveChild(Entry* child);

private:
    // FoldCase(name) -> child, made only once a container holds enough
    // children that looking through them costs more: most objects are leaves.
    std::unique_ptr<std::unordered_map<std::string, Entry*>> childIndex_;
};

// Tree names. The tree list keeps the first 32 characters of a name and
// drops its trailing "_" (a connection's tree name comes padded with them),
// so a tree is found again by its listed name only when that changes nothing.
constexpr size_t kMaxTreeNameLength = 32;
// Why name cannot name a tree ("is not 1 to 32 characters long", "ends with
// \"_\""), or empty when it can.
std::string TreeNameFault(std::string_view name);
// A tree name made from a file's stem or a host: its first 32 characters
// without trailing "_"; "" when nothing is left.
std::string FitTreeName(std::string_view derived);

struct Tree {
    std::string name;
    // Whether the name was made from a file's stem rather than given.
    bool derivedName = false;
    std::string
        identity;  // full typeless name of the logged-in user, without a leading dot; may be empty
    Schema schema;
    // The texts of the objects' PooledNames. Adding a name changes nothing a
    // reader of the tree sees, so a change made through a const tree may add one.
    mutable NamePool names;
    // The room of the objects' packed values; like the names, a change made
    // through a const tree may add to it.
    mutable ValueArena values;
    std::unique_ptr<Entry> root;  // "[Root]"; its children are the top-level objects

    // "jdoe.Sales.Corp", or with types "CN=jdoe.OU=Sales.O=Corp"; "[Root]" for the top.
    static std::string FullName(const Entry& entry, bool typeless);
    // Finds an object by its full name (typed or typeless relative names, without
    // a leading dot); "[Root]" is the top. Aliases are not followed.
    Entry* Find(std::string_view fullName) const;
};

struct DirectoryImage {
    std::string sourcePath;
    std::vector<std::unique_ptr<Tree>> trees;

    Tree* FindTree(std::string_view name) const;
};

}  // namespace vellrun::client::image
