// Translating a locale's strftime date and time formats into the program's
// own pattern language, and taking the locale's names and am/pm texts.

#include "platform/DateTime.h"
#include "platform/DateTimeCalendar.h"
#include "platform/TextCollator.h"
#include "platform/TextEncoding.h"

#include <optional>
#include <string>
#include <vector>

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace vellrun::platform {

namespace {

using namespace detail;

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
    while (i < format.size() && IsAsciiDigit(format[i]))
        ++i;
    if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
    if (i >= format.size()) return format.size();
    const char conversion = format[i];
    size_t length = i + 1;
    // An unknown conversion letter outside ASCII goes whole, never a part of
    // its UTF-8 sequence (which would leave the rest as a broken literal).
    while (length < format.size() && IsUtf8Continuation(format[length]))
        ++length;
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
            if (byte > ' ' && byte < 0x80 && !IsAsciiLetter(c) && !IsAsciiDigit(c)) return c;
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
            AsciiLower(pieces[k - 1].text.back()) == AsciiLower(piece.text.front())) {
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
        const char letter = AsciiLower(piece.text.front());
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

// The locale's texts arrive in its own code set (EUC-JP, KOI8-R,
// ISO-8859-9, ...), made UTF-8 here. A code set iconv cannot convert from,
// or a text that is not in it, is read as the directory's 8-bit text is.
class LocaleTextReader {
public:
    explicit LocaleTextReader(locale_t locale) : locale_(locale) {
        const char* codeset = nl_langinfo_l(CODESET, locale);
        const std::string_view name = codeset ? codeset : "";
        if (name.empty() || name == "UTF-8" || name == "ANSI_X3.4-1968") return;
        converter_ = iconv_open("UTF-8", codeset);
    }
    ~LocaleTextReader() {
        if (converter_ != kNoConverter) iconv_close(converter_);
    }
    LocaleTextReader(const LocaleTextReader&) = delete;
    LocaleTextReader& operator=(const LocaleTextReader&) = delete;

    std::string Text(nl_item item) const {
        const char* text = nl_langinfo_l(item, locale_);
        if (text == nullptr) return {};
        const std::string_view bytes(text);
        if (converter_ != kNoConverter) {
            if (auto converted = Converted(bytes)) return std::move(*converted);
        }
        return BytesToUtf8(bytes);
    }

private:
    static inline const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

    std::optional<std::string> Converted(std::string_view bytes) const {
        iconv(converter_, nullptr, nullptr, nullptr, nullptr);  // a fresh start
        std::string input(bytes);
        std::string out(bytes.size() * 4 + 16, '\0');
        char* in = input.data();
        size_t inLeft = input.size();
        char* to = out.data();
        size_t outLeft = out.size();
        if (iconv(converter_, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1) ||
            iconv(converter_, nullptr, nullptr, &to, &outLeft) == static_cast<size_t>(-1)) {
            return std::nullopt;
        }
        out.resize(out.size() - outLeft);
        if (!IsValidUtf8(out)) return std::nullopt;
        return out;
    }

    locale_t locale_;
    iconv_t converter_ = kNoConverter;
};

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

namespace {

// The formats, names and am/pm texts of one locale.
DateTimeFormats FormatsOf(locale_t locale) {
    const LocaleTextReader reader(locale);
    const std::string dateFormat = reader.Text(D_FMT);
    const std::string timeFormat = reader.Text(T_FMT);
    const std::string ampmFormat = reader.Text(T_FMT_AMPM);
    DateTimeFormats formats = DateTimeFormats::FromStrftime(dateFormat, timeFormat, ampmFormat);

    auto take = [&reader](std::string& target, nl_item item) {
        std::string text = reader.Text(item);
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
    return formats;
}

}  // namespace

DateTimeFormats DateTimeFormats::FromLocale(const char* localeName) {
    // The code set of the texts is that of the same locale's LC_CTYPE,
    // whatever the environment's LC_CTYPE is.
    std::string name = localeName ? std::string(localeName) : EnvironmentLocaleName("LC_TIME");
    if (name.empty()) name = "C";
    locale_t locale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str(), locale_t{});
    if (locale == locale_t{})
        locale = newlocale(LC_TIME_MASK, localeName ? localeName : "", locale_t{});
    if (locale == locale_t{}) return DateTimeFormats{};
    DateTimeFormats formats = FormatsOf(locale);
    freelocale(locale);
    return formats;
}

}  // namespace vellrun::platform
