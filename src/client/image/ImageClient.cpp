#include "client/image/ImageClient.h"

#include "client/image/ImageClientState.h"
#include "client/image/ImageLoader.h"

#include <algorithm>
#include <ctime>

namespace vellrun::client::image {
namespace {

constexpr size_t kLargestBuffer = kReadReplySize;
constexpr uint32_t kDefaultEntryItems = EntryItemBit::SubordinateCount |
                                        EntryItemBit::ModificationTime | EntryItemBit::BaseClass |
                                        EntryItemBit::FullName;
constexpr size_t kTreeNameWidth = 32;
constexpr int kMaxAliasHops = 16;

std::string_view StripLeadingDot(std::string_view name) {
    if (!name.empty() && name.front() == '.') name.remove_prefix(1);
    return name;
}

bool IsRootName(std::string_view name) {
    return EqualsNoCase(name, "[Root]");
}

size_t EntryItemSize(const EntryItem& item) {
    if (const auto* text = std::get_if<std::string>(&item)) return text->size() + 1;
    return 4;
}

}  // namespace

// --- State helpers ----------------------------------------------------------

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
    std::vector<std::string_view> parts;
    std::string_view rest(absolute);
    while (true) {
        auto dot = rest.find('.');
        parts.push_back(rest.substr(0, dot));
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    Entry* current = context.tree->root.get();
    int hops = 0;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        std::string_view part = *it;
        if (auto eq = part.find('='); eq != std::string_view::npos) part.remove_prefix(eq + 1);
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

// --- Construction -----------------------------------------------------------

ImageClient::ImageClient() : state_(std::make_unique<State>()) {
    state_->clock = [] { return static_cast<uint32_t>(std::time(nullptr)); };
}

ImageClient::ImageClient(std::vector<ImageConnection> connections, std::string configName,
                         int primary)
    : ImageClient() {
    state_->configured = std::move(connections);
    state_->configName = std::move(configName);
    state_->primary = primary;
}

ImageClient::ImageClient(std::shared_ptr<DirectoryImage> image) : ImageClient() {
    state_->images.push_back(std::move(image));
}

std::unique_ptr<ImageClient> ImageClient::Failing(std::string diagnostic) {
    std::unique_ptr<ImageClient> client(new ImageClient());
    client->state_->failure = diagnostic.empty() ? "the directory cannot be reached" : diagnostic;
    return client;
}

ImageClient::~ImageClient() = default;

void ImageClient::SetClock(std::function<uint32_t()> clock) {
    state_->clock = std::move(clock);
}
void ImageClient::SetErrorTextsAvailable(bool available) {
    state_->errorTextsAvailable = available;
}
const ImageClientStatistics& ImageClient::Statistics() const {
    return state_->statistics;
}
const DirectoryImage* ImageClient::Image(size_t index) const {
    return (state_->started && index < state_->images.size()) ? state_->images[index].get()
                                                              : nullptr;
}

// --- Connections ------------------------------------------------------------

Result ImageClient::InitClient(uint32_t, uint32_t) {
    State& s = *state_;
    if (s.started) return 0;
    if (!s.failure.empty()) {
        s.diagnostic = s.failure;
        return Err::InitFailed;
    }
    if (s.configured.empty()) {
        // An image handed over in memory: every tree is a connection.
        for (const auto& image : s.images) {
            if (!image) continue;
            for (const auto& tree : image->trees)
                s.connections.push_back({tree.get()});
        }
        s.started = true;
        return 0;
    }
    std::map<std::string, std::shared_ptr<DirectoryImage>> loaded;
    std::vector<State::Connection> connections;
    std::vector<std::shared_ptr<DirectoryImage>> images;
    const std::string where = s.configName.empty() ? std::string() : s.configName + ": ";
    for (size_t i = 0; i < s.configured.size(); ++i) {
        const ImageConnection& wanted = s.configured[i];
        std::error_code ec;
        auto canonical = std::filesystem::weakly_canonical(wanted.imageFile, ec);
        const std::string key = ec ? wanted.imageFile.string() : canonical.string();
        auto& image = loaded[key];
        if (!image) {
            LoadResult result = LoadImageFile(wanted.imageFile);
            if (!result.image) {
                s.diagnostic = result.error;
                return Err::InitFailed;
            }
            image = std::shared_ptr<DirectoryImage>(std::move(result.image));
            images.push_back(image);
        }
        if (wanted.tree.empty()) {
            for (const auto& tree : image->trees)
                connections.push_back({tree.get()});
            continue;
        }
        Tree* tree = image->FindTree(wanted.tree);
        if (!tree) {
            s.diagnostic = where + "connection " + std::to_string(i + 1) + ": the image " +
                           wanted.imageFile.string() + " has no tree \"" + wanted.tree + "\"";
            return Err::InitFailed;
        }
        connections.push_back({tree});
    }
    s.images = std::move(images);
    s.connections = std::move(connections);
    s.started = true;
    s.diagnostic.clear();
    return 0;
}

Result ImageClient::ScanConnections(uint32_t& iterator, ConnRef& ref) {
    if (!state_->started) return Err::ClientNotStarted;
    if (iterator >= state_->connections.size()) return Err::NoMoreConnections;
    ref = iterator + 1;
    ++iterator;
    return 0;
}

Result ImageClient::GetPrimaryConnection(ConnRef& ref) {
    if (!state_->started) return Err::ClientNotStarted;
    const int primary = state_->configured.empty() ? 0 : state_->primary;
    if (primary < 0 || static_cast<size_t>(primary) >= state_->connections.size()) {
        return Err::NoConnection;
    }
    ref = static_cast<ConnRef>(primary) + 1;
    return 0;
}

Result ImageClient::OpenConnection(ConnRef ref, uint32_t, uint32_t, ConnHandle& handle) {
    if (!state_->started) return Err::ClientNotStarted;
    if (ref == 0 || ref > state_->connections.size()) return Err::InvalidHandle;
    handle = ref;
    return 0;
}

Result ImageClient::GetConnectionInfo(ConnRef ref, uint32_t item, size_t room, std::string& text) {
    if (!state_->started) return Err::ClientNotStarted;
    if (ref == 0 || ref > state_->connections.size()) return Err::InvalidHandle;
    if (item != 4) return Err::InvalidRequest;
    std::string name = state_->connections[ref - 1].tree->name;
    if (name.size() < kTreeNameWidth) name.append(kTreeNameWidth - name.size(), '_');
    if (room == 0) return Err::InsufficientBuffer;
    if (name.size() > room - 1) name.resize(room - 1);
    text = std::move(name);
    return 0;
}

// --- Contexts ---------------------------------------------------------------

Result ImageClient::CreateContext(ContextHandle& context) {
    State& s = *state_;
    if (!s.started) return Err::ClientNotStarted;
    ContextState fresh;
    ConnRef primary = 0;
    if (GetPrimaryConnection(primary) == 0) {
        fresh.tree = s.connections[primary - 1].tree;
    } else if (!s.connections.empty()) {
        fresh.tree = s.connections.front().tree;
    }
    fresh.entryItems = kDefaultEntryItems;
    context = s.NewHandle<ContextHandle>();
    s.contexts[context] = std::move(fresh);
    return 0;
}

Result ImageClient::DuplicateContext(ContextHandle source, ContextHandle& copy) {
    State& s = *state_;
    ContextState* original = s.FindContext(source);
    if (!original) return Err::BadContext;
    ContextState duplicate = *original;
    copy = s.NewHandle<ContextHandle>();
    s.contexts[copy] = std::move(duplicate);
    return 0;
}

Result ImageClient::FreeContext(ContextHandle context) {
    State& s = *state_;
    if (!s.contexts.erase(context)) return Err::BadContext;
    std::erase_if(s.iterations, [context](const auto& it) { return it.second.owner == context; });
    return 0;
}

Result ImageClient::GetContextNumber(ContextHandle context, ContextKey key, uint32_t& value) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::Flags: value = c->flags; return 0;
        case ContextKey::Confidence: value = c->confidence; return 0;
        case ContextKey::EntryInfoItems: value = c->entryItems; return 0;
        default: return Err::BadKey;
    }
}

