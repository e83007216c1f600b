#include "report/SavedReport.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellrun::report {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

ReportSpec ByTypeSpec() {
    ReportSpec spec;
    spec.Kind = ReportKind::ByType;
    spec.Recursive = true;
    spec.TreeName = "ACME_TREE";
    spec.Container = "OU=Sales.O=Acme";  // an "=" inside a value
    spec.ObjectClass = "User";
    spec.Attributes = {"Surname", "Telephone Number"};
    spec.OrderBy = 1;
    spec.Output = OutputType::Html;
    spec.Filtered = true;
    spec.Filters[0] = {"Surname", "Sm", true};
    spec.Filters[1] = {"", "", false};
    return spec;
}

ReportSpec ByObjectSpec() {
    ReportSpec spec;
    spec.Kind = ReportKind::ByObject;
    spec.TreeName = "ACME_TREE";
    spec.Container = "O=Acme";
    spec.ObjectName = "CN=Admin.O=Acme";
    spec.ObjectClass = "User";
    return spec;
}

class SavedReportTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"saved-report"};
    void SetUp() override { dir_ = temp_.Path(); }

    // Writes text to a file and loads it; the refusal must name the file and
    // leave the file as it was.
    SavedReport::LoadResult LoadText(const std::string& text) {
        const fs::path file = dir_ / "edited.rpt";
        WriteText(file, text);
        auto result = SavedReport::Load(file, ReportSpec{});
        EXPECT_EQ(ReadText(file), text);
        return result;
    }

    fs::path dir_;
};

TEST_F(SavedReportTest, StoreWritesTheKeysInOrderAndLoadReadsThemBack) {
    const fs::path file = dir_ / "users.rpt";
    ASSERT_EQ(SavedReport::Store(ByTypeSpec(), file).error, "");
    EXPECT_EQ(ReadText(file),
              "[General]\n"
              "Container=OU=Sales.O=Acme\n"
              "Tree=ACME_TREE\n"
              "Report Type=2\n"
              "Recursive=1\n"
              "[Output]\n"
              "Type=3\n"
              "File=\n"
              "OrderBy=1\n"
              "[Attributes]\n"
              "0=Surname\n"
              "1=Telephone Number\n"
              "[Filter]\n"
              "Filtered=1\n"
              "Filter Attr 1=Surname\n"
              "Filter 1=Sm\n"
              "Mode 1=1\n"
              "Filter Attr 2=\n"
              "Filter 2=\n"
              "Mode 2=0\n"
              "Filter Attr 3=\n"
              "Filter 3=\n"
              "Mode 3=1\n"
              "[Object]\n"
              "Type=User\n");

    directory::TTreeInfo* const tree = reinterpret_cast<directory::TTreeInfo*>(0x1);
    ReportSpec current;
    current.Tree = tree;
    const auto loaded = SavedReport::Load(file, current);
    ASSERT_TRUE(loaded.ok()) << loaded.reason;
    const ReportSpec& spec = *loaded.spec;
    const ReportSpec expected = ByTypeSpec();
    EXPECT_EQ(spec.Tree, tree);  // the caller sets up the tree
    EXPECT_EQ(spec.Kind, expected.Kind);
    EXPECT_EQ(spec.Recursive, true);
    EXPECT_EQ(spec.TreeName, expected.TreeName);
    EXPECT_EQ(spec.Container, expected.Container);
    EXPECT_EQ(spec.ObjectClass, expected.ObjectClass);
    EXPECT_EQ(spec.Attributes, expected.Attributes);
    EXPECT_EQ(spec.OrderBy, 1);
    EXPECT_EQ(spec.Output, OutputType::Html);
    EXPECT_TRUE(spec.Filtered);
    EXPECT_EQ(spec.Filters, expected.Filters);
}

