// The calendar list and its id texts, the "calendar_id" lookup, the
// recurrence words and codes, and the event kind/recurrence/reminder/
// countdown fragment shared by the calendar tools.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "AiMcpCalendars.h"
#include "AiMcpToolDispatcher.h"
#include "CalendarFakes.h"

namespace {

using calfake::CalendarSpec;
using calfake::EventSpec;
using calfake::FakeCalendarHost;

std::wstring Ok(const std::wstring& result)
{
    return L"{\"id\":\"r1\",\"ok\":true,\"result\":" + result + L"}";
}

TEST(CalendarList, ListsCalendarsWithIdTextsAndCurrent)
{
    struct Case {
        const char* name;
        std::vector<CalendarSpec> calendars;
        bool hasList;
        LONG currentId;
        const wchar_t* currentGroup;
        const wchar_t* fallbackName;  // language text, null: none
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"unique numbers", {{1, L"Home", L"g1"}, {2, L"Work", L"g1"}}, true, 2, L"g1", nullptr,
         L"{\"calendars\":[{\"id\":\"1\",\"name\":\"Home\",\"current\":false},"
         L"{\"id\":\"2\",\"name\":\"Work\",\"current\":true}],\"current_calendar_id\":\"2\"}"},
        {"same number in two groups", {{1, L"A", L"ga"}, {1, L"B", L"gb"}, {3, L"C", L"ga"}}, true, 1, L"gb", nullptr,
         L"{\"calendars\":[{\"id\":\"ga/1\",\"name\":\"A\",\"current\":false},"
         L"{\"id\":\"gb/1\",\"name\":\"B\",\"current\":true},{\"id\":\"3\",\"name\":\"C\",\"current\":false}],"
         L"\"current_calendar_id\":\"gb/1\"}"},
        {"current not listed", {{1, L"A", L"ga"}}, true, 7, L"gz", nullptr,
         L"{\"calendars\":[{\"id\":\"1\",\"name\":\"A\",\"current\":false}],\"current_calendar_id\":\"7\"}"},
        {"no list object: fallback from the language service", {}, false, 5, L"g5", L"Mein Kalender",
         L"{\"calendars\":[{\"id\":\"5\",\"name\":\"Mein Kalender\",\"current\":true}],"
         L"\"current_calendar_id\":\"5\"}"},
        {"empty list, no language text", {}, true, 4, L"g", nullptr,
         L"{\"calendars\":[{\"id\":\"4\",\"name\":\"Local calendar\",\"current\":true}],"
         L"\"current_calendar_id\":\"4\"}"},
        {"name escaped", {{9, L"Q\"\\\u00e9", L"g"}}, true, 9, L"g", nullptr,
         L"{\"calendars\":[{\"id\":\"9\",\"name\":\"Q\\\"\\\\\u00e9\",\"current\":true}],"
         L"\"current_calendar_id\":\"9\"}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCalendarHost host;
        host.Calendars().calendars = c.calendars;
        host.Calendars().hasList = c.hasList;
        host.Calendars().currentId = c.currentId;
        host.Calendars().currentGroup = c.currentGroup;
        if (c.fallbackName) host.Language().texts[L"IDS_AIMCP_FALLBACK_CALENDAR_NAME"] = c.fallbackName;
        EXPECT_EQ(AiMcpCalendarList(L"r1"), Ok(c.expected));
    }
}

TEST(CalendarList, MissingServicesGiveEmptyListOrFallbackName)
{
    FakeCalendarHost host;
    host.Calendars().hasList = false;
    host.Calendars().currentId = 3;
    host.RemoveLanguage();
    EXPECT_EQ(AiMcpCalendarList(L"r1"),
              Ok(L"{\"calendars\":[{\"id\":\"3\",\"name\":\"Local calendar\",\"current\":true}],"
                 L"\"current_calendar_id\":\"3\"}"));
    host.RemoveCalendars();
    EXPECT_EQ(AiMcpCalendarList(L"r1"), Ok(L"{\"calendars\":[],\"current_calendar_id\":\"0\"}"));
}

TEST(CalendarList, RoutedByTheDispatcherTable)
{
    std::size_t count = 0;
    const AiMcpToolRoute* routes = AiMcpToolRoutes(count);
    int found = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring name = routes[i].name;
        if (name == L"calendar_list") {
            EXPECT_EQ(routes[i].list, &AiMcpCalendarList);
            ++found;
        } else if (name == L"events_query") {
            EXPECT_EQ(routes[i].read, &AiMcpEventsQuery);
            ++found;
        } else if (name == L"event_get") {
            EXPECT_EQ(routes[i].read, &AiMcpEventGet);
            ++found;
        }
    }
    EXPECT_EQ(found, 3);
}

