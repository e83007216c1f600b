// The embedded directory's calls on names, entry information and streams.

#include "client/image/ImageClient.h"
#include "client/image/ImageClientState.h"

#include <algorithm>

namespace vellrun::client::image {

// --- Names and entry information --------------------------------------------

Result ImageClient::ReadEntryInfo(ContextHandle context, std::string_view object, size_t room,
                                  EntryInfo& info) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    Entry* entry = nullptr;
    if (Result r = s.Resolve(*c, object, true, entry); r != 0) return r;
    const bool typeless = c->Typeless();
    const uint32_t wanted = c->entryItems;
    info.items.clear();
    auto want = [wanted](uint32_t bit) { return (wanted & bit) != 0; };
    if (want(EntryItemBit::SubordinateCount)) {
        info.items[EntryItemBit::SubordinateCount] = static_cast<uint32_t>(entry->children.size());
    }
    if (want(EntryItemBit::ModificationTime)) {
        info.items[EntryItemBit::ModificationTime] = entry->modified;
    }
    if (want(EntryItemBit::CreationTime)) info.items[EntryItemBit::CreationTime] = entry->created;
    if (want(EntryItemBit::BaseClass)) info.items[EntryItemBit::BaseClass] = entry->baseClass;
    if (want(EntryItemBit::FullName)) {
        info.items[EntryItemBit::FullName] = Tree::FullName(*entry, typeless);
    }
    if (want(EntryItemBit::PartitionRoot)) {
        const Entry* root = entry;
        while (!root->IsRoot() && !root->partitionRoot)
            root = root->parent;
        info.items[EntryItemBit::PartitionRoot] = Tree::FullName(*root, typeless);
    }
    if (want(EntryItemBit::Parent) && entry->parent) {
        info.items[EntryItemBit::Parent] = Tree::FullName(*entry->parent, typeless);
    }
    return FitEntryInfo(info, room);
}

Result ImageClient::TakeEntryItem(const EntryInfo& info, size_t room, uint32_t selector,
                                  EntryItem& item) {
    return TakeEntryItemOf(info, room, selector, item);
}

Result ImageClient::CanonicalizeName(ContextHandle context, std::string_view name,
                                     std::string& full) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    if (!c->tree) return Err::NoSuchTree;
    if (name.empty()) return Err::IllegalDsName;
    const std::string absolute = s.AbsoluteName(*c, name);
    if (const Entry* entry = c->tree->Find(absolute)) {
        full = Tree::FullName(*entry, c->Typeless());
        return 0;
    }
    // A name the tree does not hold is still given its full form, as written.
    if (!c->Typeless()) {
        full = absolute;
        return 0;
    }
    full.clear();
    std::string_view rest(absolute);
    std::string room;
    while (true) {
        auto dot = FirstUnescaped(rest, '.');
        std::string_view part = WithoutType(rest.substr(0, dot), room);
        if (!full.empty()) full += '.';
        full += part;
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return 0;
}

Result ImageClient::WhoAmI(ContextHandle context, std::string& identity) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    if (!c->tree) return Err::NoSuchTree;
    const Entry* entry = c->tree->identity.empty() ? nullptr : c->tree->Find(c->tree->identity);
    if (!entry) return Err::NoSuchEntry;
    identity = Tree::FullName(*entry, c->Typeless());
    return 0;
}

Result ImageClient::ReadObjectInfo(ContextHandle context, std::string_view object,
                                   std::string& fullName, EntryRecord& info) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    Entry* entry = nullptr;
    if (Result r = s.Resolve(*c, object, true, entry); r != 0) return r;
    fullName = Tree::FullName(*entry, c->Typeless());
    info = s.RecordOf(*c->tree, *entry);
    return 0;
}

// --- Streams ----------------------------------------------------------------

Result ImageClient::OpenStream(ContextHandle context, std::string_view object,
                               std::string_view attribute, uint32_t access, StreamHandle& stream) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    if (access != 1) return Err::NoAccess;  // the embedded directory's streams are read-only
    Entry* entry = nullptr;
    if (Result r = s.Resolve(*c, object, true, entry); r != 0) return r;
    const StoredAttribute* stored = entry->FindAttribute(attribute);
    if (!stored || stored->syntax != Syntax::Stream || stored->values.empty()) {
        return Err::NoSuchAttribute;
    }
    stream = s.NewHandle<StreamHandle>();
    const std::span<const uint8_t> content = stored->values.Stream();
    s.streams[stream] = {Bytes(content.begin(), content.end()), 0};
    return 0;
}

Result ImageClient::ReadStream(StreamHandle stream, std::span<uint8_t> into, size_t& bytesRead) {
    return ReadStreamOf(state_->streams, stream, into, bytesRead);
}

Result ImageClient::CloseStream(StreamHandle stream) {
    return state_->streams.erase(stream) ? 0 : Err::InvalidHandle;
}

}  // namespace vellrun::client::image
