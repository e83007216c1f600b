// The console's report commands: report, schema, run and the saved-report
// command line, with their exports, their settings and their failures.

#include "cli/CliApp.h"
#include "client/ClientFactory.h"
#include "support/DirectoryTestBed.h"
#include "support/SpyClient.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <streambuf>

#include <gtest/gtest.h>

namespace vellrun::cli {
namespace {

namespace fs = std::filesystem;

// "Łódź" holds a letter Windows-1252 lacks; zoe's descriptions repeat and
// differ only in case.
constexpr std::string_view kObjects = R"([
  {"name": "Corp", "class": "Organization", "partitionRoot": true},
  {"name": "Sales.Corp", "class": "Organizational Unit"},
  {"name": "East.Sales.Corp", "class": "Organizational Unit"},
  {"name": "zoe.Sales.Corp", "class": "User",
   "attributes": {"CN": "zoe", "Surname": "O\"Brien", "Title": "Head of \u0141\u00f3d\u017a",
                  "Description": ["beta", "Alpha", "alpha", "beta"]}},
  {"name": "amy.Sales.Corp", "class": "User",
   "attributes": {"CN": "amy", "Surname": "Smith", "Title": "Clerk <temp>"}},
  {"name": "bob.East.Sales.Corp", "class": "User",
   "attributes": {"CN": "bob", "Surname": "Jones", "Title": "Manager"}},
  {"name": "staff.Sales.Corp", "class": "Group", "attributes": {"CN": "staff"}}
])";

class ReportCommandTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"vellrun-report-test"};
    ReportCommandTest() {
        folder_ = temp_.Path();
        image_ = folder_ / "corp.json";
        std::ofstream(image_) << testing::TreesImage({{"CORP", std::string(kObjects)}});
    }

    struct Run {
        int code = -1;
        std::string out;
        std::string err;
    };
    // Standard output without a buffer of its own: every write the program
    // makes arrives here as one piece; failAfter pieces it fails.
    struct PieceBuffer : std::streambuf {
        std::string text;
        size_t largest = 0;
        size_t count = 0;
        size_t failAfter = SIZE_MAX;
        std::streamsize xsputn(const char* data, std::streamsize size) override {
            if (count == failAfter) return 0;
            ++count;
            largest = std::max(largest, static_cast<size_t>(size));
            text.append(data, static_cast<size_t>(size));
            return size;
        }
        int_type overflow(int_type c) override {
            if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
            const char byte = traits_type::to_char_type(c);
            return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
        }
    };
    PieceBuffer* pieces_ = nullptr;

    Run Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--image", image_.string()});
        CliApp app = failClassReadAt_ > 0 ? CliApp(SpyMaker()) : CliApp();
        app.SetDateTimeFormats(formats_);
        if (settingsFile_) {
            app.SetSettingsFile(*settingsFile_);
        } else {
            settings::AppSettings settings = settings::AppSettings::UnattendedDefaults(formats_);
            settings.TypelessNames = true;
            app.SetSettings(settings);
        }
        app.SetNow({2026, 3, 4, 5, 6, 7, 3});
        // Ctrl-C as the report run starts: the observer is told the feedback
        // for the image's load first, which must run to its end.
        if (interruptAtOnce_)
            app.SetFeedbackObserver([told = 0](ConsoleRunFeedback* feedback) mutable {
                if (feedback != nullptr && ++told == 2) feedback->Interrupt();
            });
        std::ostringstream out;
        std::ostringstream err;
        std::ostream pieces(pieces_);
        Run run;
        run.code = app.Run(args, pieces_ != nullptr ? pieces : out, err);
        run.out = pieces_ != nullptr ? pieces_->text : out.str();
        run.err = err.str();
        return run;
    }
    // The users below Sales.Corp, sorted by full name, with the output options given.
    Run Users(std::vector<std::string> output) {
        std::vector<std::string> args{"report",      "--tree",    "corp",       "--container",
                                      "Sales.Corp",  "--class",   "User",       "--attr",
                                      "Surname",     "--attr",    "Title",      "--attr",
                                      "Description", "--recurse", "--order-by", "0"};
        args.insert(args.end(), output.begin(), output.end());
        return Cli(args);
    }
    // Runs a saved report from within the test's folder, so that a relative
    // output file lands there. rpt is the file's text, or a file of tests/data.
    Run RunSaved(const std::string& rpt, std::vector<std::string> args = {"run"}) {
        fs::path file = fs::path(VELLRUN_TEST_FILES_DIR) / rpt;
        if (!fs::exists(file)) {
            file = folder_ / "saved.rpt";
            std::ofstream(file) << rpt;
        }
        const fs::path before = fs::current_path();
        fs::current_path(folder_);
        if (args.back().ends_with('='))
            args.back() += file.string();
        else
            args.push_back(file.string());
        Run run = Cli(args);
        fs::current_path(before);
        return run;
    }
    static std::string UsersRpt(std::string_view type, std::string_view file,
                                std::string_view container = "Sales.Corp",
                                std::string_view more = "") {
        return "[General]\nContainer=" + std::string(container) +
               "\nTree=CORP\nReport Type=2\nRecursive=1\n[Output]\nType=" + std::string(type) +
               "\nFile=" + std::string(file) +
               "\nOrderBy=0\n[Attributes]\n0=Surname\n1=Title\n[Object]\nType=User\n" +
               std::string(more);
    }
    static std::string Bytes(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    // A client whose reads of class definitions fail from the failClassReadAt_-th on.
    CliApp::ClientMaker SpyMaker() {
        return [this](const client::ClientOptions& options) {
            inner_ = client::MakeDirectoryClient(options);
            auto spy = std::make_unique<testing::SpyClient>(*inner_);
            spy->onReadClassDefinitions = [spy = spy.get(), this, calls = 0](
                                              client::ContextHandle c, client::ClassInfoKind k,
                                              bool all, client::BufferHandle request,
                                              int32_t& continuation,
                                              client::BufferHandle reply) mutable {
                if (k == client::ClassInfoKind::Definitions && ++calls >= failClassReadAt_)
                    return client::Result{client::Err::NoSuchClass};
                return spy->Inner().ReadClassDefinitions(c, k, all, request, continuation, reply);
            };
            return std::unique_ptr<client::DirectoryClient>(std::move(spy));
        };
    }

    int failClassReadAt_ = 0;
    std::unique_ptr<client::DirectoryClient> inner_;
    platform::DateTimeFormats formats_;
    fs::path folder_;
    fs::path image_;
    std::optional<fs::path> settingsFile_;
    bool interruptAtOnce_ = false;
};

