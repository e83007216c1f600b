#pragma once

// What several console commands share: choosing the tree, a context that is
// freed when the command ends, and running a report spec through
// ReportCommand. Free functions and one small scope class; they keep nothing.

#include "cli/CliCommand.h"
#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace vellrun::cli {

inline constexpr std::string_view kProgram = "vellrun-cli";

// The tree named by wantedTree (compared without regard to case), else the
// first connected one; empty after telling err why there is none. namedBy:
// what named the tree (a saved report's file), for that message.
std::string ChooseTree(directory::DirectoryAccess& access,
                       const std::optional<std::string>& wantedTree, std::ostream& err,
                       std::string_view namedBy = {});

// A context of one command, freed when the command ends.
class CommandContext {
public:
    explicit CommandContext(directory::DirectoryAccess& access) : access_(access) {}
    ~CommandContext();
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    // A context on the tree with container as its name context; false after
    // the directory's error has been shown.
    bool Open(const std::string& tree, const std::string& container, bool typeless);
    client::ContextHandle Get() const { return handle_; }

private:
    directory::DirectoryAccess& access_;
    client::ContextHandle handle_{};
    bool open_ = false;
};

// Runs spec (its tree already chosen) through ReportCommand and exports it;
// the exit code. savedReport: the report spec came from a saved report file, whose
// export follows the desktop's rules (ReportCommand::ExportRule).
int RunReportSpec(CommandServices& services, const report::ReportSpec& spec,
                  bool savedReport = false);

// Whether two names reach one file (through "..", a symbolic link or a
// second hard link), so that writing the second would overwrite the first.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Whether a workbook may be written to target: a name that says it is one
// (".xlsx" or ".xls", in any case), standard output ("-"), or a pipe or
// device, which is written straight into. Any other file may well hold a text export of the report,
// which the workbook would replace.
bool WorkbookTargetAllowed(const std::filesystem::path& target);
// Why the output options cannot take a workbook (--output xls without --file,
// or into a file WorkbookTargetAllowed refuses); nothing when they can or
// when the output is no workbook.
std::optional<std::string> WorkbookOutputProblem(const CliOptions& options);

// report and schema: the export the output options ask for.
void ApplyOutputOptions(const CliOptions& options, report::ReportSpec& spec);

}  // namespace vellrun::cli
