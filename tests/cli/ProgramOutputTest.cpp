// The built console program where its output cannot go as planned: standard
// output full or closed, an export into a pipe, a file grown past the size
// limit. Each run is a real process, so that signals and stdio behave as
// they do for a person at a shell.

#include "cli/CliApp.h"
#include "support/DirectoryTestBed.h"
#include "support/Sanitizers.h"
#include "support/TempDir.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellrun::cli {
namespace {

namespace fs = std::filesystem;
using vellrun::testing::ReadFile;

constexpr std::string_view kObjects = R"([
  {"name": "Corp", "class": "Organization", "partitionRoot": true},
  {"name": "amy.Corp", "class": "User", "attributes": {"Surname": "Smith"}},
  {"name": "bob.Corp", "class": "User", "attributes": {"Surname": "Jones"}}
])";

struct Outcome {
    int code = -1;    // exit status, or -1 when a signal ended the program
    int signal = 0;   // the signal that ended it
    std::string err;  // what it wrote to standard error
};

struct Launch {
    std::vector<std::string> args;
    int stdoutFd = -1;  // the program's standard output
    bool ignorePipeSignal = false;
    rlim_t fileSizeLimit = RLIM_INFINITY;
    rlim_t addressSpaceLimit = RLIM_INFINITY;
};

class ProgramOutputTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir dir_{"vellrun-program"};
    fs::path image_ = dir_ / "corp.json";

    void SetUp() override {
        std::ofstream(image_) << testing::TreesImage({{"CORP", std::string(kObjects)}});
    }

    std::vector<std::string> Report(std::vector<std::string> more) const {
        std::vector<std::string> args{"--image", image_.string(), "report", "--tree",
                                      "CORP",    "--container",   "Corp",   "--class",
                                      "User",    "--attr",        "Surname"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    Outcome Start(const Launch& launch) const {
        // Standard error goes through a pipe: the size limit would cut a file.
        int errPipe[2];
        if (::pipe(errPipe) != 0) return {};
        const pid_t child = ::fork();
        if (child == 0) {
            if (launch.ignorePipeSignal) ::signal(SIGPIPE, SIG_IGN);
            const rlimit limit{launch.fileSizeLimit, launch.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const rlimit space{launch.addressSpaceLimit, launch.addressSpaceLimit};
            ::setrlimit(RLIMIT_AS, &space);
            if (launch.stdoutFd >= 0) ::dup2(launch.stdoutFd, STDOUT_FILENO);
            ::dup2(errPipe[1], STDERR_FILENO);
            ::close(errPipe[0]);
            std::vector<char*> argv{const_cast<char*>(VELLRUN_CLI_PATH)};
            for (const std::string& arg : launch.args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(VELLRUN_CLI_PATH, argv.data());
            ::_exit(127);
        }
        ::close(errPipe[1]);
        Outcome outcome;
        char buffer[4096];
        for (ssize_t n; (n = ::read(errPipe[0], buffer, sizeof buffer)) > 0;)
            outcome.err.append(buffer, static_cast<size_t>(n));
        ::close(errPipe[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status)) outcome.code = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
        return outcome;
    }
};

TEST_F(ProgramOutputTest, EveryCommandFailsWhenStandardOutputCannotBeWritten) {
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"--image", image_.string(), "trees"},
        {"--image", image_.string(), "list", "--tree", "CORP", "Corp"},
        {"--image", image_.string(), "object", "--tree", "CORP", "amy.Corp"},
        {"--help"},
        Report({})};
    for (const auto& args : commands) {
        const Outcome outcome = Start({args, full});
        EXPECT_EQ(outcome.code, CliApp::kFailure) << args[args.size() > 2 ? 2 : 0];
        EXPECT_NE(outcome.err.find("standard output could not be written: No space left"),
                  std::string::npos)
            << outcome.err;
    }
    ::close(full);

    // A reader that has gone away ends the program quietly, not with success.
    int closed[2];
    ASSERT_EQ(::pipe(closed), 0);
    ::close(closed[0]);
    const Outcome gone = Start({{"--image", image_.string(), "trees"}, closed[1], true});
    ::close(closed[1]);
    EXPECT_EQ(gone.code, CliApp::kFailure);
    EXPECT_EQ(gone.err, "");
}

TEST_F(ProgramOutputTest, AnExportIntoAPipeReachesItsReader) {
    for (const std::string target : {"/dev/stdout", "-"}) {
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const Outcome outcome = Start({Report({"--file", target}), pipe[1]});
        ::close(pipe[1]);
        std::string read;
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
            read.append(buffer, static_cast<size_t>(n));
        ::close(pipe[0]);
        EXPECT_EQ(outcome.code, CliApp::kSuccess) << target << outcome.err;
        EXPECT_NE(read.find("\"Smith\""), std::string::npos) << target << ": " << read;
    }
    // A workbook reaches the pipe as its bytes.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const Outcome workbook = Start({Report({"--output", "xls", "--file", "-"}), pipe[1]});
    ::close(pipe[1]);
    char magic[2] = {};
    EXPECT_EQ(::read(pipe[0], magic, 2), 2);
    ::close(pipe[0]);
    EXPECT_EQ(workbook.code, CliApp::kSuccess) << workbook.err;
    EXPECT_EQ(std::string(magic, 2), "PK");
}

TEST_F(ProgramOutputTest, AFileGrownPastTheSizeLimitFailsAndLeavesNothingBehind) {
    const fs::path target = dir_ / "users.html";
    std::ofstream(target) << "the earlier export";
    Launch launch{Report({"--output", "html", "--file", target.string()})};
    launch.fileSizeLimit = 40;
    const Outcome outcome = Start(launch);
    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.code, CliApp::kFailure);
    EXPECT_NE(outcome.err.find("File too large"), std::string::npos) << outcome.err;
    EXPECT_EQ(ReadFile(target), "the earlier export");
    for (const auto& entry : fs::directory_iterator(dir_.Path()))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
}

