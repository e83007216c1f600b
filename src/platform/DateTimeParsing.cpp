// Reading a date and time that a person typed, in the order of the short date format.

#include "platform/DateTime.h"
#include "platform/DateTimeCalendar.h"

#include <algorithm>
#include <utility>

namespace vellrun::platform {

namespace {

using namespace detail;

// The order of day ('d'), month ('m') and year ('y') in a date pattern;
// year-month-day when the pattern does not show all three.
std::array<char, 3> DateFieldOrder(std::string_view pattern) {
    std::array<char, 3> order{};
    size_t found = 0;
    auto note = [&order, &found](char field) {
        for (size_t k = 0; k < found; ++k) {
            if (order[k] == field) return;
        }
        if (found < 3) order[found++] = field;
    };
    bool afterHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const size_t end = pattern.find(c, i + 1);
            i = end == std::string_view::npos ? pattern.size() : end + 1;
            continue;
        }
        const char letter = AsciiLower(c);
        if (!IsAsciiLetter(c)) {
            ++i;
            continue;
        }
        const size_t run = RunLength(pattern, i);
        if (letter == 'd' && run <= 2) note('d');
        if (letter == 'm' && !(afterHour && run <= 2)) note('m');
        if (letter == 'y') note('y');
        afterHour = letter == 'h';
        i += run;
    }
    if (found < 3) return {'y', 'm', 'd'};
    return order;
}

class TextReader {
public:
    // beyondAscii: the formats write text beyond ASCII between or after
    // their fields, which a typed time may then hold too.
    TextReader(std::string_view text, bool beyondAscii) : text_(text), beyondAscii_(beyondAscii) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    std::string_view Rest() const { return text_.substr(pos_); }
    void Skip(size_t count) { pos_ += count; }

    size_t SkipBlanks() {
        const size_t start = pos_;
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
            ++pos_;
        return pos_ - start;
    }

    // Text outside ASCII between and after the fields, as formats of some
    // languages write them (2009年10月30日 19時53分20秒): a run of bytes
    // of characters beyond ASCII, taken only when what follows it is what
    // the caller expects (a field's digit, or a blank or the end after the
    // last field). Returns how many bytes were taken.
    enum class Before { Digit, BlankOrEnd };
    size_t SkipBeyondAscii(Before before) {
        size_t end = pos_;
        while (end < text_.size() && static_cast<unsigned char>(text_[end]) >= 0x80)
            ++end;
        const bool fits = before == Before::Digit
                              ? end < text_.size() && IsAsciiDigit(text_[end])
                              : end == text_.size() || text_[end] == ' ' || text_[end] == '\t';
        if (!beyondAscii_ || !fits) return 0;
        const size_t taken = end - pos_;
        pos_ = end;
        return taken;
    }

