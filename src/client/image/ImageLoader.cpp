#include "client/image/ImageLoader.h"

#include "client/image/ImageJson.h"
#include "client/image/ImageValueParser.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace vellrun::client::image {

namespace {

using detail::Fields;
using detail::Json;
using detail::Quoted;
using detail::ReadField;
using detail::Refusal;
using detail::Refuse;

constexpr std::string_view kFormat = "vellrun-directory-image";
constexpr uint32_t kVersion = 1;
constexpr size_t kMaxTreeNameLength = 32;

constexpr uint32_t kValuePresent = 0x04;
constexpr uint32_t kValueNaming = 0x01;

// Syntax names by number, as images may write them.
// clang-format off
constexpr std::array<std::string_view, 37> kSyntaxNames = {
    "UNKNOWN", "DIST_NAME", "CE_STRING", "CI_STRING", "PR_STRING",
    "NU_STRING", "CI_LIST", "BOOLEAN", "INTEGER", "OCTET_STRING",
    "TEL_NUMBER", "FAX_NUMBER", "NET_ADDRESS", "OCTET_LIST", "EMAIL_ADDRESS",
    "PATH", "REPLICA_POINTER", "OBJECT_ACL", "PO_ADDRESS", "TIMESTAMP",
    "CLASS_NAME", "STREAM", "COUNTER", "BACK_LINK", "TIME",
    "TYPED_NAME", "HOLD", "INTERVAL", "COMPONENT", "ENUM_COMPONENT",
    "NULL", "OID", "ENUMERATED", "SET", "SEQUENCE",
    "CHOICE", "ANY",
};
// clang-format on

struct FlagName {
    std::string_view name;
    uint32_t bit;
};

constexpr FlagName kAttributeFlags[] = {
    {"SingleVal", 0x1},      {"Sized", 0x2},          {"NonRemov", 0x4},
    {"ReadOnly", 0x8},       {"Hidden", 0x10},        {"String", 0x20},
    {"SyncImdt", 0x40},      {"PublicRd", 0x80},      {"ServerRd", 0x100},
    {"WriteManaged", 0x200}, {"PerReplica", 0x400},   {"SyncNever", 0x800},
    {"Operational", 0x1000}, {"BothManaged", 0x8000}, {"ReadFiltered", 0x20000}};
constexpr uint32_t kSingleValued = 0x1;

constexpr FlagName kClassFlags[] = {{"Container", 0x01},
                                    {"Effective", 0x02},
                                    {"NonRemovable", 0x04},
                                    {"AmbiguousNaming", 0x08},
                                    {"AmbiguousContainment", 0x10},
                                    {"Auxiliary", 0x20},
                                    {"Operational", 0x40}};

// Names that a relative name may not take: the directory gives them their own meaning.
constexpr std::string_view kSpecialNames[] = {"[root]", "[this]", "[public]", "[supervisor]"};

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};
template <typename T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

std::string Indexed(std::string_view list, size_t index) {
    std::string place(list);
    place += '[';
    place += std::to_string(index);
    place += ']';
    return place;
}

// " \"name\"" for an element of a list that carries a name, for places.
std::string NameNote(const Json& element) {
    if (!element.is_object()) return {};
    auto name = element.find("name");
    if (name == element.end() || !name->is_string()) return {};
    return " " + Quoted(name->get_ref<const std::string&>());
}

uint32_t ReadFlags(const Json& value, std::span<const FlagName> table) {
    if (value.is_number()) return detail::ReadUnsigned(value);
    if (!value.is_array()) Refuse("expected a number or a list of flag names and numbers");
    uint32_t flags = 0;
    for (const Json& item : value) {
        if (item.is_number()) {
            flags |= detail::ReadUnsigned(item);
            continue;
        }
        if (!item.is_string()) Refuse("expected a number or a list of flag names and numbers");
        const auto& name = item.get_ref<const std::string&>();
        auto known = std::find_if(table.begin(), table.end(),
                                  [&](const FlagName& flag) { return flag.name == name; });
        if (known == table.end()) {
            std::string names;
            for (const FlagName& flag : table) {
                if (!names.empty()) names += ", ";
                names += flag.name;
            }
            Refuse("unknown flag " + Quoted(name) + " (known flags: " + names + ")");
        }
        flags |= known->bit;
    }
    return flags;
}

SyntaxId ReadSyntax(const Json& value) {
    if (value.is_number()) return detail::ReadUnsigned(value);
    if (!value.is_string()) Refuse("expected a syntax number or name");
    const auto& name = value.get_ref<const std::string&>();
    for (size_t id = 0; id < kSyntaxNames.size(); ++id) {
        if (kSyntaxNames[id] == name) return static_cast<SyntaxId>(id);
    }
    Refuse("unknown syntax " + Quoted(name));
}

