#pragma once

// The inner state of ImageClient: loaded images, connections, contexts,
// buffers with their request items or reply pages, open continuations and
// open streams. Private to the embedded directory's implementation files.

#include "client/image/ImageClient.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
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

struct ContextState {
    Tree* tree = nullptr;
    uint32_t flags = ContextFlag::DereferenceAliases | ContextFlag::Canonical;
    uint32_t confidence = 1;
    std::string nameContext = "[Root]";
    uint32_t entryItems = 0;

    bool Typeless() const { return (flags & ContextFlag::Typeless) != 0; }
    bool Dereference() const { return (flags & ContextFlag::DereferenceAliases) != 0; }
};

// What a prepared request buffer carries.
struct RequestedChange {
    ChangeType type = ChangeType::AddValue;
    std::string attribute;
    std::optional<AttrValue> value;
};

struct RequestData {
    Operation operation = Operation::Read;
    std::vector<std::string> names;
    std::vector<RequestedChange> changes;
};

// Reply pages, each with the cursor through which its entries are taken.
struct ListedEntry {
    std::string name;
    uint32_t attributeCount = 0;
    EntryRecord record;
};
struct ListPage {
    std::vector<ListedEntry> entries;
    size_t next = 0;
};

struct PageAttribute {
    std::string name;
    SyntaxId syntax = 0;
    std::vector<StoredValue> values;  // copies: the reply owns what it hands out
};
struct ReadPage {
    ReadKind kind = ReadKind::Values;
    std::vector<PageAttribute> attributes;
    size_t nextAttribute = 0;  // the attribute GetAttrName gives next
    bool haveCurrent = false;  // an attribute has been taken
    size_t nextValue = 0;      // within the current attribute
};

struct PageClass {
    std::string name;
    ClassDefRecord record;
    std::vector<std::vector<std::string>> lists;  // five lists for the definitions kind
};
struct ClassPage {
    ClassInfoKind kind = ClassInfoKind::Names;
    std::vector<PageClass> classes;
    size_t nextClass = 0;
    bool haveCurrent = false;
    size_t nextList = 0;
    bool haveList = false;
    size_t nextItem = 0;
};

struct PageAttrDef {
    std::string name;
    AttrDefRecord record;
};
struct AttrDefPage {
    AttrInfoKind kind = AttrInfoKind::Names;
    std::vector<PageAttrDef> definitions;
    size_t next = 0;
};

struct BufferState {
    size_t capacity = 0;
    bool prepared = false;
    RequestData request;
    size_t requestBytes = 0;
    std::variant<std::monostate, ListPage, ReadPage, ClassPage, AttrDefPage> reply;
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
struct SchemaIteration {
    std::vector<std::string> names;  // what is left to send, in order
    size_t position = 0;
};

struct Iteration {
    ContextHandle owner{};
    std::variant<ListIteration, ReadIteration, SchemaIteration> where;
};

struct OpenStreamState {
    Bytes content;
    size_t position = 0;
};

struct ImageClient::State {
    // Configuration and loaded images.
    std::vector<ImageConnection> configured;
    ImageFileLoader loader;  // reads the files of the connections; LoadImageFile when empty
    std::string configName;
    int primary = 0;
    std::string failure;  // a start-up that can only fail, with this message
    std::vector<std::shared_ptr<DirectoryImage>> images;
    bool started = false;
    std::string diagnostic;

    struct Connection {
        Tree* tree = nullptr;
    };
    std::vector<Connection> connections;

    std::map<ContextHandle, ContextState> contexts;
    std::map<BufferHandle, BufferState> buffers;
    std::map<int32_t, Iteration> iterations;
    std::map<StreamHandle, OpenStreamState> streams;
    uint32_t nextHandle = 1;
    int32_t nextIteration = 1;

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
    ContextState* FindContext(ContextHandle context);
    BufferState* FindBuffer(BufferHandle buffer);

    // Resolves a name as the context sees it. Aliases on the way are followed
    // when the context asks for it; followFinal decides for the object itself.
    Result Resolve(const ContextState& context, std::string_view name, bool followFinal,
                   Entry*& entry) const;
    // The absolute typeless text of a name seen from the context, without resolving it.
    std::string AbsoluteName(const ContextState& context, std::string_view name) const;
    static Result AliasTarget(const Tree& tree, const Entry& alias, Entry*& target);
    // A value as the context shows it: names inside it typed or typeless.
    AttrValue Presented(const ContextState& context, const AttrValue& value) const;
    std::string PresentedName(const ContextState& context, const std::string& name) const;
    EntryRecord RecordOf(const Tree& tree, const Entry& entry) const;
    uint32_t Now() const { return clock ? clock() : 0; }
};

// The reply page of the given kind in a buffer, after checking the context and the buffer.
template <typename Page>
Result ReplyPage(ImageClient::State& state, ContextHandle context, BufferHandle reply,
                 Page*& page) {
    page = nullptr;
    if (!state.FindContext(context)) return Err::BadContext;
    BufferState* buffer = state.FindBuffer(reply);
    if (!buffer) return Err::InvalidHandle;
    page = std::get_if<Page>(&buffer->reply);
    return page ? 0 : Err::BadVerb;
}

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