Result ImageClient::GetContextText(ContextHandle context, ContextKey key, std::string& value) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::NameContext: value = c->nameContext; return 0;
        case ContextKey::TreeName:
            if (!c->tree) return Err::NoSuchTree;
            value = c->tree->name;
            return 0;
        default: return Err::BadKey;
    }
}

Result ImageClient::SetContextNumber(ContextHandle context, ContextKey key, uint32_t value) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::Flags: c->flags = value; return 0;
        case ContextKey::Confidence: c->confidence = value; return 0;
        case ContextKey::EntryInfoItems: c->entryItems = value; return 0;
        default: return Err::BadKey;
    }
}

Result ImageClient::SetContextText(ContextHandle context, ContextKey key, std::string_view value) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::NameContext: c->nameContext = std::string(value); return 0;
        case ContextKey::TreeName: {
            std::string_view name = value;
            while (!name.empty() && name.back() == '_')
                name.remove_suffix(1);
            for (const auto& connection : s.connections) {
                if (EqualsNoCase(connection.tree->name, name)) {
                    c->tree = connection.tree;
                    return 0;
                }
            }
            return Err::NoSuchTree;
        }
        default: return Err::BadKey;
    }
}

// --- Buffers and requests ---------------------------------------------------

Result ImageClient::AllocBuffer(size_t size, BufferHandle& buffer) {
    if (size == 0 || size > kLargestBuffer) return Err::InvalidRequest;
    buffer = state_->NewHandle<BufferHandle>();
    state_->buffers[buffer].capacity = size;
    return 0;
}

