#include "settings/ControlState.h"

#include "platform/StringList.h"

#include <algorithm>
#include <cstdio>

namespace vellrun::settings {

namespace {

using platform::IniFile;

std::string Key(std::string_view name, std::string_view suffix) {
    return std::string(name) + std::string(suffix);
}

IniStatus SaveLines(IniFile& file, SectionCache& cache, std::string_view section,
                    const std::vector<std::string>& lines) {
    platform::StringList list;
    for (const std::string& line : lines)
        list.Add(line);
    return SaveStringsSection(file, cache, section, list, false);
}

void LoadLines(const IniFile& file, std::string_view section, std::vector<std::string>& lines) {
    platform::StringList list;
    for (const std::string& line : lines)
        list.Add(line);
    LoadStringsSection(file, section, list, false);
    lines = list.Texts();
}

IniStatus SaveGrid(IniFile& file, SectionCache& cache, const std::string& sub,
                   const GridState& grid) {
    IniStatus status = file.EraseSection(CleanIniName(sub));
    cache.AfterErase(file, CleanIniName(sub));
    if (!status.ok()) return status;
    const std::pair<std::string_view, int> counts[] = {{"RowCount", grid.rowCount},
                                                       {"ColCount", grid.colCount},
                                                       {"FixedRows", grid.fixedRows},
                                                       {"FixedCols", grid.fixedCols}};
    for (const auto& [key, value] : counts) {
        status = IniWriteInteger(file, cache, sub, key, value);
        if (!status.ok()) return status;
    }
    for (int c = 0; c < grid.colCount; ++c) {
        for (int r = 0; r < grid.rowCount; ++r) {
            const bool held = static_cast<size_t>(c) < grid.cells.size() &&
                              static_cast<size_t>(r) < grid.cells[static_cast<size_t>(c)].size();
            const std::string& text =
                held ? grid.cells[static_cast<size_t>(c)][static_cast<size_t>(r)] : std::string();
            status = IniWriteString(file, cache, sub, GridCellKey(c, r), text);
            if (!status.ok()) return status;
        }
    }
    return {};
}

void RestoreGrid(const IniFile& file, SectionCache& cache, const std::string& sub,
                 GridState& grid) {
    grid.rowCount = std::max(0, CachedReadInteger(file, cache, sub, "RowCount", grid.rowCount));
    grid.colCount = std::max(0, CachedReadInteger(file, cache, sub, "ColCount", grid.colCount));
    grid.fixedRows = CachedReadInteger(file, cache, sub, "FixedRows", grid.fixedRows);
    grid.fixedCols = CachedReadInteger(file, cache, sub, "FixedCols", grid.fixedCols);
    grid.cells.resize(static_cast<size_t>(grid.colCount));
    for (int c = 0; c < grid.colCount; ++c) {
        auto& column = grid.cells[static_cast<size_t>(c)];
        column.resize(static_cast<size_t>(grid.rowCount));
        for (int r = 0; r < grid.rowCount; ++r) {
            std::string& cell = column[static_cast<size_t>(r)];
            // An empty stored cell is a cell that was empty, not a missing one.
            if (auto stored = file.ReadValue(CleanIniName(sub), GridCellKey(c, r))) cell = *stored;
        }
    }
}

}  // namespace

std::string ControlSubSection(std::string_view name, std::string_view section) {
    return std::string(name) + " " + std::string(section);
}

std::string HistorySectionName(std::string_view name) {
    return "History " + std::string(name);
}

std::string GridCellKey(int column, int row) {
    char key[40];
    std::snprintf(key, sizeof key, "Cell.%d.%d", column, row);
    return key;
}

IniStatus SaveControlState(IniFile& file, SectionCache& cache, std::string_view sectionIn,
                           const ControlState& control) {
    std::string section(sectionIn);
    IniStatus status;
    if (control.kind == ControlKind::Form) {
        section = ControlSubSection(control.name, sectionIn);
        status = SaveBounds(file, cache, section, control.name, control.bounds);
        if (!status.ok()) return status;
    }
    if (!control.name.empty()) {
        const std::string& name = control.name;
        const std::string sub = ControlSubSection(name, section);
        switch (control.kind) {
            case ControlKind::Edit:
            case ControlKind::DropDownCombo:
                status = IniWriteString(file, cache, section, name, control.text);
                break;
            case ControlKind::EditableCombo: {
                ComboHistory history = control.history;
                status = SaveComboHistory(file, cache, HistorySectionName(name), history);
                break;
            }
            case ControlKind::SpinEdit:
            case ControlKind::RadioGroup:
            case ControlKind::TrackBar:
                status = IniWriteInteger(file, cache, section, name, control.value);
                break;
            case ControlKind::CheckBox:
                status = IniWriteBool(file, cache, section, name, control.checked);
                break;
            case ControlKind::CheckList:
                status = file.EraseSection(CleanIniName(sub));
                cache.AfterErase(file, CleanIniName(sub));
                for (const auto& [item, ticked] : control.items) {
                    if (!status.ok()) break;
                    status = IniWriteString(file, cache, sub, item, ticked ? "1" : "0");
                }
                break;
            case ControlKind::Memo:
                if (!control.readOnly) status = SaveLines(file, cache, sub, control.lines);
                break;
            case ControlKind::NameValueList:
                status = IniWriteInteger(file, cache, section, Key(name, ".Count"),
                                         static_cast<int>(control.lines.size()));
                if (status.ok()) status = SaveLines(file, cache, sub, control.lines);
                break;
            case ControlKind::StringGrid: status = SaveGrid(file, cache, sub, control.grid); break;
            case ControlKind::Form:
            case ControlKind::Other: break;
        }
        if (!status.ok()) return status;
    }
    for (const ControlState& child : control.children) {
        status = SaveControlState(file, cache, section, child);
        if (!status.ok()) return status;
    }
    if (!control.splitterPanes.empty())
        status = SaveSplitterSizes(file, cache, section, control.splitterPanes);
    return status;
}

void RestoreControlState(const IniFile& file, SectionCache& cache, std::string_view sectionIn,
                         ControlState& control) {
    std::string section(sectionIn);
    if (control.kind == ControlKind::Form) {
        section = ControlSubSection(control.name, sectionIn);
        RestoreBounds(file, cache, section, control.name, control.bounds);
    }
    if (!control.name.empty()) {
        const std::string& name = control.name;
        const std::string sub = ControlSubSection(name, section);
        control.width = CachedReadInteger(file, cache, section, Key(name, ".Width"), control.width);
        control.height =
            CachedReadInteger(file, cache, section, Key(name, ".Height"), control.height);
        switch (control.kind) {
            case ControlKind::Edit:
                control.text = CachedReadString(file, cache, section, name, control.text);
                break;
            case ControlKind::DropDownCombo: {
                const std::string wanted =
                    file.ReadString(CleanIniName(section), CleanIniName(name), control.text);
                const bool offered =
                    std::find(control.dropDownItems.begin(), control.dropDownItems.end(), wanted) !=
                    control.dropDownItems.end();
                control.text = offered ? wanted : std::string();
                cache.Remember(file, CleanIniName(section), CleanIniName(name), control.text);
                break;
            }
            case ControlKind::EditableCombo: {
                const std::string current = file.ReadString(
                    CleanIniName(section), CleanIniName(name), control.history.text);
                RestoreComboHistory(file, HistorySectionName(name), current, control.history);
                break;
            }
            case ControlKind::SpinEdit:
            case ControlKind::RadioGroup:
            case ControlKind::TrackBar:
                control.value = CachedReadInteger(file, cache, section, name, control.value);
                break;
            case ControlKind::CheckBox:
                control.checked = CachedReadBool(file, cache, section, name, control.checked);
                break;
            case ControlKind::CheckList:
                control.items.clear();
                for (const auto& [item, value] : file.ReadSection(CleanIniName(sub)))
                    control.items.emplace_back(item, value == "1");
                break;
            case ControlKind::Memo: LoadLines(file, sub, control.lines); break;
            case ControlKind::NameValueList: {
                LoadLines(file, sub, control.lines);
                const int count = CachedReadInteger(file, cache, section, Key(name, ".Count"),
                                                    static_cast<int>(control.lines.size()));
                if (count > 0 && control.lines.size() < static_cast<size_t>(count))
                    control.lines.resize(static_cast<size_t>(count));
                break;
            }
            case ControlKind::StringGrid: RestoreGrid(file, cache, sub, control.grid); break;
            case ControlKind::Form:
            case ControlKind::Other: break;
        }
    }
    for (ControlState& child : control.children)
        RestoreControlState(file, cache, section, child);
}

}  // namespace vellrun::settings
