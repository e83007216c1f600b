// The filter test of a report by object type and the storage of the filter panel.

#include "report/ResultFilter.h"

#include "platform/AsciiText.h"
#include "platform/StringList.h"
#include "settings/SettingsStore.h"
#include "values/CellTextReader.h"

#include <algorithm>
#include <exception>

namespace vellrun::report {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return platform::StringList::CompareText(a, b) == 0;
}

std::string RowKey(std::string_view stem, size_t row, std::string_view suffix = {}) {
    std::string key(stem);
    key += std::to_string(row + 1);
    key += suffix;
    return key;
}

}  // namespace

bool FilterConditionHolds(std::string_view value, std::string_view text) {
    if (SameIgnoringCase(value, kFilterAnything) && !text.empty()) return true;
    if (SameIgnoringCase(value, kFilterNothing) && text.empty()) return true;
    return platform::AsciiUpperCopy(text).find(platform::AsciiUpperCopy(value)) !=
           std::string::npos;
}

bool PassesFilters(const FilterRows& rows,
                   const std::function<std::string(std::string_view attribute)>& readText) {
    for (const FilterRow& row : rows) {
        if (row.Attribute.empty() || row.Value.empty()) continue;
        const bool holds = FilterConditionHolds(row.Value, readText(row.Attribute));
        if (holds != row.MustContain) return false;
    }
    return true;
}

bool PassesFilters(values::CellTextReader& reader, client::ContextHandle context,
                   std::string_view object, bool filtered, const FilterRows& rows) {
    if (!filtered) return true;
    return PassesFilters(rows, [&](std::string_view attribute) {
        return reader.GetAttrValue(context, object, attribute);
    });
}

std::string FilterSectionName(std::string_view className) {
    // The settings file cannot hold brackets in a section's name; reads must
    // look for the name that writes store.
    std::string section = "Filter: ";
    section += settings::CleanIniName(className);
    return section;
}

std::string FilterAttributeKey(size_t row) {
    return RowKey("ComboBoxFilter", row);
}
std::string FilterValueKey(size_t row) {
    return RowKey("EditFilter", row);
}
std::string FilterModeKey(size_t row) {
    return RowKey("RadioFilter", row, "a");
}

void ReadFilterPanel(KeyValueSource& source, std::string_view className, FilterPanelState& state) {
    const std::string section = FilterSectionName(className);
    try {
        state.Filtered = source.ReadBool(section, kFilterEnabledKey, false);
        for (size_t row = 0; row < kFilterRowCount; ++row)
            state.Rows[row].Attribute = source.ReadString(section, FilterAttributeKey(row), "");
        for (size_t row = 0; row < kFilterRowCount; ++row)
            state.Rows[row].Value = source.ReadString(section, FilterValueKey(row), "");
        for (size_t row = 0; row < kFilterRowCount; ++row)
            state.Rows[row].MustContain = source.ReadBool(section, FilterModeKey(row), true);
    } catch (const std::exception&) {
        // A damaged or unreadable file leaves the panel as far as it was read.
    }
}

// The panel's writes never stop the program: a failed one is reported as
// false, and the panel stays as the person left it.
bool WriteFilterEnabled(KeyValueSource& source, std::string_view className, bool filtered) {
    return source.WriteBool(FilterSectionName(className), kFilterEnabledKey, filtered).ok();
}

bool WriteFilterModes(KeyValueSource& source, std::string_view className, const FilterRows& rows) {
    const std::string section = FilterSectionName(className);
    for (size_t row = 0; row < kFilterRowCount; ++row) {
        if (!source.WriteBool(section, FilterModeKey(row), rows[row].MustContain).ok()) {
            return false;
        }
    }
    return true;
}

bool WriteFilterAttribute(KeyValueSource& source, std::string_view className, size_t row,
                          std::string_view attribute) {
    if (row >= kFilterRowCount) return false;
    return source.WriteString(FilterSectionName(className), FilterAttributeKey(row), attribute)
        .ok();
}

bool WriteFilterValue(KeyValueSource& source, std::string_view className, size_t row,
                      std::string_view value) {
    if (row >= kFilterRowCount) return false;
    return source.WriteString(FilterSectionName(className), FilterValueKey(row), value).ok();
}

bool WriteFilterPanel(KeyValueSource& source, std::string_view className,
                      const FilterPanelState& state) {
    if (!WriteFilterEnabled(source, className, state.Filtered)) return false;
    for (size_t row = 0; row < kFilterRowCount; ++row) {
        if (!WriteFilterAttribute(source, className, row, state.Rows[row].Attribute) ||
            !WriteFilterValue(source, className, row, state.Rows[row].Value))
            return false;
    }
    return WriteFilterModes(source, className, state.Rows);
}

}  // namespace vellrun::report
