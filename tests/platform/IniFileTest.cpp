// The INI file: names without case, quotes stripped, stray lines tolerated and
// kept, and writes that replace the file whole or not at all.

#include "platform/IniFile.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::platform {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-ini"};
    void SetUp() override { dir_ = temp_.Path(); }
    // A test may take the folder's permissions away; the folder is removed after this.
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    }

    static void Put(const fs::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static std::string Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    size_t FilesInDir() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }

    fs::path dir_;
};

TEST_F(IniFileTest, NamesIgnoreCaseAndQuotesAreStripped) {
    const fs::path path = dir_ / "a.ini";
    Put(path,
        "[Settings]\n"
        "Key1 = \"quoted value\"  \n"
        "key2=  plain  \n"
        "Equals=a=b\n"
        "One=\"\n"
        "Empty=\"\"\n"
        "Inner=\"say \"hi\"\"\n"
        "[Tree: Ünïcode]\n"
        "Straße=1\n");
    const IniFile file(path);
    EXPECT_EQ(file.ReadValue("SETTINGS", "KEY1"), "quoted value");
    EXPECT_EQ(file.ReadValue("settings", "Key2"), "plain");
    EXPECT_EQ(file.ReadValue("Settings", "equals"), "a=b");
    EXPECT_EQ(file.ReadValue("Settings", "One"), "\"");
    EXPECT_EQ(file.ReadValue("Settings", "Empty"), "");
    EXPECT_EQ(file.ReadValue("Settings", "Inner"), "say \"hi\"");  // only the outer pair goes
    EXPECT_EQ(file.ReadValue("TREE: üNÏCODE", "STRA\u1E9EE"), "1");
    EXPECT_EQ(file.ReadValue("Settings", "missing"), std::nullopt);
    EXPECT_EQ(file.ReadValue("Nowhere", "Key1"), std::nullopt);
    EXPECT_EQ(file.ReadString("Nowhere", "Key1", "dflt"), "dflt");
    EXPECT_TRUE(file.SectionExists("tree: ünïcode"));
    EXPECT_FALSE(file.SectionExists("Tree"));
    EXPECT_EQ(file.ReadSectionNames(), (std::vector<std::string>{"Settings", "Tree: Ünïcode"}));

    // A write in another case replaces the line in place; nothing is duplicated.
    IniFile writer(path);
    ASSERT_TRUE(writer.WriteString("SETTINGS", "KEY2", "new").ok());
    ASSERT_TRUE(writer.WriteString("settings", "Added", "x").ok());
    ASSERT_TRUE(writer.WriteString("Other", "k", "v").ok());
    EXPECT_EQ(Get(path),
              "[Settings]\n"
              "Key1 = \"quoted value\"  \n"
              "key2=new\n"
              "Equals=a=b\n"
              "One=\"\n"
              "Empty=\"\"\n"
              "Inner=\"say \"hi\"\"\n"
              "Added=x\n"
              "[Tree: Ünïcode]\n"
              "Straße=1\n"
              "[Other]\n"
              "k=v\n");
    // The other object sees the write at once.
    EXPECT_EQ(file.ReadValue("settings", "key2"), "new");

    // Names are stored without their surrounding blanks, so they are looked
    // up without them too: what was written under a name reads back by it.
    ASSERT_TRUE(writer.WriteString(" Other ", " Mode 1 ", "2").ok());
    EXPECT_EQ(file.ReadValue(" Other ", " Mode 1 "), "2");
    EXPECT_EQ(file.ReadValue("other", "mode 1"), "2");
    EXPECT_TRUE(file.ValueExists("Other\t", "Mode 1 "));
    ASSERT_TRUE(writer.DeleteKey("Other", " Mode 1").ok());
    EXPECT_FALSE(file.ValueExists("Other", "Mode 1"));
    EXPECT_EQ(file.ReadSectionNames().back(), "Other");
}

