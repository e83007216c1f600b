#include "platform/DateTime.h"

#include "platform/DateTimeCalendar.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <time.h>

namespace vellrun::platform {

namespace {

using namespace detail;

// What one piece of a pattern shows.
enum class Field : uint8_t {
    Text,  // the piece's own text
    Day,
    ShortDayName,
    LongDayName,
    Month,
    ShortMonthName,
    LongMonthName,
    Year2,
    Year4,
    Hour,
    Hour12,
    Minute,
    Second,
    Marker,      // "am/pm", "a/p": the morning's letters or the afternoon's, as written
    MarkerText,  // "ampm": the formats' am or pm text
    DateSeparator,
    TimeSeparator,
};

struct Piece {
    Field field = Field::Text;
    uint8_t width = 0;    // digits at least; a marker's letters for either half of the day
    uint32_t offset = 0;  // where a kept pattern keeps the piece's text
    uint32_t size = 0;
};

// The four formats a pattern can name, in the order of the bits that say
// which a pattern names.
constexpr std::array<std::string DateTimeFormats::*, 4> kNamedFormats = {
    &DateTimeFormats::shortDate, &DateTimeFormats::longDate, &DateTimeFormats::shortTime,
    &DateTimeFormats::longTime};

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

// What one format call may still spend. Formats that name formats multiply
// (a short date of "ddddd ddddd ..." whose long date does the same), so a
// pattern of a few hundred bytes could otherwise ask for megabytes of text
// or millions of steps.
struct FormatBudget {
    size_t work = kMaxFormatWork;  // pattern bytes looked at, fields formatted
    bool Spend(size_t units) {
        if (work < units) {
            work = 0;
            return false;
        }
        work -= units;
        return true;
    }
};

// Reads a pattern into its pieces, in the order they show, and hands each to
// the sink: Put(piece, text) with the piece's text (a marker's whole
// "am/pm" or "a/p"), Named(index) before a named format is read, and
// Full() when the sink wants no more.
template <typename Sink>
void ReadPattern(Sink& sink, std::string_view pattern, const DateTimeFormats& formats, int depth,
                 FormatBudget& budget) {
    if (depth > kMaxPatternDepth) return;
    if (sink.Full() || !budget.Spend(pattern.size() + 1)) return;
    const bool twelveHour = HasAmPmMarker(pattern);
    const auto named = [&](size_t index) {
        sink.Named(index);
        ReadPattern(sink, formats.*kNamedFormats[index], formats, depth + 1, budget);
    };
    const auto put = [&](Field field, size_t width = 0, std::string_view text = {}) {
        sink.Put(Piece{field, static_cast<uint8_t>(width)}, text);
    };
    // "m" right after an hour field means minutes ("hh:mm"), else the month.
    bool afterHour = false;

    size_t i = 0;
    while (i < pattern.size()) {
        if (sink.Full() || !budget.Spend(1)) return;
        const char c = pattern[i];
        const char letter = AsciiLower(c);
        const std::string_view rest = pattern.substr(i);
        if (c == '"' || c == '\'') {
            size_t end = pattern.find(c, i + 1);
            if (end == std::string_view::npos) end = pattern.size();
            put(Field::Text, 0, pattern.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (letter == 'a') {
            if (StartsWithNoCase(rest, "am/pm")) {
                put(Field::Marker, 2, rest.substr(0, 5));
                i += 5;
            } else if (StartsWithNoCase(rest, "a/p")) {
                put(Field::Marker, 1, rest.substr(0, 3));
                i += 3;
            } else if (StartsWithNoCase(rest, "ampm")) {
                put(Field::MarkerText);
                i += 4;
            } else {
                put(Field::Text, 0, rest.substr(0, 1));
                ++i;
            }
            continue;
        }
        const size_t run = RunLength(pattern, i);
        const size_t width = run == 1 ? 1 : 2;
        switch (letter) {
            case 'd':
                if (run <= 2) {
                    put(Field::Day, run);
                } else if (run == 3) {
                    put(Field::ShortDayName);
                } else if (run == 4) {
                    put(Field::LongDayName);
                } else {
                    named(run == 5 ? 0 : 1);
                }
                break;
            case 'm':
                if (afterHour && run <= 2) {
                    put(Field::Minute, run);
                } else if (run <= 2) {
                    put(Field::Month, run);
                } else {
                    put(run == 3 ? Field::ShortMonthName : Field::LongMonthName);
                }
                break;
            case 'y': put(run <= 2 ? Field::Year2 : Field::Year4); break;
            case 'h': put(twelveHour ? Field::Hour12 : Field::Hour, width); break;
            case 'n': put(Field::Minute, width); break;
            case 's': put(Field::Second, width); break;
            case 't': named(run == 1 ? 2 : 3); break;
            default:
                if (c == '/') {
                    put(Field::DateSeparator);
                } else if (c == ':') {
                    put(Field::TimeSeparator);
                } else {
                    put(Field::Text, 0, rest.substr(0, 1));
                }
                ++i;
                continue;  // a literal keeps the hour context ("hh:mm")
        }
        afterHour = letter == 'h';
        i += run;
    }
}

// Gathers a text in a small buffer and appends it to the string when the
// buffer is full and at the end: a time's few short fields cost a store or
// two each.
class TextWriter {
public:
    explicit TextWriter(std::string& out) : out_(out) {}
    // The bytes written so far.
    size_t Size() const { return flushed_ + used_; }
    void Put(char c) {
        Room(1);
        buffer_[used_++] = c;
    }
    void Put(std::string_view text) {
        if (text.size() > buffer_.size() - used_) {
            Flush();
            if (text.size() > buffer_.size()) {
                out_ += text;
                flushed_ += text.size();
                return;
            }
        }
        char* at = buffer_.data() + used_;
        for (const char c : text)
            *at++ = c;
        used_ += text.size();
    }
    // At least width digits, after a minus sign when negative.
    void PutNumber(int value, int width) {
        if (value >= 0 && value < 100 && width <= 2) {
            Room(2);
            if (value < 10 && width < 2) {
                buffer_[used_++] = static_cast<char>('0' + value);
            } else {
                PutTwoDigits(value);
            }
        } else if (value >= 1000 && value < 10000 && width <= 4) {
            Room(4);  // a year
            PutTwoDigits(value / 100);
            PutTwoDigits(value % 100);
        } else {
            PutAnyNumber(value, width);
        }
    }
    [[gnu::noinline]] void Flush() {
        out_.append(buffer_.data(), used_);
        flushed_ += used_;
        used_ = 0;
    }

private:
    [[gnu::noinline]] void PutAnyNumber(int value, int width) {
        std::array<char, 12> digits;  // a sign and ten digits; widths are at most 4
        char* const end = digits.data() + digits.size();
        char* at = end;
        auto magnitude = static_cast<unsigned>(value);
        if (value < 0) magnitude = 0u - magnitude;
        do {
            *--at = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        while (end - at < width)
            *--at = '0';
        if (value < 0) *--at = '-';
        Put(std::string_view(at, static_cast<size_t>(end - at)));
    }
    void Room(size_t size) {
        if (buffer_.size() - used_ < size) Flush();
    }
    // 00 to 99, where Room has been made.
    void PutTwoDigits(int value) {
        static constexpr auto kDigits = [] {
            std::array<char, 200> digits{};
            for (size_t i = 0; i < 100; ++i) {
                digits[2 * i] = static_cast<char>('0' + i / 10);
                digits[2 * i + 1] = static_cast<char>('0' + i % 10);
            }
            return digits;
        }();
        std::memcpy(buffer_.data() + used_, kDigits.data() + 2 * value, 2);
        used_ += 2;
    }

    std::string& out_;
    size_t flushed_ = 0;
    size_t used_ = 0;
    std::array<char, 64> buffer_;
};

[[gnu::always_inline]] inline void Show(TextWriter& out, const Piece& piece, std::string_view text,
                                        const DateTimeParts& parts,
                                        const DateTimeFormats& formats) {
    // Names follow the date itself, so a caller need not fill dayOfWeek.
    const auto dayOfWeek = [&] {
        return static_cast<size_t>(IsValidDate(parts.year, parts.month, parts.day)
                                       ? DayOfWeek(parts.year, parts.month, parts.day)
                                       : ((parts.dayOfWeek % 7) + 7) % 7);
    };
    const bool validMonth = parts.month >= 1 && parts.month <= 12;
    const auto month = static_cast<size_t>(parts.month - 1);
    switch (piece.field) {
        case Field::Text: out.Put(text); break;
        case Field::Day: out.PutNumber(parts.day, piece.width); break;
        case Field::ShortDayName: out.Put(formats.shortDayNames[dayOfWeek()]); break;
        case Field::LongDayName: out.Put(formats.longDayNames[dayOfWeek()]); break;
        case Field::Month: out.PutNumber(parts.month, piece.width); break;
        case Field::ShortMonthName:
            if (validMonth) out.Put(formats.shortMonthNames[month]);
            break;
        case Field::LongMonthName:
            if (validMonth) out.Put(formats.longMonthNames[month]);
            break;
        case Field::Year2: out.PutNumber(parts.year % 100, 2); break;
        case Field::Year4: out.PutNumber(parts.year, 4); break;
        case Field::Hour: out.PutNumber(parts.hour, piece.width); break;
        case Field::Hour12:
            out.PutNumber(parts.hour % 12 == 0 ? 12 : parts.hour % 12, piece.width);
            break;
        case Field::Minute: out.PutNumber(parts.minute, piece.width); break;
        case Field::Second: out.PutNumber(parts.second, piece.width); break;
        case Field::Marker:
            // The letters as the pattern writes them: "am" of "am/pm", "P" of "A/P".
            out.Put(parts.hour < 12 ? text.substr(0, piece.width)
                                    : text.substr(piece.width + 1u, piece.width));
            break;
        case Field::MarkerText: out.Put(parts.hour < 12 ? formats.amText : formats.pmText); break;
        case Field::DateSeparator: out.Put(formats.dateSeparator); break;
        case Field::TimeSeparator: out.Put(formats.timeSeparator); break;
    }
}

// A text that passed the cap, or whose pattern ran out of work, is cut where
// a character begins at most kMaxFormattedBytes after start, and ends in an
// ellipsis to show that it was cut.
void CutWithEllipsis(std::string& out, size_t start) {
    const std::string_view text = std::string_view(out).substr(start);
    out.resize(start + Utf8CharacterBoundary(text, std::min(text.size(), kMaxFormattedBytes)));
    out += "\u2026";
}

// Shows each piece as the pattern is read.
struct DirectSink {
    TextWriter& out;
    const DateTimeParts& parts;
    const DateTimeFormats& formats;
    bool Full() const { return out.Size() > kMaxFormattedBytes; }
    void Put(const Piece& piece, std::string_view text) { Show(out, piece, text, parts, formats); }
    void Named(size_t) {}
};

// A pattern read into its pieces, with what it was read from: the pattern
// and the named formats it expanded, whose text a later call must match.
struct KeptPattern {
    bool read = false;
    std::string pattern;
    unsigned named = 0;  // bits of kNamedFormats
    std::array<std::string, 4> namedTexts;
    std::vector<Piece> pieces;
    std::string texts;       // the pieces' own text
    bool outOfWork = false;  // the reading ran out of work: the text ends in an ellipsis
    bool direct = false;     // too many pieces to keep: read again on every call

    bool Matches(std::string_view text, const DateTimeFormats& formats) const {
        if (!read || text != pattern) return false;
        for (size_t i = 0; named != 0 && i < kNamedFormats.size(); ++i) {
            if ((named & (1u << i)) != 0 && formats.*kNamedFormats[i] != namedTexts[i]) {
                return false;
            }
        }
        return true;
    }
};

// More pieces than any pattern a person writes; what has more is read on
// every call instead of being kept.
constexpr size_t kMostKeptPieces = 512;

// Keeps the pieces as the pattern is read. It stops once the pieces are sure
// to give more than the cap, as formatting itself would stop there.
struct PieceKeeper {
    KeptPattern& kept;
    size_t fewestBytes = 0;  // the least text the pieces so far give

    bool Full() const { return kept.direct || fewestBytes > kMaxFormattedBytes; }
    void Named(size_t index) { kept.named |= 1u << index; }
    void Put(Piece piece, std::string_view text) {
        if (kept.pieces.size() == kMostKeptPieces) {
            kept.direct = true;
            return;
        }
        switch (piece.field) {
            case Field::Text:
                fewestBytes += text.size();
                if (text.empty()) return;
                // Letters written one after another become one piece.
                if (!kept.pieces.empty() && kept.pieces.back().field == Field::Text) {
                    kept.pieces.back().size += static_cast<uint32_t>(text.size());
                    kept.texts += text;
                    return;
                }
                break;
            case Field::Marker: fewestBytes += piece.width; break;
            case Field::ShortDayName:
            case Field::LongDayName:
            case Field::ShortMonthName:
            case Field::LongMonthName:
            case Field::MarkerText: break;
            default: ++fewestBytes; break;
        }
        piece.offset = static_cast<uint32_t>(kept.texts.size());
        piece.size = static_cast<uint32_t>(text.size());
        kept.texts += text;
        kept.pieces.push_back(piece);
    }
};

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
}  // namespace

// Reading typed dates: DateTimeParsing.cpp. A locale's formats: DateTimeLocale.cpp.

void AppendDateTime(std::string& out, std::string_view pattern, const DateTimeParts& parts,
                    const DateTimeFormats& formats) {
    // A report shows thousands of times in the same few patterns: each is
    // read once into its pieces, per thread, and read again when it or a
    // format it names changes.
    struct KeptPatterns {
        std::array<KeptPattern, 4> patterns;
        size_t next = 0;  // the one to make over next
    };
    thread_local KeptPatterns kept;
    const KeptPattern* found = nullptr;
    for (const KeptPattern& candidate : kept.patterns) {
        if (candidate.Matches(pattern, formats)) {
            found = &candidate;
            break;
        }
    }
    if (found == nullptr) {
        KeptPattern& fresh = kept.patterns[kept.next];
        kept.next = (kept.next + 1) % kept.patterns.size();
        fresh = KeptPattern{};
        fresh.pattern = pattern;
        PieceKeeper keeper{fresh};
        FormatBudget budget;
        ReadPattern(keeper, pattern, formats, 0, budget);
        for (size_t i = 0; i < kNamedFormats.size(); ++i) {
            if ((fresh.named & (1u << i)) != 0) fresh.namedTexts[i] = formats.*kNamedFormats[i];
        }
        fresh.outOfWork = budget.work == 0;
        fresh.read = true;
        found = &fresh;
    }

    const size_t start = out.size();
    TextWriter writer(out);
    bool outOfWork = found->outOfWork;
    if (found->direct) {
        DirectSink sink{writer, parts, formats};
        FormatBudget budget;
        ReadPattern(sink, pattern, formats, 0, budget);
        outOfWork = budget.work == 0;
    } else {
        const std::string_view texts = found->texts;
        for (const Piece& piece : found->pieces) {
            if (writer.Size() > kMaxFormattedBytes) break;
            Show(writer, piece, std::string_view(texts.data() + piece.offset, piece.size), parts,
                 formats);
        }
    }
    writer.Flush();
    if (out.size() - start > kMaxFormattedBytes || outOfWork) CutWithEllipsis(out, start);
}

std::string FormatDateTime(std::string_view pattern, const DateTimeParts& parts,
                           const DateTimeFormats& formats) {
    std::string out;
    AppendDateTime(out, pattern, parts, formats);
    return out;
}

namespace {

// tzset() looks at the zone file on every call (a stat of /etc/localtime
// each time), and a report converts one time per value. The rules are read
// once, and again only when $TZ is not what it was at the last reading.
void LoadZoneRulesOnce() {
    static std::mutex guard;
    static std::optional<std::string> readFor;  // $TZ at the last tzset(); unset is nullopt
    static bool loaded = false;
    const std::lock_guard<std::mutex> lock(guard);
    const char* zone = std::getenv("TZ");
    if (loaded && (zone == nullptr ? !readFor.has_value() : readFor && *readFor == zone)) return;
    tzset();
    loaded = true;
    readFor = zone == nullptr ? std::nullopt : std::optional<std::string>(zone);
}

// The calendar parts of seconds since 1970-01-01 00:00:00, for directory
// times moved by a zone's offset: a day or two either side of 1970 to 2106.
// Days count from 0000-03-01, so that a leap day ends its year, in whole
// 400-year eras, which repeat exactly.
DateTimeParts PartsOfEpochSeconds(int64_t seconds) {
    constexpr int64_t kDay = 86400;
    const int64_t days = (seconds >= 0 ? seconds : seconds - (kDay - 1)) / kDay;  // rounded down
    const auto inDay = static_cast<uint32_t>(seconds - days * kDay);
    const auto fromMarch = static_cast<uint32_t>(days + 719468);
    const uint32_t era = fromMarch / 146097;
    const uint32_t dayOfEra = fromMarch % 146097;
    const uint32_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const uint32_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const uint32_t monthFromMarch = (5 * dayOfYear + 2) / 153;
    DateTimeParts parts;
    parts.day = static_cast<int>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    parts.month = static_cast<int>(monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9);
    parts.year = static_cast<int>(yearOfEra + era * 400 + (parts.month <= 2 ? 1 : 0));
    parts.hour = static_cast<int>(inDay / 3600);
    parts.minute = static_cast<int>(inDay / 60 % 60);
    parts.second = static_cast<int>(inDay % 60);
    parts.dayOfWeek = static_cast<int>((fromMarch + 3) % 7);  // 0000-03-01 was a Wednesday
    return parts;
}

bool SameParts(const DateTimeParts& a, const DateTimeParts& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.dayOfWeek == b.dayOfWeek;
}

// The C library's local time of an instant and the offset from UTC it used;
// nothing when the conversion fails.
std::optional<std::pair<DateTimeParts, long>> ConvertToLocal(int64_t seconds) {
    const time_t time = static_cast<time_t>(seconds);
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr) return std::nullopt;
    return std::pair(PartsOfTm(local), local.tm_gmtoff);
}

// The offset from UTC in force all through one UTC day, per thread, for the
// $TZ it was learnt under. Converting with the C library takes a lock and a
// search of the zone's changes, while a report's times fall on a few hundred
// days: a day's offset is learnt once, from the C library's times at its
// first and last second, with the one or two local dates the day touches,
// and a time on that day is then a little arithmetic. No zone changes its
// offset and back within a day (changes lie a week apart at the least), so
// an offset that holds at both ends holds in between. A day on which the
// offset changes, or a leap second falls, is converted time by time, and so
// is every time under a $TZ that spells its own rules ("AAA0BBB,J1/1,J1/2"):
// those may change and change back within a day.
class ZoneOffsetDays {
public:
    DateTimeParts LocalTimeOf(uint32_t seconds) {
        if (!ZoneIsStill(std::getenv("TZ"))) Forget();
        if (ownRules_) {
            LoadZoneRulesOnce();
            return ConvertedByTheLibrary(seconds);
        }
        const uint32_t day = seconds / kDaySeconds;
        Slot& slot = slots_[day % slots_.size()];
        if (slot.dayPlusOne != day + 1) {
            LoadZoneRulesOnce();
            slot = Learn(day);
        }
        if (slot.mixed) return ConvertedByTheLibrary(seconds);
        const int64_t sinceFirstDate = int64_t{seconds} + slot.offset - slot.firstDateStart;
        const bool onNext = sinceFirstDate >= kDaySeconds;
        DateTimeParts parts = onNext ? slot.nextDate : slot.firstDate;
        const auto inDay = static_cast<uint32_t>(sinceFirstDate - (onNext ? kDaySeconds : 0));
        parts.hour = static_cast<int>(inDay / 3600);
        parts.minute = static_cast<int>(inDay / 60 % 60);
        parts.second = static_cast<int>(inDay % 60);
        return parts;
    }

private:
    static constexpr uint32_t kDaySeconds = 86400;
    struct Slot {
        uint32_t dayPlusOne = 0;  // 0: empty
        int32_t offset = 0;
        bool mixed = false;  // no one offset for the day: each time is converted
        // The local date of the day's first second, the one after it (the
        // day's times fall on these two) and the first's midnight in local
        // seconds.
        DateTimeParts firstDate;
        DateTimeParts nextDate;
        int64_t firstDateStart = 0;
    };

    static DateTimeParts ConvertedByTheLibrary(uint32_t seconds) {
        const auto local = ConvertToLocal(seconds);
        return local ? local->first : UtcTimeOf(seconds);
    }

    // Whether $TZ is what the kept days were learnt under; a change makes
    // them the new zone's.
    bool ZoneIsStill(const char* zone) {
        if (zone == nullptr ? !zone_.has_value() : zone_ && *zone_ == zone) return true;
        zone_ = zone == nullptr ? std::nullopt : std::optional<std::string>(zone);
        ownRules_ = zone != nullptr && std::strchr(zone, ',') != nullptr;
        return false;
    }
    void Forget() { std::fill(slots_.begin(), slots_.end(), Slot{}); }

    // The day's offset when both of its ends have it; a change of offset or
    // a leap second within the day shows at its last second.
    static Slot Learn(uint32_t day) {
        const int64_t first = int64_t{day} * kDaySeconds;
        const int64_t last = first + kDaySeconds - 1;
        const auto atFirst = ConvertToLocal(first);
        const auto atLast = ConvertToLocal(last);
        Slot slot;
        slot.dayPlusOne = day + 1;
        slot.mixed = true;
        if (!atFirst || !atLast) return slot;
        const long offset = atFirst->second;
        const bool holds = SameParts(atFirst->first, PartsOfEpochSeconds(first + offset)) &&
                           SameParts(atLast->first, PartsOfEpochSeconds(last + offset));
        slot.offset = static_cast<int32_t>(offset);
        slot.mixed = !holds;
        const DateTimeParts& local = atFirst->first;
        slot.firstDateStart =
            first + offset - ((local.hour * 60 + local.minute) * 60 + local.second);
        slot.firstDate = PartsOfEpochSeconds(slot.firstDateStart);
        slot.nextDate = PartsOfEpochSeconds(slot.firstDateStart + kDaySeconds);
        return slot;
    }

    std::optional<std::string> zone_;
    bool ownRules_ = false;  // $TZ gives the dates of its changes itself
    // On the heap, not in every thread's own storage.
    std::vector<Slot> slots_ = std::vector<Slot>(512);
};

}  // namespace

DateTimeParts LocalTimeOf(uint32_t seconds) {
    // The rules in force are those of the last tzset(), which $TZ decides.
    thread_local ZoneOffsetDays days;
    return days.LocalTimeOf(seconds);
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
    // A local time that the clocks skip when daylight time begins does not
    // exist; the C library would move it an hour on without a word.
    if (t.tm_hour != local.hour || t.tm_min != local.minute || t.tm_mday != local.day) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(seconds);
}
}  // namespace vellrun::platform
