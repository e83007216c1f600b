#include "exports/WorkbookExport.h"

#include "exports/ExportProgress.h"
#include "exports/WorkbookCheck.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/PendingTemporaries.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <system_error>
#include <vector>

#include <unistd.h>
#include <xlsxwriter.h>

namespace vellrun::exports {

namespace {

// Columns wider than this wrap their long lines instead of stretching the
// sheet past the screen.
constexpr double kMaxColumnWidth = 80.0;
constexpr double kMinColumnWidth = 8.0;
// The tallest row a worksheet allows, in points.
constexpr double kMaxRowHeight = 409.0;

// A worksheet counts its cells' length in UTF-16 units: a character beyond
// the first 65,536 (an emoji) takes two.
size_t Utf16Units(std::string_view text) {
    size_t units = 0;
    for (const char byte : text) {
        if (platform::IsUtf8Continuation(byte)) continue;
        units += static_cast<unsigned char>(byte) >= 0xF0 ? 2 : 1;
    }
    return units;
}

// The bytes of text's first characters that together take at most `units`.
size_t Utf16PrefixBytes(std::string_view text, size_t units) {
    size_t taken = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (platform::IsUtf8Continuation(text[i])) continue;
        taken += static_cast<unsigned char>(text[i]) >= 0xF0 ? 2 : 1;
        if (taken > units) return i;
    }
    return text.size();
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A cell's text as the sheet's XML must hold it to show that text. The
// noncharacters U+FFFE and U+FFFF may not stand in XML at all (the whole
// workbook would be unreadable) and become U+FFFD. A worksheet reads
// "_xHHHH_" as the character HHHH, so the "_" of such a text is written as
// "_x005F_" and the text shows as it is.
std::string SheetText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        if (rest.size() >= 3 && (rest.substr(0, 3) == "\uFFFE" || rest.substr(0, 3) == "\uFFFF")) {
            out += "\uFFFD";
            i += 2;
            continue;
        }
        if (rest.size() >= 7 && rest[0] == '_' && (rest[1] == 'x' || rest[1] == 'X') &&
            IsHexDigit(rest[2]) && IsHexDigit(rest[3]) && IsHexDigit(rest[4]) &&
            IsHexDigit(rest[5]) && rest[6] == '_') {
            out += "_x005F";
        }
        out += text[i];
    }
    return out;
}

std::string ErrorText(lxw_error error) {
    const char* text = lxw_strerror(error);
    return text ? text : "error " + std::to_string(static_cast<int>(error));
}

// Records the save dialog's answer on its way to the export code, so that the
// dispatch knows which non-file target a chosen name (".xls") stands for.
class ChosenFileRecorder final : public platform::MessagePort {
public:
    explicit ChosenFileRecorder(platform::MessagePort& inner) : inner_(inner) {}

    void ErrorBox(std::string_view text) override { inner_.ErrorBox(text); }
    void InfoBox(std::string_view text) override { inner_.InfoBox(text); }
    void PlainBox(std::string_view text) override { inner_.PlainBox(text); }
    bool AskYesNo(std::string_view text, bool defaultNo) override {
        return inner_.AskYesNo(text, defaultNo);
    }
    std::optional<std::filesystem::path> ChooseSaveFile(std::string_view title,
                                                        const std::filesystem::path& suggested,
                                                        std::string_view filter) override {
        auto chosen = inner_.ChooseSaveFile(title, suggested, filter);
        if (chosen) chosen_ = *chosen;
        return chosen;
    }
    std::optional<std::filesystem::path> ChooseOpenFile(std::string_view title,
                                                        const std::filesystem::path& suggested,
                                                        std::string_view filter) override {
        return inner_.ChooseOpenFile(title, suggested, filter);
    }

    const std::filesystem::path& Chosen() const { return chosen_; }

private:
    platform::MessagePort& inner_;
    std::filesystem::path chosen_;
};