TEST(FindCalendar, ResolvesIdTextsAndSharedNumbers)
{
    struct Case {
        const char* name;
        LONG currentId;
        const wchar_t* currentGroup;
        const wchar_t* text;
        bool found;
        LONG id;
        const wchar_t* group;
    };
    // Calendars: ga/1, gb/1, 3 (in ga).
    const Case cases[] = {
        {"group text", 3, L"ga", L"gb/1", true, 1, L"gb"},
        {"unique number", 1, L"gb", L"3", true, 3, L"ga"},
        {"shared number finds the current one", 1, L"gb", L"1", true, 1, L"gb"},
        {"shared number, neither current", 3, L"ga", L"1", false, 0, L""},
        {"unknown number", 3, L"ga", L"4", false, 0, L""},
        {"leading zero is not the number", 3, L"ga", L"03", false, 0, L""},
        {"group text of a unique number", 3, L"ga", L"ga/3", false, 0, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCalendarHost host;
        host.Calendars().calendars = {{1, L"A", L"ga"}, {1, L"B", L"gb"}, {3, L"C", L"ga"}};
        host.Calendars().currentId = c.currentId;
        host.Calendars().currentGroup = c.currentGroup;
        LONG id = -1;
        std::wstring group = L"untouched";
        EXPECT_EQ(FindCalendar(c.text, id, group), c.found);
        if (c.found) {
            EXPECT_EQ(id, c.id);
            EXPECT_EQ(group, c.group);
        }
    }
}

TEST(FindCalendar, NothingWithoutCalendarService)
{
    FakeCalendarHost host;
    host.RemoveCalendars();
    LONG id = 0;
    std::wstring group;
    EXPECT_FALSE(FindCalendar(L"0", id, group));
}

TEST(CalendarIdText, CopiesOfListedEntriesNamedLikeTheListed)
{
    const std::vector<CalendarEntry> entries = {{1, L"A", L"ga"}, {1, L"B", L"gb"}, {2, L"C", L"ga"}};
    const CalendarEntry copyShared = entries[1];
    const CalendarEntry copyUnique = entries[2];
    const CalendarEntry stranger{2, L"X", L"gx"};
    EXPECT_EQ(CalendarIdText(entries, entries[0]), L"ga/1");
    EXPECT_EQ(CalendarIdText(entries, copyShared), L"gb/1");
    EXPECT_EQ(CalendarIdText(entries, copyUnique), L"2");
    EXPECT_EQ(CalendarIdText(entries, stranger), L"gx/2");  // another entry has its number
}

TEST(Recurrence, HostWordsToToolWordsAndCodes)
{
    struct Case {
        const wchar_t* host;
        LONG repeat;
        const wchar_t* tool;
        LONG code;
    };
    const Case cases[] = {
        {L"DAILY", 1, L"none", kRecurDaily},       {L"DAILY", -1, L"daily", kRecurDaily},
        {L"DAILY", 0, L"daily", kRecurDaily},      {L"WEEKLY", -1, L"weekly", kRecurWeekly},
        {L"WEEKLY", 1, L"weekly", kRecurWeekly},   {L"MONTHLY", -1, L"monthly", kRecurMonthly},
        {L"YEARLY", -1, L"yearly", kRecurYearly},  {L"WORKDAYLY", -1, L"workday", kRecurWorkday},
        {L"MONTHLASTDAYLY", -1, L"none", 6},       {L"SEASONLY", -1, L"none", 7},
        {L"CUSTOMDAY", -1, L"none", 8},            {L"CUSTOMWEEK", -1, L"none", 9},
        {L"CUSTOMMONTH", -1, L"none", 10},         {L"CUSTOMYEAR", -1, L"none", 11},
        {L"LEGALWORKDAYLY", -1, L"none", 20},      {L"EBBINGHAUS", -1, L"none", 21},
        {L"daily", -1, L"none", 0},                {L"", -1, L"none", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.host, c.host + wcslen(c.host)) << " " << c.repeat);
        EXPECT_EQ(ToolRecurrenceWord(c.host, c.repeat), c.tool);
        EXPECT_EQ(HostRecurrenceCode(c.host), c.code);
    }

    const std::pair<const wchar_t*, LONG> toolCodes[] = {{L"none", 1},   {L"daily", 1},  {L"weekly", 2},
                                                         {L"monthly", 3}, {L"yearly", 4}, {L"workday", 5}};
    for (const auto& [word, code] : toolCodes) {
        LONG got = -1;
        EXPECT_TRUE(ToolRecurrenceCode(word, got));
        EXPECT_EQ(got, code);
    }
    for (const wchar_t* refused : {L"Daily", L"DAILY", L"biweekly", L""}) {
        LONG got = 77;
        EXPECT_FALSE(ToolRecurrenceCode(refused, got));
        EXPECT_EQ(got, 77);
    }
}

