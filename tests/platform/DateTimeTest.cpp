// The date-time pattern language, local time by the rules of the instant,
// typed dates, and the locale's formats translated into patterns.

#include "platform/DateTime.h"
#include "platform/TextEncoding.h"
#include "support/CompiledLocales.h"
#include "support/ScopedTimeZone.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <locale.h>
#include <time.h>

namespace vellrun::platform {
namespace {

using vellrun::testing::CompiledLocales;
using vellrun::testing::ScopedTimeZone;

DateTimeParts Parts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    DateTimeParts parts;
    parts.year = year;
    parts.month = month;
    parts.day = day;
    parts.hour = hour;
    parts.minute = minute;
    parts.second = second;
    return parts;
}

class DateTimePatterns : public ::testing::Test {
protected:
    DateTimeFormats formats_;  // the built-in English names, '-' and ':'
    const DateTimeParts morning_ = Parts(2009, 3, 7, 9, 4, 3);  // a Saturday
    const DateTimeParts afternoon_ = Parts(2009, 10, 30, 14, 5, 59);

    std::string Format(std::string_view pattern, const DateTimeParts& parts) const {
        return FormatDateTime(pattern, parts, formats_);
    }
    // The same pattern for all four named formats.
    void SetEveryFormat(const std::string& pattern) {
        formats_.shortDate = formats_.longDate = formats_.shortTime = formats_.longTime = pattern;
    }
};

TEST_F(DateTimePatterns, TheOfferedDatePatterns) {
    EXPECT_EQ(Format("yyyy-MM-dd", morning_), "2009-03-07");
    EXPECT_EQ(Format("mmm dd, yyyy", morning_), "Mar 07, 2009");
    EXPECT_EQ(Format("dddd, mmmm dd, yyyy", morning_), "Saturday, March 07, 2009");
    EXPECT_EQ(Format("dd.MM.yy", morning_), "07.03.09");
    EXPECT_EQ(Format("dd.MM.yy", afternoon_), "30.10.09");
    EXPECT_EQ(Format("d.m.yyyy ddd", morning_), "7.3.2009 Sat");
    EXPECT_EQ(Format("DDDD d MMMM YY", Parts(2000, 1, 2)), "Sunday 2 January 00");
}

TEST_F(DateTimePatterns, TheOfferedTimePatterns) {
    EXPECT_EQ(Format("hh:nn:ss", morning_), "09:04:03");
    EXPECT_EQ(Format("h:nn:ss", morning_), "9:04:03");
    EXPECT_EQ(Format("h:nn am/pm", morning_), "9:04 am");
    EXPECT_EQ(Format("h:nn am/pm", afternoon_), "2:05 pm");
    EXPECT_EQ(Format("h:nn AM/PM", afternoon_), "2:05 PM");
    EXPECT_EQ(Format("h:nn am/pm", Parts(2009, 1, 1, 0, 0)), "12:00 am");
    EXPECT_EQ(Format("h:nn am/pm", Parts(2009, 1, 1, 12, 0)), "12:00 pm");
    EXPECT_EQ(Format("hh:nn a/p", Parts(2009, 1, 1, 23, 59)), "11:59 p");
    EXPECT_EQ(Format("h:nn:ss", Parts(2009, 1, 1, 0, 0, 0)), "0:00:00");
    EXPECT_EQ(Format("hh:nn:ss", afternoon_), "14:05:59");
    formats_.amText = "vorm.";
    formats_.pmText = "nachm.";
    EXPECT_EQ(Format("h:nn ampm", afternoon_), "2:05 nachm.");
}

TEST_F(DateTimePatterns, MAfterAnHourMeansMinutes) {
    EXPECT_EQ(Format("hh:mm", morning_), "09:04");
    EXPECT_EQ(Format("h 'h' m", morning_), "9 h 4");
    EXPECT_EQ(Format("hh:mm mm", morning_), "09:04 03");  // the second one is the month again
    EXPECT_EQ(Format("mm hh", morning_), "03 09");
    EXPECT_EQ(Format("hh:mmm", morning_), "09:Mar");
}

TEST_F(DateTimePatterns, LiteralsSeparatorsAndNestedFormats) {
    EXPECT_EQ(Format("'Day' d \"of\" mmmm", morning_), "Day 7 of March");
    EXPECT_EQ(Format("\"it's\" h 'o''clock'", morning_), "it's 9 oclock");
    EXPECT_EQ(Format("yyyy 'rest", morning_), "2009 rest");  // an open quote runs to the end
    EXPECT_EQ(Format("[yyyy] #x", morning_), "[2009] #x");
    formats_.dateSeparator = '.';
    formats_.timeSeparator = 'h';
    EXPECT_EQ(Format("d/m/yy hh:nn", morning_), "7.3.09 09h04");

    formats_.shortDate = "dd.MM.yy";
    formats_.longDate = "dddd, d. mmmm yyyy";
    formats_.shortTime = "h:nn am/pm";
    formats_.longTime = "hh:nn:ss";
    EXPECT_EQ(Format("ddddd t", morning_), "07.03.09 9h04 am");
    EXPECT_EQ(Format("dddddd tt", afternoon_), "Friday, 30. October 2009 14h05h59");
    // A format that names itself stops instead of recursing for ever.
    formats_.shortDate = "ddddd-d";
    EXPECT_EQ(Format("ddddd", morning_), "-7-7-7");
}

TEST_F(DateTimePatterns, FormatsThatNameFormatsCannotExplode) {
    // Each format names the others many times over: a few hundred bytes of
    // patterns would expand to megabytes. One call stops at its cap, cut at
    // a character and marked; an ordinary pattern is not touched.
    std::string many;
    for (int i = 0; i < 20; ++i)
        many += "ddddd dddddd t tt \u00e9 ";
    SetEveryFormat(many);
    const std::string text = Format(many, morning_);
    EXPECT_LE(text.size(), 4096u + 3u);
    EXPECT_TRUE(text.ends_with("\u2026")) << text.substr(0, 80);
    EXPECT_TRUE(IsValidUtf8(text));
    EXPECT_EQ(Format("yyyy-mm-dd", morning_), "2009-03-07");

    // Formats that only name formats give no text at all, yet the work stays bounded.
    std::string silent;
    for (int i = 0; i < 80; ++i)
        silent += "dddddt";
    SetEveryFormat(silent);
    EXPECT_EQ(Format(silent, morning_), "\u2026");
}

TEST_F(DateTimePatterns, KeptPatternsFollowEveryChangeOfTheFormats) {
    // A pattern is read once and kept: whatever it shows must still follow
    // the formats of each call.
    formats_.shortDate = "dd.MM.yy";
    EXPECT_EQ(Format("ddddd", morning_), "07.03.09");
    formats_.shortDate = "yy.MM.dd";  // the same length, changed in place
    EXPECT_EQ(Format("ddddd", morning_), "09.03.07");
    formats_.shortDate = "t";  // a format two levels down
    formats_.shortTime = "h:nn am/pm";
    EXPECT_EQ(Format("ddddd", afternoon_), "2:05 pm");
    formats_.shortTime = "h:nn A/P";
    formats_.timeSeparator = '.';
    EXPECT_EQ(Format("ddddd", afternoon_), "2.05 P");

    DateTimeFormats german = formats_;
    german.longMonthNames[2] = "M\u00e4rz";
    german.amText = "vorm.";
    german.dateSeparator = '.';
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(FormatDateTime("d/mmmm ampm", morning_, german), "7.M\u00e4rz vorm.");
        EXPECT_EQ(Format("d/mmmm ampm", morning_), "7-March AM");
    }

