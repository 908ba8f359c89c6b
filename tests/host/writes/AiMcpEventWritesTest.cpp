// The event write tools against the stand-in calendar's own event service
// and event objects: every refusal in check order, what a create, update and
// delete store, what an update keeps, the trigger text, parked writes that
// are rejected or confirmed twice, host calls that fail, and the events
// quota running out while the other kinds still write.
#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "AiMcpEnvelope.h"
#include "AiMcpEventWrites.h"
#include "AiMcpWritePath.h"
#include "CalendarServices.h"
#include "WritesTestHost.h"

namespace {

using writetest::Error;
using writetest::Ok;
using writetest::OkId;
using writetest::WriteHost;

class EventWrites : public WriteHost {
protected:
    ComPtr<devhost::CalendarService> calendars;
    ComPtr<devhost::EventService> events;

    void SetUp() override
    {
        WriteHost::SetUp();
        ASSERT_EQ(S_OK, devhost::CalendarService::Create(folder, calendars));
        ASSERT_EQ(S_OK, calendars->SetCalendars({{{1, L"home"}, L"Home"}, {{2, L"work"}, L"Work"}}, {1, L"home"}));
        ASSERT_EQ(S_OK, devhost::EventService::Create(folder, calendars, events));
        DevHost::SetService(SID_CalendarService, calendars.get());
        DevHost::SetService(SID_EventService, events.get());
        for (const devhost::HostClass& made : devhost::CalendarHostClasses())
            DevHost::RegisterHostClass(*made.classId, made.create);
        SetTrusted(true);
    }
    void TearDown() override
    {
        DevHost::SetService(SID_EventService, nullptr);
        for (const devhost::HostClass& made : devhost::CalendarHostClasses())
            DevHost::RegisterHostClass(*made.classId, nullptr);
        WriteHost::TearDown();
    }

    static std::wstring Write(AiMcpWriteKind kind, const std::wstring& params, const std::wstring& id = L"1")
    {
        return EventWriteEntry(id, params, kind);
    }
    static std::wstring Create(const std::wstring& members)
    {
        return Write(AiMcpWriteKind::EventCreate, L"{" + members + L"}");
    }

    // A stored event added directly, as the user would have made it.
    std::wstring Seed(LONG type, const std::wstring& recurrence = L"DAILY", LONG repeat = 1,
                      const std::wstring& title = L"Seeded")
    {
        devhost::EventRecord record;
        record.calendar = {1, L"home"};
        record.start = devhost::CalendarDay{2026, 8, 18};
        record.type = type;
        record.recurrence = recurrence;
        record.repeatCount = repeat;
        record.line = title;
        record.countdownType = 4;
        record.showType = 1;
        if (type == kEventTypeReminder) {
            record.hasReminder = true;
            record.reminder.hasPrimary = true;
            record.reminder.primary = {0, 7, 15};
            record.reminder.listed = {{-1, 7, 15}};
            record.reminder.carried = 77;
        }
        EXPECT_EQ(S_OK, events->Add(record));
        return record.id;
    }

    devhost::EventRecord StoredEvent(const std::wstring& id) const
    {
        devhost::EventRecord record;
        EXPECT_TRUE(events->Find(id, record)) << testing::PrintToString(id);
        return record;
    }