Result ImageClient::FreeBuffer(BufferHandle buffer) {
    return state_->buffers.erase(buffer) ? 0 : Err::InvalidHandle;
}

Result ImageClient::PrepareRequest(ContextHandle context, Operation operation,
                                   BufferHandle buffer) {
    if (!state_->FindContext(context)) return Err::BadContext;
    BufferState* b = state_->FindBuffer(buffer);
    if (!b) return Err::InvalidHandle;
    switch (operation) {
        case Operation::Read:
        case Operation::Modify:
        case Operation::ReadAttrDefinitions:
        case Operation::ReadClassDefinitions: break;
        default: return Err::BadVerb;
    }
    b->prepared = true;
    b->request = RequestData{operation, {}, {}};
    b->requestBytes = 8;
    b->reply = std::monostate{};
    return 0;
}

Result ImageClient::PutName(ContextHandle context, BufferHandle request, std::string_view name) {
    if (!state_->FindContext(context)) return Err::BadContext;
    BufferState* b = state_->FindBuffer(request);
    if (!b) return Err::InvalidHandle;
    if (!b->prepared || b->request.operation == Operation::Modify) return Err::BadVerb;
    const size_t size = 4 + name.size() + 1;
    if (b->requestBytes + size > b->capacity) return Err::BufferFull;
    b->requestBytes += size;
    b->request.names.emplace_back(name);
    return 0;
}

Result ImageClient::PutChange(ContextHandle context, BufferHandle request, ChangeType change,
                              std::string_view attribute) {
    if (!state_->FindContext(context)) return Err::BadContext;
    BufferState* b = state_->FindBuffer(request);
    if (!b) return Err::InvalidHandle;
    if (!b->prepared || b->request.operation != Operation::Modify) return Err::BadVerb;
    const size_t size = 8 + attribute.size() + 1;
    if (b->requestBytes + size > b->capacity) return Err::BufferFull;
    b->requestBytes += size;
    b->request.changes.push_back({change, std::string(attribute), std::nullopt});
    return 0;
}

