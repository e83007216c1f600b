// run REPORTFILE (and --report=FILE in every spelling): a saved report, run
// and exported as the file says.

#include "cli/CliCommand.h"
#include "cli/CommandSupport.h"
#include "report/SavedReport.h"

namespace vellrun::cli {

namespace {

std::optional<std::string> Check(const CliOptions& options) {
    if (options.operands.size() != 2) return "run needs exactly one REPORTFILE";
    return std::nullopt;
}

// A saved report that cannot run is refused before any connection is made.
bool Load(const CliOptions& options, std::optional<report::ReportSpec>& saved, std::ostream& err) {
    report::SavedReport::LoadResult loaded =
        report::SavedReport::Load(std::filesystem::path(options.operands[1]), {});
    if (!loaded.ok()) {
        err << loaded.status.error << '\n';
        if (!loaded.reason.empty()) err << "  " << loaded.reason << '\n';
        return false;
    }
    // A workbook written over a file named for a text export (out.csv) would
    // destroy that export without a word: such a target is refused, and the
    // file stays as it is.
    const report::ReportSpec& spec = *loaded.spec;
    if (spec.Output == report::OutputType::Excel && !spec.OutputFile.empty() &&
        !WorkbookTargetAllowed(spec.OutputFile)) {
        err << kProgram << ": " << options.operands[1]
            << ": the output type MS Excel writes a workbook, and its File must end in .xlsx "
               "or .xls, not \""
            << spec.OutputFile << "\"; nothing was run\n";
        return false;
    }
    saved = std::move(loaded.spec);
    return true;
}

int Run(CommandServices& s) {
    report::ReportSpec spec = *s.saved;
    spec.Tree = nullptr;
    spec.TreeName = ChooseTree(s.access, spec.TreeName, s.err, s.options.operands[1]);
    if (spec.TreeName.empty()) return kExitFailure;
    return RunReportSpec(s, spec, true);
}

}  // namespace

const Command kRunCommand{
    "run",
    "run [VALUE OPTIONS] REPORTFILE\n[VALUE OPTIONS] --report=REPORTFILE [--quit]",
    "Run a saved report and export it as the file says (no output file:\nthe document on "
    "standard output). The desktop's spellings\n/report=FILE, report=FILE, r=FILE and /quit "
    "are accepted too.",
    kValueOptions,
    "a saved report names its own tree, objects and output",
    CommandSettings::kSettingsFile,
    Check,
    Load,
    Run};

}  // namespace vellrun::cli
