// The objects half of the tree loader: each object's name, class, attributes
// and values, then every object linked under its container, aliases and typed
// names checked, and the tree's identity.

#include "client/image/ObjectFeed.h"
#include "client/image/TreeLoader.h"

#include <algorithm>
#include <utility>

namespace vellrun::client::image::detail {

namespace {

constexpr uint32_t kValuePresent = 0x04;
constexpr uint32_t kValueNaming = 0x01;
constexpr uint32_t kSingleValued = 0x1;  // the attribute flag "SingleVal"

// Names that a relative name may not take: the directory gives them their own meaning.
constexpr std::string_view kSpecialNames[] = {"[root]", "[this]", "[public]", "[supervisor]"};

}  // namespace

void TreeLoader::LoadObjects(const Json& objects) {
    if (!objects.is_array()) {
        ReadField(place_ + ": objects", [] { Refuse("expected a list of objects"); });
    }
    const size_t count = objects_.Size();
    pending_.resize(count);
    objectIndex_.reserve(count);
    ObjectFeed feed(objects_, count);
    for (size_t i = 0; i < count; ++i) {
        constexpr size_t kObjectsBetweenReports = 4096;
        if (progress_.report != nullptr && i % kObjectsBetweenReports == 0 &&
            !(*progress_.report)(progress_.done + i, progress_.total)) {
            Refuse(std::string(kLoadCancelled));
        }
        Json& item = feed.Next();
        try {
            LoadObject(item, pending_[i], i);
        } catch (Refusal& refusal) {
            refusal.Within(place_ + "." + Indexed("objects", i) + NameNote(item));
            feed.Stop();
            feed.ThrowTextFaultMet();
            throw;
        }
        pending_[i].writtenName = KeepName(item["name"].get_ref<const std::string&>());
        feed.Done(item);
    }
    progress_.done += count;
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
    entry.baseClass = facts.baseClass;
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
    auto [slot, added] = objectIndex_.try_emplace(KeepName(key), ObjectSlot{&entry, index});
    if (!added) {
        const size_t first = slot->second.index;
        Refuse("the name is already used by " + Indexed("objects", first) + " " +
               Quoted(pending_[first].writtenName) +
               " (names are compared without regard to case)");
    }
    pending.key = slot->first;
}

// Reads "jdoe.Sales.Corp" or "CN=jdoe.OU=Sales.O=Corp" into the entry's
// relative name and type, and gives the folded typeless full name. A "." or
// "=" after a backslash is part of a name ("x\=y", "a\.b"), as the client
// reads names.
void TreeLoader::ReadObjectName(const std::string& text, PendingObject& pending, std::string& key) {
    if (text.empty()) Refuse("expected a full name, not an empty text");
    if (text.front() == '.') {
        Refuse(Quoted(text) + " has a leading dot (full names are written without one)");
    }
    Entry& entry = *pending.entry;
    // Nearly no name escapes anything: plain searches unless this one does.
    const bool escapes = text.find('\\') != std::string::npos;
    const auto find = [escapes](std::string_view in, char wanted) {
        return escapes ? FirstUnescaped(in, wanted) : in.find(wanted);
    };
    const bool typed = find(text, '=') != std::string::npos;
    std::string typeless;
    if (typed) typeless.reserve(text.size());
    size_t start = 0;
    bool first = true;
    while (true) {
        size_t end = find(std::string_view(text).substr(start), '.');
        end = end == std::string::npos ? text.size() : start + end;
        std::string_view part(text.data() + start, end - start);
        if (part.empty()) Refuse(Quoted(text) + " has an empty relative name");
        std::string_view value = part;
        if (typed) {
            const size_t equals = find(part, '=');
            std::string_view type;
            if (equals != std::string_view::npos) {
                type = part.substr(0, equals);
                value = part.substr(equals + 1);
                if (type.empty() || value.empty() || find(value, '=') != std::string_view::npos) {
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
            if (typed && !pending.types.front().empty()) {
                entry.namingType = tree_->names.Intern(pending.types.front());
            }
            first = false;
        }
        if (end == text.size()) break;
        start = end + 1;
    }
    key = FoldCase(typed ? typeless : text);
    const size_t dot = find(key, '.');
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
    // givenAt_ is kept all zero between objects: each object clears what it marked.
    std::vector<size_t>& givenAt = givenAt_;
    givenAt.resize(tree_->schema.attributes.size(), 0);
    std::vector<size_t> given;
    given.reserve(attributes.size());
    struct Unmark {
        std::vector<size_t>& marks;
        const std::vector<size_t>& numbers;
        ~Unmark() {
            for (size_t number : numbers)
                marks[number] = 0;
        }
    } unmark{givenAt, given};
    bool hasObjectClass = false;
    size_t position = 0;
    for (const auto& [name, values] : attributes.get_ref<const Json::object_t&>()) {
        try {
            const AttributeDefinition* definition = FindAttributeAt(position++, name);
            if (definition == nullptr) Refuse("not an attribute of the schema");
            // A definition lies in the schema's list: its place there marks it as given.
            const auto number = static_cast<size_t>(definition - tree_->schema.attributes.data());
            if (givenAt[number] != 0) {
                Refuse("given twice (also as " +
                       Quoted(entry.attributes[givenAt[number] - 1].name) +
                       "; names are compared without regard to case)");
            }
            givenAt[number] = entry.attributes.size() + 1;
            given.push_back(number);
            hasObjectClass = hasObjectClass || definition == objectClassAttribute_;
            const bool naming = std::find(facts.naming.begin(), facts.naming.end(), definition) !=
                                facts.naming.end();
            StoredAttribute& attribute = entry.attributes.emplace_back();
            attribute.name = NameOf(*definition);
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
        objectClass.name = NameOf(*objectClassAttribute_);
        objectClass.syntax = Syntax::ClassName;
        values_.clear();
        for (const std::string* name : facts.objectClass) {
            values_.push_back(StoredValue{AttrValue{Syntax::ClassName, StringValue{*name}},
                                          kValuePresent, TimeStamp{entry.modified, 0, 0}});
        }
        objectClass.values = PackedValues(values_, tree_->values);
        // Reads give it first, as a directory does.
        entry.attributes.push_back(std::move(objectClass));
        std::rotate(entry.attributes.begin(), entry.attributes.end() - 1, entry.attributes.end());
    }
}

void TreeLoader::LoadValues(const Json& values, const AttributeDefinition& definition,
                            StoredAttribute& attribute, uint32_t defaultFlags, uint32_t modified) {
    valueSource_.attributeName = &definition.name;
    valueSource_.syntax = definition.syntax;
    values_.clear();
    stream_.clear();
    if (!values.is_array()) {
        if (detail::ValueIsList(definition.syntax)) {
            Refuse(
                "expected a list of values (a value of this syntax is itself a list, so even "
                "one value needs an outer list)");
        }
        try {
            LoadValue(values, defaultFlags, modified);
        } catch (Refusal& refusal) {
            refusal.Within("value 1");
            throw;
        }
    } else {
        if (values.empty()) Refuse("no values (an attribute has at least one)");
        for (size_t i = 0; i < values.size(); ++i) {
            try {
                LoadValue(values[i], defaultFlags, modified);
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
    attribute.values = PackedValues(values_, tree_->values, stream_);
}

void TreeLoader::LoadValue(const Json& source, uint32_t defaultFlags, uint32_t modified) {
    const Json* value = &source;
    StoredValue& stored = values_.emplace_back();
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
    stored.value = detail::ParseValue(*value, valueSource_, stream_);
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
            const std::string_view key = pending.key.substr(pending.containerStart);
            if (lastContainer != nullptr && key == lastKey) {
                pending.entry->parent = lastContainer;
                lastContainer->AddChild(std::move(pending.owned));
                continue;
            }
            auto found = objectIndex_.find(key);
            if (found == objectIndex_.end()) {
                const std::string_view name = pending.writtenName;
                Refusal refusal("the container " +
                                Quoted(name.substr(FirstUnescaped(name, '.') + 1)) +
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
               ", but that object is named with the type " + ancestor->namingType.str());
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
        const std::string target = std::get<StringValue>(aliased->values.front().value.record).text;
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

}  // namespace vellrun::client::image::detail
