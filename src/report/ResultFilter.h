#pragma once

// The filter of a report by object type: up to three rows, each naming an
// attribute, a text and whether the attribute's cell text must or must not
// contain it; the rows combine with AND. Also the per-class storage of the
// filter panel in section "Filter: <class>" of the settings file, through a
// small key-value interface so that this code knows nothing of the INI file.
//
// Free functions over plain records; nothing here owns a directory object,
// shows anything or keeps state between calls.

#include "client/ClientTypes.h"
#include "settings/KeyValueSource.h"

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vellrun::values {
class CellTextReader;
}

namespace vellrun::report {

using settings::KeyValueSource;

// One condition. A row whose Attribute or Value is empty is not in use.
struct FilterRow {
    std::string Attribute;
    std::string Value;        // a text, or "[anything]" / "[nothing]" (any letter case)
    bool MustContain = true;  // false: "must not contain"

    bool operator==(const FilterRow&) const = default;
};

inline constexpr size_t kFilterRowCount = 3;
using FilterRows = std::array<FilterRow, kFilterRowCount>;

inline constexpr std::string_view kFilterAnything = "[anything]";
inline constexpr std::string_view kFilterNothing = "[nothing]";

// Whether the condition of value holds for one attribute's cell text (before
// "must not contain" turns it round): "[anything]" holds for a non-empty
// text, "[nothing]" for an empty one, and otherwise (also when a special value
// does not hold by its own rule) value must occur in the text, ASCII letters
// compared without case.
bool FilterConditionHolds(std::string_view value, std::string_view text);

// The filter test of one object. readText gives the cell text of an attribute;
// it is called for the rows in use, in order, and not after a row rejects.
bool PassesFilters(const FilterRows& rows,
                   const std::function<std::string(std::string_view attribute)>& readText);

// The same test reading the texts as report cells of object through context.
// When filtered is false every object passes and nothing is read.
bool PassesFilters(values::CellTextReader& reader, client::ContextHandle context,
                   std::string_view object, bool filtered, const FilterRows& rows);

// --- Storage of the filter panel, one section per object class ----------------

// The panel's values: the "Filter Results" box and the three rows.
struct FilterPanelState {
    bool Filtered = false;
    FilterRows Rows{};

    bool operator==(const FilterPanelState&) const = default;
};

// "Filter: <class name>", without the brackets the settings file cannot hold
// in a section name ("a[b]" gives "Filter: ab"), for reads and writes alike.
std::string FilterSectionName(std::string_view className);

// The keys, by row (0 to 2): "ComboBoxFilter1", "EditFilter1", "RadioFilter1a", ...
inline constexpr std::string_view kFilterEnabledKey = "CheckBoxFilter";
std::string FilterAttributeKey(size_t row);
std::string FilterValueKey(size_t row);
std::string FilterModeKey(size_t row);

// Reads the class's section into state, in the order box, three attributes,
// three values, three modes; a missing key gives the default (off, empty,
// "must contain"). A failure while reading stops there and is ignored: what
// was read so far stays in state, the rest keeps its defaults.
void ReadFilterPanel(KeyValueSource& source, std::string_view className, FilterPanelState& state);

// The writes of a change in the panel. A failing write is ignored (the
// settings file reports its own write errors); each returns false when it failed.
bool WriteFilterEnabled(KeyValueSource& source, std::string_view className, bool filtered);
// A change of any radio button writes the modes of all three rows.
bool WriteFilterModes(KeyValueSource& source, std::string_view className, const FilterRows& rows);
bool WriteFilterAttribute(KeyValueSource& source, std::string_view className, size_t row,
                          std::string_view attribute);
bool WriteFilterValue(KeyValueSource& source, std::string_view className, size_t row,
                      std::string_view value);
// Every key of the panel, as when each had been changed; false at the first
// failure.
bool WriteFilterPanel(KeyValueSource& source, std::string_view className,
                      const FilterPanelState& state);

}  // namespace vellrun::report
