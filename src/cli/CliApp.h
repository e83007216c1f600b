#pragma once

#include "cli/ConsoleRunFeedback.h"
#include "client/ClientFactory.h"
#include "client/DirectoryClient.h"
#include "platform/DateTime.h"
#include "settings/AppSettings.h"

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
    void SetSettings(settings::AppSettings settings) { settings_ = std::move(settings); }

    // The settings' INI file read when no settings were set (by default the
    // desktop's per-user file).
    void SetSettingsFile(std::filesystem::path file) { settingsFile_ = std::move(file); }
    // The time that dates an XML export; by default the local time of the run.
    void SetNow(platform::DateTimeParts now) { now_ = now; }
    // Draw the progress line of report runs on err (main: err is a terminal).
    void SetShowProgress(bool show) { showProgress_ = show; }
    // Told the run feedback when a run begins and null when it has ended, so
    // that a signal handler can interrupt the run (ConsoleRunFeedback::Interrupt).
    void SetFeedbackObserver(std::function<void(ConsoleRunFeedback*)> observer) {
        feedbackObserver_ = std::move(observer);
    }

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
        std::optional<bool> typeless;
        std::optional<char> fieldDelimiter;
        std::optional<char> valueDelimiter;
        std::optional<char> quote;
        bool help = false;
        // report and schema
        std::optional<std::string> container;
        std::optional<std::string> objectClass;
        std::vector<std::string> attributes;
        bool recurse = false;
        std::vector<std::string> filters;
        std::optional<int> orderBy;
        std::optional<std::string> output;
        std::optional<std::string> file;
        std::optional<std::filesystem::path> saveReport;
        // --report=FILE (every spelling of the report option), and the quit switch.
        std::optional<std::string> reportFile;
        bool quit = false;
        std::vector<std::string> operands;
    };

    static std::optional<std::string> Parse(const std::vector<std::string>& args, Options& options);
    static std::optional<std::string> CheckCommand(const Options& options);
    int Execute(const Options& options, std::ostream& out, std::ostream& err);
    settings::AppSettings RunSettings(const Options& options,
                                      const platform::DateTimeFormats& formats) const;

    ClientMaker maker_;
    std::optional<platform::DateTimeFormats> formats_;
    std::optional<settings::AppSettings> settings_;
    std::optional<std::filesystem::path> settingsFile_;
    std::optional<platform::DateTimeParts> now_;
    bool showProgress_ = false;
    std::function<void(ConsoleRunFeedback*)> feedbackObserver_;
};

}  // namespace vellrun::cli
