// Times the table work of a large report without the directory: sorting the
// result by each column and building the CSV, HTML and XML exports.
//
//   vellrun-bench-table [--rows N] [--columns N]
//
// The table looks like a report of users: a header row, a key column of full
// names and columns of mixed values, some multi-line. Deterministic.

#include "exports/ExportFormats.h"
#include "platform/TextCollator.h"
#include "report/ResultTable.h"
#include "report/TableUtilities.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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

}  // namespace

int main(int argc, char** argv) {
    size_t rows = 100000;
    size_t columns = 11;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rows") rows = std::strtoul(argv[i + 1], nullptr, 10);
        if (option == "--columns") columns = std::strtoul(argv[i + 1], nullptr, 10);
    }
    auto start = Clock::now();
    vellrun::report::ResultTable table = MakeTable(rows, columns);
    std::printf("  make table (%zu rows, %zu columns)          %6.2f s\n", rows + 1, columns,
                Seconds(start));

    const vellrun::platform::TextCollator collator;
    double slowest = 0;
    for (size_t c = 0; c < columns; ++c) {
        start = Clock::now();
        vellrun::report::SortTableByColumn(table, c, collator);
        const double took = Seconds(start);
        if (took > slowest) slowest = took;
        std::printf("  sort by column %-2zu                            %6.2f s\n", c, took);
    }
    std::printf("  slowest sort                                 %6.2f s\n", slowest);

    using vellrun::exports::ExportKind;
    start = Clock::now();
    const auto csv = vellrun::exports::EncodeExportDocument(
        vellrun::exports::TableToDelimitedText(table, {}), ExportKind::Text, false);
    std::printf("  CSV  export (%8zu bytes)                 %6.2f s\n", csv.bytes.size(),
                Seconds(start));
    start = Clock::now();
    const auto html = vellrun::exports::EncodeExportDocument(vellrun::exports::TableToHtml(table),
                                                             ExportKind::Html, false);
    std::printf("  HTML export (%8zu bytes)                 %6.2f s\n", html.bytes.size(),
                Seconds(start));
    start = Clock::now();
    const auto xml = vellrun::exports::EncodeExportDocument(
        vellrun::exports::TableToXml(table, collator, vellrun::platform::DateTimeParts{}),
        ExportKind::Xml, false);
    std::printf("  XML  export (%8zu bytes)                 %6.2f s\n", xml.bytes.size(),
                Seconds(start));
    return 0;
}