// Dotted text to the encoded identifier: tag 6, the content length, the first
// two numbers in one byte (40 * first + second), then each further number in
// base 128, high groups first with the top bit set on all but the last byte.
ObjectIdentifier EncodeOid(const std::string& text) {
    ObjectIdentifier identifier;
    if (text.empty()) return identifier;
    std::vector<uint32_t> numbers;
    size_t at = 0;
    while (true) {
        uint64_t number = 0;
        size_t digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
            number = number * 10 + static_cast<uint64_t>(text[at] - '0');
            if (number > UINT32_MAX) Refuse(Quoted(text) + " has a number above 4294967295");
            ++at;
            ++digits;
        }
        if (digits == 0) Refuse(Quoted(text) + " is not a dotted object identifier");
        numbers.push_back(static_cast<uint32_t>(number));
        if (at == text.size()) break;
        if (text[at] != '.') Refuse(Quoted(text) + " is not a dotted object identifier");
        ++at;
    }
    if (numbers.size() < 3) {
        Refuse(Quoted(text) + " has fewer than three numbers");
    }
    if (numbers[0] > 2 || numbers[1] > 39) {
        Refuse(Quoted(text) + " must start with 0, 1 or 2, and a second number below 40");
    }
    std::vector<uint8_t> content;
    content.push_back(static_cast<uint8_t>(numbers[0] * 40 + numbers[1]));
    for (size_t i = 2; i < numbers.size(); ++i) {
        uint8_t groups[5];
        size_t count = 0;
        uint32_t number = numbers[i];
        do {
            groups[count++] = static_cast<uint8_t>(number & 0x7F);
            number >>= 7;
        } while (number != 0);
        while (count > 0) {
            --count;
            content.push_back(static_cast<uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
        }
    }
    const size_t length = content.size() + 2;
    if (length > identifier.data.size()) {
        Refuse(Quoted(text) + " encodes to " + std::to_string(length) + " bytes; at most " +
               std::to_string(identifier.data.size()) + " fit");
    }
    identifier.data[0] = 6;
    identifier.data[1] = static_cast<uint8_t>(content.size());
    std::copy(content.begin(), content.end(), identifier.data.begin() + 2);
    identifier.length = static_cast<uint32_t>(length);
    return identifier;
}

// The naming type that a naming attribute gives a relative name.
std::string NamingTypeOf(std::string_view attribute) {
    static constexpr std::string_view kShortTypes[] = {"CN", "OU", "O", "C", "L", "S", "DC", "SA"};
    for (std::string_view type : kShortTypes) {
        if (EqualsNoCase(attribute, type)) return std::string(type);
    }
    if (EqualsNoCase(attribute, "Organizational Unit Name")) return "OU";
    if (EqualsNoCase(attribute, "Organization Name")) return "O";
    return "CN";
}

// What the objects of one class have in common, worked out once per class.
struct ClassFacts {
    bool ready = false;
    bool alias = false;
    std::vector<const AttributeDefinition*> naming;  // the naming attributes in effect
    std::string namingType;                          // when the name does not say
    std::vector<const std::string*> objectClass;     // base, supers nearest first, "Top" last
};

// An object read from the file, before it is linked under its container.
struct PendingObject {
    std::unique_ptr<Entry> owned;  // moved into the tree when linked
    Entry* entry = nullptr;
    const std::string* key = nullptr;           // folded typeless full name (the index's own key)
    size_t containerStart = std::string::npos;  // where the container's name starts in key
    std::string writtenName;                    // the full name as the file writes it, for messages
    size_t classIndex = 0;
    std::vector<std::string> types;  // per relative name as written typed, "" where untyped
};

class TreeLoader {
public:
    // The loader frees each object's part of the document once it has taken it
    // in, so the document and the tree are not both whole in memory at once.
    TreeLoader(Json& source, size_t index, const std::filesystem::path& baseDir)
        : source_(source), place_(Indexed("trees", index)), baseDir_(baseDir) {}

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

    void LoadObjects(Json& objects);
    void LoadObject(const Json& source, PendingObject& pending, size_t index);
    void ReadObjectName(const std::string& text, PendingObject& pending, std::string& key);
    void LoadAttributes(const Json& attributes, PendingObject& pending, const ClassFacts& facts);
    void LoadValues(const Json& values, const AttributeDefinition& definition,
                    StoredAttribute& attribute, uint32_t defaultFlags, uint32_t modified);
    void LoadValue(const Json& source, StoredAttribute& attribute, uint32_t defaultFlags,
                   uint32_t modified);
    void LinkObjects();
    void CheckTypedNames(const PendingObject& pending);
    void CheckAlias(const PendingObject& pending);
    void ReadIdentity(const Json& identity);

    const AttributeDefinition* FindAttribute(const std::string& name);
    const size_t* FindClass(const std::string& name);
    const ClassFacts& FactsOf(size_t classIndex);
    Entry* FindObject(std::string_view typelessName) const;
    std::string ObjectPlace(size_t index) const;

    Json& source_;
    std::string place_;
    const std::filesystem::path& baseDir_;
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
    TextMap<ObjectSlot> objectIndex_;  // folded typeless full name -> object
    std::vector<PendingObject> pending_;
    detail::ValueSource valueSource_;
};

