// schema classes|attributes: the definitions of the tree's schema, one row each.

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"

namespace vellrun::cli {

namespace {

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 2 ||
        (options.operands[1] != "classes" && options.operands[1] != "attributes"))
        return "schema needs classes or attributes";
    return WorkbookOutputProblem(options);
}

int Run(CommandServices& s) {
    report::ReportSpec spec;
    spec.Kind = s.options.operands[1] == "classes" ? report::ReportKind::SchemaClasses
                                                   : report::ReportKind::SchemaAttributes;
    spec.Container = "[Root]";
    ApplyOutputOptions(s.options, spec);
    spec.TreeName = ChooseTree(s.access, s.options.tree, s.err);
    if (spec.TreeName.empty()) return kExitFailure;
    return RunReportSpec(s, spec);
}

}  // namespace

// A saved report holds an object report, so schema takes no --save-report:
// a schema report stored in one would be refused when run.
const Command kSchemaCommand{"schema",
                             "schema classes|attributes [--tree NAME]\n        [OUTPUT OPTIONS] "
                             "[VALUE OPTIONS]",
                             "Report the class or attribute definitions of the tree's schema.",
                             kTreeOption | kOutputOptions | kValueOptions,
                             "",
                             CommandSettings::kSettingsFile,
                             Check,
                             nullptr,
                             Run};

}  // namespace vellrun::cli
