#pragma once

// Private to the image loader: reads one tree of an image document, its
// schema (TreeLoaderSchema.cpp) and its objects (TreeLoaderObjects.cpp), into
// a Tree. Made and used by LoadImageText for one tree at a time; a fault is
// thrown as a Refusal with the place in front, and the half-read tree is
// dropped with the loader.

#include "client/image/DirectoryImage.h"
#include "client/image/ImageJson.h"
#include "client/image/ImageLoader.h"
#include "client/image/ImageValueParser.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <absl/container/flat_hash_map.h>

namespace vellrun::client::image::detail {

// A map by text that takes a string_view key without making a string of it.
struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

// "list[index]", for places in messages.
std::string Indexed(std::string_view list, size_t index);
// " \"name\"" for an element of a list that carries a name, for places.
std::string NameNote(const Json& element);

// What the objects of one class have in common, worked out once per class.
struct ClassFacts {
    bool ready = false;
    bool alias = false;
    std::vector<const AttributeDefinition*> naming;  // the naming attributes in effect
    PooledName baseClass;
    PooledName namingType;                        // when the name does not say
    std::vector<const std::string*> objectClass;  // base, supers nearest first, "Top" last
};

// How far the objects of the whole image are loaded, for LoadOptions::progress.
struct ObjectProgress {
    const LoadProgress* report = nullptr;  // null: not told
    uint64_t done = 0;
    uint64_t total = 0;
};

// An object read from the file, before it is linked under its container.
struct PendingObject {
    std::unique_ptr<Entry> owned;  // moved into the tree when linked
    Entry* entry = nullptr;
    std::string_view key;                       // folded typeless full name (the index's own key)
    size_t containerStart = std::string::npos;  // where the container's name starts in key
    std::string_view writtenName;               // the full name as the file writes it, for messages
    size_t classIndex = 0;
    std::vector<std::string> types;  // per relative name as written typed, "" where untyped
};

class TreeLoader {
public:
    // source: the tree, its "objects" list handed out by objects one element at
    // a time; the loader empties each element once it has taken it in, so the
    // objects and the tree are not both whole in memory at once.
    TreeLoader(const Json& source, ObjectList& objects, size_t index,
               const std::filesystem::path& baseDir, ByteBudget& budget, ObjectProgress& progress)
        : source_(source),
          objects_(objects),
          place_(Indexed("trees", index)),
          baseDir_(baseDir),
          progress_(progress) {
        valueSource_.budget = &budget;
    }

    std::unique_ptr<Tree> Load();

private:
    void LoadSchema(const Json& schema);
    void LoadAttributeDefinition(const Json& source, size_t index);
    void LoadClassName(const Json& source, size_t index);
    void LoadClassDefinition(const Json& source, ClassDefinition& definition, size_t index);
    std::vector<std::string> ReadNameList(const Fields& fields, std::string_view key,
                                          std::string_view what, bool classes,
                                          std::vector<size_t>* indexes);
    void CheckSuperCircles();

    void LoadObjects(const Json& objects);
    void LoadObject(const Json& source, PendingObject& pending, size_t index);
    void ReadObjectName(const std::string& text, PendingObject& pending, std::string& key);
    void LoadAttributes(const Json& attributes, PendingObject& pending, const ClassFacts& facts);
    void LoadValues(const Json& values, const AttributeDefinition& definition,
                    StoredAttribute& attribute, uint32_t defaultFlags, uint32_t modified);
    // Adds one value to values_ (and a stream's content to stream_).
    void LoadValue(const Json& source, uint32_t defaultFlags, uint32_t modified);
    void LinkObjects();
    void CheckTypedNames(const PendingObject& pending);
    void CheckAlias(const PendingObject& pending);
    void ReadIdentity(const Json& identity);

    const AttributeDefinition* FindAttribute(const std::string& name);
    // The same for the attribute at a place in an object: objects of one kind
    // mostly give their attributes in one order, so the name is first compared
    // with the one found at that place before.
    const AttributeDefinition* FindAttributeAt(size_t position, const std::string& name);
    // The pooled name of a definition of the schema.
    PooledName NameOf(const AttributeDefinition& definition);
    const size_t* FindClass(const std::string& name);
    const ClassFacts& FactsOf(size_t classIndex);
    Entry* FindObject(std::string_view typelessName) const;
    std::string ObjectPlace(size_t index) const;
    // A copy of text kept as long as the loader, for the objects' names and keys.
    std::string_view KeepName(std::string_view text);

    const Json& source_;
    ObjectList& objects_;
    std::string place_;
    const std::filesystem::path& baseDir_;
    ObjectProgress& progress_;
    std::unique_ptr<Tree> tree_;

    TextMap<size_t> attributeIndex_;  // folded name -> definition
    TextMap<size_t> classIndex_;
    TextMap<const AttributeDefinition*> attributeSpellings_;  // as written in the file
    TextMap<size_t> classSpellings_;
    std::vector<std::vector<size_t>> superIndexes_;
    std::vector<ClassFacts> classFacts_;
    const AttributeDefinition* objectClassAttribute_ = nullptr;
    const AttributeDefinition* aliasedNameAttribute_ = nullptr;
    std::optional<size_t> topClass_;

    struct ObjectSlot {
        Entry* entry = nullptr;
        size_t index = 0;
    };
    absl::flat_hash_map<std::string_view, ObjectSlot> objectIndex_;  // key -> object
    std::vector<PendingObject> pending_;
    // The texts of KeepName, in blocks that never move.
    std::vector<std::unique_ptr<char[]>> nameBlocks_;
    char* nameNext_ = nullptr;
    char* nameEnd_ = nullptr;
    std::vector<size_t> givenAt_;  // per attribute definition: 1 + its place in the object read now
    std::vector<PooledName> attributeNames_;  // per attribute definition, once pooled
    std::vector<std::pair<std::string, const AttributeDefinition*>> recentAttributes_;  // by place
    detail::ValueSource valueSource_;
    // The values of the attribute read now, before they are packed.
    std::vector<StoredValue> values_;
    Bytes stream_;
};

}  // namespace vellrun::client::image::detail