    int EventsUsed() const { return Used(L"events"); }

};

TEST(EventTrigger, ParsesDayOffsetHourAndMinute)
{
    const struct {
        const wchar_t* text;
        bool valid;
        LONG day, hour, minute;
    } cases[] = {
        {L"9:5", true, 0, 9, 5},
        {L"09:30", true, 0, 9, 30},
        {L" 23 : 59", false, 0, 0, 0},  // white space goes before a number, never before a colon
        {L" 23: 59", true, 0, 23, 59},
        {L"-2:08:30", true, -2, 8, 30},
        {L"0:00:00", true, 0, 0, 0},
        {L"08:00 pm", true, 0, 8, 0},  // anything after the last number is ignored
        {L"7:45:", true, 0, 7, 45},    // a third number missing falls back to hour:minute
        {L"1:09:00", false, 0, 0, 0},  // a day after the event
        {L"24:00", false, 0, 0, 0},
        {L"12:60", false, 0, 0, 0},
        {L"-1:12", false, 0, 0, 0},  // hour -1
        {L"9", false, 0, 0, 0},
        {L"", false, 0, 0, 0},
        {L"a:b", false, 0, 0, 0},
        {L"-99999999999:08:00", false, 0, 0, 0},  // too large for 32 bits: the scan stops there
        {L"+3:04", true, 0, 3, 4},
    };
    for (const auto& c : cases) {
        ReminderTrigger trigger{11, 11, 11};
        EXPECT_EQ(ParseTrigger(c.text, trigger), c.valid) << testing::PrintToString(std::wstring(c.text));
        if (c.valid) {
            EXPECT_EQ(trigger.dayOffset, c.day) << testing::PrintToString(std::wstring(c.text));
            EXPECT_EQ(trigger.hour, c.hour);
            EXPECT_EQ(trigger.minute, c.minute);
        }
    }
}

TEST_F(EventWrites, RefusalsAnswerTheirCodeAndMessageAndStoreNothing)
{
    const std::wstring task = Seed(kEventTypeTask);
    const std::wstring reminder = Seed(kEventTypeReminder, L"WEEKLY", -1);
    const std::wstring countdown = Seed(kEventTypeCountdown, L"YEARLY", -1);
    const std::wstring hidden = Seed(7);
    const std::wstring date = L"\"date\":\"2026-08-20T10:00:00+08:00\"";
    const std::wstring badDate = L"\"date\" must be ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00";
    const std::wstring range = L"date must be between 1970-01-01 and 2099-12-31 (local)";
    const std::wstring badKind = L"\"kind\" must be task, reminder or countdown";
    const std::wstring badTrigger = L"\"reminder.trigger\" must be HH:MM or day:HH:MM";
    const std::wstring outOfRange = L"countdown type or show type is out of range";
    const std::wstring taskExtras = L"task events cannot have reminder.trigger or countdown fields";
    const std::wstring noField = L"malformed request: \"params\" names no field to change";
    const std::wstring noId = L"malformed request: \"params\" needs an \"id\" string";
    const std::wstring noEvent = L"no local event with that id";
    const std::wstring kindChange = L"event_update cannot change an event's kind";
    using K = AiMcpWriteKind;
    const struct {
        K kind;
        std::wstring params, code, message;
    } cases[] = {
        {K::EventCreate, L"{}", L"INVALID_PARAMS", L"malformed request: \"params\" needs a non-empty \"title\""},
        {K::EventCreate, L"{\"title\":\" \\t \"," + date + L"}", L"INVALID_PARAMS",
         L"malformed request: \"params\" needs a non-empty \"title\""},
        {K::EventCreate, L"{\"title\":true," + date + L"}", L"INVALID_PARAMS",
         L"malformed request: \"params\" needs a non-empty \"title\""},
        {K::EventCreate, L"{\"title\":\"Gym\"}", L"INVALID_TIME", badDate},
        {K::EventCreate, L"{\"title\":\"Gym\",\"date\":\"2026-08-20\"}", L"INVALID_TIME", badDate},
        {K::EventCreate, L"{\"title\":\"Gym\",\"date\":20260820}", L"INVALID_TIME", badDate},
        {K::EventCreate, L"{\"title\":\"Gym\",\"date\":\"2100-01-01T08:00:00+08:00\"}", L"INVALID_TIME", range},
        // The local date decides: 23:30 in New York is already 2100 here.
        {K::EventCreate, L"{\"title\":\"Gym\",\"date\":\"2099-12-31T23:30:00-05:00\"}", L"INVALID_TIME", range},
        {K::EventCreate, L"{\"title\":\"Gym\",\"date\":\"1969-12-31T12:00:00+08:00\"}", L"INVALID_TIME", range},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"meeting\"}", L"INVALID_PARAMS", badKind},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"recurrence\":\"fortnightly\"}", L"INVALID_PARAMS",
         L"\"recurrence\" must be none, daily, weekly, monthly, yearly or workday"},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"recurrence\":\"\"}", L"INVALID_PARAMS",
         L"\"recurrence\" must be none, daily, weekly, monthly, yearly or workday"},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"reminder\"}", L"INVALID_PARAMS",
         L"a reminder needs \"reminder.trigger\""},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"reminder\",\"reminder\":{\"trigger\":9}}",
         L"INVALID_PARAMS", L"a reminder needs \"reminder.trigger\""},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"reminder\",\"reminder\":{\"trigger\":\"25:00\"}}",
         L"INVALID_PARAMS", badTrigger},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"reminder\",\"trigger\":\"1:09:00\"}",
         L"INVALID_PARAMS", badTrigger},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"trigger\":\"08:00\"}", L"INVALID_PARAMS", taskExtras},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"countdown\":{\"show_type\":1}}", L"INVALID_PARAMS",
         taskExtras},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"reminder\",\"trigger\":\"8:00\",\"countdown\":{\"countdown_type\":\"x\"}}",
         L"INVALID_PARAMS", L"reminder events cannot have countdown fields"},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"countdown\",\"reminder\":{\"trigger\":\"8:00\"}}",
         L"INVALID_PARAMS", L"countdown events cannot have reminder.trigger"},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"countdown\",\"countdown\":{\"countdown_type\":6}}",
         L"INVALID_PARAMS", outOfRange},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"countdown\",\"countdown\":{\"show_type\":4}}",
         L"INVALID_PARAMS", outOfRange},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"kind\":\"countdown\",\"countdown\":{\"show_type\":-1}}",
         L"INVALID_PARAMS", outOfRange},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"calendar_id\":\"2\"}", L"INVALID_PARAMS",
         L"new events always go to the current calendar 1; switch calendars in the app first"},
        {K::EventCreate, L"{\"title\":\"Gym\"," + date + L",\"calendar_id\":\"9\"}", L"INVALID_PARAMS",
         L"new events always go to the current calendar 1; switch calendars in the app first"},
        {K::EventUpdate, L"{\"id\":\"" + task + L"\"}", L"INVALID_PARAMS", noField},
        {K::EventUpdate, L"{\"id\":\"" + task + L"\",\"kind\":\"task\"}", L"INVALID_PARAMS", noField},
        {K::EventUpdate, L"{\"title\":\"New\"}", L"INVALID_PARAMS", noId},
        {K::EventUpdate, L"{\"id\":\"\",\"title\":\"New\"}", L"INVALID_PARAMS", noId},
        {K::EventDelete, L"{}", L"INVALID_PARAMS", noId},
        {K::EventUpdate, L"{\"id\":\"evt-404\",\"title\":\"New\"}", L"NOT_FOUND", noEvent},
        {K::EventDelete, L"{\"id\":\"" + hidden + L"\"}", L"NOT_FOUND", noEvent},
        {K::EventUpdate, L"{\"id\":\"" + reminder + L"\",\"title\":\"New\",\"kind\":\"task\"}", L"INVALID_PARAMS",
         kindChange},
        {K::EventDelete, L"{\"id\":\"" + task + L"\",\"kind\":\"countdown\"}", L"INVALID_PARAMS", kindChange},
        {K::EventDelete, L"{\"id\":\"" + task + L"\",\"kind\":\"appointment\"}", L"INVALID_PARAMS", badKind},
        {K::EventUpdate, L"{\"id\":\"" + countdown + L"\",\"reminder\":{\"trigger\":\"08:00\"}}", L"INVALID_PARAMS",
         L"countdown events cannot have reminder.trigger"},
        {K::EventUpdate, L"{\"id\":\"" + task + L"\",\"title\":\"  \"}", L"INVALID_PARAMS",
         L"\"title\" must not be empty"},
        {K::EventUpdate, L"{\"id\":\"" + task + L"\",\"date\":\"tomorrow\"}", L"INVALID_TIME", badDate},
    };
    const std::vector<devhost::EventRecord> before = events->Events();
    SetTrusted(false);  // refusals come before parking too
    for (const auto& c : cases)
        EXPECT_EQ(Write(c.kind, c.params), Error(c.code, EscapeJsonString(c.message))) << testing::PrintToString(c.params);
    SetTrusted(true);
    for (const auto& c : cases)
        EXPECT_EQ(Write(c.kind, c.params), Error(c.code, EscapeJsonString(c.message))) << testing::PrintToString(c.params);

    EXPECT_EQ(events->Events().size(), before.size());
    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 0u);
    EXPECT_EQ(EventsUsed(), 0);
    const std::vector<std::string> lines = AuditLines();
    ASSERT_EQ(lines.size(), 2 * (sizeof cases / sizeof cases[0]));
    for (const std::string& line : lines) EXPECT_NE(line.find("\ttrust=0\terror\t"), std::string::npos) << line;
    EXPECT_EQ(lines[30], "event_update\tid=evt-404\ttrust=0\terror\tno local event with that id");
}

