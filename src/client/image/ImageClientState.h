#pragma once

// The inner state of ImageClient: loaded images, connections, contexts,
// buffers with their request items or reply pages, open continuations and
// open streams. Private to the embedded directory's implementation files.

#include "client/image/HandlePool.h"
#include "client/image/ImageClient.h"
#include "client/image/SchemaPages.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace vellrun::client::image {

// Calls f on every name inside a value that refers to an object.
template <typename F>
inline void ForEachName(AttrValue& value, F&& f) {
    std::visit(
        [&](auto& record) {
            using T = std::decay_t<decltype(record)>;
            if constexpr (std::is_same_v<T, StringValue>) {
                if (value.syntax == Syntax::DistName) f(record.text);
            } else if constexpr (std::is_same_v<T, PathValue>) {
                f(record.volume);
            } else if constexpr (std::is_same_v<T, ReplicaPointerValue>) {
                f(record.server);
            } else if constexpr (std::is_same_v<T, ObjectAclValue>) {
                f(record.subject);
            } else if constexpr (std::is_same_v<T, BackLinkValue> ||
                                 std::is_same_v<T, TypedNameValue> ||
                                 std::is_same_v<T, HoldValue>) {
                f(record.objectName);
            }
        },
        value.record);
}

// Whether a record of layout T carries a name of an object: the layouts
// ForEachName visits a name in (a StringValue only in a DistName value).
template <typename T>
inline constexpr bool kRecordHoldsNames =
    std::is_same_v<T, StringValue> || std::is_same_v<T, PathValue> ||
    std::is_same_v<T, ReplicaPointerValue> || std::is_same_v<T, ObjectAclValue> ||
    std::is_same_v<T, BackLinkValue> || std::is_same_v<T, TypedNameValue> ||
    std::is_same_v<T, HoldValue>;

// Whether a value carries a name of an object, which a typed reader sees
// with types.
inline bool HoldsNames(const AttrValue& value) {
    return std::visit(
        [&](const auto& record) {
            using T = std::decay_t<decltype(record)>;
            return kRecordHoldsNames<T> &&
                   (!std::is_same_v<T, StringValue> || value.syntax == Syntax::DistName);
        },
        value.record);
}

// The same for a value still packed, from its syntax and its record's layout.
inline bool HoldsNames(SyntaxId syntax, size_t layout) {
    static constexpr auto kHolding = []<size_t... I>(std::index_sequence<I...>) {
        return std::array<bool, sizeof...(I)>{
            kRecordHoldsNames<std::variant_alternative_t<I, ValueRecord>>...};
    }
    (std::make_index_sequence<std::variant_size_v<ValueRecord>>());
    constexpr size_t kString = []<size_t... I>(std::index_sequence<I...>) {
        return ((std::is_same_v<std::variant_alternative_t<I, ValueRecord>, StringValue> ? I : 0) +
                ...);
    }
    (std::make_index_sequence<std::variant_size_v<ValueRecord>>());
    return kHolding[layout] && (layout != kString || syntax == Syntax::DistName);
}

// ImageClient::DuplicateContext copies it field by field: a new field goes there too.
struct ContextState : ContextSettings {
    Tree* tree = nullptr;
    // Changes whenever nameContext does (0: the "[Root]" of a new context), so
    // equal numbers mean equal texts and a copy need not compare or copy them.
    uint64_t nameContextId = 0;
    // Whether a listing or read of this context has ever left a continuation:
    // freeing a context that has not (a report's copy for one cell) need not
    // look through the iterations. Not copied by DuplicateContext.
    bool leftIterations = false;
};

