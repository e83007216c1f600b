#include "platform/DateTime.h"

#include "platform/TextEncoding.h"

#include <charconv>
#include <limits>
#include <vector>

#include <langinfo.h>
#include <locale.h>
#include <time.h>

namespace vellrun::platform {

namespace {

// Patterns that name the short or long date or time format expand them; a
// format that names itself must not recurse for ever.
constexpr int kMaxPatternDepth = 3;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.empty() || text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Lower(text[i]) != Lower(prefix[i])) return false;
    }
    return true;
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

// 0 Sunday to 6 Saturday, proleptic Gregorian calendar.
int DayOfWeek(int year, int month, int day) {
    static constexpr int kMonthOffset[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kMonthOffset[month - 1] + day) % 7;
}

std::string Number(int value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < static_cast<size_t>(width)) {
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

size_t RunLength(std::string_view pattern, size_t pos) {
    size_t end = pos + 1;
    while (end < pattern.size() && Lower(pattern[end]) == Lower(pattern[pos]))
        ++end;
    return end - pos;
}

// Whether the pattern (outside its literals) shows a 12-hour marker, which
// makes every hour in it a 12-hour one.
bool HasAmPmMarker(std::string_view pattern) {
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const size_t end = pattern.find(c, i + 1);
            if (end == std::string_view::npos) return false;
            i = end;
            continue;
        }
        const std::string_view rest = pattern.substr(i);
        if (StartsWithNoCase(rest, "am/pm") || StartsWithNoCase(rest, "a/p") ||
            StartsWithNoCase(rest, "ampm")) {
            return true;
        }
    }
    return false;
}

void FormatInto(std::string& out, std::string_view pattern, const DateTimeParts& parts,
                const DateTimeFormats& formats, int depth) {
    if (depth > kMaxPatternDepth) return;
    const bool twelveHour = HasAmPmMarker(pattern);
    const bool morning = parts.hour < 12;
    const bool validMonth = parts.month >= 1 && parts.month <= 12;
    // Names follow the date itself, so a caller need not fill dayOfWeek.
    const int dayOfWeek = IsValidDate(parts.year, parts.month, parts.day)
                              ? DayOfWeek(parts.year, parts.month, parts.day)
                              : ((parts.dayOfWeek % 7) + 7) % 7;
    int hour = parts.hour;
    if (twelveHour) hour = (hour % 12 == 0) ? 12 : hour % 12;
    // "m" right after an hour field means minutes ("hh:mm"), else the month.
    bool afterHour = false;

    size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        const char letter = Lower(c);
        const std::string_view rest = pattern.substr(i);
        if (c == '"' || c == '\'') {
            size_t end = pattern.find(c, i + 1);
            if (end == std::string_view::npos) end = pattern.size();
            out += pattern.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        if (letter == 'a') {
            if (StartsWithNoCase(rest, "am/pm")) {
                out += morning ? rest.substr(0, 2) : rest.substr(3, 2);  // the case as written
                i += 5;
            } else if (StartsWithNoCase(rest, "a/p")) {
                out += morning ? rest[0] : rest[2];
                i += 3;
            } else if (StartsWithNoCase(rest, "ampm")) {
                out += morning ? formats.amText : formats.pmText;
                i += 4;
            } else {
                out += c;
                ++i;
            }
            continue;
        }
        const size_t run = RunLength(pattern, i);
        switch (letter) {
            case 'd':
                if (run <= 2) {
                    out += Number(parts.day, static_cast<int>(run));
                } else if (run == 3) {
                    out += formats.shortDayNames[static_cast<size_t>(dayOfWeek)];
                } else if (run == 4) {
                    out += formats.longDayNames[static_cast<size_t>(dayOfWeek)];
                } else {
                    FormatInto(out, run == 5 ? formats.shortDate : formats.longDate, parts, formats,
                               depth + 1);
                }
                break;
            case 'm':
                if (afterHour && run <= 2) {
                    out += Number(parts.minute, static_cast<int>(run));
                } else if (run <= 2) {
                    out += Number(parts.month, static_cast<int>(run));
                } else if (validMonth) {
                    const auto index = static_cast<size_t>(parts.month - 1);
                    out +=
                        run == 3 ? formats.shortMonthNames[index] : formats.longMonthNames[index];
                }
                break;
            case 'y': out += run <= 2 ? Number(parts.year % 100, 2) : Number(parts.year, 4); break;
            case 'h': out += Number(hour, run == 1 ? 1 : 2); break;
            case 'n': out += Number(parts.minute, run == 1 ? 1 : 2); break;
            case 's': out += Number(parts.second, run == 1 ? 1 : 2); break;
            case 't':
                FormatInto(out, run == 1 ? formats.shortTime : formats.longTime, parts, formats,
                           depth + 1);
                break;
            default:
                if (c == '/') {
                    out += formats.dateSeparator;
                } else if (c == ':') {
                    out += formats.timeSeparator;
                } else {
                    out += c;
                }
                ++i;
                continue;  // a literal keeps the hour context ("hh:mm")
        }
        afterHour = letter == 'h';
        i += run;
    }
}