// Frees a workbook without assembling it. Each sheet keeps its rows in a
// temporary file (already unlinked) that only closing the workbook closes:
// left open, its handle and its disk space would last as long as the program.
void DiscardWorkbook(lxw_workbook* workbook) {
    lxw_worksheet* sheet = nullptr;
    LXW_FOREACH_WORKSHEET(sheet, workbook) {
        if (sheet->optimize_tmpfile != nullptr) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    lxw_workbook_free(workbook);
}

std::string CannotWrite(const std::filesystem::path& path, std::string_view reason) {
    return "cannot write \"" + path.string() + "\": " + std::string(reason);
}

// Why the rows of sheet could not all be written to its temporary file (a
// full disk, a file grown past the size limit), as the system says it; empty
// while they all are. The library ignores the failed writes of these files,
// and closing would assemble the cut-short rows into a sound-looking file.
// errno is cleared after each look, so that what it holds at the next one is
// the reason of a write that failed meanwhile.
std::string SheetRowsProblem(lxw_worksheet* sheet) {
    const int seen = errno;
    std::FILE* rows = sheet->optimize_tmpfile;
    if (rows == nullptr) return {};
    errno = 0;
    if (std::fflush(rows) == 0 && !std::ferror(rows)) return {};
    int error = errno;
    // The bytes of a write that failed are not kept for a later flush: when
    // nothing came after them, one more byte (the rows are lost anyway) asks
    // the system for the reason again. A failure that has passed (space
    // freed meanwhile) leaves the reason it had when it came.
    if (error == 0 && (std::fputc(0, rows) == EOF || std::fflush(rows) != 0)) error = errno;
    if (error == 0) error = seen;
    return error != 0 ? std::generic_category().message(error) : "a write failed";
}

// A folder of this workbook's own for the library's temporary files, made
// beside the workbook's temporary file. The library removes each file at
// once; one whose removal failed stays, and goes with the folder, which
// holds nothing else. Without a folder of its own (it could not be made) the
// library uses the given one and removes what it can.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::filesystem::path& beside) {
        std::string name = (beside / ".vellrun-workbook-XXXXXX").string();
        if (::mkdtemp(name.data()) != nullptr) own_ = name;
        path_ = own_.empty() ? beside.string() : own_;
        // A signal that ends the program takes the (then empty) folder too.
        if (!own_.empty()) pending_ = platform::PendingTemporaries::Add(own_);
    }
    ~ScratchFolder() {
        if (own_.empty()) return;
        platform::PendingTemporaries::Remove(pending_);
        std::error_code ec;
        std::filesystem::remove_all(own_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string own_;
    std::string path_;
    std::optional<size_t> pending_;
};

// The size of sheet's rows once its last row is written too (the library
// keeps a row until the next one starts): what the worksheet in the finished
// workbook must hold. Empty, or the reason they could not all be written.
std::string FinishSheetRows(lxw_worksheet* sheet, uint64_t& bytes) {
    bytes = 0;
    if (sheet->optimize_row != nullptr) lxw_worksheet_write_single_row(sheet);
    if (std::string problem = SheetRowsProblem(sheet); !problem.empty()) return problem;
    if (sheet->optimize_tmpfile == nullptr) return {};
    const off_t end = ::ftello(sheet->optimize_tmpfile);
    if (end < 0) return std::generic_category().message(errno);
    bytes = static_cast<uint64_t>(end);
    return {};
}

GridExportResult FromFileResult(FileExportResult result) {
    switch (result) {
        case FileExportResult::Written: return GridExportResult::Written;
        case FileExportResult::Cancelled: return GridExportResult::Cancelled;
        case FileExportResult::InvalidTarget: return GridExportResult::InvalidTarget;
        case FileExportResult::InvalidPath: return GridExportResult::InvalidPath;
        case FileExportResult::WriteFailed: return GridExportResult::WriteFailed;
        case FileExportResult::Stopped: return GridExportResult::Stopped;
        case FileExportResult::ExcelOrClipboard: break;
    }
    return GridExportResult::InvalidTarget;
}

// The clipboard target; a clipboard that cannot take the text is said so.
GridExportResult CopyToClipboard(const report::ResultTable& table, const Delimiters& delimiters,
                                 const ExportServices& services) {
    const std::string problem = CopyTableToClipboard(table, delimiters, services.desktop);
    if (problem.empty()) return GridExportResult::Clipboard;
    services.messages.ErrorBox(ClipboardFailureText(problem));
    return GridExportResult::ClipboardFailed;
}

// The non-file branch of an export whose kind is Excel or Clipboard.
GridExportResult ExportToDesktop(ExportKind kind, const report::ResultTable& table,
                                 const Delimiters& delimiters, const ExportServices& services) {
    if (kind == ExportKind::Excel) return ExportToExcel(table, delimiters, services);
    return CopyToClipboard(table, delimiters, services);
}

// A file in the table of those a signal removes, for as long as this lives.
class PendingFile {
public:
    explicit PendingFile(const std::filesystem::path& path)
        : slot_(platform::PendingTemporaries::Add(path)) {}
    ~PendingFile() { platform::PendingTemporaries::Remove(slot_); }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

private:
    std::optional<size_t> slot_;
};

// A new, uniquely named workbook file in folder, or the reason there is none.
std::optional<std::filesystem::path> NewWorkbookPath(const std::filesystem::path& folder,
                                                     std::string& reason) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        reason = "cannot create the folder \"" + folder.string() + "\": " + ec.message();
        return std::nullopt;
    }
    std::string pattern = (folder / "results-XXXXXX.xlsx").string();
    const int fd = ::mkstemps(pattern.data(), 5);
    if (fd < 0) {
        reason = "cannot create a file in \"" + folder.string() +
                 "\": " + std::generic_category().message(errno);
        return std::nullopt;
    }
    ::close(fd);
    return std::filesystem::path(pattern);
}