std::unique_ptr<Tree> TreeLoader::Load() {
    tree_ = std::make_unique<Tree>();
    const Json* schema = nullptr;
    Json* objects = nullptr;
    const Json* identity = nullptr;
    try {
        const Fields fields(source_, {"name", "identity", "schema", "objects"},
                            R"(a tree {"name": ..., "schema": ..., "objects": [...]})");
        const Json& nameValue = fields.Require("name");
        tree_->name = ReadField("name", [&] {
            const std::string& name = detail::ReadText(nameValue);
            const size_t length = detail::CountCharacters(name);
            if (length == 0 || length > kMaxTreeNameLength) {
                Refuse(Quoted(name) + " is not 1 to 32 characters long");
            }
            if (name.back() == '_') Refuse(Quoted(name) + " ends with \"_\"");
            return name;
        });
        schema = &fields.Require("schema");
        if (fields.Has("objects")) objects = &source_["objects"];
        identity = fields.Get("identity");
    } catch (Refusal& refusal) {
        refusal.Within(place_);
        throw;
    }

    LoadSchema(*schema);

    auto root = std::make_unique<Entry>();
    root->name = "[Root]";
    // The top of a tree is of class "Top" whether or not the schema defines it.
    root->baseClass = topClass_ ? tree_->schema.classes[*topClass_].name : "Top";
    root->partitionRoot = true;
    tree_->root = std::move(root);

    valueSource_.baseDir = &baseDir_;
    valueSource_.findClass = [this](const std::string& name) -> const std::string* {
        const size_t* index = FindClass(name);
        return index != nullptr ? &tree_->schema.classes[*index].name : nullptr;
    };
    if (objects != nullptr) LoadObjects(*objects);
    LinkObjects();
    if (identity != nullptr) ReadIdentity(*identity);
    return std::move(tree_);
}

void TreeLoader::LoadSchema(const Json& schema) {
    const Json* attributes = nullptr;
    const Json* classes = nullptr;
    try {
        const Fields fields(schema, {"attributes", "classes"},
                            R"(a schema {"attributes": [...], "classes": [...]})");
        attributes = fields.Get("attributes");
        classes = fields.Get("classes");
        if (attributes != nullptr && !attributes->is_array()) {
            ReadField("attributes", [] { Refuse("expected a list of attribute definitions"); });
        }
        if (classes != nullptr && !classes->is_array()) {
            ReadField("classes", [] { Refuse("expected a list of class definitions"); });
        }
    } catch (Refusal& refusal) {
        refusal.Within(place_ + ".schema");
        throw;
    }
    Schema& target = tree_->schema;

    if (attributes != nullptr) {
        target.attributes.reserve(attributes->size());
        attributeIndex_.reserve(attributes->size());
        for (size_t i = 0; i < attributes->size(); ++i) {
            const Json& item = (*attributes)[i];
            try {
                LoadAttributeDefinition(item, i);
            } catch (Refusal& refusal) {
                refusal.Within(place_ + ".schema." + Indexed("attributes", i) + NameNote(item));
                throw;
            }
        }
    }

    // Class names first: super and containment classes may name classes defined later.
    if (classes != nullptr) {
        target.classes.reserve(classes->size());
        classIndex_.reserve(classes->size());
        for (size_t pass = 0; pass < 2; ++pass) {
            for (size_t i = 0; i < classes->size(); ++i) {
                const Json& item = (*classes)[i];
                try {
                    if (pass == 0) {
                        LoadClassName(item, i);
                    } else {
                        LoadClassDefinition(item, target.classes[i], i);
                    }
                } catch (Refusal& refusal) {
                    refusal.Within(place_ + ".schema." + Indexed("classes", i) + NameNote(item));
                    throw;
                }
            }
        }
        CheckSuperCircles();
    }

    target.Index();
    classFacts_.resize(target.classes.size());
    if (const AttributeDefinition* objectClass = FindAttribute("Object Class");
        objectClass != nullptr && objectClass->syntax == Syntax::ClassName) {
        objectClassAttribute_ = objectClass;
    }
    aliasedNameAttribute_ = FindAttribute("Aliased Object Name");
    if (const size_t* top = FindClass("Top")) topClass_ = *top;
}

void TreeLoader::LoadAttributeDefinition(const Json& source, size_t index) {
    const Fields fields(source, {"name", "syntax", "flags", "lower", "upper", "oid"},
                        R"(an attribute definition {"name": ..., "syntax": ...})");
    AttributeDefinition definition;
    const Json& nameValue = fields.Require("name");
    definition.name = ReadField("name", [&] {
        const std::string& name = detail::ReadText(nameValue);
        if (name.empty()) Refuse("expected a name, not an empty text");
        return name;
    });
    auto [known, added] = attributeIndex_.try_emplace(FoldCase(definition.name), index);
    if (!added) {
        Refuse("the name is already defined by " + Indexed("attributes", known->second) + " " +
               Quoted(tree_->schema.attributes[known->second].name) +
               " (names are compared without regard to case)");
    }
    const Json& syntax = fields.Require("syntax");
    definition.syntax = ReadField("syntax", [&] { return ReadSyntax(syntax); });
    if (const Json* flags = fields.Get("flags")) {
        definition.flags = ReadField("flags", [&] { return ReadFlags(*flags, kAttributeFlags); });
    }
    if (const Json* lower = fields.Get("lower")) {
        definition.lowerBound = ReadField("lower", [&] { return detail::ReadUnsigned(*lower); });
    }
    if (const Json* upper = fields.Get("upper")) {
        definition.upperBound = ReadField("upper", [&] { return detail::ReadUnsigned(*upper); });
    }
    if (const Json* oid = fields.Get("oid")) {
        definition.identifier = ReadField("oid", [&] { return EncodeOid(detail::ReadText(*oid)); });
    }
    tree_->schema.attributes.push_back(std::move(definition));
}