DateTimeParts PartsOfTm(const struct tm& t) {
    DateTimeParts parts;
    parts.year = t.tm_year + 1900;
    parts.month = t.tm_mon + 1;
    parts.day = t.tm_mday;
    parts.hour = t.tm_hour;
    parts.minute = t.tm_min;
    parts.second = t.tm_sec;
    parts.dayOfWeek = t.tm_wday;
    return parts;
}

// ---- Reading typed dates -------------------------------------------------

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
        const char letter = Lower(c);
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
    explicit TextReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    std::string_view Rest() const { return text_.substr(pos_); }
    void Skip(size_t count) { pos_ += count; }

    size_t SkipBlanks() {
        const size_t start = pos_;
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
            ++pos_;
        return pos_ - start;
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
        while (!AtEnd() && IsDigit(text_[pos_]) && digits < maxDigits) {
            value = value * 10 + (text_[pos_] - '0');
            ++pos_;
            ++digits;
        }
        if (digits == 0 || (!AtEnd() && IsDigit(text_[pos_]))) return std::nullopt;
        return value;
    }

    bool TakeWordNoCase(std::string_view word) {
        if (!StartsWithNoCase(Rest(), word)) return false;
        const size_t after = pos_ + word.size();
        if (after < text_.size() && IsAsciiLetter(text_[after])) return false;
        pos_ = after;
        return true;
    }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