    // More patterns than are kept, in turns.
    const std::pair<const char*, const char*> patterns[] = {
        {"yyyy", "2009"}, {"mm", "03"}, {"dd", "07"},  {"hh", "09"},
        {"nn", "04"},     {"ss", "03"}, {"ddd", "Sat"}};
    for (int round = 0; round < 3; ++round) {
        for (const auto& [pattern, text] : patterns)
            EXPECT_EQ(Format(pattern, morning_), text) << pattern;
    }

    // A pattern of more pieces than are kept is still shown whole.
    std::string many;
    std::string shown;
    for (int i = 0; i < 600; ++i) {
        many += "d/";
        shown += "7-";
    }
    EXPECT_EQ(Format(many, morning_), shown);

    // Appended to a text, the cap and the cut count from where the time begins.
    std::string longer;
    std::string cut;
    for (int i = 0; i < 1500; ++i) {
        longer += "dd\"\u00e9\"";
        if (i < 1024) cut += "07\u00e9";
    }
    std::string out = "x";
    AppendDateTime(out, longer, morning_, formats_);
    EXPECT_EQ(out, "x" + cut + "\u2026");
    out = "x";
    AppendDateTime(out, "yyyy", morning_, formats_);
    EXPECT_EQ(out, "x2009");
}

TEST_F(DateTimePatterns, NamesFollowTheDateAndStayInRange) {
    DateTimeParts parts = Parts(2009, 10, 30);
    parts.dayOfWeek = 0;  // left wrong by the caller
    EXPECT_EQ(Format("ddd dddd", parts), "Fri Friday");
    EXPECT_EQ(Format("dddd mmm", Parts(2009, 13, 40)), "Thursday ");  // no month 13
}