TEST_F(EventWrites, CreateStoresAnAllDayEventOnTheLocalDate)
{
    const struct {
        std::wstring members;
        devhost::CalendarDay day;
        LONG type;
        std::wstring recurrence;
        LONG repeat;
        LONG countdownType, showType;
    } cases[] = {
        {L"\"title\":\"  Dentist \",\"date\":\"2026-08-20T09:00:00+08:00\"", {2026, 8, 20}, 1, L"DAILY", 1, 0, 2},
        {L"\"title\":\"Late call\",\"date\":\"2026-08-20T23:30:00-05:00\",\"kind\":\" TASK \",\"recurrence\":\"Weekly\"",
         {2026, 8, 21}, 1, L"WEEKLY", -1, 0, 2},
        {L"\"title\":\"Holiday\",\"date\":\"2026-10-01T00:00:00+08:00\",\"kind\":\"countdown\",\"recurrence\":\"yearly\","
         L"\"countdown\":{\"countdown_type\":2.5,\"show_type\":3}",
         {2026, 10, 1}, 3, L"YEARLY", -1, 0, 3},
        {L"\"title\":\"Standup\",\"date\":\"2026-08-24T08:00:00+08:00\",\"recurrence\":\"workday\",\"calendar_id\":\"1\"",
         {2026, 8, 24}, 1, L"WORKDAYLY", -1, 0, 2},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring answer = Create(c.members);
        const std::wstring id = L"evt-" + std::to_wstring(++n);
        ASSERT_EQ(answer, OkId(id)) << testing::PrintToString(c.members);
        const devhost::EventRecord stored = StoredEvent(id);
        EXPECT_EQ(devhost::DayText(stored.start), devhost::DayText(c.day));
        EXPECT_EQ(stored.type, c.type);
        EXPECT_EQ(stored.recurrence, c.recurrence);
        EXPECT_EQ(stored.repeatCount, c.repeat);
        EXPECT_EQ(stored.countdownType, c.countdownType);
        EXPECT_EQ(stored.showType, c.showType);
        EXPECT_FALSE(stored.hasReminder);
        EXPECT_TRUE(stored.calendar == (devhost::CalendarIdentity{1, L"home"}));
    }
    EXPECT_EQ(StoredEvent(L"evt-1").line, L"Dentist");
    EXPECT_EQ(EventsUsed(), 4);
    EXPECT_EQ(AuditLines()[0], "event_create\tid=evt-1\ttrust=1\tok\tDentist");
    int refreshes = 0, notifications = 0;
    for (const auto& call : application->Calls()) {
        if (call.operation == devhost::ApplicationService::kRefresh) ++refreshes;
        if (call.operation == devhost::ApplicationService::kNotifyChange &&
            call.arguments == std::vector<std::wstring>{L"2"})
            ++notifications;
    }
    EXPECT_EQ(refreshes, 4);
    EXPECT_EQ(notifications, 4);
}

