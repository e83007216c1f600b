#pragma once

// The directory client: every operation the program asks of the directory,
// with the directory's result codes, continuations and reply order. The
// program talks only to this interface; backends (the embedded directory
// served from an image file, later a live directory) implement it.
//
// Call order is that of a real client: prepare a request, put its items, make
// the call, then count and take the reply's entries strictly in reply order.
// A value's flags and time stamp are asked for before the value is taken.
// Continuations start at kNoContinuation (-1), and the client sets them back
// to -1 when nothing is left. A reply holds only what fits into its buffer;
// the rest comes on the next call through the continuation.
//
// A client is used from one thread. It never throws for a directory failure:
// every failure is a result code.

#include "client/AttrValue.h"
#include "client/ClientTypes.h"
#include "client/ResultCodes.h"

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

namespace vellrun::client {

// An object's entry information as one read returns it: the items that the
// context's selector word (ContextKey::EntryInfoItems) asked for, together with
// the client's default items.
struct EntryInfo {
    std::map<uint32_t, EntryItem> items;  // by EntryItemBit
};

class DirectoryClient {
public:
    virtual ~DirectoryClient() = default;

    // --- Connections --------------------------------------------------------
    virtual Result InitClient(uint32_t reserved1, uint32_t reserved2) = 0;
    // One connection reference per call, starting from iterator 0. Returns 0 and
    // advances the iterator while connections remain; Err::NoMoreConnections at the end.
    virtual Result ScanConnections(uint32_t& iterator, ConnRef& ref) = 0;
    virtual Result GetPrimaryConnection(ConnRef& ref) = 0;
    virtual Result OpenConnection(ConnRef ref, uint32_t access, uint32_t mode,
                                  ConnHandle& handle) = 0;
    // Item 4 is the tree name, padded with "_" to 32 characters; at most room - 1
    // characters are returned.
    virtual Result GetConnectionInfo(ConnRef ref, uint32_t item, size_t room,
                                     std::string& text) = 0;

    // --- Contexts -----------------------------------------------------------
    virtual Result CreateContext(ContextHandle& context) = 0;
    // The copy keeps every setting of the source.
    virtual Result DuplicateContext(ContextHandle source, ContextHandle& copy) = 0;
    virtual Result FreeContext(ContextHandle context) = 0;
    virtual Result GetContextNumber(ContextHandle context, ContextKey key, uint32_t& value) = 0;
    virtual Result GetContextText(ContextHandle context, ContextKey key, std::string& value) = 0;
    virtual Result SetContextNumber(ContextHandle context, ContextKey key, uint32_t value) = 0;
    virtual Result SetContextText(ContextHandle context, ContextKey key,
                                  std::string_view value) = 0;

    // --- Request and reply buffers ------------------------------------------
    virtual Result AllocBuffer(size_t size, BufferHandle& buffer) = 0;
    virtual Result FreeBuffer(BufferHandle buffer) = 0;
    virtual Result PrepareRequest(ContextHandle context, Operation operation,
                                  BufferHandle buffer) = 0;
    virtual Result PutName(ContextHandle context, BufferHandle request, std::string_view name) = 0;
    virtual Result PutChange(ContextHandle context, BufferHandle request, ChangeType change,
                             std::string_view attribute) = 0;
    virtual Result PutChangeAndValue(ContextHandle context, BufferHandle request, ChangeType change,
                                     std::string_view attribute, SyntaxId syntax,
                                     const AttrValue& value) = 0;

    // --- Listing subordinates -----------------------------------------------
    virtual Result ListSubordinates(ContextHandle context, std::string_view container,
                                    int32_t& continuation, BufferHandle reply) = 0;
    virtual Result GetEntryCount(ContextHandle context, BufferHandle reply, uint32_t& count) = 0;
    virtual Result GetNextEntry(ContextHandle context, BufferHandle reply, std::string& name,
                                uint32_t& attributeCount, EntryRecord& record) = 0;

    // --- Reading attributes -------------------------------------------------
    // request may be 0 when allAttributes is true.
    virtual Result Read(ContextHandle context, std::string_view object, ReadKind kind,
                        bool allAttributes, BufferHandle request, int32_t& continuation,
                        BufferHandle reply) = 0;
    // Also the count of definitions in a reply of ReadAttrDefinitions.
    virtual Result GetAttrCount(ContextHandle context, BufferHandle reply, uint32_t& count) = 0;
    virtual Result GetAttrName(ContextHandle context, BufferHandle reply, std::string& name,
                               uint32_t& valueCount, SyntaxId& syntax) = 0;
    virtual Result ComputeAttrValSize(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                                      size_t& size) = 0;
    virtual Result GetAttrVal(ContextHandle context, BufferHandle reply, SyntaxId syntax,
                              AttrValue& value) = 0;
    // Of the value about to be taken; only in replies of ReadKind::ValuesWithInfo.
    virtual Result GetAttrValFlags(ContextHandle context, BufferHandle reply, uint32_t& flags) = 0;
    virtual Result GetAttrValModTime(ContextHandle context, BufferHandle reply,
                                     TimeStamp& stamp) = 0;

