// event_get against fake services in UTC+08:00: parameter checks and their
// order, the single-event JSON with and without an occurrence date, and the
// date object handed to the host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "CalendarFakes.h"

namespace {

using calfake::EventSpec;
using calfake::FakeCalendarHost;

std::wstring Ok(const std::wstring& event)
{
    return L"{\"id\":\"g\",\"ok\":true,\"result\":{\"event\":" + event + L"}}";
}

std::wstring Error(const wchar_t* code, const wchar_t* message)
{
    return L"{\"id\":\"g\",\"ok\":false,\"error\":{\"code\":\"" + std::wstring(code) + L"\",\"message\":\"" +
           message + L"\"}}";
}

const wchar_t kNoId[] = L"malformed request: \\\"params\\\" needs an \\\"id\\\" string";
const wchar_t kBadDate[] =
    L"\\\"date\\\" must be ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00";
const wchar_t kNotFound[] = L"no local event with that id";

TEST(EventGet, RefusesInOrder)
{
    struct Case {
        const char* name;
        const wchar_t* params;
        bool withService;
        HRESULT byIdResult;
        std::wstring expected;
    };
    const Case cases[] = {
        {"no params", L"", true, S_OK, Error(L"INVALID_PARAMS", kNoId)},
        {"empty id before a bad date", L"{\"id\":\"\",\"date\":\"x\"}", true, S_OK, Error(L"INVALID_PARAMS", kNoId)},
        {"id not a string", L"{\"id\":true}", true, S_OK, Error(L"INVALID_PARAMS", kNoId)},
        {"bad date before the service", L"{\"id\":\"e1\",\"date\":\"2026-08-20\"}", false, S_OK,
         Error(L"INVALID_TIME", kBadDate)},
        {"no event service", L"{\"id\":\"e1\"}", false, S_OK,
         Error(L"INTERNAL", L"the calendar event service is not available")},
        {"unknown id", L"{\"id\":\"nope\"}", true, S_OK, Error(L"NOT_FOUND", kNotFound)},
        {"found with S_FALSE", L"{\"id\":\"e1\"}", true, S_FALSE, Error(L"NOT_FOUND", kNotFound)},
        {"not a task, reminder or countdown", L"{\"id\":\"x4\"}", true, S_OK, Error(L"NOT_FOUND", kNotFound)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCalendarHost host;
        host.Events().AddById({L"e1", L"One", kEventTypeTask});
        host.Events().AddById({L"x4", L"Four", 4});
        host.Events().byIdResult = c.byIdResult;
        if (!c.withService) host.RemoveEvents();
        EXPECT_EQ(AiMcpEventGet(L"g", c.params), c.expected);
    }
}

TEST(EventGet, WithoutDateHasNoOccurrenceMembers)
{
    FakeCalendarHost host;
    EventSpec countdown{L"c1", L"Exam", kEventTypeCountdown, L"DAILY", 1, true};
    countdown.countdownType = 2;
    countdown.showType = 1;
    host.Events().AddById(countdown);
    host.Events().AddById({L"e0", L"", kEventTypeTask, L"WORKDAYLY", -1});
    host.Events().AddById({L"42", std::wstring(201, L'a'), kEventTypeTask});

    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":\"c1\",\"date\":\"\"}"),
              Ok(L"{\"id\":\"c1\",\"title\":\"Exam\",\"all_day\":true,\"event_type\":3,\"kind\":\"countdown\","
                 L"\"recurrence\":\"none\",\"countdown\":{\"countdown_type\":2,\"show_type\":1}}"));
    // An empty title is still returned here.
    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":\"e0\"}"),
              Ok(L"{\"id\":\"e0\",\"title\":\"\",\"all_day\":true,\"event_type\":1,\"kind\":\"task\","
                 L"\"recurrence\":\"workday\"}"));
    // A numeric id is read as its decimal text; the title is cut to 200 units.
    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":42}"),
              Ok(L"{\"id\":\"42\",\"title\":\"" + std::wstring(200, L'a') +
                 L"\",\"all_day\":true,\"event_type\":1,\"kind\":\"task\",\"recurrence\":\"none\"}"));
    EXPECT_EQ(host.Events().datesAsked, (std::vector<std::wstring>{L"", L"", L""}));
}

