#pragma once

// What both backends of the directory client keep and check alike: a
// context's settings, a request buffer and what is put into it, the checks
// every call makes of its context and buffers and their order (bad context,
// then an invalid buffer, then a buffer not prepared for the call), the
// reading of a listing's page, continuations, entry information and open
// streams. The image client and the LDAP client build their state on these
// and answer the calls through them, so that both give the same result codes
// in the same order, which the directory layer relies on.
//
// A backend's State provides FindContext(ContextHandle) and
// FindBuffer(BufferHandle), returning null for a handle it does not hold; its
// buffers derive from RequestBuffer and provide DropReply() and
// Reply<Page>(), the reply page of that kind or null. The calls a report
// makes for every cell go through here: everything stays inline.
// Private to the client's backends; used from one thread.

#include "client/AttrValue.h"
#include "client/ClientTypes.h"
#include "client/DirectoryClient.h"
#include "client/ResultCodes.h"
#include "platform/AsciiText.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::client {

// The largest buffer a caller may have.
inline constexpr size_t kLargestBuffer = kReadReplySize;
// What a new context's entry information fetches.
inline constexpr uint32_t kDefaultEntryItems = EntryItemBit::SubordinateCount |
                                               EntryItemBit::ModificationTime |
                                               EntryItemBit::BaseClass | EntryItemBit::FullName;

// --- Connections ------------------------------------------------------------

// One connection reference per call, from iterator 0, of `count` connections.
Result ScanConnection(bool started, size_t count, uint32_t& iterator, ConnRef& ref);
// Whether ref names one of `count` connections of a started client.
Result CheckConnection(bool started, size_t count, ConnRef ref);
// Connection information item 4, the tree name padded with "_" to 32
// characters and cut to room - 1.
Result ConnectionTreeName(uint32_t item, std::string name, size_t room, std::string& text);
// A tree name as a caller sets it, without the "_" it may be padded with.
std::string_view WithoutTreePadding(std::string_view name);

// --- Contexts ---------------------------------------------------------------

// The settings a context carries, read and set through the context keys.
struct ContextSettings {
    uint32_t flags = ContextFlag::DereferenceAliases | ContextFlag::Canonical;
    uint32_t confidence = 1;
    std::string nameContext = "[Root]";
    uint32_t entryItems = 0;

    bool Typeless() const { return (flags & ContextFlag::Typeless) != 0; }
    bool Dereference() const { return (flags & ContextFlag::DereferenceAliases) != 0; }
};

Result GetContextNumberOf(const ContextSettings& context, ContextKey key, uint32_t& value);
Result SetContextNumberOf(ContextSettings& context, ContextKey key, uint32_t value);

// --- Requests ---------------------------------------------------------------

struct RequestedChange {
    ChangeType type = ChangeType::AddValue;
    std::string attribute;
    std::optional<AttrValue> value;
};

struct RequestData {
    Operation operation = Operation::Read;
    std::vector<RequestedChange> changes;

    // The names put into the request, in order.
    std::span<const std::string> Names() const { return {names_.data(), nameCount_}; }
    // A name text used before takes the new name in its own storage, so a
    // buffer that is made, filled and freed for every cell allocates nothing.
    void AddName(std::string_view name) {
        if (nameCount_ < names_.size()) {
            platform::ReplaceText(names_[nameCount_], name);
        } else {
            names_.emplace_back(name);
        }
        ++nameCount_;
    }

    // Empties the request and keeps the storage for the next one. Made for
    // every read of a cell, so the rare emptying of changes is out of line.
    void Reset(Operation newOperation) {
        operation = newOperation;
        nameCount_ = 0;
        if (!changes.empty()) [[unlikely]]
            ClearChanges();
    }
    void ClearChanges();

private:
    std::vector<std::string> names_;  // the first nameCount_ are the request's
    size_t nameCount_ = 0;
};

// What a buffer holds as a request; a backend's buffer adds its reply page.
struct RequestBuffer {
    size_t capacity = 0;
    bool prepared = false;
    RequestData request;
    size_t requestBytes = 0;

