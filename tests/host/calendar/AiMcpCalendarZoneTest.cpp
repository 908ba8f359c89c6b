// events_query and event_get in the zone this process runs in. The
// executable is registered once with TZ=Asia/Shanghai and once more, for
// these tests only, with TZ=America/New_York; each run finds its zone's
// expectations by the zone's key name and fails when it has none (as when TZ
// was not honoured). The cases put instants given in another zone on the
// right local day, and write the offsets of both sides of a daylight-saving
// change, including the repeated hour.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "CalendarFakes.h"
#include "JsonValue.h"

namespace {

using calfake::EventSpec;
using calfake::FakeCalendarHost;

struct Occurrence {
    const wchar_t* date;
    const wchar_t* start;
    const wchar_t* end;
};

struct QueryCase {
    const wchar_t* start;
    const wchar_t* end;
    const wchar_t* rangeStart;
    const wchar_t* rangeEnd;
    int days;
    std::vector<Occurrence> occurrences;  // one per day, in order
};

struct GetCase {
    const wchar_t* date;
    Occurrence occurrence;
};

struct Zone {
    const wchar_t* key;
    std::vector<QueryCase> queries;
    std::vector<GetCase> gets;
};

const std::vector<Zone>& Zones()
{
    static const std::vector<Zone> zones = {
        {L"China Standard Time",
         {
             {L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00", L"2026-08-20T00:00:00+08:00",
              L"2026-08-21T00:00:00+08:00", 1,
              {{L"2026-08-20", L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00"}}},
             {L"2026-08-20T00:00:00-04:00", L"2026-08-20T12:00:00-04:00", L"2026-08-20T12:00:00+08:00",
              L"2026-08-21T00:00:00+08:00", 1,
              {{L"2026-08-20", L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00"}}},
             {L"2026-12-31T15:00:00Z", L"2026-12-31T17:00:00Z", L"2026-12-31T23:00:00+08:00",
              L"2027-01-01T01:00:00+08:00", 2,
              {{L"2026-12-31", L"2026-12-31T00:00:00+08:00", L"2027-01-01T00:00:00+08:00"},
               {L"2027-01-01", L"2027-01-01T00:00:00+08:00", L"2027-01-02T00:00:00+08:00"}}},
         },
         {
             {L"2026-08-19T20:00:00-04:00", {L"2026-08-20", L"2026-08-20T08:00:00+08:00", L"2026-08-21T00:00:00+08:00"}},
         }},
        {L"Eastern Standard Time",
         {
             // A day given in UTC+08:00 spans two New York days.
             {L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00", L"2026-08-19T12:00:00-04:00",
              L"2026-08-20T12:00:00-04:00", 2,
              {{L"2026-08-19", L"2026-08-19T00:00:00-04:00", L"2026-08-20T00:00:00-04:00"},
               {L"2026-08-20", L"2026-08-20T00:00:00-04:00", L"2026-08-21T00:00:00-04:00"}}},
             // Daylight saving starts on 8 March 2026: that day has 23 hours.
             {L"2026-03-07T00:00:00-05:00", L"2026-03-10T00:00:00-04:00", L"2026-03-07T00:00:00-05:00",
              L"2026-03-10T00:00:00-04:00", 3,
              {{L"2026-03-07", L"2026-03-07T00:00:00-05:00", L"2026-03-08T00:00:00-05:00"},
               {L"2026-03-08", L"2026-03-08T00:00:00-05:00", L"2026-03-09T00:00:00-04:00"},
               {L"2026-03-09", L"2026-03-09T00:00:00-04:00", L"2026-03-10T00:00:00-04:00"}}},
             // It ends on 1 November 2026: that day has 25 hours.
             {L"2026-10-31T00:00:00-04:00", L"2026-11-02T00:00:00-05:00", L"2026-10-31T00:00:00-04:00",
              L"2026-11-02T00:00:00-05:00", 2,
              {{L"2026-10-31", L"2026-10-31T00:00:00-04:00", L"2026-11-01T00:00:00-04:00"},
               {L"2026-11-01", L"2026-11-01T00:00:00-04:00", L"2026-11-02T00:00:00-05:00"}}},
             // The repeated hour: 01:30 once in daylight time, once in standard time.
             {L"2026-11-01T05:30:00Z", L"2026-11-01T06:30:00Z", L"2026-11-01T01:30:00-04:00",
              L"2026-11-01T01:30:00-05:00", 1,
              {{L"2026-11-01", L"2026-11-01T00:00:00-04:00", L"2026-11-02T00:00:00-05:00"}}},
         },
         {
             {L"2026-08-20T00:00:00+08:00", {L"2026-08-19", L"2026-08-19T12:00:00-04:00", L"2026-08-20T00:00:00-04:00"}},
             {L"2026-11-01T06:30:00Z", {L"2026-11-01", L"2026-11-01T01:30:00-05:00", L"2026-11-02T00:00:00-05:00"}},
             {L"2026-03-08T07:30:00Z", {L"2026-03-08", L"2026-03-08T03:30:00-04:00", L"2026-03-09T00:00:00-04:00"}},
         }},
    };
    return zones;
}

const Zone* CurrentZone()
{
    DYNAMIC_TIME_ZONE_INFORMATION info{};
    GetDynamicTimeZoneInformation(&info);
    for (const Zone& zone : Zones())
        if (std::wstring(info.TimeZoneKeyName) == zone.key) return &zone;
    ADD_FAILURE() << "no expectations for this zone: " << std::string(info.TimeZoneKeyName, info.TimeZoneKeyName + wcslen(info.TimeZoneKeyName));
    return nullptr;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

TEST(CalendarZone, QueriesWalkLocalDaysWithTheirOffsets)
{
    const Zone* zone = CurrentZone();
    ASSERT_TRUE(zone);
    for (const QueryCase& c : zone->queries) {
        SCOPED_TRACE(Narrow(c.start) + " .. " + Narrow(c.end));
        FakeCalendarHost host;
        host.Events().AddEveryDay({L"daily", L"Water plants", kEventTypeTask, L"DAILY", -1});
        const std::wstring params = L"{\"start\":\"" + std::wstring(c.start) + L"\",\"end\":\"" + c.end + L"\"}";
        const JsonValue::Ptr root = JsonValue::Parse(AiMcpEventsQuery(L"z", params));
        ASSERT_TRUE(root && root->GetMember(L"result"));
        const JsonValue& result = *root->GetMember(L"result");
        const JsonValue& range = *result.GetMember(L"range");
        EXPECT_EQ(range.GetMember(L"start")->StringValue(), c.rangeStart);
        EXPECT_EQ(range.GetMember(L"end")->StringValue(), c.rangeEnd);
        EXPECT_EQ(range.GetMember(L"days")->NumberValue(), c.days);
        const auto& events = result.GetMember(L"events")->Items();
        ASSERT_EQ(events.size(), c.occurrences.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i]->GetMember(L"date")->StringValue(), c.occurrences[i].date);
            EXPECT_EQ(events[i]->GetMember(L"start")->StringValue(), c.occurrences[i].start);
            EXPECT_EQ(events[i]->GetMember(L"end")->StringValue(), c.occurrences[i].end);
            EXPECT_EQ(host.Events().daysAsked[i], c.occurrences[i].date);
        }
    }
}

TEST(CalendarZone, YearRangesCountLocalDays)
{
    const Zone* zone = CurrentZone();
    ASSERT_TRUE(zone);
    const bool shanghai = std::wstring(zone->key) == L"China Standard Time";
    const std::wstring offset = shanghai ? L"+08:00" : L"-05:00";
    struct Case {
        const wchar_t* start;
        const wchar_t* end;
        int days;  // 0: refused
    };
    const Case cases[] = {
        {L"2027-01-01T00:00:00", L"2028-01-01T00:00:00", 365},
        {L"2028-01-01T00:00:00", L"2029-01-01T00:00:00", 366},
        {L"2028-01-01T00:00:00", L"2029-01-01T00:00:01", 0},
    };
    for (const Case& c : cases) {
        FakeCalendarHost host;
        const std::wstring answer = AiMcpEventsQuery(
            L"z", std::wstring(L"{\"start\":\"") + c.start + offset + L"\",\"end\":\"" + c.end + offset + L"\"}");
        if (c.days == 0) {
            EXPECT_NE(answer.find(L"the range covers 367 days, at most 366 are allowed"), std::wstring::npos);
        } else {
            EXPECT_NE(answer.find(L"\"days\":" + std::to_wstring(c.days) + L","), std::wstring::npos);
            EXPECT_EQ(host.Events().daysAsked.size(), static_cast<std::size_t>(c.days));
        }
    }
}

TEST(CalendarZone, EventGetTakesTheLocalDayOfTheDate)
{
    const Zone* zone = CurrentZone();
    ASSERT_TRUE(zone);
    for (const GetCase& c : zone->gets) {
        SCOPED_TRACE(Narrow(c.date));
        FakeCalendarHost host;
        host.Events().AddById({L"t", L"Walk", kEventTypeTask});
        host.Events().AddOnDay(c.occurrence.date, {L"t", L"Walk", kEventTypeTask});
        const JsonValue::Ptr root =
            JsonValue::Parse(AiMcpEventGet(L"z", L"{\"id\":\"t\",\"date\":\"" + std::wstring(c.date) + L"\"}"));
        ASSERT_TRUE(root && root->GetMember(L"result"));
        const JsonValue& event = *root->GetMember(L"result")->GetMember(L"event");
        EXPECT_EQ(event.GetMember(L"date")->StringValue(), c.occurrence.date);
        EXPECT_EQ(event.GetMember(L"start")->StringValue(), c.occurrence.start);
        EXPECT_EQ(event.GetMember(L"end")->StringValue(), c.occurrence.end);
        EXPECT_EQ(host.Events().datesAsked, std::vector<std::wstring>{c.occurrence.date});
    }
}

}  // namespace
