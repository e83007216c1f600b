// The console program driven in-process, and once as the built executable.

#include "cli/CliApp.h"
#include "support/DirectoryTestBed.h"
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace vellrun::cli {
namespace {

namespace fs = std::filesystem;

// Writes a file into a test's folder and says where it went.
fs::path WriteIn(const testing::TempDir& folder, const std::string& name, const std::string& text) {
    testing::WriteFile(folder / name, text);
    return folder / name;
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliApp app;
    CliRun run;
    run.code = app.Run(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

class CliAppTest : public ::testing::Test {
protected:
    CliAppTest() {
        image_ = WriteIn(folder_, "corp.json",
                         testing::TreesImage({{"CORP", testing::CorpObjects()},
                                              {"Lab", R"([{"name": "Bench", "class":
                                                       "Organization"}])"}}));
    }
    std::string Image() const { return image_.string(); }

    testing::TempDir folder_{"vellrun-cli-test"};
    fs::path image_;
};

TEST_F(CliAppTest, TreesListsEveryConnectedTree) {
    const CliRun run = RunCli({"--image", Image(), "trees"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "CORP\nLab\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliAppTest, ListPrintsTheEntriesOfTheFirstTreesContainer) {
    const CliRun run = RunCli({"list", "Sales.Corp", "--image=" + Image()});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "User: jdoe\nOrganizational Unit: East\nGroup: staff\nAlias: jalias\n");
}

TEST_F(CliAppTest, ListTakesATreeByNameInAnyCase) {
    CliRun run = RunCli({"--image", Image(), "list", "--tree", "LAB", "[Root]"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Organization: Bench\n");

    run = RunCli({"--image", Image(), "list", "--tree", "Elsewhere", "[Root]"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("tree \"Elsewhere\" is not connected"), std::string::npos) << run.err;
}

// A dump whose entries are named like special names: each is an object of
// its own ("\[Root]"), read and reported as itself, and a recursive report
// from the top steps into it once; "[Root]" stays the top.
TEST_F(CliAppTest, EntriesNamedLikeSpecialNamesAreObjectsOfTheirOwn) {
    const fs::path schema = WriteIn(folder_, "names.schema", R"(
attributetype ( 2.5.4.41 NAME 'name' EQUALITY caseIgnoreMatch
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.15 )
attributetype ( 2.5.4.3 NAME 'cn' SUP name )
attributetype ( 2.5.4.4 NAME 'sn' SUP name )
attributetype ( 2.5.4.11 NAME 'ou' SUP name )
attributetype ( 0.9.2342.19200300.100.1.25 NAME 'dc' EQUALITY caseIgnoreIA5Match
	SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE )
objectclass ( 1.3.6.1.4.1.1466.344 NAME 'dcObject' SUP top AUXILIARY MUST dc )
objectclass ( 2.5.6.5 NAME 'organizationalUnit' SUP top STRUCTURAL MUST ou )
objectclass ( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST ( sn $ cn ) )
)");
    const fs::path dump = WriteIn(folder_, "names.ldif",
                                  "dn: dc=test\nobjectClass: organizationalUnit\n"
                                  "objectClass: dcObject\nou: Top\ndc: test\n\n"
                                  "dn: cn=[Root],dc=test\nobjectClass: person\ncn: [Root]\n"
                                  "sn: NotTheTop\n\n"
                                  "dn: ou=Sales,dc=test\nobjectClass: organizationalUnit\n"
                                  "ou: Sales\n\n"
                                  "dn: cn=[public],ou=Sales,dc=test\nobjectClass: person\n"
                                  "cn: [public]\nsn: Public\n");
    const std::vector<std::string> image = {"--image", dump.string(), "--schema", schema.string()};
    auto run = [&image](std::vector<std::string> command) {
        command.insert(command.begin(), image.begin(), image.end());
        return RunCli(command);
    };
    CliRun listed = run({"list", "[Root]"});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(listed.out, "person: \\[Root]\norganizationalUnit: Sales\n");
    listed = run({"list", "\\[Root]"});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(listed.out, "");
    const CliRun report = run({"report", "--container", "[Root]", "--class", "*", "--attr", "sn",
                               "--recurse", "--typeless"});
    EXPECT_EQ(report.code, 0) << report.err;
    EXPECT_EQ(report.out,
              "\"DN\";\"sn\"\r\n\".\\[Root]\";\"NotTheTop\"\r\n"
              "\".\\[public].Sales\";\"Public\"\r\n\".Sales\";\"\"\r\n");
}

// A dump served without its schema holds objects of classes it does not
// define: a report whose filter keeps none of them found nothing, which is
// no unknown class.
TEST_F(CliAppTest, AFilteredOutClassThatOnlyTheDumpKnowsFindsNothing) {
    const fs::path dump = WriteIn(folder_, "people.ldif",
                                  "dn: dc=test\nobjectClass: dcObject\ndc: test\n\n"
                                  "dn: cn=alice,dc=test\nobjectClass: inetOrgPerson\ncn: alice\n");
    const CliRun run = RunCli({"--image", dump.string(), "report", "--container", "[Root]",
                               "--class", "inetOrgPerson", "--attr", "cn", "--filter", "cn=zzz"});
    EXPECT_EQ(run.code, CliApp::kSuccess) << run.err;
    EXPECT_NE(run.err.find("the report found no object"), std::string::npos) << run.err;
}

TEST_F(CliAppTest, AContainerThatCannotBeListedShowsTheErrorText) {
    const CliRun run = RunCli({"--image", Image(), "list", "Nowhere.Corp"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("List \"Nowhere.Corp\" returned error 0xFFFFFDA7 (", 0), 0u) << run.err;
}

TEST_F(CliAppTest, ABrokenImageEndsTheRunWithTheLoadersMessage) {
    const fs::path broken = WriteIn(folder_, "broken.json", R"({"format": "vellrun-directory-image",
        "version": 1, "trees": [{"name": "CORP", "objects": [], "colour": "blue"}]})");
    const CliRun run = RunCli({"--image", broken.string(), "trees"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("Could not initialize NetWare Client. InitNetWare returned error "
                            "0xFFFF",
                            0),
              0u)
        << run.err;
    EXPECT_NE(run.err.find("broken.json"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("colour"), std::string::npos) << run.err;

    const CliRun missing = RunCli({"--image", (folder_.Path() / "absent.json").string(), "trees"});
    EXPECT_EQ(missing.code, CliApp::kFailure);
    EXPECT_NE(missing.err.find("absent.json"), std::string::npos) << missing.err;
}

// On a terminal the load draws its progress line and takes it off before
// anything else is written, a failure's message included.
TEST_F(CliAppTest, TheLoadsProgressLineMakesWayForWhatFollows) {
    const auto runShowingProgress = [](const std::vector<std::string>& args) {
        std::ostringstream out;
        std::ostringstream err;
        CliApp app;
        app.SetShowProgress(true);
        CliRun run;
        run.code = app.Run(args, out, err);
        run.out = out.str();
        run.err = err.str();
        return run;
    };
    const std::string clear = "\r\x1b[K";
    CliRun run = runShowingProgress({"--image", Image(), "trees"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "CORP\nLab\n");
    ASSERT_NE(run.err.find("Loading"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - clear.size()), clear) << run.err;

    const fs::path broken =
        WriteIn(folder_, "unknown-class.json", testing::TreesImage({{"CORP", R"([
        {"name": "Corp", "class": "Organization"},
        {"name": "x.Corp", "class": "Nonesuch"}])"}}));
    run = runShowingProgress({"--image", broken.string(), "trees"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    const size_t message = run.err.find("Could not initialize");
    ASSERT_NE(message, std::string::npos) << run.err;
    ASSERT_GE(message, clear.size());
    EXPECT_EQ(run.err.substr(message - clear.size(), clear.size()), clear) << run.err;
    EXPECT_NE(run.err.find("Nonesuch"), std::string::npos) << run.err;
}

// Ctrl-C stops a load whether or not its progress is drawn: standard error
// need not be a terminal for the interrupt to be heard.
TEST_F(CliAppTest, CtrlCStopsTheLoadWithoutAProgressLine) {
    for (const bool showProgress : {false, true}) {
        std::ostringstream out;
        std::ostringstream err;
        CliApp app;
        app.SetShowProgress(showProgress);
        app.SetFeedbackObserver([](ConsoleRunFeedback* feedback) {
            if (feedback != nullptr) feedback->Interrupt();
        });
        EXPECT_EQ(app.Run({"--image", Image(), "trees"}, out, err), 130) << err.str();
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("vellrun-cli: loading was cancelled\n"), std::string::npos)
            << err.str();
        // Nothing is drawn where no progress is shown.
        if (!showProgress) {
            EXPECT_EQ(err.str().find("Loading"), std::string::npos) << err.str();
        }
    }
}

// The loader's limit on what an image's values build together follows the option.
TEST_F(CliAppTest, TheImageLimitOptionSetsWhatAnImagesValuesMayBuild) {
    const fs::path big = WriteIn(folder_, "big.json", testing::TreesImage({{"CORP", R"([
        {"name": "Corp", "class": "Organization"},
        {"name": "big.Corp", "class": "User", "attributes": {"CN": "big",
         "Login Script": {"bytes": [{"zeros": 1500000}]}}}])"}}));
    CliRun run = RunCli({"--image", big.string(), "--image-limit", "1", "trees"});
    EXPECT_EQ(run.code, CliApp::kFailure);
    EXPECT_NE(run.err.find("big.json: trees[0].objects[1] \"big.Corp\": attribute \"Login "
                           "Script\": value 1: the values of the image build more than 1048576 "
                           "bytes together"),
              std::string::npos)
        << run.err;
    run = RunCli({"--image", big.string(), "--image-limit=2", "trees"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "CORP\n");
}

TEST(CliUsage, HelpAndWrongUsage) {
    CliRun run = RunCli({"--help"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, CliApp::UsageText());
    EXPECT_NE(run.out.find("vellrun-cli --version\n"), std::string::npos);
    run = RunCli({"--version"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "vellrun-cli " VELLRUN_VERSION "\n");
    EXPECT_EQ(run.err, "");

    const std::vector<std::pair<std::vector<std::string>, std::string>> wrong = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"--frob", "trees"}, "unknown option --frob"},
        {{"trees", "--image"}, "option --image needs a value"},
        {{"--image=", "trees"}, "option --image needs a value"},
        {{"--image-limit", "0", "trees"},
         "option --image-limit takes a number of mebibytes (1, 2, ...), not 0"},
        {{"trees", "extra"}, "trees takes no operands"},
        {{"--tree", "T", "trees"}, "--tree does not apply to trees"},
        {{"list"}, "list needs exactly one CONTAINER"},
        {{"list", "A", "B"}, "list needs exactly one CONTAINER"},
    };
    for (const auto& [args, problem] : wrong) {
        run = RunCli(args);
        EXPECT_EQ(run.code, CliApp::kUsage) << problem;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "vellrun-cli: " + problem + "\n\n" + CliApp::UsageText());
    }
}

TEST(CliUsage, TheHelpIsMadeFromTheTablesItParses) {
    const std::string help = CliApp::UsageText();
    for (const OptionEntry& option : OptionTable())
        EXPECT_NE(help.find(std::string(option.name) + " "), std::string::npos) << option.name;
    for (const Command* command : CommandTable())
        EXPECT_NE(help.find("] " + std::string(command->name)), std::string::npos) << command->name;

    CliRun run = RunCli({"trees", "--recurse=yes"});
    EXPECT_EQ(run.code, CliApp::kUsage);
    EXPECT_EQ(run.err.rfind("vellrun-cli: option --recurse takes no value\n", 0), 0u) << run.err;
    run = RunCli({"list", "--container", "C", "X"});
    EXPECT_EQ(run.err.rfind("vellrun-cli: --container applies to report only\n", 0), 0u) << run.err;
    run = RunCli({"object", "--output", "xml", "X"});
    EXPECT_EQ(run.err.rfind("vellrun-cli: output options do not apply to object\n", 0), 0u)
        << run.err;
}

// The exported tree keeps the directory's own classes (abstract ones
// listed, a base entry without a structural class), which a schema-checking
// slapadd refuses: the help says how it loads.
TEST(CliUsage, TheLdifExportSaysItLoadsWithoutSchemaChecks) {
    const std::string help = CliApp::UsageText();
    const size_t at = help.find("] export-ldif ");
    ASSERT_NE(at, std::string::npos);
    const std::string entry = help.substr(at, help.find("\n  vellrun-cli", at) - at);
    EXPECT_NE(entry.find("slapadd -s"), std::string::npos) << entry;
}

// The LDIF and its schema never land in one file, and a schema that cannot
// be written leaves the earlier LDIF as it was.
TEST_F(CliAppTest, AnLdifExportNeverOverwritesWhatItWrites) {
    const fs::path ldif = WriteIn(folder_, "corp.ldif", "the earlier LDIF");
    const fs::path schema = folder_ / "corp.schema";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export-ldif", schema.string()},
          {"--schema-out", ldif.string(), "export-ldif", ldif.string()},
          {"--schema-out", (folder_ / "sub" / ".." / "corp.ldif").string(), "export-ldif",
           ldif.string()}}) {
        const CliRun run = RunCli([&] {
            std::vector<std::string> all{"--image", Image()};
            all.insert(all.end(), args.begin(), args.end());
            return all;
        }());
        EXPECT_EQ(run.code, CliApp::kUsage) << args.back() << run.err;
        EXPECT_NE(run.err.find("the LDIF and the schema to the same file"), std::string::npos)
            << run.err;
        EXPECT_FALSE(fs::exists(schema));
        EXPECT_EQ(testing::ReadFile(ldif), "the earlier LDIF");
    }

    fs::create_directory(folder_ / "folder.schema");
    const CliRun run = RunCli({"--image", Image(), "--schema-out",
                               (folder_ / "folder.schema").string(), "export-ldif", ldif.string()});
    EXPECT_EQ(run.code, CliApp::kFailure) << run.err;
    EXPECT_NE(run.err.find("folder.schema"), std::string::npos) << run.err;
    EXPECT_EQ(testing::ReadFile(ldif), "the earlier LDIF");
    for (const auto& entry : fs::directory_iterator(folder_.Path()))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();

    const CliRun written = RunCli({"--image", Image(), "export-ldif", ldif.string()});
    EXPECT_EQ(written.code, 0) << written.err;
    EXPECT_NE(testing::ReadFile(ldif).find("dn: "), std::string::npos);
    EXPECT_NE(testing::ReadFile(schema).find("objectclass"), std::string::npos);
}

TEST(CliProgram, TheBuiltProgramExitsNonZeroOnABrokenImage) {
    testing::TempDir folder{"vellrun-cli-test"};
    const fs::path broken = WriteIn(folder, "bad image.json", "{\"format\": ");
    const fs::path err = folder.Path() / "err.txt";
    const std::string command = std::string("'") + VELLRUN_CLI_PATH + "' --image '" +
                                broken.string() + "' trees >/dev/null 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), CliApp::kFailure);
    std::stringstream text;
    text << std::ifstream(err).rdbuf();
    EXPECT_NE(text.str().find("InitNetWare returned error 0xFFFF"), std::string::npos)
        << text.str();
    EXPECT_NE(text.str().find("bad image.json"), std::string::npos) << text.str();
}

// A Ctrl+C the parent told the program to ignore (a background job of a
// script) stays ignored: a run waiting for its server goes on waiting.
TEST(CliProgram, AnIgnoredInterruptStaysIgnored) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string uri = "ldap://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGINT, SIG_IGN);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execl(VELLRUN_CLI_PATH, VELLRUN_CLI_PATH, "-H", uri.c_str(), "trees",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Connected: the program now waits for the server's first answer.
    pollfd connected{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&connected, 1, 20000), 1);
    const int server = ::accept(listener, nullptr, nullptr);
    ::kill(child, SIGINT);
    ::usleep(500000);
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFEXITED(status)) << "ended by the ignored Ctrl+C with " << WEXITSTATUS(status);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    ::close(server);
    ::close(listener);
}

// Ctrl+C at the password prompt of -W ends the program as always, and
// leaves the terminal echoing what is typed, as it was before the prompt.
TEST(CliProgram, AnInterruptedPasswordPromptGivesTheTerminalItsEchoBack) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string side = ::ptsname(terminal);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A session of its own, whose controlling terminal is the new one.
        ::setsid();
        const int fd = ::open(side.c_str(), O_RDWR);
        if (fd < 0) ::_exit(127);
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        ::execl(VELLRUN_CLI_PATH, VELLRUN_CLI_PATH, "-H", "ldap://127.0.0.1:9", "-D", "cn=x", "-W",
                "trees", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    for (int i = 0; i < 200 && shown.find("Password:") == std::string::npos; ++i) {
        pollfd wait{terminal, POLLIN, 0};
        if (::poll(&wait, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t got = ::read(terminal, buffer, sizeof buffer);
        if (got <= 0) break;
        shown.append(buffer, static_cast<size_t>(got));
    }
    ASSERT_NE(shown.find("Enter LDAP Password:"), std::string::npos) << shown;
    termios asking{};
    ASSERT_EQ(::tcgetattr(terminal, &asking), 0);
    EXPECT_EQ(asking.c_lflag & ECHO, 0u);
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    termios after{};
    ASSERT_EQ(::tcgetattr(terminal, &after), 0);
    EXPECT_NE(after.c_lflag & ECHO, 0u);
    ::close(terminal);
}

}  // namespace
}  // namespace vellrun::cli
