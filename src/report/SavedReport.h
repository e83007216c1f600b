#pragma once

// Saved report files: the parameters of an object report kept in a small INI
// file ("*.rpt") and run again later, from the menu or unattended from the
// command line. SavedReport stores and loads a ReportSpec; it asks nobody
// anything and sets up no tree (the caller owns the dialogs, the tree record
// and the run). Stateless.
//
// File layout, in the order a store writes the keys:
//   [General]    Container, Tree, "Report Type" (decimal), Recursive (ByType)
//   [Output]     Type (decimal OutputType), File, OrderBy (decimal)
//   [Object]     Name (ByObject only), Type (always, written last)
//   [Attributes] "0", "1", ... one attribute name each (ByType only)
//   [Filter]     Filtered, then for N = 1..3 "Filter Attr N", "Filter N",
//                "Mode N" (ByType only)
// Booleans are written "1" and "0" and read as true for any non-zero integer.
// A value with a blank at an end, or enclosed in double quotation marks, is
// written enclosed in quotation marks, so that every value reads back as it
// was stored; a value with a line break (a lone CR or LF included) cannot be
// kept in a line and is refused. Only a regular file is read: a FIFO, a
// device or a folder is refused with a message instead of hanging the run.

#include "platform/FileStatus.h"
#include "report/ReportSpec.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::report {

class SavedReport {
public:
    // Writes the report spec's keys into file. Keys of an existing file that this
    // store does not write stay in it. The file is read once, the keys are
    // applied to its text in memory and the finished text replaces the file
    // as a whole, so a failure anywhere reports the error (naming the file)
    // and leaves any previous file whole.
    static platform::FileStatus Store(const ReportSpec& spec, const std::filesystem::path& file);

    struct LoadResult {
        // The loaded spec: current with the fields named by the file
        // overwritten (Tree and the contexts untouched). Set only when valid.
        std::optional<ReportSpec> spec;
        // "Invalid Report File: " and the file name, for the message box;
        // ok when the load succeeded.
        platform::FileStatus status;
        // What is wrong with the file, for the person who edits it.
        std::string reason;
        bool ok() const { return spec.has_value(); }
    };

    // Reads file over a copy of current. A file that cannot be read, that
    // lacks its [General] section, holds a number that is not decimal text,
    // names an unknown report kind or output type, has an attribute line
    // without a key or a name, or breaks the validity rule is refused:
    // current is never touched, so a refused load loses nothing.
    static LoadResult Load(const std::filesystem::path& file, const ReportSpec& current);

    // Why the report spec cannot run from a file, or empty when it can: the kind is
    // ByObject or ByType; tree, container and object class are set; ByObject
    // names its object; ByType lists at least one attribute.
    static std::string ValidityProblem(const ReportSpec& spec);
};

// What the command line asks of a saved report: the report option's value
// (the file to run; empty when absent or given empty) and the quit switch.
struct ReportCommandLine {
    std::string reportFile;
    bool quit = false;

    bool operator==(const ReportCommandLine&) const = default;
};

// The switch rules of the command line, which the console shares. An
// argument loses its leading switch characters: "/" and "\", the traditional
// ones, and "-", as a Linux command line writes a switch.
std::string_view WithoutSwitchCharacters(std::string_view argument);
// The quit switch: without its switch characters, a non-empty prefix of
// "quit" in any ASCII case ("q", "qu", "QUI", "/quit", "--quit").
bool IsQuitSwitch(std::string_view argument);
// The report option's value: when argument holds "=" and the part before it,
// without its switch characters, is a non-empty prefix of "report" in any
// ASCII case ("/REPORT=", "report=", "r=", "--rep="), everything after the
// first "=" as the program received it; otherwise nothing.
std::optional<std::string> ReportOptionValue(std::string_view argument);

// Reads the program's arguments (without the program name) by those rules:
// quit when any argument is the quit switch; the report file is the value of
// the first report option.
ReportCommandLine ParseReportCommandLine(const std::vector<std::string>& arguments);

}  // namespace vellrun::report
