#pragma once

#include "client/ClientFactory.h"
#include "client/DirectoryClient.h"
#include "output/AppSettings.h"
#include "platform/DateTime.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace vellrun::cli {

// The console program: parses the command line, starts the directory client
// and runs one command, writing results to out and every message to err.
// Made by main() (or a test) for one run; it owns the client it makes for
// that run and keeps nothing between runs. It never reads standard input.
class CliApp {
public:
    // Exit codes.
    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    static constexpr int kUsage = 2;

    using ClientMaker =
        std::function<std::unique_ptr<client::DirectoryClient>(const client::ClientOptions&)>;

    // maker makes the directory client for the options given (tests may
    // supply their own); by default the program's client factory.
    explicit CliApp(ClientMaker maker = client::MakeDirectoryClient);

    // The date and time formats values are shown in; by default those of the
    // user's locale, read when a command runs. Tests fix them.
    void SetDateTimeFormats(platform::DateTimeFormats formats) { formats_ = std::move(formats); }
    // The settings a run starts from, before its options apply; by default the
    // settings dialog's defaults (4096 characters, no value flags or time stamps).
    void SetSettings(output::AppSettings settings) { settings_ = std::move(settings); }

    // args are the arguments after the program name. Returns the exit code.
    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

    static std::string UsageText();

private:
    struct Options {
        std::optional<std::filesystem::path> image;
        std::optional<std::string> tree;
        std::optional<int> maxSizeIndex;  // AppSettings::MaxAttrSizeIndex
        bool valueFlags = false;
        bool timeStamps = false;
        bool help = false;
        std::vector<std::string> operands;
    };

    static std::optional<std::string> Parse(const std::vector<std::string>& args, Options& options);
    int Execute(const Options& options, std::ostream& out, std::ostream& err);

    ClientMaker maker_;
    std::optional<platform::DateTimeFormats> formats_;
    std::optional<output::AppSettings> settings_;
};

}  // namespace vellrun::cli
