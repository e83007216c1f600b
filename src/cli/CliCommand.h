#pragma once

// The console's commands as one table: each command is one entry (its name,
// its line of the usage text, the option groups it takes, its checks and its
// run), defined in a file of its own (TreesCommand.cpp, ListCommand.cpp, ...)
// and listed in CommandTable(). CliApp parses, finds the entry, connects and
// calls it; a command never parses arguments itself. Entries are constant
// data; a run borrows everything in CommandServices for its length only.

#include "cli/CliOptions.h"
#include "cli/ConsoleMessagePort.h"
#include "cli/ConsoleRunFeedback.h"
#include "directory/DirectoryAccess.h"
#include "platform/DateTime.h"
#include "report/ReportSpec.h"
#include "settings/AppSettings.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::cli {

// Exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// What one command gets to run with.
struct CommandServices {
    const CliOptions& options;
    directory::DirectoryAccess& access;
    ConsoleRunFeedback& feedback;
    ConsoleMessagePort& messages;
    const settings::AppSettings& settings;
    const platform::DateTimeFormats& formats;
    platform::DateTimeParts now;  // dates an XML export
    bool showProgress;            // draw the progress line of report runs
    // Told the run feedback while a report runs (a signal handler interrupts it).
    const std::function<void(ConsoleRunFeedback*)>& feedbackObserver;
    // The saved report that Command::load read before connecting, if any.
    const std::optional<report::ReportSpec>& saved;
    std::ostream& out;
    std::ostream& err;
};

// Tells an observer of the feedback (the console's Ctrl-C handler) the run
// going on for as long as it lives, and that none is going on when it ends,
// an end by an exception included: the feedback may not outlive it.
class ObservedFeedback {
public:
    ObservedFeedback(const std::function<void(ConsoleRunFeedback*)>& observer,
                     ConsoleRunFeedback& feedback)
        : observer_(observer) {
        if (observer_) observer_(&feedback);
    }
    ~ObservedFeedback() {
        if (observer_) observer_(nullptr);
    }
    ObservedFeedback(const ObservedFeedback&) = delete;
    ObservedFeedback& operator=(const ObservedFeedback&) = delete;

private:
    const std::function<void(ConsoleRunFeedback*)>& observer_;
};

// Where a command's settings come from.
enum class CommandSettings {
    kNone,          // the command shows no values
    kDialog,        // the settings dialog's defaults, then the value options
    kSettingsFile,  // the settings file shared with the desktop, then the value options
};

struct Command {
    std::string_view name;
    // The usage line after "vellrun-cli [--image FILE] ", and what the command
    // does ("\n" starts a new line of the text).
    std::string_view synopsis;
    std::string_view description;
    uint32_t groups;  // the OptionGroup bits it takes
    // Said instead of "OPTION does not apply to NAME" when an option it does
    // not take is given; empty for that default.
    std::string_view refusal;
    CommandSettings settings;
    // The operands (after the command's name) and options it needs; the
    // problem or nothing.
    std::optional<std::string> (*check)(const CliOptions& options);
    // Run before any connection is made; false after telling err why the
    // command cannot run. Null when there is nothing to prepare.
    bool (*load)(const CliOptions& options, std::optional<report::ReportSpec>& saved,
                 std::ostream& err);
    // The command's work after the directory has started; the exit code.
    int (*run)(CommandServices& services);
};

// Every command, in the order of the usage text.
const std::vector<const Command*>& CommandTable();

extern const Command kTreesCommand;
extern const Command kListCommand;
extern const Command kObjectCommand;
extern const Command kReportByTypeCommand;
extern const Command kSchemaCommand;
extern const Command kExportLdifCommand;
extern const Command kRunCommand;

}  // namespace vellrun::cli
