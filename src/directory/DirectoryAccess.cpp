// Start-up, trees, contexts, error texts and the names that need the client.

#include "directory/DirectoryAccess.h"

#include "directory/DirectoryNames.h"
#include "directory/ScopedContextCopy.h"
#include "platform/AsciiText.h"
#include "platform/TextEncoding.h"

#include <cstdio>
#include <cstring>
#include <type_traits>
#include <unordered_set>
#include <variant>

namespace vellrun::directory {

using client::ContextHandle;
using client::ContextKey;
using client::Result;

namespace {

constexpr std::string_view kLabelNotInitialized =
    "Could not initialize NetWare Client. InitNetWare";
constexpr std::string_view kLabelNoConnection =
    "Could not find server/tree connection. InitNetWare";
constexpr std::string_view kUnknownError = "Unknown error";
// Room for a tree name of 255 characters and its terminating zero.
constexpr size_t kTreeNameRoom = 256;
constexpr uint32_t kConnectionInfoTreeName = 4;
constexpr size_t kTreeNameLength = 32;
constexpr size_t kEntryInfoBufferSize = 4096;
constexpr size_t kEntryItemRoom = 8192;

}  // namespace

DirectoryAccess::DirectoryAccess(client::DirectoryClient& client, platform::MessagePort& messages,
                                 platform::RunFeedback& feedback)
    : client_(client), messages_(messages), feedback_(feedback) {}

Result DirectoryAccess::DSStartClient() {
    if (connection_ != kNotStarted) return 0;

    Result result = client_.InitClient(0, 0);
    if (result == 0) {
        uint32_t iterator = 0;
        client::ConnRef ref = 0;
        result = client_.ScanConnections(iterator, ref);
        if (result == 0) {
            client::ConnRef primary = 0;
            if (client_.GetPrimaryConnection(primary) == 0) ref = primary;
            client::ConnHandle handle = 0;
            result = client_.OpenConnection(ref, 1, 0, handle);
            // Only an opened connection counts as started, so a failed start
            // can be tried again.
            if (result == 0) connection_ = handle;
        }
    }

    Result code = result & 0xFFFF;
    // A failure whose low 16 bits happen to be zero must not pass for success.
    if (result != 0 && code == 0) code = client::Err::InitFailed16;
    // A start the person cancelled needs no word about it.
    if (code != 0 && !client_.StartupCancelled()) {
        // The fixed headline first, then the client's own account of the cause
        // (for an image: the file, the place and the fault).
        DSShowError(code,
                    code == client::Err::InitFailed16 ? kLabelNotInitialized : kLabelNoConnection);
        const std::string diagnostic = client_.StartupDiagnostic();
        if (!diagnostic.empty()) messages_.ErrorBox(diagnostic);
    } else if (code == 0) {
        // Started, with something the person should know (a tree that will
        // show empty): said once, and the other trees work as they are.
        if (const std::string notice = client_.StartupDiagnostic(); !notice.empty())
            messages_.InfoBox(notice);
    }
    return code;
}

void DirectoryAccess::DSScanTrees(platform::StringList& trees) {
    // The trees are looked at anew (start-up, a rescan, a command's run):
    // what the client kept of them may no longer be so.
    client_.ForgetKept();
    // The names kept so far, folded: a directory of many trees would otherwise
    // make each name search the whole list.
    std::unordered_set<std::string> kept;
    for (const auto& item : trees)
        kept.insert(platform::AsciiLowerCopy(item.text));
    uint32_t iterator = 0;
    for (;;) {
        client::ConnRef ref = 0;
        if (client_.ScanConnections(iterator, ref) != 0) break;
        feedback_.ProcessPendingEvents();
        std::string name;
        if (client_.GetConnectionInfo(ref, kConnectionInfoTreeName, kTreeNameRoom, name) != 0) {
            name.clear();
        }
        // 32 characters, not bytes: a name of letters beyond ASCII is kept
        // whole as the image and the client count it.
        name.resize(platform::Utf8PrefixBytes(name, kTreeNameLength));
        while (!name.empty() && name.back() == '_')
            name.pop_back();
        if (!name.empty() && kept.insert(platform::AsciiLowerCopy(name)).second) {
            trees.Add(name, ref);
        }
    }
}

Result DirectoryAccess::DSSetContext(ContextHandle context, std::string_view tree,
                                     std::string_view container) {
    if (!tree.empty()) {
        const std::string current = DSContextName(context, ContextKey::TreeName);
        if (platform::StringList::CompareText(current, tree) != 0) {
            const Result result = client_.SetContextText(context, ContextKey::TreeName, tree);
            if (result != 0) return result;
        }
    }
    const std::string target = container.empty() ? DSUserContext(context) : std::string(container);
    return client_.SetContextText(context, ContextKey::NameContext, DSStripDot(target));
}

std::string DirectoryAccess::DSUserContext(ContextHandle context) {
    std::string identity;
    if (client_.WhoAmI(context, identity) != 0) identity.clear();
    std::string parent;
    // Without an identity there is nobody to look up: reading the entry
    // information of an empty name would report the context's own container.
    // The identity is a full name; the leading dot keeps it from being taken
    // relative to the context's name context.
    if (!identity.empty()) DSEntryParent(context, DSFullName(identity), parent);
    return parent.empty() ? std::string("[Root]") : parent;
}

Result DirectoryAccess::DSSetContextFlag(ContextHandle context, std::string_view operation,
                                         uint32_t bits) {
    uint32_t flags = 0;
    const Result result = client_.GetContextNumber(context, ContextKey::Flags, flags);
    if (result != 0) return result;
    if (operation == "+") {
        flags |= bits;
    } else if (operation == "-") {
        flags &= ~bits;
    }
    return client_.SetContextNumber(context, ContextKey::Flags, flags);
}

Result DirectoryAccess::DSSetTypeless(ContextHandle context, bool on) {
    return DSSetContextFlag(context, on ? "+" : "-", client::ContextFlag::Typeless);
}

std::string DirectoryAccess::DSErrorText(Result code) const {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%.4X", static_cast<unsigned>(static_cast<uint32_t>(code)));
    const client::ErrorTextTable* table = client_.ErrorTexts();
    if (table == nullptr) return hex;
    std::string message(kUnknownError);
    if (auto text = table->Lookup(code)) message = *text;
    if (std::string reason = client_.FailureReason(code); !reason.empty()) message = reason;
    if (message == kUnknownError) message = std::strerror(code);
    return std::string(hex) + " (" + message + ")";
}

void DirectoryAccess::DSShowError(Result code, std::string_view label) {
    if (code == 0) return;
    messages_.ErrorBox(std::string(label) + " returned error " + DSErrorText(code));
}

Result DirectoryAccess::OpenTreeInfo(TTreeInfo& tree, std::string_view treeName, bool typeless,
                                     std::string_view container) {
    if (tree.HoldsContexts()) ClearTreeInfo(tree);
    tree.treeName = std::string(treeName);

    Result first = 0;
    const auto note = [&first](Result result) {
        if (first == 0 && result != 0) first = result;
    };

    ContextHandle objectContext{};
    Result result = client_.CreateContext(objectContext);
    note(result);
    if (result == 0) {
        tree.objectContext = objectContext;
        note(DSSetContext(objectContext, treeName, container));
        note(DSSetTypeless(objectContext, typeless));
    }

    ContextHandle rootContext{};
    result = client_.CreateContext(rootContext);
    note(result);
    if (result == 0) {
        tree.rootContext = rootContext;
        note(DSSetContext(rootContext, treeName, "[Root]"));
        note(DSSetTypeless(rootContext, typeless));
    }

    tree.nodes.Clear();
    tree.classes.Clear();
    tree.auxAttributes.Clear();
    return first;
}

void DirectoryAccess::ClearTreeInfo(TTreeInfo& tree) {
    tree.nodes.Clear();
    tree.classes.Clear();
    tree.auxAttributes.Clear();
    if (tree.objectContext != ContextHandle{}) client_.FreeContext(tree.objectContext);
    if (tree.rootContext != ContextHandle{}) client_.FreeContext(tree.rootContext);
    tree = TTreeInfo{};
}

Result DirectoryAccess::SetTreeTypeless(TTreeInfo& tree, bool on) {
    Result first = 0;
    for (ContextHandle context : {tree.objectContext, tree.rootContext}) {
        if (context == ContextHandle{}) continue;
        const Result result = DSSetTypeless(context, on);
        if (first == 0) first = result;
    }
    return first;
}

std::string DirectoryAccess::DSContextName(ContextHandle context, ContextKey key) {
    std::string value;
    if (client_.GetContextText(context, key, value) != 0) return {};
    const size_t prefix = value.find("CN=");
    if (prefix != std::string::npos) value.erase(prefix, 3);
    return value;
}

std::string DirectoryAccess::DSResolveName(ContextHandle context, std::string_view name) {
    return DSComposeName(DSContextName(context, ContextKey::NameContext), name);
}

Result DirectoryAccess::DSEntryItem(ContextHandle context, std::string_view name, uint32_t selector,
                                    std::string& text) {
    text.clear();
    ScopedContextCopy copy(client_);
    Result result = copy.Duplicate(context);
    if (result != 0) return result;
    result = DSSetContextFlag(copy.Get(), "+",
                              client::ContextFlag::Canonical | client::ContextFlag::Typeless);
    if (result != 0) return result;

    std::string full;
    if (client_.CanonicalizeName(copy.Get(), name, full) != 0) full = std::string(name);
    full = DSFullName(full);

    uint32_t items = 0;
    result = client_.GetContextNumber(copy.Get(), ContextKey::EntryInfoItems, items);
    if (result != 0) return result;
    result = client_.SetContextNumber(copy.Get(), ContextKey::EntryInfoItems, items | selector);
    if (result != 0) return result;

    client::EntryInfo info;
    result = client_.ReadEntryInfo(copy.Get(), full, kEntryInfoBufferSize, info);
    if (result != 0) return result;
    client::EntryItem item;
    result = client_.TakeEntryItem(info, kEntryItemRoom, selector, item);
    if (result != 0) return result;
    text = std::visit(
        [](const auto& value) -> std::string {
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
                return value;
            } else {
                return std::to_string(value);
            }
        },
        item);
    return 0;
}

Result DirectoryAccess::DSEntryParent(ContextHandle context, std::string_view name,
                                      std::string& parent) {
    const Result result = DSEntryItem(context, name, client::EntryItemBit::Parent, parent);
    if (result == 0) parent = DSFullName(parent);
    return result;
}

}  // namespace vellrun::directory
