// Edited text into value records, one syntax at a time.

#include "values/ValueTextParser.h"

#include "directory/AttrChange.h"
#include "platform/AsciiText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <limits>

namespace vellrun::values {
namespace {

namespace S = client::Syntax;
using client::Result;
using directory::ParseResult::NoParser;
using directory::ParseResult::NotOfSyntax;

int DigitValue(char c, int base) {
    const int digit = platform::HexDigitValue(c);
    return digit < base ? digit : -1;
}

std::optional<uint32_t> Low32(std::string_view text) {
    const auto number = ParseWholeNumber(text);
    if (!number) return std::nullopt;
    return static_cast<uint32_t>(*number);
}

// The text's lines as a text box gives them: a line ends at CR LF, CR or LF,
// and a break at the very end starts no further line.
using platform::SplitLines;

Result ParseList(std::string_view text, client::AttrValue& value) {
    client::CiListValue list;
    for (auto& line : SplitLines(text)) {
        bool seen = false;
        for (const auto& kept : list.strings)
            seen = seen || kept == line;
        if (!seen) list.strings.push_back(std::move(line));
    }
    // A list value without any string would be an empty chain; an empty text
    // is refused rather than written as one.
    if (list.strings.empty()) return NotOfSyntax;
    value.record = std::move(list);
    return 0;
}

// The inverse of "(%d) %s:%s" of name space, volume and path.
client::PathValue ParsePath(std::string_view text) {
    std::string rest(text.substr(std::min(text.find_first_not_of("( "), text.size())));
    if (const size_t close = rest.find(") "); close != std::string::npos) {
        rest = rest.substr(0, close) + "#" + rest.substr(close + 2);
    }
    const size_t colon = rest.find(':');
    std::string volumePart = rest.substr(0, colon);
    client::PathValue path;
    if (colon != std::string::npos) path.path = rest.substr(colon + 1);
    if (const size_t hash = volumePart.find('#'); hash != std::string::npos) {
        path.nameSpace = Low32(std::string_view(volumePart).substr(0, hash)).value_or(0);
        path.volume = volumePart.substr(hash + 1);
    } else {
        path.volume = std::move(volumePart);
    }
    return path;
}

Result ParseTypedName(std::string_view text, client::AttrValue& value) {
    auto fields = SplitHashFields(text);
    if (fields.size() != 3) return NotOfSyntax;
    const auto level = Low32(fields[1]);
    const auto interval = Low32(fields[2]);
    if (!level || !interval) return NotOfSyntax;
    value.record = client::TypedNameValue{std::move(fields[0]), *level, *interval};
    return 0;
}

// The bytes the client's value buffer needs for the value: its record with
// the texts behind it, and the path's extra zero byte.
size_t BufferBytes(const client::AttrValue& value) {
    return client::RecordSize(value) + (value.syntax == S::Path ? 1 : 0);
}

}  // namespace

std::vector<std::string> SplitHashFields(std::string_view text) {
    std::vector<std::string> parts;
    if (text.empty()) return parts;
    size_t start = 0;
    while (true) {
        const size_t hash = text.find('#', start);
        parts.emplace_back(text.substr(start, hash - start));
        if (hash == std::string_view::npos) break;
        start = hash + 1;
    }
    return parts;
}

std::optional<int64_t> ParseWholeNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    }
    if (i == text.size()) return std::nullopt;

    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(text[i], base);
        if (digit < 0) return std::nullopt;
        const auto d = static_cast<uint64_t>(digit);
        if (magnitude > (kMax - d) / static_cast<uint64_t>(base)) return std::nullopt;
        magnitude = magnitude * static_cast<uint64_t>(base) + d;
    }
    if (base == 16) {
        // Hexadecimal digits give the 64 bits as they are: $FFFFFFFFFFFFFFFF is -1.
        return static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
    }
    constexpr uint64_t kLargestPositive = std::numeric_limits<int64_t>::max();
    if (magnitude > kLargestPositive + (negative ? 1 : 0)) return std::nullopt;
    return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

Result ValueTextParser::ParseValue(client::ContextHandle, std::string_view, std::string_view,
                                   std::string_view text, client::SyntaxId syntax,
                                   uint32_t& changeType, client::AttrValue& value) {
    value = client::AttrValue{syntax, client::EmptyRecordFor(syntax)};
    Result result = 0;
    switch (syntax) {
        case S::DistName:
        case S::CeString:
        case S::CiString:
        case S::PrString:
        case S::NuString:
        case S::TelNumber: value.record = client::StringValue{std::string(text)}; break;
        case S::CiList: result = ParseList(text, value); break;
        case S::Integer:
        case S::Counter: {
            const auto number = Low32(text);
            if (!number) return NotOfSyntax;
            value.record = client::IntegerValue{static_cast<int32_t>(*number)};
            break;
        }
        case S::Interval: {
            const auto number = Low32(text);
            if (!number) return NotOfSyntax;
            value.record = client::IntervalValue{*number};
            break;
        }
        case S::FaxNumber: value.record = client::FaxNumberValue{std::string(text), 0, {}}; break;
        case S::EmailAddress: value.record = client::EmailAddressValue{0, std::string(text)}; break;
        case S::Path: value.record = ParsePath(text); break;
        case S::Timestamp:
        case S::Time: {
            const auto local = platform::ParseDateTime(text, formats_);
            if (!local) return NotOfSyntax;
            // The rules in force at that instant, not today's bias: a summer
            // time typed in winter must not come out an hour off.
            const auto seconds = platform::SecondsOfLocalTime(*local);
            if (!seconds) return NotOfSyntax;
            if (syntax == S::Time) {
                value.record = client::TimeValue{*seconds};
            } else {
                value.record = client::TimeStamp{*seconds, 0, 0};
            }
            break;
        }
        case S::TypedName: result = ParseTypedName(text, value); break;
        default: return NoParser;
    }
    if (result != 0) return result;
    // Texts are stored zero-terminated: a zero byte inside would cut them short.
    if (text.find('\0') != std::string_view::npos) return NotOfSyntax;
    if (BufferBytes(value) > kValueBufferSize) return NotOfSyntax;
    if (syntax == S::CiList) changeType = directory::ModifyType::ReplaceAll;
    return 0;
}

}  // namespace vellrun::values
