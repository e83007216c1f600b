#pragma once

// The export targets that are not plain files: the clipboard and a new
// spreadsheet workbook, and the dispatch that sends a results table to any
// target (file, clipboard or workbook). Free functions over the caller's
// table; people are reached only through the ports in ExportServices, which
// the front end owns. Nothing here keeps state between exports.
//
// The clipboard and the workbook carry the program's text unchanged (UTF-8);
// only files are turned into Windows-1252 (see EncodeExportDocument).

#include "exports/ExportFormats.h"
#include "exports/ResultsFileExport.h"
#include "platform/DateTime.h"
#include "platform/DesktopPort.h"
#include "platform/MessagePort.h"
#include "platform/RunFeedback.h"
#include "platform/TextCollator.h"
#include "report/ReportSpec.h"
#include "report/ResultTable.h"
#include "settings/AppSettings.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::exports {

// What an export reaches besides the table; all borrowed from the caller.
struct ExportServices {
    platform::MessagePort& messages;
    platform::DesktopPort& desktop;
    const platform::TextCollator& collator;
    platform::DateTimeParts now;           // dates the XML table line
    std::filesystem::path workbookFolder;  // new workbooks are written here
    // Shows a long write's progress and may stop it (see ExportProgress).
    platform::RunFeedback* progress = nullptr;
};

enum class GridExportResult {
    Written,          // a file was written
    Cancelled,        // the person chose no file
    InvalidTarget,    // "Invalid target" shown
    InvalidPath,      // "Invalid target path" shown
    WriteFailed,      // the file's error shown; any previous file is whole
    Clipboard,        // the delimited text is on the clipboard
    ClipboardFailed,  // the clipboard could not take the text; said so
    Workbook,         // a workbook was written and handed to the spreadsheet program
    WorkbookFailed,   // "Error saving to Excel ..." shown, and whether the text is on the clipboard
    Stopped,          // the person stopped the write; any previous file is whole
};

// Where new workbooks go: $XDG_CACHE_HOME/vellrun/workbooks, else
// ~/.cache/vellrun/workbooks, else the temporary folder's vellrun-workbooks.
std::filesystem::path DefaultWorkbookFolder();

// The whole table (headers included) as delimited text on the clipboard,
// replacing what was there. Empty when it is there; else why not (the
// desktop port's reason).
[[nodiscard]] std::string CopyTableToClipboard(const report::ResultTable& table,
                                               const Delimiters& delimiters,
                                               platform::DesktopPort& desktop);

// "The results could not be put on the clipboard (<reason>)".
std::string ClipboardFailureText(std::string_view reason);

// What a worksheet holds; tests make them small.
struct WorkbookLimits {
    size_t rowsPerSheet = 1048576;
    size_t columnsPerSheet = 16384;
    size_t cellCharacters = 32767;
};

// What ends a cell that was cut to a worksheet cell's size.
inline constexpr std::string_view kCutMarker = "\u2026 [cut]";

struct WorkbookOutcome {
    std::string error;     // empty on success, else the reason
    bool stopped = false;  // the person stopped it (error says so too)
    size_t sheets = 0;     // worksheets written
    size_t cutCells = 0;   // cells cut to the cell size, each ending in kCutMarker
    bool ok() const { return error.empty(); }
    // For the person when cells were cut; empty otherwise.
    std::string Notice() const;
};

// Writes table to a .xlsx file at path: one worksheet cell per table cell, a
// cell's lines kept as lines of a wrapped cell, the header rows bold, every
// column as wide as its longest line (capped) and rows tall enough for their
// lines. A table larger than a worksheet goes on in further worksheets, each
// starting with the header rows (or header columns) again; a cell longer than
// a worksheet cell is cut and marked. The file is written as every export is
// (platform::AtomicFileWriter): beside path first and then put in its place,
// so a failure leaves an earlier file whole and removes nothing else.
WorkbookOutcome WriteWorkbook(const report::ResultTable& table, const std::filesystem::path& path,
                              const WorkbookLimits& limits = {},
                              platform::RunFeedback* progress = nullptr);

// The spreadsheet target: the delimited text goes to the clipboard first,
// then the table is written to a new workbook in services.workbookFolder and
// opened with the desktop's spreadsheet program. Any failure shows the plain
// box "Error saving to Excel (<reason>) - Results are in clipboard", or, when
// the clipboard could not take the text either, says that instead of its
// last part.
GridExportResult ExportToExcel(const report::ResultTable& table, const Delimiters& delimiters,
                               const ExportServices& services);

// The one entry that decides the kind of an export (formatName, or when empty
// target's extension) and sends the table there: files through
// ExportTableToFile, the clipboard, or the workbook. target is not used for
// the clipboard and the workbook.
GridExportResult ExportGrid(const report::ResultTable& table, std::string_view formatName,
                            const std::filesystem::path& target, const Delimiters& delimiters,
                            bool utf8Text, const ExportServices& services);

// The export command of the results: by output type, CSV, HTML and XML
// through the save step (ExportResultsToFile; the chosen file's extension
// decides, so a name ending in .xls still reaches the workbook), the
// workbook with tab, line feed and the double quotation mark, and the
// clipboard with the settings' three characters.
GridExportResult ExportResults(const report::ResultTable& table, report::OutputType output,
                               ExportTargets& targets, const settings::AppSettings& settings,
                               const ExportServices& services);

// A one-column list table to target: ExportGrid with value delimiter "|",
// quote character "'" and as field delimiter the comma for a ".csv" target
// (any case) and the tab character otherwise.
GridExportResult ExportListTable(const report::ResultTable& table, std::string_view formatName,
                                 const std::filesystem::path& target,
                                 const ExportServices& services);

// Saves a list of lines (the object types or the attribute list) as a
// one-column table; with two or more lines the first is the header row. For
// "txt", "html" and "xml" the person chooses the file (proposed: reportName
// + "." + name, in reportPath), and reportPath becomes the chosen folder; for
// "xls" the list goes to the workbook at once. An empty list is not saved.
// Failures of its own are not reported; what the export shows still shows.
GridExportResult SaveList(const std::vector<std::string>& lines, std::string_view name,
                          std::string_view reportName, std::filesystem::path& reportPath,
                          const ExportServices& services);

}  // namespace vellrun::exports
