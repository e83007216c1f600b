#pragma once

// The civil calendar (proleptic Gregorian) that every reader of dates uses:
// the date and time code here, and the directory's own time texts (an
// image's "YYYY-MM-DDTHH:MM:SSZ", LDAP's generalized time). The pattern
// letters (in detail) are private to the date and time code (DateTime.cpp,
// DateTimeParsing.cpp, DateTimeLocale.cpp): formatting, reading typed dates
// and translating a locale's formats share them.

#include "platform/AsciiText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vellrun::platform {

inline bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

inline int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDays[month - 1];
}

inline bool IsValidDate(int year, int month, int day) {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

// Days from 1970-01-01 to a date (negative before it), counted in whole
// 400-year eras from 0000-03-01, so that a leap day ends its year.
constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// 0 Sunday to 6 Saturday, proleptic Gregorian calendar.
inline int DayOfWeek(int year, int month, int day) {
    static constexpr int kMonthOffset[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kMonthOffset[month - 1] + day) % 7;
}

namespace detail {

// Patterns that name the short or long date or time format expand them; a
// format that names itself must not recurse for ever.
constexpr int kMaxPatternDepth = 3;
// One format call gives at most this many bytes (then an ellipsis) and stops
// after this much work, whatever its formats name.
constexpr size_t kMaxFormattedBytes = 4096;
constexpr size_t kMaxFormatWork = 1 << 20;

// How many times the letter at pos repeats there, in either case ("dd", "MMM").
inline size_t RunLength(std::string_view pattern, size_t pos) {
    size_t end = pos + 1;
    while (end < pattern.size() && AsciiLower(pattern[end]) == AsciiLower(pattern[pos]))
        ++end;
    return end - pos;
}

}  // namespace detail
}  // namespace vellrun::platform
