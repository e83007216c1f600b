#pragma once

// The report run: the state a front end's main window keeps beside the
// results grid (the current ReportSpec, LastResult, the running and cancel flags,
// ReportName, ReportPath, OutputFile, the results table) and the run that
// fills the table from one ReportSpec, with its common head, the four kinds'
// bodies and its common tail. Also the status-bar texts and proportions and
// the column-width arithmetic of the grid, as data and pure functions for
// the front ends to draw.
//
// One ReportRun per front end (the desktop's main window and the console
// each own one); it holds references to the directory access, the cell
// reader, the settings, the run feedback and the collator and owns none of
// them. Single-threaded: it runs on the thread that pumps the front end's
// events, and only one run exists at a time. It never shows a message box,
// never draws and never exports by itself (exporting is a hook).

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "platform/RunFeedback.h"
#include "platform/TextCollator.h"
#include "report/ReportSpec.h"
#include "report/ResultTable.h"
#include "settings/AppSettings.h"
#include "values/CellTextReader.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::report {

// A status text that leaves its panel as it is, and one that empties it.
inline constexpr std::string_view kStatusKeep{"\0", 1};
inline constexpr std::string_view kStatusClear{"\xFF", 1};

// How the three status panels share the bar after a ShowStatus call.
struct StatusLayout {
    int textCount = 3;                    // 1, 2 or 3 after the empty-text rule
    std::array<int, 3> weights{2, 3, 3};  // panels 0:1:2
    bool panel0FullWidth = false;         // one text: panel 0 then takes the whole bar

    bool operator==(const StatusLayout&) const = default;
};

// The layout of a call with textCount texts (1 to 3): 2:0:0 (panel 0 then
// the full width), 2:2:0, 2:3:3.
StatusLayout StatusLayoutFor(int textCount);

// Panel widths in pixels for a bar of barWidth: unit = barWidth / sum of the
// weights (integer division), each panel weight x unit; with
// panel0FullWidth panel 0 gets barWidth.
std::array<int, 3> StatusPanelWidths(const StatusLayout& layout, int barWidth);

// The geometry the column fit needs from the grid.
struct GridGeometry {
    int clientWidth = 0;  // the grid's client width
    int lineWidth = 1;    // width of one grid line between columns
    int padding = 8;      // added to the widest text of a column
    int minWidth = 24;    // no column starts narrower
};

// The fit of the column widths: with more than one column, the first (the
// key column, which does not scroll) is cut to half the client width, never
// below minWidth. Then, when the columns (widths plus one grid line each, at
// most the client width) occupy less than the client width, the rest divided
// by the column count is added to every column but the first; otherwise,
// when the widths sum to more than 1.3 x the client width, every column but
// the first becomes client width / column count. No columns: no widths.
std::vector<int> FitColumnWidths(std::vector<int> widths, const GridGeometry& geometry);

// Measures a text's width in the front end's font (a fake in tests).
using TextWidthMeasure = std::function<int(std::string_view text)>;

// The starting width of each column: its widest line of any cell (cells
// hold lines joined by CR LF) plus padding, at least minWidth; then fitted.
std::vector<int> GridResize(const ResultTable& table, const TextWidthMeasure& measure,
                            const GridGeometry& geometry);

// What ReportName becomes from a class (and object) name: ':' '\' '/' '*'
// '?' turned into blanks.
std::string ReportFileBaseName(std::string_view text);

class ReportRun {
public:
    // The hooks a front end sets; each may be left empty.
    struct Hooks {
        // Called by the head once the run has begun (the desktop shows the
        // Results tab and sets its output radio group from spec.Output).
        std::function<void(const ReportSpec& spec)> runStarted;
        // "A saved report exports at once": called by the tail when the body
        // offered the export and the current ReportSpec's OutputFile is not empty.
        // The exporter owns the rules (for files it empties OutputFile).
        std::function<void(ReportSpec& current)> exportAtOnce;
        // Called last in the tail: the front end fits its column widths
        // (GridResize) and redraws.
        std::function<void()> fitColumns;
        // Called after every ShowStatus with the panels' new proportions.
        std::function<void(const StatusLayout& layout)> statusLayoutChanged;
    };

    ReportRun(directory::DirectoryAccess& access, values::CellTextReader& reader,
              const settings::AppSettings& settings, platform::RunFeedback& feedback,
              const platform::TextCollator& collator);
    ReportRun(const ReportRun&) = delete;
    ReportRun& operator=(const ReportRun&) = delete;

    Hooks& RunHooks() { return hooks_; }

    // The one current ReportSpec; every way of starting a run fills some of its
    // fields and calls Rpt_run.
    ReportSpec& CurrentSpec() { return current_; }
    const ReportSpec& CurrentSpec() const { return current_; }

