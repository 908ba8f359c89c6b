// Conversions between instants and local time in the zone this process runs
// in. The same executable is registered once per zone with TZ set to it; each
// run finds its zone's expectations by the zone's key name, and fails when it
// has none (as when TZ was not honoured). Covered: a UTC+08:00 zone, New York
// across both daylight-saving changes of 2026 and under its rules of 2006,
// Kathmandu (+05:45) and the Chatham Islands (+12:45, daylight saving over
// the turn of the year).
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "AiMcpDates.h"

namespace {

constexpr FileTime kHour = 60 * kFileTimeMinute;

LocalDateTime Local(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    LocalDateTime t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

std::wstring LocalText(const LocalDateTime& t)
{
    wchar_t buffer[64];
    swprintf(buffer, 64, L"%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    return buffer;
}

struct InstantCase {
    const wchar_t* instant;
    const wchar_t* local;  // null: refused in this zone
    const wchar_t* iso;    // the instant written back in local time
    bool repeatedHour;     // the local time occurs twice that night
};

struct LocalCase {
    LocalDateTime local;
    const wchar_t* iso;
    bool offsetKnown;
};

struct DayLength {
    LocalDay day;
    int hours;
};

struct Zone {
    const wchar_t* key;
    std::vector<InstantCase> instants;
    std::vector<LocalCase> locals;
    std::vector<DayLength> days;
};

const std::vector<Zone>& Zones()
{
    static const std::vector<Zone> zones = {
        {L"China Standard Time",
         {
             {L"2026-08-20T00:00:00Z", L"2026-08-20 08:00:00", L"2026-08-20T08:00:00+08:00", false},
             {L"2026-08-20T00:00:00+08:00", L"2026-08-20 00:00:00", L"2026-08-20T00:00:00+08:00", false},
             {L"2026-08-19T15:59:59Z", L"2026-08-19 23:59:59", L"2026-08-19T23:59:59+08:00", false},
             {L"2026-12-31T16:00:00Z", L"2027-01-01 00:00:00", L"2027-01-01T00:00:00+08:00", false},
             {L"2026-03-08T07:00:00Z", L"2026-03-08 15:00:00", L"2026-03-08T15:00:00+08:00", false},
             {L"1601-01-01T00:00:00Z", L"1601-01-01 08:00:00", L"1601-01-01T08:00:00+08:00", false},
         },
         {
             {Local(2026, 8, 20, 8), L"2026-08-20T08:00:00+08:00", true},
             {Local(2026, 8, 20), L"2026-08-20T00:00:00+08:00", true},
             // Its UTC time would lie before 1601: no offset can be found.
             {Local(1601, 1, 1, 7, 59, 59), L"1601-01-01T07:59:59+00:00", false},
         },
         {{Local(2026, 3, 8), 24}, {Local(2026, 11, 1), 24}}},

        {L"Eastern Standard Time",
         {
             {L"2026-08-20T00:00:00Z", L"2026-08-19 20:00:00", L"2026-08-19T20:00:00-04:00", false},
             {L"2026-08-20T00:00:00+08:00", L"2026-08-19 12:00:00", L"2026-08-19T12:00:00-04:00", false},
             {L"2026-01-15T12:00:00Z", L"2026-01-15 07:00:00", L"2026-01-15T07:00:00-05:00", false},
             // Daylight saving starts 2026-03-08 at 02:00 local.
             {L"2026-03-08T06:59:59Z", L"2026-03-08 01:59:59", L"2026-03-08T01:59:59-05:00", false},
             {L"2026-03-08T07:00:00Z", L"2026-03-08 03:00:00", L"2026-03-08T03:00:00-04:00", false},
             // It ends 2026-11-01 at 02:00 local; 01:00..01:59 occurs twice.
             {L"2026-11-01T04:59:59Z", L"2026-11-01 00:59:59", L"2026-11-01T00:59:59-04:00", false},
             {L"2026-11-01T05:30:00Z", L"2026-11-01 01:30:00", L"2026-11-01T01:30:00-04:00", true},
             {L"2026-11-01T05:59:59Z", L"2026-11-01 01:59:59", L"2026-11-01T01:59:59-04:00", true},
             {L"2026-11-01T06:00:00Z", L"2026-11-01 01:00:00", L"2026-11-01T01:00:00-05:00", true},
             {L"2026-11-01T06:30:00Z", L"2026-11-01 01:30:00", L"2026-11-01T01:30:00-05:00", true},
             {L"2026-11-01T07:00:00Z", L"2026-11-01 02:00:00", L"2026-11-01T02:00:00-05:00", false},
             {L"2027-01-01T04:59:59Z", L"2026-12-31 23:59:59", L"2026-12-31T23:59:59-05:00", false},
             // 2006 had the older rules: from the first Sunday of April to
             // the last Sunday of October.
             {L"2006-03-20T12:00:00Z", L"2006-03-20 07:00:00", L"2006-03-20T07:00:00-05:00", false},
             {L"2006-04-05T12:00:00Z", L"2006-04-05 08:00:00", L"2006-04-05T08:00:00-04:00", false},
             {L"2006-10-30T12:00:00Z", L"2006-10-30 07:00:00", L"2006-10-30T07:00:00-05:00", false},
             // The local time of the very first instant lies before 1601.
             {L"1601-01-01T00:00:00Z", nullptr, nullptr, false},
             {L"1601-01-01T05:00:00Z", L"1601-01-01 00:00:00", L"1601-01-01T00:00:00-05:00", false},
         },
         {
             {Local(2026, 3, 8), L"2026-03-08T00:00:00-05:00", true},
             {Local(2026, 3, 9), L"2026-03-09T00:00:00-04:00", true},
             {Local(2026, 11, 1), L"2026-11-01T00:00:00-04:00", true},
             {Local(2026, 11, 2), L"2026-11-02T00:00:00-05:00", true},
             {Local(2006, 3, 20, 7), L"2006-03-20T07:00:00-05:00", true},
             {Local(2006, 10, 28, 7), L"2006-10-28T07:00:00-04:00", true},
             {Local(2006, 10, 30, 7), L"2006-10-30T07:00:00-05:00", true},
         },
         {{Local(2026, 3, 8), 23},
          {Local(2026, 11, 1), 25},
          {Local(2026, 7, 1), 24},
          {Local(2006, 4, 2), 23},
          {Local(2006, 10, 29), 25}}},

        {L"Nepal Standard Time",
         {
             {L"2026-08-20T00:00:00Z", L"2026-08-20 05:45:00", L"2026-08-20T05:45:00+05:45", false},
             {L"2026-08-20T00:00:00+08:00", L"2026-08-19 21:45:00", L"2026-08-19T21:45:00+05:45", false},
             {L"2026-08-19T18:14:59Z", L"2026-08-19 23:59:59", L"2026-08-19T23:59:59+05:45", false},
             {L"2026-08-19T18:15:00Z", L"2026-08-20 00:00:00", L"2026-08-20T00:00:00+05:45", false},
             {L"2026-12-31T18:15:00Z", L"2027-01-01 00:00:00", L"2027-01-01T00:00:00+05:45", false},
         },
         {
             {Local(2026, 8, 20, 5, 45), L"2026-08-20T05:45:00+05:45", true},
             {Local(2026, 3, 8), L"2026-03-08T00:00:00+05:45", true},
         },
         {{Local(2026, 3, 8), 24}, {Local(2026, 11, 1), 24}}},

        {L"Chatham Islands Standard Time",
         {
             {L"2026-08-20T00:00:00Z", L"2026-08-20 12:45:00", L"2026-08-20T12:45:00+12:45", false},
             {L"2026-08-20T00:00:00+08:00", L"2026-08-20 04:45:00", L"2026-08-20T04:45:00+12:45", false},
             {L"2026-01-15T00:00:00Z", L"2026-01-15 13:45:00", L"2026-01-15T13:45:00+13:45", false},
             // Daylight saving ends 2026-04-05 at 03:45 local; 02:45..03:44
             // occurs twice.
             {L"2026-04-04T13:59:59Z", L"2026-04-05 03:44:59", L"2026-04-05T03:44:59+13:45", true},
             {L"2026-04-04T14:00:00Z", L"2026-04-05 02:45:00", L"2026-04-05T02:45:00+12:45", true},
             // It starts 2026-09-27 at 02:45 local.
             {L"2026-09-26T13:59:59Z", L"2026-09-27 02:44:59", L"2026-09-27T02:44:59+12:45", false},
             {L"2026-09-26T14:00:00Z", L"2026-09-27 03:45:00", L"2026-09-27T03:45:00+13:45", false},
             // The turn of the year falls in daylight saving.
             {L"2026-12-31T10:14:59Z", L"2026-12-31 23:59:59", L"2026-12-31T23:59:59+13:45", false},
             {L"2026-12-31T10:15:00Z", L"2027-01-01 00:00:00", L"2027-01-01T00:00:00+13:45", false},
         },
         {
             {Local(2026, 1, 15, 13, 45), L"2026-01-15T13:45:00+13:45", true},
             {Local(2026, 7, 15, 12, 45), L"2026-07-15T12:45:00+12:45", true},
             {Local(2027, 1, 1), L"2027-01-01T00:00:00+13:45", true},
         },
         {{Local(2026, 4, 5), 25}, {Local(2026, 9, 27), 23}, {Local(2026, 12, 31), 24}}},
    };
    return zones;
}

class LocalZone : public testing::Test {
protected:
    void SetUp() override
    {
        DYNAMIC_TIME_ZONE_INFORMATION info{};
        ASSERT_NE(GetDynamicTimeZoneInformation(&info), TIME_ZONE_ID_INVALID);
        const std::wstring key = info.TimeZoneKeyName;
        for (const Zone& z : Zones()) {
            if (key == z.key) zone_ = &z;
        }
        ASSERT_NE(zone_, nullptr) << "no expectations for the zone " << testing::PrintToString(key)
                                  << "; was TZ passed to this process?";
    }

    const Zone* zone_ = nullptr;
};

TEST_F(LocalZone, InstantsInLocalTime)
{
    for (const InstantCase& c : zone_->instants) {
        SCOPED_TRACE(c.instant);
        LocalDateTime local{};
        FileTime utc = 0;
        if (!c.local) {
            EXPECT_FALSE(ParseIsoInstant(c.instant, local, &utc));
            continue;
        }
        ASSERT_TRUE(ParseIsoInstant(c.instant, local, &utc));
        EXPECT_EQ(LocalText(local), c.local);
        EXPECT_EQ(local.wDayOfWeek, 0);
        EXPECT_EQ(local.wMilliseconds, 0);

        // The instant written back names the same instant.
        std::wstring iso;
        ASSERT_TRUE(FormatIsoInstant(utc, iso));
        EXPECT_EQ(iso, c.iso);
        LocalDateTime again{};
        FileTime utcAgain = 0;
        ASSERT_TRUE(ParseIsoInstant(iso, again, &utcAgain));
        EXPECT_EQ(utcAgain, utc);

        // Outside a repeated hour the local time alone gives the same text.
        if (!c.repeatedHour) {
            std::wstring fromLocal;
            EXPECT_TRUE(FormatIsoLocal(local, fromLocal));
            EXPECT_EQ(fromLocal, c.iso);
        }
    }
}

TEST_F(LocalZone, FormatIsoLocalOffsets)
{
    for (const LocalCase& c : zone_->locals) {
        SCOPED_TRACE(c.iso);
        std::wstring text;
        EXPECT_EQ(FormatIsoLocal(c.local, text), c.offsetKnown);
        EXPECT_EQ(text, c.iso);
    }
}

TEST_F(LocalZone, DayLengthsAcrossDaylightSaving)
{
    for (const DayLength& c : zone_->days) {
        SCOPED_TRACE(FormatDay(c.day));
        LocalDay next{};
        ASSERT_TRUE(NextDay(c.day, next));
        // Each midnight written with its offset and read back is that
        // midnight; the instants between them are the day's real length.
        std::wstring start, end;
        ASSERT_TRUE(FormatIsoLocal(c.day, start));
        ASSERT_TRUE(FormatIsoLocal(next, end));
        LocalDateTime startLocal{}, endLocal{};
        FileTime startUtc = 0, endUtc = 0;
        ASSERT_TRUE(ParseIsoInstant(start, startLocal, &startUtc));
        ASSERT_TRUE(ParseIsoInstant(end, endLocal, &endUtc));
        EXPECT_EQ(LocalText(startLocal), FormatDay(c.day) + L" 00:00:00");
        EXPECT_EQ(LocalText(endLocal), FormatDay(next) + L" 00:00:00");
        EXPECT_EQ(endUtc - startUtc, c.hours * kHour);
        // Counting days does not see the length of a day.
        int days = 0;
        ASSERT_TRUE(CountDays(c.day, next, days));
        EXPECT_EQ(days, 2);
    }
}

TEST_F(LocalZone, MidnightWriterWritesWhatFormatIsoLocalWrites)
{
    // One walk over every day from December 2005 to April 2007; New York's
    // rules of 2006 and 2007 differ (the changes moved to March and
    // November), so rules kept from one year into the next would show.
    AiMcpMidnightWriter writer;
    LocalDay day = Local(2005, 12, 1);
    for (int i = 0; i < 500; ++i) {
        SCOPED_TRACE(FormatDay(day));
        std::wstring written, expected;
        EXPECT_EQ(writer.Write(day, written), FormatIsoLocal(day, expected));
        EXPECT_EQ(written, expected);
        LocalDay next{};
        ASSERT_TRUE(NextDay(day, next));
        day = next;
    }
}

TEST_F(LocalZone, DayWalkIgnoresDaylightSaving)
{
    // Every date of 2026 and 2028, in order, one step at a time.
    for (int year : {2026, 2028}) {
        const int daysInYear = year == 2028 ? 366 : 365;
        LocalDay day = Local(year, 1, 1);
        int month = 1, dayOfMonth = 1;
        const int monthLengths[12] = {31, year == 2028 ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        for (int i = 1; i < daysInYear; ++i) {
            LocalDay next{};
            ASSERT_TRUE(NextDay(day, next)) << FormatDay(day);
            if (++dayOfMonth > monthLengths[month - 1]) {
                dayOfMonth = 1;
                ++month;
            }
            ASSERT_EQ(LocalText(next), LocalText(Local(year, month, dayOfMonth)));
            day = next;
        }
        int days = 0;
        ASSERT_TRUE(CountDays(Local(year, 1, 1), day, days));
        EXPECT_EQ(days, daysInYear);
    }
}

}  // namespace