// One attribute of a read reply: a run of `count` of the page's values from
// `first` (PageValue). A value holding names is shown as the reading context
// shows names when a caller takes it.
// Before the directory changes, every reply still pointing at it is detached
// (ImageClient::State::DetachReplies): it copies the attribute's name and
// shows its values' names then, so a reply owns what it hands out either way.
struct PageAttribute {
    const StoredAttribute* stored = nullptr;  // null once detached
    size_t first = 0;
    size_t count = 0;
    // What a detached attribute holds: its name and syntax.
    std::string name;
    SyntaxId syntax = 0;

    std::string_view Name() const { return stored ? std::string_view(stored->name) : name; }
    SyntaxId Syntax() const { return stored ? stored->syntax : syntax; }
};
// A value of a read page: its syntax and size at once; its flags and time
// stamp when asked for; its record is unpacked from the directory only when
// it is taken or must be shown otherwise (with types, or once the page is
// detached).
struct PageValue {
    PackedValues::Reader::Head head;  // head.record: where the record lies while still packed
    AttrValue unpacked;               // the value, once head.record is null

    const AttrValue& Unpacked() {
        if (head.record != nullptr) {
            unpacked.syntax = head.syntax;
            PackedValues::UnpackRecord(head, unpacked.record);
            head.record = nullptr;
        }
        return unpacked;
    }
    size_t Size() const { return head.record != nullptr ? head.recordSize : RecordSize(unpacked); }
};

struct ReadPage {
    ReadKind kind = ReadKind::Values;
    const Tree* tree = nullptr;  // names inside values are shown as this tree holds them
    bool typeless = true;        // ... with their types or without
    size_t nextAttribute = 0;    // the attribute GetAttrName gives next
    bool haveCurrent = false;    // an attribute has been taken
    size_t nextValue = 0;        // within the current attribute
    // The value about to be taken as a typed reader sees it, and the stored
    // value it was made from (null: none yet).
    AttrValue shown;
    const PageValue* shownFrom = nullptr;
    // The values of the page's attributes: the first valueCount; the rest
    // keep their room for the pages to come.
    std::vector<PageValue> values;
    size_t valueCount = 0;
    // The page's attributes: the first attributeCount; the rest keep their
    // room for the pages to come, as the values do.
    std::vector<PageAttribute> attributeRoom;
    size_t attributeCount = 0;

    std::span<PageAttribute> Attributes() { return {attributeRoom.data(), attributeCount}; }
    size_t AttributeCount() const { return attributeCount; }
    // A new attribute whose values start at the page's next value.
    PageAttribute& NewAttribute(const StoredAttribute* stored) {
        if (attributeCount == attributeRoom.size()) attributeRoom.emplace_back();
        PageAttribute& attribute = attributeRoom[attributeCount++];
        attribute.stored = stored;
        attribute.first = valueCount;
        attribute.count = 0;
        return attribute;
    }
    PageValue& NewValue() {
        if (valueCount == values.size()) values.emplace_back();
        return values[valueCount++];
    }
    PageValue& Value(const PageAttribute& attribute, size_t i) {
        return values[attribute.first + i];
    }

    // Empty, keeping the storage of the attribute list and the values.
    void Reset() {
        shownFrom = nullptr;
        valueCount = 0;
        kind = ReadKind::Values;
        tree = nullptr;
        typeless = true;
        attributeCount = 0;
        nextAttribute = 0;
        haveCurrent = false;
        nextValue = 0;
    }
};

struct BufferState : RequestBuffer {
    // The page a reply holds. The page object outlives the reply (hasReply
    // says whether there is one), so that a buffer used again for the same
    // kind of reply reuses its storage.
    bool hasReply = false;
    std::variant<std::monostate, ListPage, ReadPage, ClassPage, AttrDefPage> reply;

    void DropReply() { hasReply = false; }
    // The reply page of this kind, or null.
    template <typename Page>
    Page* Reply() {
        return hasReply ? std::get_if<Page>(&reply) : nullptr;
    }
    // An empty page of this kind as the buffer's reply, in the storage of the
    // last page of the same kind when there was one.
    template <typename Page>
    Page& NewReply() {
        hasReply = true;
        if (Page* page = std::get_if<Page>(&reply)) {
            if constexpr (requires { page->Reset(); }) {
                page->Reset();
            } else {
                *page = Page{};
            }
            return *page;
        }
        return reply.template emplace<Page>();
    }
};