TEST(DateTimeZones, LocalTimeUsesTheRulesInForceAtTheInstant) {
    const uint32_t july = 1246449600;     // 2009-07-01 12:00:00 UTC
    const uint32_t january = 1232020800;  // 2009-01-15 12:00:00 UTC
    for (const char* zone : {"Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3"}) {
        ScopedTimeZone tz(zone);
        EXPECT_EQ(LocalTimeOf(july).hour, 14) << zone;
        EXPECT_EQ(LocalTimeOf(january).hour, 13) << zone;
        // Back and forth on either side of the change to summer time.
        for (uint32_t seconds :
             {july, january, 1238288399u, 1238288400u, 1256425200u, 1256436000u}) {
            EXPECT_EQ(SecondsOfLocalTime(LocalTimeOf(seconds)), seconds) << zone << seconds;
        }
        // 1970-01-01 00:30 in Berlin is still 1969 in UTC.
        EXPECT_FALSE(SecondsOfLocalTime(Parts(1970, 1, 1, 0, 30)).has_value());
        // 2009-03-29 02:30 never happened there: the clocks went from 2:00 to 3:00.
        EXPECT_FALSE(SecondsOfLocalTime(Parts(2009, 3, 29, 2, 30)).has_value()) << zone;
    }
    {
        // A zone set without anyone reloading the rules is still the one used.
        ScopedTimeZone berlin("Europe/Berlin");
        setenv("TZ", "UTC", 1);
        EXPECT_EQ(LocalTimeOf(july).hour, 12);
        setenv("TZ", "Europe/Berlin", 1);
        EXPECT_EQ(LocalTimeOf(july).hour, 14);
    }
    ScopedTimeZone utc("UTC");
    EXPECT_EQ(LocalTimeOf(july).hour, 12);
    EXPECT_EQ(LocalTimeOf(january).hour, 12);
    EXPECT_EQ(SecondsOfLocalTime(Parts(1970, 1, 1)), 0u);
    EXPECT_EQ(SecondsOfLocalTime(Parts(2106, 2, 7, 6, 28, 15)), 4294967295u);
    EXPECT_FALSE(SecondsOfLocalTime(Parts(2106, 2, 7, 6, 28, 16)).has_value());
    EXPECT_FALSE(SecondsOfLocalTime(Parts(2009, 2, 30)).has_value());
    EXPECT_FALSE(SecondsOfLocalTime(Parts(2009, 1, 1, 24, 0)).has_value());
}

