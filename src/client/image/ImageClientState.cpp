// The embedded directory's shared state: handles, names as a context sees
// them, alias resolution and the records the calls hand out.

#include "client/image/ImageClientState.h"

namespace vellrun::client::image {
namespace {

constexpr int kMaxAliasHops = 16;

std::string_view StripLeadingDot(std::string_view name) {
    if (!name.empty() && name.front() == '.') name.remove_prefix(1);
    return name;
}

bool IsRootName(std::string_view name) {
    return EqualsNoCase(name, "[Root]");
}

}  // namespace

int32_t ImageClient::State::NewIteration(ContextHandle owner, decltype(Iteration::where) where) {
    if (nextIteration == INT32_MAX) nextIteration = 1;
    int32_t id = nextIteration++;
    iterations[id] = Iteration{owner, std::move(where)};
    return id;
}

ContextState* ImageClient::State::FindContext(ContextHandle context) {
    auto it = contexts.find(context);
    return it == contexts.end() ? nullptr : &it->second;
}

BufferState* ImageClient::State::FindBuffer(BufferHandle buffer) {
    auto it = buffers.find(buffer);
    return it == buffers.end() ? nullptr : &it->second;
}

std::string ImageClient::State::AbsoluteName(const ContextState& context,
                                             std::string_view name) const {
    if (IsRootName(name)) return "[Root]";
    if (!name.empty() && name.front() == '.') return std::string(name.substr(1));
    std::string_view base = StripLeadingDot(context.nameContext);
    if (base.empty() || IsRootName(base)) return std::string(name);
    std::string full(name);
    full += '.';
    full += base;
    return full;
}

Result ImageClient::State::AliasTarget(const Tree& tree, const Entry& alias, Entry*& target) {
    const StoredAttribute* aliased = alias.FindAttribute("Aliased Object Name");
    if (!aliased || aliased->values.empty()) return Err::NoSuchEntry;
    const auto* name = std::get_if<StringValue>(&aliased->values.front().value.record);
    if (!name) return Err::NoSuchEntry;
    target = tree.Find(StripLeadingDot(name->text));
    return target ? 0 : Err::NoSuchEntry;
}

Result ImageClient::State::Resolve(const ContextState& context, std::string_view name,
                                   bool followFinal, Entry*& entry) const {
    entry = nullptr;
    if (!context.tree) return Err::BadContext;
    if (name.empty()) return Err::IllegalDsName;
    const std::string absolute = AbsoluteName(context, name);
    if (IsRootName(absolute)) {
        entry = context.tree->root.get();
        return 0;
    }
    // Split into relative names and walk them from the top down.
    const std::vector<std::string_view> parts = SplitFullName(absolute);
    Entry* current = context.tree->root.get();
    int hops = 0;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        const std::string_view part = WithoutType(*it);
        if (part.empty()) return Err::IllegalDsName;
        Entry* next = current->FindChild(part);
        if (!next) return Err::NoSuchEntry;
        const bool last = std::next(it) == parts.rend();
        while (next->IsAlias() && context.Dereference() && (!last || followFinal)) {
            if (++hops > kMaxAliasHops) return Err::AliasOfAlias;
            Entry* target = nullptr;
            if (Result r = AliasTarget(*context.tree, *next, target); r != 0) return r;
            next = target;
        }
        current = next;
    }
    entry = current;
    return 0;
}

std::string ImageClient::State::PresentedName(const ContextState& context,
                                              const std::string& name) const {
    if (context.Typeless() || name.empty() || name.front() == '[') return name;
    const Entry* entry = context.tree ? context.tree->Find(StripLeadingDot(name)) : nullptr;
    return entry ? Tree::FullName(*entry, false) : name;
}

AttrValue ImageClient::State::Presented(const ContextState& context, const AttrValue& value) const {
    AttrValue shown = value;
    if (!context.Typeless()) {
        ForEachName(shown, [&](std::string& name) { name = PresentedName(context, name); });
    }
    return shown;
}

EntryRecord ImageClient::State::RecordOf(const Tree& tree, const Entry& entry) const {
    EntryRecord record;
    record.baseClass = entry.baseClass;
    record.subordinateCount = static_cast<uint32_t>(entry.children.size());
    record.modificationTime = entry.modified;
    const ClassDefinition* definition = tree.schema.FindClass(entry.baseClass);
    if ((definition && (definition->flags & 0x01) != 0) || !entry.children.empty()) {
        record.flags |= EntryFlag::Container;
    }
    if (entry.IsAlias()) record.flags |= EntryFlag::Alias;
    if (entry.partitionRoot || entry.IsRoot()) record.flags |= EntryFlag::PartitionRoot;
    return record;
}

}  // namespace vellrun::client::image
