// Times the table work of a large report without the directory: sorting the
// result by each column, hiding the rows without values (of a copy in which
// every other row has none) and writing the CSV, HTML and XML export files
// the way the program does (streamed to a file beside the others, then
// removed).
//
//   vellrun-bench-table [--rows N] [--columns N] [--folder DIR]
//
// The table looks like a report of users: a header row, a key column of full
// names and columns of mixed values, some multi-line. Deterministic.

#include "exports/ExportFormats.h"
#include "exports/ResultsFileExport.h"
#include "exports/WorkbookExport.h"
#include "platform/MessagePort.h"
#include "platform/TextCollator.h"
#include "report/ResultTable.h"
#include "report/TableUtilities.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include <time.h>

namespace {

using Clock = std::chrono::steady_clock;

// Wall time and this process's CPU time since it was made: on a shared
// machine the CPU time is the figure to compare.
class Stopwatch {
public:
    Stopwatch() : wall_(Clock::now()), cpu_(CpuNow()) {}
    double Wall() const { return std::chrono::duration<double>(Clock::now() - wall_).count(); }
    double Cpu() const { return CpuNow() - cpu_; }

private:
    static double CpuNow() {
        timespec now{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
    }
    Clock::time_point wall_;
    double cpu_;
};

vellrun::report::ResultTable MakeTable(size_t rows, size_t columns) {
    std::mt19937 random(42);
    vellrun::report::ResultTable table(columns, rows + 1);
    table.SetFixedRows(1);
    table.SetFixedCols(1);
    table.SetCell(0, 0, "Object");
    for (size_t c = 1; c < columns; ++c)
        table.SetCell(c, 0, "Attribute " + std::to_string(c));
    static const char* kNames[] = {"Anna", "bert", "Clara", "dieter", "Émile", "frank", "Greta"};
    for (size_t r = 1; r <= rows; ++r) {
        table.SetCell(0, r,
                      ".user" + std::to_string(random() % 1000000) + ".OU" +
                          std::to_string(r % 100) + ".Bench");
        for (size_t c = 1; c < columns; ++c) {
            std::string text;
            switch (c % 4) {
                case 0: text = std::to_string(static_cast<int>(random() % 100000) - 50000); break;
                case 1:
                    text = std::string(kNames[random() % 7]) + " " + std::to_string(random() % 97);
                    break;
                case 2: text = "2009-10-" + std::to_string(10 + random() % 20) + " 12:00:00"; break;
                default:
                    text = "CN=group" + std::to_string(random() % 50) + ".O=Bench\r\nCN=group" +
                           std::to_string(random() % 50) + ".O=Bench";
            }
            table.SetCell(c, r, std::move(text));
        }
    }
    return table;
}

// Boxes go to standard error; questions are never asked here.
class ConsoleMessages : public vellrun::platform::MessagePort {
public:
    void ErrorBox(std::string_view text) override { Print("error", text); }
    void InfoBox(std::string_view text) override { Print("info", text); }
    void PlainBox(std::string_view text) override { Print("note", text); }
    bool AskYesNo(std::string_view, bool defaultNo) override { return !defaultNo; }
    std::optional<std::filesystem::path> ChooseSaveFile(std::string_view,
                                                        const std::filesystem::path&,
                                                        std::string_view) override {
        return std::nullopt;
    }
    std::optional<std::filesystem::path> ChooseOpenFile(std::string_view,
                                                        const std::filesystem::path&,
                                                        std::string_view) override {
        return std::nullopt;
    }

private:
    static void Print(const char* kind, std::string_view text) {
        std::fprintf(stderr, "%s: %.*s\n", kind, static_cast<int>(text.size()), text.data());
    }
};

constexpr const char* kUsage =
    "Usage: vellrun-bench-table [--rows N] [--columns N] [--folder DIR]\n"
    "  Makes a results table of N rows (default 100000) under a header row, with\n"
    "  N columns (default 11), sorts it by each column and writes it as CSV, HTML\n"
    "  and XML files and as a workbook (.xlsx) into DIR (default: the system's\n"
    "  temporary folder; the files are removed afterwards). Prints the time of\n"
    "  each step.\n";

}  // namespace

int main(int argc, char** argv) {
    size_t rows = 100000;
    size_t columns = 11;
    std::filesystem::path folder = std::filesystem::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vellrun-bench-table: %s needs a value\n%s", option.c_str(),
                         kUsage);
            return 2;
        }
        const char* value = argv[++i];
        if (option == "--rows") {
            rows = std::strtoul(value, nullptr, 10);
        } else if (option == "--columns") {
            columns = std::strtoul(value, nullptr, 10);
        } else if (option == "--folder") {
            folder = value;
        } else {
            std::fprintf(stderr, "vellrun-bench-table: unknown option %s\n%s", option.c_str(),
                         kUsage);
            return 2;
        }
    }
    if (columns == 0) {
        std::fprintf(stderr, "vellrun-bench-table: --columns must be at least 1\n");
        return 2;
    }
    Stopwatch made;
    vellrun::report::ResultTable table = MakeTable(rows, columns);
    std::printf("  make table (%zu rows, %zu columns)       %6.2f s  %6.2f s CPU\n", rows + 1,
                columns, made.Wall(), made.Cpu());

    const vellrun::platform::TextCollator collator;
    double slowest = 0;
    for (size_t c = 0; c < columns; ++c) {
        Stopwatch sort;
        vellrun::report::SortTableByColumn(table, c, collator);
        const double cpu = sort.Cpu();
        slowest = std::max(slowest, cpu);
        std::printf("  sort by column %-2zu                         %6.2f s  %6.2f s CPU\n", c,
                    sort.Wall(), cpu);
    }
    std::printf("  slowest sort                                          %6.2f s CPU\n", slowest);

    {
        // Hiding the rows without values, when every other row has none.
        vellrun::report::ResultTable half = table;
        for (size_t r = 2; r < half.RowCount(); r += 2) {
            for (size_t c = 1; c < columns; ++c)
                half.SetCell(c, r, std::string());
        }
        Stopwatch hide;
        const size_t removed = vellrun::report::RemoveEmptyRows(half);
        const std::string label = "hide empty rows (" + std::to_string(removed) + " removed)";
        std::printf("  %-42s%6.2f s  %6.2f s CPU\n", label.c_str(), hide.Wall(), hide.Cpu());
    }

    ConsoleMessages messages;
    int status = 0;
    for (const char* format : {"CSV", "HTML", "XML"}) {
        vellrun::exports::FileExportRequest request;
        request.formatName = format;
        request.target = folder / ("vellrun-bench-table." + std::string(format));
        Stopwatch export_;
        const auto result =
            vellrun::exports::ExportTableToFile(table, request, collator, {}, messages);
        const double wall = export_.Wall();
        const double cpu = export_.Cpu();
        std::error_code error;
        const auto bytes = std::filesystem::file_size(request.target, error);
        if (result != vellrun::exports::FileExportResult::Written || error) {
            std::fprintf(stderr, "vellrun-bench-table: the %s export failed\n", format);
            status = 1;
        }
        std::printf("  %-4s export (%9ju bytes)             %6.2f s  %6.2f s CPU\n", format,
                    static_cast<uintmax_t>(error ? 0 : bytes), wall, cpu);
        std::filesystem::remove(request.target, error);
    }
    {
        const std::filesystem::path target = folder / "vellrun-bench-table.xlsx";
        Stopwatch export_;
        const vellrun::exports::WorkbookOutcome outcome =
            vellrun::exports::WriteWorkbook(table, target);
        const double wall = export_.Wall();
        const double cpu = export_.Cpu();
        std::error_code error;
        const auto bytes = std::filesystem::file_size(target, error);
        if (!outcome.ok() || error) {
            std::fprintf(stderr, "vellrun-bench-table: the workbook export failed: %s\n",
                         outcome.error.c_str());
            status = 1;
        }
        std::printf("  XLSX export (%9ju bytes)             %6.2f s  %6.2f s CPU\n",
                    static_cast<uintmax_t>(error ? 0 : bytes), wall, cpu);
        std::filesystem::remove(target, error);
    }
    return status;
}