TEST_F(EventWrites, ReminderTriggerIsStoredAndReadBack)
{
    ASSERT_EQ(Create(L"\"title\":\"Pills\",\"date\":\"2026-08-20T00:00:00+08:00\",\"kind\":\"reminder\","
                     L"\"recurrence\":\"weekly\",\"reminder\":{\"trigger\":\"9:5\"}"),
              OkId(L"evt-1"));
    ASSERT_EQ(Create(L"\"title\":\"Exam\",\"date\":\"2026-08-27T00:00:00+08:00\",\"kind\":\"reminder\","
                     L"\"reminder\":{\"trigger\":7},\"trigger\":\"-2:08:30\""),
              OkId(L"evt-2"));

    const devhost::EventRecord pills = StoredEvent(L"evt-1");
    ASSERT_TRUE(pills.hasReminder);
    EXPECT_TRUE(pills.reminder.hasPrimary);
    EXPECT_EQ(pills.reminder.primary.hour, 9);
    EXPECT_EQ(pills.reminder.primary.minute, 5);
    ASSERT_EQ(pills.reminder.listed.size(), 1u);
    EXPECT_EQ(pills.reminder.listed[0].dayOffset, 0);
    const devhost::EventRecord exam = StoredEvent(L"evt-2");
    ASSERT_EQ(exam.reminder.listed.size(), 1u);
    EXPECT_EQ(exam.reminder.listed[0].dayOffset, -2);
    EXPECT_EQ(exam.reminder.primary.dayOffset, 0);  // the primary trigger is on the day itself

    const std::wstring got = AiMcpEventGet(L"2", L"{\"id\":\"evt-1\",\"date\":\"2026-09-03T00:00:00+08:00\"}");
    EXPECT_NE(got.find(L"\"reminder\":{\"trigger\":\"0:09:05\"}"), std::wstring::npos) << got;
    EXPECT_NE(got.find(L"\"recurrence\":\"weekly\""), std::wstring::npos) << got;
    EXPECT_NE(AiMcpEventGet(L"3", L"{\"id\":\"evt-2\"}").find(L"\"trigger\":\"-2:08:30\""), std::wstring::npos);
}

