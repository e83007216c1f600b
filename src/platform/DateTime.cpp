#include "platform/DateTime.h"

#include "platform/DateTimeCalendar.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <optional>
#include <string>

#include <time.h>

namespace vellrun::platform {

namespace {

using namespace detail;

std::string Number(int value, int width) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < static_cast<size_t>(width)) {
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
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

void FormatInto(std::string& out, std::string_view pattern, const DateTimeParts& parts,
                const DateTimeFormats& formats, int depth, FormatBudget& budget) {
    if (depth > kMaxPatternDepth) return;
    if (out.size() > kMaxFormattedBytes || !budget.Spend(pattern.size() + 1)) return;
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
        if (out.size() > kMaxFormattedBytes || !budget.Spend(1)) return;
        const char c = pattern[i];
        const char letter = AsciiLower(c);
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
                               depth + 1, budget);
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
                           depth + 1, budget);
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
}  // namespace

// Reading typed dates: DateTimeParsing.cpp. A locale's formats: DateTimeLocale.cpp.

std::string FormatDateTime(std::string_view pattern, const DateTimeParts& parts,
                           const DateTimeFormats& formats) {
    std::string out;
    FormatBudget budget;
    FormatInto(out, pattern, parts, formats, 0, budget);
    if (out.size() > kMaxFormattedBytes || budget.work == 0) {
        // Cut where a character begins, and show that it was cut.
        size_t cut = std::min(out.size(), kMaxFormattedBytes);
        while (cut > 0 && cut < out.size() &&
               (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.resize(cut);
        out += "\u2026";
    }
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

}  // namespace

DateTimeParts LocalTimeOf(uint32_t seconds) {
    // localtime_r, unlike localtime, need not look at $TZ again: the rules in
    // force are those of the last tzset().
    LoadZoneRulesOnce();
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
}  // namespace vellrun::platform