Result ImageClient::PutChangeAndValue(ContextHandle context, BufferHandle request,
                                      ChangeType change, std::string_view attribute,
                                      SyntaxId syntax, const AttrValue& value) {
    if (!state_->FindContext(context)) return Err::BadContext;
    BufferState* b = state_->FindBuffer(request);
    if (!b) return Err::InvalidHandle;
    if (!b->prepared || b->request.operation != Operation::Modify) return Err::BadVerb;
    if (value.syntax != syntax || !RecordFitsSyntax(syntax, value.record)) return Err::BadSyntax;
    const size_t size = 12 + attribute.size() + 1 + RecordSize(value);
    if (b->requestBytes + size > b->capacity) return Err::BufferFull;
    b->requestBytes += size;
    b->request.changes.push_back({change, std::string(attribute), value});
    return 0;
}

// --- Listing ----------------------------------------------------------------

Result ImageClient::ListSubordinates(ContextHandle context, std::string_view container,
                                     int32_t& continuation, BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* b = state_->FindBuffer(reply);
    if (!b) return Err::InvalidHandle;
    return ListPageOf(*state_, context, *c, container, continuation, *b);
}

Result ImageClient::GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    ListPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    count = static_cast<uint32_t>(page->entries.size());
    return 0;
}

Result ImageClient::GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                                 uint32_t& attributeCount, EntryRecord& record) {
    ListPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->next >= page->entries.size()) return Err::BufferEmpty;
    const ListedEntry& entry = page->entries[page->next++];
    name = entry.name;
    attributeCount = entry.attributeCount;
    record = entry.record;
    return 0;
}

// --- Reading ----------------------------------------------------------------

Result ImageClient::Read(ContextHandle context, std::string_view object, ReadKind kind,
                         bool allAttributes, BufferHandle request, int32_t& continuation,
                         BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* out = state_->FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    const BufferState* in = nullptr;
    if (!allAttributes) {
        in = state_->FindBuffer(request);
        if (!in) return Err::InvalidHandle;
        if (!in->prepared || in->request.operation != Operation::Read) return Err::BadVerb;
    }
    return ReadPageOf(*state_, context, *c, object, kind, allAttributes, in, continuation, *out);
}

namespace {

// The attribute taken last, whose values are being taken, or null.
PageAttribute* CurrentAttribute(ReadPage& page) {
    if (!page.haveCurrent || page.nextAttribute == 0) return nullptr;
    return &page.attributes[page.nextAttribute - 1];
}

}  // namespace

Result ImageClient::GetAttrCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    if (!state_->FindContext(context)) return Err::BadContext;
    BufferState* b = state_->FindBuffer(reply);
    if (!b) return Err::InvalidHandle;
    if (auto* page = std::get_if<ReadPage>(&b->reply)) {
        count = static_cast<uint32_t>(page->attributes.size());
        return 0;
    }
    if (auto* page = std::get_if<AttrDefPage>(&b->reply)) {
        count = static_cast<uint32_t>(page->definitions.size());
        return 0;
    }
    return Err::BadVerb;
}

Result ImageClient::GetAttrName(ContextHandle context, BufferHandle reply, std::string& name,
                                uint32_t& valueCount, SyntaxId& syntax) {
    ReadPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->nextAttribute >= page->attributes.size()) return Err::BufferEmpty;
    // Values of the previous attribute that were not taken are passed over.
    const PageAttribute& attribute = page->attributes[page->nextAttribute++];
    page->haveCurrent = true;
    page->nextValue = 0;
    name = attribute.name;
    syntax = attribute.syntax;
    valueCount = page->kind == ReadKind::Names ? 0 : static_cast<uint32_t>(attribute.values.size());
    return 0;
}

namespace {

Result NextValue(ImageClient::State& state, ContextHandle context, BufferHandle reply,
                 ReadPage*& page, const StoredValue*& value) {
    if (Result r = ReplyPage(state, context, reply, page); r != 0) return r;
    PageAttribute* attribute = CurrentAttribute(*page);
    if (!attribute || page->nextValue >= attribute->values.size()) return Err::BufferEmpty;
    value = &attribute->values[page->nextValue];
    return 0;
}

}  // namespace