TEST_F(IniFileTest, NamesThatDifferOnlyInFullCaseFoldingStayApart) {
    const fs::path path = dir_ / "classes.ini";
    IniFile file(path);
    ASSERT_TRUE(file.WriteString("Object Class: Ma\u00DFe", "Filter 1", "metric").ok());
    ASSERT_TRUE(file.WriteString("Object Class: Masse", "Filter 1", "mass").ok());
    ASSERT_TRUE(file.WriteString("OBJECT CLASS: \u00C9T\u00C9", "Filter 1", "summer").ok());
    EXPECT_EQ(file.ReadValue("object class: ma\u00DFe", "filter 1"), "metric");
    EXPECT_EQ(file.ReadValue("Object Class: MASSE", "Filter 1"), "mass");
    EXPECT_EQ(file.ReadValue("Object Class: \u00E9t\u00E9", "Filter 1"), "summer");
    EXPECT_EQ(file.ReadSectionNames().size(), 3u);
}

TEST_F(IniFileTest, AWindowsFileLoadsAndARewriteKeepsItsLineEnds) {
    // Windows-1252 bytes (0xE4 is a-umlaut, 0x80 the euro sign) and CR LF.
    const fs::path file = dir_ / "old.ini";
    Put(file, "[General]\r\nContainer=S\xE4lj.O1\r\nPrice=5 \x80\r\n");
    IniFile ini(file);
    EXPECT_EQ(ini.ReadString("General", "Container", ""), "S\u00e4lj.O1");
    EXPECT_EQ(ini.ReadString("General", "Price", ""), "5 \u20ac");
    ASSERT_TRUE(ini.WriteString("General", "Tree", "CORP").ok());
    EXPECT_EQ(Get(file), "[General]\r\nContainer=S\u00e4lj.O1\r\nPrice=5 \u20ac\r\nTree=CORP\r\n");

    // LF stays LF; a new file is UTF-8 with LF.
    const fs::path unix = dir_ / "unix.ini";
    Put(unix, "[A]\nx=1\n");
    ASSERT_TRUE(IniFile(unix).WriteString("A", "y", "\u00e4").ok());
    EXPECT_EQ(Get(unix), "[A]\nx=1\ny=\u00e4\n");
    const fs::path fresh = dir_ / "new.ini";
    ASSERT_TRUE(IniFile(fresh).WriteString("A", "y", "\u00e4").ok());
    EXPECT_EQ(Get(fresh), "[A]\ny=\u00e4\n");
}

TEST_F(IniFileTest, StrayLinesAreIgnoredOnReadAndKeptOnWrite) {
    const fs::path path = dir_ / "garbage.ini";
    const std::string original =
        "\xEF\xBB\xBF"
        "stray before any section\r\n"
        "Top=ignored, no section\r\n"
        "[Settings]\r\n"
        "; a comment=with equals\r\n"
        "no equals sign here\r\n"
        "=value without key\r\n"
        "\x01\xFF\xFE binary junk\r\n"
        "Good=1\r\n"
        "[unterminated\r\n"
        "Inside=2\r\n"
        "[]\r\n"
        "Last=3";  // no final line break
    Put(path, original);
    IniFile file(path);
    EXPECT_EQ(file.ReadValue("Settings", "Good"), "1");
    EXPECT_EQ(file.ReadValue("Settings", "Top"), std::nullopt);
    EXPECT_EQ(file.ReadValue("unterminated", "Inside"), "2");
    EXPECT_EQ(file.ReadValue("", "Last"), "3");
    EXPECT_EQ(file.ReadSection("Settings"),
              (std::vector<std::pair<std::string, std::string>>{{"Good", "1"}}));

    // Kept in their place, with the file's CR LF; bytes that are no UTF-8
    // were read as Windows-1252 and are written as UTF-8.
    ASSERT_TRUE(file.WriteString("Settings", "Good", "0").ok());
    EXPECT_EQ(Get(path),
              "stray before any section\r\n"
              "Top=ignored, no section\r\n"
              "[Settings]\r\n"
              "; a comment=with equals\r\n"
              "no equals sign here\r\n"
              "=value without key\r\n"
              "\x01\xC3\xBF\xC3\xBE binary junk\r\n"
              "Good=0\r\n"
              "[unterminated\r\n"
              "Inside=2\r\n"
              "[]\r\n"
              "Last=3\r\n");
}