void TreeLoader::LoadClassName(const Json& source, size_t index) {
    const Fields fields(
        source, {"name", "flags", "oid", "super", "containment", "naming", "mandatory", "optional"},
        R"(a class definition {"name": ..., "super": [...], ...})");
    ClassDefinition definition;
    const Json& nameValue = fields.Require("name");
    definition.name = ReadField("name", [&] {
        const std::string& name = detail::ReadText(nameValue);
        if (name.empty()) Refuse("expected a name, not an empty text");
        return name;
    });
    auto [known, added] = classIndex_.try_emplace(FoldCase(definition.name), index);
    if (!added) {
        Refuse("the name is already defined by " + Indexed("classes", known->second) + " " +
               Quoted(tree_->schema.classes[known->second].name) +
               " (names are compared without regard to case)");
    }
    tree_->schema.classes.push_back(std::move(definition));
    superIndexes_.emplace_back();
}

void TreeLoader::LoadClassDefinition(const Json& source, ClassDefinition& definition,
                                     size_t index) {
    const Fields fields(source, {"name", "flags", "oid", "super", "containment", "naming",
                                 "mandatory", "optional"});
    if (const Json* flags = fields.Get("flags")) {
        definition.flags = ReadField("flags", [&] { return ReadFlags(*flags, kClassFlags); });
    }
    if (const Json* oid = fields.Get("oid")) {
        definition.identifier = ReadField("oid", [&] { return EncodeOid(detail::ReadText(*oid)); });
    }
    definition.superClasses =
        ReadNameList(fields, "super", "super class", true, &superIndexes_[index]);
    definition.containment =
        ReadNameList(fields, "containment", "containment class", true, nullptr);
    definition.naming = ReadNameList(fields, "naming", "naming attribute", false, nullptr);
    definition.mandatory = ReadNameList(fields, "mandatory", "mandatory attribute", false, nullptr);
    definition.optional = ReadNameList(fields, "optional", "optional attribute", false, nullptr);
}

// A list of class or attribute names, each one of the schema, none twice;
// kept as the schema spells them.
std::vector<std::string> TreeLoader::ReadNameList(const Fields& fields, std::string_view key,
                                                  std::string_view what, bool classes,
                                                  std::vector<size_t>* indexes) {
    std::vector<std::string> names;
    const Json* list = fields.Get(key);
    if (list == nullptr) return names;
    if (!list->is_array()) ReadField(key, [] { Refuse("expected a list of names"); });
    const Schema& schema = tree_->schema;
    names.reserve(list->size());
    for (size_t i = 0; i < list->size(); ++i) {
        const Json& item = (*list)[i];
        if (!item.is_string()) ReadField(Indexed(key, i), [] { Refuse("expected a name"); });
        const auto& name = item.get_ref<const std::string&>();
        const std::string* spelling = nullptr;
        if (classes) {
            const size_t* index = FindClass(name);
            if (index != nullptr) {
                spelling = &schema.classes[*index].name;
                if (indexes != nullptr) indexes->push_back(*index);
            }
        } else if (const AttributeDefinition* definition = FindAttribute(name)) {
            spelling = &definition->name;
        }
        const std::string place = std::string(what) + " " + Quoted(name);
        if (spelling == nullptr) {
            ReadField(place, [&] {
                Refuse(classes ? "not a class of the schema" : "not an attribute of the schema");
            });
        }
        if (std::find(names.begin(), names.end(), *spelling) != names.end()) {
            ReadField(place, [] { Refuse("listed twice"); });
        }
        names.push_back(*spelling);
    }
    return names;
}

// A class may not be its own super class, however far up.
void TreeLoader::CheckSuperCircles() {
    enum class State : uint8_t { Unseen, Open, Done };
    const auto& classes = tree_->schema.classes;
    std::vector<State> state(classes.size(), State::Unseen);
    std::vector<std::pair<size_t, size_t>> stack;  // class, next super to visit
    for (size_t start = 0; start < classes.size(); ++start) {
        if (state[start] != State::Unseen) continue;
        stack.emplace_back(start, 0);
        state[start] = State::Open;
        while (!stack.empty()) {
            auto& [current, next] = stack.back();
            if (next == superIndexes_[current].size()) {
                state[current] = State::Done;
                stack.pop_back();
                continue;
            }
            const size_t super = superIndexes_[current][next++];
            if (state[super] == State::Open) {
                Refusal refusal("the super classes go round in a circle back to " +
                                Quoted(classes[super].name));
                refusal.Within("super class " + Quoted(classes[super].name));
                refusal.Within(place_ + ".schema." + Indexed("classes", current) + " " +
                               Quoted(classes[current].name));
                throw refusal;
            }
            if (state[super] == State::Unseen) {
                state[super] = State::Open;
                stack.emplace_back(super, 0);
            }
        }
    }
}

