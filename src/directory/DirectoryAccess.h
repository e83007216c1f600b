#pragma once

#include "client/AttrValue.h"
#include "client/DirectoryClient.h"
#include "directory/AttrChange.h"
#include "directory/Borrowed.h"
#include "directory/ClassDefinitionInfo.h"
#include "directory/TNDSObj.h"
#include "directory/TObjectRecord.h"
#include "directory/TTreeInfo.h"
#include "directory/ValueFormatter.h"
#include "directory/ValueInfo.h"
#include "directory/ValueLines.h"
#include "directory/ValueParser.h"
#include "platform/CancelFlag.h"
#include "platform/MessagePort.h"
#include "platform/RunFeedback.h"
#include "platform/StringList.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::directory {

// The program's access to the directory: client start-up and the program-wide
// connection handle, tree contexts, names that need the client, listings,
// walks, reads, schema requests and the two changes the program makes. Every
// operation returns the client's result unchanged (0 for success) and shows
// nothing by itself, except start-up failures and DSShowError, which speak
// through the message port. Listings and reads work on copies of the
// contexts they are given and free everything they allocate before they
// return.
//
// One instance per program (made by the front end's start-up, or by a test),
// living as long as the client; it holds references to the client and the
// ports and owns neither. Single-threaded. It must not ask a person anything
// except through the message port.
class DirectoryAccess {
public:
    // The connection handle before the client has been started.
    static constexpr client::ConnHandle kNotStarted = 0xFFFF;
    // DSReadStream's result when the stream could not be read.
    static constexpr client::Result kStreamReadFailed = 30;
    // How much of a stream a value read shows: the size of a read's reply.
    static constexpr size_t kStreamBufferSize = client::kReadReplySize;

    DirectoryAccess(client::DirectoryClient& client, platform::MessagePort& messages,
                    platform::RunFeedback& feedback);
    DirectoryAccess(const DirectoryAccess&) = delete;
    DirectoryAccess& operator=(const DirectoryAccess&) = delete;

    client::DirectoryClient& Client() { return client_; }
    platform::MessagePort& Messages() { return messages_; }
    platform::RunFeedback& Feedback() { return feedback_; }

    // Installed by the values subsystem; neither is owned. Without a
    // formatter every value read becomes a line saying so; without a parser
    // DSWriteAttr refuses with ParseResult::NoParser.
    void SetValueFormatter(ValueFormatter* formatter) { formatter_ = formatter; }
    void SetValueParser(ValueParser* parser) { parser_ = parser; }

    // --- Start-up, trees, contexts, error texts -----------------------------
    client::ConnHandle ConnectionHandle() const { return connection_; }
    // Starts the client once; later calls return 0. Returns the start-up result
    // reduced to 16 bits (0 for success); on failure the person is told why.
    client::Result DSStartClient();
    // Adds the name of every connected tree, with its connection reference.
    // The trees are looked at anew: the client forgets what it kept of them.
    void DSScanTrees(platform::StringList& trees);
    client::Result DSSetContext(client::ContextHandle context, std::string_view tree,
                                std::string_view container);
    std::string DSUserContext(client::ContextHandle context);
    // operation "+" sets the bits, "-" clears them, anything else changes nothing.
    client::Result DSSetContextFlag(client::ContextHandle context, std::string_view operation,
                                    uint32_t bits);
    client::Result DSSetTypeless(client::ContextHandle context, bool on);
    std::string DSErrorText(client::Result code) const;
    // Shows "<label> returned error <text>" in an error box; code 0 shows nothing.
    void DSShowError(client::Result code, std::string_view label);

    // Gives a tree record its pair of contexts: the object context at the
    // container (the user's container when empty), the root context at
    // "[Root]", both with the typeless setting. A record that holds contexts
    // is cleared first. Returns the first failure; the record is filled as far
    // as it got.
    client::Result OpenTreeInfo(TTreeInfo& tree, std::string_view treeName, bool typeless,
                                std::string_view container = {});
    // Empties the record's lists, frees both contexts and blanks the record.
    void ClearTreeInfo(TTreeInfo& tree);
    // DSSetTypeless on both contexts of the record; the first failure is returned.
    client::Result SetTreeTypeless(TTreeInfo& tree, bool on);

    // --- Names --------------------------------------------------------------
    // Text of context key 3 (name context) or 11 (tree name) without its first
    // "CN="; empty when the client refuses.
    std::string DSContextName(client::ContextHandle context, client::ContextKey key);
    std::string DSResolveName(client::ContextHandle context, std::string_view name);
    // One text item of the object's entry information (numbers as decimal text);
    // the text is empty whenever the result is not 0.
    client::Result DSEntryItem(client::ContextHandle context, std::string_view name,
                               uint32_t selector, std::string& text);
    client::Result DSEntryParent(client::ContextHandle context, std::string_view name,
                                 std::string& parent);

    // --- Listings and walks -------------------------------------------------
    client::Result DSListOpen(client::ContextHandle context, std::string_view container,
                              TNDSObj& cursor);
    // -1 at the end of the listing, after the cursor has freed its resources.
    client::Result DSListNext(TNDSObj& cursor);
    // Frees whatever the cursor still holds; for listings that stop early.
    void DSListClose(TNDSObj& cursor);
    // Lists one container into entry lines "base class: entry name" (the
    // prefix length as each line's number), and the names of subordinate
    // containers into containerNames when given. Clears cancel first and
    // stops when it is set.
    client::Result DSListContainer(client::ContextHandle context, std::string_view container,
                                   platform::StringList* containerNames,
                                   platform::CancelFlag& cancel, platform::StringList& entryLines);