TEST_F(IniFileTest, OnlyRealChangesReachTheDisk) {
    const fs::path path = dir_ / "count.ini";
    IniFile file(path);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(file.EraseSection("None").ok());
    EXPECT_TRUE(file.DeleteKey("None", "k").ok());
    EXPECT_FALSE(fs::exists(path));  // nothing to do creates no file
    EXPECT_EQ(file.WriteCount(), 0u);

    ASSERT_TRUE(file.WriteString("S", "k", "v").ok());
    ASSERT_TRUE(file.WriteString("S", "k", "v").ok());  // same line: no rewrite
    EXPECT_EQ(file.WriteCount(), 1u);
    ASSERT_TRUE(file.WriteString("S", "j", "w").ok());
    ASSERT_TRUE(file.WriteString("T", "k", "x").ok());
    ASSERT_TRUE(file.DeleteKey("s", "K").ok());
    EXPECT_EQ(Get(path), "[S]\nj=w\n[T]\nk=x\n");
    ASSERT_TRUE(file.EraseSection("s").ok());
    EXPECT_EQ(Get(path), "[T]\nk=x\n");
    EXPECT_EQ(file.WriteCount(), 5u);

    // Names and values that one line cannot hold are refused, file untouched.
    for (const auto& [section, key, value] : {std::tuple{"S", "a=b", "v"},
                                              {"S", "k", "two\nlines"},
                                              {"S", "", "v"},
                                              {"", "k", "v"},
                                              {"a]b", "k", "v"},
                                              {"S", "[k", "v"},
                                              {"S", ";k", "v"},
                                              {"S\n", "k", "v"}}) {
        EXPECT_FALSE(file.WriteString(section, key, value).ok()) << key << value;
    }
    EXPECT_EQ(Get(path), "[T]\nk=x\n");
    EXPECT_EQ(file.WriteCount(), 5u);
}

// A batch replaces the file once for all its writes; the object that holds
// them reads them back at once, and keys that another writer put meanwhile
// are kept, with the batch's own writes made after them in their order.
TEST_F(IniFileTest, ABatchReplacesTheFileOnceAndKeepsOtherWriters) {
    const fs::path path = dir_ / "batch.ini";
    Put(path, "[Old]\na=1\nb=2\n[Keep]\nk=v\n");
    IniFile file(path);
    IniFile other(path);
    {
        IniFile::Batch batch(file);
        IniFile::Batch inner(file);  // leaves the writes to the outer batch
        ASSERT_TRUE(file.EraseSection("Old").ok());
        for (int key = 0; key < 40; ++key)
            ASSERT_TRUE(file.WriteString("Old", std::to_string(key), "x").ok());
        ASSERT_TRUE(file.DeleteKey("Keep", "k").ok());
        EXPECT_TRUE(inner.Commit().ok());
        EXPECT_EQ(file.ReadSection("Old").size(), 40u);
        EXPECT_FALSE(file.ValueExists("Keep", "k"));
        EXPECT_EQ(other.ReadString("Old", "a", ""), "1");  // the file is as it was
        ASSERT_TRUE(other.WriteString("Meanwhile", "m", "1").ok());
        ASSERT_TRUE(other.WriteString("Old", "a", "3").ok());
        EXPECT_EQ(file.WriteCount(), 0u);
        EXPECT_TRUE(batch.Commit().ok());
        EXPECT_EQ(file.WriteCount(), 1u);
        EXPECT_TRUE(batch.Commit().ok());  // nothing left to write
    }
    EXPECT_EQ(file.WriteCount(), 1u);
    const IniText text(Get(path));
    EXPECT_EQ(text.ReadString("Meanwhile", "m", ""), "1");
    EXPECT_FALSE(text.ValueExists("Old", "a"));  // erased after the other's write
    EXPECT_EQ(text.ReadSection("Old").size(), 40u);
    EXPECT_FALSE(text.ValueExists("Keep", "k"));

    // After the batch every write goes to the file at once again.
    ASSERT_TRUE(file.WriteString("After", "k", "v").ok());
    EXPECT_EQ(IniFile(path).ReadString("After", "k", ""), "v");
}

