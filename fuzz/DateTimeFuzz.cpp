// Dates and times: formatting any pattern with any formats in force (the
// formats a locale or the settings supply are patterns too, and a pattern may
// name them), translating strftime formats, and reading a typed date. The
// input is four bytes of directory seconds, then lines: the pattern, the
// short date, long date, short time and long time formats, and a typed text.
// Checks: valid UTF-8 in gives valid UTF-8 out; a date that is read is a date
// of the calendar, and its seconds give it back.

#include "FuzzSupport.h"
#include "platform/DateTime.h"
#include "platform/TextEncoding.h"

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

using namespace vellrun;

bool SameTime(const platform::DateTimeParts& a, const platform::DateTimeParts& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Local time is UTC here, so that a typed time and its seconds meet
    // exactly (no hour that a change to summer time skips).
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t seconds = 0;
    for (int i = 0; i < 4; ++i)
        seconds = (seconds << 8) | fuzz::TakeByte(data, size);
    std::string_view text = fuzz::AsText(data, size);
    const bool utf8 = platform::IsValidUtf8(text);

    const std::string pattern(fuzz::TakeField(text));
    platform::DateTimeFormats formats;
    formats.shortDate = std::string(fuzz::TakeField(text));
    formats.longDate = std::string(fuzz::TakeField(text));
    formats.shortTime = std::string(fuzz::TakeField(text));
    formats.longTime = std::string(fuzz::TakeField(text));
    const std::string_view typed = text;

    for (const platform::DateTimeParts& parts :
         {platform::LocalTimeOf(seconds), platform::UtcTimeOf(seconds)}) {
        const std::string out = platform::FormatDateTime(pattern, parts, formats);
        if (utf8) fuzz::Check(platform::IsValidUtf8(out), "a pattern gave invalid UTF-8", out);
    }

    const platform::DateTimeFormats translated = platform::DateTimeFormats::FromStrftime(
        formats.shortDate, formats.longDate, formats.shortTime);
    if (utf8) {
        fuzz::Check(platform::IsValidUtf8(translated.shortDate) &&
                        platform::IsValidUtf8(translated.longDate) &&
                        platform::IsValidUtf8(translated.shortTime) &&
                        platform::IsValidUtf8(translated.longTime),
                    "a translated format is not UTF-8");
    }
    platform::FormatDateTime("ddddd t", platform::UtcTimeOf(seconds), translated);

    if (const auto read = platform::ParseDateTime(typed, formats)) {
        const auto back = platform::SecondsOfLocalTime(*read);
        if (back) {
            fuzz::Check(SameTime(platform::LocalTimeOf(*back), *read),
                        "a typed date that is not the date of its seconds", typed);
        } else {
            // Only a date outside the directory's range has no seconds.
            fuzz::Check(read->year < 1971 || read->year > 2105,
                        "a typed date of the calendar without seconds", typed);
        }
    }
    return 0;
}