// Where an interrupted listing or read goes on. Positions refer to names, not
// pointers, so a change to the directory between pages cannot leave a dangling cursor.
struct ListIteration {
    std::string container;  // full typeless name
    size_t position = 0;
};
struct ReadIteration {
    std::string object;  // full typeless name of the object being read
    ReadKind kind = ReadKind::Values;
    std::vector<std::string> attributes;
    size_t attribute = 0;
    size_t value = 0;
};

struct Iteration {
    ContextHandle owner{};
    std::variant<ListIteration, ReadIteration, SchemaIteration> where;
};

struct ImageClient::State {
    // Configuration and loaded images.
    std::vector<ImageConnection> configured;
    ImageFileLoader loader;  // reads the files of the connections; LoadImageFile when empty
    std::string configName;
    int primary = 0;             // the configuration's entry, counted from 0
    int primaryConnection = -1;  // the first connection made from that entry
    std::string failure;         // a start-up that can only fail, with this message
    std::vector<std::shared_ptr<DirectoryImage>> images;
    bool started = false;
    std::string diagnostic;
    bool cancelled = false;  // the last start failed because its load was cancelled

    struct Connection {
        Tree* tree = nullptr;
    };
    std::vector<Connection> connections;

    HandlePool<ContextHandle, ContextState, 1> contexts;
    HandlePool<BufferHandle, BufferState, 2> buffers;
    std::map<int32_t, Iteration> iterations;
    std::map<StreamHandle, OpenStreamState<Bytes>> streams;
    uint32_t nextHandle = 1;
    int32_t nextIteration = 1;
    uint64_t nextNameContextId = 1;
    // The attributes of a read's first page, kept from one read to the next.
    std::vector<const StoredAttribute*> readFound;
    // Where an attribute of the name was found last, kept by a small hash of
    // the name: a report reads the same few attributes object after object,
    // and objects of one kind hold them at the same positions. A hint holds
    // two positions, so two names that share one are both found at once.
    std::array<AttributePositionHint, 64> attributeHints{};
    AttributePositionHint& AttributeHint(std::string_view name) {
        if (name.empty()) return attributeHints[0];
        const size_t mix = name.size() * 31 + static_cast<unsigned char>(name.front()) * 7 +
                           static_cast<unsigned char>(name[name.size() / 2]) * 3 +
                           static_cast<unsigned char>(name.back());
        return attributeHints[mix % attributeHints.size()];
    }

    std::function<uint32_t()> clock;
    bool errorTextsAvailable = true;
    ErrorTextTable errorTexts;
    ImageClientStatistics statistics;

    // One counter for every kind of handle, so no two live handles share a number.
    template <typename Handle>
    Handle NewHandle() {
        return static_cast<Handle>(nextHandle++);
    }
    int32_t NewIteration(ContextHandle owner, decltype(Iteration::where) where);
    // Every client call looks its handles up: kept inline.
    ContextState* FindContext(ContextHandle context) { return contexts.Find(context); }
    BufferState* FindBuffer(BufferHandle buffer) { return buffers.Find(buffer); }

