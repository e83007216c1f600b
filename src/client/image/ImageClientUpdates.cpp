// Changes to the embedded directory: modify requests and removals. A modify
// request is applied whole or not at all: its changes run against a working
// copy of the object's attributes, and the copy replaces them only when every
// change succeeded.

#include "client/image/ImageClientState.h"

#include <algorithm>

namespace vellrun::client::image {
namespace {

constexpr uint32_t kSingleValued = 0x01;
constexpr uint32_t kValuePresent = 0x04;

// An attribute of the working copy, its values unpacked while they may change.
struct WorkingAttribute {
    StoredAttribute attribute;  // its values are packed again when the request is done
    std::vector<StoredValue> values;
    bool addedEmpty = false;  // added by this request without a value; kept while empty
    bool changed = false;     // its values are to be packed again
};

WorkingAttribute* FindWorking(std::vector<WorkingAttribute>& working, std::string_view name) {
    for (auto& w : working) {
        if (EqualsNoCase(w.attribute.name, name)) return &w;
    }
    return nullptr;
}

// Values come in with names as a context shows them (typed or not, with a
// leading dot or without); the directory keeps them typeless, without the dot.
AttrValue Stored(const Tree& tree, const AttrValue& value) {
    AttrValue stored = value;
    auto untype = [&](std::string& name) {
        if (name.empty() || name.front() == '[') return;
        std::string_view text = name;
        if (text.front() == '.') text.remove_prefix(1);
        if (const Entry* entry = tree.Find(text)) {
            name = Tree::FullName(*entry, true);
        } else if (text.size() != name.size()) {
            name.erase(0, 1);
        }
    };
    ForEachName(stored, untype);
    return stored;
}

// A name inside a value as the directory keeps it: the rules of the image
// file (ValueNameFault), and no blank at either end.
bool SoundValueName(std::string_view name) {
    return ValueNameFault(name).empty() && name.front() != ' ' && name.back() != ' ';
}

// The refusal of a value a change would store, or 0: a name that is no
// name (a typed one that names no object of the tree was not made typeless
// above, and is refused here), an empty text (which would read like no value at all).
Result RefusalOfNewValue(AttrValue& value) {
    bool sound = true;
    ForEachName(value, [&sound](std::string& name) { sound = sound && SoundValueName(name); });
    if (!sound) return Err::IllegalDsName;
    if (const auto* text = std::get_if<StringValue>(&value.record); text && text->text.empty()) {
        return Err::SyntaxViolation;
    }
    return 0;
}

bool AddsValue(ChangeType type) {
    return type == ChangeType::AddAttribute || type == ChangeType::AddValue ||
           type == ChangeType::AddAdditionalValue || type == ChangeType::OverwriteValue;
}

// Whether the values hold the one the object's relative name is made of
// ("jdoe" in the "CN" of jdoe).
bool HoldsNamingValue(const Entry& entry, const std::vector<StoredValue>& values) {
    return std::any_of(values.begin(), values.end(), [&entry](const StoredValue& stored) {
        const auto* text = std::get_if<StringValue>(&stored.value.record);
        return text != nullptr && EqualsNoCase(text->text, entry.name);
    });
}

Result ApplyOne(const Tree& tree, std::vector<WorkingAttribute>& working,
                const RequestedChange& change, uint32_t now) {
    const AttributeDefinition* definition = tree.schema.FindAttribute(change.attribute);
    if (!definition) return Err::NoSuchAttribute;
    WorkingAttribute* target = FindWorking(working, definition->name);
    if (target) target->changed = true;
    std::optional<AttrValue> value;
    if (change.value) {
        if (change.value->syntax != definition->syntax) return Err::SyntaxViolation;
        if (definition->syntax == Syntax::Stream) return Err::SyntaxViolation;
        value = Stored(tree, *change.value);
        if (AddsValue(change.type)) {
            if (Result r = RefusalOfNewValue(*value); r != 0) return r;
        }
    }
    auto position = [&](const AttrValue& v) {
        auto& values = target->values;
        return std::find_if(values.begin(), values.end(),
                            [&](const StoredValue& s) { return SameValue(s.value, v); });
    };
    auto add = [&](const AttrValue& v) {
        target->values.push_back(StoredValue{v, kValuePresent, TimeStamp{now, 0, 0}});
    };

    switch (change.type) {
        case ChangeType::AddAttribute:
            if (target) return Err::AttributeAlreadyExists;
            working.push_back(
                {StoredAttribute{tree.names.Intern(definition->name), definition->syntax, {}},
                 {},
                 true,
                 true});
            target = &working.back();
            if (value) add(*value);
            return 0;
        case ChangeType::RemoveAttribute:
            if (!target) return Err::NoSuchAttribute;
            working.erase(working.begin() + (target - working.data()));
            return 0;
        case ChangeType::AddValue:
        case ChangeType::AddAdditionalValue:
            if (!target) return Err::NoSuchAttribute;
            if (!value) return Err::InvalidRequest;
            if (position(*value) != target->values.end()) return Err::DuplicateValue;
            if ((definition->flags & kSingleValued) && !target->values.empty()) {
                return Err::SingleValued;
            }
            add(*value);
            return 0;
        case ChangeType::RemoveValue: {
            if (!target) return Err::NoSuchAttribute;
            if (!value) return Err::InvalidRequest;
            auto it = position(*value);
            if (it == target->values.end()) return Err::NoSuchValue;
            target->values.erase(it);
            return 0;
        }
        case ChangeType::OverwriteValue: {
            if (!target) return Err::NoSuchAttribute;
            if (!value) return Err::InvalidRequest;
            auto it = position(*value);
            if (it != target->values.end()) {
                *it = StoredValue{*value, kValuePresent, TimeStamp{now, 0, 0}};
                return 0;
            }
            // A single value is overwritten; a list gains the value.
            if (definition->flags & kSingleValued) target->values.clear();
            add(*value);
            return 0;
        }
        case ChangeType::ClearAttribute:
            if (!target) return Err::NoSuchAttribute;
            // The attribute stays for the rest of the request, which may give it
            // new values; left empty, it is gone afterwards.
            target->values.clear();
            target->addedEmpty = false;
            return 0;
        case ChangeType::ClearValue: {
            if (!target) return Err::NoSuchAttribute;
            if (!value) return 0;  // sent alone it names no value, so nothing is cleared
            auto it = position(*value);
            if (it != target->values.end()) target->values.erase(it);
            return 0;
        }
    }
    return Err::InvalidRequest;
}

}  // namespace

Result ApplyChanges(ImageClient::State& state, ContextState& context, Entry& entry,
                    const std::vector<RequestedChange>& changes) {
    if (entry.readOnly || entry.IsRoot()) return Err::NoAccess;
    if (changes.empty()) return Err::InvalidRequest;
    const Tree& tree = *context.tree;
    const uint32_t now = state.Now();
    // Attributes that exist but have no values yet (added alone) count as there.
    std::vector<WorkingAttribute> working;
    working.reserve(entry.attributes.size() + changes.size());
    for (const auto& attribute : entry.attributes) {
        working.push_back({attribute, attribute.values.Unpack(), attribute.values.empty(), false});
    }
    // A change of the value that names the object would not rename it: the
    // object would keep a name its attribute no longer gives.
    const std::string_view namingType = entry.namingType;
    const WorkingAttribute* naming =
        namingType.empty() ? nullptr : FindWorking(working, namingType);
    const bool named = naming != nullptr && HoldsNamingValue(entry, naming->values);
    for (const auto& change : changes) {
        if (Result r = ApplyOne(tree, working, change, now); r != 0) return r;
    }
    if (named) {
        naming = FindWorking(working, namingType);
        if (naming == nullptr || !HoldsNamingValue(entry, naming->values)) {
            return Err::IllegalDsName;
        }
    }
    // An attribute whose last value went is gone, unless it was added on
    // purpose, without a value, to take values later.
    std::vector<StoredAttribute> result;
    result.reserve(working.size());
    for (auto& w : working) {
        if (w.values.empty() && !w.addedEmpty) continue;
        // The packed values of the tree are never freed one by one, so only
        // what changed is packed again. A stream keeps its content: no change
        // gives a stream a value.
        if (w.changed) {
            w.attribute.values = PackedValues(w.values, tree.values, w.attribute.values.Stream());
        }
        result.push_back(std::move(w.attribute));
    }
    entry.attributes = std::move(result);
    entry.modified = now;
    return 0;
}

Result RemoveEntry(ImageClient::State& state, ContextState& context, std::string_view object) {
    Entry* entry = nullptr;
    // Removing an alias removes the alias, not what it points at.
    if (Result r = state.Resolve(context, object, false, entry); r != 0) return r;
    if (entry->IsRoot() || entry->readOnly) return Err::NoAccess;
    if (!entry->children.empty()) return Err::NotEmpty;
    Entry* parent = entry->parent;
    parent->RemoveChild(entry);
    parent->modified = state.Now();
    return 0;
}

}  // namespace vellrun::client::image