// Every instant, whether its day's offset is kept or not, comes out as the C
// library has it: zones with summer time, half hours, a rule written in $TZ
// with changes at odd seconds and one with summer time for a few hours of a
// day, leap seconds, and 1970 on the UTC side.
TEST(DateTimeZones, LocalTimeAgreesWithTheCLibraryInEveryKindOfZone) {
    const auto expected = [](uint32_t seconds) {
        const time_t time = seconds;
        struct tm t {};
        localtime_r(&time, &t);
        DateTimeParts parts =
            Parts(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
        parts.dayOfWeek = t.tm_wday;
        return parts;
    };
    const auto same = [](const DateTimeParts& a, const DateTimeParts& b) {
        return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
               a.minute == b.minute && a.second == b.second && a.dayOfWeek == b.dayOfWeek;
    };
    for (const char* zone :
         {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu",
          "XST5XDT,M3.2.0/2:30:17,M11.1.0/1:59:59", "AAA0BBB,J1/1,J1/4", "right/Europe/Berlin"}) {
        ScopedTimeZone tz(zone);
        std::vector<uint32_t> instants = {0, 1, 86399, 4294967295u};
        for (uint64_t s = 0; s <= 4294967295u; s += 4294967295u / 3001)
            instants.push_back(static_cast<uint32_t>(s));
        // 2009 in steps that come round to every second of the hour, forth and back.
        for (uint32_t s = 1230768000; s < 1262304000; s += 1801)
            instants.push_back(s);
        for (uint32_t s = 1262304000; s > 1230768000; s -= 1799)
            instants.push_back(s);
        size_t wrong = 0;
        for (const uint32_t seconds : instants) {
            if (same(LocalTimeOf(seconds), expected(seconds))) continue;
            if (++wrong <= 3) ADD_FAILURE() << zone << " at " << seconds;
        }
        EXPECT_EQ(wrong, 0u) << zone;
    }
}

// However the environment's functions change $TZ, the next time converted
// follows it, and with $TZ unset the time is the C library's own.
TEST(DateTimeZones, LocalTimeFollowsEveryWayOfChangingTheZone) {
    const uint32_t july = 1246449600;  // 2009-07-01 12:00:00 UTC
    const auto minutes = [](const DateTimeParts& parts) { return parts.hour * 60 + parts.minute; };
    ScopedTimeZone berlin("Europe/Berlin");
    EXPECT_EQ(minutes(LocalTimeOf(july)), 14 * 60);

    unsetenv("TZ");
    const int unset = minutes(LocalTimeOf(july));
    tzset();
    const time_t time = july;
    struct tm reference {};
    localtime_r(&time, &reference);
    EXPECT_EQ(unset, reference.tm_hour * 60 + reference.tm_min);

    // Unset, then added where an entry was taken out: the same number of entries.
    setenv("VELLRUN_ZONE_TEST_A", "1", 1);
    setenv("VELLRUN_ZONE_TEST_B", "1", 1);
    EXPECT_EQ(minutes(LocalTimeOf(july)), unset);
    unsetenv("VELLRUN_ZONE_TEST_A");
    setenv("TZ", "Asia/Kathmandu", 1);
    EXPECT_EQ(minutes(LocalTimeOf(july)), 17 * 60 + 45);
    unsetenv("VELLRUN_ZONE_TEST_B");
    EXPECT_EQ(minutes(LocalTimeOf(july)), 17 * 60 + 45);

    // A string handed to putenv is the entry itself, changed in place.
    static char entry[32];  // the environment may hold it after the test
    std::strcpy(entry, "TZ=Asia/Tokyo");
    putenv(entry);
    EXPECT_EQ(minutes(LocalTimeOf(july)), 21 * 60);
    std::strcpy(entry, "TZ=Asia/Kolkata");
    EXPECT_EQ(minutes(LocalTimeOf(july)), 17 * 60 + 30);
}

TEST(DateTimeZones, UtcTimeIsTheSecondsAsTheyAre) {
    const DateTimeParts epoch = UtcTimeOf(0);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss dddd", epoch, DateTimeFormats{}),
              "1970-01-01 00:00:00 Thursday");
    EXPECT_EQ(epoch.dayOfWeek, 4);
    const DateTimeParts last = UtcTimeOf(4294967295u);
    EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", last, DateTimeFormats{}),
              "2106-02-07 06:28:15");
}

class DateTimeParsing : public ::testing::Test {
protected:
    static std::optional<std::string> Read(std::string_view text, std::string_view shortDate) {
        DateTimeFormats formats;
        formats.shortDate = shortDate;
        auto parts = ParseDateTime(text, formats);
        if (!parts) return std::nullopt;
        return FormatDateTime("yyyy-mm-dd hh:nn:ss ddd", *parts, formats) + " " +
               std::to_string(parts->dayOfWeek);
    }
};

