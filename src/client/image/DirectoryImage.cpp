#include "client/image/DirectoryImage.h"

#include "platform/TextEncoding.h"

#include <algorithm>

namespace vellrun::client::image {

void Schema::Index() {
    attributeIndex_.clear();
    classIndex_.clear();
    for (size_t i = 0; i < attributes.size(); ++i) {
        attributeIndex_.emplace(FoldCase(attributes[i].name), i);
    }
    for (size_t i = 0; i < classes.size(); ++i)
        classIndex_.emplace(FoldCase(classes[i].name), i);
}

const AttributeDefinition* Schema::FindAttribute(std::string_view name) const {
    auto it = attributeIndex_.find(FoldCase(name));
    return it == attributeIndex_.end() ? nullptr : &attributes[it->second];
}

const ClassDefinition* Schema::FindClass(std::string_view name) const {
    auto it = classIndex_.find(FoldCase(name));
    return it == classIndex_.end() ? nullptr : &classes[it->second];
}

const std::string& PooledName::Empty() {
    static const std::string kEmpty;
    return kEmpty;
}

PooledName NamePool::Intern(std::string_view text) {
    auto found = texts_.find(text);
    if (found == texts_.end()) found = texts_.emplace(text).first;
    return PooledName(&*found);
}

namespace {

// Children a container holds before it indexes them by name.
constexpr size_t kChildrenLookedThrough = 16;

}  // namespace

bool Entry::IsAlias() const {
    return EqualsNoCase(baseClass, "Alias");
}

Entry* Entry::FindChild(std::string_view childName) const {
    if (childIndex_) return FindFoldedChild(FoldCase(childName));
    for (const auto& child : children) {
        if (EqualsNoCase(child->name, childName)) return child.get();
    }
    return nullptr;
}

StoredAttribute* Entry::FindAttribute(std::string_view attributeName) {
    for (auto& attribute : attributes) {
        if (EqualsNoCase(attribute.name, attributeName)) return &attribute;
    }
    return nullptr;
}

const StoredAttribute* Entry::FindAttribute(std::string_view attributeName) const {
    return const_cast<Entry*>(this)->FindAttribute(attributeName);
}

const StoredAttribute* Entry::FindAttribute(std::string_view attributeName,
                                            AttributePositionHint& hint) const {
    const auto at = [&](size_t position) -> const StoredAttribute* {
        if (position >= attributes.size()) return nullptr;
        const std::string& held = attributes[position].name;
        // The request nearly always spells the name as the schema does.
        return held == attributeName || EqualsNoCase(held, attributeName) ? &attributes[position]
                                                                          : nullptr;
    };
    if (const StoredAttribute* found = at(hint.recent)) return found;
    if (const StoredAttribute* found = at(hint.before)) return found;
    for (size_t i = 0; i < attributes.size(); ++i) {
        if (EqualsNoCase(attributes[i].name, attributeName)) {
            hint.before = hint.recent;
            hint.recent = i;
            return &attributes[i];
        }
    }
    return nullptr;
}

Entry* Entry::FindFoldedChild(const std::string& foldedName) const {
    if (!childIndex_) return FindChild(foldedName);
    auto it = childIndex_->find(foldedName);
    return it == childIndex_->end() ? nullptr : it->second;
}

Entry& Entry::AddChild(std::unique_ptr<Entry> child) {
    child->parent = this;
    Entry& added = *child;
    children.push_back(std::move(child));
    if (childIndex_) {
        childIndex_->emplace(FoldCase(added.name), &added);
    } else if (children.size() > kChildrenLookedThrough) {
        // The first of two children of one name is the one found, as before.
        childIndex_ = std::make_unique<std::unordered_map<std::string, Entry*>>();
        childIndex_->reserve(2 * children.size());
        for (const auto& each : children)
            childIndex_->emplace(FoldCase(each->name), each.get());
    }
    return added;
}

void Entry::RemoveChild(Entry* child) {
    if (childIndex_) {
        auto indexed = childIndex_->find(FoldCase(child->name));
        if (indexed != childIndex_->end() && indexed->second == child) childIndex_->erase(indexed);
    }
    auto it = std::find_if(children.begin(), children.end(),
                           [child](const auto& c) { return c.get() == child; });
    if (it != children.end()) children.erase(it);
}

std::string Tree::FullName(const Entry& entry, bool typeless) {
    if (entry.IsRoot()) return "[Root]";
    std::string name;
    for (const Entry* e = &entry; e && !e->IsRoot(); e = e->parent) {
        if (!name.empty()) name += '.';
        if (!typeless && !e->namingType.empty()) {
            name += e->namingType;
            name += '=';
        }
        name += e->name;
    }
    return name;
}

std::string_view WithoutType(std::string_view rdn, std::string& room) {
    const size_t equals = FirstUnescaped(rdn, '=');
    if (equals == std::string_view::npos) return rdn;
    // Nearly always one type, at the start: a name's value holds no "=" of
    // its own unescaped, only a further typed part does.
    const std::string_view value = rdn.substr(equals + 1);
    if (FirstUnescaped(value, '=') == std::string_view::npos &&
        FirstUnescaped(rdn.substr(0, equals), '+') == std::string_view::npos) {
        return value;
    }
    room.clear();
    for (size_t start = 0;;) {
        const size_t plus = FirstUnescaped(rdn.substr(start), '+');
        std::string_view part = rdn.substr(start, plus);
        const size_t type = FirstUnescaped(part, '=');
        if (type != std::string_view::npos) part.remove_prefix(type + 1);
        if (start > 0) room += '+';
        room += part;
        if (plus == std::string_view::npos) break;
        start += plus + 1;
    }
    return room;
}

Entry* Tree::Find(std::string_view fullName) const {
    if (EqualsNoCase(fullName, "[Root]")) return root.get();
    if (fullName.empty()) return nullptr;
    // Relative names run from the object upwards; walk them from the top down.
    const std::vector<std::string_view> parts = SplitFullName(fullName);
    Entry* entry = root.get();
    std::string room;
    for (auto it = parts.rbegin(); it != parts.rend() && entry; ++it) {
        auto part = WithoutType(*it, room);
        if (part.empty()) return nullptr;
        entry = entry->FindChild(part);
    }
    return entry;
}

Tree* DirectoryImage::FindTree(std::string_view treeName) const {
    for (const auto& tree : trees) {
        if (EqualsNoCase(tree->name, treeName)) return tree.get();
    }
    return nullptr;
}

std::string TreeNameFault(std::string_view name) {
    const size_t length = platform::Utf8CharacterCount(name);
    if (length == 0 || length > kMaxTreeNameLength) return "is not 1 to 32 characters long";
    if (name.back() == '_') return "ends with \"_\"";
    return {};
}

std::string FitTreeName(std::string_view derived) {
    std::string name(derived.substr(0, platform::Utf8PrefixBytes(derived, kMaxTreeNameLength)));
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name;
}

}  // namespace vellrun::client::image
