#include "client/image/ImageClient.h"

#include "client/image/ImageClientState.h"
#include "client/image/ImageLoader.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <string_view>
#include <vector>

namespace vellrun::client::image {
namespace {

// A tree is found by its name alone: the same tree may be connected more
// than once, but two trees may not share a name (case ignored). Two that do
// stop the start, naming both files: a tree renamed here would leave saved
// reports and kept places reaching another tree, or none.
bool CheckTreeNames(const std::vector<Tree*>& connected,
                    const std::map<const Tree*, std::filesystem::path>& files,
                    const std::string& where, std::string& diagnostic) {
    std::vector<const Tree*> trees;
    for (const Tree* tree : connected) {
        if (std::find(trees.begin(), trees.end(), tree) != trees.end()) continue;
        for (const Tree* other : trees) {
            if (!EqualsNoCase(other->name, tree->name)) continue;
            diagnostic = where + "the image " + files.at(other).string() + " and the image " +
                         files.at(tree).string() + " both have a tree named \"" + tree->name + "\"";
            if (other->derivedName || tree->derivedName)
                diagnostic += " (a dump's tree is named after its file unless \"tree\" names it)";
            return false;
        }
        trees.push_back(tree);
    }
    return true;
}

}  // namespace

// Names and entry information, and streams: ImageClientEntries.cpp. Listing,
// reading and the schema: ImageClientReplies.cpp. The shared state:
// ImageClientState.cpp.

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

void ImageClient::SetLoader(ImageFileLoader loader) {
    state_->loader = std::move(loader);
}
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
    s.cancelled = false;
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
    // The file each connected tree came from, for the messages about names.
    std::map<const Tree*, std::filesystem::path> files;
    std::vector<std::shared_ptr<DirectoryImage>> images;
    const std::string where = s.configName.empty() ? std::string() : s.configName + ": ";
    // The primary counts the configuration's entries as written; an entry
    // without a tree becomes as many connections as its image has trees.
    int primaryConnection = -1;
    for (size_t i = 0; i < s.configured.size(); ++i) {
        const ImageConnection& wanted = s.configured[i];
        if (static_cast<int>(i) == s.primary)
            primaryConnection = static_cast<int>(connections.size());
        std::error_code ec;
        auto canonical = std::filesystem::weakly_canonical(wanted.imageFile, ec);
        const std::string key = ec ? wanted.imageFile.string() : canonical.string();
        auto& image = loaded[key];
        if (!image) {
            LoadResult result =
                s.loader ? s.loader(wanted) : LoadImageFile(wanted.imageFile, wanted.load);
            if (!result.image) {
                s.diagnostic = result.status.error;
                s.cancelled = result.cancelled;
                return Err::InitFailed;
            }
            image = std::shared_ptr<DirectoryImage>(std::move(result.image));
            images.push_back(image);
        }
        if (wanted.tree.empty()) {
            for (const auto& tree : image->trees) {
                connections.push_back({tree.get()});
                files.emplace(tree.get(), wanted.imageFile);
            }
            continue;
        }
        Tree* tree = image->FindTree(wanted.tree);
        if (!tree) {
            s.diagnostic = where + "connection " + std::to_string(i + 1) + ": the image " +
                           wanted.imageFile.string() + " has no tree \"" + wanted.tree + "\"";
            return Err::InitFailed;
        }
        // Named in the configuration, the tree keeps its name (or stops the
        // start) whatever order the entries that load its file stand in.
        tree->derivedName = false;
        connections.push_back({tree});
        files.emplace(tree, wanted.imageFile);
    }
    std::vector<Tree*> connected;
    for (const State::Connection& connection : connections)
        connected.push_back(connection.tree);
    if (!CheckTreeNames(connected, files, where, s.diagnostic)) return Err::InitFailed;
    s.images = std::move(images);
    s.connections = std::move(connections);
    s.primaryConnection = primaryConnection;
    s.started = true;
    s.diagnostic.clear();
    return 0;
}

Result ImageClient::ScanConnections(uint32_t& iterator, ConnRef& ref) {
    return ScanConnection(state_->started, state_->connections.size(), iterator, ref);
}

Result ImageClient::GetPrimaryConnection(ConnRef& ref) {
    if (!state_->started) return Err::ClientNotStarted;
    const int primary = state_->configured.empty() ? 0 : state_->primaryConnection;
    if (primary < 0 || static_cast<size_t>(primary) >= state_->connections.size()) {
        return Err::NoConnection;
    }
    ref = static_cast<ConnRef>(primary) + 1;
    return 0;
}

Result ImageClient::OpenConnection(ConnRef ref, uint32_t, uint32_t, ConnHandle& handle) {
    if (Result r = CheckConnection(state_->started, state_->connections.size(), ref); r != 0)
        return r;
    handle = ref;
    return 0;
}

