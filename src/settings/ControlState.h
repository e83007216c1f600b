#pragma once

// The remembered state of a whole tree of controls, kept in the INI file
// under the controls' names: a plain record of each control's kind and
// value, and the walk that saves and restores such a tree. The front end
// copies its widgets into the record before a save and back after a restore;
// this code knows nothing of widgets.
//
// Key layout, for a control named N in section S:
//   edit, drop-down list, spin edit, radio group, track bar, check box:
//     key N in S (text, value, selected index, position, "1"/"0")
//   editable combo box: its history in section "History N"
//   check list box: section "N S", one key per item text, "1" or "0"
//   memo (not read-only): section "N S", keys "0", "1", ... the lines
//   name-value list: "N.Count" in S, the lines as a memo in "N S"
//   string grid: section "N S": "RowCount", "ColCount", "FixedRows",
//     "FixedCols", then "Cell.c.r" for every column c and row r
//   form: the section becomes "N S" and the form's bounds go there first
//   every named control: its size is read back from "N.Width" and "N.Height"
//   (the panes beside a splitter are written so by SaveSplitterSizes)
// Free functions over the caller's file and cache; no state of its own.

#include "platform/IniFile.h"
#include "settings/ComboHistory.h"
#include "settings/SectionCache.h"
#include "settings/SettingsStore.h"
#include "settings/WindowState.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vellrun::settings {

enum class ControlKind {
    Other,  // a panel or any control whose own value is not kept
    Form,
    Edit,
    EditableCombo,
    DropDownCombo,
    SpinEdit,
    RadioGroup,
    TrackBar,
    CheckBox,
    CheckList,
    Memo,
    NameValueList,
    StringGrid,
};

// The cells of a string grid, cells[column][row].
struct GridState {
    int rowCount = 0;
    int colCount = 0;
    int fixedRows = 0;
    int fixedCols = 0;
    std::vector<std::vector<std::string>> cells;

    bool operator==(const GridState&) const = default;
};

struct ControlState {
    ControlKind kind = ControlKind::Other;
    std::string name;  // empty: not kept itself, its children still are

    std::string text;                                 // edit, drop-down list
    std::vector<std::string> dropDownItems;           // drop-down list: the entries it offers
    ComboHistory history;                             // editable combo box
    int value = 0;                                    // spin edit, radio index, track bar
    bool checked = false;                             // check box
    std::vector<std::pair<std::string, bool>> items;  // check list box
    std::vector<std::string> lines;                   // memo, name-value list
    bool readOnly = false;                            // a read-only memo is not kept
    GridState grid;                                   // string grid
    WindowBounds bounds;                              // form
    int width = 0;
    int height = 0;

    // The panes beside the splitters among the children (saved with them).
    std::vector<PaneSize> splitterPanes;
    std::vector<ControlState> children;

    bool operator==(const ControlState&) const = default;
};

// "N S": the sub-section of a control.
std::string ControlSubSection(std::string_view name, std::string_view section);
// "History N".
std::string HistorySectionName(std::string_view name);
// "Cell.c.r".
std::string GridCellKey(int column, int row);

// Saves the control and its children; stops at the first failing write and
// returns it.
IniStatus SaveControlState(platform::IniFile& file, SectionCache& cache, std::string_view section,
                           const ControlState& control);
// Restores the control and its children, each value read with its current
// value as default, so that a missing key changes nothing (a check list whose
// sub-section is missing ends up empty, as it was saved with no items).
void RestoreControlState(const platform::IniFile& file, SectionCache& cache,
                         std::string_view section, ControlState& control);

}  // namespace vellrun::settings
