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

bool SortTableByColumn(report::ResultTable& table, size_t column,
                       const platform::TextCollator& collator, platform::RunFeedback* feedback,
                       SortStop stop) {
    if (column > kMaxSortColumns || table.ColCount() > kMaxSortColumns) return true;
    if (column >= table.ColCount()) return true;
    auto& rows = table.Rows();
    const size_t fixed = std::min(table.FixedRows(), rows.size());
    if (rows.size() - fixed < 2) return true;

    std::optional<platform::BusyCursorScope> busy;
    const bool stoppable = feedback != nullptr && stop == SortStop::kOnCancel;
    if (stoppable) {
        feedback->Cancel().Clear();
        feedback->SetStatus(0, "Sorting the results ...");
    }
    if (feedback != nullptr) busy.emplace(*feedback);
    // The work goes in steps of a few thousand rows (a table of a million
    // takes seconds); between two, the window is repainted and may stop it.
    // Until the rows move at the very end the table is untouched, so a stop
    // leaves it as it was.
    constexpr size_t kStep = 8192;
    const size_t count = rows.size() - fixed;
    // Keys and merges: two halves of the progress.
    const uint64_t total = 2 * static_cast<uint64_t>(count);
    const auto goOn = [&](uint64_t done) {
        if (feedback == nullptr) return true;
        feedback->ShowProgress(done, total);
        feedback->ProcessPendingEvents();
        return !stoppable || !feedback->Cancel().IsSet();
    };
    // Whole rows move, so every column follows the sort column and the cell
    // texts, line breaks included, come back exactly as they were.
    // Each text's collation key is made once; the sort then compares bytes.
    // Equal keys keep the rows' order (the index decides), as a stable sort
    // would.
    struct Keyed {
        std::string key;
        size_t row;
    };
    const auto before = [](const Keyed& a, const Keyed& b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.row < b.row;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(count);
    for (size_t r = 0; r < count; ++r) {
        keyed.push_back({collator.SortKey(rows[fixed + r][column]), fixed + r});
        if ((r + 1) % kStep == 0 && !goOn(r + 1)) return false;
    }
    // Runs of kStep rows sorted one by one, then merged in pairs of growing
    // runs.
    for (size_t first = 0; first < count; first += kStep) {
        const auto from = keyed.begin() + static_cast<std::ptrdiff_t>(first);
        std::sort(from, from + static_cast<std::ptrdiff_t>(std::min(kStep, count - first)), before);
        if (!goOn(count)) return false;
    }
    size_t passes = 0;
    for (size_t run = kStep; run < count; run *= 2)
        ++passes;
    uint64_t merged = 0;  // rows merged over all passes
    for (size_t run = kStep; run < count; run *= 2) {
        for (size_t first = 0; first + run < count; first += 2 * run) {
            const size_t last = std::min(first + 2 * run, count);
            const auto from = keyed.begin() + static_cast<std::ptrdiff_t>(first);
            std::inplace_merge(from, from + static_cast<std::ptrdiff_t>(run),
                               keyed.begin() + static_cast<std::ptrdiff_t>(last), before);
            merged += last - first;
            if (!goOn(count + merged / passes)) return false;
        }
    }
    std::vector<std::vector<std::string>> sorted;
    sorted.reserve(count);
    for (const Keyed& entry : keyed)
        sorted.push_back(std::move(rows[entry.row]));
    std::move(sorted.begin(), sorted.end(), rows.begin() + static_cast<std::ptrdiff_t>(fixed));
    if (feedback != nullptr) feedback->ShowProgress(total, total);
    return true;
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