Result ImageClient::GetConnectionInfo(ConnRef ref, uint32_t item, size_t room, std::string& text) {
    if (Result r = CheckConnection(state_->started, state_->connections.size(), ref); r != 0)
        return r;
    return ConnectionTreeName(item, state_->connections[ref - 1].tree->name, room, text);
}

// --- Contexts ---------------------------------------------------------------

Result ImageClient::CreateContext(ContextHandle& context) {
    State& s = *state_;
    if (!s.started) return Err::ClientNotStarted;
    // Without a tree a context could do nothing: none is made.
    if (s.connections.empty()) return Err::NoConnection;
    ContextState fresh;
    ConnRef primary = 0;
    fresh.tree = GetPrimaryConnection(primary) == 0 ? s.connections[primary - 1].tree
                                                    : s.connections.front().tree;
    fresh.entryItems = kDefaultEntryItems;
    ContextState* made = s.contexts.Add(context);
    if (!made) return Err::NotEnoughMemory;
    *made = std::move(fresh);
    return 0;
}

Result ImageClient::DuplicateContext(ContextHandle source, ContextHandle& copy) {
    State& s = *state_;
    const ContextState* original = s.FindContext(source);
    if (!original) return Err::BadContext;
    ContextState* duplicate = s.contexts.Add(copy);
    if (!duplicate) return Err::NotEnoughMemory;
    // A slot used before keeps its name text: a report copies the same
    // context for every cell, so the text is nearly always there already.
    duplicate->tree = original->tree;
    duplicate->flags = original->flags;
    duplicate->confidence = original->confidence;
    duplicate->entryItems = original->entryItems;
    duplicate->leftIterations = false;
    if (duplicate->nameContextId != original->nameContextId) {
        duplicate->nameContext = original->nameContext;
        duplicate->nameContextId = original->nameContextId;
    }
    return 0;
}

Result ImageClient::FreeContext(ContextHandle context) {
    State& s = *state_;
    const ContextState* freed = s.FindContext(context);
    if (!freed) return Err::BadContext;
    if (freed->leftIterations) {
        std::erase_if(s.iterations,
                      [context](const auto& it) { return it.second.owner == context; });
    }
    s.contexts.Remove(context);
    return 0;
}

Result ImageClient::GetContextNumber(ContextHandle context, ContextKey key, uint32_t& value) {
    ContextState* c = state_->FindContext(context);
    return c ? GetContextNumberOf(*c, key, value) : Err::BadContext;
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
    return c ? SetContextNumberOf(*c, key, value) : Err::BadContext;
}

Result ImageClient::SetContextText(ContextHandle context, ContextKey key, std::string_view value) {
    State& s = *state_;
    ContextState* c = s.FindContext(context);
    if (!c) return Err::BadContext;
    switch (key) {
        case ContextKey::NameContext:
            c->nameContext.assign(value);
            c->nameContextId = s.nextNameContextId++;
            return 0;
        case ContextKey::TreeName: {
            const std::string_view name = WithoutTreePadding(value);
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
    BufferState* made = state_->buffers.Add(buffer);
    if (!made) return Err::NotEnoughMemory;
    // A slot used before keeps the storage of its request and reply pages.
    made->Renew(size);
    made->DropReply();
    return 0;
}

Result ImageClient::FreeBuffer(BufferHandle buffer) {
    return state_->buffers.Remove(buffer) ? 0 : Err::InvalidHandle;
}

Result ImageClient::PrepareRequest(ContextHandle context, Operation operation,
                                   BufferHandle buffer) {
    return PrepareRequestIn(*state_, context, operation, buffer);
}

Result ImageClient::PutName(ContextHandle context, BufferHandle request, std::string_view name) {
    return PutNameIn(*state_, context, request, name);
}

Result ImageClient::PutChange(ContextHandle context, BufferHandle request, ChangeType change,
                              std::string_view attribute) {
    return PutChangeIn(*state_, context, request, change, attribute, 0, nullptr);
}

Result ImageClient::PutChangeAndValue(ContextHandle context, BufferHandle request,
                                      ChangeType change, std::string_view attribute,
                                      SyntaxId syntax, const AttrValue& value) {
    return PutChangeIn(*state_, context, request, change, attribute, syntax, &value);
}

// --- Updates ----------------------------------------------------------------

Result ImageClient::RemoveObject(ContextHandle context, std::string_view object) {
    ContextState* c = state_->FindContext(context);
    if (!c) return Err::BadContext;
    state_->DetachReplies();
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
    s.DetachReplies();
    return ApplyChanges(s, *c, *entry, in->request.changes);
}

// --- Error texts ------------------------------------------------------------

const ErrorTextTable* ImageClient::ErrorTexts() const {
    return state_->errorTextsAvailable ? &state_->errorTexts : nullptr;
}

std::string ImageClient::StartupDiagnostic() const {
    return state_->diagnostic;
}

bool ImageClient::StartupCancelled() const {
    return state_->cancelled;
}

}  // namespace vellrun::client::image
