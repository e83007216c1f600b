#include "cli/ReportCommand.h"

#include "cli/ConsoleDesktopPort.h"
#include "exports/ExportFormats.h"
#include "exports/ResultsFileExport.h"
#include "exports/WorkbookExport.h"
#include "platform/TextCollator.h"
#include "report/ReportRun.h"
#include "report/SavedReport.h"
#include "values/CellTextReader.h"

#include <string>

namespace vellrun::cli {

namespace {

constexpr std::string_view kProgram = "vellrun-cli";

std::string_view FormatName(report::OutputType output) {
    switch (output) {
        case report::OutputType::Csv: return "CSV";
        case report::OutputType::Html: return "HTML";
        case report::OutputType::Xml: return "XML";
        case report::OutputType::Excel: return "XLS";
        case report::OutputType::Clipboard: return "CLIPBOARD";
    }
    return {};
}

// Ends the progress line however the run leaves.
class ProgressScope {
public:
    ProgressScope(ConsoleRunFeedback& feedback, bool show, std::ostream& err,
                  const report::ResultTable& table)
        : feedback_(feedback), show_(show) {
        // The header row is no object found.
        if (show_)
            feedback_.StartProgress(
                err, [&table] { return table.RowCount() > 0 ? table.RowCount() - 1 : 0; });
    }
    ~ProgressScope() {
        if (show_) feedback_.EndProgress();
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    ConsoleRunFeedback& feedback_;
    bool show_;
};

}  // namespace

int ReportCommand::Run(const report::ReportSpec& spec,
                       const std::optional<std::filesystem::path>& saveReport) {
    values::CellTextReader reader(s_.access, s_.settings, s_.formats);
    platform::TextCollator collator;
    report::ReportRun run(s_.access, reader, s_.settings, s_.feedback, collator);
    // The run clears the cancel flag as it begins; a Ctrl-C that came before
    // must still stop it.
    run.RunHooks().runStarted = [this](const report::ReportSpec&) {
        if (s_.feedback.Interrupted()) s_.feedback.Cancel().Set();
    };
    {
        ProgressScope progress(s_.feedback, s_.showProgress, s_.err, run.Table());
        run.Rpt_run(spec);
    }
    if (run.LastResult() != 0) {
        const std::string where = spec.Kind == report::ReportKind::SchemaClasses ||
                                          spec.Kind == report::ReportKind::SchemaAttributes
                                      ? "Schema of tree \"" + spec.TreeName + "\""
                                      : "Report on \"" + spec.Container + "\"";
        s_.access.DSShowError(run.LastResult(), where);
        return kFailure;
    }
    const bool interrupted = s_.feedback.Interrupted();
    if (!Export(run.CurrentSpec(), run.Table())) return kFailure;
    if (interrupted) {
        s_.err << kProgram << ": interrupted; the "
               << (run.Table().RowCount() > 0 ? run.Table().RowCount() - 1 : 0)
               << " rows found so far were exported\n";
        // A cut-short run is no report to run again.
        return kInterrupted;
    }
    if (saveReport) {
        const std::string problem = report::SavedReport::Store(run.CurrentSpec(), *saveReport);
        if (!problem.empty()) {
            s_.err << kProgram << ": " << problem << '\n';
            return kFailure;
        }
    }
    return kSuccess;
}

bool ReportCommand::Export(const report::ReportSpec& spec, const report::ResultTable& table) {
    const exports::Delimiters delimiters{s_.settings.FieldDelimiter, s_.settings.ValueDelimiter,
                                         s_.settings.QuoteChar};
    const std::filesystem::path target(spec.OutputFile);
    switch (spec.Output) {
        case report::OutputType::Csv:
        case report::OutputType::Html:
        case report::OutputType::Xml: {
            platform::TextCollator collator;
            if (target.empty()) {
                // Standard output is read like the clipboard: the program's
                // text (UTF-8), with the document's CR LF line ends.
                if (spec.Output == report::OutputType::Csv)
                    s_.out << exports::TableToDelimitedText(table, delimiters);
                else if (spec.Output == report::OutputType::Html)
                    s_.out << exports::TableToHtml(table);
                else
                    s_.out << exports::TableToXml(table, collator, s_.now);
                s_.out.flush();
                if (!s_.out) {
                    s_.err << kProgram << ": standard output could not be written\n";
                    return false;
                }
                return true;
            }
            exports::FileExportRequest request;
            request.formatName = std::string(FormatName(spec.Output));
            request.target = target;
            request.delimiters = delimiters;
            request.utf8Text = s_.settings.ExportUtf8;
            return exports::ExportTableToFile(table, request, collator, s_.now, s_.messages) ==
                   exports::FileExportResult::Written;
        }
        case report::OutputType::Excel: {
            if (target.empty()) {
                s_.err << kProgram << ": a workbook needs a file (--file)\n";
                return false;
            }
            const std::string problem = exports::WriteWorkbook(table, target);
            if (!problem.empty()) {
                s_.err << kProgram << ": the workbook " << target.string()
                       << " could not be written (" << problem << ")\n";
                return false;
            }
            return true;
        }
        case report::OutputType::Clipboard: {
            ConsoleDesktopPort desktop;
            exports::CopyTableToClipboard(table, delimiters, desktop);
            if (!desktop.ClipboardProblem().empty()) {
                s_.err << kProgram << ": the results could not be put on the clipboard ("
                       << desktop.ClipboardProblem() << ")\n";
                return false;
            }
            return true;
        }
    }
    s_.err << kProgram << ": unknown output type " << static_cast<int>(spec.Output) << '\n';
    return false;
}

}  // namespace vellrun::cli
