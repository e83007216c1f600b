// The schema half of the tree loader: attribute and class definitions, their
// names and flags, and what the objects of each class have in common.

#include "client/ObjectIdentifiers.h"
#include "client/image/TreeLoader.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>

namespace vellrun::client::image::detail {

namespace {

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

constexpr FlagName kClassFlags[] = {{"Container", 0x01},
                                    {"Effective", 0x02},
                                    {"NonRemovable", 0x04},
                                    {"AmbiguousNaming", 0x08},
                                    {"AmbiguousContainment", 0x10},
                                    {"Auxiliary", 0x20},
                                    {"Operational", 0x40}};

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

// An "oid" key: dotted text, an empty text meaning none.
ObjectIdentifier ReadOid(const std::string& text) {
    if (text.empty()) return {};
    std::string fault;
    std::optional<ObjectIdentifier> identifier = EncodeOid(text, &fault);
    if (!identifier) Refuse(Quoted(text) + " " + fault);
    return *identifier;
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

}  // namespace

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
        definition.identifier = ReadField("oid", [&] { return ReadOid(detail::ReadText(*oid)); });
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
        definition.identifier = ReadField("oid", [&] { return ReadOid(detail::ReadText(*oid)); });
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

const AttributeDefinition* TreeLoader::FindAttributeAt(size_t position, const std::string& name) {
    if (position < recentAttributes_.size() && recentAttributes_[position].first == name) {
        return recentAttributes_[position].second;
    }
    const AttributeDefinition* definition = FindAttribute(name);
    if (definition != nullptr) {
        if (position >= recentAttributes_.size()) recentAttributes_.resize(position + 1);
        recentAttributes_[position].first = name;
        recentAttributes_[position].second = definition;
    }
    return definition;
}

PooledName TreeLoader::NameOf(const AttributeDefinition& definition) {
    const auto number = static_cast<size_t>(&definition - tree_->schema.attributes.data());
    if (attributeNames_.size() <= number) attributeNames_.resize(tree_->schema.attributes.size());
    PooledName& name = attributeNames_[number];
    if (name.empty()) name = tree_->names.Intern(definition.name);
    return name;
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
    facts.baseClass = tree_->names.Intern(classes[classIndex].name);
    facts.namingType =
        tree_->names.Intern(facts.naming.empty() ? "CN" : NamingTypeOf(facts.naming.front()->name));
    facts.alias = EqualsNoCase(classes[classIndex].name, "Alias");
    facts.ready = true;
    return facts;
}

}  // namespace vellrun::client::image::detail