TEST_F(SavedReportTest, StoringOverAFileKeepsKeysItDoesNotWriteAndReplacesTheAttributes) {
    const fs::path file = dir_ / "mixed.rpt";
    ASSERT_EQ(SavedReport::Store(ByObjectSpec(), file).error, "");
    EXPECT_EQ(ReadText(file),
              "[General]\nContainer=O=Acme\nTree=ACME_TREE\nReport Type=1\n"
              "[Output]\nType=0\nFile=\nOrderBy=-1\n"
              "[Object]\nName=CN=Admin.O=Acme\nType=User\n");

    ReportSpec wide = ByTypeSpec();
    wide.Attributes = {"A", "B", "C"};
    ASSERT_EQ(SavedReport::Store(wide, file).error, "");
    ReportSpec narrow = ByTypeSpec();
    narrow.Attributes = {"Z"};
    ASSERT_EQ(SavedReport::Store(narrow, file).error, "");
    const std::string text = ReadText(file);
    EXPECT_NE(text.find("[Object]\nName=CN=Admin.O=Acme\nType=User\n"), std::string::npos);
    // The erased section comes back at the end, holding only the new list.
    EXPECT_TRUE(text.ends_with("[Attributes]\n0=Z\n")) << text;
    EXPECT_EQ(text.find("[Attributes]"), text.rfind("[Attributes]"));
    EXPECT_EQ(SavedReport::Load(file, {}).spec->Attributes, std::vector<std::string>{"Z"});
}