const AttributeDefinition* TreeLoader::FindAttribute(const std::string& name) {
    if (auto known = attributeSpellings_.find(name); known != attributeSpellings_.end()) {
        return known->second;
    }
    auto index = attributeIndex_.find(FoldCase(name));
    if (index == attributeIndex_.end()) return nullptr;
    const AttributeDefinition* definition = &tree_->schema.attributes[index->second];
    attributeSpellings_.emplace(name, definition);
    return definition;
}

const size_t* TreeLoader::FindClass(const std::string& name) {
    if (auto known = classSpellings_.find(name); known != classSpellings_.end()) {
        return &known->second;
    }
    auto index = classIndex_.find(FoldCase(name));
    if (index == classIndex_.end()) return nullptr;
    return &classSpellings_.emplace(name, index->second).first->second;
}

const ClassFacts& TreeLoader::FactsOf(size_t classIndex) {
    ClassFacts& facts = classFacts_[classIndex];
    if (facts.ready) return facts;
    const auto& classes = tree_->schema.classes;

    // The class and its super classes, nearest first, each once, "Top" last.
    std::vector<size_t> order{classIndex};
    std::vector<bool> seen(classes.size(), false);
    seen[classIndex] = true;
    for (size_t at = 0; at < order.size(); ++at) {
        for (size_t super : superIndexes_[order[at]]) {
            if (!seen[super]) {
                seen[super] = true;
                order.push_back(super);
            }
        }
    }
    if (topClass_) {
        std::erase(order, *topClass_);
        order.push_back(*topClass_);
    }
    facts.objectClass.reserve(order.size());
    for (size_t index : order) {
        facts.objectClass.push_back(&classes[index].name);
    }

    // The naming attributes: the class's own, else those of its nearest super class that has some.
    for (size_t index : order) {
        if (classes[index].naming.empty()) continue;
        for (const std::string& name : classes[index].naming) {
            facts.naming.push_back(FindAttribute(name));
        }
        break;
    }
    facts.namingType = facts.naming.empty() ? "CN" : NamingTypeOf(facts.naming.front()->name);
    facts.alias = EqualsNoCase(classes[classIndex].name, "Alias");
    facts.ready = true;
    return facts;
}

void TreeLoader::LoadObjects(Json& objects) {
    if (!objects.is_array()) {
        ReadField(place_ + ": objects", [] { Refuse("expected a list of objects"); });
    }
    pending_.resize(objects.size());
    objectIndex_.reserve(objects.size());
    for (size_t i = 0; i < objects.size(); ++i) {
        Json& item = objects[i];
        try {
            LoadObject(item, pending_[i], i);
        } catch (Refusal& refusal) {
            refusal.Within(place_ + "." + Indexed("objects", i) + NameNote(item));
            throw;
        }
        pending_[i].writtenName = std::move(item["name"].get_ref<std::string&>());
        item = nullptr;
    }
}

void TreeLoader::LoadObject(const Json& source, PendingObject& pending, size_t index) {
    const Fields fields(
        source, {"name", "class", "created", "modified", "partitionRoot", "readOnly", "attributes"},
        R"(an object {"name": ..., "class": ..., ...})");
    pending.owned = std::make_unique<Entry>();
    pending.entry = pending.owned.get();
    Entry& entry = *pending.entry;

    std::string key;
    const Json& name = fields.Require("name");
    ReadField("name", [&] { ReadObjectName(detail::ReadText(name), pending, key); });
    const Json& className = fields.Require("class");
    pending.classIndex = ReadField("class", [&] {
        const std::string& text = detail::ReadText(className);
        const size_t* classIndex = FindClass(text);
        if (classIndex == nullptr) Refuse(Quoted(text) + " is not a class of the schema");
        return *classIndex;
    });
    const ClassFacts& facts = FactsOf(pending.classIndex);
    entry.baseClass = tree_->schema.classes[pending.classIndex].name;
    if (entry.namingType.empty()) entry.namingType = facts.namingType;
    if (const Json* created = fields.Get("created")) {
        entry.created = ReadField("created", [&] { return detail::ReadTime(*created); });
    }
    if (const Json* modified = fields.Get("modified")) {
        entry.modified = ReadField("modified", [&] { return detail::ReadTime(*modified); });
    }
    if (const Json* partitionRoot = fields.Get("partitionRoot")) {
        entry.partitionRoot =
            ReadField("partitionRoot", [&] { return detail::ReadBoolean(*partitionRoot); });
    }
    if (const Json* readOnly = fields.Get("readOnly")) {
        entry.readOnly = ReadField("readOnly", [&] { return detail::ReadBoolean(*readOnly); });
    }
    static const Json kNoAttributes = Json::object();
    const Json* attributes = fields.Get("attributes");
    LoadAttributes(attributes != nullptr ? *attributes : kNoAttributes, pending, facts);

    // The name is the object's own only once the object is sound.
    auto [slot, added] = objectIndex_.try_emplace(std::move(key), ObjectSlot{&entry, index});
    if (!added) {
        const size_t first = slot->second.index;
        Refuse("the name is already used by " + Indexed("objects", first) + " " +
               Quoted(pending_[first].writtenName) +
               " (names are compared without regard to case)");
    }
    pending.key = &slot->first;
}