TEST_F(DateTimeParsing, DatesInTheShortDateFormatsOrder) {
    EXPECT_EQ(Read("30.10.09", "dd.MM.yy"), "2009-10-30 00:00:00 Fri 5");
    EXPECT_EQ(Read(" 7/3/2009 ", "dd.MM.yy"), "2009-03-07 00:00:00 Sat 6");
    EXPECT_EQ(Read("30 10 2009", "dd.MM.yy"), "2009-10-30 00:00:00 Fri 5");
    EXPECT_EQ(Read("2009-10-30", "yyyy-MM-dd"), "2009-10-30 00:00:00 Fri 5");
    EXPECT_EQ(Read("10/30/49", "mm/dd/yy"), "2049-10-30 00:00:00 Sat 6");
    EXPECT_EQ(Read("10/30/50", "mm/dd/yy"), "1950-10-30 00:00:00 Mon 1");
    EXPECT_EQ(Read("Oct 30, 2009", "mmm dd, yyyy"), "2009-10-30 00:00:00 Fri 5");
    EXPECT_EQ(Read("october 30 2009", "mmm dd, yyyy"), "2009-10-30 00:00:00 Fri 5");
    EXPECT_EQ(Read("29.02.2008", "dd.MM.yy"), "2008-02-29 00:00:00 Fri 5");
    // Fields parted and ended by characters beyond ASCII, as some languages write them.
    EXPECT_EQ(
        Read("2009\u5E7410\u670830\u65E5 19\u664253\u520620\u79D2", "yyyy\u5E74M\u6708d\u65E5"),
        "2009-10-30 19:53:20 Fri 5");
    // A short date without all three fields reads year, month, day.
    EXPECT_EQ(Read("2009-10-30", "dddd"), "2009-10-30 00:00:00 Fri 5");
}

TEST_F(DateTimeParsing, TimesWithAndWithoutMarker) {
    EXPECT_EQ(Read("30.10.09 14:05", "dd.MM.yy"), "2009-10-30 14:05:00 Fri 5");
    EXPECT_EQ(Read("30.10.09 9:04:03", "dd.MM.yy"), "2009-10-30 09:04:03 Fri 5");
    EXPECT_EQ(Read("2009-10-30 2:05 pm", "yyyy-MM-dd"), "2009-10-30 14:05:00 Fri 5");
    EXPECT_EQ(Read("2009-10-30 12:00 AM", "yyyy-MM-dd"), "2009-10-30 00:00:00 Fri 5");
    EXPECT_EQ(Read("2009-10-30 12:30:01PM", "yyyy-MM-dd"), "2009-10-30 12:30:01 Fri 5");
    EXPECT_EQ(Read("10/30/09 11:59 p", "mm/dd/yy"), "2009-10-30 23:59:00 Fri 5");

    DateTimeFormats german;
    german.shortDate = "dd.MM.yyyy";
    german.amText = "vorm.";
    german.pmText = "nachm.";
    const auto parts = ParseDateTime("30.10.2009 2:05 nachm.", german);
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->hour, 14);
    // A marker beyond ASCII right after the minutes is the marker, not a unit.
    DateTimeFormats greek;
    greek.shortDate = "d/M/yyyy";
    greek.pmText = "\u03BC\u03BC";
    const auto glued = ParseDateTime("30/10/2009 2:05\u03BC\u03BC", greek);
    ASSERT_TRUE(glued.has_value());
    EXPECT_EQ(glued->hour, 14);
}

TEST_F(DateTimeParsing, RefusesWhatIsNoDateOrTime) {
    for (const char* text : {"",
                             "   ",
                             "garbage",
                             "30.02.09",
                             "29.02.2009",
                             "31.04.2009",
                             "30.13.09",
                             "0.10.09",
                             "30.10",
                             "30.10.09x",
                             "30.10.09 25:00",
                             "30.10.09 24:00",
                             "30.10.09 12:60",
                             "30.10.09 12:00:60",
                             "30.10.09 13:00 pm",
                             "30.10.09 12",
                             "30.10.09 12:",
                             "300.10.09",
                             "30.10.12009",
                             "30..10.09",
                             "301009",
                             "30.10.09 12:00 xm",
                             "30\u20AC10\u20AC09",
                             "30.10.09\u2713"}) {
        EXPECT_EQ(Read(text, "dd.MM.yy"), std::nullopt) << text;
    }
}