bool TakeDateSeparator(TextReader& reader, char dateSeparator) {
    size_t taken = reader.SkipBlanks();
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

bool TakeTime(TextReader& reader, const DateTimeFormats& formats, DateTimeParts& parts) {
    auto takeSeparator = [&reader, &formats] {
        return reader.TakeChar(':') || reader.TakeChar(formats.timeSeparator);
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
    reader.SkipBlanks();
    std::optional<bool> pm;
    for (const auto& [word, isPm] : {std::pair<std::string_view, bool>{formats.amText, false},
                                     {formats.pmText, true},
                                     {"am", false},
                                     {"pm", true},
                                     {"a", false},
                                     {"p", true}}) {
        if (reader.TakeWordNoCase(word)) {
            pm = isPm;
            break;
        }
    }
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

// ---- Translating a locale's strftime formats -----------------------------

// One step of a translated format: a field in the pattern language, or
// literal text still to be quoted.
struct Piece {
    bool field = false;
    std::string text;
};

struct StrftimeSource {
    std::string_view date;
    std::string_view time;
    std::string_view ampmTime;
};

// One format being translated, with what it was seen to hold.
struct Translation {
    const StrftimeSource& source;
    std::vector<Piece> pieces;
    bool twelveHourField = false;
    bool marker = false;
};

void TranslateInto(Translation& translation, std::string_view format, int depth);

void AddField(std::vector<Piece>& pieces, std::string_view token) {
    pieces.push_back({true, std::string(token)});
}

void AddLiteral(std::vector<Piece>& pieces, std::string_view text) {
    if (!pieces.empty() && !pieces.back().field) {
        pieces.back().text += text;
    } else {
        pieces.push_back({false, std::string(text)});
    }
}

// Returns the length of the conversion at format[0] == '%' that it handled.
size_t TranslateConversion(Translation& translation, std::string_view format, int depth) {
    std::vector<Piece>& pieces = translation.pieces;
    const StrftimeSource& source = translation.source;
    size_t i = 1;
    bool unpadded = false;
    // GNU flags and field width, then the E or O modifier.
    while (i < format.size() &&
           std::string_view("_-0^#").find(format[i]) != std::string_view::npos) {
        if (format[i] == '-' || format[i] == '_') unpadded = true;
        ++i;
    }
    while (i < format.size() && IsDigit(format[i]))
        ++i;
    if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
    if (i >= format.size()) return format.size();
    const char conversion = format[i];
    const size_t length = i + 1;
    auto padded = [unpadded](std::string_view twoDigits) {
        return unpadded ? twoDigits.substr(1) : twoDigits;
    };
    switch (conversion) {
        case 'd': AddField(pieces, padded("dd")); break;
        case 'e': AddField(pieces, "d"); break;
        case 'm': AddField(pieces, padded("mm")); break;
        case 'b':
        case 'h': AddField(pieces, "mmm"); break;
        case 'B': AddField(pieces, "mmmm"); break;
        case 'y': AddField(pieces, "yy"); break;
        case 'Y': AddField(pieces, "yyyy"); break;
        case 'H': AddField(pieces, padded("hh")); break;
        case 'I':
            AddField(pieces, padded("hh"));
            translation.twelveHourField = true;
            break;
        case 'k': AddField(pieces, "h"); break;
        case 'l':
            AddField(pieces, "h");
            translation.twelveHourField = true;
            break;
        case 'M': AddField(pieces, padded("nn")); break;
        case 'S': AddField(pieces, padded("ss")); break;
        case 'p':
        case 'P':
            AddField(pieces, "ampm");
            translation.marker = true;
            break;
        case 'A': AddField(pieces, "dddd"); break;
        case 'a': AddField(pieces, "ddd"); break;
        case 'D': TranslateInto(translation, "%m/%d/%y", depth + 1); break;
        case 'F': TranslateInto(translation, "%Y-%m-%d", depth + 1); break;
        case 'T': TranslateInto(translation, "%H:%M:%S", depth + 1); break;
        case 'R': TranslateInto(translation, "%H:%M", depth + 1); break;
        case 'r':
            TranslateInto(translation, source.ampmTime.empty() ? "%I:%M:%S %p" : source.ampmTime,
                          depth + 1);
            break;
        case 'x': TranslateInto(translation, source.date, depth + 1); break;
        case 'X': TranslateInto(translation, source.time, depth + 1); break;
        case 'n':
        case 't': AddLiteral(pieces, " "); break;
        case '%': AddLiteral(pieces, "%"); break;
        default: break;  // time zones, week numbers, epoch seconds: no such field here
    }
    return length;
}

void TranslateInto(Translation& translation, std::string_view format, int depth) {
    if (depth > kMaxPatternDepth) return;
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] == '%') {
            i += TranslateConversion(translation, format.substr(i), depth);
        } else {
            AddLiteral(translation.pieces, format.substr(i, 1));
            ++i;
        }
    }
}

std::vector<Piece> Translate(std::string_view format, const StrftimeSource& source) {
    Translation translation{source, {}};
    TranslateInto(translation, format, 0);
    std::vector<Piece>& pieces = translation.pieces;
    // A 12-hour field without its marker would read as a 24-hour one here.
    if (translation.twelveHourField && !translation.marker) {
        AddLiteral(pieces, " ");
        AddField(pieces, "ampm");
    }
    // Dropped conversions (a time zone, say) leave their blanks behind.
    while (!pieces.empty() && !pieces.back().field &&
           pieces.back().text.find_first_not_of(' ') == std::string::npos) {
        pieces.pop_back();
    }
    while (!pieces.empty() && !pieces.front().field &&
           pieces.front().text.find_first_not_of(' ') == std::string::npos) {
        pieces.erase(pieces.begin());
    }
    return std::move(pieces);
}

// The first separator character between two fields, or 0.
char SeparatorOf(const std::vector<Piece>& pieces) {
    for (size_t k = 1; k + 1 < pieces.size(); ++k) {
        if (pieces[k].field || !pieces[k - 1].field) continue;
        for (char c : pieces[k].text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte > ' ' && byte < 0x80 && !IsAsciiLetter(c) && !IsDigit(c)) return c;
        }
    }
    return 0;
}