    // Called for each entry of the wanted class with the listed container and
    // the cursor standing on the entry.
    using WalkCallback = std::function<void(const std::string& container, const TNDSObj& cursor)>;
    // Hands every entry whose base class equals classFilter exactly (every
    // entry for "" and "*") to callback; with recurse, each subcontainer's
    // entries come before the subcontainer itself. Stops at all levels once
    // cancel is set.
    client::Result DSWalkContainer(client::ContextHandle context, std::string_view container,
                                   bool recurse, platform::CancelFlag& cancel,
                                   const WalkCallback& callback, std::string_view classFilter);

    // --- Reads --------------------------------------------------------------
    // Appends the lines of every value of one attribute (through the value
    // formatter); with wantInfo the value information block is filled as well.
    client::Result DSReadValues(client::ContextHandle context, std::string_view object,
                                std::string_view attribute, bool wantInfo, ValueLines& lines,
                                ValueInfoBlock* info = nullptr);
    // The same, each line appended to lines as a string of its own.
    client::Result DSReadValues(client::ContextHandle context, std::string_view object,
                                std::string_view attribute, bool wantInfo,
                                std::vector<std::string>& lines, ValueInfoBlock* info = nullptr);
    // The values' lines joined by CR LF, trailing line breaks removed.
    std::string DSReadColumnText(client::ContextHandle context, std::string_view object,
                                 std::string_view attribute, client::Result* result = nullptr);
    client::Result DSEntryClass(client::ContextHandle context, std::string_view object,
                                std::string& className);
    // Reads up to size bytes (at most buffer.size()) of a stream attribute into
    // buffer; size comes back as the number of bytes read.
    client::Result DSReadStream(client::ContextHandle context, std::string_view object,
                                std::string_view attribute, std::span<uint8_t> buffer,
                                size_t& size);
    client::Result DSReadObjectInfo(client::ContextHandle context, std::string_view object,
                                    TObjectRecord& record);

    // --- Schema requests ----------------------------------------------------
    // Adds the name of every attribute definition of the schema.
    client::Result DSReadAttrNames(client::ContextHandle context, platform::StringList& names);
    // Reads class definitions: one class (its name placed in the request as
    // given), or all without a name. Kind Definitions brings the five lists,
    // NamesAndRecord only name and record. onClass is called per class in reply
    // order. Like every continuation loop here, it stops when the client gives
    // back the continuation it was asked with, rather than ask it again for ever.
    client::Result DSReadClassDefs(client::ContextHandle context, client::ClassInfoKind kind,
                                   std::optional<std::string_view> className, size_t replySize,
                                   const std::function<void(const ClassDefinitionInfo&)>& onClass);
    // The definition record of one attribute.
    client::Result DSReadAttrDef(client::ContextHandle context, std::string_view attribute,
                                 client::AttrDefRecord& record);

    // --- Updates ------------------------------------------------------------
    client::Result DSRemoveObject(client::ContextHandle context, std::string_view object);
    client::Result DSModifyAttr(const AttrChange& change);
    // The text parsed by the value parser; a fax number that replaces all
    // values keeps the parameters of the one value there (they have no text).
    client::Result DSWriteAttr(client::ContextHandle context, std::string_view object,
                               std::string_view attribute, uint32_t changeType,
                               std::string_view newText,
                               std::optional<std::string_view> oldText = std::nullopt);
    client::Result DSWriteAttrNumber(client::ContextHandle context, std::string_view object,
                                     std::string_view attribute, uint32_t value);

private:
    client::Result FetchListPage(TNDSObj& cursor);
    client::Result TakeListEntry(TNDSObj& cursor);
    client::Result WalkLevel(client::ContextHandle context, std::string_view container,
                             bool recurse, platform::CancelFlag& cancel,
                             const WalkCallback& callback, std::string_view classFilter);
    client::Result ReadClassDefsPage(
        client::ContextHandle context, client::BufferHandle reply, client::ClassInfoKind kind,
        const std::function<void(const ClassDefinitionInfo&)>& onClass);
    client::Result ModifyRequest(const AttrChange& change, uint32_t type);
    // A fax number written over the one the attribute holds takes its
    // parameters, which its text does not show.
    void KeepFaxParameters(client::ContextHandle context, std::string_view object,
                           std::string_view attribute, client::AttrValue& value);

    client::DirectoryClient& client_;
    platform::MessagePort& messages_;
    platform::RunFeedback& feedback_;
    ValueFormatter* formatter_ = nullptr;
    ValueParser* parser_ = nullptr;
    // Kept from one read of values to the next, so that taking an attribute's
    // name or a value copies into storage that is already there: one value
    // record per syntax with a layout of its own, the last for every other.
    // A read started while one runs (from a formatter) finds them lent out
    // and works with fresh ones.
    struct ReadRoom {
        std::string name;
        std::array<client::AttrValue, client::Syntax::LastWithLayout + 2> records;
    };
    Kept<ReadRoom> readRoom_;
    client::ConnHandle connection_ = kNotStarted;
};

}  // namespace vellrun::directory
