#include "exports/WorkbookExport.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

// Characters, not bytes: a column of accented names is as wide as its text.
size_t CharacterCount(std::string_view utf8) {
    return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
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

GridExportResult FromFileResult(FileExportResult result) {
    switch (result) {
        case FileExportResult::Written: return GridExportResult::Written;
        case FileExportResult::Cancelled: return GridExportResult::Cancelled;
        case FileExportResult::InvalidTarget: return GridExportResult::InvalidTarget;
        case FileExportResult::InvalidPath: return GridExportResult::InvalidPath;
        case FileExportResult::WriteFailed: return GridExportResult::WriteFailed;
        case FileExportResult::ExcelOrClipboard: break;
    }
    return GridExportResult::InvalidTarget;
}

// The non-file branch of an export whose kind is Excel or Clipboard.
GridExportResult ExportToDesktop(ExportKind kind, const report::ResultTable& table,
                                 const Delimiters& delimiters, const ExportServices& services) {
    if (kind == ExportKind::Excel) return ExportToExcel(table, delimiters, services);
    CopyTableToClipboard(table, delimiters, services.desktop);
    return GridExportResult::Clipboard;
}

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

void CopyTableToClipboard(const report::ResultTable& table, const Delimiters& delimiters,
                          platform::DesktopPort& desktop) {
    desktop.SetClipboardText(TableToDelimitedText(table, delimiters));
}

std::string WriteWorkbook(const report::ResultTable& table, const std::filesystem::path& path) {
    if (table.RowCount() > LXW_ROW_MAX || table.ColCount() > LXW_COL_MAX) {
        return "the table has more rows or columns than a worksheet holds";
    }
    const std::string file = path.string();
    lxw_workbook* workbook = workbook_new(file.c_str());
    if (!workbook) return "cannot start the workbook";
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    lxw_format* body = workbook_add_format(workbook);
    lxw_format* header = workbook_add_format(workbook);
    if (!sheet || !body || !header) {
        workbook_close(workbook);
        std::error_code ec;
        std::filesystem::remove(path, ec);
        return "cannot start the workbook";
    }
    // Wrapping keeps a cell's several values on lines of their own.
    format_set_text_wrap(body);
    format_set_align(body, LXW_ALIGN_VERTICAL_TOP);
    format_set_text_wrap(header);
    format_set_align(header, LXW_ALIGN_VERTICAL_TOP);
    format_set_bold(header);

    std::string reason;
    std::vector<size_t> widths(table.ColCount(), 0);
    for (size_t row = 0; row < table.RowCount() && reason.empty(); ++row) {
        size_t tallest = 1;
        for (size_t column = 0; column < table.ColCount(); ++column) {
            const std::vector<std::string> lines = SplitLines(table.Cell(column, row));
            if (lines.empty()) continue;
            std::string text;
            for (const std::string& line : lines) {
                if (&line != &lines.front()) text += '\n';
                text += line;
                widths[column] = std::max(widths[column], CharacterCount(line));
            }
            tallest = std::max(tallest, lines.size());
            lxw_format* format = row < table.FixedRows() ? header : body;
            const lxw_error error =
                worksheet_write_string(sheet, static_cast<lxw_row_t>(row),
                                       static_cast<lxw_col_t>(column), text.c_str(), format);
            if (error != LXW_NO_ERROR) {
                reason = "cell " + std::to_string(column + 1) + " of row " +
                         std::to_string(row + 1) + ": " + ErrorText(error);
                break;
            }
        }
        if (tallest > 1 && reason.empty()) {
            const double height =
                std::min(kMaxRowHeight, LXW_DEF_ROW_HEIGHT * static_cast<double>(tallest));
            worksheet_set_row(sheet, static_cast<lxw_row_t>(row), height, nullptr);
        }
    }
    for (size_t column = 0; column < widths.size() && reason.empty(); ++column) {
        const double width =
            std::clamp(static_cast<double>(widths[column]) + 2.0, kMinColumnWidth, kMaxColumnWidth);
        worksheet_set_column(sheet, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                             width, nullptr);
    }

    // Closing writes the file and frees the workbook in every case.
    const lxw_error closed = workbook_close(workbook);
    if (reason.empty() && closed != LXW_NO_ERROR) {
        reason = "cannot write \"" + file + "\": " + ErrorText(closed);
    }
    if (!reason.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
    return reason;
}

GridExportResult ExportToExcel(const report::ResultTable& table, const Delimiters& delimiters,
                               const ExportServices& services) {
    // The clipboard first: whatever happens to the workbook, the results are
    // there, as the failure message promises.
    CopyTableToClipboard(table, delimiters, services.desktop);
    std::string reason;
    if (const auto path = NewWorkbookPath(services.workbookFolder, reason)) {
        reason = WriteWorkbook(table, *path);
        if (reason.empty()) {
            if (services.desktop.OpenWorkbook(*path)) return GridExportResult::Workbook;
            reason = "no spreadsheet program opened \"" + path->string() + "\"";
        }
    }
    services.messages.PlainBox("Error saving to Excel (" + reason + ") - Results are in clipboard");
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
        case report::OutputType::Clipboard:
            CopyTableToClipboard(table, configured, services.desktop);
            return GridExportResult::Clipboard;
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
                            services.collator, services.now, recorder);
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