// Writes a table over as many worksheets as its size needs: a table with
// more rows than a sheet holds goes on in a further sheet that starts with
// the header rows again, one with more columns in a further sheet that
// starts with the header columns again.
class WorkbookBuilder {
public:
    WorkbookBuilder(lxw_workbook* workbook, const std::filesystem::path& target,
                    const report::ResultTable& table, const WorkbookLimits& limits,
                    ExportProgress& progress)
        : workbook_(workbook),
          target_(target),
          table_(table),
          limits_(limits),
          progress_(progress) {}

    // Empty, or the reason the workbook is incomplete.
    std::string WriteSheets() {
        body_ = workbook_add_format(workbook_);
        header_ = workbook_add_format(workbook_);
        if (!body_ || !header_) return "cannot start the workbook";
        // Wrapping keeps a cell's several values on lines of their own.
        format_set_text_wrap(body_);
        format_set_align(body_, LXW_ALIGN_VERTICAL_TOP);
        format_set_text_wrap(header_);
        format_set_align(header_, LXW_ALIGN_VERTICAL_TOP);
        format_set_bold(header_);

        const size_t rows = table_.RowCount();
        const size_t columns = table_.ColCount();
        // Repeated headers leave at least one row and column for the data.
        const size_t headRows = std::min(table_.FixedRows(), limits_.rowsPerSheet - 1);
        const size_t headColumns = std::min(table_.FixedCols(), limits_.columnsPerSheet - 1);
        const size_t dataRows = limits_.rowsPerSheet - headRows;
        const size_t dataColumns = limits_.columnsPerSheet - headColumns;
        size_t rowStart = std::min(headRows, rows);
        do {
            const size_t rowEnd = std::min(rows, rowStart + dataRows);
            size_t columnStart = std::min(headColumns, columns);
            do {
                const size_t columnEnd = std::min(columns, columnStart + dataColumns);
                std::vector<size_t> sheetRows(std::min(headRows, rows));
                std::iota(sheetRows.begin(), sheetRows.end(), size_t{0});
                for (size_t row = rowStart; row < rowEnd; ++row)
                    sheetRows.push_back(row);
                std::vector<size_t> sheetColumns(std::min(headColumns, columns));
                std::iota(sheetColumns.begin(), sheetColumns.end(), size_t{0});
                for (size_t column = columnStart; column < columnEnd; ++column)
                    sheetColumns.push_back(column);
                if (std::string problem = WriteSheet(sheetRows, sheetColumns); !problem.empty())
                    return problem;
                columnStart = columnEnd;
            } while (columnStart < columns);
            rowStart = rowEnd;
        } while (rowStart < rows);
        return {};
    }