    // Resolves a name as the context sees it. Aliases on the way are followed
    // when the context asks for it; followFinal decides for the object itself.
    // The last name resolved is remembered with the settings it was resolved
    // under: a report reads every attribute of an object through a fresh copy
    // of the same context, and each read names the object again.
    // The remembered name is matched here, inline; a name not remembered
    // is walked to out of line.
    Result Resolve(const ContextState& context, std::string_view name, bool followFinal,
                   Entry*& entry) const {
        const ResolvedName& remembered = lastResolved;
        if (remembered.valid && remembered.tree == context.tree &&
            remembered.followFinal == followFinal &&
            remembered.dereference == context.Dereference() &&
            remembered.nameContextId == context.nameContextId && remembered.name == name) {
            entry = remembered.entry;
            return 0;
        }
        return ResolveAnew(context, name, followFinal, entry);
    }
    Result ResolveAnew(const ContextState& context, std::string_view name, bool followFinal,
                       Entry*& entry) const;
    struct ResolvedName {
        bool valid = false;
        const Tree* tree = nullptr;
        uint64_t nameContextId = 0;
        bool dereference = false;
        bool followFinal = false;
        std::string name;
        Entry* entry = nullptr;
    };
    mutable ResolvedName lastResolved;
    // The container of the last name walked down to (an absolute typeless
    // name without its first part), so that the next object in it is found
    // with one step, and the alias hops taken on the way.
    struct ResolvedContainer {
        bool valid = false;
        const Tree* tree = nullptr;
        bool dereference = false;
        std::string name;
        Entry* entry = nullptr;
        int hops = 0;
    };
    mutable ResolvedContainer lastContainer;
    // Working storage of Resolve: the parts of a name, the absolute name and
    // one part folded to lower case.
    mutable std::vector<std::string_view> resolveParts;
    mutable std::string resolveAbsolute;
    mutable std::string resolveFolded;
    mutable std::string resolveTypeless;  // a relative name's types cut from its middle
    // The last name shown with types, and how.
    struct PresentedText {
        bool valid = false;
        const Tree* tree = nullptr;
        std::string name;
        std::string shown;
    };
    mutable PresentedText lastPresented;
    // Called before the directory changes: forgets the remembered name and
    // makes every reply that points at the directory's values copy them.
    void DetachReplies();
    // The absolute typeless text of a name seen from the context, without resolving it.
    std::string AbsoluteName(const ContextState& context, std::string_view name) const;
    // The same into absolute (replacing what it held), keeping its room.
    void AbsoluteName(const ContextState& context, std::string_view name,
                      std::string& absolute) const;
    static Result AliasTarget(const Tree& tree, const Entry& alias, Entry*& target);
    // A value as the context shows it: names inside it typed or typeless.
    AttrValue Presented(const ContextState& context, const AttrValue& value) const;
    AttrValue Presented(const Tree* tree, bool typeless, const AttrValue& value) const;
    std::string PresentedName(const Tree* tree, bool typeless, const std::string& name) const;
    // Gives a name inside a value its types, in place.
    void PresentTyped(const Tree* tree, std::string& name) const;
    // A value as a typed reader sees it, written over shown (whose room is kept).
    void PresentTyped(const Tree* tree, const AttrValue& value, AttrValue& shown) const;
    EntryRecord RecordOf(const Tree& tree, const Entry& entry) const;
    uint32_t Now() const { return clock ? clock() : 0; }
};

// Reads: listings, attribute values and schema definitions (ImageClientReads.cpp).
Result ListPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                  std::string_view container, int32_t& continuation, BufferState& reply);
Result ReadPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                  std::string_view object, ReadKind kind, bool allAttributes,
                  const BufferState* request, int32_t& continuation, BufferState& reply);
Result ClassPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                   ClassInfoKind kind, bool allClasses, const BufferState* request,
                   int32_t& continuation, BufferState& reply);
Result AttrDefPageOf(ImageClient::State& state, ContextHandle handle, ContextState& context,
                     AttrInfoKind kind, bool allAttributes, const BufferState* request,
                     int32_t& continuation, BufferState& reply);

// Updates (ImageClientUpdates.cpp).
Result ApplyChanges(ImageClient::State& state, ContextState& context, Entry& entry,
                    const std::vector<RequestedChange>& changes);
Result RemoveEntry(ImageClient::State& state, ContextState& context, std::string_view object);

}  // namespace vellrun::client::image
