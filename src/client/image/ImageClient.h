#pragma once

// The embedded directory: a DirectoryClient that serves trees held in memory,
// loaded from directory image files. It behaves like a real directory as far
// as the program can tell: listings and reads come in pages that fill the
// caller's reply buffer, names resolve against contexts, aliases are followed,
// updates apply the directory's rules and result codes. Changes stay in memory.
//
// Owned by whoever made it (the front end's start-up, or a test); used from one thread.

#include "client/DirectoryClient.h"
#include "client/image/DirectoryImage.h"
#include "client/image/ImageLoader.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vellrun::client::image {

// One configured connection: a tree of an image file (every tree of the file
// when tree is empty), with the schema files of an image that needs them
// (an LDIF dump).
struct ImageConnection {
    std::filesystem::path imageFile;
    std::string tree;
    std::vector<std::filesystem::path> schemaFiles = {};
    LoadOptions load = {};  // how the file is loaded (limits)
};

// Reads the file of a connection into an image. The client's own reads
// directory image files; whoever makes the client may hand it one that reads
// other formats as well.
using ImageFileLoader = std::function<LoadResult(const ImageConnection&)>;

// How often the client went to its directory; the tests and benchmarks look at it.
struct ImageClientStatistics {
    uint64_t listPages = 0;
    uint64_t readPages = 0;
    uint64_t schemaPages = 0;
};

class ImageClient final : public DirectoryClient {
public:
    // Serves the trees the connections name; InitClient loads the files.
    // configName names the configuration in start-up messages (may be empty).
    // primary is the index of the primary connection (connections are counted
    // after "every tree" connections are expanded), or -1 for none.
    ImageClient(std::vector<ImageConnection> connections, std::string configName = {},
                int primary = 0);
    // Serves an image already in memory: one connection per tree, in image order.
    explicit ImageClient(std::shared_ptr<DirectoryImage> image);
    // A client whose start-up fails with the given message (a broken configuration).
    static std::unique_ptr<ImageClient> Failing(std::string diagnostic);
    ~ImageClient() override;

    // Reads the connections' files with loader instead of LoadImageFile (before InitClient).
    void SetLoader(ImageFileLoader loader);
    // The time the directory stamps on changes, in seconds since 1970 UTC.
    void SetClock(std::function<uint32_t()> clock);
    // Without the table, ErrorTexts() returns null, as a client without its error library.
    void SetErrorTextsAvailable(bool available);
    const ImageClientStatistics& Statistics() const;
    // The loaded image (null before InitClient succeeded); tests inspect changes through it.
    const DirectoryImage* Image(size_t index = 0) const;

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

    struct State;  // contexts, buffers, iterations and streams; defined in the .cpp

private:
    ImageClient();
    std::unique_ptr<State> state_;
};

}  // namespace vellrun::client::image
