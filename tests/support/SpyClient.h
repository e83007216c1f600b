#pragma once

#include "client/DirectoryClient.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vellrun::testing {

// A DirectoryClient for tests that passes every call on to a real client,
// counts the calls by name, logs the update calls, and lets a test replace
// chosen calls (a hook that is set is called instead of the real client).
class SpyClient final : public client::DirectoryClient {
public:
    explicit SpyClient(client::DirectoryClient& inner) : inner_(inner) {}

    std::map<std::string, int> counts;  // by method name
    // "PutChange <type> <attribute>", "PutChangeAndValue <type> <attribute>",
    // "ModifyObject <object> -> <result>", "RemoveObject <object> -> <result>".
    std::vector<std::string> updates;
    // Contexts created or duplicated and not yet freed.
    int liveContexts = 0;
    int liveBuffers = 0;

    std::function<client::Result()> onInitClient;
    std::function<client::Result(uint32_t&, client::ConnRef&)> onScanConnections;
    std::function<client::Result(client::ConnRef&)> onGetPrimaryConnection;
    std::function<client::Result(client::ConnRef, uint32_t, size_t, std::string&)>
        onGetConnectionInfo;
    std::function<client::Result(client::ContextHandle, std::string&)> onWhoAmI;
    std::function<client::Result(client::ContextHandle, std::string_view, int32_t&,
                                 client::BufferHandle)>
        onListSubordinates;
    std::function<client::Result(client::ContextHandle, std::string_view, client::ReadKind, bool,
                                 client::BufferHandle, int32_t&, client::BufferHandle)>
        onRead;
    std::function<client::Result(client::ContextHandle, client::BufferHandle, uint32_t&)>
        onGetAttrValFlags;
    std::function<client::Result(client::ContextHandle, client::ClassInfoKind, bool,
                                 client::BufferHandle, int32_t&, client::BufferHandle)>
        onReadClassDefinitions;
    std::function<client::Result(client::StreamHandle, std::span<uint8_t>, size_t&)> onReadStream;
    std::function<client::Result(client::ContextHandle, std::string_view, int32_t&, bool,
                                 client::BufferHandle)>
        onModifyObject;
    std::function<client::Result(client::ContextHandle, std::string_view)> onRemoveObject;
    std::function<client::Result(client::ContextHandle, std::string_view, size_t,
                                 client::EntryInfo&)>
        onReadEntryInfo;

    int Count(const std::string& method) const;

    client::DirectoryClient& Inner() { return inner_; }

