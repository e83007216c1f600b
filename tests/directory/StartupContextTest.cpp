// Client start-up, tree discovery, contexts and the texts of result codes.

#include "support/DirectoryTestBed.h"

#include <cstring>

#include <gtest/gtest.h>

namespace vellrun::directory {
namespace {

using client::ContextKey;
using client::Err::NoMoreConnections;
using testing::CorpObjects;
using testing::CountingRunFeedback;
using testing::DirectoryTestBed;
using testing::ScriptedMessagePort;
using testing::SpyClient;
using testing::TreesImage;

std::string NameContext(DirectoryTestBed& bed, client::ContextHandle context) {
    std::string value;
    EXPECT_EQ(bed.spy.GetContextText(context, ContextKey::NameContext, value), 0);
    return value;
}

uint32_t Flags(DirectoryTestBed& bed, client::ContextHandle context) {
    uint32_t flags = 0;
    EXPECT_EQ(bed.spy.GetContextNumber(context, ContextKey::Flags, flags), 0);
    return flags;
}

// --- Start-up ---------------------------------------------------------------

TEST(ClientStartup, StartsOnceAndKeepsTheConnection) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}, {"LAB", "[]"}}), false);
    EXPECT_EQ(bed.access.ConnectionHandle(), DirectoryAccess::kNotStarted);
    EXPECT_EQ(bed.access.DSStartClient(), 0);
    EXPECT_NE(bed.access.ConnectionHandle(), DirectoryAccess::kNotStarted);
    EXPECT_EQ(bed.access.DSStartClient(), 0);
    EXPECT_EQ(bed.spy.Count("InitClient"), 1);
    EXPECT_TRUE(bed.messages.boxes.empty());
}

TEST(ClientStartup, AStartThePersonCancelledFailsWithoutAWord) {
    client::image::ImageConnection big;
    big.imageFile = "big.json";
    client::image::ImageClient image(std::vector<client::image::ImageConnection>{big});
    bool cancel = true;
    image.SetLoader([&cancel](const client::image::ImageConnection&) {
        client::image::LoadResult result;
        result.status = platform::FileStatus::Failed("big.json: loading was cancelled");
        result.cancelled = cancel;
        return result;
    });
    SpyClient spy(image);
    ScriptedMessagePort messages;
    CountingRunFeedback feedback;
    DirectoryAccess access(spy, messages, feedback);
    EXPECT_EQ(access.DSStartClient(), 0xFFFF);
    EXPECT_TRUE(messages.boxes.empty());
    // Tried again, a load that fails for another reason is told as ever.
    cancel = false;
    EXPECT_EQ(access.DSStartClient(), 0xFFFF);
    EXPECT_EQ(messages.boxes.size(), 2u);
}

TEST(ClientStartup, ABrokenImageShowsTheHeadlineThenTheLoadersMessage) {
    auto failing = client::image::ImageClient::Failing("corp.json: trees[0]: \"name\" is missing");
    SpyClient spy(*failing);
    ScriptedMessagePort messages;
    CountingRunFeedback feedback;
    DirectoryAccess access(spy, messages, feedback);

    EXPECT_EQ(access.DSStartClient(), 0xFFFF);
    ASSERT_EQ(messages.boxes.size(), 2u);
    EXPECT_EQ(messages.boxes[0].kind, ScriptedMessagePort::Kind::Error);
    EXPECT_EQ(messages.boxes[0].text,
              "Could not initialize NetWare Client. InitNetWare returned error " +
                  access.DSErrorText(0xFFFF));
    EXPECT_EQ(messages.boxes[0].text.find("returned error 0xFFFF ("),
              std::strlen("Could not initialize NetWare Client. InitNetWare "));
    EXPECT_EQ(messages.boxes[1].kind, ScriptedMessagePort::Kind::Error);
    EXPECT_EQ(messages.boxes[1].text, "corp.json: trees[0]: \"name\" is missing");
    // Not started: a later call tries again.
    EXPECT_EQ(access.ConnectionHandle(), DirectoryAccess::kNotStarted);
    EXPECT_EQ(access.DSStartClient(), 0xFFFF);
    EXPECT_EQ(spy.Count("InitClient"), 2);
}

TEST(ClientStartup, NoConnectionUsesTheSecondLabelAndNoDiagnosticBox) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}), false);
    bed.spy.onScanConnections = [](uint32_t&, client::ConnRef&) { return NoMoreConnections; };
    EXPECT_EQ(bed.access.DSStartClient(), NoMoreConnections);
    EXPECT_EQ(bed.messages.Errors(),
              std::vector<std::string>{"Could not find server/tree connection. InitNetWare "
                                       "returned error " +
                                       bed.access.DSErrorText(NoMoreConnections)});
}

