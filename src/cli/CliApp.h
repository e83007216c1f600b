#pragma once

#include "cli/CliCommand.h"
#include "cli/CliOptions.h"
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
    static constexpr int kSuccess = kExitSuccess;
    static constexpr int kFailure = kExitFailure;
    static constexpr int kUsage = kExitUsage;

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
    // Leave the directory client, and the directory it has loaded, to the end
    // of the process instead of taking them apart after the command (main:
    // freeing a large image object by object only delays the exit).
    void SetKeepDirectoryUntilExit(bool keep) { keepDirectoryUntilExit_ = keep; }
    // Told the run feedback when a run begins and null when it has ended, so
    // that a signal handler can interrupt the run (ConsoleRunFeedback::Interrupt).
    void SetFeedbackObserver(std::function<void(ConsoleRunFeedback*)> observer) {
        feedbackObserver_ = std::move(observer);
    }

    // args are the arguments after the program name. Returns the exit code.
    int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

    // The usage text of --help, made from the command and option tables.
    static std::string UsageText();

private:
    int RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    // code, or a failure when out could not be written (full disk, closed pipe).
    static int CheckOutput(int code, std::ostream& out, std::ostream& err);
    int Execute(const CliOptions& options, const Command& command, std::ostream& out,
                std::ostream& err);
    // The settings of the run, or nothing when the settings file is there but
    // cannot be read (said on err).
    std::optional<settings::AppSettings> RunSettings(const CliOptions& options,
                                                     const Command& command,
                                                     const platform::DateTimeFormats& formats,
                                                     std::ostream& err) const;

    ClientMaker maker_;
    std::optional<platform::DateTimeFormats> formats_;
    std::optional<settings::AppSettings> settings_;
    std::optional<std::filesystem::path> settingsFile_;
    std::optional<platform::DateTimeParts> now_;
    bool showProgress_ = false;
    bool keepDirectoryUntilExit_ = false;
    std::function<void(ConsoleRunFeedback*)> feedbackObserver_;
};

}  // namespace vellrun::cli