TEST_F(EventWrites, UpdateChangesOnlyWhatIsGiven)
{
    const std::wstring custom = Seed(kEventTypeReminder, L"CUSTOMWEEK", -1, L"Water plants");
    const std::wstring countdown = Seed(kEventTypeCountdown, L"YEARLY", -1, L"Anniversary");

    // The title alone: date, custom recurrence, reminder and its carried
    // value stay as they were.
    ASSERT_EQ(Write(AiMcpWriteKind::EventUpdate, L"{\"id\":\"" + custom + L"\",\"title\":\"Water the plants\"}"),
              OkId(custom));
    devhost::EventRecord stored = StoredEvent(custom);
    EXPECT_EQ(stored.line, L"Water the plants");
    EXPECT_EQ(devhost::DayText(stored.start), L"2026-08-18");
    EXPECT_EQ(stored.recurrence, L"CUSTOMWEEK");
    EXPECT_EQ(stored.repeatCount, -1);
    ASSERT_TRUE(stored.hasReminder);
    EXPECT_EQ(stored.reminder.listed[0].dayOffset, -1);
    EXPECT_EQ(stored.reminder.carried, 77);

    // A new trigger and date: the reminder is replaced, its carried value
    // kept; a new recurrence word replaces the custom one.
    ASSERT_EQ(Write(AiMcpWriteKind::EventUpdate, L"{\"id\":\"" + custom +
                                                     L"\",\"date\":\"2026-08-21T20:00:00-04:00\",\"recurrence\":\"none\","
                                                     L"\"reminder\":{\"trigger\":\"18:45\"},\"kind\":\"Reminder\"}"),
              OkId(custom));
    stored = StoredEvent(custom);
    EXPECT_EQ(devhost::DayText(stored.start), L"2026-08-22");
    EXPECT_EQ(stored.recurrence, L"DAILY");
    EXPECT_EQ(stored.repeatCount, 1);
    EXPECT_EQ(stored.reminder.listed[0].hour, 18);
    EXPECT_EQ(stored.reminder.listed[0].minute, 45);
    EXPECT_EQ(stored.reminder.listed[0].dayOffset, 0);
    EXPECT_EQ(stored.reminder.carried, 77);
    EXPECT_EQ(stored.line, L"Water the plants");

    // Countdown settings: the given one replaces, the other stays.
    ASSERT_EQ(Write(AiMcpWriteKind::EventUpdate, L"{\"id\":\"" + countdown + L"\",\"countdown\":{\"show_type\":0}}"),
              OkId(countdown));
    stored = StoredEvent(countdown);
    EXPECT_EQ(stored.countdownType, 4);
    EXPECT_EQ(stored.showType, 0);
    EXPECT_EQ(stored.line, L"Anniversary");
    EXPECT_EQ(stored.recurrence, L"YEARLY");
    EXPECT_EQ(AuditLines().back(), "event_update\tid=" + std::string(countdown.begin(), countdown.end()) +
                                       "\ttrust=1\tok\tAnniversary");
}