TEST(EventExtras, KindRecurrenceReminderAndCountdown)
{
    EventSpec task{L"t", L"T", kEventTypeTask, L"WEEKLY", -1};
    EventSpec remindPrimary{L"r", L"R", kEventTypeReminder};
    remindPrimary.hasReminder = true;
    remindPrimary.primary = calfake::TriggerSpec{-1, 18, 0};
    EventSpec remindListed = remindPrimary;
    remindListed.listed = {{0, 9, 30}, {-2, 7, 5}};
    EventSpec remindNoTrigger{L"n", L"N", kEventTypeReminder};
    remindNoTrigger.hasReminder = true;
    EventSpec remindNone{L"x", L"X", kEventTypeReminder, L"YEARLY", -1};
    EventSpec countdown{L"c", L"C", kEventTypeCountdown, L"DAILY", 1};
    countdown.countdownType = 4;
    countdown.showType = 2;
    EventSpec other{L"o", L"O", 4};

    LocalDay day{};
    day.wYear = 2026;
    day.wMonth = 3;
    day.wDay = 1;
    struct Case {
        const EventSpec* shape;
        const LocalDay* day;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {&task, &day, L",\"kind\":\"task\",\"recurrence\":\"weekly\""},
        {&remindPrimary, &day, L",\"kind\":\"reminder\",\"recurrence\":\"none\",\"reminder\":{\"trigger\":\"-1:18:00\"}"},
        {&remindListed, nullptr, L",\"kind\":\"reminder\",\"recurrence\":\"none\",\"reminder\":{\"trigger\":\"0:09:30\"}"},
        {&remindNoTrigger, nullptr, L",\"kind\":\"reminder\",\"recurrence\":\"none\",\"reminder\":{\"trigger\":\"0:00:00\"}"},
        {&remindNone, nullptr, L",\"kind\":\"reminder\",\"recurrence\":\"yearly\""},
        {&countdown, &day,
         L",\"kind\":\"countdown\",\"recurrence\":\"none\",\"countdown\":{\"target_date\":\"2026-03-01\","
         L"\"countdown_type\":4,\"show_type\":2}"},
        {&countdown, nullptr, L",\"kind\":\"countdown\",\"recurrence\":\"none\",\"countdown\":{\"countdown_type\":4,\"show_type\":2}"},
        {&other, &day, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.shape->id.begin(), c.shape->id.end()));
        const ComPtr<IxEvent> event = calfake::MakeEvent(*c.shape);
        LONG type = 0;
        event->GetEventType(&type);
        EXPECT_EQ(EventExtrasJson(event.get(), type, c.day), c.expected);
    }
}

}  // namespace