    // A buffer new or used again, of this size, with no request in it; the
    // room of its lists is kept.
    void Renew(size_t size) {
        capacity = size;
        prepared = false;
        request.Reset(Operation::Read);
        requestBytes = 0;
    }
};

// The names a request carries; none when the read covers everything.
inline std::span<const std::string> RequestedNames(const RequestBuffer* request) {
    return request ? request->request.Names() : std::span<const std::string>();
}

template <typename State>
[[gnu::always_inline]] inline Result PrepareRequestIn(State& state, ContextHandle context,
                                                      Operation operation, BufferHandle buffer) {
    if (!state.FindContext(context)) return Err::BadContext;
    auto* b = state.FindBuffer(buffer);
    if (!b) return Err::InvalidHandle;
    switch (operation) {
        case Operation::Read:
        case Operation::Modify:
        case Operation::ReadAttrDefinitions:
        case Operation::ReadClassDefinitions: break;
        default: return Err::BadVerb;
    }
    b->prepared = true;
    b->request.Reset(operation);
    b->requestBytes = 8;
    b->DropReply();
    return 0;
}

template <typename State>
Result PutNameIn(State& state, ContextHandle context, BufferHandle request, std::string_view name) {
    if (!state.FindContext(context)) return Err::BadContext;
    auto* b = state.FindBuffer(request);
    if (!b) return Err::InvalidHandle;
    if (!b->prepared || b->request.operation == Operation::Modify) return Err::BadVerb;
    const size_t size = 4 + name.size() + 1;
    if (b->requestBytes + size > b->capacity) return Err::BufferFull;
    b->requestBytes += size;
    b->request.AddName(name);
    return 0;
}

// A change alone (value null) or with its value.
template <typename State>
Result PutChangeIn(State& state, ContextHandle context, BufferHandle request, ChangeType change,
                   std::string_view attribute, SyntaxId syntax, const AttrValue* value) {
    if (!state.FindContext(context)) return Err::BadContext;
    auto* b = state.FindBuffer(request);
    if (!b) return Err::InvalidHandle;
    if (!b->prepared || b->request.operation != Operation::Modify) return Err::BadVerb;
    if (value && (value->syntax != syntax || !RecordFitsSyntax(syntax, value->record))) {
        return Err::BadSyntax;
    }
    const size_t size =
        value ? 12 + attribute.size() + 1 + RecordSize(*value) : 8 + attribute.size() + 1;
    if (b->requestBytes + size > b->capacity) return Err::BufferFull;
    b->requestBytes += size;
    b->request.changes.push_back(
        {change, std::string(attribute), value ? std::optional<AttrValue>(*value) : std::nullopt});
    return 0;
}

// --- The checks of a call ---------------------------------------------------

// The context and the reply buffer of a call that fills a reply.
template <typename State, typename Context, typename Buffer>
[[gnu::always_inline]] inline Result CallBuffers(State& state, ContextHandle context,
                                                 BufferHandle reply, Context*& c, Buffer*& out) {
    c = state.FindContext(context);
    if (!c) return Err::BadContext;
    out = state.FindBuffer(reply);
    return out ? 0 : Err::InvalidHandle;
}

// The same, and the request buffer prepared for `expected`, unless the call
// covers everything (in is then null).
template <typename State, typename Context, typename Buffer>
[[gnu::always_inline]] inline Result CallBuffers(State& state, ContextHandle context,
                                                 BufferHandle reply, bool all, BufferHandle request,
                                                 Operation expected, Context*& c, Buffer*& out,
                                                 const Buffer*& in) {
    in = nullptr;
    c = state.FindContext(context);
    if (!c) return Err::BadContext;
    out = state.FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    if (all) return 0;
    in = state.FindBuffer(request);
    if (!in) return Err::InvalidHandle;
    if (!in->prepared || in->request.operation != expected) return Err::BadVerb;
    return 0;
}

