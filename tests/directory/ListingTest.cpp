// Listings page by page, the tree browser's container listing, and walks.

#include "support/DirectoryTestBed.h"

#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>

#include <gtest/gtest.h>

namespace vellrun::directory {
namespace {

using testing::CorpObjects;
using testing::DirectoryTestBed;
using testing::TreesImage;

// A tree whose container Big.Corp holds `count` users, and an empty unit.
std::string BigImage(int count) {
    std::string objects = R"([{"name": "Corp", "class": "Organization"},
        {"name": "Empty.Corp", "class": "Organizational Unit"},
        {"name": "Big.Corp", "class": "Organizational Unit"})";
    char name[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "user%05d", i);
        objects += ",\n{\"name\": \"" + std::string(name) +
                   ".Big.Corp\", \"class\": \"User\", \"attributes\": {\"CN\": \"" + name + "\"}}";
    }
    objects += "]";
    return TreesImage({{"CORP", objects}});
}

struct Walked {
    std::vector<std::string> found;  // "container | entry"
    DirectoryAccess::WalkCallback Callback() {
        return [this](const std::string& container, const TNDSObj& cursor) {
            found.push_back(container + " | " + cursor.entryName);
        };
    }
};

// --- Cursor -----------------------------------------------------------------

TEST(Listing, AnEmptyContainerOpensWithoutAnEntryAndEndsAtOnce) {
    DirectoryTestBed bed(BigImage(0));
    const auto context = bed.Context();
    TNDSObj cursor;
    EXPECT_EQ(bed.access.DSListOpen(context, "Empty.Corp", cursor), 0);
    EXPECT_FALSE(cursor.HasEntry());
    EXPECT_EQ(cursor.container, ".Empty.Corp");
    EXPECT_EQ(bed.access.DSListNext(cursor), -1);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
    // A cursor at its end stays there.
    EXPECT_EQ(bed.access.DSListNext(cursor), -1);

    client::Result result = 1;
    EXPECT_TRUE(bed.List(context, "Empty.Corp", &result).empty());
    EXPECT_EQ(result, 0);
    // A container that is not there fails before any entry, and is freed.
    EXPECT_EQ(bed.access.DSListOpen(context, "Nowhere.Corp", cursor), client::Err::NoSuchEntry);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
}

// --- Container listing ------------------------------------------------------

TEST(ListContainer, EntryLinesCarryTheirPrefixLengthAndContainersAreNamed) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context("Sales.Corp");
    platform::StringList containers(true);
    platform::StringList lines;
    bed.feedback.Cancel().Set();  // left over from an earlier listing: cleared first
    EXPECT_EQ(bed.access.DSListContainer(context, "Sales.Corp", &containers, bed.feedback.Cancel(),
                                         lines),
              0);
    EXPECT_EQ(lines.Texts(), (std::vector<std::string>{"User: jdoe", "Organizational Unit: East",
                                                       "Group: staff", "Alias: jalias"}));
    EXPECT_EQ(lines.Number(0), 6);
    EXPECT_EQ(lines.Number(1), 21);
    EXPECT_EQ(containers.Texts(), std::vector<std::string>{"East"});
    EXPECT_EQ(bed.feedback.pushes, 1);
    EXPECT_EQ(bed.feedback.depth, 0);
    EXPECT_GE(bed.feedback.events, 4);
}