    // Runs one report from the current ReportSpec. Returns false, doing nothing,
    // when a run is already going (a second run must never share the table
    // and the contexts); true once the run has gone through its tail.
    bool Rpt_run();
    // Copies spec into the current ReportSpec first (a saved report, a report on
    // a grid cell); refused like Rpt_run() while a run is going.
    bool Rpt_run(const ReportSpec& spec);

    // Makes the run's ReadContext (name context spec.Container) and
    // SearchContext ("[Root]") on spec.TreeName, with the typeless setting,
    // and applies that setting to the contexts of spec.Tree. Stops at the
    // first failure, which stays in LastResult.
    client::Result Rpt_getContextHandle(ReportSpec& spec);

    // Status texts: one, two or three; kStatusKeep leaves a panel,
    // kStatusClear empties it; an empty last text counts as absent. Ends by
    // processing pending events.
    void ShowStatus(std::string_view text0);
    void ShowStatus(std::string_view text0, std::string_view text1);
    void ShowStatus(std::string_view text0, std::string_view text1, std::string_view text2);
    // The product's address, the current ReportSpec's tree and container.
    void ShowIdleStatus();
    // The address the idle status shows first (the front end's web site).
    void SetProductAddress(std::string address) { productAddress_ = std::move(address); }
    const StatusLayout& CurrentStatusLayout() const { return statusLayout_; }

    // While running: asks the ByType search to stop before its next entry.
    void RequestCancel() { feedback_.Cancel().Set(); }
    bool CancelRequested() const { return feedback_.Cancel().IsSet(); }
    bool ReportRunning() const { return running_; }
    // The last run was asked to stop before it ended: its rows are those
    // found until then, not the whole report.
    bool Stopped() const { return stopped_; }

    // The result of the latest directory call of the run itself (context
    // set-up, name and class reads, the search, the schema lists); the cell
    // reads keep theirs in the CellTextReader. 0 = success.
    client::Result LastResult() const { return lastResult_; }
    // The export of the table may be offered (ButtonSave).
    bool SaveEnabled() const { return saveEnabled_; }

    const std::string& ReportName() const { return reportName_; }
    void SetReportName(std::string name) { reportName_ = std::move(name); }
    // The folder of the last export or report file.
    const std::string& ReportPath() const { return reportPath_; }
    void SetReportPath(std::string path) { reportPath_ = std::move(path); }
    // The automatic export target: the current ReportSpec's OutputFile.
    const std::string& OutputFile() const { return current_.OutputFile; }

    ResultTable& Table() { return table_; }
    const ResultTable& Table() const { return table_; }
    // The object a single-object run read: its ObjectName resolved against
    // its Container, in full. Empty after any other run. The table's rows
    // belong to this object, whatever the ReportSpec's name says on its own.
    const std::string& ObjectFullName() const { return objectFullName_; }
    // After a by-type run that ended with No such class: the schema's own
    // spelling of a class it knows by that name in other letter case (which
    // the run, matching classes exactly, cannot find), else empty.
    const std::string& SchemaClassSpelling() const { return schemaClassSpelling_; }

    // The ByType step for one found entry (also usable by a front end's own
    // walk): forms the full name, applies the filter, adds and fills a row.
    void AddObjectRow(const std::string& searchBase, const directory::TNDSObj& entry);
    // Whether a read of this run failed because the server is gone or stopped
    // answering: every read after it would wait as long again.
    bool ServerLost() const;

private:
    void Head(ReportSpec& run);
    void Tail(ReportSpec& run);
    void ByObject(ReportSpec& run);
    void ByType(ReportSpec& run);
    void Schema(ReportSpec& run, bool classes);
    void ApplyStatus(int panel, std::string_view text);
    void EndStatus(int textCount);

    directory::DirectoryAccess& access_;
    values::CellTextReader& reader_;
    const settings::AppSettings& settings_;
    platform::RunFeedback& feedback_;
    const platform::TextCollator& collator_;
    Hooks hooks_;

    ReportSpec current_;
    ResultTable table_;
    client::Result lastResult_ = 0;
    bool running_ = false;
    bool stopped_ = false;
    bool saveEnabled_ = false;
    std::string reportName_;
    std::string objectFullName_;
    std::string schemaClassSpelling_;
    std::string reportPath_;
    std::string productAddress_;
    StatusLayout statusLayout_;

    // Shared with AddObjectRow during a ByType run.
    const ReportSpec* walkSpec_ = nullptr;
    size_t rowCounter_ = 0;
    // Set when a cell's read found the server gone and stopped the walk.
    bool serverLost_ = false;
};

}  // namespace vellrun::report
