#pragma once

// Private to the date and time code (DateTime.cpp, DateTimeParsing.cpp,
// DateTimeLocale.cpp): the calendar and the pattern letters that formatting,
// reading typed dates and translating a locale's formats share.

#include "platform/AsciiText.h"

#include <cstddef>
#include <string_view>

namespace vellrun::platform::detail {

// Patterns that name the short or long date or time format expand them; a
// format that names itself must not recurse for ever.
constexpr int kMaxPatternDepth = 3;
// One format call gives at most this many bytes (then an ellipsis) and stops
// after this much work, whatever its formats name.
constexpr size_t kMaxFormattedBytes = 4096;
constexpr size_t kMaxFormatWork = 1 << 20;

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

// 0 Sunday to 6 Saturday, proleptic Gregorian calendar.
inline int DayOfWeek(int year, int month, int day) {
    static constexpr int kMonthOffset[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kMonthOffset[month - 1] + day) % 7;
}

// How many times the letter at pos repeats there, in either case ("dd", "MMM").
inline size_t RunLength(std::string_view pattern, size_t pos) {
    size_t end = pos + 1;
    while (end < pattern.size() && AsciiLower(pattern[end]) == AsciiLower(pattern[pos]))
        ++end;
    return end - pos;
}

}  // namespace vellrun::platform::detail