// A batch whose file turns unreadable before its commit reports that at the
// commit, naming the file, and replaces nothing.
TEST_F(IniFileTest, ABatchThatCannotWriteSaysSo) {
    const fs::path path = dir_ / "gone.ini";
    Put(path, "[S]\nk=v\n");
    IniFile file(path);
    IniFile::Batch batch(file);
    ASSERT_TRUE(file.WriteString("S", "k", "w").ok());
    fs::remove(path);
    fs::create_directory(path);
    const FileStatus status = batch.CommitAfter({});
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.error.find("gone.ini"), std::string::npos) << status.error;
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(batch.CommitAfter(FileStatus::Failed("first")).error, "first");
}

TEST_F(IniFileTest, AFailedWriteLeavesThePreviousFileWhole) {
    // A folder that is a regular file: no temporary file can be made, even as root.
    const fs::path notAFolder = dir_ / "plain-file";
    Put(notAFolder, "x");
    IniFile inside(notAFolder / "a.ini");
    const FileStatus refused = inside.WriteString("S", "k", "v");
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.error.find("a.ini"), std::string::npos) << refused.error;
    EXPECT_EQ(Get(notAFolder), "x");

    IniFile missingFolder(dir_ / "missing" / "a.ini");
    EXPECT_FALSE(missingFolder.WriteString("S", "k", "v").ok());
    EXPECT_FALSE(fs::exists(dir_ / "missing"));

    // A write that fails half-way (the file size limit, which binds root too):
    // the old file stays as it was and no temporary file is left behind.
    const fs::path path = dir_ / "whole.ini";
    const std::string original = "[S]\nk=old\n";
    Put(path, original);
    IniFile file(path);
    FileStatus failed;
    {
        const testing::ScopedFileSizeLimit full(64);
        ASSERT_TRUE(full.Set());
        failed = file.WriteString("S", "k", std::string(1000, 'n'));
    }
    EXPECT_FALSE(failed.ok());
    EXPECT_EQ(Get(path), original);
    // plain-file, whole.ini and the lock file beside it, nothing else.
    EXPECT_EQ(FilesInDir(), 3u) << "a temporary file was left behind";
    EXPECT_TRUE(fs::exists(dir_ / ".whole.ini.lock"));
    EXPECT_EQ(file.WriteCount(), 0u);

    // A read-only file is refused, to root as to anyone, and stays as it was.
    fs::permissions(path, fs::perms::owner_read);
    EXPECT_FALSE(file.WriteString("S", "k", "new").ok());
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Get(path), original);

    // A writable file in a folder where nothing may be made is no failure:
    // it is rewritten in place, and nothing is left beside it (root may
    // write in the folder all the same, and the file is replaced as usual).
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    const FileStatus inPlace = file.WriteString("S", "k", "kept");
    fs::permissions(dir_, fs::perms::owner_all);
    EXPECT_TRUE(inPlace.ok()) << inPlace.error;
    EXPECT_EQ(Get(path), "[S]\nk=kept\n");
    EXPECT_EQ(FilesInDir(), 3u);

    // The next write that can succeed does.
    ASSERT_TRUE(file.WriteString("S", "k", "new").ok());
    EXPECT_EQ(Get(path), "[S]\nk=new\n");
}