TEST(ListContainer, FiveThousandEntriesComeOnceEachOverManyPages) {
    DirectoryTestBed bed(BigImage(5000));
    const auto pagesBefore = bed.image->Statistics().listPages;
    client::Result result = 1;
    const auto lines = bed.List(bed.Context(), "Big.Corp", &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(lines.size(), 5000u);
    std::set<std::string> unique(lines.begin(), lines.end());
    EXPECT_EQ(unique.size(), 5000u);
    EXPECT_EQ(lines.front(), "User: user00000");
    EXPECT_EQ(lines.back(), "User: user04999");
    const auto pages = bed.image->Statistics().listPages - pagesBefore;
    std::printf("5000 entries took %llu listing pages\n", static_cast<unsigned long long>(pages));
    EXPECT_GT(pages, 50u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

TEST(ListContainer, CancelStopsTheListingAndFreesIt) {
    DirectoryTestBed bed(BigImage(300));
    bed.feedback.cancelAtEvent = 20;
    client::Result result = 1;
    const auto lines = bed.List(bed.Context(), "Big.Corp", &result);
    EXPECT_EQ(result, 0);
    EXPECT_GT(lines.size(), 0u);
    EXPECT_LT(lines.size(), 20u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
}

TEST(ListContainer, AFailingPageEndsTheListingWithWhatCameBefore) {
    DirectoryTestBed bed(BigImage(1000));
    int calls = 0;
    bed.spy.onListSubordinates = [&](client::ContextHandle context, std::string_view container,
                                     int32_t& continuation, client::BufferHandle reply) {
        if (++calls == 3) return client::Err::NoSuchEntry;
        return bed.spy.Inner().ListSubordinates(context, container, continuation, reply);
    };
    client::Result result = 0;
    const auto lines = bed.List(bed.Context(), "Big.Corp", &result);
    EXPECT_EQ(result, client::Err::NoSuchEntry);
    EXPECT_EQ(calls, 3);
    EXPECT_GT(lines.size(), 0u);
    EXPECT_LT(lines.size(), 1000u);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

// --- Walks ------------------------------------------------------------------

TEST(Walk, RecursiveReportsEachContainerAfterItsContents) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    Walked walked;
    EXPECT_EQ(bed.access.DSWalkContainer(bed.Context(), "Corp", true, bed.feedback.Cancel(),
                                         walked.Callback(), "*"),
              0);
    EXPECT_EQ(walked.found, (std::vector<std::string>{
                                ".Sales.Corp | jdoe",
                                ".East.Sales.Corp | asmith",
                                ".Sales.Corp | East",
                                ".Sales.Corp | staff",
                                ".Sales.Corp | jalias",
                                ".Corp | Sales",
                                ".IT.Corp | admin",
                                ".Corp | IT",
                            }));
    EXPECT_EQ(bed.feedback.depth, 0);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
}

TEST(Walk, AnExceptionFromTheCallbackLeavesNothingOpenAtAnyLevel) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context();
    auto throwing = [](const std::string&, const directory::TNDSObj& cursor) {
        if (cursor.entryName == "asmith") throw std::runtime_error("stop");
    };
    EXPECT_THROW(
        bed.access.DSWalkContainer(context, "Corp", true, bed.feedback.Cancel(), throwing, "*"),
        std::runtime_error);
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
}

TEST(Walk, OneLevelAndClassFilters) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context();
    Walked oneLevel;
    bed.access.DSWalkContainer(context, "Sales.Corp", false, bed.feedback.Cancel(),
                               oneLevel.Callback(), "");
    EXPECT_EQ(oneLevel.found,
              (std::vector<std::string>{".Sales.Corp | jdoe", ".Sales.Corp | East",
                                        ".Sales.Corp | staff", ".Sales.Corp | jalias"}));

    Walked lowerCase;
    bed.access.DSWalkContainer(context, "[Root]", true, bed.feedback.Cancel(), lowerCase.Callback(),
                               "user");
    EXPECT_TRUE(lowerCase.found.empty());

    Walked users;
    bed.access.DSWalkContainer(context, "[Root]", true, bed.feedback.Cancel(), users.Callback(),
                               "User");
    EXPECT_EQ(users.found,
              (std::vector<std::string>{".Sales.Corp | jdoe", ".East.Sales.Corp | asmith",
                                        ".IT.Corp | admin"}));

    Walked containers;
    bed.access.DSWalkContainer(context, "[Root]", true, bed.feedback.Cancel(),
                               containers.Callback(), "Organizational Unit");
    EXPECT_EQ(containers.found,
              (std::vector<std::string>{".Sales.Corp | East", ".Corp | Sales", ".Corp | IT"}));
}

// A subcontainer that cannot be listed is passed over, and its failure is
// the walk's result: the rows found are kept, but the report is not whole.
TEST(Walk, ASubcontainerThatCannotBeListedFailsTheWalkAfterTheRest) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    bed.spy.onListSubordinates = [&](client::ContextHandle context, std::string_view container,
                                     int32_t& continuation, client::BufferHandle reply) {
        if (container.find("East") != std::string_view::npos) return client::Result{-601};
        return bed.spy.Inner().ListSubordinates(context, container, continuation, reply);
    };
    Walked walked;
    EXPECT_EQ(bed.access.DSWalkContainer(bed.Context(), "Corp", true, bed.feedback.Cancel(),
                                         walked.Callback(), "*"),
              -601);
    EXPECT_EQ(walked.found, (std::vector<std::string>{
                                ".Sales.Corp | jdoe",
                                ".Sales.Corp | East",
                                ".Sales.Corp | staff",
                                ".Sales.Corp | jalias",
                                ".Corp | Sales",
                                ".IT.Corp | admin",
                                ".Corp | IT",
                            }));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
}

// A server gone (or silent until the wait ran out) fails every listing after
// it as slowly: the walk ends there, with what it found.
TEST(Walk, AServerLostBelowEndsTheWalkAtOnce) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    int listingsAfterLoss = -1;
    bed.spy.onListSubordinates = [&](client::ContextHandle context, std::string_view container,
                                     int32_t& continuation, client::BufferHandle reply) {
        if (listingsAfterLoss >= 0) ++listingsAfterLoss;
        if (container.find("East") != std::string_view::npos) {
            listingsAfterLoss = 0;
            return client::Err::TransportFailure;
        }
        return bed.spy.Inner().ListSubordinates(context, container, continuation, reply);
    };
    Walked walked;
    EXPECT_EQ(bed.access.DSWalkContainer(bed.Context(), "Corp", true, bed.feedback.Cancel(),
                                         walked.Callback(), "*"),
              client::Err::TransportFailure);
    EXPECT_EQ(listingsAfterLoss, 0);
    EXPECT_EQ(walked.found, (std::vector<std::string>{".Sales.Corp | jdoe"}));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
}

TEST(Walk, CancelInsideASubcontainerStopsEveryLevel) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    Walked walked;
    auto record = walked.Callback();
    const auto callback = [&](const std::string& container, const TNDSObj& cursor) {
        record(container, cursor);
        if (cursor.entryName == "asmith") bed.feedback.Cancel().Set();
    };
    EXPECT_EQ(bed.access.DSWalkContainer(bed.Context(), "Corp", true, bed.feedback.Cancel(),
                                         callback, "*"),
              0);
    EXPECT_EQ(walked.found,
              (std::vector<std::string>{".Sales.Corp | jdoe", ".East.Sales.Corp | asmith"}));
    EXPECT_EQ(bed.spy.liveBuffers, 0);
    EXPECT_EQ(bed.spy.liveContexts, 1);
    EXPECT_EQ(bed.feedback.depth, 0);
}

}  // namespace
}  // namespace vellrun::directory
