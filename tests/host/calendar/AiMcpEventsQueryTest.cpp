// events_query against fake services in UTC+08:00 (the process runs with
// TZ=Asia/Shanghai): parameter checks and their order, day counting, the
// occurrence JSON, filters, the calendar asked for, and the occurrence and
// byte limits with the exact truncation rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "AiMcpText.h"
#include "AiMcpToolDispatcher.h"
#include "CalendarFakes.h"
#include "JsonValue.h"

namespace {

using calfake::EventSpec;
using calfake::FakeCalendarHost;
using calfake::TriggerSpec;

std::wstring Params(const std::wstring& start, const std::wstring& end, const std::wstring& more = L"")
{
    return L"{\"start\":\"" + start + L"\",\"end\":\"" + end + L"\"" + more + L"}";
}

// The "result" of a success answer; fails the test for anything else.
JsonValue::Ptr Result(const std::wstring& answer)
{
    JsonValue::Ptr root = JsonValue::Parse(answer);
    EXPECT_TRUE(root && root->GetMember(L"ok") && root->GetMember(L"ok")->BoolValue()) << answer.substr(0, 300);
    if (!root || !root->GetMember(L"result")) return JsonValue::MakeObject({});
    return root->GetMember(L"result")->Clone();
}

std::vector<std::wstring> EventIds(const JsonValue& result)
{
    std::vector<std::wstring> ids;
    if (const JsonValue* events = result.GetMember(L"events"))
        for (const auto& e : events->Items()) ids.push_back(e->GetMember(L"id")->StringValue());
    return ids;
}

std::wstring Error(const wchar_t* code, const std::wstring& message)
{
    return L"{\"id\":\"q\",\"ok\":false,\"error\":{\"code\":\"" + std::wstring(code) + L"\",\"message\":\"" + message +
           L"\"}}";
}

const std::wstring kBadRange =
    L"\\\"start\\\" and \\\"end\\\" must be ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00";
const std::wstring kBadKind = L"\\\"kind\\\" must be one of task, reminder, countdown or all";

TEST(EventsQuery, RefusesBadParametersInOrder)
{
    struct Case {
        const char* name;
        std::wstring params;
        std::wstring expected;
    };
    const std::wstring day = L"2026-08-20T00:00:00+08:00";
    const Case cases[] = {
        {"no params", L"", Error(L"INVALID_TIME", kBadRange)},
        {"no end", L"{\"start\":\"2026-08-20T00:00:00+08:00\"}", Error(L"INVALID_TIME", kBadRange)},
        {"date only", Params(L"2026-08-20", day), Error(L"INVALID_TIME", kBadRange)},
        {"no zone", Params(day, L"2026-08-21T00:00:00"), Error(L"INVALID_TIME", kBadRange)},
        {"number", L"{\"start\":5,\"end\":6}", Error(L"INVALID_TIME", kBadRange)},
        {"end before start", Params(day, L"2026-08-19T23:59:59+08:00"),
         Error(L"INVALID_TIME", L"\\\"end\\\" must not be earlier than \\\"start\\\"")},
        {"367 days", Params(L"2026-01-01T00:00:00+08:00", L"2027-01-03T00:00:00+08:00"),
         Error(L"INVALID_TIME", L"the range covers 367 days, at most 366 are allowed")},
        {"367 days before a bad kind", Params(day, L"2027-08-22T00:00:00+08:00", L",\"kind\":\"Task\""),
         Error(L"INVALID_TIME", L"the range covers 367 days, at most 366 are allowed")},
        {"unknown calendar before a bad kind", Params(day, day, L",\"calendar_id\":\"9\",\"kind\":\"x\""),
         Error(L"NOT_FOUND", L"no calendar with id 9")},
        {"kind in capitals", Params(day, day, L",\"kind\":\"Task\""), Error(L"INVALID_PARAMS", kBadKind)},
        {"kind plural", Params(day, day, L",\"kind\":\"tasks\""), Error(L"INVALID_PARAMS", kBadKind)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCalendarHost host;
        EXPECT_EQ(AiMcpEventsQuery(L"q", c.params), c.expected);
        EXPECT_TRUE(host.Events().daysAsked.empty());
    }
}

TEST(EventsQuery, MissingEventServiceIsInternalAfterParameterChecks)
{
    FakeCalendarHost host;
    host.RemoveEvents();
    const std::wstring day = L"2026-08-20T00:00:00+08:00";
    EXPECT_EQ(AiMcpEventsQuery(L"q", Params(day, day, L",\"kind\":\"all\"")),
              Error(L"INTERNAL", L"the calendar event service is not available"));
    EXPECT_EQ(AiMcpEventsQuery(L"q", Params(day, day, L",\"kind\":\"every\"")), Error(L"INVALID_PARAMS", kBadKind));
}

TEST(EventsQuery, RequestIdThatLeavesNoRoomIsRefused)
{
    FakeCalendarHost host;
    const std::wstring params = Params(L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00");
    // The length of the answer without occurrences at its longest, for an
    // id of one character.
    const std::wstring shortAnswer = AiMcpEventsQuery(L"x", params);
    const std::size_t fixed = Utf8Length(shortAnswer) - 1 + 2;  // without the id; count "500" not "0"
    const std::wstring fits(kAiMcpAnswerBudget - fixed - 1, L'x');
    const std::wstring tooLong(kAiMcpAnswerBudget - fixed, L'x');

    EXPECT_EQ(Result(AiMcpEventsQuery(fits, params))->GetMember(L"count")->NumberValue(), 0);
    const std::wstring refused = AiMcpEventsQuery(tooLong, params);
    EXPECT_NE(refused.find(L"\"code\":\"INVALID_PARAMS\",\"message\":\"the request \\\"id\\\" is too long to answer\""),
              std::wstring::npos);
    EXPECT_EQ(host.Events().daysAsked.size(), 2u);  // only the two queries that fit asked
}

TEST(EventsQuery, CountsWholeLocalDays)
{
    struct Case {
        const wchar_t* start;
        const wchar_t* end;
        int days;
        const wchar_t* first;  // the first and last day asked for
        const wchar_t* last;
    };
    const Case cases[] = {
        {L"2026-08-20T09:00:00+08:00", L"2026-08-20T09:00:00+08:00", 0, nullptr, nullptr},
        {L"2026-08-20T01:00:00Z", L"2026-08-20T09:00:00+08:00", 0, nullptr, nullptr},  // the same instant
        {L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00", 1, L"2026-08-20", L"2026-08-20"},
        {L"2026-08-20T10:00:00+08:00", L"2026-08-20T11:00:00+08:00", 1, L"2026-08-20", L"2026-08-20"},
        {L"2026-08-20T23:00:00+08:00", L"2026-08-21T00:00:01+08:00", 2, L"2026-08-20", L"2026-08-21"},
        {L"2026-08-19T16:00:00Z", L"2026-08-20T16:00:00Z", 1, L"2026-08-20", L"2026-08-20"},
        {L"2026-08-19T15:59:59Z", L"2026-08-20T16:00:00Z", 2, L"2026-08-19", L"2026-08-20"},
        {L"2027-01-01T00:00:00+08:00", L"2028-01-01T00:00:00+08:00", 365, L"2027-01-01", L"2027-12-31"},
        {L"2028-01-01T00:00:00+08:00", L"2029-01-01T00:00:00+08:00", 366, L"2028-01-01", L"2028-12-31"},
        {L"2026-01-01T00:00:00+08:00", L"2027-01-02T00:00:00+08:00", 366, L"2026-01-01", L"2027-01-01"},
        {L"2026-02-28T12:00:00+08:00", L"2026-03-01T00:00:00+08:00", 1, L"2026-02-28", L"2026-02-28"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.start, c.start + wcslen(c.start)) << " "
                                        << std::string(c.end, c.end + wcslen(c.end)));
        FakeCalendarHost host;
        const JsonValue::Ptr result = Result(AiMcpEventsQuery(L"q", Params(c.start, c.end)));
        const JsonValue* range = result->GetMember(L"range");
        ASSERT_TRUE(range);
        EXPECT_EQ(range->GetMember(L"days")->NumberValue(), c.days);
        EXPECT_EQ(range->GetMember(L"semantics")->StringValue(), L"[start, end) over whole local calendar days");
        const std::vector<std::wstring>& asked = host.Events().daysAsked;
        ASSERT_EQ(asked.size(), static_cast<std::size_t>(c.days));
        if (c.days > 0) {
            EXPECT_EQ(asked.front(), c.first);
            EXPECT_EQ(asked.back(), c.last);
        }
        EXPECT_EQ(result->GetMember(L"count")->NumberValue(), 0);
        EXPECT_FALSE(result->GetMember(L"truncated")->BoolValue());
    }
}

TEST(EventsQuery, WritesEachOccurrenceExactly)
{
    FakeCalendarHost host;
    host.Calendars().calendars = {{3, L"Home", L"g"}};
    host.Calendars().currentId = 3;
    host.Calendars().currentGroup = L"g";
    EventSpec countdown{L"c\"1", L"Launch \u00e9", kEventTypeCountdown, L"YEARLY", -1, true};
    countdown.countdownType = 1;
    countdown.showType = 3;
    host.Events().AddOnDay(L"2026-08-21", countdown);

    EXPECT_EQ(AiMcpEventsQuery(L"q", Params(L"2026-08-20T00:00:00+08:00", L"2026-08-22T00:00:00+08:00")),
              L"{\"id\":\"q\",\"ok\":true,\"result\":{\"range\":{\"start\":\"2026-08-20T00:00:00+08:00\","
              L"\"end\":\"2026-08-22T00:00:00+08:00\",\"days\":2,\"semantics\":\"[start, end) over whole local "
              L"calendar days\"},\"calendar_id\":\"3\",\"count\":1,\"truncated\":false,\"events\":[{\"id\":\"c\\\"1\","
              L"\"calendar_id\":\"3\",\"date\":\"2026-08-21\",\"title\":\"Launch \u00e9\",\"all_day\":true,"
              L"\"start\":\"2026-08-21T00:00:00+08:00\",\"end\":\"2026-08-22T00:00:00+08:00\",\"completed\":true,"
              L"\"kind\":\"countdown\",\"recurrence\":\"yearly\",\"countdown\":{\"target_date\":\"2026-08-21\","
              L"\"countdown_type\":1,\"show_type\":3}}]}}");
}

TEST(EventsQuery, RecurringEventListedOnEveryDayWithItsOwnOccurrence)
{
    FakeCalendarHost host;
    const wchar_t* days[] = {L"2026-12-30", L"2026-12-31", L"2027-01-01"};
    for (int i = 0; i < 3; ++i)
        host.Events().AddOnDay(days[i], EventSpec{L"r", L"Stretch", kEventTypeReminder, L"DAILY", -1, i == 1});
    const JsonValue::Ptr result =
        Result(AiMcpEventsQuery(L"q", Params(L"2026-12-30T08:00:00+08:00", L"2027-01-01T20:00:00+08:00")));
    const auto& events = result->GetMember(L"events")->Items();
    ASSERT_EQ(events.size(), 3u);
    const wchar_t* ends[] = {L"2026-12-31T00:00:00+08:00", L"2027-01-01T00:00:00+08:00", L"2027-01-02T00:00:00+08:00"};
    for (int i = 0; i < 3; ++i) {
        const JsonValue& e = *events[i];
        EXPECT_EQ(e.GetMember(L"date")->StringValue(), days[i]);
        EXPECT_EQ(e.GetMember(L"start")->StringValue(), std::wstring(days[i]) + L"T00:00:00+08:00");
        EXPECT_EQ(e.GetMember(L"end")->StringValue(), ends[i]);
        EXPECT_EQ(e.GetMember(L"completed")->BoolValue(), i == 1);
        EXPECT_EQ(e.GetMember(L"recurrence")->StringValue(), L"daily");
        EXPECT_FALSE(e.HasMember(L"reminder"));  // no reminder object
    }
}

// An event's kind, recurrence, reminder and countdown are read from the host
// once per query, however many days list it. Each occurrence must still carry
// its own event's extras and its own day; an id that comes back as another
// kind is read afresh, and a later query reads the host again.
TEST(EventsQuery, EachOccurrenceCarriesItsOwnEventsExtras)
{
    // "id date kind recurrence", then the reminder's trigger or the
    // countdown's target date, type and show type.
    const auto summaries = [](const JsonValue& result) {
        std::vector<std::wstring> out;
        for (const auto& e : result.GetMember(L"events")->Items()) {
            std::wstring s = e->GetMember(L"id")->StringValue() + L" " + e->GetMember(L"date")->StringValue() + L" " +
                             e->GetMember(L"kind")->StringValue() + L" " + e->GetMember(L"recurrence")->StringValue();
            if (const JsonValue* reminder = e->GetMember(L"reminder"))
                s += L" " + reminder->GetMember(L"trigger")->StringValue();
            if (const JsonValue* countdown = e->GetMember(L"countdown")) {
                s += L" " + countdown->GetMember(L"target_date")->StringValue() + L" " +
                     std::to_wstring(static_cast<int>(countdown->GetMember(L"countdown_type")->NumberValue())) + L" " +
                     std::to_wstring(static_cast<int>(countdown->GetMember(L"show_type")->NumberValue()));
            }
            out.push_back(s);
        }
        return out;
    };
    const std::wstring params = Params(L"2026-08-20T00:00:00+08:00", L"2026-08-22T00:00:00+08:00");
    const auto fill = [](FakeCalendarHost& host, TriggerSpec firstTrigger, const wchar_t* firstRecurrence) {
        EventSpec first{L"r1", L"Early", kEventTypeReminder, firstRecurrence, -1};
        first.hasReminder = true;
        first.listed = {firstTrigger};
        EventSpec second{L"r2", L"Late", kEventTypeReminder, L"MONTHLY", -1};
        second.hasReminder = true;
        second.primary = TriggerSpec{-1, 18, 0};
        EventSpec countdown{L"c", L"Launch", kEventTypeCountdown, L"YEARLY", -1};
        countdown.countdownType = 1;
        countdown.showType = 2;
        for (const wchar_t* day : {L"2026-08-20", L"2026-08-21"})
            for (const EventSpec& shape : {first, second, countdown}) host.Events().AddOnDay(day, shape);
        host.Events().AddOnDay(L"2026-08-20", {L"x", L"Shifty", kEventTypeTask, L"DAILY", -1});
        EventSpec shifted{L"x", L"Shifty", kEventTypeCountdown, L"DAILY", -1};
        shifted.countdownType = 4;
        shifted.showType = 5;
        host.Events().AddOnDay(L"2026-08-21", shifted);
    };
    {
        FakeCalendarHost host;
        fill(host, TriggerSpec{0, 9, 30}, L"WEEKLY");
        EXPECT_EQ(summaries(*Result(AiMcpEventsQuery(L"q", params))),
                  (std::vector<std::wstring>{
                      L"r1 2026-08-20 reminder weekly 0:09:30", L"r2 2026-08-20 reminder monthly -1:18:00",
                      L"c 2026-08-20 countdown yearly 2026-08-20 1 2", L"x 2026-08-20 task daily",
                      L"r1 2026-08-21 reminder weekly 0:09:30", L"r2 2026-08-21 reminder monthly -1:18:00",
                      L"c 2026-08-21 countdown yearly 2026-08-21 1 2", L"x 2026-08-21 countdown daily 2026-08-21 4 5"}));
    }
    {
        FakeCalendarHost host;
        fill(host, TriggerSpec{0, 7, 15}, L"DAILY");
        const std::vector<std::wstring> again = summaries(*Result(AiMcpEventsQuery(L"q", params)));
        ASSERT_EQ(again.size(), 8u);
        EXPECT_EQ(again[0], L"r1 2026-08-20 reminder daily 0:07:15");
        EXPECT_EQ(again[4], L"r1 2026-08-21 reminder daily 0:07:15");
    }
}

TEST(EventsQuery, FiltersByKindKeywordAndTitle)
{
    struct Case {
        const wchar_t* more;
        std::vector<std::wstring> ids;
    };
    const Case cases[] = {
        {L"", {L"t1", L"r1", L"c1", L"a1", L"long"}},
        {L",\"kind\":\"\"", {L"t1", L"r1", L"c1", L"a1", L"long"}},
        {L",\"kind\":\"all\"", {L"t1", L"r1", L"c1", L"a1", L"long"}},
        {L",\"kind\":\"task\"", {L"t1", L"a1", L"long"}},
        {L",\"kind\":\"reminder\"", {L"r1"}},
        {L",\"kind\":\"countdown\"", {L"c1"}},
        {L",\"keyword\":\"MILK\"", {L"t1"}},
        {L",\"keyword\":\"mom\"", {L"r1"}},
        {L",\"keyword\":\"Z\u00dcR\"", {L"c1"}},
        {L",\"keyword\":\"\u00e4pfel\"", {L"a1"}},
        {L",\"keyword\":\"milk\",\"kind\":\"reminder\"", {}},
        {L",\"keyword\":\"\"", {L"t1", L"r1", L"c1", L"a1", L"long"}},
        {L",\"keyword\":\"END\"", {L"long"}},  // beyond the 200 units written, still matched
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.more, c.more + wcslen(c.more)).size());
        FakeCalendarHost host;
        FakeCalendarHost* h = &host;
        auto add = [h](EventSpec shape) { h->Events().AddOnDay(L"2026-08-20", shape); };
        add({L"t1", L"Buy mIlK", kEventTypeTask});
        add({L"r1", L"Call Mom", kEventTypeReminder});
        add({L"c1", L"Trip to Z\u00fcrich", kEventTypeCountdown});
        add({L"o1", L"Other milk", 4});
        add({L"o0", L"Zero milk", 0});
        add({L"e1", L"", kEventTypeTask});
        EventSpec noContent{L"n1", L"milk", kEventTypeTask};
        noContent.hasContent = false;
        add(noContent);
        add({L"a1", L"\u00c4PFEL kaufen", kEventTypeTask});
        add({L"long", std::wstring(250, L'x') + L"end", kEventTypeTask});
        const JsonValue::Ptr result =
            Result(AiMcpEventsQuery(L"q", Params(L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00", c.more)));
        EXPECT_EQ(EventIds(*result), c.ids);
        for (const auto& e : result->GetMember(L"events")->Items())
            EXPECT_LE(e->GetMember(L"title")->StringValue().size(), 200u);
    }
}

TEST(EventsQuery, AsksTheCalendarGivenAndReportsItsIdText)
{
    struct Case {
        const wchar_t* calendarId;  // null: not given
        const wchar_t* asked;
        const wchar_t* reported;
    };
    const Case cases[] = {
        {nullptr, L"2026-08-20", L"gb/1"},
        {L"", L"2026-08-20", L"gb/1"},
        {L"ga/1", L"2026-08-20@1|ga", L"ga/1"},
        {L"1", L"2026-08-20@1|gb", L"gb/1"},  // the current one of the two
        {L"2", L"2026-08-20@2|ga", L"2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.calendarId ? std::string(c.calendarId, c.calendarId + wcslen(c.calendarId)) : "none"));
        FakeCalendarHost host;
        host.Calendars().calendars = {{1, L"A", L"ga"}, {1, L"B", L"gb"}, {2, L"C", L"ga"}};
        host.Calendars().currentId = 1;
        host.Calendars().currentGroup = L"gb";
        host.Events().AddOnDay(L"2026-08-20", {L"cur", L"Current", kEventTypeTask});
        host.Events().AddOnDayInCalendar(L"2026-08-20", 1, L"ga", {L"a", L"In A", kEventTypeTask});
        host.Events().AddOnDayInCalendar(L"2026-08-20", 1, L"gb", {L"b", L"In B", kEventTypeTask});
        host.Events().AddOnDayInCalendar(L"2026-08-20", 2, L"ga", {L"c", L"In C", kEventTypeTask});
        const std::wstring more = c.calendarId ? L",\"calendar_id\":\"" + std::wstring(c.calendarId) + L"\"" : L"";
        const JsonValue::Ptr result =
            Result(AiMcpEventsQuery(L"q", Params(L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00", more)));
        EXPECT_EQ(host.Events().daysAsked, std::vector<std::wstring>{c.asked});
        EXPECT_EQ(result->GetMember(L"calendar_id")->StringValue(), c.reported);
        const auto& events = result->GetMember(L"events")->Items();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0]->GetMember(L"calendar_id")->StringValue(), c.reported);
    }
}

TEST(OccurrenceCollector, TakesAtMost500AndCutsOnlyForAFurtherOccurrence)
{
    AiMcpOccurrenceCollector collector(1000000);
    for (int i = 0; i < 500; ++i) ASSERT_TRUE(collector.Offer(L"{}"));
    EXPECT_FALSE(collector.truncated());  // the 500th ended the data: not cut
    EXPECT_EQ(collector.count(), 500);
    EXPECT_FALSE(collector.Offer(L"{}"));
    EXPECT_TRUE(collector.truncated());
    EXPECT_EQ(collector.count(), 500);
    EXPECT_EQ(collector.events().size(), 500u * 3 - 1);
}

TEST(OccurrenceCollector, MeasuresUtf8AndStopsForGoodAtTheFirstMisfit)
{
    // Each occurrence costs its UTF-8 length plus one separator.
    AiMcpOccurrenceCollector collector(3 + 1 + 6 + 1);
    EXPECT_TRUE(collector.Offer(L"abc"));
    EXPECT_FALSE(collector.Offer(L"\u4e2d\u6587x"));  // 7 bytes: one too many
    EXPECT_FALSE(collector.Offer(L"a"));               // would fit, but the result is already cut
    EXPECT_TRUE(collector.truncated());
    EXPECT_EQ(collector.events(), L"abc");

    AiMcpOccurrenceCollector exact(3 + 1 + 6 + 1);
    EXPECT_TRUE(exact.Offer(L"abc"));
    EXPECT_TRUE(exact.Offer(L"\u4e2d\u6587"));  // 6 bytes: exactly the rest
    EXPECT_FALSE(exact.truncated());
    EXPECT_EQ(exact.events(), L"abc,\u4e2d\u6587");
}

// Occurrences whose costs add up to exactly the budget: the event ids are
// one character long except the last, which takes the remainder.
class ByteBudget : public testing::Test {
protected:
    const std::wstring params_ = Params(L"2026-08-20T00:00:00+08:00", L"2026-08-21T00:00:00+08:00");

    // The answer's room for occurrences, and the cost of an occurrence with a
    // one-character id and the title "t".
    void Measure(std::size_t& budget, std::size_t& unitCost)
    {
        FakeCalendarHost host;
        const std::size_t empty = Utf8Length(AiMcpEventsQuery(L"q", params_));
        host.Events().AddOnDay(L"2026-08-20", {L"a", L"t", kEventTypeTask});
        const std::size_t one = Utf8Length(AiMcpEventsQuery(L"q", params_));
        budget = kAiMcpAnswerBudget - (empty + 2);  // count "500" in place of "0"
        unitCost = one - empty + 1;
    }

    // Fills the day with occurrences costing exactly budget + extraBytes.
    static void Fill(FakeCalendarHost& host, std::size_t budget, std::size_t unitCost, std::size_t extraBytes)
    {
        const std::size_t n = budget / unitCost;
        for (std::size_t i = 0; i + 1 < n; ++i) host.Events().AddOnDay(L"2026-08-20", {L"a", L"t", kEventTypeTask});
        const std::wstring lastId = L"z" + std::wstring(budget - n * unitCost + extraBytes, L'y');
        host.Events().AddOnDay(L"2026-08-20", {lastId, L"t", kEventTypeTask});
    }
};

TEST_F(ByteBudget, LastOccurrenceFittingExactlyIsNotTruncated)
{
    std::size_t budget = 0, unitCost = 0;
    Measure(budget, unitCost);
    const std::size_t n = budget / unitCost;
    ASSERT_GE(n, 100u);  // the count has three digits, like the 500 measured
    ASSERT_LT(n, 500u);  // the byte budget, not the occurrence cap, decides

    {
        FakeCalendarHost host;
        Fill(host, budget, unitCost, 0);
        const std::wstring answer = AiMcpEventsQuery(L"q", params_);
        const JsonValue::Ptr result = Result(answer);
        EXPECT_EQ(result->GetMember(L"count")->NumberValue(), static_cast<double>(n));
        EXPECT_FALSE(result->GetMember(L"truncated")->BoolValue());
        // The first occurrence has no separator before it.
        EXPECT_EQ(Utf8Length(answer), kAiMcpAnswerBudget - 1);
    }
    {
        FakeCalendarHost host;
        Fill(host, budget, unitCost, 0);
        host.Events().AddOnDay(L"2026-08-20", {L"b", L"t", kEventTypeTask});  // one more that matches
        host.Events().AddOnDay(L"2026-08-21", {L"c", L"t", kEventTypeTask});
        const std::wstring answer =
            AiMcpEventsQuery(L"q", Params(L"2026-08-20T00:00:00+08:00", L"2026-08-22T00:00:00+08:00"));
        const JsonValue::Ptr result = Result(answer);
        EXPECT_EQ(result->GetMember(L"count")->NumberValue(), static_cast<double>(n));
        EXPECT_TRUE(result->GetMember(L"truncated")->BoolValue());
        EXPECT_LE(Utf8Length(answer), kAiMcpAnswerBudget);
        EXPECT_EQ(host.Events().daysAsked.size(), 1u);  // the next day is not visited
    }
    {
        FakeCalendarHost host;
        Fill(host, budget, unitCost, 1);  // the last is one byte too long
        host.Events().AddOnDay(L"2026-08-20", {L"b", L"t", kEventTypeTask});
        const JsonValue::Ptr result = Result(AiMcpEventsQuery(L"q", params_));
        EXPECT_EQ(result->GetMember(L"count")->NumberValue(), static_cast<double>(n - 1));
        EXPECT_TRUE(result->GetMember(L"truncated")->BoolValue());
        EXPECT_EQ(EventIds(*result).back(), L"a");
    }
}

TEST_F(ByteBudget, NonAsciiTitlesAreMeasuredInUtf8AndTheWalkStops)
{
    FakeCalendarHost host;
    // 250 CJK characters: cut to 200 units, 600 bytes of UTF-8 each.
    host.Events().AddEveryDay({L"cjk", std::wstring(250, L'\u6587'), kEventTypeTask, L"DAILY", -1});
    const std::wstring answer =
        AiMcpEventsQuery(L"q", Params(L"2026-01-01T00:00:00+08:00", L"2027-01-01T00:00:00+08:00"));
    const JsonValue::Ptr result = Result(answer);
    const auto& events = result->GetMember(L"events")->Items();
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(result->GetMember(L"truncated")->BoolValue());
    EXPECT_EQ(events[0]->GetMember(L"title")->StringValue(), std::wstring(200, L'\u6587'));
    const std::size_t length = Utf8Length(answer);
    EXPECT_LE(length, kAiMcpAnswerBudget);
    EXPECT_GT(length + 900, kAiMcpAnswerBudget);  // one more occurrence would not have fitted
    // Days after the one that did not fit are never asked for.
    EXPECT_EQ(host.Events().daysAsked.size(), events.size() + 1);
    EXPECT_EQ(result->GetMember(L"count")->NumberValue(), static_cast<double>(events.size()));
}

}  // namespace
