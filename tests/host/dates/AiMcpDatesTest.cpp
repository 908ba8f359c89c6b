// ISO 8601 grammar, day stamps and day arithmetic, the "YYYY-MM-DD" check
// and the supported write range: what holds in every time zone. Expected UTC
// instants come from an independent day count, not from the platform.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "AiMcpDates.h"

namespace {

// Days from 1601-01-01 to a date of the proleptic Gregorian calendar.
long long DaysSince1601(int year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const long long era = year / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const long long daysSince1970 = era * 146097 + dayOfEra - 719468;
    return daysSince1970 + 134774;
}

FileTime Utc(int year, int month, int day, int hour, int minute, int second)
{
    return (((DaysSince1601(year, month, day) * 24 + hour) * 60 + minute) * 60 + second) * 10000000LL;
}

std::wstring DayFields(const LocalDay& day)
{
    wchar_t buffer[64];
    swprintf(buffer, 64, L"%d-%d-%d %d:%d:%d.%d dow%d", day.wYear, day.wMonth, day.wDay, day.wHour, day.wMinute,
             day.wSecond, day.wMilliseconds, day.wDayOfWeek);
    return buffer;
}

LocalDay Day(int year, int month, int day)
{
    LocalDay d{};
    d.wYear = static_cast<WORD>(year);
    d.wMonth = static_cast<WORD>(month);
    d.wDay = static_cast<WORD>(day);
    return d;
}

TEST(IsoInstant, AcceptedFormsGiveTheirUtcInstant)
{
    struct Case {
        std::wstring text;
        FileTime utc;
    };
    const Case cases[] = {
        {L"2026-08-20T00:00:00+08:00", Utc(2026, 8, 19, 16, 0, 0)},
        {L"2026-08-20T00:00+08:00", Utc(2026, 8, 19, 16, 0, 0)},  // no seconds
        {L"2026-08-20T00:00:00+0800", Utc(2026, 8, 19, 16, 0, 0)},
        {L"2026-08-20T00:00:00+08", Utc(2026, 8, 19, 16, 0, 0)},
        {L"2026-08-20T00:00:00.5Z", Utc(2026, 8, 20, 0, 0, 0)},  // fraction ignored
        {L"2026-08-20T23:59:59.999Z", Utc(2026, 8, 20, 23, 59, 59)},
        {L"2026-08-20T00:00:00,123456789012345678901Z", Utc(2026, 8, 20, 0, 0, 0)},
        {L"2026-08-20T00:00:00.5+08:00", Utc(2026, 8, 19, 16, 0, 0)},
        {L"2026-08-20T00:00:00z", Utc(2026, 8, 20, 0, 0, 0)},
        {L"2026-08-20T00:00:00-00:00", Utc(2026, 8, 20, 0, 0, 0)},
        {L"2026-08-20T00:00:00+14:00", Utc(2026, 8, 19, 10, 0, 0)},
        {L"2026-08-20T00:00:00+14:59", Utc(2026, 8, 19, 9, 1, 0)},
        {L"2026-08-20T00:00:00-12:00", Utc(2026, 8, 20, 12, 0, 0)},
        {L"2026-08-20T00:00:00-14:59", Utc(2026, 8, 20, 14, 59, 0)},
        {L"2026-08-20T00:00:00+05:45", Utc(2026, 8, 19, 18, 15, 0)},
        {L"2026-08-20T00:00:00-0930", Utc(2026, 8, 20, 9, 30, 0)},
        {L"2026-03-01T00:30:00+01:00", Utc(2026, 2, 28, 23, 30, 0)},  // the day before, in UTC
        {L"2028-02-29T10:00:00Z", Utc(2028, 2, 29, 10, 0, 0)},
        {L"2000-02-29T00:00:00Z", Utc(2000, 2, 29, 0, 0, 0)},
        {L"2026-12-31T23:59:59Z", Utc(2026, 12, 31, 23, 59, 59)},
        {L"9999-12-31T23:59:59Z", Utc(9999, 12, 31, 23, 59, 59)},
        {L"9999-12-31T23:59:59-14:59", Utc(10000, 1, 1, 14, 58, 59)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LocalDateTime local{};
        FileTime utc = -1;
        ASSERT_TRUE(ParseIsoInstant(c.text, local, &utc));
        EXPECT_EQ(utc, c.utc);
        EXPECT_EQ(local.wMilliseconds, 0);
        EXPECT_EQ(local.wDayOfWeek, 0);
        LocalDateTime withoutUtc{};
        EXPECT_TRUE(ParseIsoInstant(c.text, withoutUtc));  // the UTC instant is optional
    }
}

TEST(IsoInstant, RefusedForms)
{
    const std::wstring cases[] = {
        L"",
        L"2026-08-20",                      // no time
        L"2026-08-20T00:00:00",             // no zone
        L"2026-08-20T00:00",                // no zone
        L"2026-08-20 00:00:00+08:00",       // blank instead of T
        L"2026-08-20t00:00:00Z",            // lower-case t
        L"2026-08-20T00:00:00+8:00",        // one digit of zone hours
        L"2026-08-20T00:00:00+08:",         // colon without minutes
        L"2026-08-20T00:00:00+08:0",
        L"2026-08-20T00:00:00+08:000",
        L"2026-08-20T00:00:00+08:00:00",
        L"2026-08-20T00:00:00+15:00",       // beyond 14 hours
        L"2026-08-20T00:00:00-15:00",
        L"2026-08-20T00:00:00+08:60",       // zone minutes above 59
        L"2026-08-20T00:00:00+14:60",
        L"2026-08-20T00:00:00UTC",
        L"2026-08-20T00:00:00ZZ",
        L"2026-08-20T00:00:00+08:00Z",
        L"2026-08-20T00:00:00.Z",           // fraction separator without digits
        L"2026-08-20T00:00:00,+08:00",
        L"2026-08-20T00:00.5Z",             // fraction without seconds
        L"2026-08-20T00:00:5Z",
        L"2026-08-20T0:00:00Z",
        L"2026-8-20T00:00:00Z",
        L"26-08-20T00:00:00Z",
        L"20260820T000000Z",                // basic format
        L"+2026-08-20T00:00:00Z",
        L" 2026-08-20T00:00:00Z",
        L"2026-08-20T00:00:00Z ",
        std::wstring(L"2026-08-20T00:00:00Z\0", 21),  // a NUL after the zone
        L"\xFF12\xFF10\xFF12\xFF16-08-20T00:00:00Z",  // full-width digits
        L"2026-02-29T10:00:00Z",            // 2026 is not a leap year
        L"1900-02-29T00:00:00Z",            // nor is 1900
        L"2026-02-30T00:00:00Z",
        L"2026-04-31T00:00:00Z",
        L"2026-13-01T00:00:00Z",
        L"2026-00-10T00:00:00Z",
        L"2026-08-00T00:00:00Z",
        L"2026-08-20T24:00:00Z",            // hour 24
        L"2026-08-20T23:60:00Z",
        L"2026-12-31T23:59:60Z",            // leap second
        L"1600-12-31T23:59:59Z",            // year before 1601
        L"0000-01-01T00:00:00Z",
        L"1601-01-01T00:00:00+01:00",       // UTC instant before 1601
        L"1601-01-01T00:59:59+01:00",
    };
    for (const std::wstring& text : cases) {
        SCOPED_TRACE(text);
        LocalDateTime local{};
        FileTime utc = 0;
        EXPECT_FALSE(ParseIsoInstant(text, local, &utc));
    }
}

TEST(DayText, FormatDay)
{
    EXPECT_EQ(FormatDay(Day(2026, 3, 1)), L"2026-03-01");
    EXPECT_EQ(FormatDay(Day(1601, 12, 31)), L"1601-12-31");
    EXPECT_EQ(FormatDay(Day(30827, 1, 9)), L"30827-01-09");  // "%d": the year is as long as it needs
    LocalDateTime withTime = Day(2026, 11, 9);
    withTime.wHour = 23;
    withTime.wMinute = 59;
    EXPECT_EQ(FormatDay(withTime), L"2026-11-09");
}

TEST(DayText, ParseDayTextTakesTheFormOnly)
{
    struct Case {
        const wchar_t* text;
        bool ok;
        int year, month, day;
    };
    const Case cases[] = {
        {L"2026-08-20", true, 2026, 8, 20},
        {L"2026-02-31", true, 2026, 2, 31},  // no calendar check
        {L"0000-00-00", true, 0, 0, 0},
        {L"9999-99-99", true, 9999, 99, 99},
        {L"", false, 0, 0, 0},
        {L"2026-8-20", false, 0, 0, 0},
        {L"2026-08-2", false, 0, 0, 0},
        {L"2026/08/20", false, 0, 0, 0},
        {L"2026-08-20 ", false, 0, 0, 0},
        {L"2026-08-20T00:00:00Z", false, 0, 0, 0},
        {L"-2026-08-20", false, 0, 0, 0},
        {L"20260820", false, 0, 0, 0},
        {L"2026-0a-20", false, 0, 0, 0},
        {L"\xFF12\xFF10\xFF12\xFF16-08-20", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        int year = -1, month = -1, day = -1;
        ASSERT_EQ(ParseDayText(c.text, year, month, day), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(year, c.year);
        EXPECT_EQ(month, c.month);
        EXPECT_EQ(day, c.day);
    }
}

TEST(DayText, ParseDayTextValidNeedsARealDate)
{
    struct Case {
        const wchar_t* text;
        bool ok;
    };
    const Case cases[] = {
        {L"2026-08-20", true},  {L"2028-02-29", true},  {L"2000-02-29", true},  {L"1601-01-01", true},
        {L"9999-12-31", true},  {L"2026-02-29", false}, {L"2100-02-29", false}, {L"2026-02-31", false},
        {L"2026-04-31", false}, {L"2026-13-01", false}, {L"2026-00-01", false}, {L"2026-01-00", false},
        {L"1600-12-31", false}, {L"0000-01-01", false}, {L"2026-08-20x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        LocalDay day{};
        ASSERT_EQ(ParseDayTextValid(c.text, day), c.ok);
        if (c.ok) {
            EXPECT_EQ(FormatDay(day), c.text);
        }
    }
    LocalDay day{};
    day.wHour = 7;
    ASSERT_TRUE(ParseDayTextValid(L"2026-03-08", day));
    EXPECT_EQ(DayFields(day), L"2026-3-8 0:0:0.0 dow0");
}

TEST(DayStamps, StampsAreNoonAndDifferByWholeDays)
{
    FileTime first = 0, stamp = 0, next = 0;
    ASSERT_TRUE(DayStamp(1601, 1, 1, first));
    EXPECT_EQ(first, kFileTimeHalfDay);
    ASSERT_TRUE(DayStamp(2026, 3, 8, stamp));
    EXPECT_EQ(stamp, Utc(2026, 3, 8, 12, 0, 0));
    ASSERT_TRUE(DayStamp(Day(2026, 3, 9), next));
    EXPECT_EQ(next - stamp, kFileTimeDay);
}

TEST(DayStamps, RefusesDatesThatDoNotExist)
{
    struct Case {
        int year, month, day;
    };
    const Case cases[] = {
        {2026, 2, 29}, {1900, 2, 29}, {2026, 4, 31}, {2026, 13, 1}, {2026, 0, 1}, {2026, 1, 0}, {1600, 12, 31},
        {-1, 1, 1},    {2026, -1, 1}, {2026, 1, -1},
        // Values that a cast to the record's 16-bit fields would turn into
        // real dates (2026-01-01, 2026-01-01 and 2026-02-01).
        {2026 + 65536, 1, 1}, {2026, 1 + 65536, 1}, {2026, 2, 1 + 65536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        FileTime stamp = 0;
        EXPECT_FALSE(DayStamp(c.year, c.month, c.day, stamp));
    }
}

TEST(DayStamps, DayFromFileTime)
{
    LocalDay day{};
    EXPECT_FALSE(DayFromFileTime(-1, day));
    ASSERT_TRUE(DayFromFileTime(0, day));
    EXPECT_EQ(DayFields(day), L"1601-1-1 0:0:0.0 dow0");
    ASSERT_TRUE(DayFromFileTime(Utc(2026, 3, 8, 23, 59, 59) + 9999999, day));  // last tick of the day
    EXPECT_EQ(DayFields(day), L"2026-3-8 0:0:0.0 dow0");
    ASSERT_TRUE(DayFromFileTime(Utc(2026, 3, 9, 0, 0, 0), day));
    EXPECT_EQ(DayFields(day), L"2026-3-9 0:0:0.0 dow0");
}

TEST(DayStamps, NextDay)
{
    struct Case {
        LocalDay day;
        const wchar_t* next;
    };
    const Case cases[] = {
        {Day(2026, 2, 28), L"2026-03-01"},  {Day(2028, 2, 28), L"2028-02-29"},  {Day(2028, 2, 29), L"2028-03-01"},
        {Day(2026, 12, 31), L"2027-01-01"}, {Day(2026, 3, 7), L"2026-03-08"},   {Day(2026, 3, 8), L"2026-03-09"},
        {Day(2026, 10, 31), L"2026-11-01"}, {Day(2026, 11, 1), L"2026-11-02"},  {Day(1601, 1, 1), L"1601-01-02"},
        {Day(9999, 12, 31), L"10000-01-01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.next);
        LocalDay next{};
        ASSERT_TRUE(NextDay(c.day, next));
        EXPECT_EQ(FormatDay(next), c.next);
        EXPECT_EQ(next.wHour + next.wMinute + next.wSecond + next.wMilliseconds + next.wDayOfWeek, 0);
    }
    LocalDay late = Day(2026, 3, 31);
    late.wHour = 23;
    late.wMinute = 59;
    LocalDay next{};
    ASSERT_TRUE(NextDay(late, next));
    EXPECT_EQ(FormatDay(next), L"2026-04-01");
    EXPECT_FALSE(NextDay(Day(2026, 2, 29), next));
    EXPECT_FALSE(NextDay(Day(1600, 12, 31), next));
}

TEST(DayStamps, CountDaysIncludesBothEnds)
{
    struct Case {
        LocalDay first, last;
        int days;
    };
    const Case cases[] = {
        {Day(2026, 3, 28), Day(2026, 3, 30), 3},  // a European daylight-saving change in between
        {Day(2026, 3, 7), Day(2026, 3, 9), 3},    // an American one
        {Day(2026, 10, 31), Day(2026, 11, 2), 3},
        {Day(2026, 11, 1), Day(2026, 11, 1), 1},
        {Day(2026, 1, 1), Day(2026, 12, 31), 365},
        {Day(2028, 1, 1), Day(2028, 12, 31), 366},
        {Day(2026, 8, 20), Day(2027, 8, 21), 367},
        {Day(1601, 1, 1), Day(9999, 12, 31), 3067671},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FormatDay(c.first) + L".." + FormatDay(c.last));
        int days = 0;
        ASSERT_TRUE(CountDays(c.first, c.last, days));
        EXPECT_EQ(days, c.days);
    }
    int days = 0;
    EXPECT_FALSE(CountDays(Day(2026, 3, 9), Day(2026, 3, 8), days));  // last before first
    EXPECT_FALSE(CountDays(Day(2026, 2, 29), Day(2026, 3, 8), days));
    EXPECT_FALSE(CountDays(Day(2026, 3, 8), Day(2026, 2, 30), days));
}

TEST(SupportedDays, WriteRange)
{
    struct Case {
        int year, month, day;
        bool supported;
    };
    const Case cases[] = {
        {1970, 1, 1, true},    {2099, 12, 31, true},  {2026, 2, 31, true},  // day not compared with the month
        {2026, 8, 20, true},   {1969, 12, 31, false}, {2100, 1, 1, false},  {2026, 0, 1, false},
        {2026, 13, 1, false},  {2026, 1, 0, false},   {2026, 1, 32, false}, {-2026, 1, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.year << "-" << c.month << "-" << c.day);
        EXPECT_EQ(IsSupportedDay(c.year, c.month, c.day), c.supported);
        if (c.year > 0 && c.month >= 0 && c.day >= 0) {
            EXPECT_EQ(IsSupportedDay(Day(c.year, c.month, c.day)), c.supported);
        }
    }
}

}  // namespace
