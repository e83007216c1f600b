#pragma once

// What the person does with a filled results table: hide the rows without
// values, the results pop-up menu (as data: captions, enabled states, sort
// entries), sorting from that menu, the meaning of a cell for the detail
// dialog and the grid's hint, the status texts of a selected cell, a
// single-object report on the name in a cell, and deleting an object chosen
// in the object list.
//
// One per front end, beside its ReportRun; it holds references to the run,
// the directory access, the run feedback and the collator and owns none of
// them. It works on ReportRun::Table() in place and never draws: the front
// end redraws through the tableChanged hook. Messages go through the
// directory access's message port only.

#include "client/ClientTypes.h"
#include "directory/DirectoryAccess.h"
#include "platform/RunFeedback.h"
#include "platform/TextCollator.h"
#include "report/ReportRun.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellrun::report {

// One entry of the results pop-up menu. Captions keep "&" as the mnemonic
// marker, so an "&" that comes from a cell or a header is doubled.
struct PopupEntry {
    std::string caption;
    bool enabled = true;
    int tag = 0;  // sort entries: the column number

    bool operator==(const PopupEntry&) const = default;
};

// The results pop-up menu as prepared for the current cell.
struct ResultsPopup {
    PopupEntry reportOnSelected;
    std::vector<PopupEntry> sortEntries;  // "Sort Results ..." sub-menu, one per column
};

// What a cell stands for, by report kind, with what the attribute detail
// dialog needs besides the tree's context.
struct CellMeaning {
    std::string object;  // a single-object report's: the object the run read, in full
    std::string attribute;
    std::string value;
    // The column that holds the value: a single-object report's second
    // column, whichever of the row's two cells was chosen.
    size_t valueColumn = 0;
    std::string objectClass;  // the current ReportSpec's ObjectClass
    std::string container;    // the current ReportSpec's Container
};

// The object an entry of the object list names: the list's lines read
// "class: name", with the class name's length plus two as the line's number.
struct ObjectListEntry {
    std::string className;
    std::string objectName;
};

// The entry a selected object-list line names, or nothing when the number
// does not split the line (a number of 1 or less, or not below the length).
std::optional<ObjectListEntry> ParseObjectListLine(std::string_view line, long long number);

// The cell text read as hexadecimal character codes, when it is not empty and
// holds only 0-9, A-F, a-f and "|": consecutive pairs from the start (a last
// single character ignored); a pair that is no hexadecimal number or gives a
// code below 32 becomes "?", any other code its Windows-1252 character.
std::optional<std::string> HexCharacterText(std::string_view text);

// How a delete request ended.
enum class DeleteOutcome {
    Refused,   // a run is going, or no entry was selected
    Declined,  // the person answered no
    Deleted,
    Failed,  // the directory refused; the error box has been shown
};

class TableOperations {
public:
    struct Hooks {
        // Called after rows were removed or reordered; the desktop's model
        // over the table resets and the grid repaints.
        std::function<void()> tableChanged;
    };

    TableOperations(ReportRun& run, directory::DirectoryAccess& access,
                    platform::RunFeedback& feedback, const platform::TextCollator& collator);
    TableOperations(const TableOperations&) = delete;
    TableOperations& operator=(const TableOperations&) = delete;

    Hooks& OperationHooks() { return hooks_; }

    // "Hide &Empty Fields": from the last row up to the header row, removes
    // every row whose cells after the key column are all empty (with one
    // column, every row). Hidden rows come back only with a new run.
    void HideEmptyFields();

    // The pop-up menu for the grid's current cell.
    ResultsPopup PreparePopup(size_t column, size_t row) const;

    // A sort entry chosen: OrderBy becomes the column (kept by a report saved
    // afterwards) and the rows below the header are sorted by it. With
    // progress, a large table shows how far the sort is there and the
    // person may stop it: then the rows and OrderBy stay as they were and
    // the result is false.
    bool SortByColumn(size_t column, platform::RunFeedback* progress = nullptr);

    // The cell's object, attribute and value: in a single-object report the
    // object is the report spec's ObjectName and the attribute the row's key; in
    // every other kind the object is the row's key and the attribute the
    // column's header.
    CellMeaning MeaningOf(size_t column, size_t row) const;
    // The grid's hint for a clicked cell: object, attribute, an empty line, value.
    std::string CellHint(size_t column, size_t row) const;

    // A new cell selected: the row's key and the cell's first 200 characters
    // in the status bar, with the hexadecimal reading as a third text when
    // there is one.
    void ShowSelectedCell(size_t column, size_t row);

    // "Report on selected object": reads the information of the object named
    // in the cell through treeContext (the current tree's context) and, when
    // that succeeds, runs a single-object report on it from "[Root]" (TreeName,
    // OrderBy and OutputFile unchanged). A failed read, or a run already
    // going, leaves everything as it was. Returns whether the report ran.
    bool ReportOnSelectedObject(size_t column, size_t row, client::ContextHandle treeContext);

    // "Delete Object" on the object list's selected line (nothing = none
    // selected). Asks first, default no; the name is made absolute against
    // treeContext before the removal. Success and failure are told through
    // the message port. A removal whose outcome the server left unknown
    // counts as made when the object is not there any more. The object list
    // itself is not touched: its entry stays until the container is listed
    // again.
    DeleteOutcome DeleteObject(const std::optional<ObjectListEntry>& selected,
                               client::ContextHandle treeContext);

    static constexpr std::string_view kSelectOneObject = "First, select one object";

private:
    void NotifyChanged();

    ReportRun& run_;
    directory::DirectoryAccess& access_;
    platform::RunFeedback& feedback_;
    const platform::TextCollator& collator_;
    Hooks hooks_;
};

}  // namespace vellrun::report
