// A class's filter is remembered in the INI file and read back by the next run.

#include "report/ResultFilter.h"
#include "settings/IniKeyValueSource.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <unistd.h>

namespace vellrun::settings {
namespace {

namespace fs = std::filesystem;

TEST(IniKeyValueSource, AFilterWrittenByOneRunIsReadByTheNext) {
    const testing::TempDir dir("vellrun-filter");
    const fs::path path = dir / "vellrun.ini";
    {
        platform::IniFile file(path);
        SectionCache cache;
        IniKeyValueSource source(file, cache);
        EXPECT_TRUE(report::WriteFilterEnabled(source, "User", true));
        EXPECT_TRUE(report::WriteFilterAttribute(source, "User", 1, "Title"));
        EXPECT_TRUE(report::WriteFilterValue(source, "User", 1, "Manager"));
        report::FilterRows rows{};
        rows[1].MustContain = false;
        EXPECT_TRUE(report::WriteFilterModes(source, "User", rows));
    }
    platform::IniFile file(path);
    SectionCache cache;
    IniKeyValueSource source(file, cache);
    report::FilterPanelState state;
    report::ReadFilterPanel(source, "user", state);
    EXPECT_TRUE(state.Filtered);
    EXPECT_EQ(state.Rows[1].Attribute, "Title");
    EXPECT_EQ(state.Rows[1].Value, "Manager");
    EXPECT_FALSE(state.Rows[1].MustContain);
    EXPECT_TRUE(state.Rows[0].MustContain);

    // A file that cannot be written makes the write report failure.
    platform::IniFile unwritable(path / "below-a-file.ini");
    SectionCache other;
    IniKeyValueSource broken(unwritable, other);
    EXPECT_FALSE(report::WriteFilterEnabled(broken, "User", true));
}

// A run of failures is told once, and a write that succeeds ends it, also one
// made through another object on the file (the settings dialog's).
TEST(IniKeyValueSource, ASuccessThroughAnyObjectEndsARunOfFailures) {
    const testing::TempDir dir("vellrun-notice");
    const fs::path path = dir / "vellrun.ini";
    testing::ScriptedMessagePort port;
    WriteFailureNotice notice(port);
    platform::IniFile unwritable(path / "below-a-file.ini");
    platform::IniFile file(path), other(path);
    SectionCache cache, otherCache;
    IniKeyValueSource broken(unwritable, cache, &notice);
    IniKeyValueSource working(other, otherCache, &notice);
    const auto told = [&port] { return port.Texts(testing::ScriptedMessagePort::Kind::Plain); };

    ASSERT_TRUE(working.WriteString("S", "k", "v").ok());
    EXPECT_FALSE(report::WriteFilterEnabled(broken, "User", true));
    EXPECT_FALSE(report::WriteFilterValue(broken, "User", 0, "x"));
    ASSERT_EQ(told().size(), 1u);
    EXPECT_NE(told()[0].find("below-a-file.ini"), std::string::npos) << told()[0];
    EXPECT_TRUE(working.WriteString("S", "k", "w").ok());
    EXPECT_EQ(file.WriteCount(), 0u);
    EXPECT_FALSE(report::WriteFilterEnabled(broken, "User", true));
    EXPECT_EQ(told().size(), 2u);

    // Said already (a file that could not be read at the start): quiet
    // until a write succeeds.
    notice.Told();
    EXPECT_FALSE(report::WriteFilterEnabled(broken, "User", false));
    EXPECT_EQ(told().size(), 2u);
    notice.Tell({});
    EXPECT_FALSE(report::WriteFilterEnabled(broken, "User", false));
    EXPECT_EQ(told().size(), 3u);
}

}  // namespace
}  // namespace vellrun::settings
