// Reads of attribute values, streams, entry classes and object information.

#include "directory/Borrowed.h"
#include "directory/DirectoryAccess.h"
#include "directory/DirectoryNames.h"
#include "directory/ScopedBuffer.h"
#include "directory/ScopedContextCopy.h"
#include "platform/AsciiText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace vellrun::directory {

using client::ContextHandle;
using client::Result;

namespace {

// What taking the values of one read needs, page after page. Lives on the
// stack of DSReadValues.
struct ValuesRead {
    client::DirectoryClient& client;
    ValueFormatter* formatter;
    ContextHandle context;
    client::BufferHandle reply;
    std::string_view object;
    bool wantInfo;
    ValueLines& lines;
    ValueInfoBlock& info;
    // The read's room: the attribute's name and one value record per syntax
    // with a layout of its own, the last for every other.
    std::string& name;
    std::span<client::AttrValue> records;
    // Positions count on across pages, so a long attribute's values keep
    // their numbers and their information.
    uint32_t position = 0;
};

// Hands one value to the formatter; what it throws becomes the value's line.
Result FormatOneValue(ValuesRead& read, const client::AttrValue& value, size_t size,
                      uint32_t position) {
    try {
        if (read.formatter == nullptr) throw std::logic_error("No value formatter is installed");
        return read.formatter->FormatValue(read.context, read.object, read.name, read.lines, value,
                                           size, position);
    } catch (const std::exception& error) {
        read.lines.Add(error.what());
    } catch (...) {
        read.lines.Add("Unknown exception");
    }
    return 0;
}

// The flags and time stamp of the value about to be taken, kept for the
// first values; a failure of either leaves them out and the value is read
// all the same.
void ReadValueInfo(ValuesRead& read) {
    const uint32_t position = read.position;
    if (position > kMaxValueInfos) return;
    std::vector<ValueInfo>& values = read.info.values;
    if (values.size() < position) values.resize(position);
    ValueInfo& slot = values[position - 1];
    uint32_t flags = 0;
    if (read.client.GetAttrValFlags(read.context, read.reply, flags) == 0) {
        slot.flags = flags;
        client::TimeStamp stamp;
        if (read.client.GetAttrValModTime(read.context, read.reply, stamp) == 0) {
            slot.modified = stamp;
        }
    }
}

// Takes the attributes and values of the page in the reply.
Result ReadValuesPage(ValuesRead& read) {
    client::DirectoryClient& client = read.client;
    uint32_t attributes = 0;
    Result result = client.GetAttrCount(read.context, read.reply, attributes);
    if (result != 0) return result;
    for (uint32_t a = 0; a < attributes; ++a) {
        uint32_t valueCount = 0;
        client::SyntaxId syntax = 0;
        result = client.GetAttrName(read.context, read.reply, read.name, valueCount, syntax);
        if (result != 0) return result;
        read.info.syntax = syntax;
        read.info.valueCount += valueCount;

        if (syntax == client::Syntax::Stream) {
            // The stream's text is read by itself; its value in the reply
            // still carries the flags and time stamp.
            ++read.position;
            if (read.wantInfo && valueCount > 0) ReadValueInfo(read);
            const client::AttrValue stream{client::Syntax::Stream, client::StreamValue{}};
            result = FormatOneValue(read, stream, 0, 1);
            if (result != 0) return result;
            continue;
        }

        // A value of no bytes is still taken, so that the next value is the
        // reply's next one. A raw value (syntax 28 and above) of no bytes is
        // a value and gets its line; any other shows nothing.
        client::AttrValue& value = read.records[std::min<size_t>(syntax, read.records.size() - 1)];
        for (uint32_t i = 0; i < valueCount; ++i) {
            ++read.position;
            if (read.wantInfo) ReadValueInfo(read);
            size_t size = 0;
            result = client.ComputeAttrValSize(read.context, read.reply, syntax, size);
            if (result != 0) return result;
            result = client.GetAttrVal(read.context, read.reply, syntax, value);
            if (result != 0) return result;
            if (size == 0 && syntax <= client::Syntax::Interval) continue;
            result = FormatOneValue(read, value, size, read.position);
            if (result != 0) return result;
        }
    }
    return 0;
}

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
    if (DSIsAliasTargetAttribute(attribute)) {
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
    Borrowed<ReadRoom> room(readRoom_);
    ValuesRead read{client_,  formatter_, copy.Get(), reply.Get(), object,
                    wantInfo, lines,      block,      room->name,  room->records};
    do {
        result =
            client_.Read(copy.Get(), object, kind, false, request.Get(), continuation, reply.Get());
        // A failing page ends the read; it is not asked for again.
        if (result != 0) break;
        result = ReadValuesPage(read);
        if (result != 0) break;
    } while (continuation != client::kNoContinuation);
    return result;
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