// Literal text in the pattern language: letters, quotes and the separator
// characters that do not mean themselves go inside quotation marks.
void AppendQuotedLiteral(std::string& out, std::string_view text, char dateSeparator,
                         char timeSeparator) {
    auto special = [&](char c) {
        return IsAsciiLetter(c) || c == '"' || c == '\'' || (c == '/' && dateSeparator != '/') ||
               (c == ':' && timeSeparator != ':');
    };
    size_t i = 0;
    while (i < text.size()) {
        if (!special(text[i])) {
            out += text[i++];
            continue;
        }
        const char quote = text[i] == '"' ? '\'' : '"';
        size_t end = i;
        while (end < text.size() && special(text[end]) && text[end] != quote)
            ++end;
        out += quote;
        out += text.substr(i, end - i);
        out += quote;
        i = end;
    }
}

std::string Render(const std::vector<Piece>& pieces, char dateSeparator, char timeSeparator) {
    std::string out;
    for (size_t k = 0; k < pieces.size(); ++k) {
        const Piece& piece = pieces[k];
        if (!piece.field) {
            AppendQuotedLiteral(out, piece.text, dateSeparator, timeSeparator);
            continue;
        }
        // Two fields of the same letter side by side would read as one longer
        // field ("dd" + "dd" is a day name): an empty literal keeps them apart.
        if (k > 0 && pieces[k - 1].field &&
            Lower(pieces[k - 1].text.back()) == Lower(piece.text.front())) {
            out += "\"\"";
        }
        out += piece.text;
    }
    return out;
}

// The time pieces without the seconds: with the unit written right after
// them ("%H時%M分%S秒", "%Hh%Mm%Ss"), or else with the separator in front of
// them ("%H:%M:%S %p", "%H.%M.%S").
std::vector<Piece> WithoutSeconds(std::vector<Piece> pieces) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    for (size_t k = 0; k < pieces.size(); ++k) {
        if (!pieces[k].field || (pieces[k].text != "ss" && pieces[k].text != "s")) continue;
        const bool suffix =
            k + 1 < pieces.size() && !pieces[k + 1].field && !isBlank(pieces[k + 1].text[0]);
        if (suffix) {
            std::string& after = pieces[k + 1].text;
            const size_t blank = after.find_first_of(" \t");
            after.erase(0, blank == std::string::npos ? after.size() : blank);
            if (after.empty()) pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(k) + 1);
        } else if (k > 0 && !pieces[k - 1].field &&
                   pieces[k - 1].text.find_first_of(" \t") == std::string::npos) {
            pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(k) - 1);
            --k;
        }
        pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(k));
        break;
    }
    return pieces;
}

std::string LongDateOf(const std::vector<Piece>& datePieces) {
    std::string order;
    for (const Piece& piece : datePieces) {
        if (!piece.field) continue;
        const char letter = Lower(piece.text.front());
        const bool numericDay = letter == 'd' && piece.text.size() <= 2;
        if ((numericDay || letter == 'm' || letter == 'y') &&
            order.find(letter) == std::string::npos) {
            order += letter;
        }
    }
    if (order == "dmy") return "dddd, dd mmmm yyyy";
    if (order == "ymd") return "dddd, yyyy mmmm dd";
    return "dddd, mmmm dd, yyyy";
}

std::string LocaleText(nl_item item, locale_t locale) {
    const char* text = nl_langinfo_l(item, locale);
    // Names of a locale with an 8-bit code set arrive in that code set.
    return text ? BytesToUtf8(std::string_view(text)) : std::string();
}

}  // namespace

DateTimeFormats DateTimeFormats::FromStrftime(std::string_view dateFormat,
                                              std::string_view timeFormat,
                                              std::string_view ampmTimeFormat) {
    DateTimeFormats formats;
    const StrftimeSource source{dateFormat, timeFormat, ampmTimeFormat};
    const std::vector<Piece> date = Translate(dateFormat, source);
    const std::vector<Piece> time = Translate(timeFormat, source);
    if (char separator = SeparatorOf(date)) formats.dateSeparator = separator;
    if (char separator = SeparatorOf(time)) formats.timeSeparator = separator;
    const char dateSep = formats.dateSeparator;
    const char timeSep = formats.timeSeparator;
    if (!date.empty()) {
        formats.shortDate = Render(date, dateSep, timeSep);
        formats.longDate = LongDateOf(date);
    }
    if (!time.empty()) {
        formats.longTime = Render(time, dateSep, timeSep);
        formats.shortTime = Render(WithoutSeconds(time), dateSep, timeSep);
    }
    return formats;
}