TEST_F(EventWrites, DeleteRemovesTheEventAndEveryOccurrence)
{
    const std::wstring weekly = Seed(kEventTypeTask, L"WEEKLY", -1, L"Yoga");
    ASSERT_EQ(events->EventsOn({2026, 9, 1}, {1, L"home"}).size(), 1u);
    ASSERT_EQ(Write(AiMcpWriteKind::EventDelete, L"{\"id\":\"" + weekly + L"\",\"kind\":\"task\"}"), OkId(weekly));
    EXPECT_TRUE(events->Events().empty());
    EXPECT_EQ(Write(AiMcpWriteKind::EventDelete, L"{\"id\":\"" + weekly + L"\"}"),
              Error(L"NOT_FOUND", L"no local event with that id"));
    EXPECT_EQ(EventsUsed(), 1);
}

TEST_F(EventWrites, ParkedWriteChangesNothingUntilAcceptedOnce)
{
    SetTrusted(false);
    const std::wstring params = L"{\"title\":\"Piano\",\"date\":\"2026-08-22T15:00:00+08:00\",\"recurrence\":\"weekly\"}";
    const std::wstring rejected = TokenOf(Write(AiMcpWriteKind::EventCreate, params));
    ASSERT_EQ(rejected.size(), 32u);
    EXPECT_EQ(EventConfirm(L"2", L"{\"confirm_token\":\"" + rejected + L"\",\"accept\":false}"),
              Ok(L"{\"status\":\"cancelled\"}", L"2"));
    EXPECT_TRUE(events->Events().empty());
    EXPECT_EQ(EventsUsed(), 0);

    const std::wstring parked = Write(AiMcpWriteKind::EventCreate, params, L"3");
    EXPECT_NE(parked.find(L"\"summary\":{\"op\":\"create\",\"title\":\"Piano\",\"date\":\"2026-08-22\",\"all_day\":true,"
                          L"\"kind\":\"task\",\"start\":\"2026-08-22T00:00:00+08:00\",\"end\":\"2026-08-23T00:00:00+08:00\"}"),
              std::wstring::npos)
        << parked;
    const std::wstring token = TokenOf(parked);
    EXPECT_TRUE(events->Events().empty());
    const std::wstring confirm = L"{\"confirm_token\":\"" + token + L"\",\"accept\":true}";
    EXPECT_EQ(EventConfirm(L"4", confirm), OkId(L"evt-1", L"4"));
    EXPECT_EQ(EventConfirm(L"5", confirm), Error(L"NOT_FOUND", L"unknown or expired confirm_token", L"5"));
    EXPECT_EQ(events->Events().size(), 1u);
    EXPECT_EQ(EventsUsed(), 1);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "event_create\tid=\ttrust=0\tok\tpending confirmation",
                                "event_create\tid=\ttrust=0\terror\tcancelled by the user",
                                "event_create\tid=\ttrust=0\tok\tpending confirmation",
                                "event_create\tid=evt-1\ttrust=0\tok\tPiano",
                            }));
}