TEST_F(DateTimeParsing, ReadsWhatItsFormatWrote) {
    DateTimeFormats formats;
    formats.shortDate = "dd.MM.yy";
    const DateTimeParts parts = Parts(2031, 12, 31, 23, 59, 58);
    for (const char* time : {"hh:nn:ss", "h:nn:ss am/pm"}) {
        const std::string text = FormatDateTime(std::string("ddddd ") + time, parts, formats);
        const auto read = ParseDateTime(text, formats);
        ASSERT_TRUE(read.has_value()) << text;
        EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", *read, formats), "2031-12-31 23:59:58");
    }
}

// A time as a value's text shows it (short date, a blank, long time) and as
// the example line does (short time) reads back under the formats of the
// locale that wrote it, units, blanks and a final full stop included.
TEST_F(DateTimeParsing, ReadsWhatEachLocalesFormatsWrote) {
    struct Case {
        const char* locale;
        const char* date;
        const char* time;
    };
    for (const Case& c : {
             Case{"ko_KR", "%Y\uB144 %m\uC6D4 %d\uC77C", "%H\uC2DC %M\uBD84 %S\uCD08"},
             Case{"lv_LV", "%Y.%m.%d.", "%T"},
             Case{"sr_RS", "%d.%m.%Y.", "%T"},
             Case{"hu_HU", "%Y. %m. %d.", "%H:%M:%S"},
             Case{"ja_JP", "%Y\u5E74%m\u6708%d\u65E5", "%H\u6642%M\u5206%S\u79D2"},
             Case{"bg_BG", "%e.%m.%Y", "%k:%M:%S"},
             Case{"fi_FI", "%d.%m.%Y", "%H.%M.%S"},
             Case{"pt_PT", "%d-%m-%Y", "%Hh%Mm%Ss"},
             Case{"en_US", "%m/%d/%Y", "%r"},
         }) {
        const DateTimeFormats formats =
            DateTimeFormats::FromStrftime(c.date, c.time, "%I:%M:%S %p");
        for (const DateTimeParts& parts :
             {Parts(2001, 3, 12, 11, 14, 6), Parts(2031, 12, 31, 23, 59, 58)}) {
            for (const char* pattern : {"ddddd tt", "ddddd t", "ddddd"}) {
                const std::string text = FormatDateTime(pattern, parts, formats);
                const auto read = ParseDateTime(text, formats);
                if (!read) {
                    ADD_FAILURE() << c.locale << " does not read " << text;
                    continue;
                }
                EXPECT_EQ(FormatDateTime(pattern, *read, formats), text) << c.locale;
            }
        }
    }
}

// What strftime shows in the C locale for the same instant.
std::string Strftime(const char* format, const DateTimeParts& parts) {
    struct tm t {};
    t.tm_year = parts.year - 1900;
    t.tm_mon = parts.month - 1;
    t.tm_mday = parts.day;
    t.tm_hour = parts.hour;
    t.tm_min = parts.minute;
    t.tm_sec = parts.second;
    t.tm_wday = parts.dayOfWeek;
    char buffer[128];
    locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
    const size_t length = strftime_l(buffer, sizeof buffer, format, &t, c);
    freelocale(c);
    return std::string(buffer, length);
}

