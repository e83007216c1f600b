// The settings store: where the INI file lives, change-only writers, cached
// readers, window-state records, histories, lists of lines and the
// "Settings" section written by one run and read by the next.

#include "settings/MainWindowKeys.h"
#include "settings/SettingsStore.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include <gtest/gtest.h>
#include <unistd.h>

namespace vellrun::settings {
namespace {

namespace fs = std::filesystem;
using platform::IniFile;

class SettingsStoreTest : public ::testing::Test {
protected:
    void Put(const std::string& text) const { testing::WriteFile(path_, text); }
    std::string Get() const { return testing::ReadFile(path_); }

    static platform::DateTimeFormats System() {
        platform::DateTimeFormats system;
        system.shortDate = "dd.MM.yy";
        system.shortTime = "hh:nn";
        return system;
    }

    testing::TempDir temp_{"vellrun-store"};
    const fs::path& dir_ = temp_.Path();
    fs::path path_ = dir_ / "vellrun.ini";
    SectionCache cache_;
};

TEST_F(SettingsStoreTest, ThePerUserFileLivesInTheConfigFolder) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::optional<std::string> previous =
        old ? std::optional<std::string>(old) : std::nullopt;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    EXPECT_EQ(SettingsFilePath(true), dir_ / "vellrun" / "vellrun.ini");
    EXPECT_EQ(SettingsFilePath(false).filename(), "vellrun.ini");
    EXPECT_NE(SettingsFilePath(false).parent_path(), dir_ / "vellrun");
    IniFile file = OpenSettingsFile(true);
    EXPECT_TRUE(fs::is_directory(dir_ / "vellrun"));  // so the first write can succeed
    EXPECT_TRUE(IniWriteInteger(file, cache_, "Settings", "Output", 2).ok());
    EXPECT_EQ(IniFile(dir_ / "vellrun" / "vellrun.ini").ReadValue("Settings", "Output"), "2");
    if (previous) {
        setenv("XDG_CONFIG_HOME", previous->c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
}

TEST_F(SettingsStoreTest, WritersCleanNamesAndSkipWhatIsStoredAlready) {
    EXPECT_EQ(CleanIniName("Tree: [CORP]]["), "Tree: CORP");
    IniFile file(path_);
    ASSERT_TRUE(IniWriteString(file, cache_, "Tree: [CORP]", "Con[text]", "O=corp").ok());
    EXPECT_EQ(Get(), "[Tree: CORP]\nContext=O=corp\n");
    ASSERT_TRUE(IniWriteString(file, cache_, "Tree: CORP", "[]", "lost").ok());  // empty key
    EXPECT_EQ(file.WriteCount(), 1u);

    // Equal values cost no write, whatever the case of the names.
    ASSERT_TRUE(IniWriteString(file, cache_, "tree: corp", "CONTEXT", "O=corp").ok());
    ASSERT_TRUE(IniWriteInteger(file, cache_, "S", "n", 7).ok());
    ASSERT_TRUE(IniWriteInteger(file, cache_, "S", "N", 7).ok());
    ASSERT_TRUE(IniWriteBool(file, cache_, "S", "b", false).ok());
    ASSERT_TRUE(IniWriteBool(file, cache_, "S", "B", false).ok());
    EXPECT_EQ(file.WriteCount(), 3u);
    const auto stamp = fs::last_write_time(path_);
    ASSERT_TRUE(IniWriteBool(file, cache_, "S", "b", false).ok());
    EXPECT_EQ(fs::last_write_time(path_), stamp);

    // A quoted value whose text is stored already counts as stored.
    ASSERT_TRUE(IniWriteString(file, cache_, "H", "0", "\"  padded \"").ok());
    ASSERT_TRUE(IniWriteString(file, cache_, "H", "0", "\"  padded \"").ok());
    EXPECT_EQ(file.ReadValue("H", "0"), "  padded ");
    EXPECT_EQ(file.WriteCount(), 4u);

    // Every number reaches a key that does not exist yet, even the one that
    // served as "nothing stored" (it used to be lost).
    ASSERT_TRUE(IniWriteInteger(file, cache_, "S", "odd", -999666).ok());
    EXPECT_EQ(file.ReadValue("S", "odd"), "-999666");
    // A stored "true" is no "1": the boolean is written as the program writes it.
    Put("[S]\nflag=true\n");
    ASSERT_TRUE(IniWriteBool(file, cache_, "S", "flag", true).ok());
    EXPECT_EQ(Get(), "[S]\nflag=1\n");
}

TEST_F(SettingsStoreTest, AFailedWriteIsReportedAndShownForTexts) {
    const fs::path notAFolder = dir_ / "file";
    std::ofstream(notAFolder) << "x";
    IniFile file(notAFolder / "vellrun.ini");
    testing::ScriptedMessagePort port;
    const IniStatus status = IniWriteString(file, cache_, "S", "k", "v", &port);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(port.Texts(testing::ScriptedMessagePort::Kind::Plain),
              std::vector<std::string>{status.error});
    EXPECT_FALSE(IniWriteInteger(file, cache_, "S", "k", 1).ok());
    EXPECT_FALSE(IniWriteBool(file, cache_, "S", "k", true).ok());
    EXPECT_FALSE(WriteSettingsSection(file, cache_, AppSettings::DialogDefaults(System())).ok());
    EXPECT_FALSE(SaveBounds(file, cache_, "", "MainForm", {1, 2, 3, 4}).ok());
    EXPECT_EQ(port.boxes.size(), 1u);  // only the text writer given the port shows a box
}

// The file reads at the start, then for a moment does not (a folder stands
// in its place, as a failing disk would): what the failed reads gave are
// defaults, not the file's values, so nothing of this run is written back
// over it, and the cache keeps no section that stood for the file.
TEST_F(SettingsStoreTest, AReadThatFailsMidRunWritesNothingBack) {
    const std::string original =
        "[Settings]\nOutput=3\nPanelLeft.Width=420\n[Tree: BENCH]\nContext=.OU0001.Bench\n";
    Put(original);
    IniFile file(path_);
    MainWindowState window = ReadMainWindowState(file, cache_);
    EXPECT_EQ(window.outputType, 3);
    EXPECT_TRUE(file.ReadFault().empty());

    const fs::path aside = dir_ / "aside.ini";
    fs::rename(path_, aside);
    fs::create_directory(path_);
    const TreeMemory memory = ReadTreeMemory(file, cache_, "BENCH");
    EXPECT_EQ(memory.context, "");
    std::array<PaneSize, 1> panes{PaneSize{"PanelLeft", false, 340}};
    RestoreSplitterSizes(file, cache_, "Settings", panes);
    EXPECT_EQ(panes[0].size, 340);
    EXPECT_NE(file.ReadFault().find("is a folder"), std::string::npos) << file.ReadFault();
    fs::remove(path_);
    fs::rename(aside, path_);

    EXPECT_EQ(CachedReadInteger(file, cache_, "Settings", "PanelLeft.Width", 340), 420);
    window.outputType = 0;
    EXPECT_FALSE(WriteMainWindowState(file, cache_, window).ok());
    panes[0].size = 500;
    EXPECT_FALSE(SaveSplitterSizes(file, cache_, "Settings", panes).ok());
    const IniStatus refused = WriteTreeMemory(file, cache_, "BENCH", memory);
    EXPECT_NE(refused.error.find("an earlier read of it failed"), std::string::npos)
        << refused.error;
    EXPECT_EQ(Get(), original);

    // Another object on the file that read it whole writes, unless it takes
    // the fault over.
    IniFile other(path_);
    EXPECT_TRUE(other.WriteString("Settings", "Output", "4").ok());
    other.AdoptReadFault(file);
    EXPECT_FALSE(other.WriteString("Settings", "Output", "1").ok());
    EXPECT_EQ(other.ReadValue("Settings", "Output"), "4");
}

TEST_F(SettingsStoreTest, CachedReadsReadTheSectionOnceAndFollowWrites) {
    Put("[Settings]\nNum=12\nBad=12x\nYes=1\nWord=true\nText=abc\nEmpty=\n[Other]\nNum=5\n");
    IniFile file(path_);
    EXPECT_EQ(CachedReadInteger(file, cache_, "Settings", "num", 0), 12);
    EXPECT_EQ(CachedReadInteger(file, cache_, "Settings", "Bad", -1), -1);
    EXPECT_EQ(CachedReadInteger(file, cache_, "Settings", "Missing", 3), 3);
    EXPECT_TRUE(CachedReadBool(file, cache_, "Settings", "Yes", false));
    EXPECT_FALSE(CachedReadBool(file, cache_, "Settings", "Word", true));
    EXPECT_TRUE(CachedReadBool(file, cache_, "Settings", "Empty", true));
    EXPECT_EQ(CachedReadString(file, cache_, "Settings", "[Text]", "d"), "abc");
    EXPECT_EQ(CachedReadString(file, cache_, "Settings", "Empty", "d"), "d");
    EXPECT_EQ(cache_.SectionReads(), 1u);
    EXPECT_EQ(CachedReadInteger(file, cache_, "Other", "Num", 0), 5);
    EXPECT_EQ(cache_.SectionReads(), 2u);

    // Writes through the writers, by this object or another on the same
    // file, keep the cached section true.
    EXPECT_EQ(CachedReadString(file, cache_, "Settings", "Text", "d"), "abc");
    IniFile dialogs(path_);
    ASSERT_TRUE(IniWriteString(dialogs, cache_, "SETTINGS", "text", "new").ok());
    EXPECT_EQ(CachedReadString(file, cache_, "Settings", "Text", "d"), "new");
    ASSERT_TRUE(IniWriteString(file, cache_, "Settings", "Text", "").ok());
    EXPECT_EQ(CachedReadString(file, cache_, "Settings", "Text", "d"), "d");
    ASSERT_TRUE(IniWriteInteger(file, cache_, "Settings", "Added", 9).ok());
    EXPECT_EQ(CachedReadInteger(file, cache_, "Settings", "Added", 0), 9);
    EXPECT_EQ(cache_.SectionReads(), 3u);

    // A section rewritten whole is read again.
    platform::StringList lines;
    lines.Add("only");
    ASSERT_TRUE(SaveStringsSection(file, cache_, "Settings", lines, false).ok());
    EXPECT_EQ(CachedReadInteger(file, cache_, "Settings", "Num", -1), -1);
    EXPECT_EQ(CachedReadString(file, cache_, "Settings", "0", ""), "only");
}

TEST_F(SettingsStoreTest, BoundsSplittersAndFontRoundTrip) {
    IniFile file(path_);
    ASSERT_TRUE(SaveBounds(file, cache_, "", "MainForm", {10, 20, 800, 600}).ok());
    ASSERT_TRUE(SaveBounds(file, cache_, "Settings", "MainForm", {0, 5, 0, 300}).ok());
    EXPECT_EQ(file.ReadValue("MainForm", "MainForm.Top"), "10");
    EXPECT_EQ(file.ReadValue("Settings", "MainForm.Height"), "300");

    WindowBounds bounds{1, 2, 3, 4};
    RestoreBounds(file, cache_, "", "MainForm", bounds);
    EXPECT_EQ(bounds, (WindowBounds{10, 20, 800, 600}));
    RestoreBounds(file, cache_, "Settings", "MainForm", bounds);  // stored zeros are not applied
    EXPECT_EQ(bounds, (WindowBounds{10, 5, 800, 300}));
    RestoreBounds(file, cache_, "Nowhere", "MainForm", bounds);
    EXPECT_EQ(bounds, (WindowBounds{10, 5, 800, 300}));

    const std::vector<PaneSize> saved{{"PanelObjects", false, 220}, {"PanelTop", true, 90}};
    ASSERT_TRUE(SaveSplitterSizes(file, cache_, "Settings", saved).ok());
    EXPECT_EQ(file.ReadValue("Settings", "PanelObjects.Width"), "220");
    EXPECT_EQ(file.ReadValue("Settings", "PanelTop.Height"), "90");
    std::vector<PaneSize> panes{
        {"PanelObjects", false, 1}, {"PanelTop", true, 2}, {"PanelLeft", false, 33}};
    RestoreSplitterSizes(file, cache_, "Settings", panes);
    EXPECT_EQ(panes[0].size, 220);
    EXPECT_EQ(panes[1].size, 90);
    EXPECT_EQ(panes[2].size, 33);

    const FontRecord font{"DejaVu Sans", 0, 255, 11, FontRecord::kBold | FontRecord::kItalic};
    ASSERT_TRUE(SaveFont(file, cache_, "Settings", font).ok());
    const uint64_t writes = file.WriteCount();
    ASSERT_TRUE(SaveFont(file, cache_, "Settings", font).ok());
    EXPECT_EQ(file.WriteCount(), writes);
    FontRecord restored;
    RestoreFont(IniFile(path_), cache_, "Settings", restored);
    EXPECT_EQ(restored, font);
    FontRecord untouched{"Mono", 1, 2, 3, 4};
    RestoreFont(file, cache_, "Elsewhere", untouched);
    EXPECT_EQ(untouched, (FontRecord{"Mono", 1, 2, 3, 4}));
}

TEST_F(SettingsStoreTest, ComboHistoryKeepsItsOrderItsLimitAndItsBlanks) {
    ComboHistory history;
    for (int i = 30; i >= 0; --i)
        history.entries.push_back("e" + std::to_string(30 - i));
    ASSERT_EQ(history.entries.size(), 31u);
    history.text = "e5";
    history.AddToHistory();  // present: keeps its place
    EXPECT_EQ(history.entries[5], "e5");
    history.text = "new";
    history.AddToHistory();
    ASSERT_EQ(history.entries.size(), 31u);
    EXPECT_EQ(history.entries.front(), "new");
    EXPECT_EQ(history.entries.back(), "e29");

    IniFile file(path_);
    ComboHistory saved;
    saved.entries = {"  lead", "trail  ", "plain"};
    saved.text = " current ";
    ASSERT_TRUE(SaveComboHistory(file, cache_, "History ComboBoxFilter1", saved).ok());
    EXPECT_EQ(saved.entries.front(), " current ");
    EXPECT_EQ(file.ReadValue("History ComboBoxFilter1", "Count"), "4");
    EXPECT_EQ(file.ReadValue("History ComboBoxFilter1", "1"), "  lead");
    const uint64_t writes = file.WriteCount();
    ASSERT_TRUE(IniWriteString(file, cache_, "History ComboBoxFilter1", "1", "\"  lead\"").ok());
    EXPECT_EQ(file.WriteCount(), writes);

    ComboHistory restored;
    restored.entries = {"plain", "mine"};
    RestoreComboHistory(file, "History ComboBoxFilter1", "dflt", restored);
    EXPECT_EQ(restored.text, " current ");
    EXPECT_EQ(restored.entries,
              (std::vector<std::string>{"plain", "mine", " current ", "  lead", "trail  "}));

    ComboHistory list;
    RestoreComboHistory(file, "History ComboBoxFilter1", "dflt", list, true);
    EXPECT_EQ(list.text, " current ");  // the first entry of the list
    ComboHistory empty;
    RestoreComboHistory(file, "History Missing", "dflt", empty);
    EXPECT_EQ(empty.text, "dflt");
    EXPECT_EQ(empty.entries, std::vector<std::string>{"dflt"});

    // A huge or broken "Count" reads only what is there.
    Put("[H]\nCount=2000000000\n0=a\n[G]\nCount=x\n0=b\n");
    ComboHistory huge;
    RestoreComboHistory(file, "H", "", huge);
    EXPECT_EQ(huge.entries, std::vector<std::string>{"a"});
    RestoreComboHistory(file, "G", "", huge);
    EXPECT_EQ(huge.entries, (std::vector<std::string>{"a", "b"}));
}

TEST_F(SettingsStoreTest, ListsOfLinesComeBackAsTheyWereSaved) {
    IniFile file(path_);
    platform::StringList lines;
    lines.Add("cn", 4);
    lines.Add("", 7);
    lines.Add("  blanks  ", 9);
    lines.Add("\"quoted\"", 12);
    lines.Add("a=b", 15);
    ASSERT_TRUE(file.WriteString("Object Class: User", "old", "gone").ok());
    ASSERT_TRUE(SaveStringsSection(file, cache_, "Object Class: [User]", lines, false).ok());
    EXPECT_EQ(file.ReadValue("Object Class: User", "old"), std::nullopt);

    platform::StringList read;
    read.Add("stale");
    LoadStringsSection(file, "Object Class: User", read, true);
    ASSERT_EQ(read.Count(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(read.Text(i), lines.Text(i));
        EXPECT_EQ(read.Number(i), static_cast<int64_t>(i));
    }

    ASSERT_TRUE(SaveStringsSection(file, cache_, "Numbered", lines, true).ok());
    LoadStringsSection(file, "Numbered", read, true);
    ASSERT_EQ(read.Count(), 5u);
    EXPECT_EQ(read.Number(4), 15);
    LoadStringsSection(file, "Numbered", read, false);
    EXPECT_EQ(read.Number(4), 0);

    LoadStringsSection(file, "Missing", read, false);  // leaves the list alone
    EXPECT_EQ(read.Count(), 5u);
}

TEST_F(SettingsStoreTest, TheSettingsOfOneRunAreReadByTheNext) {
    const AppSettings dialog = AppSettings::DialogDefaults(System());
    {
        IniFile file(path_);
        EXPECT_EQ(ReadSettingsSection(file, dialog), dialog);  // no file yet
        EXPECT_EQ(getSettingsFromIni(file, System()), AppSettings::UnattendedDefaults(System()));
    }
    AppSettings changed = dialog;
    changed.MaxAttrSizeIndex = 3;
    changed.ShowValueFlags = true;
    changed.ShowAttrInfo = false;
    changed.TypelessNames = true;
    changed.FieldDelimiter = ',';
    changed.ValueDelimiter = '/';
    changed.QuoteChar = '\'';
    changed.DateFormat = "yyyy-MM-dd";
    changed.TimeFormat = "h:nn am/pm";
    changed.ExportUtf8 = true;
    {
        IniFile file(path_);
        ASSERT_TRUE(WriteSettingsSection(file, cache_, changed).ok());
        EXPECT_EQ(file.WriteCount(), 1u);  // every setting in one replacement of the file
    }
    {
        IniFile file(path_);  // the next run
        SectionCache cache;
        EXPECT_EQ(ReadSettingsSection(file, dialog), changed);
        ASSERT_TRUE(WriteSettingsSection(file, cache, changed).ok());
        EXPECT_EQ(file.WriteCount(), 0u);  // nothing changed, nothing written
        changed.ShowTimeStamps = true;
        ASSERT_TRUE(WriteSettingsSection(file, cache, changed).ok());
        EXPECT_EQ(file.WriteCount(), 1u);

        // An unattended run takes all but the formats.
        const AppSettings unattended = getSettingsFromIni(file, System());
        AppSettings expected = changed;
        expected.DateFormat = "dd.MM.yy";
        expected.TimeFormat = "hh:nn";
        EXPECT_EQ(unattended, expected);
    }
}

TEST_F(SettingsStoreTest, TwoRunsOnOneFileKeepEachOthersChangesWhicheverClosesLast) {
    // Each run reads the file as it starts and writes everything at close.
    struct Run {
        explicit Run(const fs::path& path, const AppSettings& defaults) : file(path) {
            page = ReadSettingsSection(file, cache, defaults);
            window = ReadMainWindowState(file, cache);
        }
        void Close() {
            ASSERT_TRUE(WriteSettingsSection(file, cache, page).ok());
            ASSERT_TRUE(WriteMainWindowState(file, cache, window).ok());
        }
        IniFile file;
        SectionCache cache;
        AppSettings page;
        MainWindowState window;
    };
    const AppSettings dialog = AppSettings::DialogDefaults(System());
    for (const bool firstClosesFirst : {true, false}) {
        SCOPED_TRACE(firstClosesFirst ? "first closes first" : "second closes first");
        fs::remove(path_);  // a new settings folder: no file yet
        Run first(path_, dialog);
        Run second(path_, dialog);
        first.page.AllowAttrEdit = true;
        ASSERT_TRUE(WriteSettingsSection(first.file, first.cache, first.page).ok());  // "OK"
        second.page.ShowTimeStamps = true;
        second.window.outputType = 2;
        if (firstClosesFirst) first.Close();
        second.Close();
        if (!firstClosesFirst) first.Close();

        const IniFile file(path_);
        const AppSettings saved = ReadSettingsSection(file, dialog);
        EXPECT_TRUE(saved.AllowAttrEdit);
        EXPECT_TRUE(saved.ShowTimeStamps);
        SectionCache cache;
        EXPECT_EQ(ReadMainWindowState(file, cache).outputType, 2);
        // What neither changed is written all the same, for the console to read.
        EXPECT_EQ(file.ReadValue("Settings", "CheckBoxShowAttrInfo"), "1");
    }
}

TEST_F(SettingsStoreTest, MissingOrMalformedKeysGiveTheDefaults) {
    Put("[settings]\n"
        "radiogroupattrmaxsize=9\n"
        "CheckBoxShowAttrInfo=yes\n"
        "CheckBoxShowAttrNames=0\n"
        "CheckBoxExportUtf8=1\n"
        "RadioGroupDelimiterFields=2\n"
        "RadioGroupDelimiterValue=-1\n"
        "RadioGroupQuoteChar=\"1\"\n"
        "ComboBoxDateFormat=\n"
        "garbage line\n");
    const IniFile file(path_);
    const AppSettings dialog = AppSettings::DialogDefaults(System());
    AppSettings expected = dialog;
    expected.ShowAttrNames = false;
    expected.ExportUtf8 = true;
    expected.FieldDelimiter = '|';
    expected.QuoteChar = '\'';
    EXPECT_EQ(ReadSettingsSection(file, dialog), expected);

    const AppSettings unattended = getSettingsFromIni(file, System());
    EXPECT_EQ(unattended.MaxAttrSize(), 512u);
    EXPECT_FALSE(unattended.ShowAttrInfo);
    EXPECT_TRUE(unattended.ExportUtf8);
    EXPECT_EQ(unattended.FieldDelimiter, '|');
    EXPECT_EQ(unattended.ValueDelimiter, '|');
    EXPECT_EQ(unattended.QuoteChar, '\'');
}

}  // namespace
}  // namespace vellrun::settings