TEST(EventGet, WithDateDescribesThatOccurrence)
{
    FakeCalendarHost host;
    EventSpec reminder{L"r1", L"Pay rent", kEventTypeReminder, L"MONTHLY", -1, true};
    reminder.hasReminder = true;
    reminder.primary = calfake::TriggerSpec{-1, 18, 0};
    host.Events().AddById(reminder);
    EventSpec countdown{L"c1", L"Exam", kEventTypeCountdown};
    host.Events().AddById(countdown);
    host.Events().AddOnDay(L"2026-08-20", reminder);
    host.Events().AddOnDay(L"2027-01-01", countdown);

    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":\"r1\",\"date\":\"2026-08-20T09:30:00+08:00\"}"),
              Ok(L"{\"id\":\"r1\",\"title\":\"Pay rent\",\"all_day\":true,\"event_type\":2,\"kind\":\"reminder\","
                 L"\"recurrence\":\"monthly\",\"reminder\":{\"trigger\":\"-1:18:00\"},\"date\":\"2026-08-20\","
                 L"\"start\":\"2026-08-20T09:30:00+08:00\",\"end\":\"2026-08-21T00:00:00+08:00\",\"completed\":true}"));
    // The date is taken in local time: 23:00 UTC is the next local day.
    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":\"c1\",\"date\":\"2026-12-31T23:00:00Z\"}"),
              Ok(L"{\"id\":\"c1\",\"title\":\"Exam\",\"all_day\":true,\"event_type\":3,\"kind\":\"countdown\","
                 L"\"recurrence\":\"none\",\"countdown\":{\"target_date\":\"2027-01-01\",\"countdown_type\":0,"
                 L"\"show_type\":0},\"date\":\"2027-01-01\",\"start\":\"2027-01-01T07:00:00+08:00\","
                 L"\"end\":\"2027-01-02T00:00:00+08:00\",\"completed\":false}"));
    EXPECT_EQ(host.Events().datesAsked, (std::vector<std::wstring>{L"2026-08-20", L"2027-01-01"}));
}

TEST(EventGet, WithoutDateClassStillAnswersTheOccurrence)
{
    FakeCalendarHost host;
    host.RemoveDateClass();
    host.Events().AddById({L"t1", L"Walk", kEventTypeTask});
    host.Events().AddOnDay(L"2026-08-20", {L"t1", L"Walk", kEventTypeTask});
    const std::wstring answer = AiMcpEventGet(L"g", L"{\"id\":\"t1\",\"date\":\"2026-08-20T00:00:00+08:00\"}");
    EXPECT_NE(answer.find(L"\"date\":\"2026-08-20\",\"start\":\"2026-08-20T00:00:00+08:00\""), std::wstring::npos)
        << std::string(answer.begin(), answer.end());
    EXPECT_EQ(host.Events().datesAsked, std::vector<std::wstring>{L""});
}

// The host hands the event out for any date; a day on which no calendar
// lists it has no occurrence to describe.
TEST(EventGet, DateWithoutAnOccurrenceIsNotFound)
{
    FakeCalendarHost host;
    host.Calendars().calendars = {{1, L"Home", L"home"}, {2, L"Work", L"work"}};
    host.Calendars().currentId = 1;
    host.Calendars().currentGroup = L"home";
    EventSpec countdown{L"c1", L"New Year", kEventTypeCountdown, L"YEARLY", -1};
    host.Events().AddById(countdown);
    host.Events().AddOnDay(L"2027-01-01", countdown);
    EventSpec work{L"w1", L"Standup", kEventTypeTask, L"WORKDAYLY", -1};
    host.Events().AddById(work);
    host.Events().AddOnDayInCalendar(L"2026-08-20", 2, L"work", work);  // not the current calendar

    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":\"c1\",\"date\":\"2027-07-01T00:00:00+08:00\"}"),
              Error(L"NOT_FOUND", L"no occurrence on that date"));
    EXPECT_NE(AiMcpEventGet(L"g", L"{\"id\":\"c1\",\"date\":\"2027-01-01T00:00:00+08:00\"}").find(L"\"ok\":true"),
              std::wstring::npos);
    // Listed in another calendar on that day: an occurrence all the same.
    EXPECT_NE(AiMcpEventGet(L"g", L"{\"id\":\"w1\",\"date\":\"2026-08-20T00:00:00+08:00\"}").find(L"\"date\":\"2026-08-20\""),
              std::wstring::npos);
    EXPECT_EQ(AiMcpEventGet(L"g", L"{\"id\":\"w1\",\"date\":\"2026-08-22T00:00:00+08:00\"}"),
              Error(L"NOT_FOUND", L"no occurrence on that date"));
}

}  // namespace