// A clipboard tool that ends without reading (one that cannot open the
// display) fails the export with a message; the text, larger than a pipe
// holds, used to end the program by the broken pipe's signal instead.
TEST_F(ProgramOutputTest, AClipboardToolThatReadsNothingFailsTheExport) {
    std::string objects = R"([{"name": "Corp", "class": "Organization", "partitionRoot": true})";
    for (int user = 0; user < 2000; ++user) {
        objects += ",{\"name\": \"u" + std::to_string(user) +
                   ".Corp\", \"class\": \"User\", \"attributes\": {\"Surname\": \"" +
                   std::string(100, 'x') + "\"}}";
    }
    const fs::path image = dir_ / "many.json";
    std::ofstream(image) << testing::TreesImage({{"CORP", objects + "]"}});
    const fs::path tools = dir_ / "tools";
    fs::create_directory(tools);
    std::ofstream(tools / "xclip") << "#!/bin/sh\nexec 0<&-\nexit 1\n";
    fs::permissions(tools / "xclip", fs::perms::owner_all);

    const std::string path = ::getenv("PATH") != nullptr ? ::getenv("PATH") : "";
    const char* display = ::getenv("DISPLAY");
    const std::string oldDisplay = display != nullptr ? display : "";
    ::setenv("PATH", (tools.string() + ":" + path).c_str(), 1);
    ::setenv("DISPLAY", ":99", 1);
    ::unsetenv("WAYLAND_DISPLAY");
    Launch launch{Report({"--output", "clipboard"})};
    launch.args[1] = image.string();
    const Outcome outcome = Start(launch);
    ::setenv("PATH", path.c_str(), 1);
    if (display != nullptr)
        ::setenv("DISPLAY", oldDisplay.c_str(), 1);
    else
        ::unsetenv("DISPLAY");

    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.code, CliApp::kFailure);
    EXPECT_NE(outcome.err.find("clipboard"), std::string::npos) << outcome.err;
}

// Memory that runs out is told of like any other failure: the program's
// allocator would end it without a word unless a failed allocation throws.
// An image larger than the address space the program may have cannot even
// be read into memory.
TEST_F(ProgramOutputTest, RunningOutOfMemorySaysSoAndFails) {
    if (testing::kUnderSanitizer)
        GTEST_SKIP() << "a sanitizer needs more address space than the limit leaves";
    const fs::path huge = dir_ / "huge.json";
    std::ofstream(huge).close();
    ASSERT_EQ(::truncate(huge.c_str(), off_t{4} << 30), 0);
    Launch launch{{"--image", huge.string(), "trees"}};
    launch.addressSpaceLimit = rlim_t{1} << 30;
    const Outcome outcome = Start(launch);
    EXPECT_EQ(outcome.signal, 0);
    EXPECT_EQ(outcome.code, CliApp::kFailure);
    EXPECT_NE(outcome.err.find("not enough memory"), std::string::npos) << outcome.err;
}

}  // namespace
}  // namespace vellrun::cli
