#pragma once

// Running a saved report file in a window, as one operation: load the file
// over the current ReportSpec, set up a tree record for the file's tree (its
// contexts and its classes), let the window show the report's class and
// ticks, run, and tell the caller how it went so that an unattended start
// ("report=FILE quit") can end with the right status. A file that cannot run
// shows "Invalid Report File: " and its name.
//
// A free function over the caller's run, directory access and tree record
// (the window owns the record for as long as it is the current tree). The
// automatic export belongs to the run's export hook, which the window sets.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "directory/TTreeInfo.h"
#include "platform/StringList.h"
#include "report/ReportRun.h"
#include "report/ReportSpec.h"

#include <filesystem>
#include <functional>
#include <string>

namespace vellrun::report {

struct CannedReportOutcome {
    enum class Status {
        Ran,         // the report ran (see lastResult)
        Invalid,     // the file was refused; its message box was shown
        TreeFailed,  // the file's tree could not be opened; nothing ran
        Busy,        // another run was going; nothing was loaded
    };
    Status status = Status::Invalid;
    client::Result lastResult = 0;  // the run's, when it ran
    std::string reason;             // why the file was refused, for the person

    bool Succeeded() const { return status == Status::Ran && lastResult == 0; }
};

// prepareWindow (may be empty) is called with the loaded spec once its tree
// record is set up and before the run: the window selects the class, refills
// its checklist and ticks the report spec's attributes.
CannedReportOutcome OpenCannedReport(ReportRun& run, directory::DirectoryAccess& access,
                                     directory::TTreeInfo& treeRecord,
                                     const std::filesystem::path& file, bool typeless,
                                     const std::function<void(const ReportSpec&)>& prepareWindow);

// "(the connected trees: A, B)", or "(no tree is connected)": said after a
// tree that is not among them, so that a slip in its name shows.
std::string ConnectedTreesNote(const platform::StringList& trees);

// What a report that ran to its end says when it exports nothing, after the
// program's name: its run found no row, or (a saved report) it names no
// output file. Empty when there is something to export to a file.
std::string NothingExportedNotice(const ReportRun& run);

}  // namespace vellrun::report