    // --- Schema -------------------------------------------------------------
    virtual Result ReadClassDefinitions(ContextHandle context, ClassInfoKind kind, bool allClasses,
                                        BufferHandle request, int32_t& continuation,
                                        BufferHandle reply) = 0;
    virtual Result GetClassDefCount(ContextHandle context, BufferHandle reply, uint32_t& count) = 0;
    virtual Result GetClassDef(ContextHandle context, BufferHandle reply, std::string& name,
                               ClassDefRecord& record) = 0;
    // Each of the five lists of a class (super classes, containment classes,
    // naming, mandatory and optional attributes) as a count and its names.
    virtual Result GetClassItemCount(ContextHandle context, BufferHandle reply,
                                     uint32_t& count) = 0;
    virtual Result GetClassItem(ContextHandle context, BufferHandle reply, std::string& name) = 0;
    virtual Result ReadAttrDefinitions(ContextHandle context, AttrInfoKind kind, bool allAttributes,
                                       BufferHandle request, int32_t& continuation,
                                       BufferHandle reply) = 0;
    // The record is filled only for AttrInfoKind::Definitions.
    virtual Result GetAttrDef(ContextHandle context, BufferHandle reply, std::string& name,
                              AttrDefRecord& record) = 0;
    virtual Result GetSyntaxId(ContextHandle context, std::string_view attribute,
                               SyntaxId& syntax) = 0;

    // --- Names and entry information ----------------------------------------
    // room stands for the size of the caller's information buffer.
    virtual Result ReadEntryInfo(ContextHandle context, std::string_view object, size_t room,
                                 EntryInfo& info) = 0;
    virtual Result TakeEntryItem(const EntryInfo& info, size_t room, uint32_t selector,
                                 EntryItem& item) = 0;
    // The full form of a name seen from the context, without a leading dot.
    virtual Result CanonicalizeName(ContextHandle context, std::string_view name,
                                    std::string& full) = 0;
    // The full name of the logged-in user of the context's tree.
    virtual Result WhoAmI(ContextHandle context, std::string& identity) = 0;
    virtual Result ReadObjectInfo(ContextHandle context, std::string_view object,
                                  std::string& fullName, EntryRecord& info) = 0;

    // --- Streams ------------------------------------------------------------
    // access 1 opens for reading.
    virtual Result OpenStream(ContextHandle context, std::string_view object,
                              std::string_view attribute, uint32_t access,
                              StreamHandle& stream) = 0;
    virtual Result ReadStream(StreamHandle stream, std::span<uint8_t> into, size_t& bytesRead) = 0;
    virtual Result CloseStream(StreamHandle stream) = 0;

    // --- Updates ------------------------------------------------------------
    virtual Result RemoveObject(ContextHandle context, std::string_view object) = 0;
    virtual Result ModifyObject(ContextHandle context, std::string_view object,
                                int32_t& continuation, bool moreRequests, BufferHandle request) = 0;

    // --- Error texts and start-up diagnostics -------------------------------
    // The code-to-text table, or null when this client comes without one.
    virtual const ErrorTextTable* ErrorTexts() const = 0;
    // Why InitClient failed, in words for a person (the file, the place, the
    // fault); after a successful start, what they should know of it all the
    // same (a tree that will show empty, and why), else empty.
    virtual std::string StartupDiagnostic() const = 0;
    // Whether InitClient failed because the person cancelled the start (a
    // long load): nothing went wrong that they need to be told.
    virtual bool StartupCancelled() const { return false; }
    // Why the last failure ended with this code, beyond the code's text: the
    // server's own words, a base the server does not hold, a search it
    // refused outright (which ends with the code of a limit). Empty when the
    // code's text is all there is, or the last failure had another code.
    virtual std::string FailureReason(Result) const { return {}; }

    // --- What the client keeps between calls ----------------------------------
    // Forgets what it learnt of the directory to answer later calls sooner
    // (names resolved, entries fetched ahead): the trees are looked at anew,
    // and another program may have renamed or removed entries since. Open
    // contexts, buffers and listings stay usable.
    virtual void ForgetKept() {}
};

}  // namespace vellrun::client