// The reply page of the given kind in a buffer, after checking the context and the buffer.
// Every call that takes from a reply starts here.
template <typename Page, typename State>
[[gnu::always_inline]] inline Result ReplyPage(State& state, ContextHandle context,
                                               BufferHandle reply, Page*& page) {
    page = nullptr;
    if (!state.FindContext(context)) return Err::BadContext;
    auto* buffer = state.FindBuffer(reply);
    if (!buffer) return Err::InvalidHandle;
    page = buffer->template Reply<Page>();
    return page ? 0 : Err::BadVerb;
}

// --- Listing pages ------------------------------------------------------------

struct ListedEntry {
    std::string name;
    uint32_t attributeCount = 0;
    EntryRecord record;
};
struct ListPage {
    std::vector<ListedEntry> entries;
    size_t next = 0;

    void Reset() {
        entries.clear();
        next = 0;
    }
};

template <typename State>
Result EntryCountIn(State& state, ContextHandle context, BufferHandle reply, uint32_t& count) {
    ListPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    count = static_cast<uint32_t>(page->entries.size());
    return 0;
}

template <typename State>
Result NextEntryIn(State& state, ContextHandle context, BufferHandle reply, std::string& name,
                   uint32_t& attributeCount, EntryRecord& record) {
    ListPage* page = nullptr;
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    if (page->next >= page->entries.size()) return Err::BufferEmpty;
    const ListedEntry& entry = page->entries[page->next++];
    name = entry.name;
    attributeCount = entry.attributeCount;
    record = entry.record;
    return 0;
}

// --- Continuations ----------------------------------------------------------

// A new continuation number for an iteration (numbers start again at 1
// before they run out).
template <typename Iteration>
int32_t AddIteration(std::map<int32_t, Iteration>& iterations, int32_t& next, Iteration iteration) {
    if (next == INT32_MAX) next = 1;
    const int32_t id = next++;
    iterations[id] = std::move(iteration);
    return id;
}

// Takes the continuation the caller passes: a fresh start (where null), or
// one of this context's of the kind the call goes on with. The iteration
// stays where it is until FinishPage: a page refused (a buffer too small for
// its first item) leaves it as it was, for a larger buffer.
template <typename Where, typename State>
Result ResumeIteration(State& state, ContextHandle owner, int32_t continuation, Where*& where) {
    where = nullptr;
    if (continuation == kNoContinuation) return 0;
    auto it = state.iterations.find(continuation);
    if (it == state.iterations.end() || it->second.owner != owner) return Err::InvalidIteration;
    where = std::get_if<Where>(&it->second.where);
    return where ? 0 : Err::InvalidIteration;
}

// Ends the iteration after a page, or keeps it where `after` says when more
// is to come (taking it over); continuation tells the caller which.
template <typename Where, typename State>
void FinishPage(State& state, ContextHandle owner, int32_t& continuation, Where* after) {
    if (continuation != kNoContinuation) state.iterations.erase(continuation);
    continuation = after ? state.NewIteration(owner, std::move(*after)) : kNoContinuation;
}

// --- Entry information --------------------------------------------------------

// Whether the items read fit into the caller's room; when not, they are
// dropped and the read is refused.
Result FitEntryInfo(EntryInfo& info, size_t room);
Result TakeEntryItemOf(const EntryInfo& info, size_t room, uint32_t selector, EntryItem& item);

// --- Streams ----------------------------------------------------------------

template <typename Content>
struct OpenStreamState {
    Content content;
    size_t position = 0;
};

template <typename Content>
Result ReadStreamOf(std::map<StreamHandle, OpenStreamState<Content>>& streams, StreamHandle stream,
                    std::span<uint8_t> into, size_t& bytesRead) {
    auto it = streams.find(stream);
    if (it == streams.end()) return Err::InvalidHandle;
    OpenStreamState<Content>& open = it->second;
    const size_t count = std::min(into.size(), open.content.size() - open.position);
    std::copy_n(open.content.begin() + static_cast<std::ptrdiff_t>(open.position), count,
                into.begin());
    open.position += count;
    bytesRead = count;
    return 0;
}

}  // namespace vellrun::client
