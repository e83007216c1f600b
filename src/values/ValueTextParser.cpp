// Edited text into value records, one syntax at a time.

#include "values/ValueTextParser.h"

#include "directory/AttrChange.h"
#include "platform/AsciiText.h"
#include "platform/TextLines.h"

#include <algorithm>
#include <array>
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

constexpr int64_t kLargestWord = std::numeric_limits<uint32_t>::max();
constexpr int64_t kLargestSigned = std::numeric_limits<int32_t>::max();
constexpr int64_t kSmallestSigned = std::numeric_limits<int32_t>::min();

// The numbers a syntax's 32-bit word takes. A decimal number must be one
// the value shows as (the numbers of syntaxes 8 and 22 are signed); "$" and
// hexadecimal digits give the word's bits, up to $FFFFFFFF.
struct WordRange {
    int64_t lowest;
    int64_t largestDecimal;
};
constexpr WordRange kSignedNumber{kSmallestSigned, kLargestSigned};
constexpr WordRange kUnsignedWord{0, kLargestWord};

// A whole number as the directory's 32-bit word, or nothing when it is no
// number or lies outside the range: cutting it to its low 32 bits would
// store another number than the one typed.
std::optional<uint32_t> Word32(std::string_view text, WordRange range) {
    const auto number = ParseWholeNumber(text);
    if (!number) return std::nullopt;
    const bool hexadecimal = text.find('$') != std::string_view::npos;
    const int64_t largest = hexadecimal ? kLargestWord : range.largestDecimal;
    if (*number < range.lowest || *number > largest) return std::nullopt;
    return static_cast<uint32_t>(*number);
}

// An interval's seconds, typed as a whole number or in the form the program
// shows ("2 days, 3 h, 4 min, 5 sec", the parts that are not zero, or
// "0 sec"), so that a shown interval saved unchanged keeps its value.
std::optional<uint32_t> IntervalSeconds(std::string_view text) {
    if (const auto seconds = Word32(text, kUnsignedWord)) return seconds;
    struct Unit {
        std::string_view name;
        uint64_t seconds;
    };
    static constexpr std::array<Unit, 4> kUnits{
        {{"days", 86400}, {"h", 3600}, {"min", 60}, {"sec", 1}}};
    constexpr auto kMost = static_cast<uint64_t>(kLargestWord);
    uint64_t total = 0;
    size_t nextUnit = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = std::min(text.find(',', start), text.size());
        const std::string_view part = platform::TrimBlanks(text.substr(start, comma - start));
        start = comma + 1;
        const size_t blank = part.find(' ');
        if (blank == std::string_view::npos || blank == 0) return std::nullopt;
        uint64_t count = 0;
        for (const char c : part.substr(0, blank)) {
            if (!platform::IsAsciiDigit(c) || count > kMost) return std::nullopt;
            count = count * 10 + static_cast<uint64_t>(c - '0');
        }
        // Each unit once, larger ones first, as they are shown.
        const std::string_view name = platform::TrimBlanks(part.substr(blank));
        size_t k = nextUnit;
        while (k < kUnits.size() && !platform::EqualsNoCase(kUnits[k].name, name))
            ++k;
        if (k == kUnits.size() || count > kMost) return std::nullopt;
        total += count * kUnits[k].seconds;
        if (total > kMost) return std::nullopt;
        nextUnit = k + 1;
    }
    return static_cast<uint32_t>(total);
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

// A postal address's lines, as it is shown: up to six, those missing empty.
Result ParsePostalAddress(std::string_view text, client::AttrValue& value) {
    std::vector<std::string> lines = SplitLines(text);
    if (lines.empty() || lines.size() > client::PostalAddressValue::kLines) return NotOfSyntax;
    lines.resize(client::PostalAddressValue::kLines);
    value.record = client::PostalAddressValue{std::move(lines)};
    return 0;
}

// The inverse of "(%d) %s:%s" of name space, volume and path; nothing when
// the name space is a number out of range.
std::optional<client::PathValue> ParsePath(std::string_view text) {
    std::string rest(text.substr(std::min(text.find_first_not_of("( "), text.size())));
    if (const size_t close = rest.find(") "); close != std::string::npos) {
        rest = rest.substr(0, close) + "#" + rest.substr(close + 2);
    }
    const size_t colon = rest.find(':');
    std::string volumePart = rest.substr(0, colon);
    client::PathValue path;
    if (colon != std::string::npos) path.path = rest.substr(colon + 1);
    if (const size_t hash = volumePart.find('#'); hash != std::string::npos) {
        const std::string_view nameSpace = std::string_view(volumePart).substr(0, hash);
        // A name space that is no number counts as 0; a number that is no
        // name space type is refused.
        if (ParseWholeNumber(nameSpace)) {
            const auto type = Word32(nameSpace, kUnsignedWord);
            if (!type) return std::nullopt;
            path.nameSpace = *type;
        }
        path.volume = volumePart.substr(hash + 1);
    } else {
        path.volume = std::move(volumePart);
    }
    return path;
}

Result ParseTypedName(std::string_view text, client::AttrValue& value) {
    auto fields = SplitHashFields(text);
    if (fields.size() != 3) return NotOfSyntax;
    const auto level = Word32(fields[1], kUnsignedWord);
    const auto interval = Word32(fields[2], kUnsignedWord);
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
            // A counter shows signed as an integer does (an account balance
            // may be below zero), so it takes back what it shows.
            const auto number = Word32(text, kSignedNumber);
            if (!number) return NotOfSyntax;
            value.record = client::IntegerValue{static_cast<int32_t>(*number)};
            break;
        }
        case S::Interval: {
            const auto number = IntervalSeconds(text);
            if (!number) return NotOfSyntax;
            value.record = client::IntervalValue{*number};
            break;
        }
        case S::FaxNumber: value.record = client::FaxNumberValue{std::string(text), 0, {}}; break;
        case S::EmailAddress: value.record = client::EmailAddressValue{0, std::string(text)}; break;
        case S::Path: {
            auto path = ParsePath(text);
            if (!path) return NotOfSyntax;
            value.record = std::move(*path);
            break;
        }
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
        case S::PoAddress: result = ParsePostalAddress(text, value); break;
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