TEST_F(IniFileTest, AWriteKeepsTheModeAndFollowsALink) {
    const fs::path real = dir_ / "real.ini";
    Put(real, "[S]\nk=1\n");
    ::chmod(real.c_str(), 0640);
    const fs::path link = dir_ / "link.ini";
    fs::create_symlink(real, link);
    IniFile file(link);
    ASSERT_TRUE(file.WriteString("S", "k", "2").ok());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get(real), "[S]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(::stat(real.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(IniFileTest, TwoProgramsWritingAtOnceLoseNoKey) {
    const fs::path path = dir_ / "shared.ini";
    constexpr int kKeys = 60;
    std::vector<pid_t> children;
    for (int program = 0; program < 2; ++program) {
        const pid_t child = ::fork();
        if (child == 0) {
            IniFile file(path);
            bool ok = true;
            for (int key = 0; key < kKeys; ++key) {
                ok = file.WriteString("Settings",
                                      "P" + std::to_string(program) + "K" + std::to_string(key),
                                      std::to_string(key))
                         .ok() &&
                     ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(IniFile(path).ReadSection("Settings").size(), 2u * kKeys);
}

TEST_F(IniFileTest, ARewriteGivesBackEveryOtherLineByteForByte) {
    // LF lines, one value ending in a stray CR (its line ends CR CR LF), one
    // CR LF line, and a last line without its end.
    const fs::path path = dir_ / "mixed.ini";
    Put(path, "[S]\nstray=v\r\r\ncrlf=w\r\nk=old\n[T]\nlast=x");
    IniFile file(path);
    EXPECT_EQ(file.ReadValue("S", "stray"), "v\r");
    ASSERT_TRUE(file.WriteString("S", "k", "new").ok());
    EXPECT_EQ(Get(path), "[S]\nstray=v\r\r\ncrlf=w\r\nk=new\n[T]\nlast=x\n");
    EXPECT_EQ(file.ReadValue("S", "stray"), "v\r");
    ASSERT_TRUE(file.WriteString("T", "added", "y").ok());
    EXPECT_EQ(Get(path), "[S]\nstray=v\r\r\ncrlf=w\r\nk=new\n[T]\nlast=x\nadded=y\n");

    // A file that stops after the CR of its last CR LF: the value is the same
    // before and after any rewrite, and the file's end stays as it was.
    Put(path, "[S]\nk=old\n[T]\nlast=x\r");
    IniFile cut(path);
    EXPECT_EQ(cut.ReadValue("T", "last"), "x");
    ASSERT_TRUE(cut.WriteString("S", "k", "new").ok());
    EXPECT_EQ(Get(path), "[S]\nk=new\n[T]\nlast=x\r");
    ASSERT_TRUE(cut.WriteString("T", "added", "y").ok());
    EXPECT_EQ(cut.ReadValue("T", "last"), "x");
    EXPECT_EQ(Get(path), "[S]\nk=new\n[T]\nlast=x\r\nadded=y\n");
}

TEST_F(IniFileTest, OnlyARegularFileIsReadOrReplaced) {
    // A FIFO without a writer reads as no file at once and is not replaced.
    const fs::path fifo = dir_ / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    IniFile pipe(fifo);
    EXPECT_EQ(pipe.ReadValue("S", "k"), std::nullopt);
    const FileStatus refused = pipe.WriteString("S", "k", "v");
    EXPECT_NE(refused.error.find("not a regular file"), std::string::npos) << refused.error;
    EXPECT_TRUE(fs::is_fifo(fifo));

    fs::create_directory(dir_ / "folder.ini");
    const FileStatus folder = IniFile(dir_ / "folder.ini").WriteString("S", "k", "v");
    EXPECT_NE(folder.error.find("is a folder"), std::string::npos) << folder.error;
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.ini"));
}

TEST_F(IniFileTest, APreservedValueReadsBackExactly) {
    IniFile file(dir_ / "ends.ini");
    for (const std::string value :
         {" lead", "trail ", "\tboth\t", "   ", "\"quoted\"", "\"", "\"x", "in \"side\" it", ""}) {
        ASSERT_TRUE(file.WriteString("S", "k", IniPreserved(value)).ok());
        EXPECT_EQ(file.ReadValue("S", "k"), value);
    }
    EXPECT_EQ(IniPreserved("plain text"), "plain text");  // nothing to protect: as it is
}

}  // namespace
}  // namespace vellrun::platform