// Reads "jdoe.Sales.Corp" or "CN=jdoe.OU=Sales.O=Corp" into the entry's
// relative name and type, and gives the folded typeless full name.
void TreeLoader::ReadObjectName(const std::string& text, PendingObject& pending, std::string& key) {
    if (text.empty()) Refuse("expected a full name, not an empty text");
    if (text.front() == '.') {
        Refuse(Quoted(text) + " has a leading dot (full names are written without one)");
    }
    Entry& entry = *pending.entry;
    const bool typed = text.find('=') != std::string::npos;
    std::string typeless;
    if (typed) typeless.reserve(text.size());
    size_t start = 0;
    bool first = true;
    while (true) {
        size_t end = text.find('.', start);
        if (end == std::string::npos) end = text.size();
        std::string_view part(text.data() + start, end - start);
        if (part.empty()) Refuse(Quoted(text) + " has an empty relative name");
        std::string_view value = part;
        if (typed) {
            const size_t equals = part.find('=');
            std::string_view type;
            if (equals != std::string_view::npos) {
                type = part.substr(0, equals);
                value = part.substr(equals + 1);
                if (type.empty() || value.empty() || value.find('=') != std::string_view::npos) {
                    Refuse(Quoted(text) + ": " + Quoted(part) +
                           " is not a relative name TYPE=NAME");
                }
            }
            pending.types.emplace_back(type);
            if (!first) typeless += '.';
            typeless.append(value);
        }
        if (first) {
            for (std::string_view special : kSpecialNames) {
                if (EqualsNoCase(value, special)) {
                    Refuse(Quoted(text) + ": " + Quoted(value) +
                           " is a special name, not a relative name of an object");
                }
            }
            entry.name.assign(value);
            if (typed && !pending.types.front().empty()) entry.namingType = pending.types.front();
            first = false;
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    key = FoldCase(typed ? typeless : text);
    const size_t dot = key.find('.');
    pending.containerStart = dot == std::string::npos ? std::string::npos : dot + 1;
}

void TreeLoader::LoadAttributes(const Json& attributes, PendingObject& pending,
                                const ClassFacts& facts) {
    if (!attributes.is_object()) {
        ReadField("attributes",
                  [] { Refuse("expected an object of attribute names and their values"); });
    }
    Entry& entry = *pending.entry;
    entry.attributes.reserve(attributes.size() + 1);
    std::vector<const AttributeDefinition*> given;
    given.reserve(attributes.size());
    bool hasObjectClass = false;
    for (const auto& [name, values] : attributes.get_ref<const Json::object_t&>()) {
        try {
            const AttributeDefinition* definition = FindAttribute(name);
            if (definition == nullptr) Refuse("not an attribute of the schema");
            for (size_t i = 0; i < given.size(); ++i) {
                if (given[i] == definition) {
                    Refuse("given twice (also as " + Quoted(entry.attributes[i].name) +
                           "; names are compared without regard to case)");
                }
            }
            given.push_back(definition);
            hasObjectClass = hasObjectClass || definition == objectClassAttribute_;
            const bool naming = std::find(facts.naming.begin(), facts.naming.end(), definition) !=
                                facts.naming.end();
            StoredAttribute& attribute = entry.attributes.emplace_back();
            attribute.name = definition->name;
            attribute.syntax = definition->syntax;
            LoadValues(values, *definition, attribute, kValuePresent | (naming ? kValueNaming : 0),
                       entry.modified);
        } catch (Refusal& refusal) {
            refusal.Within("attribute " + Quoted(name));
            throw;
        }
    }
    if (objectClassAttribute_ != nullptr && !hasObjectClass) {
        StoredAttribute objectClass;
        objectClass.name = objectClassAttribute_->name;
        objectClass.syntax = Syntax::ClassName;
        objectClass.values.reserve(facts.objectClass.size());
        for (const std::string* name : facts.objectClass) {
            objectClass.values.push_back(
                StoredValue{AttrValue{Syntax::ClassName, StringValue{*name}}, kValuePresent,
                            TimeStamp{entry.modified, 0, 0}});
        }
        // Reads give it first, as a directory does.
        entry.attributes.push_back(std::move(objectClass));
        std::rotate(entry.attributes.begin(), entry.attributes.end() - 1, entry.attributes.end());
    }
}

void TreeLoader::LoadValues(const Json& values, const AttributeDefinition& definition,
                            StoredAttribute& attribute, uint32_t defaultFlags, uint32_t modified) {
    valueSource_.attributeName = &definition.name;
    valueSource_.syntax = definition.syntax;
    if (!values.is_array()) {
        if (detail::ValueIsList(definition.syntax)) {
            Refuse(
                "expected a list of values (a value of this syntax is itself a list, so even "
                "one value needs an outer list)");
        }
        try {
            LoadValue(values, attribute, defaultFlags, modified);
        } catch (Refusal& refusal) {
            refusal.Within("value 1");
            throw;
        }
        return;
    }
    if (values.empty()) Refuse("no values (an attribute has at least one)");
    attribute.values.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        try {
            LoadValue(values[i], attribute, defaultFlags, modified);
        } catch (Refusal& refusal) {
            refusal.Within("value " + std::to_string(i + 1));
            throw;
        }
    }
    if (values.size() > 1) {
        if (definition.syntax == Syntax::Stream) {
            Refuse("a stream has one value, not " + std::to_string(values.size()));
        }
        if ((definition.flags & kSingleValued) != 0) {
            Refuse("the attribute is single-valued, but " + std::to_string(values.size()) +
                   " values are given");
        }
    }
}

void TreeLoader::LoadValue(const Json& source, StoredAttribute& attribute, uint32_t defaultFlags,
                           uint32_t modified) {
    const Json* value = &source;
    StoredValue stored;
    stored.flags = defaultFlags;
    stored.modified.seconds = modified;
    if (source.is_object() && source.contains("value")) {
        const Fields fields(source, {"value", "flags", "modified", "replica", "event"});
        value = &fields.Require("value");
        if (const Json* flags = fields.Get("flags")) {
            stored.flags = ReadField("flags", [&] { return detail::ReadUnsigned(*flags); });
        }
        if (const Json* time = fields.Get("modified")) {
            stored.modified.seconds =
                ReadField("modified", [&] { return detail::ReadTime(*time); });
        }
        if (const Json* replica = fields.Get("replica")) {
            stored.modified.replica = static_cast<uint16_t>(
                ReadField("replica", [&] { return detail::ReadUnsigned(*replica, 0xFFFF); }));
        }
        if (const Json* event = fields.Get("event")) {
            stored.modified.event = static_cast<uint16_t>(
                ReadField("event", [&] { return detail::ReadUnsigned(*event, 0xFFFF); }));
        }
    }
    Bytes stream;
    stored.value = detail::ParseValue(*value, valueSource_, stream);
    if (attribute.syntax == Syntax::Stream) attribute.stream = std::move(stream);
    attribute.values.push_back(std::move(stored));
}

// Puts every object under its container, in the order of the file.
void TreeLoader::LinkObjects() {
    // Objects of one container mostly stand together; the last container found saves a look-up.
    std::string_view lastKey;
    Entry* lastContainer = nullptr;
    for (size_t i = 0; i < pending_.size(); ++i) {
        PendingObject& pending = pending_[i];
        Entry* container = tree_->root.get();
        if (pending.containerStart != std::string::npos) {
            const std::string_view key =
                std::string_view(*pending.key).substr(pending.containerStart);
            if (lastContainer != nullptr && key == lastKey) {
                pending.entry->parent = lastContainer;
                lastContainer->AddChild(std::move(pending.owned));
                continue;
            }
            auto found = objectIndex_.find(key);
            if (found == objectIndex_.end()) {
                const std::string& name = pending.writtenName;
                Refusal refusal("the container " + Quoted(name.substr(name.find('.') + 1)) +
                                " is not an object of the tree");
                refusal.Within(ObjectPlace(i));
                throw refusal;
            }
            container = found->second.entry;
            lastKey = key;
            lastContainer = container;
        }
        pending.entry->parent = container;
        container->AddChild(std::move(pending.owned));
    }
    for (size_t i = 0; i < pending_.size(); ++i) {
        try {
            if (!pending_[i].types.empty()) CheckTypedNames(pending_[i]);
            if (FactsOf(pending_[i].classIndex).alias) CheckAlias(pending_[i]);
        } catch (Refusal& refusal) {
            refusal.Within(ObjectPlace(i));
            throw;
        }
    }
}

// The types a typed name gives the containers must be the containers' own.
void TreeLoader::CheckTypedNames(const PendingObject& pending) {
    const Entry* ancestor = pending.entry->parent;
    for (size_t k = 1; k < pending.types.size() && ancestor != nullptr;
         ++k, ancestor = ancestor->parent) {
        const std::string& type = pending.types[k];
        if (type.empty() || EqualsNoCase(type, ancestor->namingType)) continue;
        Refuse("the name gives " + Quoted(ancestor->name) + " the type " + type +
               ", but that object is named with the type " + ancestor->namingType);
    }
}

void TreeLoader::CheckAlias(const PendingObject& pending) {
    const StoredAttribute* aliased = nullptr;
    if (aliasedNameAttribute_ != nullptr) {
        for (const StoredAttribute& attribute : pending.entry->attributes) {
            if (attribute.name == aliasedNameAttribute_->name) {
                aliased = &attribute;
                break;
            }
        }
    }
    if (aliased == nullptr) Refuse("an alias needs an \"Aliased Object Name\" value");
    ReadField("attribute " + Quoted(aliased->name), [&] {
        if (aliased->syntax != Syntax::DistName) {
            Refuse("the attribute of an alias must have the syntax DIST_NAME");
        }
        if (aliased->values.size() != 1) {
            Refuse("an alias names one object, not " + std::to_string(aliased->values.size()));
        }
        const auto& target = std::get<StringValue>(aliased->values.front().value.record).text;
        const Entry* object = FindObject(target);
        if (object == nullptr) Refuse(Quoted(target) + " is not an object of the tree");
        if (object == pending.entry) Refuse(Quoted(target) + " is the alias itself");
    });
}

void TreeLoader::ReadIdentity(const Json& identity) {
    ReadField(place_ + ": identity", [&] {
        const std::string& name = detail::ReadText(identity);
        if (name.empty()) return;
        detail::CheckValueName(name);
        if (FindObject(name) == nullptr) Refuse(Quoted(name) + " is not an object of the tree");
        tree_->identity = name;
    });
}

Entry* TreeLoader::FindObject(std::string_view typelessName) const {
    auto found = objectIndex_.find(FoldCase(typelessName));
    return found == objectIndex_.end() ? nullptr : found->second.entry;
}

std::string TreeLoader::ObjectPlace(size_t index) const {
    return place_ + "." + Indexed("objects", index) + " " + Quoted(pending_[index].writtenName);
}

void LoadDocument(Json& document, DirectoryImage& image, const std::filesystem::path& baseDir) {
    if (!document.is_object()) {
        Refuse(R"(expected an image {"format": ..., "version": ..., "trees": [...]})");
    }
    // The format and version come first: a newer image may well have keys this one does not know.
    auto format = document.find("format");
    if (format == document.end()) Refuse("missing \"format\"");
    if (!format->is_string() || format->get_ref<const std::string&>() != kFormat) {
        ReadField("format", [] { Refuse("expected \"" + std::string(kFormat) + "\""); });
    }
    auto version = document.find("version");
    if (version == document.end()) Refuse("missing \"version\"");
    if (!version->is_number_unsigned() || version->get<uint64_t>() != kVersion) {
        ReadField("version", [&] {
            Refuse(version->dump() + " is not supported (this program reads version " +
                   std::to_string(kVersion) + ")");
        });
    }
    const Fields fields(document, {"format", "version", "trees"});
    fields.Require("trees");
    Json& trees = document["trees"];
    if (!trees.is_array()) ReadField("trees", [] { Refuse("expected a list of trees"); });

    TextMap<size_t> treeNames;
    image.trees.reserve(trees.size());
    for (size_t i = 0; i < trees.size(); ++i) {
        TreeLoader loader(trees[i], i, baseDir);
        std::unique_ptr<Tree> tree = loader.Load();
        trees[i] = nullptr;
        auto [known, added] = treeNames.try_emplace(FoldCase(tree->name), i);
        if (!added) {
            ReadField(Indexed("trees", i) + ": name", [&] {
                Refuse(Quoted(tree->name) + " is already the name of " +
                       Indexed("trees", known->second) +
                       " (names are compared without regard to case)");
            });
        }
        image.trees.push_back(std::move(tree));
    }
}

}  // namespace

