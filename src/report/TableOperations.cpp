#include "report/TableOperations.h"

#include "directory/DirectoryNames.h"
#include "directory/TObjectRecord.h"
#include "platform/AsciiText.h"
#include "platform/BusyCursorScope.h"
#include "platform/TextEncoding.h"
#include "report/TableUtilities.h"

#include <cstdio>
#include <string>

namespace vellrun::report {
namespace {

constexpr size_t kSelectedTextLimit = 200;  // characters of a cell the status bar shows

// "&" is the mnemonic marker in captions; text from the table must show as it is.
std::string CaptionText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

// The first limit characters of UTF-8 text, never cutting a character in two.
std::string FirstCharacters(std::string_view text, size_t limit) {
    return std::string(text.substr(0, platform::Utf8PrefixBytes(text, limit)));
}

}  // namespace

std::optional<ObjectListEntry> ParseObjectListLine(std::string_view line, long long number) {
    if (number <= 1 || number >= static_cast<long long>(line.size())) return std::nullopt;
    const auto split = static_cast<size_t>(number);
    return ObjectListEntry{std::string(line.substr(0, split - 2)), std::string(line.substr(split))};
}

std::optional<std::string> HexCharacterText(std::string_view text) {
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c != '|' && platform::HexDigitValue(c) < 0) return std::nullopt;
    std::string out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int high = platform::HexDigitValue(text[i]);
        const int low = platform::HexDigitValue(text[i + 1]);
        const int code = high < 0 || low < 0 ? -1 : high * 16 + low;
        if (code < 32) {
            out += '?';
        } else {
            // A lone byte above 127 is read as Windows-1252, the directory's
            // own code page for 8-bit text.
            out += platform::BytesToUtf8(std::string(1, static_cast<char>(code)));
        }
    }
    return out;
}

TableOperations::TableOperations(ReportRun& run, directory::DirectoryAccess& access,
                                 platform::RunFeedback& feedback,
                                 const platform::TextCollator& collator)
    : run_(run), access_(access), feedback_(feedback), collator_(collator) {}

void TableOperations::NotifyChanged() {
    if (hooks_.tableChanged) hooks_.tableChanged();
}

void TableOperations::HideEmptyFields() {
    platform::BusyCursorScope busy(feedback_);
    if (report::RemoveEmptyRows(run_.Table()) > 0) NotifyChanged();
}

ResultsPopup TableOperations::PreparePopup(size_t column, size_t row) const {
    const ResultTable& table = run_.Table();
    const std::string& text = table.Cell(column, row);
    ResultsPopup popup;
    const bool enabled =
        text.find('.') != std::string::npos && text.find("\r\n") == std::string::npos;
    popup.reportOnSelected.enabled = enabled;
    popup.reportOnSelected.caption = enabled ? "Report on \"" + CaptionText(text) + "\""
                                             : std::string("Report on selected object");
    for (size_t c = 0; c < table.ColCount(); ++c) {
        popup.sortEntries.push_back(
            {"Sort by Column " + std::to_string(c) + " (" + CaptionText(table.Cell(c, 0)) + ")",
             true, static_cast<int>(c)});
    }
    return popup;
}

bool TableOperations::SortByColumn(size_t column, platform::RunFeedback* progress) {
    if (progress != nullptr && !report::SortTableByColumn(run_.Table(), column, collator_, progress,
                                                          report::SortStop::kOnCancel))
        return false;
    if (progress == nullptr) report::SortTableByColumn(run_.Table(), column, collator_, &feedback_);
    run_.CurrentSpec().OrderBy = static_cast<int32_t>(column);
    NotifyChanged();
    return true;
}

CellMeaning TableOperations::MeaningOf(size_t column, size_t row) const {
    const ResultTable& table = run_.Table();
    const ReportSpec& spec = run_.CurrentSpec();
    CellMeaning meaning;
    if (spec.Kind == ReportKind::ByObject) {
        // The run read the name as its container resolved it: "admin" in
        // IT.Corp is .admin.IT.Corp, not an object of that name at the top.
        meaning.object = run_.ObjectFullName().empty() ? spec.ObjectName : run_.ObjectFullName();
        meaning.attribute = table.Cell(0, row);
        meaning.valueColumn = 1;
    } else {
        meaning.object = table.Cell(0, row);
        meaning.attribute = table.Cell(column, 0);
        meaning.valueColumn = column;
    }
    meaning.value = table.Cell(meaning.valueColumn, row);
    meaning.objectClass = spec.ObjectClass;
    meaning.container = spec.Container;
    return meaning;
}

std::string TableOperations::CellHint(size_t column, size_t row) const {
    const CellMeaning meaning = MeaningOf(column, row);
    return meaning.object + "\r\n" + meaning.attribute + "\r\n\r\n" + meaning.value;
}

void TableOperations::ShowSelectedCell(size_t column, size_t row) {
    const ResultTable& table = run_.Table();
    const std::string text = FirstCharacters(table.Cell(column, row), kSelectedTextLimit);
    const std::string& key = table.Cell(0, row);
    if (const auto decoded = HexCharacterText(text))
        run_.ShowStatus(key, text, *decoded);
    else
        run_.ShowStatus(key, text);
}

bool TableOperations::ReportOnSelectedObject(size_t column, size_t row,
                                             client::ContextHandle treeContext) {
    if (run_.ReportRunning()) return false;
    const std::string name = run_.Table().Cell(column, row);
    // The report reads the object from "[Root]", so the check reads the same
    // object: relative to the top, not to the container the context stands on.
    directory::TObjectRecord record;
    if (access_.DSReadObjectInfo(treeContext, directory::DSFullName(name), record) != 0)
        return false;
    ReportSpec& spec = run_.CurrentSpec();
    spec.Kind = ReportKind::ByObject;
    spec.Container = "[Root]";
    spec.ObjectName = name;
    spec.ObjectClass = record.className;
    spec.Attributes.clear();
    return run_.Rpt_run();
}

DeleteOutcome TableOperations::DeleteObject(const std::optional<ObjectListEntry>& selected,
                                            client::ContextHandle treeContext) {
    if (run_.ReportRunning()) return DeleteOutcome::Refused;
    platform::MessagePort& messages = access_.Messages();
    if (!selected) {
        messages.PlainBox(kSelectOneObject);
        return DeleteOutcome::Refused;
    }
    const std::string& name = selected->objectName;
    // Removing an object cannot be undone, so the person confirms it first.
    if (!messages.AskYesNo("Delete \"" + name + "\"?", true)) return DeleteOutcome::Declined;

    const std::string fullName = directory::DSFullName(access_.DSResolveName(treeContext, name));
    client::Result result = access_.DSRemoveObject(treeContext, fullName);
    if (result == client::Err::OutcomeUnknown) {
        // The server did not answer in time and may have removed it all
        // the same: an object that is gone now was deleted.
        directory::TObjectRecord record;
        if (access_.DSReadObjectInfo(treeContext, fullName, record) == client::Err::NoSuchEntry)
            result = 0;
    }
    if (result != 0) {
        access_.DSShowError(result, "Delete \"" + fullName + "\"");
        return DeleteOutcome::Failed;
    }
    messages.PlainBox("\"" + name + "\" successfully deleted");
    return DeleteOutcome::Deleted;
}

}  // namespace vellrun::report
