// Directory names: full names, special names, names seen from a container,
// and the names the directory reports through entry information.

#include "directory/DirectoryNames.h"
#include "support/DirectoryTestBed.h"

#include <gtest/gtest.h>

namespace vellrun::directory {
namespace {

using testing::CorpObjects;
using testing::DirectoryTestBed;
using testing::TreesImage;

TEST(DirectoryNames, SpecialNamesAreExactAndNeverGetADot) {
    for (const char* special : {"[Root]", "[This]", "[Public]", "[Supervisor]"}) {
        EXPECT_TRUE(DSIsSpecialName(special)) << special;
        EXPECT_EQ(DSFullName(special), special);
    }
    EXPECT_FALSE(DSIsSpecialName("[root]"));
    EXPECT_EQ(DSFullName("[root]"), ".[root]");
    EXPECT_FALSE(DSIsSpecialName("[Root"));
}

TEST(DirectoryNames, FullNameAndStripDot) {
    EXPECT_EQ(DSFullName(""), "");
    EXPECT_EQ(DSFullName(".Corp"), ".Corp");
    EXPECT_EQ(DSFullName("jdoe.Sales.Corp"), ".jdoe.Sales.Corp");
    EXPECT_EQ(DSStripDot(".OU.O"), "OU.O");
    EXPECT_EQ(DSStripDot("..OU.O"), ".OU.O");
    EXPECT_EQ(DSStripDot("OU.O"), "OU.O");
    EXPECT_EQ(DSStripDot(""), "");
}

TEST(DirectoryNames, ComposeFollowsItsRulesInOrder) {
    // The container itself.
    EXPECT_EQ(DSComposeName(".Sales.Corp", "."), ".Sales.Corp");
    EXPECT_EQ(DSComposeName(".Sales.Corp", ""), ".Sales.Corp");
    EXPECT_EQ(DSComposeName("[Root]", "."), "[Root]");
    // The parent, dots stripped first; "[Root]" above the top level.
    EXPECT_EQ(DSComposeName(".Sales.Corp", ".."), "Corp");
    EXPECT_EQ(DSComposeName("Corp", ".."), "[Root]");
    EXPECT_EQ(DSComposeName("..Corp", ".."), "[Root]");
    EXPECT_EQ(DSComposeName("..East.Sales.Corp", "[ .. ]"), "Sales.Corp");
    EXPECT_EQ(DSComposeName(".Corp", "[ .. ]"), "[Root]");
    EXPECT_EQ(DSComposeName("[Root]", ".."), "[Root]");
    // From the top, or already full.
    EXPECT_EQ(DSComposeName("[Root]", "Corp"), ".Corp");
    EXPECT_EQ(DSComposeName("", "Corp"), ".Corp");
    EXPECT_EQ(DSComposeName(".Sales.Corp", ".IT.Corp"), ".IT.Corp");
    EXPECT_EQ(DSComposeName("[Root]", "[Public]"), "[Public]");
    // "[root]" in another case is an ordinary container name.
    EXPECT_EQ(DSComposeName("[root]", "Corp"), "Corp.[root]");
    // Relative to the container.
    EXPECT_EQ(DSComposeName(".Sales.Corp", "jdoe"), ".jdoe.Sales.Corp");
    EXPECT_EQ(DSComposeName("Sales.Corp", "jdoe"), "jdoe.Sales.Corp");
}

TEST(DirectoryNames, ContextNameRemovesOnlyTheFirstCnPrefix) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context("CN=x.CN=y");
    EXPECT_EQ(bed.access.DSContextName(context, client::ContextKey::NameContext), "x.CN=y");
    EXPECT_EQ(bed.access.DSContextName(context, client::ContextKey::TreeName), "CORP");
    // A key the client refuses gives an empty text.
    EXPECT_EQ(bed.access.DSContextName(context, client::ContextKey::Flags), "");
}

TEST(DirectoryNames, EntryItemsComeTypelessWhateverTheCallersContext) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    // A typed context, pointed at Sales: names are relative to it.
    const auto context = bed.Context("Sales.Corp", {}, /*typeless=*/false);
    std::string parent;
    EXPECT_EQ(bed.access.DSEntryParent(context, "East", parent), 0);
    EXPECT_EQ(parent, ".Sales.Corp");
    std::string className;
    EXPECT_EQ(bed.access.DSEntryClass(context, "jdoe", className), 0);
    EXPECT_EQ(className, "User");
    std::string count;
    EXPECT_EQ(bed.access.DSEntryItem(context, ".Sales.Corp", client::EntryItemBit::SubordinateCount,
                                     count),
              0);
    EXPECT_EQ(count, "4");
    // The caller's context keeps its settings.
    uint32_t flags = 0;
    ASSERT_EQ(bed.spy.GetContextNumber(context, client::ContextKey::Flags, flags), 0);
    EXPECT_EQ(flags & client::ContextFlag::Typeless, 0u);
    uint32_t items = 0;
    ASSERT_EQ(bed.spy.GetContextNumber(context, client::ContextKey::EntryInfoItems, items), 0);
    EXPECT_EQ(items & client::EntryItemBit::Parent, 0u);
}

TEST(DirectoryNames, EntryParentBelowTheTopAndOfNothing) {
    DirectoryTestBed bed(TreesImage({{"CORP", CorpObjects()}}));
    const auto context = bed.Context();
    std::string parent;
    EXPECT_EQ(bed.access.DSEntryParent(context, "Corp", parent), 0);
    EXPECT_EQ(parent, "[Root]");
    parent = "stale";
    EXPECT_NE(bed.access.DSEntryParent(context, "nobody.Corp", parent), 0);
    EXPECT_EQ(parent, "");
    EXPECT_EQ(bed.spy.liveContexts, 1);  // only the test's own context is left
}

}  // namespace
}  // namespace vellrun::directory
