// The embedded directory's shared state: handles, names as a context sees
// them, alias resolution and the records the calls hand out.

#include "client/image/ImageClientState.h"

#include <algorithm>

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
    const int32_t id = AddIteration(iterations, nextIteration, Iteration{owner, std::move(where)});
    if (ContextState* context = FindContext(owner)) context->leftIterations = true;
    return id;
}

void ImageClient::State::DetachReplies() {
    lastResolved.valid = false;
    lastContainer.valid = false;
    lastPresented.valid = false;
    buffers.ForEach([this](BufferState& buffer) {
        ReadPage* page = buffer.Reply<ReadPage>();
        if (!page) return;
        page->shownFrom = nullptr;
        for (PageAttribute& attribute : page->Attributes()) {
            if (!attribute.stored) continue;
            const StoredAttribute& stored = *attribute.stored;
            attribute.name = stored.name;
            attribute.syntax = stored.syntax;
            for (size_t i = 0; i < attribute.count; ++i) {
                PageValue& value = page->values[attribute.first + i];
                PackedValues::ReadInfo(value.head);
                value.unpacked = Presented(page->tree, page->typeless, value.Unpacked());
            }
            attribute.stored = nullptr;
        }
    });
}

std::string ImageClient::State::AbsoluteName(const ContextState& context,
                                             std::string_view name) const {
    std::string absolute;
    AbsoluteName(context, name, absolute);
    return absolute;
}

void ImageClient::State::AbsoluteName(const ContextState& context, std::string_view name,
                                      std::string& absolute) const {
    if (IsRootName(name)) {
        absolute.assign("[Root]");
        return;
    }
    if (!name.empty() && name.front() == '.') {
        absolute.assign(name.substr(1));
        return;
    }
    absolute.assign(name);
    std::string_view base = StripLeadingDot(context.nameContext);
    if (base.empty() || IsRootName(base)) return;
    absolute += '.';
    absolute += base;
}

Result ImageClient::State::AliasTarget(const Tree& tree, const Entry& alias, Entry*& target) {
    // An LDIF dump read with LDAP's own schema keeps LDAP's name of it.
    const StoredAttribute* aliased = alias.FindAttribute("Aliased Object Name");
    if (!aliased) aliased = alias.FindAttribute("aliasedObjectName");
    if (!aliased || aliased->values.empty()) return Err::NoSuchEntry;
    const StoredValue first = aliased->values.front();
    const auto* name = std::get_if<StringValue>(&first.value.record);
    if (!name) return Err::NoSuchEntry;
    target = tree.Find(StripLeadingDot(name->text));
    return target ? 0 : Err::NoSuchEntry;
}

Result ImageClient::State::ResolveAnew(const ContextState& context, std::string_view name,
                                       bool followFinal, Entry*& entry) const {
    entry = nullptr;
    if (!context.tree) return Err::BadContext;
    if (name.empty()) return Err::IllegalDsName;
    ResolvedName& remembered = lastResolved;
    std::string& absolute = resolveAbsolute;
    AbsoluteName(context, name, absolute);
    if (IsRootName(absolute)) {
        entry = context.tree->root.get();
        return 0;
    }
    // The objects of a report stand side by side: the container of the
    // last name, walked to already, is very likely this one's too, and then
    // only the first relative name is looked up in it.
    // The first relative name ends at the first "." that no backslash escapes.
    const size_t firstEnd = std::min(FirstUnescaped(absolute, '.'), absolute.size());
    const std::string_view containerName = firstEnd < absolute.size()
                                               ? std::string_view(absolute).substr(firstEnd + 1)
                                               : std::string_view();
    ResolvedContainer& container = lastContainer;
    const bool known =
        !containerName.empty() && container.valid && container.tree == context.tree &&
        container.dereference == context.Dereference() && container.name == containerName;
    // Otherwise: split into relative names and walk them from the top down.
    std::vector<std::string_view>& parts = resolveParts;
    Entry* current = context.tree->root.get();
    int hops = 0;
    if (known) {
        parts.assign(1, std::string_view(absolute).substr(0, firstEnd));
        current = container.entry;
        hops = container.hops;
    } else {
        SplitFullName(absolute, parts);
    }
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        const std::string_view part = WithoutType(*it, resolveTypeless);
        if (part.empty()) return Err::IllegalDsName;
        const bool last = std::next(it) == parts.rend();
        if (last && !known && !containerName.empty()) {
            container.valid = true;
            container.tree = context.tree;
            container.dereference = context.Dereference();
            container.name.assign(containerName);
            container.entry = current;
            container.hops = hops;
        }
        resolveFolded.assign(part);
        for (char& c : resolveFolded)
            c = platform::AsciiLower(c);
        Entry* next = current->FindFoldedChild(resolveFolded);
        if (!next) return Err::NoSuchEntry;
        while (next->IsAlias() && context.Dereference() && (!last || followFinal)) {
            if (++hops > kMaxAliasHops) return Err::AliasOfAlias;
            Entry* target = nullptr;
            if (Result r = AliasTarget(*context.tree, *next, target); r != 0) return r;
            next = target;
        }
        current = next;
    }
    entry = current;
    remembered.valid = true;
    remembered.tree = context.tree;
    remembered.nameContextId = context.nameContextId;
    remembered.dereference = context.Dereference();
    remembered.followFinal = followFinal;
    remembered.name = name;
    remembered.entry = current;
    return 0;
}

std::string ImageClient::State::PresentedName(const Tree* tree, bool typeless,
                                              const std::string& name) const {
    std::string shown = name;
    if (!typeless) PresentTyped(tree, shown);
    return shown;
}

void ImageClient::State::PresentTyped(const Tree* tree, std::string& name) const {
    if (name.empty() || name.front() == '[') return;
    // A column of names (members, groups) repeats the same few row after row.
    PresentedText& remembered = lastPresented;
    if (!remembered.valid || remembered.tree != tree || remembered.name != name) {
        const Entry* entry = tree ? tree->Find(StripLeadingDot(name)) : nullptr;
        remembered.valid = true;
        remembered.tree = tree;
        remembered.name = name;
        if (entry) {
            remembered.shown = Tree::FullName(*entry, false);
        } else {
            remembered.shown = name;
        }
    }
    name.assign(remembered.shown);
}

void ImageClient::State::PresentTyped(const Tree* tree, const AttrValue& value,
                                      AttrValue& shown) const {
    shown = value;
    ForEachName(shown, [&](std::string& name) { PresentTyped(tree, name); });
}

AttrValue ImageClient::State::Presented(const ContextState& context, const AttrValue& value) const {
    return Presented(context.tree, context.Typeless(), value);
}

AttrValue ImageClient::State::Presented(const Tree* tree, bool typeless,
                                        const AttrValue& value) const {
    AttrValue shown = value;
    if (!typeless) {
        ForEachName(shown, [&](std::string& name) { name = PresentedName(tree, typeless, name); });
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