TEST_F(SavedReportTest, AFailedStoreLeavesThePreviousFileWhole) {
    const fs::path file = dir_ / "kept.rpt";
    ASSERT_EQ(SavedReport::Store(ByTypeSpec(), file).error, "");
    const std::string before = ReadText(file);

    ReportSpec broken = ByTypeSpec();
    broken.Attributes.push_back("Two\nLines");
    EXPECT_NE(SavedReport::Store(broken, file).error.find("line break"), std::string::npos);
    broken = ByTypeSpec();
    broken.Attributes.push_back(" ");
    EXPECT_NE(SavedReport::Store(broken, file).error, "");
    EXPECT_EQ(ReadText(file), before);

    const std::string error = SavedReport::Store(ByTypeSpec(), dir_ / "missing" / "x.rpt").error;
    EXPECT_NE(error.find("x.rpt"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(SavedReportTest, BadFilesAreRefusedWithTheirReason) {
    const std::string head = "[General]\nTree=T\nContainer=O=Acme\n[Object]\nType=User\n";
    const std::string byType = "[General]\nReport Type=2\n" + head.substr(10);
    struct Case {
        std::string text;
        std::string reasonPart;
    };
    const Case cases[] = {
        {"[Output]\nType=0\n", "no [General] section"},
        {"[General]\nReport Type=two\n" + head.substr(10), "\"Report Type\" in [General]"},
        {"[General]\nReport Type=2x\n" + head.substr(10), "not a whole number"},
        {"[General]\nReport Type=3\n" + head.substr(10), "Report Type 3"},
        {"[General]\nReport Type=9\n" + head.substr(10), "Report Type 9"},
        {byType + "[Attributes]\n0=Surname\n=Given Name\n",
         "line 9 of the file (in the [Attributes] section) has no key"},
        {byType + "[Attributes]\n0=Surname\nGiven Name\n1=CN\n",
         "line 9 of the file (\"Given Name\", in the [Attributes] section) has no \"=\""},
        {byType, "no attribute is listed"},
        {byType + "[Attributes]\n0=cn\n[Output]\nType=7\n", "unknown output type 7"},
        {"[General]\nReport Type=1\n" + head.substr(10), "no object is named"},
        {"[General]\nReport Type=1\nContainer=O=Acme\n[Object]\nName=X\nType=User\n",
         "no tree is named"},
    };
    for (const Case& c : cases) {
        const auto result = LoadText(c.text);
        EXPECT_FALSE(result.ok()) << c.text;
        EXPECT_EQ(result.status.error, "Invalid Report File: " + (dir_ / "edited.rpt").string());
        EXPECT_NE(result.reason.find(c.reasonPart), std::string::npos)
            << c.text << "\nreason: " << result.reason;
    }
    const auto missing = SavedReport::Load(dir_ / "none.rpt", {});
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(missing.reason.starts_with("the file cannot be read")) << missing.reason;
}

TEST_F(SavedReportTest, LoadFollowsLineOrderDefaultsAndKeepsUnnamedFields) {
    const auto result = LoadText(
        "[General]\nreport type=2\nTree=T\nContainer=O=Acme\n[Object]\nType=User\n"
        "[Attributes]\n7=Surname\nx=CN\n0=Title\n[Filter]\nFiltered=5\nMode 1=0\n");
    ASSERT_TRUE(result.ok()) << result.reason;
    EXPECT_EQ(result.spec->Attributes, (std::vector<std::string>{"Surname", "CN", "Title"}));
    EXPECT_TRUE(result.spec->Filtered);  // any non-zero integer
    EXPECT_FALSE(result.spec->Filters[0].MustContain);
    EXPECT_TRUE(result.spec->Filters[1].MustContain);  // missing mode: must contain
    EXPECT_EQ(result.spec->Output, OutputType::Csv);
    EXPECT_EQ(result.spec->OrderBy, -1);

    // A boolean holding text reads as its default; an attribute line with an
    // empty name stays an (empty) column in its place.
    const auto texts = LoadText(
        "[General]\nReport Type=2\nTree=T\nContainer=O=Acme\nRecursive=true\n[Object]\n"
        "Type=User\n[Attributes]\n0=Surname\n1=\n2=CN\n[Filter]\nFiltered=yes\nMode 1=no\n");
    ASSERT_TRUE(texts.ok()) << texts.reason;
    EXPECT_FALSE(texts.spec->Recursive);
    EXPECT_FALSE(texts.spec->Filtered);
    EXPECT_TRUE(texts.spec->Filters[0].MustContain);
    EXPECT_EQ(texts.spec->Attributes, (std::vector<std::string>{"Surname", "", "CN"}));

    // A ByObject file leaves Recursive and the filter rows as they were.
    const fs::path file = dir_ / "one.rpt";
    ASSERT_EQ(SavedReport::Store(ByObjectSpec(), file).error, "");
    ReportSpec current = ByTypeSpec();
    const auto one = SavedReport::Load(file, current);
    ASSERT_TRUE(one.ok()) << one.reason;
    EXPECT_TRUE(one.spec->Recursive);
    EXPECT_EQ(one.spec->Filters, current.Filters);
    EXPECT_TRUE(one.spec->Attributes.empty());
    EXPECT_EQ(one.spec->ObjectName, "CN=Admin.O=Acme");
}

TEST_F(SavedReportTest, EveryStoredValueReadsBackExactlyAndALoneLineBreakIsRefused) {
    ReportSpec spec = ByTypeSpec();
    spec.Container = "OU=Sales.O=Acme ";
    spec.Attributes = {" Surname", "\"Title\""};
    spec.Filters[0] = {"Department", " Sales", true};
    spec.Filters[1] = {"Title", "\"Head\" of ", false};
    spec.Filters[2] = {"CN", "   ", true};
    const fs::path file = dir_ / "ends.rpt";
    ASSERT_EQ(SavedReport::Store(spec, file).error, "");
    const std::string text = ReadText(file);
    EXPECT_NE(text.find("Filter 1=\" Sales\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("1=\"\"Title\"\"\n"), std::string::npos) << text;
    const auto loaded = SavedReport::Load(file, {});
    ASSERT_TRUE(loaded.ok()) << loaded.reason;
    EXPECT_EQ(loaded.spec->Container, spec.Container);
    EXPECT_EQ(loaded.spec->Attributes, spec.Attributes);
    EXPECT_EQ(loaded.spec->Filters, spec.Filters);

    // A line ending in CR CR LF loads with a CR at the value's end; storing
    // that value again is refused with a message and changes nothing.
    WriteText(file,
              "[General]\r\nReport Type=2\r\nTree=T\r\nContainer=O=Acme\r\n"
              "[Object]\r\nType=User\r\n[Attributes]\r\n0=CN\r\n"
              "[Filter]\r\nFilter 1=Sales\r\r\n");
    const std::string before = ReadText(file);
    const auto stray = SavedReport::Load(file, {});
    ASSERT_TRUE(stray.ok()) << stray.reason;
    EXPECT_EQ(stray.spec->Filters[0].Value, "Sales\r");
    const std::string error = SavedReport::Store(*stray.spec, file).error;
    EXPECT_NE(error.find("\"Sales\u2026\" holds a line break"), std::string::npos) << error;
    EXPECT_EQ(ReadText(file), before);
    // The message shows only the start of a long value.
    ReportSpec longValue = *stray.spec;
    longValue.Filters[0].Value = std::string(1u << 20, 'y') + "\n";
    EXPECT_LT(SavedReport::Store(longValue, file).error.size(), 200u + file.string().size());
}

TEST_F(SavedReportTest, AHugeLineIsReadOnceAndAFifoIsRefusedAtOnce) {
    // A 50 MB filter value: every key is looked up in the one text read.
    const std::string huge(50u << 20, 'x');
    const fs::path file = dir_ / "huge.rpt";
    WriteText(file,
              "[General]\nReport Type=2\nTree=T\nContainer=O=Acme\n[Object]\nType=User\n"
              "[Attributes]\n0=CN\n[Filter]\nFilter 1=" +
                  huge + "\nMode 1=0\n");
    const auto loaded = SavedReport::Load(file, {});
    ASSERT_TRUE(loaded.ok()) << loaded.reason;
    EXPECT_EQ(loaded.spec->Filters[0].Value.size(), huge.size());
    EXPECT_FALSE(loaded.spec->Filters[0].MustContain);
    ReportSpec spec = *loaded.spec;
    spec.Filters[0].MustContain = true;
    ASSERT_EQ(SavedReport::Store(spec, file).error, "");
    EXPECT_EQ(SavedReport::Load(file, {}).spec->Filters[0], spec.Filters[0]);

    // A FIFO without a writer neither loads nor is stored into, and neither waits.
    const fs::path fifo = dir_ / "fifo.rpt";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto refused = SavedReport::Load(fifo, {});
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.reason.find("not a regular file"), std::string::npos) << refused.reason;
    const std::string error = SavedReport::Store(ByTypeSpec(), fifo).error;
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(ReportCommandLineTest, AcceptsTheSwitchCharactersPrefixesAndAnyCase) {
    const auto parse = [](std::vector<std::string> arguments) {
        return ParseReportCommandLine(arguments);
    };
    for (const char* spelling :
         {"/REPORT=/tmp/a b.rpt", "report=/tmp/a b.rpt", "r=/tmp/a b.rpt", "\\Rep=/tmp/a b.rpt",
          "//report=/tmp/a b.rpt", "--report=/tmp/a b.rpt", "-r=/tmp/a b.rpt"}) {
        EXPECT_EQ(parse({spelling}).reportFile, "/tmp/a b.rpt") << spelling;
        EXPECT_FALSE(parse({spelling}).quit) << spelling;
    }
    for (const char* spelling : {"quit", "q", "/QUI", "qu", "\\Quit", "--quit", "-q"}) {
        EXPECT_TRUE(parse({spelling}).quit) << spelling;
    }
    // Names longer than the option's or other words are no match; an empty
    // name is no prefix.
    for (const char* spelling : {"reports=x", "=x", "/=x", "--=x", "rx=y"}) {
        EXPECT_EQ(parse({spelling}).reportFile, "") << spelling;
    }
    for (const char* spelling : {"quits", "/", "-", "x", "q=1"}) {
        EXPECT_FALSE(parse({spelling}).quit) << spelling;
    }
    // The first matching argument wins, even with an empty value; the value
    // is kept as received (quotes and later "=" included).
    EXPECT_EQ(parse({"/report=", "/report=b.rpt", "/q"}), (ReportCommandLine{"", true}));
    EXPECT_EQ(parse({"x.txt", "report=\"a=b.rpt\""}).reportFile, "\"a=b.rpt\"");
}

}  // namespace
}  // namespace vellrun::report
