#include "exports/ExportProgress.h"
#include "exports/WorkbookCheck.h"
#include "exports/WorkbookExport.h"
#include "platform/PendingTemporaries.h"
#include "support/CountingRunFeedback.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedMessagePort.h"
#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <unzip.h>
#include <zip.h>
#include <zlib.h>

namespace vellrun::exports {
namespace {

using settings::AppSettings;

namespace fs = std::filesystem;
using testing::ScriptedMessagePort;

// Records what the export hands to the desktop.
class RecordingDesktopPort final : public platform::DesktopPort {
public:
    std::optional<std::string> clipboard;
    std::vector<fs::path> workbooks;
    bool opens = true;
    std::string clipboardProblem;  // empty: the clipboard takes the text

    std::string SetClipboardText(std::string_view text) override {
        if (!clipboardProblem.empty()) return clipboardProblem;
        clipboard = std::string(text);
        return {};
    }
    bool OpenDocument(std::string_view) override { return true; }
    bool OpenWorkbook(const fs::path& workbook) override {
        workbooks.push_back(workbook);
        return opens;
    }
};

std::string ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// One member of a zip archive through the unzip tool, when it is installed.
std::optional<std::string> ZipMember(const fs::path& archive, const std::string& member,
                                     const fs::path& scratch) {
    if (std::system("command -v unzip >/dev/null 2>&1") != 0) return std::nullopt;
    const fs::path out = scratch / "member.txt";
    const std::string command =
        "unzip -p '" + archive.string() + "' '" + member + "' > '" + out.string() + "'";
    if (std::system(command.c_str()) != 0) return std::string();
    return ReadText(out);
}

struct ZipEntry {
    std::string name;
    std::string bytes;
    // A CRC other than the bytes' own (stored as it is, not compressed).
    std::optional<uLong> wrongCrc;
};

// Every entry of a zip archive, in order.
std::vector<ZipEntry> ReadZip(const fs::path& archive) {
    std::vector<ZipEntry> entries;
    unzFile zip = unzOpen64(archive.c_str());
    if (zip == nullptr) return entries;
    for (int at = unzGoToFirstFile(zip); at == UNZ_OK; at = unzGoToNextFile(zip)) {
        char name[256] = {};
        unzGetCurrentFileInfo64(zip, nullptr, name, sizeof name, nullptr, 0, nullptr, 0);
        ZipEntry entry{name, {}, std::nullopt};
        unzOpenCurrentFile(zip);
        char buffer[4096];
        int read = 0;
        while ((read = unzReadCurrentFile(zip, buffer, sizeof buffer)) > 0)
            entry.bytes.append(buffer, static_cast<size_t>(read));
        unzCloseCurrentFile(zip);
        entries.push_back(std::move(entry));
    }
    unzClose(zip);
    return entries;
}

void WriteZip(const fs::path& archive, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (const ZipEntry& entry : entries) {
        const zip_fileinfo info{};
        const bool raw = entry.wrongCrc.has_value();
        ASSERT_EQ(zipOpenNewFileInZip2(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0,
                                       nullptr, raw ? 0 : Z_DEFLATED,
                                       raw ? 0 : Z_DEFAULT_COMPRESSION, raw ? 1 : 0),
                  ZIP_OK);
        ASSERT_EQ(
            zipWriteInFileInZip(zip, entry.bytes.data(), static_cast<unsigned>(entry.bytes.size())),
            ZIP_OK);
        if (raw) {
            ASSERT_EQ(zipCloseFileInZipRaw(zip, entry.bytes.size(), *entry.wrongCrc), ZIP_OK);
        } else {
            ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
        }
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

ZipEntry* FindEntry(std::vector<ZipEntry>& entries, std::string_view name) {
    for (ZipEntry& entry : entries) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

// What a worksheet's sheetData element holds.
uint64_t RowBytes(const std::string& sheet) {
    const size_t open = sheet.find("<sheetData>");
    const size_t close = sheet.rfind("</sheetData>");
    if (open == std::string::npos || close == std::string::npos) return 0;
    return close - open - std::string_view("<sheetData>").size();
}

report::ResultTable UserTable(size_t users) {
    report::ResultTable table(2, users + 1);
    table.SetFixedRows(1);
    table.SetCell(0, 0, "DN");
    table.SetCell(1, 0, "Description");
    for (size_t row = 1; row <= users; ++row) {
        table.SetCell(0, row, "CN=user" + std::to_string(row) + ".O=Acme");
        table.SetCell(1, row, "member of group " + std::to_string(row % 37));
    }
    return table;
}

report::ResultTable SampleTable() {
    report::ResultTable table(3, 3);
    table.SetFixedRows(1);
    table.SetFixedCols(1);
    table.SetCell(0, 0, "DN");
    table.SetCell(1, 0, "Telephone Number");
    table.SetCell(2, 0, "Description");
    table.SetCell(0, 1, "CN=Admin.O=Acme");
    table.SetCell(1, 1, "100\r\n200\r\n");
    table.SetCell(2, 1, "says \"hi\" — Zoë");
    table.SetCell(0, 2, "CN=Guest.O=Acme");
    return table;
}

class WorkbookExportTest : public ::testing::Test {
protected:
    vellrun::testing::TempDir temp_{"workbook"};
    void SetUp() override { dir_ = temp_.Path(); }

    ExportServices Services(const fs::path& folder) {
        return ExportServices{messages_, desktop_, collator_, now_, folder};
    }

    fs::path dir_;
    ScriptedMessagePort messages_;
    RecordingDesktopPort desktop_;
    platform::TextCollator collator_{"en_US"};
    platform::DateTimeParts now_{};
};

TEST_F(WorkbookExportTest, WritesOneCellPerTableCellWithLinesKeptAndBoldHeaders) {
    const fs::path file = dir_ / "sheet.xlsx";
    ASSERT_TRUE(WriteWorkbook(SampleTable(), file).ok());
    const std::string bytes = ReadText(file);
    ASSERT_GT(bytes.size(), 1000u);
    EXPECT_EQ(bytes.substr(0, 2), "PK");

    const auto sheet = ZipMember(file, "xl/worksheets/sheet1.xml", dir_);
    if (!sheet) GTEST_SKIP() << "unzip is not installed";
    EXPECT_NE(sheet->find("<c r=\"B2\""), std::string::npos);
    EXPECT_NE(sheet->find("<c r=\"C2\""), std::string::npos);
    EXPECT_EQ(sheet->find("<c r=\"B3\""), std::string::npos);  // empty cells stay empty
    // "Telephone Number" is the widest text of column B; two lines make row 2 taller.
    EXPECT_NE(sheet->find("<col min=\"2\" max=\"2\" width=\"18."), std::string::npos) << *sheet;
    EXPECT_NE(sheet->find("<row r=\"2\" ht=\"30\""), std::string::npos) << *sheet;
    // The texts stand in the cells themselves: the rows go out one by one.
    EXPECT_NE(sheet->find(">100\n200<"), std::string::npos) << *sheet;
    EXPECT_NE(sheet->find(">says \"hi\" — Zoë<"), std::string::npos) << *sheet;
    const auto styles = ZipMember(file, "xl/styles.xml", dir_);
    ASSERT_TRUE(styles);
    EXPECT_NE(styles->find("<b/>"), std::string::npos);
    EXPECT_NE(styles->find("wrapText=\"1\""), std::string::npos);
}

TEST_F(WorkbookExportTest, ExcelTargetFillsTheClipboardAndOpensANewWorkbook) {
    const fs::path folder = dir_ / "cache" / "workbooks";
    const auto result = ExportToExcel(SampleTable(), Delimiters{'\t', '\n', '"'}, Services(folder));
    EXPECT_EQ(result, GridExportResult::Workbook);
    ASSERT_EQ(desktop_.workbooks.size(), 1u);
    EXPECT_EQ(desktop_.workbooks[0].parent_path(), folder);
    EXPECT_EQ(desktop_.workbooks[0].extension(), ".xlsx");
    EXPECT_EQ(ReadText(desktop_.workbooks[0]).substr(0, 2), "PK");
    // The clipboard carries UTF-8 unchanged, quotes doubled inside a field.
    EXPECT_EQ(desktop_.clipboard,
              "\"DN\"\t\"Telephone Number\"\t\"Description\"\r\n"
              "\"CN=Admin.O=Acme\"\t\"100\n200\"\t\"says \"\"hi\"\" — Zoë\"\r\n"
              "\"CN=Guest.O=Acme\"\t\"\"\t\"\"\r\n");
    EXPECT_TRUE(messages_.boxes.empty());

    // A second export never reuses the first workbook.
    ExportToExcel(SampleTable(), Delimiters{'\t', '\n', '"'}, Services(folder));
    ASSERT_EQ(desktop_.workbooks.size(), 2u);
    EXPECT_NE(desktop_.workbooks[0], desktop_.workbooks[1]);
}

TEST_F(WorkbookExportTest, AnyWorkbookFailureSaysSoAndLeavesTheResultsOnTheClipboard) {
    const fs::path blocker = dir_ / "not-a-folder";
    std::ofstream(blocker) << "x";
    auto result =
        ExportToExcel(SampleTable(), Delimiters{'\t', '\n', '"'}, Services(blocker / "workbooks"));
    EXPECT_EQ(result, GridExportResult::WorkbookFailed);
    ASSERT_EQ(messages_.Texts(ScriptedMessagePort::Kind::Plain).size(), 1u);
    const std::string text = messages_.Texts(ScriptedMessagePort::Kind::Plain)[0];
    EXPECT_EQ(text.rfind("Error saving to Excel (cannot create the folder \"" +
                             (blocker / "workbooks").string() + "\": ",
                         0),
              0u)
        << text;
    EXPECT_TRUE(text.ends_with(") - Results are in clipboard")) << text;
    ASSERT_TRUE(desktop_.clipboard);
    EXPECT_EQ(desktop_.clipboard->substr(0, 5), "\"DN\"\t");
    EXPECT_TRUE(desktop_.workbooks.empty());

    desktop_.opens = false;
    result = ExportToExcel(SampleTable(), Delimiters{'\t', '\n', '"'}, Services(dir_ / "wb"));
    EXPECT_EQ(result, GridExportResult::WorkbookFailed);
    EXPECT_EQ(messages_.Texts(ScriptedMessagePort::Kind::Plain).back(),
              "Error saving to Excel (no spreadsheet program opened \"" +
                  desktop_.workbooks.at(0).string() + "\") - Results are in clipboard");

    // A workbook that opens is the export, also when the copy beside it did
    // not reach the clipboard; that is told, not lost.
    desktop_.opens = true;
    desktop_.clipboardProblem = "the clipboard tool xclip is not installed";
    result = ExportToExcel(SampleTable(), Delimiters{'\t', '\n', '"'}, Services(dir_ / "wb"));
    EXPECT_EQ(result, GridExportResult::Workbook);
    EXPECT_EQ(messages_.Texts(ScriptedMessagePort::Kind::Info).back(),
              "The results could not be put on the clipboard (the clipboard tool xclip is not "
              "installed)");

    // A cell longer than a worksheet cell can hold is cut, marked and counted.
    report::ResultTable huge(1, 1);
    huge.SetCell(0, 0, std::string(40000, 'x'));
    const WorkbookOutcome cut = WriteWorkbook(huge, dir_ / "huge.xlsx");
    EXPECT_TRUE(cut.ok()) << cut.error;
    EXPECT_EQ(cut.cutCells, 1u);
    EXPECT_NE(cut.Notice().find("1 cell(s)"), std::string::npos) << cut.Notice();
}

// Texts the sheet's XML would read otherwise: a noncharacter that makes the
// whole file unreadable, a text shaped like the sheet's own character escape,
// and a cell of emoji, which a worksheet counts as two each.
TEST_F(WorkbookExportTest, CellTextsShowAsTheyAreAndFitTheCell) {
    report::ResultTable table(4, 1);
    table.SetCell(0, 0, "x\uFFFEy\uFFFF");
    table.SetCell(1, 0, "_x0041_ and _X00e9_");
    std::string emoji;
    for (int i = 0; i < 30; ++i)
        emoji += "\U0001F600";
    table.SetCell(2, 0, emoji);
    // Near the limit, the escape's room comes off the text shown.
    table.SetCell(3, 0, "_x0041_" + std::string(35, 'a'));
    const fs::path file = dir_ / "texts.xlsx";
    const WorkbookOutcome outcome = WriteWorkbook(table, file, WorkbookLimits{10, 10, 40});
    ASSERT_TRUE(outcome.ok()) << outcome.error;
    EXPECT_EQ(outcome.cutCells, 2u);
    const auto sheet = ZipMember(file, "xl/worksheets/sheet1.xml", dir_);
    if (!sheet) GTEST_SKIP() << "unzip is not installed";
    EXPECT_NE(sheet->find(">x\uFFFDy\uFFFD<"), std::string::npos) << *sheet;
    EXPECT_NE(sheet->find(">_x005F_x0041_ and _x005F_X00e9_<"), std::string::npos) << *sheet;
    // 40 units: sixteen emoji and the mark's seven.
    EXPECT_NE(sheet->find(">" + emoji.substr(0, 64) + "\u2026 [cut]<"), std::string::npos)
        << *sheet;
    EXPECT_NE(sheet->find(">_x005F_x0041_" + std::string(20, 'a') + "\u2026 [cut]<"),
              std::string::npos)
        << *sheet;
}

TEST_F(WorkbookExportTest, ATableLargerThanASheetGoesOnInFurtherSheetsWithItsHeaders) {
    // One header row and column, 7 data rows and 4 data columns over sheets
    // of 4 rows and 3 columns: 3 bands of rows times 2 of columns.
    report::ResultTable table(5, 8);
    table.SetFixedRows(1);
    table.SetFixedCols(1);
    for (size_t column = 0; column < 5; ++column) {
        table.SetCell(column, 0, "Head" + std::to_string(column));
        for (size_t row = 1; row < 8; ++row)
            table.SetCell(column, row, "r" + std::to_string(row) + "c" + std::to_string(column));
    }
    table.SetCell(2, 7, "a long value that is cut here");
    const fs::path file = dir_ / "big.xlsx";
    const WorkbookOutcome outcome = WriteWorkbook(table, file, WorkbookLimits{4, 3, 20});
    ASSERT_TRUE(outcome.ok()) << outcome.error;
    EXPECT_EQ(outcome.sheets, 6u);
    EXPECT_EQ(outcome.cutCells, 1u);

    const auto last = ZipMember(file, "xl/worksheets/sheet6.xml", dir_);
    const auto beforeLast = ZipMember(file, "xl/worksheets/sheet5.xml", dir_);
    if (!last || !beforeLast) GTEST_SKIP() << "unzip is not installed";
    // The last sheet: the header row and column again, then row 7's columns 3 and 4.
    EXPECT_NE(last->find("<c r=\"A1\""), std::string::npos) << *last;
    EXPECT_NE(last->find("<c r=\"C2\""), std::string::npos) << *last;
    EXPECT_EQ(last->find("<c r=\"A3\""), std::string::npos) << *last;
    // Row 7's column 2 is on the sheet before, cut.
    EXPECT_NE(beforeLast->find("a long value \u2026 [cut]"), std::string::npos) << *beforeLast;
}

TEST_F(WorkbookExportTest, AFailedWorkbookLeavesTheEarlierFileAndRemovesNothing) {
    // A folder named as the workbook stays a folder.
    fs::create_directory(dir_ / "folder.xlsx");
    EXPECT_FALSE(WriteWorkbook(SampleTable(), dir_ / "folder.xlsx").ok());
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.xlsx"));

    // A disk that fills up (here: the file size limit) leaves the earlier
    // workbook whole and no temporary file beside it.
    const fs::path file = dir_ / "book.xlsx";
    std::ofstream(file) << "the earlier workbook";
    WorkbookOutcome outcome;
    {
        const testing::ScopedFileSizeLimit full(2000);
        ASSERT_TRUE(full.Set());
        outcome = WriteWorkbook(SampleTable(), file);
    }
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(ReadText(file), "the earlier workbook");
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();
}

// The rows of a sheet go to a temporary file first: a disk that fills up
// while they are written fails the workbook too, even when what was written
// of them would still fit in the (much smaller) compressed workbook.
TEST_F(WorkbookExportTest, ASheetWhoseRowsCouldNotAllBeWrittenFailsTheWorkbook) {
    report::ResultTable table(2, 8001);
    table.SetFixedRows(1);
    for (size_t row = 0; row < table.RowCount(); ++row) {
        table.SetCell(0, row, "CN=user" + std::to_string(row) + ".O=Acme");
        table.SetCell(1, row, std::string(100, 'x'));
    }
    const fs::path file = dir_ / "book.xlsx";
    std::ofstream(file) << "the earlier workbook";
    WorkbookOutcome outcome;
    {
        const testing::ScopedFileSizeLimit full(200 * 1024);
        ASSERT_TRUE(full.Set());
        outcome = WriteWorkbook(table, file);
    }
    EXPECT_FALSE(outcome.ok());
    EXPECT_NE(outcome.error.find("File too large"), std::string::npos) << outcome.error;
    EXPECT_TRUE(ReadText(file) == "the earlier workbook");
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path(), file) << "left behind";
}

// The workbook library does not check the temporary files it assembles a
// workbook's parts in: a worksheet part that could not be written whole
// (here: the file size limit lets its rows through but not the whole part)
// would be zipped cut short, with a CRC of the cut-short bytes, and the
// workbook reported as written.
TEST_F(WorkbookExportTest, AWorkbookWhosePartCouldNotBeWrittenWholeIsNotCommitted) {
    const report::ResultTable table = UserTable(3000);
    const fs::path file = dir_ / "book.xlsx";
    ASSERT_TRUE(WriteWorkbook(table, file).ok());
    std::vector<ZipEntry> whole = ReadZip(file);
    const ZipEntry* sheet = FindEntry(whole, "xl/worksheets/sheet1.xml");
    ASSERT_NE(sheet, nullptr);
    const uint64_t rows = RowBytes(sheet->bytes);
    ASSERT_GT(rows, 100u * 1024);
    ASSERT_LT(fs::file_size(file), rows / 4);  // the zip itself fits

    std::ofstream(file, std::ios::trunc) << "the earlier workbook";
    WorkbookOutcome outcome;
    {
        const testing::ScopedFileSizeLimit full(rows + 1);
        ASSERT_TRUE(full.Set());
        outcome = WriteWorkbook(table, file);
    }
    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.error,
              "cannot write \"" + file.string() + "\": " + std::string(kIncompleteWorkbook));
    EXPECT_TRUE(ReadText(file) == "the earlier workbook");
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_EQ(entry.path(), file) << "left behind";
}

// Each way a part of a finished workbook comes out short on a full disk:
// cut in the middle of a cell, rows missing between a whole beginning and a
// whole end (the rows' file could not be read back), a small part cut short
// or empty, a CRC that does not match, the zip itself cut short, a worksheet
// missing.
TEST_F(WorkbookExportTest, TheWorkbookCheckFindsEveryPartThatCameOutShort) {
    const fs::path file = dir_ / "book.xlsx";
    ASSERT_TRUE(WriteWorkbook(UserTable(500), file).ok());
    std::vector<ZipEntry> whole = ReadZip(file);
    const ZipEntry* sheet = FindEntry(whole, "xl/worksheets/sheet1.xml");
    ASSERT_NE(sheet, nullptr);
    const uint64_t rows = RowBytes(sheet->bytes);
    ASSERT_GT(rows, 10000u);
    EXPECT_EQ(CheckWorkbookFile(file, {rows}), "");
    const fs::path copy = dir_ / "copy.xlsx";
    WriteZip(copy, whole);
    EXPECT_EQ(CheckWorkbookFile(copy, {rows}), "") << "rewritten whole";

    struct Damage {
        const char* what;
        std::function<void(std::vector<ZipEntry>&)> apply;
    };
    const auto cut = [](std::string_view part, double kept) {
        return [part, kept](std::vector<ZipEntry>& entries) {
            std::string& bytes = FindEntry(entries, part)->bytes;
            bytes.resize(static_cast<size_t>(static_cast<double>(bytes.size()) * kept));
        };
    };
    const std::vector<Damage> damages = {
        {"sheet cut in a cell", cut("xl/worksheets/sheet1.xml", 0.5)},
        {"sheet without its last bytes", cut("xl/worksheets/sheet1.xml", 0.9999)},
        {"rows missing between a whole beginning and end",
         [](std::vector<ZipEntry>& entries) {
             std::string& bytes = FindEntry(entries, "xl/worksheets/sheet1.xml")->bytes;
             const size_t rowsAt = bytes.find("<sheetData>") + 11;
             const size_t rowsEnd = bytes.rfind("</sheetData>");
             const size_t half = rowsAt + (rowsEnd - rowsAt) / 2;
             bytes.erase(half, rowsEnd - half);
         }},
        {"styles cut short", cut("xl/styles.xml", 0.7)},
        {"styles empty", cut("xl/styles.xml", 0.0)},
        {"content types cut short", cut("[Content_Types].xml", 0.95)},
        {"a CRC that does not match",
         [](std::vector<ZipEntry>& entries) {
             ZipEntry& styles = *FindEntry(entries, "xl/styles.xml");
             styles.wrongCrc = crc32(0, reinterpret_cast<const Bytef*>(styles.bytes.data()),
                                     static_cast<uInt>(styles.bytes.size())) ^
                               1u;
         }},
    };
    for (const Damage& damage : damages) {
        std::vector<ZipEntry> entries = whole;
        damage.apply(entries);
        fs::remove(copy);
        WriteZip(copy, entries);
        EXPECT_EQ(CheckWorkbookFile(copy, {rows}), kIncompleteWorkbook) << damage.what;
    }

    // The zip cut short: its directory at the end is missing.
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    fs::resize_file(copy, fs::file_size(file) - 100);
    EXPECT_EQ(CheckWorkbookFile(copy, {rows}), kIncompleteWorkbook);
    // A second worksheet was written but is not in the zip.
    EXPECT_EQ(CheckWorkbookFile(file, {rows, 10}), kIncompleteWorkbook);
    // A file that cannot be read back says why.
    EXPECT_NE(CheckWorkbookFile(dir_ / "missing.xlsx", {rows}).find("No such file"),
              std::string::npos);
}

// Cancel pressed while a long export writes: nothing is written over the
// earlier file, no temporary file or new workbook is left, and no box tells
// the person about a stop they asked for.
TEST_F(WorkbookExportTest, AStoppedExportLeavesTheEarlierFileWhole) {
    report::ResultTable table(2, 5001);
    for (size_t row = 0; row < table.RowCount(); ++row) {
        table.SetCell(0, row, "CN=user" + std::to_string(row) + ".O=Acme");
        table.SetCell(1, row, std::string(40, 'x'));
    }
    vellrun::testing::CountingRunFeedback feedback;
    feedback.Cancel().Set();  // a cancel left over from earlier work does not count
    feedback.cancelAtEvent = 2;
    auto services = Services(dir_ / "wb");
    services.progress = &feedback;
    const fs::path file = dir_ / "users.html";
    std::ofstream(file) << "the earlier export";
    EXPECT_EQ(ExportGrid(table, "", file, {}, false, services), GridExportResult::Stopped);
    EXPECT_EQ(ReadText(file), "the earlier export");
    EXPECT_EQ(feedback.events, 2);
    EXPECT_EQ(feedback.depth, 0);

    // A stopped workbook holds no file open afterwards (its rows went to
    // temporary files as they were written).
    const auto openFiles = [] {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
    };
    const auto openBefore = openFiles();
    feedback.events = 0;
    EXPECT_EQ(ExportGrid(table, "XLS", {}, {}, false, services), GridExportResult::Stopped);
    EXPECT_EQ(openFiles(), openBefore);
    EXPECT_TRUE(fs::is_empty(dir_ / "wb"));
    EXPECT_TRUE(desktop_.workbooks.empty());
    EXPECT_TRUE(messages_.Errors().empty());
    for (const auto& entry : fs::directory_iterator(dir_))
        EXPECT_FALSE(entry.path().filename().string().ends_with(".tmp")) << entry.path();

    // Left alone, the same export is written whole.
    feedback.cancelAtEvent = 0;
    EXPECT_EQ(ExportGrid(table, "", file, {}, false, services), GridExportResult::Written);
    EXPECT_NE(ReadText(file).find("CN=user5000.O=Acme"), std::string::npos);
}

// The workbook file made to hold an export's name is a file of the write in
// progress: a signal that ends the program meanwhile takes it too.
TEST_F(WorkbookExportTest, ASignalDuringAWorkbookExportLeavesNoEmptyWorkbook) {
    report::ResultTable table(2, 2001);
    for (size_t row = 0; row < table.RowCount(); ++row)
        table.SetCell(0, row, "CN=user" + std::to_string(row) + ".O=Acme");
    vellrun::testing::CountingRunFeedback feedback;
    const fs::path folder = dir_ / "wb";
    std::optional<bool> leftBehind;
    feedback.onEvent = [&](int) {
        if (leftBehind) return;
        platform::PendingTemporaries::UnlinkAll();  // what the signal handler does
        leftBehind = !fs::is_empty(folder);
    };
    auto services = Services(folder);
    services.progress = &feedback;
    ExportGrid(table, "XLS", {}, {}, false, services);
    ASSERT_TRUE(leftBehind.has_value());
    EXPECT_FALSE(*leftBehind);
}

// Saving a workbook cannot be stopped, but the window goes on answering
// while it runs: the work here waits until it has been let through twice.
TEST(ExportProgressTest, TheWindowAnswersWhileTheLastPartRuns) {
    vellrun::testing::CountingRunFeedback feedback;
    std::atomic<int> answered{0};
    feedback.onEvent = [&answered](int count) { answered = count; };
    ExportProgress progress(&feedback, "Writing ...");
    const bool sawTheWindow = progress.Finishing("Saving ...", [&answered] {
        for (int i = 0; i < 1000 && answered < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return answered >= 2;
    });
    EXPECT_TRUE(sawTheWindow);
    EXPECT_EQ(feedback.status[0], "Saving ...");
}

TEST_F(WorkbookExportTest, ExportGridSendsEachKindToItsTarget) {
    const auto services = Services(dir_ / "wb");
    const Delimiters delimiters{',', '/', '\''};
    EXPECT_EQ(ExportGrid(SampleTable(), "", dir_ / "a.dat", delimiters, false, services),
              GridExportResult::InvalidTarget);
    EXPECT_EQ(messages_.Errors(), std::vector<std::string>{"Invalid target"});
    EXPECT_FALSE(desktop_.clipboard);

    EXPECT_EQ(ExportGrid(SampleTable(), " .clipboard", {}, delimiters, false, services),
              GridExportResult::Clipboard);
    EXPECT_EQ(desktop_.clipboard->rfind("'DN','Telephone Number','Description'\r\n", 0), 0u);
    EXPECT_TRUE(desktop_.workbooks.empty());

    EXPECT_EQ(ExportGrid(SampleTable(), "", dir_ / "out.XLS", delimiters, false, services),
              GridExportResult::Workbook);
    EXPECT_FALSE(fs::exists(dir_ / "out.XLS"));  // the path is not used for the workbook

    EXPECT_EQ(ExportGrid(SampleTable(), "", dir_ / "out.htm", delimiters, false, services),
              GridExportResult::Written);
    EXPECT_EQ(ReadText(dir_ / "out.htm").substr(0, 14), "<html><body>\r\n");
}

TEST_F(WorkbookExportTest, ExportResultsFollowsTheOutputTypeAndTheChosenName) {
    const auto services = Services(dir_ / "wb");
    AppSettings settings;
    settings.FieldDelimiter = '|';
    settings.ValueDelimiter = ',';
    settings.QuoteChar = '\'';
    ExportTargets targets;

    report::ResultTable table(2, 1);
    table.SetCell(0, 0, "a\r\nb");
    table.SetCell(1, 0, "c");
    EXPECT_EQ(ExportResults(table, report::OutputType::Clipboard, targets, settings, services),
              GridExportResult::Clipboard);
    EXPECT_EQ(desktop_.clipboard, "'a,b'|'c'\r\n");
    EXPECT_EQ(ExportResults(table, report::OutputType::Excel, targets, settings, services),
              GridExportResult::Workbook);
    EXPECT_EQ(desktop_.clipboard, "\"a\nb\"\t\"c\"\r\n");

    // A CSV export saved under a name for the clipboard goes there, with the
    // settings' characters; the name is forgotten afterwards.
    desktop_.clipboard.reset();
    messages_.files.push_back(dir_ / "list.clipboard");
    EXPECT_EQ(ExportResults(table, report::OutputType::Csv, targets, settings, services),
              GridExportResult::Clipboard);
    EXPECT_EQ(desktop_.clipboard, "'a,b'|'c'\r\n");
    EXPECT_TRUE(targets.outputFile.empty());
    EXPECT_EQ(targets.reportPath, dir_);

    targets.outputFile = dir_ / "auto.xml";
    EXPECT_EQ(ExportResults(table, report::OutputType::Csv, targets, settings, services),
              GridExportResult::Written);
    EXPECT_NE(ReadText(dir_ / "auto.xml").find("<document>"), std::string::npos);
}

TEST_F(WorkbookExportTest, ListTablesUseCommaOnlyForCsvTargets) {
    const auto services = Services(dir_ / "wb");
    report::ResultTable list(1, 2);
    list.SetCell(0, 0, "User");
    list.SetCell(0, 1, "Group");
    EXPECT_EQ(ExportListTable(list, "clipboard", {}, services), GridExportResult::Clipboard);
    EXPECT_EQ(desktop_.clipboard, "'User'\r\n'Group'\r\n");

    report::ResultTable wide(2, 1);
    wide.SetCell(0, 0, "a");
    wide.SetCell(1, 0, "b");
    ASSERT_EQ(ExportListTable(wide, "txt", dir_ / "l.CSV", services), GridExportResult::Written);
    EXPECT_EQ(ReadText(dir_ / "l.CSV"), "'a','b'\r\n");
    ASSERT_EQ(ExportListTable(wide, "txt", dir_ / "l.txt", services), GridExportResult::Written);
    EXPECT_EQ(ReadText(dir_ / "l.txt"), "'a'\t'b'\r\n");
}

TEST_F(WorkbookExportTest, SaveListAsksForTheFileAndRemembersItsFolder) {
    const auto services = Services(dir_ / "wb");
    fs::path reportPath = dir_;
    EXPECT_EQ(SaveList({}, "html", "CORP-classes", reportPath, services),
              GridExportResult::Cancelled);  // an empty list is not saved
    EXPECT_TRUE(messages_.boxes.empty());

    fs::create_directories(dir_ / "lists");
    messages_.files.push_back(dir_ / "lists" / "classes.xml");
    ASSERT_EQ(SaveList({"Class", "User", "Group"}, "xml", "CORP-classes", reportPath, services),
              GridExportResult::Written);
    EXPECT_EQ(reportPath, dir_ / "lists");
    const std::string xml = ReadText(dir_ / "lists" / "classes.xml");
    EXPECT_NE(xml.find(R"(rowCount="3" colCount="1" fixedRows="1")"), std::string::npos) << xml;

    messages_.files.push_back(std::nullopt);  // the person cancels
    EXPECT_EQ(SaveList({"a"}, "txt", "x", reportPath, services), GridExportResult::Cancelled);
    EXPECT_EQ(reportPath, dir_ / "lists");
}

}  // namespace
}  // namespace vellrun::exports