TEST(DateTimeLocale, StrftimeFormatsBecomePatternsThatShowTheSame) {
    DateTimeParts parts = Parts(2009, 3, 7, 14, 5, 9);
    parts.dayOfWeek = 6;
    struct Case {
        const char* date;
        const char* time;
        const char* shortDate;
        const char* longTime;
        const char* shortTime;
    };
    for (const Case& c : {
             Case{"%m/%d/%y", "%H:%M:%S", "mm/dd/yy", "hh:nn:ss", "hh:nn"},  // C
             Case{"%d.%m.%Y", "%T", "dd.mm.yyyy", "hh:nn:ss", "hh:nn"},      // de_DE
             Case{"%m/%d/%Y", "%r", "mm/dd/yyyy", "hh:nn:ss ampm", "hh:nn ampm"},
             Case{"%Y-%m-%d", "%H.%M.%S", "yyyy-mm-dd", "hh.nn.ss", "hh.nn"},
             Case{"%Y. %m. %d.", "%H:%M:%S %Z", "yyyy. mm. dd.", "hh:nn:ss", "hh:nn"},
             Case{"%-d/%-m/%y", "%Hh%M", "d/m/yy", "hh\"h\"nn", "hh\"h\"nn"},
             Case{"%a %d %b %Y", "%-I:%M %p", "ddd dd mmm yyyy", "h:nn ampm", "h:nn ampm"},
             Case{"%A, %B %d, %Y", "%R", "dddd, mmmm dd, yyyy", "hh:nn", "hh:nn"},
             Case{"%F", "%S:%M:%H", "yyyy-mm-dd", "ss:nn:hh", "nn:hh"},
             Case{"%d/%m/%Y", "%Hh%Mm%Ss", "dd/mm/yyyy", "hh\"h\"nn\"m\"ss\"s\"", "hh\"h\"nn\"m\""},
             // ja_JP: the units stand after the numbers.
             Case{"%Y\xE5\xB9\xB4%m\xE6\x9C\x88%d\xE6\x97\xA5",
                  "%H\xE6\x99\x82%M\xE5\x88\x86%S\xE7\xA7\x92",
                  "yyyy\xE5\xB9\xB4mm\xE6\x9C\x88"
                  "dd\xE6\x97\xA5",
                  "hh\xE6\x99\x82nn\xE5\x88\x86ss\xE7\xA7\x92", "hh\xE6\x99\x82nn\xE5\x88\x86"},
         }) {
        const DateTimeFormats formats =
            DateTimeFormats::FromStrftime(c.date, c.time, "%I:%M:%S %p");
        EXPECT_EQ(formats.shortDate, c.shortDate) << c.date;
        EXPECT_EQ(formats.longTime, c.longTime) << c.time;
        EXPECT_EQ(formats.shortTime, c.shortTime) << c.time;
        EXPECT_EQ(FormatDateTime(formats.shortDate, parts, formats), Strftime(c.date, parts))
            << c.date;
        if (std::string_view(c.time).find("%Z") == std::string_view::npos) {
            EXPECT_EQ(FormatDateTime(formats.longTime, parts, formats), Strftime(c.time, parts))
                << c.time;
        }
    }
}

TEST(DateTimeLocale, SeparatorsLongDateAndWhatIsDropped) {
    const DateTimeFormats german = DateTimeFormats::FromStrftime("%d.%m.%Y", "%H:%M:%S", "");
    EXPECT_EQ(german.dateSeparator, '.');
    EXPECT_EQ(german.timeSeparator, ':');
    EXPECT_EQ(german.longDate, "dddd, dd mmmm yyyy");
    const DateTimeFormats iso = DateTimeFormats::FromStrftime("%Y-%m-%d", "%H.%M", "");
    EXPECT_EQ(iso.dateSeparator, '-');
    EXPECT_EQ(iso.timeSeparator, '.');
    EXPECT_EQ(iso.longDate, "dddd, yyyy mmmm dd");
    EXPECT_EQ(iso.shortTime, "hh.nn");  // nothing to drop
    // strftime pads these with a blank; the pattern language has no such field.
    const DateTimeFormats blankPadded = DateTimeFormats::FromStrftime("%e %b", "%l:%M %p", "");
    EXPECT_EQ(blankPadded.shortDate, "d mmm");
    EXPECT_EQ(blankPadded.longTime, "h:nn ampm");

    // A 12-hour field without its marker gets one; unknown conversions vanish.
    const DateTimeFormats twelve = DateTimeFormats::FromStrftime("%d %b %Y %Z", "%I:%M", "");
    EXPECT_EQ(twelve.longTime, "hh:nn ampm");
    EXPECT_EQ(twelve.shortDate, "dd mmm yyyy");
    EXPECT_EQ(twelve.dateSeparator, '-');  // blanks alone are no separator
    // An unknown conversion letter outside ASCII vanishes whole: no broken
    // UTF-8 sequence is left behind.
    const DateTimeFormats foreign = DateTimeFormats::FromStrftime("%\xCE\xBE%d.%m", "%H", "");
    EXPECT_EQ(foreign.shortDate, "dd.mm");
    // Two fields of one letter side by side stay two fields.
    const DateTimeFormats twice = DateTimeFormats::FromStrftime("%a%d", "%H", "");
    EXPECT_EQ(FormatDateTime(twice.shortDate, Parts(2009, 3, 7), twice), "Sat07");
    // Nothing usable keeps the defaults.
    const DateTimeFormats empty = DateTimeFormats::FromStrftime("%Z", "", "");
    EXPECT_EQ(empty.shortDate, DateTimeFormats{}.shortDate);
    EXPECT_EQ(empty.longTime, DateTimeFormats{}.longTime);
}

