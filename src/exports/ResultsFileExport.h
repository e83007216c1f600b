#pragma once

// Writing a results table to an export file: the export kind from the format
// name or the file's extension, the document, its bytes, and an atomic write;
// problems and replaced characters are told to the person through the
// MessagePort. Free functions over the caller's table and state; the
// clipboard and the spreadsheet targets stay with the caller (the front end),
// which gets their kind back instead of a written file.

#include "exports/ExportFormats.h"
#include "platform/DateTime.h"
#include "platform/MessagePort.h"
#include "platform/RunFeedback.h"
#include "platform/TextCollator.h"
#include "report/ResultTable.h"
#include "settings/AppSettings.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace vellrun::exports {

enum class FileExportResult {
    Written,
    Cancelled,         // the person chose no file
    InvalidTarget,     // the name gives no export kind ("Invalid target" shown)
    InvalidPath,       // the path is too short ("Invalid target path" shown)
    WriteFailed,       // the platform's message shown; any previous file is whole
    ExcelOrClipboard,  // not a file: the caller puts the delimited text where it goes
    Stopped,           // the person stopped the write; any previous file is whole
};

struct FileExportRequest {
    std::string formatName;  // empty: the extension of target decides
    std::filesystem::path target;
    Delimiters delimiters;
    bool utf8Text = false;  // delimited text as UTF-8 ("Export as UTF-8")
    // Shows the write's progress and may stop it (see ExportProgress); none
    // in the console.
    platform::RunFeedback* progress = nullptr;
};

// The file branch of an export: the document of the request's kind written
// to the target. now dates the XML table line.
FileExportResult ExportTableToFile(const report::ResultTable& table,
                                   const FileExportRequest& request,
                                   const platform::TextCollator& collator,
                                   const platform::DateTimeParts& now,
                                   platform::MessagePort& messages);

// What the export command keeps between exports.
struct ExportTargets {
    std::string reportName;            // proposed base name of the file
    std::filesystem::path outputFile;  // set: write there without asking
    std::filesystem::path reportPath;  // folder the save dialog opens in
};

// The export command's save step: asks for the file (proposing reportName, a
// dot and the format name in lower case, in reportPath) unless outputFile is
// set, remembers the chosen folder, and exports with an empty format name so
// that the chosen file's extension decides the format. outputFile is emptied
// in every case.
FileExportResult ExportResultsToFile(const report::ResultTable& table, std::string_view formatName,
                                     ExportTargets& targets, const settings::AppSettings& settings,
                                     bool utf8Text, const platform::TextCollator& collator,
                                     const platform::DateTimeParts& now,
                                     platform::MessagePort& messages,
                                     platform::RunFeedback* progress = nullptr);

}  // namespace vellrun::exports
