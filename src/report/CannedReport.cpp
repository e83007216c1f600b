#include "report/CannedReport.h"

#include "report/SavedReport.h"
#include "report/TreeInformation.h"

namespace vellrun::report {

CannedReportOutcome OpenCannedReport(ReportRun& run, directory::DirectoryAccess& access,
                                     directory::TTreeInfo& treeRecord,
                                     const std::filesystem::path& file, bool typeless,
                                     const std::function<void(const ReportSpec&)>& prepareWindow) {
    CannedReportOutcome outcome;
    // The record may be the running report's tree: never replace it mid-run.
    if (run.ReportRunning()) {
        outcome.status = CannedReportOutcome::Status::Busy;
        return outcome;
    }
    SavedReport::LoadResult loaded = SavedReport::Load(file, run.CurrentSpec());
    if (!loaded.ok()) {
        outcome.reason = loaded.reason;
        access.Messages().ErrorBox(loaded.status.error);
        return outcome;
    }
    ReportSpec spec = std::move(*loaded.spec);
    // Opened beside the record: the results shown may be read through it
    // (a cell's detail, an edit), and a tree that cannot be opened leaves
    // them as they are.
    directory::TTreeInfo opened;
    if (const client::Result result = access.OpenTreeInfo(opened, spec.TreeName, typeless);
        result != 0) {
        // Said, not passed over in silence: a person who chose the file would
        // otherwise see nothing happen at all.
        platform::StringList trees;
        access.DSScanTrees(trees);
        const std::string reason =
            trees.IndexOf(spec.TreeName)
                ? "the directory returned error " + access.DSErrorText(result)
                : "it is not connected " + ConnectedTreesNote(trees);
        access.Messages().ErrorBox("The tree \"" + spec.TreeName + "\" named in " + file.string() +
                                   " cannot be opened: " + reason);
        access.ClearTreeInfo(opened);
        outcome.status = CannedReportOutcome::Status::TreeFailed;
        return outcome;
    }
    access.ClearTreeInfo(treeRecord);
    treeRecord = std::move(opened);
    // A failure has shown its box; the report still runs without the classes.
    GetTreeInformation(access, treeRecord);
    spec.Tree = &treeRecord;
    if (prepareWindow) prepareWindow(spec);
    run.Rpt_run(spec);
    outcome.status = CannedReportOutcome::Status::Ran;
    outcome.lastResult = run.LastResult();
    return outcome;
}

std::string ConnectedTreesNote(const platform::StringList& trees) {
    if (trees.Empty()) return "(no tree is connected)";
    std::string names;
    for (const platform::StringList::Item& item : trees)
        names += (names.empty() ? "" : ", ") + item.text;
    return "(the connected trees: " + names + ")";
}

std::string NothingExportedNotice(const ReportRun& run) {
    const ReportSpec& spec = run.CurrentSpec();
    if (!run.SaveEnabled()) {
        return spec.Kind == ReportKind::ByType ? "the report found no object; nothing was exported"
                                               : "the report has no results; nothing was exported";
    }
    if (spec.OutputFile.empty()) return "the report names no output file; nothing was exported";
    return {};
}

}  // namespace vellrun::report