TEST(DateTimeLocale, TheCLocale) {
    const DateTimeFormats c = DateTimeFormats::FromLocale("C");
    EXPECT_EQ(c.shortDate, "mm/dd/yy");
    EXPECT_EQ(c.longDate, "dddd, mmmm dd, yyyy");
    EXPECT_EQ(c.shortTime, "hh:nn");
    EXPECT_EQ(c.longTime, "hh:nn:ss");
    EXPECT_EQ(c.dateSeparator, '/');
    EXPECT_EQ(c.timeSeparator, ':');
    EXPECT_EQ(c.amText, "AM");
    EXPECT_EQ(c.shortMonthNames[0], "Jan");
    EXPECT_EQ(c.longMonthNames[11], "December");
    EXPECT_EQ(c.shortDayNames[0], "Sun");
    EXPECT_EQ(c.longDayNames[6], "Saturday");
    EXPECT_EQ(FormatDateTime("ddddd t", Parts(2009, 3, 7, 9, 4), c), "03/07/09 09:04");

    const DateTimeFormats unknown = DateTimeFormats::FromLocale("xx_NOWHERE.UTF-8");
    EXPECT_EQ(unknown.shortDate, DateTimeFormats{}.shortDate);
    // The environment's locale, whatever it is, gives usable formats.
    const DateTimeFormats environment = DateTimeFormats::FromLocale();
    EXPECT_FALSE(environment.shortDate.empty());
    EXPECT_FALSE(environment.shortTime.empty());
}

// A locale's formats and names come out the same whatever code set the
// locale is compiled in: EUC-JP's and KOI8-R's bytes are no Windows-1252.
TEST(DateTimeLocale, TextsOfEightBitCodeSetsBecomeTheSameUtf8) {
    const CompiledLocales locales;
    for (const auto& [source, charmap] : {std::pair<std::string, std::string>{"ja_JP", "EUC-JP"},
                                          {"ru_RU", "KOI8-R"},
                                          {"tr_TR", "ISO-8859-9"}}) {
        if (!locales.Compile(source, charmap) || !locales.Compile(source, "UTF-8"))
            GTEST_SKIP() << "localedef cannot compile " << source;
        const DateTimeFormats utf8 = DateTimeFormats::FromLocale((source + ".UTF-8").c_str());
        const DateTimeFormats eightBit =
            DateTimeFormats::FromLocale((source + "." + charmap).c_str());
        ASSERT_NE(utf8.longMonthNames[2], DateTimeFormats{}.longMonthNames[2]) << source;
        EXPECT_EQ(eightBit.shortDate, utf8.shortDate) << charmap;
        EXPECT_EQ(eightBit.longTime, utf8.longTime) << charmap;
        EXPECT_EQ(eightBit.amText, utf8.amText) << charmap;
        EXPECT_EQ(eightBit.longMonthNames, utf8.longMonthNames) << charmap;
        EXPECT_EQ(eightBit.shortMonthNames, utf8.shortMonthNames) << charmap;
        EXPECT_EQ(eightBit.longDayNames, utf8.longDayNames) << charmap;
    }
}

TEST(DateTimeLocale, AmericanEnglishWhereInstalled) {
    locale_t probe = newlocale(LC_TIME_MASK, "en_US.UTF-8", locale_t{});
    if (probe == locale_t{}) GTEST_SKIP() << "en_US.UTF-8 is not installed";
    freelocale(probe);
    const DateTimeFormats us = DateTimeFormats::FromLocale("en_US.UTF-8");
    EXPECT_EQ(us.shortDate, "mm/dd/yyyy");
    EXPECT_EQ(us.longTime, "hh:nn:ss ampm");
    EXPECT_EQ(us.shortTime, "hh:nn ampm");
    EXPECT_EQ(FormatDateTime("ddddd t", Parts(2009, 3, 7, 14, 5), us), "03/07/2009 02:05 PM");
}

}  // namespace
}  // namespace vellrun::platform
