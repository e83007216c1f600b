#include "cli/ReportCommand.h"

#include "cli/ConsoleDesktopPort.h"
#include "exports/ExportFormats.h"
#include "exports/ResultsFileExport.h"
#include "exports/WorkbookExport.h"
#include "platform/TextCollator.h"
#include "report/CannedReport.h"
#include "report/ReportRun.h"
#include "report/ReportStart.h"
#include "report/SavedReport.h"
#include "values/CellTextReader.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

namespace vellrun::cli {

namespace {

constexpr std::string_view kProgram = "vellrun-cli";

exports::ExportKind KindOf(report::OutputType output) {
    switch (output) {
        case report::OutputType::Csv: return exports::ExportKind::Text;
        case report::OutputType::Html: return exports::ExportKind::Html;
        case report::OutputType::Xml: return exports::ExportKind::Xml;
        case report::OutputType::Excel: return exports::ExportKind::Excel;
        case report::OutputType::Clipboard: return exports::ExportKind::Clipboard;
    }
    return exports::ExportKind::None;
}

std::string FormatName(exports::ExportKind kind) {
    switch (kind) {
        case exports::ExportKind::Html: return "HTML";
        case exports::ExportKind::Xml: return "XML";
        default: return "CSV";
    }
}

exports::Delimiters Delimiters(const settings::AppSettings& settings) {
    return {settings.FieldDelimiter, settings.ValueDelimiter, settings.QuoteChar};
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
    // The line of the export's write.
    ProgressScope(ConsoleRunFeedback& feedback, bool show, std::ostream& err)
        : feedback_(feedback), show_(show) {
        if (show_) feedback_.StartWriteProgress(err);
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
                       const std::optional<std::filesystem::path>& saveReport, ExportRule rule) {
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
    const bool interrupted = s_.feedback.Interrupted();
    const client::Result result = run.LastResult();
    const bool byType = spec.Kind == report::ReportKind::ByType;
    const size_t rows = run.Table().RowCount() > 0 ? run.Table().RowCount() - 1 : 0;
    // A report that ran to its end is stored when asked, whatever it found:
    // one that finds nothing today may well find something tomorrow.
    const auto stored = [&](bool exported) {
        if (!saveReport) return kSuccess;
        const platform::FileStatus status =
            report::SavedReport::Store(run.CurrentSpec(), *saveReport);
        if (status.ok()) return kSuccess;
        s_.err << kProgram << ": " << status.error << "; the report was not stored"
               << (exported ? " (its results were exported)" : "") << '\n';
        return kFailure;
    };
    if (!run.SaveEnabled()) {
        // The run produced nothing to export: an earlier export stays whole.
        if (result != 0) {
            s_.access.DSShowError(result, report::RunErrorLabel(spec, false));
            if (result == client::Err::NoSuchClass && byType) {
                s_.err << kProgram << ": the schema of the tree \"" << spec.TreeName
                       << "\" has no class \"" << spec.ObjectClass << "\"";
                if (!run.SchemaClassSpelling().empty())
                    s_.err << " (class names match in their letter case: it has \""
                           << run.SchemaClassSpelling() << "\")";
                s_.err << "; ";
            } else {
                s_.err << kProgram << ": ";
            }
            s_.err << "nothing was exported\n";
            return kFailure;
        }
        if (interrupted) {
            s_.err << kProgram
                   << ": interrupted before the first object was found; nothing was "
                      "exported\n";
            return kInterrupted;
        }
        s_.err << kProgram << ": " << report::NothingExportedNotice(run) << '\n';
        return stored(false);
    }
    // A run that failed on its own side (not the directory's answer) found
    // part of its rows, whatever its kind.
    const bool cutShort = result == client::Err::Fatal;
    if (spec.Kind == report::ReportKind::ByObject && result != 0 && !cutShort) {
        s_.access.DSShowError(result, report::RunErrorLabel(spec, true));
        s_.err << kProgram << ": the attributes of the class \"" << spec.ObjectClass
               << "\" named in the report are listed\n";
    }
    if (!Export(run.CurrentSpec(), run.Table(), rule)) {
        if (!exportStopped_) return kFailure;
        s_.err << kProgram
               << ": interrupted while the results were written; nothing was "
                  "exported\n";
        return kInterrupted;
    }
    if (!interrupted && s_.feedback.Interrupted()) {
        // Too late to stop anything: the last step of a write cannot be.
        s_.err << kProgram << ": interrupted after the results were written; the " << rows
               << " rows found were exported\n";
        return kInterrupted;
    }
    if ((byType || cutShort) && result != 0 && !interrupted) {
        s_.access.DSShowError(result, report::RunErrorLabel(spec, true));
        s_.err << kProgram << ": the " << rows << " rows found were exported\n";
        return kFailure;
    }
    if (interrupted) {
        s_.err << kProgram << ": interrupted; the " << rows << " rows found so far were exported\n";
        // A cut-short run is no report to run again.
        return kInterrupted;
    }
    return stored(true);
}

bool ReportCommand::ToStandardOutput(report::OutputType output, const report::ResultTable& table) {
    // Standard output is read like the clipboard: the program's text (UTF-8),
    // with the document's CR LF line ends; XML says so in its declaration.
    // The document goes out a piece (a row) at a time as it is made, so a
    // large report is never held twice; once a write fails the rest is not
    // tried.
    std::ostream& out = s_.out;
    const exports::DocumentOut write = [&out](std::string_view piece) {
        if (out) out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    };
    platform::TextCollator collator;
    errno = 0;
    if (output == report::OutputType::Csv)
        exports::WriteDelimitedText(table, Delimiters(s_.settings), write);
    else if (output == report::OutputType::Html)
        exports::WriteHtml(table, write);
    else
        exports::WriteXml(table, collator, s_.now, "UTF-8", write);
    out.flush();
    if (!s_.out) {
        // A reader that went away (a closed pipe) ends the program quietly.
        const int error = errno;
        if (error != EPIPE) {
            s_.err << kProgram << ": standard output could not be written"
                   << (error != 0 ? std::string(": ") + std::strerror(error) : std::string())
                   << '\n';
        }
        return false;
    }
    return true;
}

bool ReportCommand::Export(const report::ReportSpec& spec, const report::ResultTable& table,
                           ExportRule rule) {
    exportStopped_ = false;
    // "-" is standard output, as for every console program.
    const bool toStandardOutput = spec.OutputFile == "-";
    const std::filesystem::path target(toStandardOutput ? "/dev/stdout" : spec.OutputFile);
    const bool document = spec.Output == report::OutputType::Csv ||
                          spec.Output == report::OutputType::Html ||
                          spec.Output == report::OutputType::Xml;
    if (toStandardOutput && document) return ToStandardOutput(spec.Output, table);
    if (target.empty()) {
        if (document) return ToStandardOutput(spec.Output, table);
        if (rule == ExportRule::kSavedReport) {
            s_.err << kProgram << ": the report names no output file; nothing was exported\n";
            return true;
        }
    }
    // A saved report of a document type leaves the format to the file's
    // extension, as the desktop's save step does.
    const exports::ExportKind kind = rule == ExportRule::kSavedReport && document
                                         ? exports::ExportKindForTarget("", target.string())
                                         : KindOf(spec.Output);
    switch (kind) {
        case exports::ExportKind::None: s_.messages.ErrorBox("Invalid target"); return false;
        case exports::ExportKind::Text:
        case exports::ExportKind::Html:
        case exports::ExportKind::Xml: {
            platform::TextCollator collator;
            exports::FileExportRequest request;
            request.formatName = rule == ExportRule::kSavedReport ? "" : FormatName(kind);
            request.target = target;
            request.delimiters = Delimiters(s_.settings);
            request.utf8Text = s_.settings.ExportUtf8;
            // Ctrl-C stops the write as the desktop's Cancel does.
            request.progress = &s_.feedback;
            const ProgressScope progress(s_.feedback, s_.showProgress, s_.err);
            const exports::FileExportResult written =
                exports::ExportTableToFile(table, request, collator, s_.now, s_.messages);
            exportStopped_ = written == exports::FileExportResult::Stopped;
            return written == exports::FileExportResult::Written;
        }
        case exports::ExportKind::Excel: {
            if (target.empty()) {
                s_.err << kProgram << ": a workbook needs a file (--file)\n";
                return false;
            }
            exports::WorkbookOutcome written;
            {
                const ProgressScope progress(s_.feedback, s_.showProgress, s_.err);
                written = exports::WriteWorkbook(table, target, {}, &s_.feedback);
            }
            exportStopped_ = written.stopped;
            if (written.stopped) return false;
            if (!written.ok()) {
                s_.err << kProgram << ": the workbook " << target.string()
                       << " could not be written (" << written.error << ")\n";
                return false;
            }
            if (written.sheets > 1) {
                s_.err << kProgram << ": the table fills " << written.sheets
                       << " worksheets; each further one starts with the header again\n";
            }
            if (!written.Notice().empty()) s_.err << kProgram << ": " << written.Notice() << '\n';
            return true;
        }
        case exports::ExportKind::Clipboard: {
            ConsoleDesktopPort desktop;
            const std::string problem =
                exports::CopyTableToClipboard(table, Delimiters(s_.settings), desktop);
            if (!problem.empty()) {
                s_.err << kProgram << ": " << exports::ClipboardFailureText(problem) << '\n';
                return false;
            }
            return true;
        }
    }
    return false;
}

}  // namespace vellrun::cli