DateTimeFormats DateTimeFormats::FromLocale(const char* localeName) {
    locale_t locale = newlocale(LC_TIME_MASK, localeName ? localeName : "", locale_t{});
    if (locale == locale_t{}) return DateTimeFormats{};
    const std::string dateFormat = LocaleText(D_FMT, locale);
    const std::string timeFormat = LocaleText(T_FMT, locale);
    const std::string ampmFormat = LocaleText(T_FMT_AMPM, locale);
    DateTimeFormats formats = FromStrftime(dateFormat, timeFormat, ampmFormat);

    auto take = [locale](std::string& target, nl_item item) {
        std::string text = LocaleText(item, locale);
        if (!text.empty()) target = std::move(text);
    };
    take(formats.amText, AM_STR);
    take(formats.pmText, PM_STR);
    static constexpr nl_item kShortMonths[12] = {ABMON_1, ABMON_2,  ABMON_3,  ABMON_4,
                                                 ABMON_5, ABMON_6,  ABMON_7,  ABMON_8,
                                                 ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    static constexpr nl_item kLongMonths[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                                MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
    static constexpr nl_item kShortDays[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4,
                                              ABDAY_5, ABDAY_6, ABDAY_7};
    static constexpr nl_item kLongDays[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
    for (size_t k = 0; k < 12; ++k) {
        take(formats.shortMonthNames[k], kShortMonths[k]);
        take(formats.longMonthNames[k], kLongMonths[k]);
    }
    for (size_t k = 0; k < 7; ++k) {
        take(formats.shortDayNames[k], kShortDays[k]);
        take(formats.longDayNames[k], kLongDays[k]);
    }
    freelocale(locale);
    return formats;
}

std::string FormatDateTime(std::string_view pattern, const DateTimeParts& parts,
                           const DateTimeFormats& formats) {
    std::string out;
    FormatInto(out, pattern, parts, formats, 0);
    return out;
}

DateTimeParts LocalTimeOf(uint32_t seconds) {
    // localtime_r, unlike localtime, need not look at $TZ again.
    tzset();
    const time_t time = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr) return UtcTimeOf(seconds);
    return PartsOfTm(local);
}

DateTimeParts UtcTimeOf(uint32_t seconds) {
    const time_t time = static_cast<time_t>(seconds);
    struct tm utc {};
    if (gmtime_r(&time, &utc) == nullptr) return DateTimeParts{};
    return PartsOfTm(utc);
}

std::optional<uint32_t> SecondsOfLocalTime(const DateTimeParts& local) {
    if (!IsValidDate(local.year, local.month, local.day) || local.hour < 0 || local.hour > 23 ||
        local.minute < 0 || local.minute > 59 || local.second < 0 || local.second > 59) {
        return std::nullopt;
    }
    struct tm t {};
    t.tm_year = local.year - 1900;
    t.tm_mon = local.month - 1;
    t.tm_mday = local.day;
    t.tm_hour = local.hour;
    t.tm_min = local.minute;
    t.tm_sec = local.second;
    t.tm_isdst = -1;  // whether daylight time applies is the rules' business
    const time_t seconds = mktime(&t);
    if (seconds < 0 || seconds > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    return static_cast<uint32_t>(seconds);
}

std::optional<DateTimeParts> ParseDateTime(std::string_view text, const DateTimeFormats& formats) {
    TextReader reader(text);
    reader.SkipBlanks();
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
    const bool blank = reader.SkipBlanks() > 0;
    if (!reader.AtEnd()) {
        if (!blank || !TakeTime(reader, formats, parts)) return std::nullopt;
        reader.SkipBlanks();
        if (!reader.AtEnd()) return std::nullopt;
    }
    return parts;
}

}  // namespace vellrun::platform
