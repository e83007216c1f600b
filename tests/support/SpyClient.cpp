#include "support/SpyClient.h"

namespace vellrun::testing {

using namespace client;

int SpyClient::Count(const std::string& method) const {
    auto it = counts.find(method);
    return it == counts.end() ? 0 : it->second;
}

Result SpyClient::InitClient(uint32_t a, uint32_t b) {
    Note("InitClient");
    return onInitClient ? onInitClient() : inner_.InitClient(a, b);
}
Result SpyClient::ScanConnections(uint32_t& iterator, ConnRef& ref) {
    Note("ScanConnections");
    return onScanConnections ? onScanConnections(iterator, ref)
                             : inner_.ScanConnections(iterator, ref);
}
Result SpyClient::GetPrimaryConnection(ConnRef& ref) {
    Note("GetPrimaryConnection");
    return onGetPrimaryConnection ? onGetPrimaryConnection(ref) : inner_.GetPrimaryConnection(ref);
}
Result SpyClient::OpenConnection(ConnRef ref, uint32_t access, uint32_t mode, ConnHandle& handle) {
    Note("OpenConnection");
    return inner_.OpenConnection(ref, access, mode, handle);
}
Result SpyClient::GetConnectionInfo(ConnRef ref, uint32_t item, size_t room, std::string& text) {
    Note("GetConnectionInfo");
    return onGetConnectionInfo ? onGetConnectionInfo(ref, item, room, text)
                               : inner_.GetConnectionInfo(ref, item, room, text);
}
Result SpyClient::CreateContext(ContextHandle& context) {
    Note("CreateContext");
    const Result r = inner_.CreateContext(context);
    if (r == 0) ++liveContexts;
    return r;
}
Result SpyClient::DuplicateContext(ContextHandle source, ContextHandle& copy) {
    Note("DuplicateContext");
    const Result r = inner_.DuplicateContext(source, copy);
    if (r == 0) ++liveContexts;
    return r;
}
Result SpyClient::FreeContext(ContextHandle context) {
    Note("FreeContext");
    const Result r = inner_.FreeContext(context);
    if (r == 0) --liveContexts;
    return r;
}
Result SpyClient::GetContextNumber(ContextHandle context, ContextKey key, uint32_t& value) {
    Note("GetContextNumber");
    return inner_.GetContextNumber(context, key, value);
}
Result SpyClient::GetContextText(ContextHandle context, ContextKey key, std::string& value) {
    Note("GetContextText");
    return inner_.GetContextText(context, key, value);
}
Result SpyClient::SetContextNumber(ContextHandle context, ContextKey key, uint32_t value) {
    Note("SetContextNumber");
    return inner_.SetContextNumber(context, key, value);
}
Result SpyClient::SetContextText(ContextHandle context, ContextKey key, std::string_view value) {
    Note(key == ContextKey::TreeName ? "SetContextText(TreeName)" : "SetContextText");
    return inner_.SetContextText(context, key, value);
}
Result SpyClient::AllocBuffer(size_t size, BufferHandle& buffer) {
    Note("AllocBuffer");
    const Result r = inner_.AllocBuffer(size, buffer);
    if (r == 0) ++liveBuffers;
    return r;
}
Result SpyClient::FreeBuffer(BufferHandle buffer) {
    Note("FreeBuffer");
    const Result r = inner_.FreeBuffer(buffer);
    if (r == 0) --liveBuffers;
    return r;
}
Result SpyClient::PrepareRequest(ContextHandle context, Operation operation, BufferHandle buffer) {
    Note("PrepareRequest");
    return inner_.PrepareRequest(context, operation, buffer);
}
Result SpyClient::PutName(ContextHandle context, BufferHandle request, std::string_view name) {
    Note("PutName");
    return inner_.PutName(context, request, name);
}
Result SpyClient::PutChange(ContextHandle context, BufferHandle request, ChangeType change,
                            std::string_view attribute) {
    Note("PutChange");
    updates.push_back("PutChange " + std::to_string(static_cast<uint32_t>(change)) + " " +
                      std::string(attribute));
    return inner_.PutChange(context, request, change, attribute);
}
Result SpyClient::PutChangeAndValue(ContextHandle context, BufferHandle request, ChangeType change,
                                    std::string_view attribute, SyntaxId syntax,
                                    const AttrValue& value) {
    Note("PutChangeAndValue");
    updates.push_back("PutChangeAndValue " + std::to_string(static_cast<uint32_t>(change)) + " " +
                      std::string(attribute));
    return inner_.PutChangeAndValue(context, request, change, attribute, syntax, value);
}
Result SpyClient::ListSubordinates(ContextHandle context, std::string_view container,
                                   int32_t& continuation, BufferHandle reply) {
    Note("ListSubordinates");
    return onListSubordinates ? onListSubordinates(context, container, continuation, reply)
                              : inner_.ListSubordinates(context, container, continuation, reply);
}
Result SpyClient::GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    Note("GetEntryCount");
    return inner_.GetEntryCount(context, reply, count);
}
Result SpyClient::GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                               uint32_t& attributeCount, EntryRecord& record) {
    Note("GetNextEntry");
    return inner_.GetNextEntry(context, reply, name, attributeCount, record);
}
Result SpyClient::Read(ContextHandle context, std::string_view object, ReadKind kind,
                       bool allAttributes, BufferHandle request, int32_t& continuation,
                       BufferHandle reply) {
    Note("Read");
    return onRead ? onRead(context, object, kind, allAttributes, request, continuation, reply)
                  : inner_.Read(context, object, kind, allAttributes, request, continuation, reply);
}
Result SpyClient::GetAttrCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    Note("GetAttrCount");
    return inner_.GetAttrCount(context, reply, count);
}
Result SpyClient::GetAttrName(ContextHandle context, BufferHandle reply, std::string& name,
                              uint32_t& valueCount, SyntaxId& syntax) {
    Note("GetAttrName");
    return inner_.GetAttrName(context, reply, name, valueCount, syntax);
}
Result SpyClient::ComputeAttrValSize(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                                     size_t& size) {
    Note("ComputeAttrValSize");
    return inner_.ComputeAttrValSize(context, reply, syntax, size);
}
Result SpyClient::GetAttrVal(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                             AttrValue& value) {
    Note("GetAttrVal");
    return inner_.GetAttrVal(context, reply, syntax, value);
}
Result SpyClient::GetAttrValFlags(ContextHandle context, BufferHandle reply, uint32_t& flags) {
    Note("GetAttrValFlags");
    return onGetAttrValFlags ? onGetAttrValFlags(context, reply, flags)
                             : inner_.GetAttrValFlags(context, reply, flags);
}
Result SpyClient::GetAttrValModTime(ContextHandle context, BufferHandle reply, TimeStamp& stamp) {
    Note("GetAttrValModTime");
    return inner_.GetAttrValModTime(context, reply, stamp);
}
Result SpyClient::ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                       BufferHandle request, int32_t& continuation,
                                       BufferHandle reply) {
    Note("ReadClassDefinitions");
    if (onReadClassDefinitions) {
        return onReadClassDefinitions(context, kind, allClasses, request, continuation, reply);
    }
    return inner_.ReadClassDefinitions(context, kind, allClasses, request, continuation, reply);
}
Result SpyClient::GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    Note("GetClassDefCount");
    return inner_.GetClassDefCount(context, reply, count);
}
Result SpyClient::GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                              ClassDefRecord& record) {
    Note("GetClassDef");
    return inner_.GetClassDef(context, reply, name, record);
}
Result SpyClient::GetClassItemCount(ContextHandle context, BufferHandle reply, uint32_t& count) {
    Note("GetClassItemCount");
    return inner_.GetClassItemCount(context, reply, count);
}
Result SpyClient::GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) {
    Note("GetClassItem");
    return inner_.GetClassItem(context, reply, name);
}
Result SpyClient::ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind, bool allAttributes,
                                      BufferHandle request, int32_t& continuation,
                                      BufferHandle reply) {
    Note("ReadAttrDefinitions");
    return inner_.ReadAttrDefinitions(context, kind, allAttributes, request, continuation, reply);
}
Result SpyClient::GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                             AttrDefRecord& record) {
    Note("GetAttrDef");
    return inner_.GetAttrDef(context, reply, name, record);
}
Result SpyClient::GetSyntaxId(ContextHandle context, std::string_view attribute, SyntaxId& syntax) {
    Note("GetSyntaxId");
    return inner_.GetSyntaxId(context, attribute, syntax);
}
Result SpyClient::ReadEntryInfo(ContextHandle context, std::string_view object, size_t room,
                                EntryInfo& info) {
    Note("ReadEntryInfo");
    return onReadEntryInfo ? onReadEntryInfo(context, object, room, info)
                           : inner_.ReadEntryInfo(context, object, room, info);
}
Result SpyClient::TakeEntryItem(const EntryInfo& info, size_t room, uint32_t selector,
                                EntryItem& item) {
    Note("TakeEntryItem");
    return inner_.TakeEntryItem(info, room, selector, item);
}
Result SpyClient::CanonicalizeName(ContextHandle context, std::string_view name,
                                   std::string& full) {
    Note("CanonicalizeName");
    return inner_.CanonicalizeName(context, name, full);
}
Result SpyClient::WhoAmI(ContextHandle context, std::string& identity) {
    Note("WhoAmI");
    return onWhoAmI ? onWhoAmI(context, identity) : inner_.WhoAmI(context, identity);
}
Result SpyClient::ReadObjectInfo(ContextHandle context, std::string_view object,
                                 std::string& fullName, EntryRecord& info) {
    Note("ReadObjectInfo");
    return inner_.ReadObjectInfo(context, object, fullName, info);
}
Result SpyClient::OpenStream(ContextHandle context, std::string_view object,
                             std::string_view attribute, uint32_t access, StreamHandle& stream) {
    Note("OpenStream");
    return inner_.OpenStream(context, object, attribute, access, stream);
}
Result SpyClient::ReadStream(StreamHandle stream, std::span<uint8_t> into, size_t& bytesRead) {
    Note("ReadStream");
    return onReadStream ? onReadStream(stream, into, bytesRead)
                        : inner_.ReadStream(stream, into, bytesRead);
}
Result SpyClient::CloseStream(StreamHandle stream) {
    Note("CloseStream");
    return inner_.CloseStream(stream);
}
Result SpyClient::RemoveObject(ContextHandle context, std::string_view object) {
    Note("RemoveObject");
    const Result r =
        onRemoveObject ? onRemoveObject(context, object) : inner_.RemoveObject(context, object);
    updates.push_back("RemoveObject " + std::string(object) + " -> " + std::to_string(r));
    return r;
}
Result SpyClient::ModifyObject(ContextHandle context, std::string_view object,
                               int32_t& continuation, bool moreRequests, BufferHandle request) {
    Note("ModifyObject");
    const Result r =
        onModifyObject ? onModifyObject(context, object, continuation, moreRequests, request)
                       : inner_.ModifyObject(context, object, continuation, moreRequests, request);
    updates.push_back("ModifyObject " + std::string(object) + " -> " + std::to_string(r));
    return r;
}
const ErrorTextTable* SpyClient::ErrorTexts() const {
    return inner_.ErrorTexts();
}
bool SpyClient::StartupCancelled() const {
    return inner_.StartupCancelled();
}
void SpyClient::ForgetKept() {
    Note("ForgetKept");
    inner_.ForgetKept();
}
std::string SpyClient::StartupDiagnostic() const {
    return inner_.StartupDiagnostic();
}

}  // namespace vellrun::testing
