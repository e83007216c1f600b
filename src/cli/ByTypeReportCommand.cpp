// report: every object of one class in a container, one row each, exported
// where the output options say.

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"
#include "exports/ExportFormats.h"

#include <string>

namespace vellrun::cli {

namespace {

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 1) return "report takes options only";
    if (!options.container) return "report needs --container";
    if (!options.objectClass) return "report needs --class";
    if (options.attributes.empty()) return "report needs at least one --attr";
    if (options.filters.size() > report::kFilterRowCount)
        return "report takes up to three --filter";
    // The full name, then one column per --attr. A saved report's OrderBy
    // past the last column leaves the rows as found (stored files rely on
    // it), but an option given now that sorts by nothing is a mistake.
    const size_t columns = options.attributes.size() + 1;
    if (options.orderBy && static_cast<size_t>(*options.orderBy) >= columns) {
        return "--order-by " + std::to_string(*options.orderBy) + ": the report has " +
               std::to_string(columns) + " columns (0 to " + std::to_string(columns - 1) + ")";
    }
    if (auto problem = WorkbookOutputProblem(options)) return problem;
    if (!options.saveReport || !options.file || *options.file == "-") return std::nullopt;
    // The saved report would be written over the export that was just made.
    if (SameFile(*options.file, *options.saveReport)) {
        return "--save-report cannot name the file of --file (" + *options.file + ")";
    }
    // A saved report of a document type takes its format from the output
    // file's extension when it runs again (see RunCommand): the file must
    // give the format that --output gives now.
    const report::OutputType output = options.output.value_or(report::OutputType::Csv);
    // And run again, a workbook goes only to a file named as one (RunCommand).
    if (output == report::OutputType::Excel && !WorkbookTargetAllowed(*options.file)) {
        return "with --save-report, --output xls needs a file name ending in .xlsx or .xls "
               "(a saved report writes a workbook to no other file), not " +
               *options.file;
    }
    if (output != report::OutputType::Csv && output != report::OutputType::Html &&
        output != report::OutputType::Xml) {
        return std::nullopt;
    }
    const std::string name(OutputOptionName(output));
    if (exports::ExportKindForTarget("", *options.file) != exports::ExportKindFromName(name)) {
        const char* endings = output == report::OutputType::Csv    ? ".csv, .txt, .doc or .ascii"
                              : output == report::OutputType::Html ? ".html or .htm"
                                                                   : ".xml";
        return "with --save-report, --output " + name + " needs a file name ending in " + endings +
               " (a saved report takes its format from the file's extension), not " + *options.file;
    }
    return std::nullopt;
}

int Run(CommandServices& s) {
    const CliOptions& options = s.options;
    report::ReportSpec spec;
    spec.Kind = report::ReportKind::ByType;
    spec.Container = *options.container;
    spec.ObjectClass = *options.objectClass;
    spec.Attributes = options.attributes;
    spec.Recursive = options.recurse;
    spec.Filtered = !options.filters.empty();
    for (size_t i = 0; i < options.filters.size(); ++i)
        spec.Filters[i] = options.filters[i];
    spec.OrderBy = options.orderBy.value_or(-1);
    ApplyOutputOptions(options, spec);
    spec.TreeName = ChooseTree(s.access, options.tree, s.err);
    if (spec.TreeName.empty()) return kExitFailure;
    return RunReportSpec(s, spec);
}

}  // namespace

const Command kReportByTypeCommand{
    "report",
    "report [--tree NAME] --container CONTAINER\n        --class CLASS --attr NAME [--attr NAME "
    "...] [--recurse]\n        [--filter ATTR=TEXT | --filter ATTR!=TEXT ...] [--order-by N]\n"
    "        [OUTPUT OPTIONS] [VALUE OPTIONS]",
    "Report every object of CLASS (\"*\": every object) in CONTAINER, one\nrow each: its full "
    "name, then the attributes in the order given.",
    kTreeOption | kReportOptions | kOutputOptions | kSaveOption | kValueOptions,
    "",
    CommandSettings::kSettingsFile,
    Check,
    nullptr,
    Run};

}  // namespace vellrun::cli