TEST(ClientStartup, AFailureWithZeroLowBitsIsStillAFailure) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}), false);
    bed.spy.onInitClient = [] { return 0x10000; };
    EXPECT_EQ(bed.access.DSStartClient(), 0xFFFF);
    EXPECT_EQ(bed.messages.Errors().size(), 1u);
    EXPECT_EQ(bed.access.ConnectionHandle(), DirectoryAccess::kNotStarted);
}

// --- Trees ------------------------------------------------------------------

TEST(TreeDiscovery, NamesAreCutUnpaddedAndKeptOncePerTree) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}));
    const std::string longName = "LONG" + std::string(27, 'X');  // 31 characters
    // 32 characters in 64 bytes: cut by characters, it stays whole.
    std::string umlauts;
    for (int k = 0; k < 32; ++k)
        umlauts += "\xC3\x84";
    const std::vector<std::pair<client::Result, std::string>> connections = {
        {0, "CORP_TREE" + std::string(23, '_')},
        {0, "corp_tree" + std::string(23, '_')},
        {0, longName + "_MORE"},
        {client::Err::InvalidHandle, "IGNORED"},
        {0, std::string(32, '_')},
        {0, "LAB"},
        {0, umlauts + "__"},
    };
    bed.spy.onScanConnections = [&](uint32_t& iterator, client::ConnRef& ref) {
        if (iterator >= connections.size()) return NoMoreConnections;
        ref = 100 + iterator++;
        return 0;
    };
    bed.spy.onGetConnectionInfo = [&](client::ConnRef ref, uint32_t item, size_t room,
                                      std::string& text) {
        EXPECT_EQ(item, 4u);
        EXPECT_GE(room, 256u);
        const auto& [result, name] = connections[ref - 100];
        text = name;
        return result;
    };
    platform::StringList trees;
    bed.access.DSScanTrees(trees);
    EXPECT_EQ(trees.Texts(), (std::vector<std::string>{"CORP_TREE", longName, "LAB", umlauts}));
    EXPECT_EQ(trees.Number(0), 100);
    EXPECT_EQ(trees.Number(1), 102);
    EXPECT_EQ(trees.Number(2), 105);
    EXPECT_EQ(bed.feedback.events, 7);
}

// A directory of very many trees, each reported twice in other letter case:
// every name is kept once, in the order of the connections. Finding the names
// kept so far must not search the list, or this takes minutes.
TEST(TreeDiscovery, ManyTreesAreKeptOnceEach) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}));
    constexpr uint32_t kTrees = 40000;
    const auto nameOf = [](uint32_t index) {
        return (index < kTrees / 2 ? "tree" : "TREE") + std::to_string(index % (kTrees / 2));
    };
    bed.spy.onScanConnections = [&](uint32_t& iterator, client::ConnRef& ref) {
        if (iterator >= kTrees) return NoMoreConnections;
        ref = ++iterator;
        return 0;
    };
    bed.spy.onGetConnectionInfo = [&](client::ConnRef ref, uint32_t, size_t, std::string& text) {
        text = nameOf(ref - 1);
        return 0;
    };
    platform::StringList trees;
    trees.Add("Tree7", 99);
    bed.access.DSScanTrees(trees);
    ASSERT_EQ(trees.Count(), kTrees / 2);
    EXPECT_EQ(trees.Text(0), "Tree7");
    EXPECT_EQ(trees.Number(0), 99);
    EXPECT_EQ(trees.Text(1), "tree0");
    EXPECT_EQ(trees.Text(8), "tree8");
    EXPECT_EQ(trees.Text(kTrees / 2 - 1), "tree" + std::to_string(kTrees / 2 - 1));
}

// --- Contexts ---------------------------------------------------------------

TEST(SetContext, SameTreeInAnotherCaseOnlySetsTheNameContext) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}, {"LAB", "[]"}}));
    const auto context = bed.Context("Sales.Corp", "CORP");
    const int treeSets = bed.spy.Count("SetContextText(TreeName)");
    EXPECT_EQ(bed.access.DSSetContext(context, "corp", ".IT.Corp"), 0);
    EXPECT_EQ(bed.spy.Count("SetContextText(TreeName)"), treeSets);
    EXPECT_EQ(NameContext(bed, context), "IT.Corp");

    EXPECT_EQ(bed.access.DSSetContext(context, "lab", "[Root]"), 0);
    EXPECT_EQ(bed.access.DSContextName(context, ContextKey::TreeName), "LAB");
}

TEST(SetContext, OneLeadingDotIsRemoved) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context();
    EXPECT_EQ(bed.access.DSSetContext(context, "", ".OU.O"), 0);
    EXPECT_EQ(NameContext(bed, context), "OU.O");
    EXPECT_EQ(bed.access.DSSetContext(context, "", "..OU.O"), 0);
    EXPECT_EQ(NameContext(bed, context), ".OU.O");
}

