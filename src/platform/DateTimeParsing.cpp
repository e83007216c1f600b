// Reading a date and time that a person typed, in the order of the short date format.

#include "platform/DateTime.h"
#include "platform/DateTimeCalendar.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

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

// The literal text a pattern writes before each of its fields and after
// the last one, as the formatting writes it: quoted text unquoted, "/" and
// ":" as the separators they stand for.
struct PatternLiterals {
    struct Field {
        char kind = 0;  // d m y (numbers or month names), w (day name), h n s, a (marker), x
        std::string before;
    };
    std::vector<Field> fields;
    std::string after;

    // The text before the first field of this kind, or empty.
    std::string_view Before(char kind) const {
        for (const Field& field : fields) {
            if (field.kind == kind) return field.before;
        }
        return {};
    }
};

PatternLiterals LiteralsOf(std::string_view pattern, const DateTimeFormats& formats) {
    PatternLiterals literals;
    std::string text;
    auto field = [&literals, &text](char kind) {
        literals.fields.push_back({kind, std::move(text)});
        text.clear();
    };
    bool afterHour = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        const std::string_view rest = pattern.substr(i);
        if (c == '"' || c == '\'') {
            size_t end = pattern.find(c, i + 1);
            if (end == std::string_view::npos) end = pattern.size();
            text += pattern.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        const char letter = AsciiLower(c);
        if (letter == 'a') {
            const size_t marker = StartsWithNoCase(rest, "am/pm")  ? 5
                                  : StartsWithNoCase(rest, "ampm") ? 4
                                  : StartsWithNoCase(rest, "a/p")  ? 3
                                                                   : 0;
            if (marker > 0) {
                field('a');
                i += marker;
            } else {
                text += c;
                ++i;
            }
            continue;
        }
        if (letter != 'd' && letter != 'm' && letter != 'y' && letter != 'h' && letter != 'n' &&
            letter != 's' && letter != 't') {
            text += c == '/' ? formats.dateSeparator : c == ':' ? formats.timeSeparator : c;
            ++i;
            continue;
        }
        const size_t run = RunLength(pattern, i);
        if (letter == 'd') {
            field(run <= 2 ? 'd' : run <= 4 ? 'w' : 'x');
        } else if (letter == 'm') {
            field(afterHour && run <= 2 ? 'n' : 'm');
        } else {
            field(letter == 't' ? 'x' : letter);
        }
        afterHour = letter == 'h';
        i += run;
    }
    literals.after = std::move(text);
    return literals;
}

class TextReader {
public:
    // beyondAscii: the formats write text beyond ASCII between or after
    // their fields, which a typed time may then hold too.
    TextReader(std::string_view text, bool beyondAscii) : text_(text), beyondAscii_(beyondAscii) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    bool AtDigit() const { return !AtEnd() && IsAsciiDigit(text_[pos_]); }
    size_t Position() const { return pos_; }
    void Restore(size_t position) { pos_ = position; }
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

    // A pattern's literal text as the formatting wrote it; a blank in it
    // stands for any run of blanks, and its blanks at the end need not be
    // there (a caller takes what blanks follow). Text of blanks alone, or
    // none, is never taken.
    bool TakeLiteral(std::string_view literal) {
        while (!literal.empty() && (literal.back() == ' ' || literal.back() == '\t'))
            literal.remove_suffix(1);
        if (literal.empty()) return false;
        size_t at = pos_;
        for (size_t i = 0; i < literal.size();) {
            if (literal[i] == ' ' || literal[i] == '\t') {
                const size_t start = at;
                while (at < text_.size() && (text_[at] == ' ' || text_[at] == '\t'))
                    ++at;
                if (at == start) return false;
                while (i < literal.size() && (literal[i] == ' ' || literal[i] == '\t'))
                    ++i;
                continue;
            }
            if (at >= text_.size() || AsciiLower(text_[at]) != AsciiLower(literal[i])) return false;
            ++at;
            ++i;
        }
        pos_ = at;
        return true;
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

// What parts two fields of a date: the text the short date format writes
// there, or else what a person types (a unit beyond ASCII, blanks, one
// separator character).
bool TakeDateSeparator(TextReader& reader, std::string_view literal, char dateSeparator) {
    if (reader.TakeLiteral(literal)) {
        reader.SkipBlanks();
        return true;
    }
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
    // The long and the short time format's own texts come first: a unit and
    // a blank ("11시 14분 06초") part fields as well as a separator does.
    const PatternLiterals longTime = LiteralsOf(formats.longTime, formats);
    const PatternLiterals shortTime = LiteralsOf(formats.shortTime, formats);
    // Taken only when the field follows: the short time's text after its
    // minutes ("11時14分") is the long time's before its seconds.
    auto takeSeparator = [&reader, &formats, &longTime, &shortTime](char field) {
        const size_t start = reader.Position();
        if (reader.TakeLiteral(longTime.Before(field)) ||
            reader.TakeLiteral(shortTime.Before(field))) {
            reader.SkipBlanks();
            if (reader.AtDigit()) return true;
            reader.Restore(start);
        }
        return reader.TakeChar(':') || reader.TakeChar(formats.timeSeparator) ||
               reader.SkipBeyondAscii(TextReader::Before::Digit) > 0;
    };
    size_t digits = 0;
    const auto hour = reader.TakeNumber(2, digits);
    if (!hour || !takeSeparator('n')) return false;
    const auto minute = reader.TakeNumber(2, digits);
    if (!minute) return false;
    std::optional<int> second = 0;
    if (takeSeparator('s')) {
        second = reader.TakeNumber(2, digits);
        if (!second) return false;
    }
    // What the format writes after its last field (the unit of the seconds).
    if (!reader.TakeLiteral(longTime.after)) reader.TakeLiteral(shortTime.after);
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
    const PatternLiterals literals = LiteralsOf(formats.shortDate, formats);
    int day = 0;
    int month = 0;
    int year = 0;
    const std::array<char, 3> order = DateFieldOrder(formats.shortDate);
    for (size_t k = 0; k < order.size(); ++k) {
        if (k > 0 && !TakeDateSeparator(reader, literals.Before(order[k]), formats.dateSeparator)) {
            return std::nullopt;
        }
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
    // What the format writes after the date ("2001.03.12.", "12일"), else
    // a unit beyond ASCII.
    if (!reader.TakeLiteral(literals.after)) reader.SkipBeyondAscii(TextReader::Before::BlankOrEnd);
    const bool blank = reader.SkipBlanks() > 0;
    if (!reader.AtEnd()) {
        if (!blank || !TakeTime(reader, formats, parts)) return std::nullopt;
        reader.SkipBlanks();
        if (!reader.AtEnd()) return std::nullopt;
    }
    return parts;
}

}  // namespace vellrun::platform