    size_t Sheets() const { return sheets_; }
    size_t CutCells() const { return cutCells_; }
    bool Stopped() const { return stopped_; }

private:
    std::string WriteSheet(const std::vector<size_t>& rows, const std::vector<size_t>& columns) {
        lxw_worksheet* sheet = workbook_add_worksheet(workbook_, nullptr);
        if (!sheet) return "cannot add worksheet " + std::to_string(sheets_ + 1);
        ++sheets_;
        std::vector<size_t> widths(columns.size(), 0);
        for (size_t r = 0; r < rows.size(); ++r) {
            if (++rowsWritten_ % kRowsPerStep == 0) {
                // A disk that is full stays full: the rest is not tried.
                if (sheet->optimize_tmpfile != nullptr && std::ferror(sheet->optimize_tmpfile))
                    return CannotWrite(target_, SheetRowsProblem(sheet));
                if (!progress_.Step(rowsWritten_, table_.RowCount())) {
                    stopped_ = true;
                    return "stopped";
                }
                errno = 0;
            }
            const size_t row = rows[r];
            size_t tallest = 1;
            for (size_t c = 0; c < columns.size(); ++c) {
                const size_t column = columns[c];
                const std::vector<std::string> lines = SplitLines(table_.Cell(column, row));
                if (lines.empty()) continue;
                std::string text;
                for (const std::string& line : lines) {
                    if (&line != &lines.front()) text += '\n';
                    text += line;
                    // Characters, not bytes: a column of accented names is as wide as its text.
                    widths[c] = std::max(widths[c], platform::Utf8CharacterCount(line));
                }
                const std::string cell = CellText(text);
                tallest = std::max(tallest, lines.size());
                lxw_format* format = row < table_.FixedRows() ? header_ : body_;
                const lxw_error error =
                    worksheet_write_string(sheet, static_cast<lxw_row_t>(r),
                                           static_cast<lxw_col_t>(c), cell.c_str(), format);
                if (error != LXW_NO_ERROR) {
                    return "cell " + std::to_string(column + 1) + " of row " +
                           std::to_string(row + 1) + ": " + ErrorText(error);
                }
            }
            if (tallest > 1) {
                const double height =
                    std::min(kMaxRowHeight, LXW_DEF_ROW_HEIGHT * static_cast<double>(tallest));
                if (const lxw_error error =
                        worksheet_set_row(sheet, static_cast<lxw_row_t>(r), height, nullptr);
                    error != LXW_NO_ERROR) {
                    return "row " + std::to_string(row + 1) + ": " + ErrorText(error);
                }
            }
        }
        for (size_t c = 0; c < widths.size(); ++c) {
            const double width =
                std::clamp(static_cast<double>(widths[c]) + 2.0, kMinColumnWidth, kMaxColumnWidth);
            const auto column = static_cast<lxw_col_t>(c);
            if (const lxw_error error = worksheet_set_column(sheet, column, column, width, nullptr);
                error != LXW_NO_ERROR) {
                return "column " + std::to_string(columns[c] + 1) + ": " + ErrorText(error);
            }
        }
        return {};
    }

    // The cell's text as the sheet holds it (SheetText). A text longer than
    // a cell holds keeps its beginning and a visible mark; the limit holds
    // for the text as written, escapes included.
    std::string CellText(const std::string& text) {
        size_t room = limits_.cellCharacters;
        for (;;) {
            std::string shown = text;
            const bool cut = Utf16Units(shown) > room;
            if (cut) {
                shown.resize(Utf16PrefixBytes(shown, room - Utf16Units(kCutMarker)));
                shown += kCutMarker;
            }
            std::string written = SheetText(shown);
            const size_t units = Utf16Units(written);
            if (units <= limits_.cellCharacters || room <= Utf16Units(kCutMarker)) {
                if (cut) ++cutCells_;
                return written;
            }
            // Escapes took room: the text shown gives it back.
            room -= std::min(room - Utf16Units(kCutMarker), units - limits_.cellCharacters);
        }
    }

    // Rows written between two looks at the progress and the Cancel button.
    static constexpr size_t kRowsPerStep = 512;

    lxw_workbook* workbook_;
    const std::filesystem::path& target_;
    const report::ResultTable& table_;
    const WorkbookLimits& limits_;
    ExportProgress& progress_;
    size_t rowsWritten_ = 0;
    bool stopped_ = false;
    lxw_format* body_ = nullptr;
    lxw_format* header_ = nullptr;
    size_t sheets_ = 0;
    size_t cutCells_ = 0;
};

}  // namespace

std::filesystem::path DefaultWorkbookFolder() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && *cache == '/') {
        return std::filesystem::path(cache) / "vellrun" / "workbooks";
    }
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        return std::filesystem::path(home) / ".cache" / "vellrun" / "workbooks";
    }
    std::error_code ec;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    return (ec ? std::filesystem::path("/tmp") : temp) / "vellrun-workbooks";
}

