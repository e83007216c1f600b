#include "cli/CommandSupport.h"

#include "cli/ReportCommand.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFileWriter.h"
#include "platform/StringList.h"
#include "report/CannedReport.h"
#include "values/CellTextReader.h"
#include "values/SchemaDefinitions.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

namespace vellrun::cli {

std::string ChooseTree(directory::DirectoryAccess& access,
                       const std::optional<std::string>& wantedTree, std::ostream& err,
                       std::string_view namedBy) {
    platform::StringList trees;
    access.DSScanTrees(trees);
    if (wantedTree) {
        const auto index = trees.IndexOf(*wantedTree);
        if (!index) {
            err << kProgram << ": ";
            if (namedBy.empty())
                err << "tree \"" << *wantedTree << "\" is not connected ";
            else
                err << namedBy << " names the tree \"" << *wantedTree
                    << "\", which is not connected ";
            err << report::ConnectedTreesNote(trees) << '\n';
            return {};
        }
        return trees.Text(*index);
    }
    if (trees.Empty()) {
        err << kProgram << ": no tree is connected\n";
        return {};
    }
    return trees.Text(0);
}

CommandContext::~CommandContext() {
    if (open_) access_.Client().FreeContext(handle_);
}

bool CommandContext::Open(const std::string& tree, const std::string& container, bool typeless) {
    client::Result result = access_.Client().CreateContext(handle_);
    if (result != 0) {
        access_.DSShowError(result, "Create Context");
        return false;
    }
    open_ = true;
    result = access_.DSSetContext(handle_, tree, container);
    if (result == 0) result = access_.DSSetTypeless(handle_, typeless);
    if (result != 0) {
        access_.DSShowError(result, "Set Context \"" + container + "\"");
        return false;
    }
    return true;
}

namespace {

// A column or a filter on an attribute that the tree's schema does not know
// stays empty or tests nothing but emptiness: a slip in a name would
// otherwise pass unseen. Said, not refused: a saved report may well name an
// attribute that only some of the trees it runs on have.
void WarnOfUnknownAttributes(CommandServices& s, const report::ReportSpec& spec) {
    if (spec.Kind != report::ReportKind::ByType) return;
    std::vector<std::string> names = spec.Attributes;
    if (spec.Filtered) {
        for (const report::FilterRow& row : spec.Filters)
            names.push_back(row.Attribute);
    }
    client::ContextHandle context{};
    if (s.access.Client().CreateContext(context) != 0) return;
    // A tree that cannot be set is the run's own failure to tell.
    if (s.access.DSSetContext(context, spec.TreeName, "[Root]") == 0) {
        std::vector<std::string> told;
        for (const std::string& name : names) {
            if (name.empty() || name.starts_with(values::CellTextReader::kDsiPrefix) ||
                std::find(told.begin(), told.end(), name) != told.end())
                continue;
            client::AttrDefRecord definition;
            if (values::ReadAttrDefinition(s.access, context, name, definition) !=
                client::Err::NoSuchAttribute)
                continue;
            told.push_back(name);
            s.err << kProgram << ": the schema of the tree \"" << spec.TreeName
                  << "\" has no attribute \"" << name << "\": no object has a value of it\n";
        }
    }
    s.access.Client().FreeContext(context);
}

}  // namespace

int RunReportSpec(CommandServices& s, const report::ReportSpec& spec, bool savedReport) {
    WarnOfUnknownAttributes(s, spec);
    ReportCommand report(ReportCommand::Services{s.access, s.settings, s.formats, s.feedback,
                                                 s.messages, s.now, s.showProgress, s.out, s.err});
    const ObservedFeedback observed(s.feedbackObserver, s.feedback);
    return report.Run(spec, s.options.saveReport,
                      savedReport ? ReportCommand::ExportRule::kSavedReport
                                  : ReportCommand::ExportRule::kOutputOption);
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (platform::AtomicFileWriter::Destination(a) == platform::AtomicFileWriter::Destination(b))
        return true;
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;  // hard links
}

bool WorkbookTargetAllowed(const std::filesystem::path& target) {
    if (target == "-") return true;  // standard output
    const std::string extension = platform::AsciiLowerCopy(target.extension().string());
    if (extension == ".xlsx" || extension == ".xls") return true;
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(target, error);
    return !error &&
           (std::filesystem::is_fifo(status) || std::filesystem::is_character_file(status));
}

std::optional<std::string> WorkbookOutputProblem(const CliOptions& options) {
    if (options.output != report::OutputType::Excel) return std::nullopt;
    if (!options.file) return "--output xls needs --file";
    // Nothing to lose in a file that is not there yet, nor in the program's
    // own output named by its file (/dev/stdout, /dev/fd/N), which the caller
    // has pointed where they want.
    const std::filesystem::path file(*options.file);
    std::error_code error;
    if (WorkbookTargetAllowed(file) || file.string().starts_with("/dev/") ||
        (!std::filesystem::exists(file, error) && !error)) {
        return std::nullopt;
    }
    return "--output xls would write a workbook over " + *options.file +
           ", which is not named as one (.xlsx or .xls) and may hold another export; name a "
           "workbook file, or remove that file first";
}

void ApplyOutputOptions(const CliOptions& options, report::ReportSpec& spec) {
    spec.Output = options.output.value_or(report::OutputType::Csv);
    spec.OutputFile = options.file.value_or("");
}

}  // namespace vellrun::cli