    bool TakeChar(char c) {
        if (AtEnd() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    // An unsigned number of 1 to maxDigits digits; digits gets how many.
    std::optional<int> TakeNumber(size_t maxDigits, size_t& digits) {
        digits = 0;
        int value = 0;
        while (!AtEnd() && IsAsciiDigit(text_[pos_]) && digits < maxDigits) {
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        if (digits == 0 || (!AtEnd() && IsAsciiDigit(text_[pos_]))) return std::nullopt;
        return value;
    }

    // A whole word, without case; an empty word (a locale without am/pm
    // texts) is never taken.
    bool TakeWordNoCase(std::string_view word) {
        if (word.empty() || !StartsWithNoCase(Rest(), word)) return false;
        const size_t after = pos_ + word.size();
        if (after < text_.size() && IsAsciiLetter(text_[after])) return false;
        pos_ = after;
        return true;
    }

private:
    std::string_view text_;
    bool beyondAscii_ = false;
    size_t pos_ = 0;
};

bool HasBeyondAscii(std::string_view pattern) {
    return std::any_of(pattern.begin(), pattern.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

bool TakeDateSeparator(TextReader& reader, char dateSeparator) {
    size_t taken = reader.SkipBeyondAscii(TextReader::Before::Digit);
    taken += reader.SkipBlanks();
    for (char c : {'.', '/', '-', ',', dateSeparator}) {
        if (reader.TakeChar(c)) {
            ++taken;
            break;
        }
    }
    taken += reader.SkipBlanks();
    return taken > 0;
}

std::optional<int> TakeMonth(TextReader& reader, const DateTimeFormats& formats) {
    size_t digits = 0;
    if (auto month = reader.TakeNumber(2, digits)) return month;
    for (const auto* names : {&formats.longMonthNames, &formats.shortMonthNames}) {
        for (size_t k = 0; k < names->size(); ++k) {
            if (reader.TakeWordNoCase((*names)[k])) return static_cast<int>(k) + 1;
        }
    }
    return std::nullopt;
}

// A day name at the start of a date, as a format with "ddd" or "dddd" shows
// it, and what parts it from the date. The name adds nothing the date does not say.
void SkipDayName(TextReader& reader, const DateTimeFormats& formats) {
    for (const auto* names : {&formats.longDayNames, &formats.shortDayNames}) {
        for (const std::string& name : *names) {
            if (reader.TakeWordNoCase(name)) {
                reader.SkipBlanks();
                if (reader.TakeChar(',')) reader.SkipBlanks();
                return;
            }
        }
    }
}

bool TakeTime(TextReader& reader, const DateTimeFormats& formats, DateTimeParts& parts) {
    auto takeSeparator = [&reader, &formats] {
        return reader.TakeChar(':') || reader.TakeChar(formats.timeSeparator) ||
               reader.SkipBeyondAscii(TextReader::Before::Digit) > 0;
    };
    size_t digits = 0;
    const auto hour = reader.TakeNumber(2, digits);
    if (!hour || !takeSeparator()) return false;
    const auto minute = reader.TakeNumber(2, digits);
    if (!minute) return false;
    std::optional<int> second = 0;
    if (takeSeparator()) {
        second = reader.TakeNumber(2, digits);
        if (!second) return false;
    }
    std::optional<bool> pm;
    const auto takeMarker = [&reader, &formats, &pm] {
        reader.SkipBlanks();
        for (const auto& [word, isPm] : {std::pair<std::string_view, bool>{formats.amText, false},
                                         {formats.pmText, true},
                                         {"am", false},
                                         {"pm", true},
                                         {"a", false},
                                         {"p", true}}) {
            if (reader.TakeWordNoCase(word)) {
                pm = isPm;
                return;
            }
        }
    };
    // The am/pm text, or a unit after the last field (秒) and then the text.
    takeMarker();
    if (!pm && reader.SkipBeyondAscii(TextReader::Before::BlankOrEnd) > 0) takeMarker();
    if (*minute > 59 || *second > 59) return false;
    if (pm) {
        if (*hour > 12) return false;
        parts.hour = *hour % 12 + (*pm ? 12 : 0);
    } else {
        if (*hour > 23) return false;
        parts.hour = *hour;
    }
    parts.minute = *minute;
    parts.second = *second;
    return true;
}

}  // namespace

std::optional<DateTimeParts> ParseDateTime(std::string_view text, const DateTimeFormats& formats) {
    TextReader reader(text, HasBeyondAscii(formats.shortDate) || HasBeyondAscii(formats.longTime) ||
                                HasBeyondAscii(formats.shortTime));
    reader.SkipBlanks();
    SkipDayName(reader, formats);
    int day = 0;
    int month = 0;
    int year = 0;
    const std::array<char, 3> order = DateFieldOrder(formats.shortDate);
    for (size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && !TakeDateSeparator(reader, formats.dateSeparator)) return std::nullopt;
        size_t digits = 0;
        std::optional<int> value;
        switch (order[k]) {
            case 'd': value = reader.TakeNumber(2, digits); break;
            case 'm': value = TakeMonth(reader, formats); break;
            default:
                value = reader.TakeNumber(4, digits);
                if (value && digits <= 2) *value += *value < 50 ? 2000 : 1900;
                break;
        }
        if (!value) return std::nullopt;
        (order[k] == 'd' ? day : order[k] == 'm' ? month : year) = *value;
    }
    if (!IsValidDate(year, month, day)) return std::nullopt;

    DateTimeParts parts;
    parts.year = year;
    parts.month = month;
    parts.day = day;
    parts.dayOfWeek = DayOfWeek(year, month, day);
    reader.SkipBeyondAscii(TextReader::Before::BlankOrEnd);
    const bool blank = reader.SkipBlanks() > 0;
    if (!reader.AtEnd()) {
        if (!blank || !TakeTime(reader, formats, parts)) return std::nullopt;
        reader.SkipBlanks();
        if (!reader.AtEnd()) return std::nullopt;
    }
    return parts;
}

}  // namespace vellrun::platform