std::string CopyTableToClipboard(const report::ResultTable& table, const Delimiters& delimiters,
                                 platform::DesktopPort& desktop) {
    return desktop.SetClipboardText(TableToDelimitedText(table, delimiters));
}

std::string ClipboardFailureText(std::string_view reason) {
    return "The results could not be put on the clipboard (" + std::string(reason) + ")";
}

std::string WorkbookOutcome::Notice() const {
    if (cutCells == 0) return {};
    return std::to_string(cutCells) +
           " cell(s) held more characters than a worksheet cell holds and were cut; "
           "each ends with \"" +
           std::string(kCutMarker) + "\".";
}

WorkbookOutcome WriteWorkbook(const report::ResultTable& table, const std::filesystem::path& path,
                              const WorkbookLimits& limits, platform::RunFeedback* feedback) {
    WorkbookOutcome outcome;
    // The workbook is made beside the target and put in its place when it is
    // whole, so a failure or a killed run leaves the earlier file as it was.
    platform::AtomicFileWriter writer(path);
    if (platform::FileStatus begun = writer.Begin(true); !begun.ok()) {
        outcome.error = begun.error;
        return outcome;
    }
    const std::string file = writer.TemporaryPath().string();
    // Each row goes to a temporary file beside the target as soon as the next
    // one starts, instead of every cell staying in memory until the end: the
    // rows are written in order, sheet after sheet.
    const ScratchFolder scratch(writer.TemporaryPath().parent_path());
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = const_cast<char*>(scratch.Path().c_str());
    lxw_workbook* workbook = workbook_new_opt(file.c_str(), &options);
    if (!workbook) {
        outcome.error = "cannot start the workbook";
        return outcome;
    }
    ExportProgress progress(feedback, "Writing the workbook ...");
    WorkbookBuilder builder(workbook, path, table, limits, progress);
    outcome.error = builder.WriteSheets();
    outcome.stopped = builder.Stopped();
    std::vector<uint64_t> rowBytes;
    if (outcome.error.empty()) {
        lxw_worksheet* sheet = nullptr;
        LXW_FOREACH_WORKSHEET(sheet, workbook) {
            uint64_t bytes = 0;
            if (std::string problem = FinishSheetRows(sheet, bytes); !problem.empty()) {
                outcome.error = CannotWrite(path, problem);
                break;
            }
            rowBytes.push_back(bytes);
        }
    }
    if (outcome.error.empty()) {
        // Closing assembles and compresses the file and frees the workbook.
        // The library does not check the writes and reads of the temporary
        // files it assembles the parts in, so the file is read back before
        // it counts as written.
        const std::string problem =
            progress.Finishing("Saving the workbook ...", [workbook, &file, &rowBytes] {
                const lxw_error closed = workbook_close(workbook);
                if (closed != LXW_NO_ERROR) return ErrorText(closed);
                return CheckWorkbookFile(file, rowBytes);
            });
        if (!problem.empty()) outcome.error = CannotWrite(path, problem);
    } else {
        // A stopped or failed workbook is only freed: assembling what it
        // holds would keep the person waiting for a file nobody keeps.
        DiscardWorkbook(workbook);
    }
    if (outcome.error.empty()) {
        if (platform::FileStatus committed = writer.Commit(); !committed.ok()) {
            outcome.error = committed.error;
        }
    }
    outcome.sheets = builder.Sheets();
    outcome.cutCells = builder.CutCells();
    return outcome;
}

GridExportResult ExportToExcel(const report::ResultTable& table, const Delimiters& delimiters,
                               const ExportServices& services) {
    // The clipboard first: whatever happens to the workbook, the results are
    // there, as the failure message promises (and where they are not, it
    // says so instead).
    const std::string clipboard = CopyTableToClipboard(table, delimiters, services.desktop);
    std::string reason;
    if (const auto path = NewWorkbookPath(services.workbookFolder, reason)) {
        // Until the workbook is in it, the file only holds the name: a
        // signal that ends the program meanwhile removes it with the rest.
        std::optional<WorkbookOutcome> outcome;
        {
            const PendingFile placeholder(*path);
            outcome = WriteWorkbook(table, *path, {}, services.progress);
        }
        const WorkbookOutcome& written = *outcome;
        reason = written.error;
        if (reason.empty()) {
            if (!written.Notice().empty()) services.messages.InfoBox(written.Notice());
            if (services.desktop.OpenWorkbook(*path)) {
                // The workbook is the export; the copy beside it that did
                // not reach the clipboard is only told.
                if (!clipboard.empty()) services.messages.InfoBox(ClipboardFailureText(clipboard));
                return GridExportResult::Workbook;
            }
            reason = "no spreadsheet program opened \"" + path->string() + "\"";
        } else {
            // The empty file this export made for the workbook.
            std::error_code ec;
            std::filesystem::remove(*path, ec);
            if (written.stopped) return GridExportResult::Stopped;
        }
    }
    services.messages.PlainBox("Error saving to Excel (" + reason + ") - " +
                               (clipboard.empty() ? std::string("Results are in clipboard")
                                                  : ClipboardFailureText(clipboard)));
    return GridExportResult::WorkbookFailed;
}

