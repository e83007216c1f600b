#pragma once

// Small operations shared by the report run, the table operations and the
// exports: sorting and trimming a results table, merging and subtracting name
// lists, and two text helpers. Free functions over objects the caller owns;
// they keep no state and never show anything.

#include "platform/RunFeedback.h"
#include "platform/StringList.h"
#include "platform/TextCollator.h"
#include "report/ResultTable.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace vellrun::report {

// Tables wider than this (or a sort column beyond it) are left unsorted.
inline constexpr size_t kMaxSortColumns = 100;

// Sorts the rows below the header rows ascending by the text of one column,
// compared with the collator (case ignored, digits as text: "10" before "9").
// The sort is stable, so rows with equal texts keep their order, and no cell's
// text is touched: a line break inside a cell compares as whatever the
// collator makes of CR LF. Nothing happens when column or ColCount() is above
// kMaxSortColumns or column is outside the table. With feedback, the busy
// cursor shows while the rows are sorted, and pending events are let through
// every few thousand rows so that a large table keeps the window painted.
enum class SortStop {
    kNever,     // a report run's own sort: a cancel meant for the run stops nothing
    kOnCancel,  // Sort Results: says what it does, shows how far it is, stops at a cancel
};
// False when a cancel stopped it (kOnCancel only): the rows are as they were.
bool SortTableByColumn(report::ResultTable& table, size_t column,
                       const platform::TextCollator& collator,
                       platform::RunFeedback* feedback = nullptr, SortStop stop = SortStop::kNever);

// Removes one row; rows below move up. An index not below RowCount() is ignored.
void DeleteTableRow(report::ResultTable& table, size_t row);

// Removes every row, the header row included, whose cells after the first
// are all empty (with one column, every row); the others keep their order.
// Returns how many went.
size_t RemoveEmptyRows(report::ResultTable& table);

// Empties every cell; the row and column counts stay.
void ClearTable(report::ResultTable& table);

// For each entry of other, in order, removes the first entry of list with the
// same text (case ignored).
void RemoveListItems(platform::StringList& list, const platform::StringList& other);

// Appends the entries of other (texts and numbers) to list; without
// allowDuplicates an entry whose text list holds already (case ignored) is skipped.
void AppendListItems(platform::StringList& list, const platform::StringList& other,
                     bool allowDuplicates);

// The text with the first (or, with everyOccurrence, every) occurrence of
// search replaced, left to right; replaced text is never searched again.
// Without exactCase only the letters a to z match regardless of case.
std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement,
                       bool everyOccurrence, bool exactCase);

// The text before the first separator and the text after it; without a
// separator, the whole text and an empty text.
std::pair<std::string, std::string> SplitAtFirst(std::string_view text, std::string_view separator);

}  // namespace vellrun::report