    client::Result InitClient(uint32_t reserved1, uint32_t reserved2) override;
    client::Result ScanConnections(uint32_t& iterator, client::ConnRef& ref) override;
    client::Result GetPrimaryConnection(client::ConnRef& ref) override;
    client::Result OpenConnection(client::ConnRef ref, uint32_t access, uint32_t mode,
                                  client::ConnHandle& handle) override;
    client::Result GetConnectionInfo(client::ConnRef ref, uint32_t item, size_t room,
                                     std::string& text) override;
    client::Result CreateContext(client::ContextHandle& context) override;
    client::Result DuplicateContext(client::ContextHandle source,
                                    client::ContextHandle& copy) override;
    client::Result FreeContext(client::ContextHandle context) override;
    client::Result GetContextNumber(client::ContextHandle context, client::ContextKey key,
                                    uint32_t& value) override;
    client::Result GetContextText(client::ContextHandle context, client::ContextKey key,
                                  std::string& value) override;
    client::Result SetContextNumber(client::ContextHandle context, client::ContextKey key,
                                    uint32_t value) override;
    client::Result SetContextText(client::ContextHandle context, client::ContextKey key,
                                  std::string_view value) override;
    client::Result AllocBuffer(size_t size, client::BufferHandle& buffer) override;
    client::Result FreeBuffer(client::BufferHandle buffer) override;
    client::Result PrepareRequest(client::ContextHandle context, client::Operation operation,
                                  client::BufferHandle buffer) override;
    client::Result PutName(client::ContextHandle context, client::BufferHandle request,
                           std::string_view name) override;
    client::Result PutChange(client::ContextHandle context, client::BufferHandle request,
                             client::ChangeType change, std::string_view attribute) override;
    client::Result PutChangeAndValue(client::ContextHandle context, client::BufferHandle request,
                                     client::ChangeType change, std::string_view attribute,
                                     client::SyntaxId syntax,
                                     const client::AttrValue& value) override;
    client::Result ListSubordinates(client::ContextHandle context, std::string_view container,
                                    int32_t& continuation, client::BufferHandle reply) override;
    client::Result GetEntryCount(client::ContextHandle context, client::BufferHandle reply,
                                 uint32_t& count) override;
    client::Result GetNextEntry(client::ContextHandle context, client::BufferHandle reply,
                                std::string& name, uint32_t& attributeCount,
                                client::EntryRecord& record) override;
    client::Result Read(client::ContextHandle context, std::string_view object,
                        client::ReadKind kind, bool allAttributes, client::BufferHandle request,
                        int32_t& continuation, client::BufferHandle reply) override;
    client::Result GetAttrCount(client::ContextHandle context, client::BufferHandle reply,
                                uint32_t& count) override;
    client::Result GetAttrName(client::ContextHandle context, client::BufferHandle reply,
                               std::string& name, uint32_t& valueCount,
                               client::SyntaxId& syntax) override;
    client::Result ComputeAttrValSize(client::ContextHandle context, client::BufferHandle reply,
                                      client::SyntaxId syntax, size_t& size) override;
    client::Result GetAttrVal(client::ContextHandle context, client::BufferHandle reply,
                              client::SyntaxId syntax, client::AttrValue& value) override;
    client::Result GetAttrValFlags(client::ContextHandle context, client::BufferHandle reply,
                                   uint32_t& flags) override;
    client::Result GetAttrValModTime(client::ContextHandle context, client::BufferHandle reply,
                                     client::TimeStamp& stamp) override;
    client::Result ReadClassDefinitions(client::ContextHandle context, client::ClassInfoKind kind,
                                        bool allClasses, client::BufferHandle request,
                                        int32_t& continuation, client::BufferHandle reply) override;
    client::Result GetClassDefCount(client::ContextHandle context, client::BufferHandle reply,
                                    uint32_t& count) override;
    client::Result GetClassDef(client::ContextHandle context, client::BufferHandle reply,
                               std::string& name, client::ClassDefRecord& record) override;
    client::Result GetClassItemCount(client::ContextHandle context, client::BufferHandle reply,
                                     uint32_t& count) override;
    client::Result GetClassItem(client::ContextHandle context, client::BufferHandle reply,
                                std::string& name) override;
    client::Result ReadAttrDefinitions(client::ContextHandle context, client::AttrInfoKind kind,
                                       bool allAttributes, client::BufferHandle request,
                                       int32_t& continuation, client::BufferHandle reply) override;
    client::Result GetAttrDef(client::ContextHandle context, client::BufferHandle reply,
                              std::string& name, client::AttrDefRecord& record) override;
    client::Result GetSyntaxId(client::ContextHandle context, std::string_view attribute,
                               client::SyntaxId& syntax) override;
    client::Result ReadEntryInfo(client::ContextHandle context, std::string_view object,
                                 size_t room, client::EntryInfo& info) override;
    client::Result TakeEntryItem(const client::EntryInfo& info, size_t room, uint32_t selector,
                                 client::EntryItem& item) override;
    client::Result CanonicalizeName(client::ContextHandle context, std::string_view name,
                                    std::string& full) override;
    client::Result WhoAmI(client::ContextHandle context, std::string& identity) override;
    client::Result ReadObjectInfo(client::ContextHandle context, std::string_view object,
                                  std::string& fullName, client::EntryRecord& info) override;
    client::Result OpenStream(client::ContextHandle context, std::string_view object,
                              std::string_view attribute, uint32_t access,
                              client::StreamHandle& stream) override;
    client::Result ReadStream(client::StreamHandle stream, std::span<uint8_t> into,
                              size_t& bytesRead) override;
    client::Result CloseStream(client::StreamHandle stream) override;
    client::Result RemoveObject(client::ContextHandle context, std::string_view object) override;
    client::Result ModifyObject(client::ContextHandle context, std::string_view object,
                                int32_t& continuation, bool moreRequests,
                                client::BufferHandle request) override;
    const client::ErrorTextTable* ErrorTexts() const override;
    std::string StartupDiagnostic() const override;
    bool StartupCancelled() const override;
    void ForgetKept() override;

private:
    void Note(const char* method) { ++counts[method]; }

    client::DirectoryClient& inner_;
};

}  // namespace vellrun::testing
