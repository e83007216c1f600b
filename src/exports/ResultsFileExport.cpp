#include "exports/ResultsFileExport.h"

#include "exports/ExportProgress.h"
#include "exports/ExportStream.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"

#include <utility>

namespace vellrun::exports {

namespace {

// Thrown through the document writers when the person stops the export.
struct WriteStopped {};

constexpr std::string_view kSaveFilter =
    "Text Files (*.txt);;Doc Files (*.doc);;HTML Files (*.html);;XML (*.xml);;All Files (*)";

}  // namespace

FileExportResult ExportTableToFile(const report::ResultTable& table,
                                   const FileExportRequest& request,
                                   const platform::TextCollator& collator,
                                   const platform::DateTimeParts& now,
                                   platform::MessagePort& messages) {
    const std::string target = request.target.string();
    // The kind is decided before the path is looked at.
    const ExportKind kind = ExportKindForTarget(request.formatName, target);
    if (kind == ExportKind::None) {
        messages.ErrorBox("Invalid target");
        return FileExportResult::InvalidTarget;
    }
    if (kind == ExportKind::Excel || kind == ExportKind::Clipboard) {
        return FileExportResult::ExcelOrClipboard;
    }
    if (!IsValidTargetPath(target)) {
        messages.ErrorBox("Invalid target path");
        return FileExportResult::InvalidPath;
    }

    size_t replaced = 0;
    // The document goes to the file as it is made, in pieces: neither the
    // document nor the file's bytes are ever held whole.
    platform::AtomicFileWriter file(request.target);
    platform::FileStatus status = file.Begin();
    if (status.ok()) {
        ExportProgress progress(request.progress, "Exporting the results ...");
        uint64_t written = 0;
        ExportStream stream(kind, request.utf8Text, [&](std::string_view bytes) {
            // A failure is kept by the writer and reported by Commit.
            (void)file.Append(bytes);
            written += bytes.size();
            if (!progress.Step(written, 0)) throw WriteStopped{};
        });
        const DocumentOut out = [&stream](std::string_view text) { stream.Write(text); };
        try {
            switch (kind) {
                case ExportKind::Html: WriteHtml(table, out); break;
                case ExportKind::Xml: WriteXml(table, collator, now, "windows-1252", out); break;
                default: WriteDelimitedText(table, request.delimiters, out); break;
            }
            stream.Finish();
        } catch (const WriteStopped&) {
            // Not committed: the writer removes its temporary file, and an
            // earlier file stays as it was.
            return FileExportResult::Stopped;
        }
        replaced = stream.Replaced();
        status = file.Commit();
    }
    if (!status.ok()) {
        messages.ErrorBox(status.error);
        return FileExportResult::WriteFailed;
    }
    // HTML and XML keep every character as a reference; only delimited text
    // loses some, and the person should know which setting keeps them.
    if (replaced > 0 && kind == ExportKind::Text) {
        messages.InfoBox(std::to_string(replaced) +
                         " character(s) have no place in the Windows-1252 code page and were "
                         "written as \"?\". Choose \"Export as UTF-8\" in the settings to keep "
                         "them.");
    }
    return FileExportResult::Written;
}

FileExportResult ExportResultsToFile(const report::ResultTable& table, std::string_view formatName,
                                     ExportTargets& targets, const settings::AppSettings& settings,
                                     bool utf8Text, const platform::TextCollator& collator,
                                     const platform::DateTimeParts& now,
                                     platform::MessagePort& messages,
                                     platform::RunFeedback* progress) {
    if (targets.outputFile.empty()) {
        const std::string extension = platform::AsciiLowerCopy(formatName);
        const auto chosen = messages.ChooseSaveFile(
            "Export Results", targets.reportPath / (targets.reportName + "." + extension),
            kSaveFilter);
        if (!chosen || chosen->empty()) return FileExportResult::Cancelled;
        targets.outputFile = *chosen;
        targets.reportPath = chosen->parent_path();
    }
    FileExportRequest request;
    request.target = std::exchange(targets.outputFile, {});
    request.delimiters = {settings.FieldDelimiter, settings.ValueDelimiter, settings.QuoteChar};
    request.utf8Text = utf8Text;
    request.progress = progress;
    return ExportTableToFile(table, request, collator, now, messages);
}

}  // namespace vellrun::exports
