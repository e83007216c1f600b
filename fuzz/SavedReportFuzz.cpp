// Saved report files on any bytes, and the command line that names one. A
// file is loaded or refused with a message and a reason; a loaded report is
// valid, stores (or is refused for a line break in a value or a column
// without a name), and loads again to the same report.

#include "FuzzSupport.h"
#include "report/SavedReport.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using namespace vellrun;

std::string Describe(const report::ReportSpec& s) {
    std::string text = std::to_string(static_cast<int>(s.Kind)) + "|" +
                       std::to_string(s.Recursive) + "|" + s.TreeName + "|" + s.Container + "|" +
                       s.ObjectName + "|" + s.ObjectClass + "|" + std::to_string(s.OrderBy) + "|" +
                       std::to_string(static_cast<int>(s.Output)) + "|" + s.OutputFile + "|" +
                       std::to_string(s.Filtered);
    for (const std::string& attribute : s.Attributes)
        text += "|attr:" + attribute;
    for (const report::FilterRow& row : s.Filters)
        text +=
            "|filter:" + row.Attribute + "/" + row.Value + "/" + std::to_string(row.MustContain);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::AsText(data, size);

    // The same bytes as a command line, one argument per line.
    std::vector<std::string> arguments;
    for (std::string_view rest = text; !rest.empty();)
        arguments.emplace_back(fuzz::TakeField(rest));
    const report::ReportCommandLine line = report::ParseReportCommandLine(arguments);
    fuzz::Check(line == report::ParseReportCommandLine(arguments), "a command line read twice");

    const std::filesystem::path file = fuzz::ScratchDir() / "fuzz.rpt";
    fuzz::WriteFile(file, text);
    report::ReportSpec current;
    current.TreeName = "CORP";
    const report::SavedReport::LoadResult loaded = report::SavedReport::Load(file, current);
    if (!loaded.ok()) {
        fuzz::Check(!loaded.status.ok() && !loaded.reason.empty(),
                    "a refusal without a message or a reason");
        return 0;
    }
    const report::ReportSpec& spec = *loaded.spec;
    fuzz::Check(report::SavedReport::ValidityProblem(spec).empty(), "a loaded report is not valid",
                report::SavedReport::ValidityProblem(spec));

    const std::filesystem::path stored = fuzz::ScratchDir() / "stored.rpt";
    std::filesystem::remove(stored);
    const platform::FileStatus status = report::SavedReport::Store(spec, stored);
    if (!status.ok()) {
        // Storing refuses, with a message, what a file may hold but a stored
        // report may not: a value with a line break (a lone CR reads as part
        // of a value) and a column without a name.
        const bool emptyColumn =
            spec.Kind == report::ReportKind::ByType &&
            std::any_of(spec.Attributes.begin(), spec.Attributes.end(), [](const std::string& a) {
                return a.find_first_not_of(" \t") == std::string::npos;
            });
        fuzz::Check(emptyColumn || Describe(spec).find_first_of("\r\n") != std::string::npos,
                    "a loaded report does not store", status.error);
        return 0;
    }
    const report::SavedReport::LoadResult again = report::SavedReport::Load(stored, current);
    fuzz::Check(again.ok(), "a stored report does not load", again.reason);
    fuzz::Check(Describe(*again.spec) == Describe(spec), "a stored report loads changed",
                Describe(spec) + "\n  " + Describe(*again.spec));
    return 0;
}