GridExportResult ExportGrid(const report::ResultTable& table, std::string_view formatName,
                            const std::filesystem::path& target, const Delimiters& delimiters,
                            bool utf8Text, const ExportServices& services) {
    FileExportRequest request;
    request.formatName = std::string(formatName);
    request.target = target;
    request.delimiters = delimiters;
    request.utf8Text = utf8Text;
    request.progress = services.progress;
    const FileExportResult result =
        ExportTableToFile(table, request, services.collator, services.now, services.messages);
    if (result != FileExportResult::ExcelOrClipboard) return FromFileResult(result);
    return ExportToDesktop(ExportKindForTarget(formatName, target.string()), table, delimiters,
                           services);
}

GridExportResult ExportResults(const report::ResultTable& table, report::OutputType output,
                               ExportTargets& targets, const settings::AppSettings& settings,
                               const ExportServices& services) {
    const Delimiters configured{settings.FieldDelimiter, settings.ValueDelimiter,
                                settings.QuoteChar};
    std::string_view formatName;
    switch (output) {
        case report::OutputType::Excel:
            return ExportGrid(table, "XLS", {}, Delimiters{'\t', '\n', '"'}, false, services);
        case report::OutputType::Clipboard: return CopyToClipboard(table, configured, services);
        case report::OutputType::Csv: formatName = "TXT"; break;
        case report::OutputType::Html: formatName = "HTML"; break;
        case report::OutputType::Xml: formatName = "XML"; break;
    }
    if (formatName.empty()) {
        // An output type from outside the radio group (a hand-edited file).
        services.messages.ErrorBox("Invalid target");
        return GridExportResult::InvalidTarget;
    }

    const std::filesystem::path preset = targets.outputFile;
    ChosenFileRecorder recorder(services.messages);
    const FileExportResult result =
        ExportResultsToFile(table, formatName, targets, settings, settings.ExportUtf8,
                            services.collator, services.now, recorder, services.progress);
    if (result != FileExportResult::ExcelOrClipboard) return FromFileResult(result);
    const std::filesystem::path& target = preset.empty() ? recorder.Chosen() : preset;
    return ExportToDesktop(ExportKindForTarget({}, target.string()), table, configured, services);
}

GridExportResult ExportListTable(const report::ResultTable& table, std::string_view formatName,
                                 const std::filesystem::path& target,
                                 const ExportServices& services) {
    const char field = platform::AsciiLowerCopy(target.extension().string()) == ".csv" ? ',' : '\t';
    return ExportGrid(table, formatName, target, Delimiters{field, '|', '\''}, false, services);
}

GridExportResult SaveList(const std::vector<std::string>& lines, std::string_view name,
                          std::string_view reportName, std::filesystem::path& reportPath,
                          const ExportServices& services) {
    if (lines.empty()) return GridExportResult::Cancelled;
    report::ResultTable table(1, lines.size());
    table.SetFixedRows(lines.size() >= 2 ? 1 : 0);
    for (size_t row = 0; row < lines.size(); ++row)
        table.SetCell(0, row, lines[row]);
    if (name == "xls") return ExportListTable(table, name, {}, services);
    const std::filesystem::path proposed =
        reportPath / (std::string(reportName) + "." + std::string(name));
    const std::string filter =
        std::string(name) + " files (*." + std::string(name) + ");;All Files (*)";
    const auto chosen = services.messages.ChooseSaveFile("Save List", proposed, filter);
    if (!chosen) return GridExportResult::Cancelled;
    if (chosen->has_parent_path()) reportPath = chosen->parent_path();
    return ExportListTable(table, {}, *chosen, services);
}

}  // namespace vellrun::exports