TEST_F(EventWrites, AFailedHostCallIsReportedAuditedAndNotCounted)
{
    const std::wstring task = Seed(kEventTypeTask, L"DAILY", 1, L"Laundry");
    events->SetFailWrites(true);
    EXPECT_EQ(Create(L"\"title\":\"Gym\",\"date\":\"2026-08-20T10:00:00+08:00\""),
              Error(L"INTERNAL", L"the calendar did not store the event"));
    EXPECT_EQ(Write(AiMcpWriteKind::EventUpdate, L"{\"id\":\"" + task + L"\",\"title\":\"Ironing\"}"),
              Error(L"INTERNAL", L"the calendar did not store the change to the event"));
    EXPECT_EQ(Write(AiMcpWriteKind::EventDelete, L"{\"id\":\"" + task + L"\"}"),
              Error(L"INTERNAL", L"the calendar did not delete the event"));
    events->SetFailWrites(false);
    EXPECT_EQ(StoredEvent(task).line, L"Laundry");
    EXPECT_EQ(events->Events().size(), 1u);

    // The event goes away while its change waits for confirmation.
    SetTrusted(false);
    const std::wstring token = TokenOf(Write(AiMcpWriteKind::EventUpdate, L"{\"id\":\"" + task + L"\",\"title\":\"X\"}"));
    ASSERT_EQ(S_OK, events->Clear());
    EXPECT_EQ(EventConfirm(L"2", L"{\"confirm_token\":\"" + token + L"\",\"accept\":true}"),
              Error(L"NOT_FOUND", L"no local event with that id", L"2"));

    // Without the service or the host's objects nothing is written either.
    SetTrusted(true);
    DevHost::RegisterHostClass(CLSID_Event, nullptr);
    EXPECT_EQ(Create(L"\"title\":\"Gym\",\"date\":\"2026-08-20T10:00:00+08:00\""),
              Error(L"INTERNAL", L"the calendar could not create an event object"));
    DevHost::SetService(SID_EventService, nullptr);
    EXPECT_EQ(Create(L"\"title\":\"Gym\",\"date\":\"2026-08-20T10:00:00+08:00\""),
              Error(L"INTERNAL", L"the calendar event service is not available"));

    EXPECT_EQ(EventsUsed(), 0);
    const std::string t(task.begin(), task.end());
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "event_create\tid=\ttrust=1\terror\tthe calendar did not store the event",
                                "event_update\tid=" + t + "\ttrust=1\terror\tthe calendar did not store the change to the event",
                                "event_delete\tid=" + t + "\ttrust=1\terror\tthe calendar did not delete the event",
                                "event_update\tid=" + t + "\ttrust=0\tok\tpending confirmation",
                                "event_update\tid=" + t + "\ttrust=0\terror\tno local event with that id",
                                "event_create\tid=\ttrust=1\terror\tthe calendar could not create an event object",
                                "event_create\tid=\ttrust=0\terror\tthe calendar event service is not available",
                            }));
}

TEST_F(EventWrites, TheFortyFirstEventWriteOfTheDayIsRefusedWhileOtherKindsStillWrite)
{
    for (int i = 1; i <= 40; ++i)
        ASSERT_EQ(Create(L"\"title\":\"Step " + std::to_wstring(i) + L"\",\"date\":\"2026-08-20T10:00:00+08:00\""),
                  OkId(L"evt-" + std::to_wstring(i)));
    EXPECT_EQ(Create(L"\"title\":\"One more\",\"date\":\"2026-08-20T10:00:00+08:00\""),
              Error(L"QUOTA_EXCEEDED", L"daily AI write quota exceeded for events: used 40 of 40 (resets at local midnight)"));
    EXPECT_EQ(events->Events().size(), 40u);
    EXPECT_EQ(EventsUsed(), 40);

    // Day cells draw on their own allowance.
    const std::wstring cell = ItemWriteEntry(L"2", L"{\"date\":\"2026-08-20\",\"text\":\"still fine\"}",
                                             AiMcpWriteKind::ItemsAppendLine);
    EXPECT_EQ(cell.rfind(L"{\"id\":\"2\",\"ok\":true", 0), 0u) << cell;
    EXPECT_EQ(ItemsUsed(), 1);
}

}  // namespace
