// The client requests by which the schema is read.

#include "directory/DirectoryAccess.h"
#include "directory/ScopedBuffer.h"

namespace vellrun::directory {

using client::ContextHandle;
using client::Result;

Result DirectoryAccess::DSReadAttrNames(ContextHandle context, platform::StringList& names) {
    ScopedBuffer reply(client_);
    Result result = reply.Allocate(client::kReadReplySize);
    if (result != 0) return result;
    int32_t continuation = client::kNoContinuation;
    int32_t previous = continuation;
    do {
        previous = continuation;
        result = client_.ReadAttrDefinitions(context, client::AttrInfoKind::Names, true,
                                             client::BufferHandle{}, continuation, reply.Get());
        if (result != 0) return result;
        uint32_t count = 0;
        if (client_.GetAttrCount(context, reply.Get(), count) != 0) count = 0;
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            client::AttrDefRecord record;
            // A definition that cannot be taken ends this page; the next page is still read.
            if (client_.GetAttrDef(context, reply.Get(), name, record) != 0) break;
            names.Add(std::move(name));
        }
    } while (continuation != client::kNoContinuation && continuation != previous);
    return 0;
}

Result DirectoryAccess::DSReadClassDefs(
    ContextHandle context, client::ClassInfoKind kind, std::optional<std::string_view> className,
    size_t replySize, const std::function<void(const ClassDefinitionInfo&)>& onClass) {
    const bool allClasses = !className.has_value();
    ScopedBuffer request(client_);
    Result result = request.Allocate(client::kRequestBufferSize);
    if (result == 0) {
        result =
            client_.PrepareRequest(context, client::Operation::ReadClassDefinitions, request.Get());
    }
    if (result == 0 && !allClasses) result = client_.PutName(context, request.Get(), *className);
    if (result != 0) return result;
    ScopedBuffer reply(client_);
    result = reply.Allocate(replySize);
    if (result != 0) return result;

    int32_t continuation = client::kNoContinuation;
    while (true) {
        const int32_t previous = continuation;
        result = client_.ReadClassDefinitions(context, kind, allClasses, request.Get(),
                                              continuation, reply.Get());
        if (result != 0) return result;
        result = ReadClassDefsPage(context, reply.Get(), kind, onClass);
        if (result != 0) return result;
        if (continuation == client::kNoContinuation || continuation == previous) return 0;
    }
}

Result DirectoryAccess::ReadClassDefsPage(
    ContextHandle context, client::BufferHandle reply, client::ClassInfoKind kind,
    const std::function<void(const ClassDefinitionInfo&)>& onClass) {
    uint32_t count = 0;
    Result result = client_.GetClassDefCount(context, reply, count);
    if (result != 0) return result;
    for (uint32_t c = 0; c < count; ++c) {
        ClassDefinitionInfo definition;
        result = client_.GetClassDef(context, reply, definition.name, definition.record);
        if (result != 0) return result;
        if (kind == client::ClassInfoKind::Definitions) {
            for (auto& list : definition.lists) {
                uint32_t items = 0;
                result = client_.GetClassItemCount(context, reply, items);
                if (result != 0) return result;
                for (uint32_t i = 0; i < items; ++i) {
                    std::string item;
                    result = client_.GetClassItem(context, reply, item);
                    if (result != 0) return result;
                    list.push_back(std::move(item));
                }
            }
        }
        if (onClass) onClass(definition);
    }
    return 0;
}

Result DirectoryAccess::DSReadAttrDef(ContextHandle context, std::string_view attribute,
                                      client::AttrDefRecord& record) {
    ScopedBuffer request(client_);
    Result result = request.Allocate(client::kRequestBufferSize);
    if (result == 0) {
        result =
            client_.PrepareRequest(context, client::Operation::ReadAttrDefinitions, request.Get());
    }
    if (result == 0) result = client_.PutName(context, request.Get(), attribute);
    if (result != 0) return result;
    ScopedBuffer reply(client_);
    result = reply.Allocate(client::kRequestBufferSize);
    if (result != 0) return result;

    int32_t continuation = client::kNoContinuation;
    result = client_.ReadAttrDefinitions(context, client::AttrInfoKind::Definitions, false,
                                         request.Get(), continuation, reply.Get());
    if (result != 0) return result;
    uint32_t count = 0;
    result = client_.GetAttrCount(context, reply.Get(), count);
    if (result != 0) return result;
    // An empty reply must not pass for a definition.
    if (count == 0) return client::Err::NoSuchAttribute;
    std::string name;
    return client_.GetAttrDef(context, reply.Get(), name, record);
}

}  // namespace vellrun::directory