Result ImageClient::ComputeAttrValSize(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                                       size_t& size) {
    ReadPage* page = nullptr;
    const StoredValue* value = nullptr;
    if (Result r = NextValue(*state_, context, reply, page, value); r != 0) return r;
    if (value->value.syntax != syntax) return Err::BadSyntax;
    size = RecordSize(value->value);
    return 0;
}

Result ImageClient::GetAttrVal(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                               AttrValue& value) {
    ReadPage* page = nullptr;
    const StoredValue* stored = nullptr;
    if (Result r = NextValue(*state_, context, reply, page, stored); r != 0) return r;
    if (stored->value.syntax != syntax) return Err::BadSyntax;
    value = stored->value;
    ++page->nextValue;
    return 0;
}

namespace {

// The value about to be taken, in a reply that carries value information.
Result NextValueWithInfo(ImageClient::State& state, ContextHandle context, BufferHandle reply,
                         const StoredValue*& value) {
    ReadPage* page = nullptr;
    if (Result r = NextValue(state, context, reply, page, value); r != 0) return r;
    return page->kind == ReadKind::ValuesWithInfo ? 0 : Err::BadVerb;
}

}  // namespace

Result ImageClient::GetAttrValFlags(ContextHandle context, BufferHandle reply, uint32_t& flags) {
    const StoredValue* stored = nullptr;
    if (Result r = NextValueWithInfo(*state_, context, reply, stored); r != 0) return r;
    flags = stored->flags;
    return 0;
}

Result ImageClient::GetAttrValModTime(ContextHandle context, BufferHandle reply, TimeStamp& stamp) {
    const StoredValue* stored = nullptr;
    if (Result r = NextValueWithInfo(*state_, context, reply, stored); r != 0) return r;
    stamp = stored->modified;
    return 0;
}

// --- Schema -----------------------------------------------------------------

namespace {

Result SchemaRequest(ImageClient::State& state, bool all, BufferHandle request, Operation expected,
                     const BufferState*& in) {
    in = nullptr;
    if (all) return 0;
    in = state.FindBuffer(request);
    if (!in) return Err::InvalidHandle;
    if (!in->prepared || in->request.operation != expected) return Err::BadVerb;
    return 0;
}

}  // namespace

Result ImageClient::ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                         BufferHandle request, int32_t& continuation,
                                         BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* out = state_->FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    const BufferState* in = nullptr;
    if (Result r = SchemaRequest(*state_, allClasses, request, Operation::ReadClassDefinitions, in);
        r != 0) {
        return r;
    }
    return ClassPageOf(*state_, context, *c, kind, allClasses, in, continuation, *out);
}

Result ImageClient::GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    count = static_cast<uint32_t>(page->classes.size());
    return 0;
}

Result ImageClient::GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                                ClassDefRecord& record) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->nextClass >= page->classes.size()) return Err::BufferEmpty;
    const PageClass& definition = page->classes[page->nextClass++];
    page->haveCurrent = true;
    page->nextList = 0;
    page->haveList = false;
    name = definition.name;
    if (page->kind != ClassInfoKind::Names) record = definition.record;
    return 0;
}

Result ImageClient::GetClassItemCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->kind != ClassInfoKind::Definitions || !page->haveCurrent) return Err::BadVerb;
    const PageClass& definition = page->classes[page->nextClass - 1];
    if (page->nextList >= definition.lists.size()) return Err::BufferEmpty;
    count = static_cast<uint32_t>(definition.lists[page->nextList++].size());
    page->haveList = true;
    page->nextItem = 0;
    return 0;
}

Result ImageClient::GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) {
    ClassPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (!page->haveCurrent || !page->haveList) return Err::BadVerb;
    const auto& list = page->classes[page->nextClass - 1].lists[page->nextList - 1];
    if (page->nextItem >= list.size()) return Err::BufferEmpty;
    name = list[page->nextItem++];
    return 0;
}

