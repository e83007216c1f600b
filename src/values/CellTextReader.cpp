#include "values/CellTextReader.h"

#include "directory/Borrowed.h"
#include "directory/DirectoryNames.h"
#include "directory/ScopedContextCopy.h"
#include "platform/TextEncoding.h"
#include "platform/TextLines.h"
#include "values/ValueFormatting.h"

#include <exception>
#include <variant>
#include <vector>

namespace vellrun::values {

namespace {

using client::Result;

// The entry-information items of the six pseudo-attributes, in kDsiNames order.
constexpr std::array<uint32_t, CellTextReader::kDsiNames.size()> kDsiItems{
    client::EntryItemBit::Parent,           client::EntryItemBit::PartitionRoot,
    client::EntryItemBit::SubordinateCount, client::EntryItemBit::CreationTime,
    client::EntryItemBit::ModificationTime, client::EntryItemBit::FullName};
// All six in one request; replaces whatever the context would fetch.
constexpr uint32_t kDsiSelector = 0xE068;
constexpr size_t kEntryInfoBufferSize = 4096;
constexpr std::string_view kNotAvailable = "n/a";
constexpr size_t kKeptTextBytes = size_t{1} << 16;

// Cuts the line that starts at `start` and ends the text to the limit, with
// an ellipsis in place of what is cut. The limit counts characters (code
// points), and a cut always falls before the first byte of a character, so a
// cut line stays valid UTF-8.
void LimitLastLine(std::string& text, size_t start, size_t limit) {
    const std::string_view line = std::string_view(text).substr(start);
    // A line of no more bytes than the limit has no more characters either.
    if (line.size() <= limit || platform::Utf8CharacterCount(line) <= limit) return;
    constexpr size_t kEllipsisRoom = 6;
    const size_t keep = limit > kEllipsisRoom ? limit - kEllipsisRoom : 0;
    text.resize(start + platform::Utf8PrefixBytes(line, keep));
    text += "...";
}

}  // namespace

CellTextReader::CellTextReader(directory::DirectoryAccess& access,
                               const settings::AppSettings& settings,
                               const platform::DateTimeFormats& formats)
    : access_(access), settings_(settings), formats_(formats) {
    dsiTexts_.fill(std::string(kNotAvailable));
}

std::string CellTextReader::GetAttrValue(client::ContextHandle context, std::string_view object,
                                         std::string_view attribute) {
    // The prefix is compared with its case: "dsi: Parent" is an ordinary attribute name.
    if (attribute.starts_with(kDsiPrefix)) return DsiValue(context, object, attribute);
    std::string text = ReadCell(context, object, attribute);
    access_.Feedback().ProcessPendingEvents();
    return text;
}

std::string CellTextReader::ReadCell(client::ContextHandle context, std::string_view object,
                                     std::string_view attribute) {
    try {
        const int parts = settings_.GetAttrValInfoType();
        // The lines and the information block are kept from cell to cell so
        // that a read fills room that is already there; a read started while
        // this one runs finds them lent out and starts with fresh ones.
        directory::Borrowed<CellRoom> room(room_);
        room->lines.Clear();
        const Result result =
            access_.DSReadValues(context, object, attribute, parts != 0, room->lines, &room->info);
        if (result != 0) {
            lastResult_ = result;
            return std::string();
        }
        return CellText(*room, parts);
    } catch (const std::exception& error) {
        return "Exception reading " + std::string(attribute) + " (" + std::string(object) +
               "): " + error.what();
    } catch (...) {
        return "Exception reading " + std::string(attribute) + " (" + std::string(object) +
               "): Unknown exception";
    }
}

std::string CellTextReader::CellText(CellRoom& room, int parts) const {
    const directory::ValueLines& lines = room.lines;
    const size_t limit = settings_.MaxAttrSize();
    // Without a limit lines are neither annotated nor cut; a text of no more
    // bytes than the limit has no longer line to cut.
    if (limit == 0 || (parts == 0 && lines.Joined().size() <= limit))
        return std::string(platform::WithoutTrailingLineBreaks(lines.Joined()));

    std::string& text = room.text;
    text.clear();
    const std::vector<directory::ValueInfo>& infos = room.info.values;
    for (size_t k = 0; k < lines.Count(); ++k) {
        if (k > 0) text += directory::ValueLines::kBreak;
        const size_t start = text.size();
        if (parts != 0 && k < directory::kMaxValueInfos) {
            // The k-th line gets the k-th value's information; for syntaxes
            // with several lines per value they do not correspond, and lines
            // past the values get an empty record.
            AppendValueInfoText(text, k < infos.size() ? infos[k] : directory::ValueInfo{}, parts,
                                formats_);
            text += ' ';
        }
        text += lines.Line(k);
        LimitLastLine(text, start, limit);
    }
    std::string cell(platform::WithoutTrailingLineBreaks(text));
    // The room of a very long text is not kept for the cells after it.
    if (text.capacity() > kKeptTextBytes) text = std::string();
    return cell;
}

std::string CellTextReader::DsiValue(client::ContextHandle treeContext, std::string_view object,
                                     std::string_view name) {
    std::string key = access_.DSContextName(treeContext, client::ContextKey::NameContext);
    key += " - ";
    key += object;
    if (key != dsiKey_) {
        // The key is kept even when the read fails, so a failing object is
        // not read again for each of its six names.
        dsiKey_ = std::move(key);
        dsiTexts_.fill(std::string(kNotAvailable));
        ReadEntryInformation(treeContext, object);
    }
    for (size_t i = 0; i < kDsiNames.size(); ++i) {
        if (name == kDsiNames[i]) return dsiTexts_[i];
    }
    return "unknown flag";
}

void CellTextReader::ReadEntryInformation(client::ContextHandle treeContext,
                                          std::string_view object) {
    client::DirectoryClient& client = access_.Client();
    directory::ScopedContextCopy copy(client);
    // The cells show "n/a"; the failure is kept as a read's is (a server
    // gone ends the run).
    const auto failed = [this](Result result) {
        if (result != 0) lastResult_ = result;
        return result != 0;
    };
    if (failed(copy.Duplicate(treeContext))) return;
    if (failed(client.SetContextNumber(copy.Get(), client::ContextKey::EntryInfoItems,
                                       kDsiSelector))) {
        return;
    }
    client::EntryInfo info;
    if (failed(client.ReadEntryInfo(copy.Get(), object, kEntryInfoBufferSize, info))) return;

    for (size_t i = 0; i < kDsiItems.size(); ++i) {
        client::EntryItem item;
        if (client.TakeEntryItem(info, kEntryInfoBufferSize, kDsiItems[i], item) != 0) continue;
        const uint32_t* number = std::get_if<uint32_t>(&item);
        const std::string* text = std::get_if<std::string>(&item);
        switch (kDsiItems[i]) {
            case client::EntryItemBit::SubordinateCount:
                if (number) dsiTexts_[i] = std::to_string(*number);
                break;
            case client::EntryItemBit::CreationTime:
            case client::EntryItemBit::ModificationTime:
                if (number && *number != 0) dsiTexts_[i] = LocalTimeText(*number, formats_);
                break;
            default:
                if (text) dsiTexts_[i] = directory::DSFullName(*text);
                break;
        }
    }
}

}  // namespace vellrun::values
