#include "client/BackendState.h"

namespace vellrun::client {
namespace {

constexpr size_t kTreeNameWidth = 32;

size_t EntryItemSize(const EntryItem& item) {
    if (const auto* text = std::get_if<std::string>(&item)) return text->size() + 1;
    return 4;
}

}  // namespace

Result ScanConnection(bool started, size_t count, uint32_t& iterator, ConnRef& ref) {
    if (!started) return Err::ClientNotStarted;
    if (iterator >= count) return Err::NoMoreConnections;
    ref = static_cast<ConnRef>(iterator + 1);
    ++iterator;
    return 0;
}

Result CheckConnection(bool started, size_t count, ConnRef ref) {
    if (!started) return Err::ClientNotStarted;
    return ref == 0 || ref > count ? Err::InvalidHandle : 0;
}

Result ConnectionTreeName(uint32_t item, std::string name, size_t room, std::string& text) {
    if (item != 4) return Err::InvalidRequest;
    if (name.size() < kTreeNameWidth) name.append(kTreeNameWidth - name.size(), '_');
    if (room == 0) return Err::InsufficientBuffer;
    if (name.size() > room - 1) name.resize(room - 1);
    text = std::move(name);
    return 0;
}

std::string_view WithoutTreePadding(std::string_view name) {
    while (!name.empty() && name.back() == '_')
        name.remove_suffix(1);
    return name;
}

Result GetContextNumberOf(const ContextSettings& context, ContextKey key, uint32_t& value) {
    switch (key) {
        case ContextKey::Flags: value = context.flags; return 0;
        case ContextKey::Confidence: value = context.confidence; return 0;
        case ContextKey::EntryInfoItems: value = context.entryItems; return 0;
        default: return Err::BadKey;
    }
}

Result SetContextNumberOf(ContextSettings& context, ContextKey key, uint32_t value) {
    switch (key) {
        case ContextKey::Flags: context.flags = value; return 0;
        case ContextKey::Confidence: context.confidence = value; return 0;
        case ContextKey::EntryInfoItems: context.entryItems = value; return 0;
        default: return Err::BadKey;
    }
}

void RequestData::ClearChanges() {
    changes.clear();
}

Result FitEntryInfo(EntryInfo& info, size_t room) {
    size_t size = 4;
    for (const auto& item : info.items)
        size += EntryItemSize(item.second);
    if (size <= room) return 0;
    info.items.clear();
    return Err::InsufficientBuffer;
}

Result TakeEntryItemOf(const EntryInfo& info, size_t room, uint32_t selector, EntryItem& item) {
    auto it = info.items.find(selector);
    if (it == info.items.end()) return Err::InvalidRequest;
    if (EntryItemSize(it->second) > room) return Err::InsufficientBuffer;
    item = it->second;
    return 0;
}

}  // namespace vellrun::client
