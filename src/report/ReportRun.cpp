#include "report/ReportRun.h"

#include "directory/ClassDefinitionInfo.h"
#include "directory/DirectoryNames.h"
#include "platform/StringList.h"
#include "report/ResultFilter.h"
#include "report/SchemaReports.h"
#include "report/TableUtilities.h"
#include "values/SchemaDefinitions.h"

#include <algorithm>
#include <exception>
#include <new>
#include <numeric>
#include <utility>

namespace vellrun::report {

namespace {

using client::Result;

constexpr std::string_view kRootName = "[Root]";
constexpr std::string_view kObjectClassAttribute = "Object Class";
// ListClassDefinition: naming, mandatory and optional attribute names together.
constexpr int kAllAttributeLists = 5;

// The lines of a cell (CR LF between them).
std::vector<std::string_view> CellLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (true) {
        const size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

}  // namespace

// --- Status bar and grid arithmetic --------------------------------------------

StatusLayout StatusLayoutFor(int textCount) {
    switch (textCount) {
        case 1: return StatusLayout{1, {2, 0, 0}, true};
        case 2: return StatusLayout{2, {2, 2, 0}, false};
        default: return StatusLayout{3, {2, 3, 3}, false};
    }
}

std::array<int, 3> StatusPanelWidths(const StatusLayout& layout, int barWidth) {
    const int sum = layout.weights[0] + layout.weights[1] + layout.weights[2];
    const int unit = sum > 0 ? barWidth / sum : 0;
    std::array<int, 3> widths{};
    for (size_t i = 0; i < widths.size(); ++i)
        widths[i] = layout.weights[i] * unit;
    if (layout.panel0FullWidth) widths[0] = barWidth;
    return widths;
}

std::vector<int> FitColumnWidths(std::vector<int> widths, const GridGeometry& geometry) {
    if (widths.empty()) return widths;
    // The key column stays in place while the others scroll past it: wider
    // than half the client, it would leave them too little room to be seen.
    if (widths.size() > 1)
        widths[0] = std::min(widths[0], std::max(geometry.clientWidth / 2, geometry.minWidth));
    const long long count = static_cast<long long>(widths.size());
    const long long client = geometry.clientWidth;
    const long long sum = std::accumulate(widths.begin(), widths.end(), 0LL);
    const long long occupied = std::min(client, sum + count * geometry.lineWidth);
    if (occupied < client) {
        const int extra = static_cast<int>((client - occupied) / count);
        for (size_t i = 1; i < widths.size(); ++i)
            widths[i] += extra;
    } else if (static_cast<double>(sum) > 1.3 * static_cast<double>(client)) {
        // Never narrower than a column may start: more columns than the
        // client has pixels would all be 0 wide and could not be scrolled to.
        const int each = std::max(static_cast<int>(client / count), geometry.minWidth);
        for (size_t i = 1; i < widths.size(); ++i)
            widths[i] = each;
    }
    return widths;
}

std::vector<int> GridResize(const ResultTable& table, const TextWidthMeasure& measure,
                            const GridGeometry& geometry) {
    std::vector<int> widths(table.ColCount(), geometry.minWidth);
    for (const std::vector<std::string>& row : table.Rows()) {
        for (size_t column = 0; column < row.size() && column < widths.size(); ++column) {
            for (std::string_view line : CellLines(row[column]))
                widths[column] = std::max(widths[column], measure(line) + geometry.padding);
        }
    }
    return FitColumnWidths(std::move(widths), geometry);
}

std::string ReportFileBaseName(std::string_view text) {
    std::string name(text);
    for (char& c : name) {
        if (c == ':' || c == '\\' || c == '/' || c == '*' || c == '?') c = ' ';
    }
    return name;
}

// --- The run ---------------------------------------------------------------------

ReportRun::ReportRun(directory::DirectoryAccess& access, values::CellTextReader& reader,
                     const settings::AppSettings& settings, platform::RunFeedback& feedback,
                     const platform::TextCollator& collator)
    : access_(access),
      reader_(reader),
      settings_(settings),
      feedback_(feedback),
      collator_(collator) {}

bool ReportRun::Rpt_run(const ReportSpec& spec) {
    if (running_) return false;
    current_ = spec;
    return Rpt_run();
}

bool ReportRun::Rpt_run() {
    if (running_) return false;
    // The run works on its own copy: pending events may change the current
    // ReportSpec while it runs. OrderBy and OutputFile are read from the current
    // ReportSpec again in the tail.
    ReportSpec run = current_;
    Head(run);
    if (lastResult_ == 0) {
        // A body that throws ends there; what it wrote stays and the tail
        // runs, with a result that says the run did not end well (the rows
        // alone would pass for a whole report, and be exported as one).
        try {
            switch (run.Kind) {
                case ReportKind::ByObject: ByObject(run); break;
                case ReportKind::ByType: ByType(run); break;
                case ReportKind::SchemaClasses: Schema(run, true); break;
                case ReportKind::SchemaAttributes: Schema(run, false); break;
            }
        } catch (const std::bad_alloc&) {
            lastResult_ = client::Err::NotEnoughMemory;
        } catch (...) {
            lastResult_ = client::Err::Fatal;
        }
    }
    Tail(run);
    return true;
}

void ReportRun::Head(ReportSpec& run) {
    feedback_.PushBusyCursor();
    running_ = true;
    lastResult_ = 0;
    saveEnabled_ = false;
    feedback_.Cancel().Clear();
    reader_.ResetLastResult();
    // Entry times cached from an earlier run may predate a change since.
    reader_.ForgetEntryInformation();
    ShowIdleStatus();
    Rpt_getContextHandle(run);
    report::ClearTable(table_);
    objectFullName_.clear();
    if (hooks_.runStarted) hooks_.runStarted(run);
}

void ReportRun::Tail(ReportSpec& run) {
    // A cancel that comes later (while the rows are sorted or exported, or
    // in the last events) stops nothing of the run any more.
    stopped_ = feedback_.Cancel().IsSet();
    try {
        // A run that an error ended shows what it found like a whole run
        // would; the status bar says that it did not end well.
        if (lastResult_ != 0 && !feedback_.Cancel().IsSet()) {
            ShowStatus("The directory returned error " + access_.DSErrorText(lastResult_),
                       current_.TreeName, current_.Container);
        } else {
            ShowIdleStatus();
        }
    } catch (...) {
    }
    table_.SetFixedCols(table_.ColCount() > 1 ? 1 : 0);
    table_.SetFixedRows(table_.RowCount() > 1 ? 1 : 0);
    try {
        const int32_t orderBy = current_.OrderBy;
        if (orderBy >= 0 && static_cast<size_t>(orderBy) < table_.ColCount())
            report::SortTableByColumn(table_, static_cast<size_t>(orderBy), collator_, &feedback_);
        if (saveEnabled_ && !current_.OutputFile.empty() && hooks_.exportAtOnce)
            hooks_.exportAtOnce(current_);
    } catch (...) {
        // Neither a failed sort nor a failed export may keep the contexts or
        // the running flag.
    }
    for (client::ContextHandle* context : {&run.ReadContext, &run.SearchContext}) {
        if (*context != client::ContextHandle{}) access_.Client().FreeContext(*context);
        *context = client::ContextHandle{};
    }
    feedback_.PopBusyCursor();
    try {
        if (hooks_.fitColumns) hooks_.fitColumns();
        // Still running while these last events are handled: the window's
        // button still says Cancel, and a click on it now must stop nothing
        // rather than start the next run.
        feedback_.ProcessPendingEvents();
    } catch (...) {
    }
    running_ = false;
    // The cancel request belonged to this run; the next one starts clean.
    feedback_.Cancel().Clear();
}

Result ReportRun::Rpt_getContextHandle(ReportSpec& spec) {
    client::DirectoryClient& client = access_.Client();
    spec.ReadContext = client::ContextHandle{};
    spec.SearchContext = client::ContextHandle{};
    // The first failure ends the set-up: a run must not go on with a
    // context that a later success would hide.
    auto step = [this](Result result) {
        lastResult_ = result;
        return result == 0;
    };
    const bool ready =
        step(client.CreateContext(spec.ReadContext)) &&
        step(access_.DSSetContext(spec.ReadContext, spec.TreeName, spec.Container)) &&
        step(access_.DSSetTypeless(spec.ReadContext, settings_.TypelessNames)) &&
        step(client.CreateContext(spec.SearchContext)) &&
        step(access_.DSSetContext(spec.SearchContext, spec.TreeName, kRootName)) &&
        step(access_.DSSetTypeless(spec.SearchContext, settings_.TypelessNames));
    if (ready && spec.Tree != nullptr && spec.Tree->HoldsContexts())
        access_.SetTreeTypeless(*spec.Tree, settings_.TypelessNames);
    return lastResult_;
}

void ReportRun::ByObject(ReportSpec& run) {
    reportName_ = ReportFileBaseName(run.ObjectClass + " " + run.ObjectName);
    const std::string object =
        directory::DSFullName(access_.DSResolveName(run.ReadContext, run.ObjectName));
    objectFullName_ = object;

    Result result = 0;
    const std::string classText =
        access_.DSReadColumnText(run.ReadContext, object, kObjectClassAttribute, &result);
    lastResult_ = result;
    if (result == client::Err::TransportFailure) return;
    std::vector<std::string> classes;
    if (result == 0) {
        for (std::string_view line : CellLines(classText))
            if (!line.empty()) classes.emplace_back(line);
    } else {
        classes.push_back(run.ObjectClass);
    }

    ShowStatus("Get Schema");
    platform::StringList names;
    for (const std::string& className : classes)
        values::ListClassDefinition(access_, run.ReadContext, className, kAllAttributeLists, names,
                                    false);
    std::vector<std::string> sorted = names.Texts();
    for (std::string_view dsi : values::CellTextReader::kDsiNames)
        sorted.emplace_back(dsi);
    // In the order of the program's sorted lists, each name once: names the
    // collation alone holds equal ("Maße", "Masse") are two attributes.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [this](const auto& a, const auto& b) { return collator_.Order(a, b) < 0; });
    sorted.erase(std::unique(sorted.begin(), sorted.end(),
                             [](const auto& a, const auto& b) {
                                 return platform::StringList::CompareText(a, b) == 0;
                             }),
                 sorted.end());

    table_.Resize(2, sorted.size() + 1);
    table_.SetCell(0, 0, "Attribute Name");
    table_.SetCell(1, 0, "Value");
    for (size_t i = 0; i < sorted.size(); ++i)
        table_.SetCell(0, i + 1, sorted[i]);
    for (size_t row = 1; row < table_.RowCount(); ++row) {
        const std::string name = table_.Cell(0, row);
        ShowStatus("Read Attributes", name);
        table_.SetCell(1, row, reader_.GetAttrValue(run.ReadContext, object, name));
        // The attributes read so far stay; the rest would each wait for the
        // lost server in vain.
        if (ServerLost()) {
            lastResult_ = client::Err::TransportFailure;
            break;
        }
    }
    saveEnabled_ = true;
}

void ReportRun::ByType(ReportSpec& run) {
    reportName_ = ReportFileBaseName(run.ObjectClass);
    walkSpec_ = &run;
    rowCounter_ = 0;
    serverLost_ = false;
    // Only the header row: rows of an earlier, longer run must not linger
    // as empty rows below this run's.
    table_.Resize(run.Attributes.size() + 1, 1);
    table_.SetCell(0, 0, "DN");
    for (size_t i = 0; i < run.Attributes.size(); ++i)
        table_.SetCell(i + 1, 0, run.Attributes[i]);

    // An exception while one entry is handled ends the whole search. It is
    // caught inside the walk and turned into a stop request, so that the
    // listing frees its cursor on the way out.
    std::exception_ptr failure;
    bool found = false;  // an object of the class, whether or not the filters kept it
    const auto onEntry = [&](const std::string& container, const directory::TNDSObj& cursor) {
        found = true;
        if (failure) return;
        try {
            AddObjectRow(container, cursor);
        } catch (...) {
            failure = std::current_exception();
            feedback_.Cancel().Set();
        }
    };
    Result result = access_.DSWalkContainer(run.SearchContext, run.Container, run.Recursive,
                                            feedback_.Cancel(), onEntry, run.ObjectClass);
    walkSpec_ = nullptr;
    // A class the tree's schema does not know finds nothing and says so: the
    // run would otherwise pass for one that found no such object today. So
    // does one the schema knows only in other letter case, which the walk,
    // matching classes exactly, never finds. (A dump served without its
    // schema may hold objects of a class it does not define: one found is
    // proof enough that the class is there.)
    schemaClassSpelling_.clear();
    if (result == 0 && !found && !feedback_.Cancel().IsSet() && !run.ObjectClass.empty() &&
        run.ObjectClass != "*") {
        std::string spelling;
        const Result known = access_.DSReadClassDefs(
            run.SearchContext, client::ClassInfoKind::NamesAndRecord, run.ObjectClass,
            client::kReadReplySize,
            [&spelling](const directory::ClassDefinitionInfo& info) { spelling = info.name; });
        if (known == client::Err::NoSuchClass) {
            result = client::Err::NoSuchClass;
        } else if (known == 0 && !spelling.empty() && spelling != run.ObjectClass) {
            result = client::Err::NoSuchClass;
            schemaClassSpelling_ = spelling;
        }
    }
    // The walk was stopped for the lost server, not by the person: the run
    // ends with the server's failure, which the status bar tells.
    if (serverLost_) {
        feedback_.Cancel().Clear();
        result = client::Err::TransportFailure;
    }
    if (failure) {
        feedback_.Cancel().Clear();
        saveEnabled_ = rowCounter_ > 0;
        std::rethrow_exception(failure);
    }
    lastResult_ = result;
    ShowIdleStatus();
    saveEnabled_ = rowCounter_ > 0;
}

void ReportRun::AddObjectRow(const std::string& searchBase, const directory::TNDSObj& entry) {
    if (walkSpec_ == nullptr) return;
    const ReportSpec& run = *walkSpec_;
    // The walk names each level in full, with its leading dot; the DN column
    // composes the entry with the search base as the report spec spells it,
    // so a container given without the dot gives names without one.
    const bool dotted = run.Container.empty() || run.Container.front() == '.' ||
                        directory::DSIsSpecialName(run.Container);
    const std::string dn = directory::DSComposeName(
        dotted ? searchBase : directory::DSStripDot(searchBase), entry.entryName);
    // Read through the full name: the read context's name context is the
    // container, which a name without its dot would be taken relative to.
    const std::string name = directory::DSFullName(dn);
    // A read that found the server gone stops the walk (through the cancel
    // flag, which the listing checks before its next entry) unless the
    // person stopped it already: a read given up by Cancel fails the same way.
    const auto stopWhenLost = [this] {
        if (!ServerLost()) return false;
        if (!feedback_.Cancel().IsSet()) {
            serverLost_ = true;
            feedback_.Cancel().Set();
        }
        return true;
    };
    const bool passes = PassesFilters(reader_, run.ReadContext, name, run.Filtered, run.Filters);
    if (stopWhenLost() || !passes) return;

    const size_t row = ++rowCounter_;
    table_.SetRowCount(row + 1);
    table_.SetCell(0, row, dn);
    ShowStatus(kStatusKeep, dn, kStatusClear);
    for (size_t i = 0; i < run.Attributes.size(); ++i) {
        table_.SetCell(i + 1, row, reader_.GetAttrValue(run.ReadContext, name, run.Attributes[i]));
        if (stopWhenLost()) return;
    }
}

bool ReportRun::ServerLost() const {
    return reader_.LastResult() == client::Err::TransportFailure;
}

void ReportRun::Schema(ReportSpec& run, bool classes) {
    ReportBodyOutcome outcome;
    // The outcome tells how far the body got, also when it throws.
    struct Keep {
        ReportRun& self;
        ReportBodyOutcome& outcome;
        ~Keep() {
            if (!outcome.reportName.empty()) self.reportName_ = outcome.reportName;
            self.lastResult_ = outcome.lastResult;
            self.saveEnabled_ = outcome.saveEnabled;
        }
    } keep{*this, outcome};
    if (classes)
        SchemaClassesReport(access_, run.SearchContext, run.TreeName, table_, outcome);
    else
        SchemaAttributesReport(access_, run.SearchContext, run.TreeName, table_, outcome);
}

// --- Status ----------------------------------------------------------------------

void ReportRun::ApplyStatus(int panel, std::string_view text) {
    if (text == kStatusKeep) return;
    feedback_.SetStatus(panel, text == kStatusClear ? std::string_view{} : text);
}

void ReportRun::EndStatus(int textCount) {
    statusLayout_ = StatusLayoutFor(textCount);
    if (hooks_.statusLayoutChanged) hooks_.statusLayoutChanged(statusLayout_);
    feedback_.ProcessPendingEvents();
}

void ReportRun::ShowStatus(std::string_view text0) {
    ApplyStatus(0, text0);
    feedback_.SetStatus(1, {});
    EndStatus(1);
}

void ReportRun::ShowStatus(std::string_view text0, std::string_view text1) {
    if (text1.empty()) return ShowStatus(text0);
    ApplyStatus(0, text0);
    ApplyStatus(1, text1);
    feedback_.SetStatus(2, {});
    EndStatus(2);
}

void ReportRun::ShowStatus(std::string_view text0, std::string_view text1, std::string_view text2) {
    if (text2.empty()) return ShowStatus(text0, text1);
    ApplyStatus(0, text0);
    ApplyStatus(1, text1);
    ApplyStatus(2, text2);
    EndStatus(3);
}

void ReportRun::ShowIdleStatus() {
    ShowStatus(productAddress_, current_.TreeName, current_.Container);
}

}  // namespace vellrun::report