Result ImageClient::ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind,
                                        bool allAttributes, BufferHandle request,
                                        int32_t& continuation, BufferHandle reply) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* out = state_->FindBuffer(reply);
    if (!out) return Err::InvalidHandle;
    const BufferState* in = nullptr;
    if (Result r =
            SchemaRequest(*state_, allAttributes, request, Operation::ReadAttrDefinitions, in);
        r != 0) {
        return r;
    }
    return AttrDefPageOf(*state_, context, *c, kind, allAttributes, in, continuation, *out);
}

Result ImageClient::GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                               AttrDefRecord& record) {
    AttrDefPage* page = nullptr;
    if (Result r = ReplyPage(*state_, context, reply, page); r != 0) return r;
    if (page->next >= page->definitions.size()) return Err::BufferEmpty;
    const PageAttrDef& definition = page->definitions[page->next++];
    name = definition.name;
    if (page->kind == AttrInfoKind::Definitions) record = definition.record;
    return 0;
}

Result ImageClient::GetSyntaxId(ContextHandle context, std::string_view attribute,
                                SyntaxId& syntax) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    if (!c->tree) return Err::NoSuchTree;
    const AttributeDefinition* definition = c->tree->schema.FindAttribute(attribute);
    if (!definition) return Err::NoSuchAttribute;
    syntax = definition->syntax;
    return 0;
}

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
    size_t size = 4;
    for (const auto& [bit, item] : info.items)
        size += EntryItemSize(item);
    if (size > room) {
        info.items.clear();
        return Err::InsufficientBuffer;
    }
    return 0;
}

Result ImageClient::TakeEntryItem(const EntryInfo& info, size_t room, uint32_t selector,
                                  EntryItem& item) {
    auto it = info.items.find(selector);
    if (it == info.items.end()) return Err::InvalidRequest;
    if (EntryItemSize(it->second) > room) return Err::InsufficientBuffer;
    item = it->second;
    return 0;
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
    while (true) {
        auto dot = rest.find('.');
        std::string_view part = rest.substr(0, dot);
        if (auto eq = part.find('='); eq != std::string_view::npos) part.remove_prefix(eq + 1);
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
    s.streams[stream] = OpenStreamState{stored->stream, 0};
    return 0;
}

Result ImageClient::ReadStream(StreamHandle stream, std::span<uint8_t> into, size_t& bytesRead) {
    auto it = state_->streams.find(stream);
    if (it == state_->streams.end()) return Err::InvalidHandle;
    OpenStreamState& open = it->second;
    const size_t count = std::min(into.size(), open.content.size() - open.position);
    std::copy_n(open.content.begin() + static_cast<std::ptrdiff_t>(open.position), count,
                into.begin());
    open.position += count;
    bytesRead = count;
    return 0;
}

Result ImageClient::CloseStream(StreamHandle stream) {
    return state_->streams.erase(stream) ? 0 : Err::InvalidHandle;
}

// --- Updates ----------------------------------------------------------------

Result ImageClient::RemoveObject(ContextHandle context, std::string_view object) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    return RemoveEntry(*state_, *c, object);
}

Result ImageClient::ModifyObject(ContextHandle context, std::string_view object,
                                 int32_t& continuation, bool, BufferHandle request) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    BufferState* in = s.FindBuffer(request);
    if (!in) return Err::InvalidHandle;
    if (!in->prepared || in->request.operation != Operation::Modify) return Err::BadVerb;
    continuation = kNoContinuation;
    Entry* entry = nullptr;
    if (Result r = s.Resolve(*c, object, true, entry); r != 0) return r;
    return ApplyChanges(s, *c, *entry, in->request.changes);
}

// --- Error texts ------------------------------------------------------------

const ErrorTextTable* ImageClient::ErrorTexts() const {
    return state_->errorTextsAvailable ? &state_->errorTexts : nullptr;
}

std::string ImageClient::StartupDiagnostic() const {
    return state_->diagnostic;
}

}  // namespace vellrun::client::image