TEST_F(ReportCommandTest, CsvFileQuotesEveryFieldAndStandsInForWhatTheCodePageLacks) {
    const fs::path file = folder_ / "users.csv";
    const Run run = Users({"--file", file.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Bytes(file),
              "\"DN\";\"Surname\";\"Title\";\"Description\"\r\n"
              "\"amy.Sales.Corp\";\"Smith\";\"Clerk <temp>\";\"\"\r\n"
              "\"bob.East.Sales.Corp\";\"Jones\";\"Manager\";\"\"\r\n"
              "\"zoe.Sales.Corp\";\"O\"\"Brien\";\"Head of ?\xF3\x64?\";"
              "\"beta|Alpha|alpha|beta\"\r\n");
    // The two stand-ins are counted for the person.
    EXPECT_NE(run.err.find('2'), std::string::npos) << run.err;
}

TEST_F(ReportCommandTest, HtmlAndXmlFilesKeepEveryCharacter) {
    const fs::path html = folder_ / "users.html";
    Run run = Users({"--output", "html", "--file", html.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(html),
              "<html><body>\r\n<table border=1>\r\n"
              "<tr>\r\n<td><b>DN</b></td>\r\n<td><b>Surname</b></td>\r\n"
              "<td><b>Title</b></td>\r\n<td><b>Description</b></td>\r\n</tr>\r\n"
              "<tr>\r\n<td><b>amy.Sales.Corp</b></td>\r\n<td>Smith</td>\r\n"
              "<td>Clerk &lt;temp&gt;</td>\r\n<td><br></td>\r\n</tr>\r\n"
              "<tr>\r\n<td><b>bob.East.Sales.Corp</b></td>\r\n<td>Jones</td>\r\n"
              "<td>Manager</td>\r\n<td><br></td>\r\n</tr>\r\n"
              "<tr>\r\n<td><b>zoe.Sales.Corp</b></td>\r\n<td>O&quot;Brien</td>\r\n"
              "<td>Head of &#321;\xF3\x64&#378;</td>\r\n<td>beta<br>Alpha<br>alpha<br>beta</td>\r\n"
              "</tr>\r\n</table>\r\n</body></html>\r\n");

    const fs::path xml = folder_ / "users.xml";
    run = Users({"--output", "xml", "--file", xml.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    const std::string bytes = Bytes(xml);
    EXPECT_NE(bytes.find("<table rowCount=\"4\" colCount=\"4\" fixedRows=\"1\" fixedCols=\"1\" "
                         "date=\"2026-03-04\" time=\"05:06:07\"/>\r\n"),
              std::string::npos)
        << bytes;
    // Sorted without regard to case, only exact repeats dropped.
    EXPECT_NE(bytes.find("<value index=\"0\">Alpha</value><value index=\"1\">alpha</value>"
                         "<value index=\"2\">beta</value></cell>"),
              std::string::npos)
        << bytes;
    EXPECT_NE(bytes.find("Head of &#321;\xF3\x64&#378;"), std::string::npos) << bytes;
    // Every line ends with CR LF.
    EXPECT_EQ(bytes.find('\n'), bytes.find("\r\n") + 1);
    EXPECT_EQ(bytes.substr(bytes.size() - 13), "</document>\r\n");
}

TEST_F(ReportCommandTest, WithoutAFileTheDocumentGoesToStandardOutputUnchanged) {
    const Run run = Users({"--filter", "Title!=manager", "--filter", "Surname=[anything]"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.out,
              "\"DN\";\"Surname\";\"Title\";\"Description\"\r\n"
              "\"amy.Sales.Corp\";\"Smith\";\"Clerk <temp>\";\"\"\r\n"
              "\"zoe.Sales.Corp\";\"O\"\"Brien\";\"Head of \u0141\u00f3d\u017a\";"
              "\"beta|Alpha|alpha|beta\"\r\n");
}

TEST_F(ReportCommandTest, StandardOutputGetsTheDocumentARowAtATimeAndStopsWhenItFails) {
    for (const char* kind : {"csv", "html", "xml"}) {
        const Run whole = Users({"--output", kind});
        ASSERT_EQ(whole.code, CliApp::kSuccess) << kind << whole.err;
        PieceBuffer buffer;
        pieces_ = &buffer;
        const Run streamed = Users({"--output", kind});
        pieces_ = nullptr;
        EXPECT_EQ(streamed.code, CliApp::kSuccess) << kind << streamed.err;
        // The same bytes, but never more than a row's piece in one write.
        EXPECT_EQ(streamed.out, whole.out) << kind;
        EXPECT_GE(buffer.count, 4u) << kind;
        EXPECT_LT(buffer.largest * 2, whole.out.size()) << kind;
        EXPECT_NE(whole.out.find("zoe.Sales.Corp"), std::string::npos) << kind << whole.out;
    }
    // A write that fails is reported, and nothing after it is tried.
    PieceBuffer broken;
    broken.failAfter = 1;
    pieces_ = &broken;
    const Run run = Users({"--output", "csv"});
    pieces_ = nullptr;
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(broken.count, 1u);
    EXPECT_EQ(broken.text, "\"DN\";\"Surname\";\"Title\";\"Description\"\r\n");
    EXPECT_NE(run.err.find("standard output could not be written"), std::string::npos) << run.err;
}

TEST_F(ReportCommandTest, SettingsComeFromTheIniFileAndOptionsOverrideThem) {
    settingsFile_ = folder_ / "vellrun.ini";
    std::ofstream(*settingsFile_) << "[Settings]\r\nRadioGroupDelimiterFields=1\r\n"
                                     "CheckBoxTypelessNames=1\r\n";
    Run run =
        Cli({"report", "--container", "East.Sales.Corp", "--class", "User", "--attr", "Surname"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.out, "\"DN\",\"Surname\"\r\n\"bob.East.Sales.Corp\",\"Jones\"\r\n");

    run = Cli({"report", "--container", "East.Sales.Corp", "--class", "User", "--attr", "Surname",
               "--field-delimiter", "tab", "--quote", "none"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.out, "DN\tSurname\r\nbob.East.Sales.Corp\tJones\r\n");
}

// Only a settings file that is not there gives the defaults: one that is
// there but cannot be read (a folder, which even root cannot read as a file)
// fails the run, naming the file, before anything is exported.
TEST_F(ReportCommandTest, ASettingsFileThatCannotBeReadFailsTheRun) {
    settingsFile_ = folder_ / "missing.ini";
    const fs::path csv = folder_ / "users.csv";
    ASSERT_EQ(RunSaved(UsersRpt("0", csv.string())).code, CliApp::kSuccess);
    fs::remove(csv);
    settingsFile_ = folder_ / "vellrun.ini";
    fs::create_directory(*settingsFile_);
    const Run run = RunSaved(UsersRpt("0", csv.string()));
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(run.err,
              "vellrun-cli: Cannot read \"" + settingsFile_->string() + "\": it is a folder\n");
    EXPECT_EQ(run.out, "");
    const Run schema = Cli({"schema", "classes"});
    EXPECT_EQ(schema.code, CliApp::kFailure);
    EXPECT_EQ(schema.err, run.err);
    EXPECT_EQ(schema.out, "");
    EXPECT_FALSE(fs::exists(csv));
}

TEST_F(ReportCommandTest, ASavedReportRunsAgainUnderEverySpelling) {
    const fs::path saved = folder_ / "users.rpt";
    const fs::path file = folder_ / "users.csv";
    Run run = Users({"--file", file.string(), "--save-report", saved.string()});
    ASSERT_EQ(run.code, CliApp::kSuccess) << run.err;
    const std::string first = Bytes(file);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"run", saved.string()},
                                                 {"--report=" + saved.string(), "--quit"},
                                                 {"/REPORT=" + saved.string(), "/q"},
                                                 {"r=" + saved.string()},
                                                 {"q", "rep=" + saved.string()},
                                                 {"\\Rep=" + saved.string(), "qu"},
                                                 {"QUI", "-r=" + saved.string()},
                                                 {"--rep=" + saved.string(), "QUIT"}}) {
        fs::remove(file);
        run = Cli(args);
        EXPECT_EQ(run.code, CliApp::kSuccess) << args[0] << run.err;
        EXPECT_EQ(Bytes(file), first) << args[0];
    }
}

// A report that finds nothing today is still stored when asked, and runs
// again from its file.
TEST_F(ReportCommandTest, AReportThatFindsNothingIsStoredAllTheSame) {
    const fs::path saved = folder_ / "none.rpt";
    Run run = Cli({"report", "--container", "East.Sales.Corp", "--class", "Group", "--attr",
                   "Surname", "--save-report", saved.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_NE(run.err.find("the report found no object"), std::string::npos) << run.err;
    ASSERT_TRUE(fs::exists(saved));
    run = Cli({"run", saved.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_NE(run.err.find("the report found no object"), std::string::npos) << run.err;
}

// The saved report would land on the export it follows, which the run has
// just written: refused before anything runs, the earlier export kept.
TEST_F(ReportCommandTest, ASavedReportNeverNamesItsOwnExport) {
    const fs::path file = folder_ / "users.csv";
    std::ofstream(file) << "the earlier export";
    for (const fs::path& saved : {file, folder_ / "." / "users.csv"}) {
        const Run run = Users({"--file", file.string(), "--save-report", saved.string()});
        EXPECT_EQ(run.code, CliApp::kUsage) << run.err;
        EXPECT_NE(run.err.find("--save-report cannot name the file of --file"), std::string::npos)
            << run.err;
        EXPECT_EQ(Bytes(file), "the earlier export");
    }
    // The same before the export exists: through a link that points at
    // nothing yet.
    const fs::path fresh = folder_ / "fresh.csv";
    fs::create_symlink(fresh, folder_ / "link.csv");
    const Run run =
        Users({"--file", fresh.string(), "--save-report", (folder_ / "link.csv").string()});
    EXPECT_EQ(run.code, CliApp::kUsage) << run.err;
    EXPECT_FALSE(fs::exists(fresh));
}

// A saved report of a document type takes its format from the output
// file's extension when it runs again: a file whose extension would give
// another format (or none) is refused before the report is stored.
TEST_F(ReportCommandTest, ASavedReportsFileMustGiveTheSameFormatWhenItRunsAgain) {
    const fs::path saved = folder_ / "s1.rpt";
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"--output", "html", "--file", (folder_ / "rep.txt").string()}, ".html"},
        {{"--file", (folder_ / "out.dat").string()}, ".csv"},
        {{"--output", "xml", "--file", (folder_ / "x.html").string()}, ".xml"},
        {{"--output", "csv", "--file", (folder_ / "noext").string()}, ".csv"},
    };
    for (auto [args, extension] : wrong) {
        const std::string target = args.back();
        args.insert(args.end(), {"--save-report", saved.string()});
        const Run run = Users(args);
        EXPECT_EQ(run.code, CliApp::kUsage) << target << run.err;
        EXPECT_NE(run.err.find("needs a file name ending in " + extension), std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(target)) << target;
        EXPECT_FALSE(fs::exists(saved)) << target;
    }
    // An extension that gives the format is taken, and the report runs again alike.
    const fs::path html = folder_ / "rep.HTM";
    Run run = Users({"--output", "html", "--file", html.string(), "--save-report", saved.string()});
    ASSERT_EQ(run.code, CliApp::kSuccess) << run.err;
    const std::string first = Bytes(html);
    EXPECT_EQ(first.rfind("<html>", 0), 0u) << first;
    fs::remove(html);
    run = Cli({"run", saved.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(html), first);
}

// A column past the report's last cannot sort it: the option is refused,
// while a saved report that names one runs unsorted as it always has.
TEST_F(ReportCommandTest, OrderByPastTheLastColumnIsWrongUsage) {
    Run run = Cli({"report", "--container", "Sales.Corp", "--class", "User", "--attr", "Surname",
                   "--attr", "Title", "--order-by", "3"});
    EXPECT_EQ(run.code, CliApp::kUsage) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--order-by 3: the report has 3 columns (0 to 2)"), std::string::npos)
        << run.err;
    run = Cli({"report", "--container", "Sales.Corp", "--class", "User", "--attr", "Surname",
               "--attr", "Title", "--order-by", "2"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;

    std::string rpt = UsersRpt("0", "");
    rpt.replace(rpt.find("OrderBy=0"), 9, "OrderBy=7");
    run = RunSaved(rpt);
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_NE(run.out.find("\"zoe.Sales.Corp\""), std::string::npos) << run.out;
}

// --report takes its file after a blank, as every option with a value does.
TEST_F(ReportCommandTest, TheReportOptionTakesItsFileAfterABlank) {
    const fs::path saved = folder_ / "users.rpt";
    const fs::path file = folder_ / "users.csv";
    Run run = Users({"--file", file.string(), "--save-report", saved.string()});
    ASSERT_EQ(run.code, CliApp::kSuccess) << run.err;
    const std::string first = Bytes(file);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--report", saved.string()},
          {"--quit", "--report", saved.string()},
          {"--report", saved.string(), "q"}}) {
        fs::remove(file);
        run = Cli(args);
        EXPECT_EQ(run.code, CliApp::kSuccess) << args[0] << run.err;
        EXPECT_EQ(Bytes(file), first) << args[0];
    }
    run = Cli({"--report"});
    EXPECT_EQ(run.code, CliApp::kUsage);
    EXPECT_NE(run.err.find("option --report needs a value"), std::string::npos) << run.err;
}

TEST_F(ReportCommandTest, AnInvalidReportFileIsNamedAndFails) {
    const fs::path missing = folder_ / "missing.rpt";
    const fs::path broken = folder_ / "broken.rpt";
    std::ofstream(broken) << "[General]\nTree=CORP\nReport Type=7\n";
    for (const fs::path& file : {missing, broken}) {
        for (const std::vector<std::string>& args : {std::vector<std::string>{"run", file.string()},
                                                     {"--report=" + file.string(), "--quit"}}) {
            const Run run = Cli(args);
            EXPECT_EQ(run.code, CliApp::kFailure);
            EXPECT_EQ(run.out, "");
            EXPECT_EQ(run.err.rfind("Invalid Report File: " + file.string() + "\n", 0), 0u)
                << run.err;
        }
    }
}

TEST_F(ReportCommandTest, UnknownTreeOrContainerFailsAndAnUnknownAttributeIsNamed) {
    const fs::path file = folder_ / "users.csv";
    Run run = Cli({"report", "--tree", "Elsewhere", "--container", "Sales.Corp", "--class", "User",
                   "--attr", "CN", "--file", file.string()});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_NE(run.err.find("tree \"Elsewhere\" is not connected (the connected trees: CORP)"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(file));

    run = Cli({"report", "--container", "Nowhere.Corp", "--class", "User", "--attr", "CN", "--file",
               file.string()});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_NE(run.err.find("Nowhere.Corp"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(file));

    // An attribute the schema does not know runs, empty, and is named once.
    run = Cli({"report", "--container", "Sales.Corp", "--class", "User", "--attr", "Surnme",
               "--attr", "DSI: DN", "--filter", "Surnme!=x", "--file", file.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.err,
              "vellrun-cli: the schema of the tree \"CORP\" has no attribute \"Surnme\": no object "
              "has a value of it\n");
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(ReportCommandTest, AnUnwritableTargetFailsWithItsMessage) {
    const fs::path plain = folder_ / "plain";
    std::ofstream(plain) << "x";
    for (const char* kind : {"csv", "xls"}) {
        const fs::path target = plain / (std::string("users.") + kind);
        const Run run = Users({"--output", kind, "--file", target.string()});
        EXPECT_EQ(run.code, CliApp::kFailure) << kind;
        EXPECT_NE(run.err, "") << kind;
    }
    EXPECT_EQ(Bytes(plain), "x");
}

TEST_F(ReportCommandTest, ARunWithoutRowsLeavesTheEarlierExportWhole) {
    // Interrupted before the first row: nothing to export, status 130.
    interruptAtOnce_ = true;
    const fs::path file = folder_ / "users.csv";
    std::ofstream(file) << "earlier export";
    Run run = Users({"--file", file.string()});
    EXPECT_EQ(run.code, 130);
    EXPECT_EQ(Bytes(file), "earlier export");
    EXPECT_NE(run.err.find("interrupted before the first object was found; nothing was exported"),
              std::string::npos)
        << run.err;
    interruptAtOnce_ = false;

    // Found nothing: status 0, and said so.
    run = Cli({"report", "--container", "Sales.Corp", "--class", "Organization", "--attr", "CN",
               "--file", file.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(file), "earlier export");
    EXPECT_NE(run.err.find("the report found no object; nothing was exported"), std::string::npos)
        << run.err;
    // A class the schema does not know could find nothing on any day: status 1.
    run = Cli({"report", "--container", "Sales.Corp", "--class", "Printer", "--attr", "CN",
               "--file", file.string()});
    EXPECT_EQ(run.code, CliApp::kFailure) << run.err;
    EXPECT_EQ(Bytes(file), "earlier export");
    EXPECT_NE(run.err.find("has no class \"Printer\"; nothing was exported"), std::string::npos)
        << run.err;
    // Nor one in other letter case, which no object's class equals.
    run = Cli({"report", "--container", "Sales.Corp", "--class", "user", "--attr", "CN", "--file",
               file.string()});
    EXPECT_EQ(run.code, CliApp::kFailure) << run.err;
    EXPECT_NE(run.err.find("has no class \"user\" (class names match in their letter case: it "
                           "has \"User\"); nothing was exported"),
              std::string::npos)
        << run.err;
    run = RunSaved(UsersRpt("0", "users.csv", "Sales.Corp",
                            "[Filter]\nFiltered=1\nFilter Attr 1=CN\nFilter 1=nobody\nMode 1=1\n"));
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(file), "earlier export");

    // Ended by an error: status 1.
    run = RunSaved(UsersRpt("0", "users.csv", "Nowhere.Corp"));
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(Bytes(file), "earlier export");
    EXPECT_NE(run.err.find("Nowhere.Corp"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nothing was exported"), std::string::npos) << run.err;
}

// Ctrl-C pressed while a large export is written (the person sees its
// progress line) stops the write: the earlier file stays whole, nothing is
// stored, status 130.
TEST_F(ReportCommandTest, CtrlCWhileTheResultsAreWrittenKeepsTheEarlierFile) {
    std::string objects = R"([{"name": "Corp", "class": "Organization", "partitionRoot": true})";
    for (int i = 0; i < 1200; ++i)
        objects += ",{\"name\": \"u" + std::to_string(i) +
                   ".Corp\", \"class\": \"User\", \"attributes\": {\"Surname\": \"S\"}}";
    const fs::path image = folder_ / "many.json";
    std::ofstream(image) << testing::TreesImage({{"MANY", objects + "]"}});
    // The terminal the progress line is drawn on; Ctrl-C once a write shows.
    struct Terminal : std::stringbuf {
        ConsoleRunFeedback* feedback = nullptr;
        int sync() override {
            const std::string shown = str();
            if (feedback != nullptr && (shown.find("Writing the workbook") != std::string::npos ||
                                        shown.find("Exporting the results") != std::string::npos))
                feedback->Interrupt();
            return std::stringbuf::sync();
        }
    } terminal;
    for (const char* kind : {"xls", "csv"}) {
        const fs::path file = folder_ / (std::string("users.") + kind);
        std::ofstream(file) << "earlier export";
        CliApp app;
        app.SetShowProgress(true);
        app.SetFeedbackObserver([&terminal](ConsoleRunFeedback* feedback) {
            if (feedback != nullptr) terminal.feedback = feedback;
        });
        std::ostringstream out;
        std::ostream err(&terminal);
        const int code =
            app.Run({"--image", image.string(), "report", "--container", "Corp", "--class", "User",
                     "--attr", "Surname", "--output", kind, "--file", file.string(),
                     "--save-report", (folder_ / "users.rpt").string()},
                    out, err);
        EXPECT_EQ(code, 130) << kind << terminal.str();
        EXPECT_TRUE(Bytes(file) == "earlier export") << kind;
        EXPECT_FALSE(fs::exists(folder_ / "users.rpt")) << kind;
        EXPECT_NE(terminal.str().find("interrupted while the results were written; nothing was "
                                      "exported"),
                  std::string::npos)
            << kind << terminal.str();
        terminal.str("");
    }
}

TEST_F(ReportCommandTest, ASavedReportsOutputFileExtensionDecidesTheFormat) {
    // Type 0 (CSV) with a file ending in .html writes HTML.
    Run run = RunSaved("users-type-csv-file-html.rpt");
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(folder_ / "out.html").rfind("<html><body>\r\n<table border=1>\r\n", 0), 0u);

    // .xls goes to the workbook whatever the type says.
    run = RunSaved(UsersRpt("4", "out.xls"));
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(folder_ / "out.xls").substr(0, 2), "PK");

    // An unknown extension, or none, writes nothing: "Invalid target".
    for (const char* name : {"a.x", "plain"}) {
        run = RunSaved(UsersRpt("0", name));
        EXPECT_EQ(run.code, CliApp::kFailure) << name;
        EXPECT_NE(run.err.find("Invalid target\n"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(folder_ / name)) << name;
    }
    // The kind is decided before the path's length.
    run = RunSaved(UsersRpt("3", "ab"));
    EXPECT_NE(run.err.find("Invalid target\n"), std::string::npos) << run.err;
}

// The type MS Excel writes a workbook into the report's File: one named for
// a text export is refused and keeps that export; a workbook's name in any
// case is written. --save-report stores no report that would be refused.
TEST_F(ReportCommandTest, AWorkbookIsNeverWrittenOverAFileNamedForText) {
    std::ofstream(folder_ / "out.csv") << "earlier export";
    Run run = RunSaved(UsersRpt("1", "out.csv"));
    EXPECT_EQ(run.code, CliApp::kFailure) << run.err;
    EXPECT_EQ(Bytes(folder_ / "out.csv"), "earlier export");
    EXPECT_NE(run.err.find("must end in .xlsx or .xls, not \"out.csv\""), std::string::npos)
        << run.err;

    run = RunSaved(UsersRpt("1", "out.XLSX"));
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(folder_ / "out.XLSX").substr(0, 2), "PK");

    // Nor does the console's own report, stored or not.
    for (const bool store : {true, false}) {
        std::vector<std::string> args = {"report",
                                         "--container",
                                         "Sales.Corp",
                                         "--class",
                                         "User",
                                         "--attr",
                                         "CN",
                                         "--output",
                                         "xls",
                                         "--file",
                                         (folder_ / "out.csv").string()};
        if (store) args.insert(args.end(), {"--save-report", (folder_ / "users.rpt").string()});
        run = Cli(args);
        EXPECT_EQ(run.code, CliApp::kUsage) << run.err;
        EXPECT_EQ(Bytes(folder_ / "out.csv"), "earlier export");
        EXPECT_FALSE(fs::exists(folder_ / "users.rpt"));
    }
    // A new file has nothing to lose.
    run = Cli({"report", "--container", "Sales.Corp", "--class", "User", "--attr", "CN", "--output",
               "xls", "--file", (folder_ / "new.dat").string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(folder_ / "new.dat").substr(0, 2), "PK");
}

TEST_F(ReportCommandTest, WithoutAnOutputFileOnlyDocumentsReachStandardOutput) {
    // Excel and Clipboard types export only to a named file or target.
    for (const char* type : {"1", "2"}) {
        const Run run = RunSaved(UsersRpt(type, ""));
        EXPECT_EQ(run.code, CliApp::kSuccess) << type << run.err;
        EXPECT_EQ(run.out, "") << type;
        EXPECT_NE(run.err.find("the report names no output file; nothing was exported"),
                  std::string::npos)
            << run.err;
    }
    // XML on standard output is UTF-8 and says so.
    const Run run = RunSaved(UsersRpt("4", ""));
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.out.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n", 0),
              0u)
        << run.out;
    EXPECT_NE(run.out.find("Head of \u0141\u00f3d\u017a"), std::string::npos) << run.out;
}

TEST_F(ReportCommandTest, ASavedReportWrittenOnWindowsRuns) {
    // Windows-1252 bytes and CR LF: Container=S\xE4lj.O1, File=s\xE4lj.csv.
    std::ofstream(image_) << testing::TreesImage(
        {{"CORP", R"([{"name": "O1", "class": "Organization"},
                      {"name": "S\u00e4lj.O1", "class": "Organizational Unit"},
                      {"name": "eva.S\u00e4lj.O1", "class": "User",
                       "attributes": {"Surname": "Ek"}}])"}});
    const Run run = RunSaved("windows-1252-container.rpt");
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(Bytes(folder_ / "s\u00e4lj.csv"),
              "\"DN\";\"Surname\"\r\n\"eva.S\xE4lj.O1\";\"Ek\"\r\n");
}

TEST_F(ReportCommandTest, AOneObjectReportWhoseClassListCannotBeReadUsesTheFilesClass) {
    // A class of the schema that zoe is not: its attributes are listed, and
    // every value zoe holds of them is read.
    const std::string rpt =
        "[General]\nContainer=Sales.Corp\nTree=CORP\nReport Type=1\n[Output]\nType=0\n"
        "File=zoe.csv\n[Object]\nName=ghost.Sales.Corp\nType=User\n";
    const Run run = RunSaved(rpt);
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    const std::string bytes = Bytes(folder_ / "zoe.csv");
    EXPECT_NE(bytes.find("\"Surname\";\"\""), std::string::npos) << bytes;
    // The message names the object, and says which class stood in.
    EXPECT_NE(run.err.find("ghost.Sales.Corp"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\"User\""), std::string::npos) << run.err;
}

TEST_F(ReportCommandTest, AnUnreadableCellOfASchemaReportStaysEmptyAndTheRunExports) {
    // No class definition can be read, the run's last directory call among them.
    failClassReadAt_ = 1;
    const fs::path file = folder_ / "classes.csv";
    const Run run = Cli({"schema", "classes", "--file", file.string()});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    const std::string bytes = Bytes(file);
    EXPECT_EQ(bytes.rfind("\"Class Name\";", 0), 0u) << bytes;
    // Every class keeps its row and name; the unreadable cells are empty.
    EXPECT_NE(bytes.find("\r\n\"User\";\"\";\"\";\"\";\"\";\"\";"), std::string::npos) << bytes;
}

TEST_F(ReportCommandTest, SchemaReportsListTheDefinitions) {
    const Run run = Cli({"schema", "classes"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_EQ(run.out.rfind("\"Class Name\";", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("\r\n\"User\";"), std::string::npos) << run.out;
}

TEST_F(ReportCommandTest, WrongUsage) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{"report", "--class", "User", "--attr", "CN"}, "report needs --container"},
        {{"report", "--container", "Corp", "--attr", "CN"}, "report needs --class"},
        {{"report", "--container", "Corp", "--class", "User"}, "report needs at least one --attr"},
        {{"report", "--container", "C", "--class", "U", "--attr", "CN", "--filter", "CN"},
         "option --filter takes ATTR=TEXT or ATTR!=TEXT, not CN"},
        {{"report", "--container", "C", "--class", "U", "--attr", "A", "--output", "pdf"},
         "option --output takes csv, html, xml, xls or clipboard, not pdf"},
        {{"report", "--container", "C", "--class", "U", "--attr", "A", "--output", "xls"},
         "--output xls needs --file"},
        {{"schema", "tables"}, "schema needs classes or attributes"},
        {{"schema", "classes", "--save-report", "x.rpt"}, "--save-report applies to report only"},
        {{"run", "a.rpt", "--file", "x.csv"},
         "a saved report names its own tree, objects and output"},
        {{"--report=", "--quit"}, "the report option needs a saved report file (--report=FILE)"},
        {{"--report=a.rpt", "trees"}, "a saved report (--report=FILE) takes no command"},
    };
    for (const auto& [args, problem] : wrong) {
        std::ostringstream out;
        std::ostringstream err;
        CliApp app;
        EXPECT_EQ(app.Run(args, out, err), CliApp::kUsage) << problem;
        EXPECT_NE(err.str().find(problem), std::string::npos) << err.str();
    }
}

}  // namespace
}  // namespace vellrun::cli
