// A class's filter is remembered in the INI file and read back by the next run.

#include "report/ResultFilter.h"
#include "settings/IniKeyValueSource.h"
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

}  // namespace
}  // namespace vellrun::settings
