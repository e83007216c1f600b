// The main window's own keys of the INI file: the "Settings" keys outside the
// dialog, the per-tree memory and the per-class attribute lists, written by
// one run and read by the next.

#include "settings/MainWindowKeys.h"
#include "support/TempDir.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <unistd.h>

namespace vellrun::settings {
namespace {

namespace fs = std::filesystem;
using platform::IniFile;
using Strings = std::vector<std::string>;

class MainWindowKeysTest : public ::testing::Test {
protected:
    void Put(const std::string& text) const { testing::WriteFile(path_, text); }
    std::string Get() const { return testing::ReadFile(path_); }

    testing::TempDir temp_{"vellrun-keys"};
    const fs::path& dir_ = temp_.Path();
    fs::path path_ = dir_ / "vellrun.ini";
    SectionCache cache_;
};

TEST_F(MainWindowKeysTest, NoFileGivesTheDefaults) {
    const IniFile file(path_);
    EXPECT_EQ(ReadMainWindowState(file, cache_), MainWindowState{});
    EXPECT_EQ(ReadMainWindowState(file, cache_).outputType, 0);
    EXPECT_EQ(ReadMainWindowState(file, cache_).reportPath, "");
    EXPECT_EQ(ReadTreeMemory(file, cache_, "CORP").objectType, "User");
    EXPECT_TRUE(ReadClassAttributes(file, "User").empty());
    EXPECT_FALSE(fs::exists(path_));
}

TEST_F(MainWindowKeysTest, WhatOneRunWritesTheNextReads) {
    const MainWindowState state{"CORP", 3, "/home/ann/reports", true, true};
    const TreeMemory memory{"OU=Sales.O=corp", "Group", true};
    {
        IniFile file(path_);
        ASSERT_TRUE(WriteMainWindowState(file, cache_, state).ok());
        ASSERT_TRUE(WriteTreeMemory(file, cache_, "CORP", memory).ok());
        ASSERT_TRUE(WriteClassAttributes(file, cache_, "User", {"CN", "Surname", "a=b"}).ok());
        // Closing again with nothing changed costs no write.
        const uint64_t writes = file.WriteCount();
        ASSERT_TRUE(WriteMainWindowState(file, cache_, state).ok());
        ASSERT_TRUE(WriteTreeMemory(file, cache_, "CORP", memory).ok());
        EXPECT_EQ(file.WriteCount(), writes);
    }
    const IniFile fresh(path_);
    SectionCache cache;
    EXPECT_EQ(ReadMainWindowState(fresh, cache), state);
    EXPECT_EQ(ReadTreeMemory(fresh, cache, "CORP"), memory);
    EXPECT_EQ(ReadTreeMemory(fresh, cache, "OTHER"), TreeMemory{});
    EXPECT_EQ(ReadClassAttributes(fresh, "User"), (Strings{"CN", "Surname", "a=b"}));
    EXPECT_EQ(fresh.ReadValue("Settings", "CheckBoxRecurse"), "1");
    EXPECT_EQ(fresh.ReadValue("Tree: CORP", "Object Type"), "Group");
}

TEST_F(MainWindowKeysTest, BracketsAreRemovedFromSectionNames) {
    EXPECT_EQ(TreeSectionName("[CORP]"), "Tree: CORP");
    EXPECT_EQ(ClassSectionName("Top[1]"), "Object Class: Top1");
    IniFile file(path_);
    ASSERT_TRUE(WriteClassAttributes(file, cache_, "Top[1]", {"CN"}).ok());
    ASSERT_TRUE(WriteTreeMemory(file, cache_, "[CORP]", {"O=corp", "User", false}).ok());
    EXPECT_EQ(Get(),
              "[Object Class: Top1]\n0=CN\n"
              "[Tree: CORP]\nContext=O=corp\nObject Type=User\nRecurse=0\n");
    EXPECT_EQ(ReadClassAttributes(file, "Top[1]"), Strings{"CN"});
    EXPECT_EQ(ReadTreeMemory(IniFile(path_), cache_, "[CORP]").context, "O=corp");
}

TEST_F(MainWindowKeysTest, TheClassListIsRewrittenWhole) {
    IniFile file(path_);
    ASSERT_TRUE(WriteClassAttributes(file, cache_, "User", {"CN", "Surname", "Title"}).ok());
    ASSERT_TRUE(WriteClassAttributes(file, cache_, "User", {"Title"}).ok());
    EXPECT_EQ(Get(), "[Object Class: User]\n0=Title\n");
    EXPECT_EQ(ReadClassAttributes(file, "User"), Strings{"Title"});
    ASSERT_TRUE(WriteClassAttributes(file, cache_, "User", {}).ok());
    EXPECT_FALSE(file.SectionExists("Object Class: User"));
}

TEST_F(MainWindowKeysTest, ReadingDropsEmptyEntriesAndCutsLongOnes) {
    const std::string longName(300, 'a');
    // 254 ASCII characters then "é" (two bytes) and more: the cut keeps the
    // whole "é" as the 255th character.
    const std::string accented = std::string(254, 'b') + "\xC3\xA9" + "tail";
    Put("[Object Class: User]\n0=CN\n1=\n2=  \n3=" + longName + "\n7=" + accented +
        "\n8=Surname\n");
    const Strings read = ReadClassAttributes(IniFile(path_), "User");
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0], "CN");
    EXPECT_EQ(read[1], std::string(255, 'a'));
    EXPECT_EQ(read[2], std::string(254, 'b') + "\xC3\xA9");
    EXPECT_EQ(read[3], "Surname");
}

TEST_F(MainWindowKeysTest, MalformedValuesGiveTheDefaults) {
    Put("[Settings]\nOutput=abc\nCheckBoxFilter=true\n[Tree: CORP]\nObject Type=\n");
    const IniFile file(path_);
    EXPECT_EQ(ReadMainWindowState(file, cache_).outputType, 0);
    EXPECT_FALSE(ReadMainWindowState(file, cache_).filter);
    EXPECT_EQ(ReadTreeMemory(file, cache_, "CORP").objectType, "User");
    // A number that names no output type must not select one.
    for (const char* text : {"5", "-1", "4"}) {
        Put(std::string("[Settings]\nOutput=") + text + "\n");
        SectionCache cache;
        EXPECT_EQ(ReadMainWindowState(IniFile(path_), cache).outputType,
                  std::string(text) == "4" ? 4 : 0)
            << text;
    }
}

TEST_F(MainWindowKeysTest, AFailedWriteIsReported) {
    IniFile file(dir_ / "missing" / "vellrun.ini");
    EXPECT_FALSE(WriteMainWindowState(file, cache_, {"CORP", 1, "", false, false}).ok());
    EXPECT_FALSE(WriteTreeMemory(file, cache_, "CORP", {}).ok());
    EXPECT_FALSE(WriteClassAttributes(file, cache_, "User", {"CN"}).ok());
    // An attribute that cannot be stored in a line is refused, not split.
    IniFile good(path_);
    EXPECT_FALSE(WriteClassAttributes(good, cache_, "User", {"CN", "bad\nline"}).ok());
    EXPECT_EQ(ReadClassAttributes(good, "User"), Strings{"CN"});
}

}  // namespace
}  // namespace vellrun::settings