LoadResult LoadImageText(std::string_view text, const std::string& displayName,
                         const std::filesystem::path& baseDir) {
    LoadResult result;
    try {
        Json document;
        std::string error;
        if (!detail::ParseImageJson(text, document, error)) {
            result.error = displayName + ": " + error;
            return result;
        }
        auto image = std::make_unique<DirectoryImage>();
        image->sourcePath = displayName;
        LoadDocument(document, *image, baseDir);
        result.image = std::move(image);
    } catch (Refusal& refusal) {
        refusal.Within(displayName);
        result.error = refusal.Text();
    } catch (const std::bad_alloc&) {
        result.error = displayName + ": not enough memory to load the image";
    } catch (const std::exception& error) {
        result.error = displayName + ": cannot load the image: " + error.what();
    }
    return result;
}

LoadResult LoadImageFile(const std::filesystem::path& path) {
    const std::string displayName = path.string();
    std::string text;
    {
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            return LoadResult{nullptr, displayName + ": cannot read the file: it is a folder"};
        }
        std::ifstream in(path, std::ios::binary);
        if (in) {
            in.seekg(0, std::ios::end);
            const std::streamoff size = in.tellg();
            in.seekg(0, std::ios::beg);
            if (size > 0) {
                text.resize(static_cast<size_t>(size));
                in.read(text.data(), size);
            }
        }
        if (!in) {
            return LoadResult{nullptr,
                              displayName + ": cannot read the file: " + std::strerror(errno)};
        }
    }
    std::filesystem::path baseDir = path.parent_path();
    if (baseDir.empty()) baseDir = ".";
    return LoadImageText(text, displayName, baseDir);
}

}  // namespace vellrun::client::image
