#pragma once

#include "cli/ConsoleMessagePort.h"
#include "cli/ConsoleRunFeedback.h"
#include "directory/DirectoryAccess.h"
#include "platform/DateTime.h"
#include "report/ReportSpec.h"
#include "report/ResultTable.h"
#include "settings/AppSettings.h"

#include <filesystem>
#include <optional>
#include <ostream>

namespace vellrun::cli {

// The console's report run: one ReportSpec through the report run the desktop
// uses, then its export (a file, standard output, the clipboard or a
// workbook) and, when asked, the report spec stored as a saved report. Made by
// CliApp for one command; it borrows everything it is given and keeps the
// results table only while it runs. It never chooses a tree: the report spec
// arrives with a connected tree's name.
class ReportCommand {
public:
    struct Services {
        directory::DirectoryAccess& access;
        const settings::AppSettings& settings;
        const platform::DateTimeFormats& formats;
        ConsoleRunFeedback& feedback;
        ConsoleMessagePort& messages;
        platform::DateTimeParts now;  // dates the XML table line
        bool showProgress = false;    // draw the progress line on err
        std::ostream& out;
        std::ostream& err;
    };

    explicit ReportCommand(Services services) : s_(services) {}

    // How the export's target is chosen.
    enum class ExportRule {
        // report and schema: the kind the --output option chose; the
        // clipboard needs no file.
        kOutputOption,
        // A saved report exports as the desktop's run does: with a CSV, HTML
        // or XML type the output file's extension decides the format (".xls"
        // the workbook, an unknown one "Invalid target"); an Excel or
        // Clipboard type exports only when the file names an output file.
        kSavedReport,
    };

    // Runs spec and exports its table where spec.Output and spec.OutputFile
    // say (no file: a CSV, HTML or XML document on standard output). Only a
    // run whose body produced results exports: one that failed, found no
    // object or was interrupted before its first row leaves an earlier
    // export whole and says why on err. An interrupted ByType walk exports
    // the rows found so far. saveReport, when set, receives the report spec
    // once the run has ended and been exported, or has found no object (not
    // after an interrupt, an error or a failed export). Returns the exit code.
    int Run(const report::ReportSpec& spec, const std::optional<std::filesystem::path>& saveReport,
            ExportRule rule = ExportRule::kOutputOption);

    static constexpr int kSuccess = 0;
    static constexpr int kFailure = 1;
    // Exit code of an interrupted run whose partial rows were exported.
    static constexpr int kInterrupted = 130;

private:
    bool Export(const report::ReportSpec& spec, const report::ResultTable& table, ExportRule rule);
    bool ToStandardOutput(report::OutputType output, const report::ResultTable& table);

    Services s_;
    // Ctrl-C stopped the last Export before it replaced anything.
    bool exportStopped_ = false;
};

}  // namespace vellrun::cli
