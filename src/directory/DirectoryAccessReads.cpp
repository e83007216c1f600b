// Reads of attribute values, streams, entry classes and object information.

#include "directory/Borrowed.h"
#include "directory/DirectoryAccess.h"
#include "directory/ScopedBuffer.h"
#include "directory/ScopedContextCopy.h"
#include "platform/AsciiText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <stdexcept>

namespace vellrun::directory {

using client::ContextHandle;
using client::Result;

namespace {
constexpr std::string_view kAliasedObjectName = "Aliased Object Name";
}  // namespace

Result DirectoryAccess::DSReadValues(ContextHandle context, std::string_view object,
                                     std::string_view attribute, bool wantInfo,
                                     std::vector<std::string>& lines, ValueInfoBlock* info) {
    ValueLines read;
    const Result result = DSReadValues(context, object, attribute, wantInfo, read, info);
    // The lines a failing read gave before it failed are handed on as well.
    for (size_t k = 0; k < read.Count(); ++k)
        lines.emplace_back(read.Line(k));
    return result;
}

Result DirectoryAccess::DSReadValues(ContextHandle context, std::string_view object,
                                     std::string_view attribute, bool wantInfo, ValueLines& lines,
                                     ValueInfoBlock* info) {
    std::optional<ValueInfoBlock> unused;
    ValueInfoBlock& block = info != nullptr ? *info : unused.emplace();
    // Emptied, not replaced: a caller that keeps its block keeps its room.
    block.syntax = 0;
    block.valueCount = 0;
    block.values.clear();

    ScopedContextCopy copy(client_);
    Result result = copy.Duplicate(context);
    if (result != 0) return result;
    if (platform::EqualsNoCase(attribute, kAliasedObjectName)) {
        // The alias's own value, not that of the object it stands for.
        result = DSSetContextFlag(copy.Get(), "-", client::ContextFlag::DereferenceAliases);
        if (result != 0) return result;
    }

    ScopedBuffer request(client_);
    result = request.Allocate(client::kRequestBufferSize);
    if (result == 0)
        result = client_.PrepareRequest(copy.Get(), client::Operation::Read, request.Get());
    if (result == 0) result = client_.PutName(copy.Get(), request.Get(), attribute);
    if (result != 0) return result;
    ScopedBuffer reply(client_);
    result = reply.Allocate(client::kReadReplySize);
    if (result == 0)
        result = client_.PrepareRequest(copy.Get(), client::Operation::Read, reply.Get());
    if (result != 0) return result;

    const client::ReadKind kind =
        wantInfo ? client::ReadKind::ValuesWithInfo : client::ReadKind::Values;
    int32_t continuation = client::kNoContinuation;
    // Positions count on across pages, so a long attribute's values keep
    // their numbers and their information.
    uint32_t position = 0;
    Borrowed<ReadRoom> room(readRoom_);
    do {
        result =
            client_.Read(copy.Get(), object, kind, false, request.Get(), continuation, reply.Get());
        // A failing page ends the read; it is not asked for again.
        if (result != 0) break;
        result = ReadValuesPage(copy.Get(), reply.Get(), object, wantInfo, lines, block, position,
                                *room);
        if (result != 0) break;
    } while (continuation != client::kNoContinuation);
    return result;
}

Result DirectoryAccess::ReadValuesPage(ContextHandle context, client::BufferHandle reply,
                                       std::string_view object, bool wantInfo, ValueLines& lines,
                                       ValueInfoBlock& info, uint32_t& position, ReadRoom& room) {
    uint32_t attributes = 0;
    Result result = client_.GetAttrCount(context, reply, attributes);
    if (result != 0) return result;
    std::string& name = room.name;
    for (uint32_t a = 0; a < attributes; ++a) {
        uint32_t valueCount = 0;
        client::SyntaxId syntax = 0;
        result = client_.GetAttrName(context, reply, name, valueCount, syntax);
        if (result != 0) return result;
        info.syntax = syntax;
        info.valueCount += valueCount;

        // The flags and time stamp of the value about to be taken; a failure
        // of either leaves them out and the value is read all the same.
        const auto readInfo = [&] {
            if (position > kMaxValueInfos) return;
            if (info.values.size() < position) info.values.resize(position);
            ValueInfo& slot = info.values[position - 1];
            uint32_t flags = 0;
            if (client_.GetAttrValFlags(context, reply, flags) == 0) {
                slot.flags = flags;
                client::TimeStamp stamp;
                if (client_.GetAttrValModTime(context, reply, stamp) == 0) slot.modified = stamp;
            }
        };

        if (syntax == client::Syntax::Stream) {
            // The stream's text is read by itself; its value in the reply
            // still carries the flags and time stamp.
            ++position;
            if (wantInfo && valueCount > 0) readInfo();
            const client::AttrValue stream{client::Syntax::Stream, client::StreamValue{}};
            result = FormatOneValue(context, object, name, lines, stream, 0, 1);
            if (result != 0) return result;
            continue;
        }

        for (uint32_t i = 0; i < valueCount; ++i) {
            ++position;
            if (wantInfo) readInfo();
            size_t size = 0;
            result = client_.ComputeAttrValSize(context, reply, syntax, size);
            if (result != 0) return result;
            // A value of no bytes is still taken, so that the next value is
            // the reply's next one. A raw value (syntax 28 and above) of no
            // bytes is a value and gets its line; any other shows nothing.
            client::AttrValue& value = room.records[std::min<client::SyntaxId>(
                syntax, client::Syntax::LastWithLayout + 1)];
            result = client_.GetAttrVal(context, reply, syntax, value);
            if (result != 0) return result;
            if (size == 0 && syntax <= client::Syntax::Interval) continue;
            result = FormatOneValue(context, object, name, lines, value, size, position);
            if (result != 0) return result;
        }
    }
    return 0;
}

Result DirectoryAccess::FormatOneValue(ContextHandle context, std::string_view object,
                                       std::string_view attribute, ValueLines& lines,
                                       const client::AttrValue& value, size_t size,
                                       uint32_t position) {
    try {
        if (formatter_ == nullptr) throw std::logic_error("No value formatter is installed");
        return formatter_->FormatValue(context, object, attribute, lines, value, size, position);
    } catch (const std::exception& error) {
        lines.Add(error.what());
    } catch (...) {
        lines.Add("Unknown exception");
    }
    return 0;
}

std::string DirectoryAccess::DSReadColumnText(ContextHandle context, std::string_view object,
                                              std::string_view attribute, Result* result) {
    ValueLines lines;
    const Result read = DSReadValues(context, object, attribute, false, lines);
    if (result != nullptr) *result = read;
    return std::string(platform::WithoutTrailingLineBreaks(lines.Joined()));
}

Result DirectoryAccess::DSEntryClass(ContextHandle context, std::string_view object,
                                     std::string& className) {
    return DSEntryItem(context, object, client::EntryItemBit::BaseClass, className);
}

Result DirectoryAccess::DSReadStream(ContextHandle context, std::string_view object,
                                     std::string_view attribute, std::span<uint8_t> buffer,
                                     size_t& size) {
    const size_t wanted = std::min(size, buffer.size());
    size = 0;
    client::StreamHandle stream{};
    const Result opened = client_.OpenStream(context, object, attribute, 1, stream);
    if (opened != 0) return opened;

    Result result = 0;
    size_t total = 0;
    try {
        // A read may deliver less than asked; the stream is read on until the
        // buffer is full or the stream ends.
        while (total < wanted) {
            size_t got = 0;
            if (client_.ReadStream(stream, buffer.subspan(total, wanted - total), got) != 0) {
                result = kStreamReadFailed;
                break;
            }
            if (got == 0) break;
            total += std::min(got, wanted - total);
        }
    } catch (...) {
        result = kStreamReadFailed;
    }
    client_.CloseStream(stream);
    size = total;
    return result;
}

Result DirectoryAccess::DSReadObjectInfo(ContextHandle context, std::string_view object,
                                         TObjectRecord& record) {
    record.info = client::EntryRecord{};
    std::string fullName;
    client::EntryRecord info;
    const Result result = client_.ReadObjectInfo(context, object, fullName, info);
    if (result != 0) return result;
    if (record.className.empty()) record.className = info.baseClass;
    record.info = std::move(info);
    record.name = std::move(fullName);
    return 0;
}

}  // namespace vellrun::directory
