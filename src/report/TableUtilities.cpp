#include "report/TableUtilities.h"

#include "platform/AsciiText.h"
#include "platform/BusyCursorScope.h"

#include <algorithm>
#include <optional>

namespace vellrun::report {

namespace {

using platform::AsciiLower;

// Where search first occurs in text from start on, ignoring the case of a to
// z only (other bytes, UTF-8 sequences included, must match exactly).
size_t FindFrom(std::string_view text, std::string_view search, size_t start, bool exactCase) {
    if (exactCase) return text.find(search, start);
    if (search.size() > text.size()) return std::string_view::npos;
    for (size_t at = start; at + search.size() <= text.size(); ++at) {
        bool same = true;
        for (size_t i = 0; i < search.size() && same; ++i) {
            same = AsciiLower(text[at + i]) == AsciiLower(search[i]);
        }
        if (same) return at;
    }
    return std::string_view::npos;
}

}  // namespace

void SortTableByColumn(report::ResultTable& table, size_t column,
                       const platform::TextCollator& collator, platform::RunFeedback* feedback) {
    if (column > kMaxSortColumns || table.ColCount() > kMaxSortColumns) return;
    if (column >= table.ColCount()) return;
    auto& rows = table.Rows();
    const size_t fixed = std::min(table.FixedRows(), rows.size());
    if (rows.size() - fixed < 2) return;

    std::optional<platform::BusyCursorScope> busy;
    if (feedback != nullptr) busy.emplace(*feedback);
    // Whole rows move, so every column follows the sort column and the cell
    // texts, line breaks included, come back exactly as they were.
    // Each text's collation key is made once; the sort then compares bytes.
    struct Keyed {
        std::string key;
        std::vector<std::string> row;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(rows.size() - fixed);
    for (size_t r = fixed; r < rows.size(); ++r) {
        keyed.push_back({collator.SortKey(rows[r][column]), std::move(rows[r])});
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    for (size_t i = 0; i < keyed.size(); ++i)
        rows[fixed + i] = std::move(keyed[i].row);
}

void DeleteTableRow(report::ResultTable& table, size_t row) {
    auto& rows = table.Rows();
    if (row >= rows.size()) return;
    rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(row));
}

size_t RemoveEmptyRows(report::ResultTable& table) {
    // In one pass: removing row by row would move every row below each one
    // removed, which on a large report takes minutes.
    auto& rows = table.Rows();
    const auto empty = [](const std::vector<std::string>& row) {
        return std::all_of(row.begin() + std::min<std::ptrdiff_t>(1, std::ssize(row)), row.end(),
                           [](const std::string& cell) { return cell.empty(); });
    };
    const auto end = std::remove_if(rows.begin(), rows.end(), empty);
    const auto removed = static_cast<size_t>(rows.end() - end);
    rows.erase(end, rows.end());
    return removed;
}

void ClearTable(report::ResultTable& table) {
    for (auto& row : table.Rows()) {
        for (auto& cell : row)
            cell.clear();
    }
}

void RemoveListItems(platform::StringList& list, const platform::StringList& other) {
    // other may be list itself; walk a copy of its texts.
    for (const std::string& text : other.Texts()) {
        if (const auto index = list.IndexOf(text)) list.Delete(*index);
    }
}

void AppendListItems(platform::StringList& list, const platform::StringList& other,
                     bool allowDuplicates) {
    const std::vector<platform::StringList::Item> items(other.begin(), other.end());
    for (const auto& item : items) {
        if (!allowDuplicates && list.Contains(item.text)) continue;
        list.Add(item.text, item.number);
    }
}

std::string ReplaceAll(std::string_view text, std::string_view search, std::string_view replacement,
                       bool everyOccurrence, bool exactCase) {
    if (search.empty() || search == replacement) return std::string(text);
    std::string result;
    size_t from = 0;
    while (true) {
        const size_t at = FindFrom(text, search, from, exactCase);
        if (at == std::string_view::npos) break;
        result.append(text.substr(from, at - from));
        result.append(replacement);
        from = at + search.size();
        if (!everyOccurrence) break;
    }
    result.append(text.substr(from));
    return result;
}

std::pair<std::string, std::string> SplitAtFirst(std::string_view text,
                                                 std::string_view separator) {
    const size_t at = separator.empty() ? std::string_view::npos : text.find(separator);
    if (at == std::string_view::npos) return {std::string(text), std::string()};
    return {std::string(text.substr(0, at)), std::string(text.substr(at + separator.size()))};
}

}  // namespace vellrun::report
