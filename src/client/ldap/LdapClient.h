#pragma once

// The live directory: a DirectoryClient that talks LDAP to servers through
// libldap. Listings are one-level searches paged with the paged-results
// control, reads are base searches parsed into the same value records the
// embedded directory hands out, schema reads come from the subschema entry,
// and updates are LDAP modify and delete operations. Replies fill the
// caller's buffer and page through continuations exactly like the embedded
// directory's, so nothing above the client can tell the two apart.
//
// Over LDAP values carry no flags or time stamps of their own: a read with
// value information reports PRESENT (0x04), NAMING (0x01) for a value in the
// object's relative name, BASECLASS (0x02) for the object's structural class
// among its classes, and a zero time stamp.
//
// Owned by whoever made it (the front end's start-up, or a test); used from
// one thread. It never throws for a directory failure.

#include "client/DirectoryClient.h"
#include "client/ldap/LdapSession.h"

#include <memory>
#include <string>
#include <vector>

namespace vellrun::client::ldap {

// How often the client went to its servers; the tests and benchmarks look at it.
struct LdapClientStatistics {
    uint64_t listPages = 0;
    uint64_t readPages = 0;
    uint64_t readsFromListing = 0;  // reads answered from what a listing fetched
    uint64_t serverRequests = 0;
    // Now: the attributes the next listing fetches beside what its records
    // need, and the memory the entries kept for the reads hold.
    uint64_t fetchedAhead = 0;
    uint64_t keptBytes = 0;
};

class LdapClient final : public DirectoryClient {
public:
    explicit LdapClient(std::vector<LdapConnectionConfig> connections, int primary = 0);
    ~LdapClient() override;

    LdapClientStatistics Statistics() const;

    Result InitClient(uint32_t reserved1, uint32_t reserved2) override;
    Result ScanConnections(uint32_t& iterator, ConnRef& ref) override;
    Result GetPrimaryConnection(ConnRef& ref) override;
    Result OpenConnection(ConnRef ref, uint32_t access, uint32_t mode, ConnHandle& handle) override;
    Result GetConnectionInfo(ConnRef ref, uint32_t item, size_t room, std::string& text) override;

    Result CreateContext(ContextHandle& context) override;
    Result DuplicateContext(ContextHandle source, ContextHandle& copy) override;
    Result FreeContext(ContextHandle context) override;
    Result GetContextNumber(ContextHandle context, ContextKey key, uint32_t& value) override;
    Result GetContextText(ContextHandle context, ContextKey key, std::string& value) override;
    Result SetContextNumber(ContextHandle context, ContextKey key, uint32_t value) override;
    Result SetContextText(ContextHandle context, ContextKey key, std::string_view value) override;

    Result AllocBuffer(size_t size, BufferHandle& buffer) override;
    Result FreeBuffer(BufferHandle buffer) override;
    Result PrepareRequest(ContextHandle context, Operation operation, BufferHandle buffer) override;
    Result PutName(ContextHandle context, BufferHandle request, std::string_view name) override;
    Result PutChange(ContextHandle context, BufferHandle request, ChangeType change,
                     std::string_view attribute) override;
    Result PutChangeAndValue(ContextHandle context, BufferHandle request, ChangeType change,
                             std::string_view attribute, SyntaxId syntax,
                             const AttrValue& value) override;

    Result ListSubordinates(ContextHandle context, std::string_view container,
                            int32_t& continuation, BufferHandle reply) override;
    Result GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) override;
    Result GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                        uint32_t& attributeCount, EntryRecord& record) override;

    Result Read(ContextHandle context, std::string_view object, ReadKind kind, bool allAttributes,
                BufferHandle request, int32_t& continuation, BufferHandle reply) override;
    Result GetAttrCount(ContextHandle context, BufferHandle reply, uint32_t& count) override;
    Result GetAttrName(ContextHandle context, BufferHandle reply, std::string& name,
                       uint32_t& valueCount, SyntaxId& syntax) override;
    Result ComputeAttrValSize(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                              size_t& size) override;
    Result GetAttrVal(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                      AttrValue& value) override;
    Result GetAttrValFlags(ContextHandle context, BufferHandle reply, uint32_t& flags) override;
    Result GetAttrValModTime(ContextHandle context, BufferHandle reply, TimeStamp& stamp) override;

    Result ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                BufferHandle request, int32_t& continuation,
                                BufferHandle reply) override;
    Result GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) override;
    Result GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                       ClassDefRecord& record) override;
    Result GetClassItemCount(ContextHandle context, BufferHandle reply, uint32_t& count) override;
    Result GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) override;
    Result ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind, bool allAttributes,
                               BufferHandle request, int32_t& continuation,
                               BufferHandle reply) override;
    Result GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                      AttrDefRecord& record) override;
    Result GetSyntaxId(ContextHandle context, std::string_view attribute,
                       SyntaxId& syntax) override;

    Result ReadEntryInfo(ContextHandle context, std::string_view object, size_t room,
                         EntryInfo& info) override;
    Result TakeEntryItem(const EntryInfo& info, size_t room, uint32_t selector,
                         EntryItem& item) override;
    Result CanonicalizeName(ContextHandle context, std::string_view name,
                            std::string& full) override;
    Result WhoAmI(ContextHandle context, std::string& identity) override;
    Result ReadObjectInfo(ContextHandle context, std::string_view object, std::string& fullName,
                          EntryRecord& info) override;

    Result OpenStream(ContextHandle context, std::string_view object, std::string_view attribute,
                      uint32_t access, StreamHandle& stream) override;
    Result ReadStream(StreamHandle stream, std::span<uint8_t> into, size_t& bytesRead) override;
    Result CloseStream(StreamHandle stream) override;

    Result RemoveObject(ContextHandle context, std::string_view object) override;
    Result ModifyObject(ContextHandle context, std::string_view object, int32_t& continuation,
                        bool moreRequests, BufferHandle request) override;

    const ErrorTextTable* ErrorTexts() const override;
    std::string StartupDiagnostic() const override;
    bool StartupCancelled() const override;
    std::string FailureReason(Result code) const override;
    void ForgetKept() override;

    struct State;  // sessions, contexts, buffers, iterations; defined in LdapClientState.h

private:
    std::unique_ptr<State> state_;
};

}  // namespace vellrun::client::ldap