TEST(SetContext, AnEmptyContainerMeansTheUsersContainer) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}, "admin.IT.Corp"));
    // Pointed elsewhere first: the identity is still taken as a full name.
    const auto context = bed.Context("Sales.Corp");
    EXPECT_EQ(bed.access.DSUserContext(context), ".IT.Corp");
    EXPECT_EQ(bed.access.DSSetContext(context, "", ""), 0);
    EXPECT_EQ(NameContext(bed, context), "IT.Corp");
}

TEST(SetContext, WithoutAnIdentityTheUsersContainerIsRoot) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context("Sales.Corp");
    EXPECT_EQ(bed.access.DSUserContext(context), "[Root]");
    EXPECT_EQ(bed.spy.Count("ReadEntryInfo"), 0);
    EXPECT_EQ(bed.access.DSSetContext(context, "CORP", ""), 0);
    EXPECT_EQ(NameContext(bed, context), "[Root]");
}

// --- Tree records -----------------------------------------------------------

TEST(TreeRecord, OpensAPairReopensAndClears) {
    DirectoryTestBed bed(
        TreesImage({{"CORP", CorpObjects()}, {"LAB", CorpObjects()}}, "admin.IT.Corp"));
    TTreeInfo tree;
    EXPECT_EQ(bed.access.OpenTreeInfo(tree, "CORP", true), 0);
    EXPECT_EQ(tree.treeName, "CORP");
    EXPECT_EQ(NameContext(bed, tree.objectContext), "IT.Corp");
    EXPECT_EQ(NameContext(bed, tree.rootContext), "[Root]");
    EXPECT_NE(Flags(bed, tree.objectContext) & 0x04, 0u);
    EXPECT_NE(Flags(bed, tree.rootContext) & 0x04, 0u);
    EXPECT_EQ(bed.spy.liveContexts, 2);

    tree.nodes.Add("[Root]", 7);
    tree.rootNode = 7;
    EXPECT_EQ(bed.access.OpenTreeInfo(tree, "LAB", false, "[Root]"), 0);
    EXPECT_EQ(bed.spy.liveContexts, 2);  // the first pair was freed
    EXPECT_TRUE(tree.nodes.Empty());
    EXPECT_EQ(tree.rootNode, 0u);
    EXPECT_EQ(bed.access.DSContextName(tree.objectContext, ContextKey::TreeName), "LAB");
    EXPECT_EQ(Flags(bed, tree.objectContext) & 0x04, 0u);

    EXPECT_EQ(bed.access.SetTreeTypeless(tree, true), 0);
    EXPECT_NE(Flags(bed, tree.objectContext) & 0x04, 0u);
    EXPECT_NE(Flags(bed, tree.rootContext) & 0x04, 0u);

    bed.access.ClearTreeInfo(tree);
    EXPECT_EQ(bed.spy.liveContexts, 0);
    EXPECT_FALSE(tree.HoldsContexts());
    EXPECT_EQ(tree.treeName, "");
}

// --- Error texts ------------------------------------------------------------

TEST(ErrorText, HexOfThe32BitValueWithTheTablesOrTheSystemsText) {
    DirectoryTestBed bed(TreesImage({{"CORP", "[]"}}));
    const auto known = bed.image->ErrorTexts()->Lookup(client::Err::NoSuchEntry);
    ASSERT_TRUE(known.has_value());
    EXPECT_EQ(bed.access.DSErrorText(client::Err::NoSuchEntry), "0xFFFFFDA7 (" + *known + ")");
    // Unknown to the table: the operating system's message for the code.
    EXPECT_EQ(bed.access.DSErrorText(5), std::string("0x0005 (") + std::strerror(5) + ")");
    // The value parser's refusals of an edited text are the directory's codes too.
    EXPECT_EQ(bed.access.DSErrorText(directory::ParseResult::NotOfSyntax),
              "0xFFFFFD42 (The text does not fit the syntax)");
    EXPECT_EQ(bed.access.DSErrorText(directory::ParseResult::NoParser),
              "0xFFFFFD91 (The syntax has no parser)");

    bed.access.DSShowError(0, "Save Attribute");
    EXPECT_TRUE(bed.messages.boxes.empty());
    // Without the table only the code, without parentheses.
    bed.image->SetErrorTextsAvailable(false);
    EXPECT_EQ(bed.access.DSErrorText(0x8801), "0x8801");
    bed.access.DSShowError(client::Err::NoAccess, "Delete \".jdoe.Sales.Corp\"");
    EXPECT_EQ(bed.messages.Errors(),
              std::vector<std::string>{"Delete \".jdoe.Sales.Corp\" returned error 0xFFFFFD60"});
}

}  // namespace
}  // namespace vellrun::directory
