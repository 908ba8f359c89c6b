// The stand-in calendar's data: which events a day lists for every
// recurrence word, completion per occurrence, calendars that share a number,
// the current calendar, the event writes and their fault switch, the day
// cells, and what a restarted set of services finds in the data folder.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "ServiceTestSupport.h"
#include "StandInServices.h"

using devhost::CalendarDay;
using devhost::CalendarEntry;
using devhost::CalendarIdentity;
using devhost::DataFolder;
using devhost::EventRecord;
using devhost::StandInServices;
using servicetest::Bstr;
using servicetest::TempFolder;

namespace {

const CalendarIdentity kLocal1{1, L"local"};
const CalendarIdentity kFamily1{1, L"family"};
const CalendarIdentity kLocal2{2, L"local"};

CalendarDay Day(const std::wstring& text)
{
    CalendarDay day;
    EXPECT_TRUE(devhost::ParseDayText(text, day)) << text;
    return day;
}

class CalendarServicesTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }

    void Open()
    {
        services.Reset();
        devhost::StandInOptions options;
        options.useClipboard = false;
        ASSERT_EQ(S_OK, devhost::CreateStandInServices(DataFolder(temp.PathOf(L"data")), options, services));
    }

    void UseCalendars()
    {
        ASSERT_EQ(S_OK, services.calendars->SetCalendars(
                            {{kLocal1, L"Personal"}, {kLocal2, L"Work"}, {kFamily1, L"Family"}}, kLocal1));
    }

    std::wstring AddEvent(const CalendarIdentity& calendar, const std::wstring& title, const std::wstring& start,
                          const std::wstring& word, LONG repeat, LONG type = kEventTypeTask)
    {
        EventRecord event;
        event.calendar = calendar;
        event.line = title;
        event.start = Day(start);
        event.recurrence = word;
        event.repeatCount = repeat;
        event.type = type;
        EXPECT_EQ(S_OK, services.events->Add(event));
        return event.id;
    }

    // The titles and completed flags of a day's list, through the interface.
    std::map<std::wstring, bool> Listed(IxEventList* list)
    {
        std::map<std::wstring, bool> listed;
        LONG count = -1;
        EXPECT_EQ(S_OK, list->GetCount(&count));
        for (LONG i = 0; i < count; ++i) {
            ComPtr<IxEvent> event;
            EXPECT_EQ(S_OK, list->GetItem(i, IID_IxEvent, event.put_void()));
            if (!event) continue;
            ComPtr<IxItemLine> content;
            event->GetContent(content.put());
            UniqueBstr title;
            if (content) content->GetPlainText(title.put());
            VARIANT_BOOL completed = VARIANT_FALSE;
            event->GetCompleted(&completed);
            listed[title.str()] = completed == VARIANT_TRUE;
        }
        return listed;
    }

    std::map<std::wstring, bool> CurrentDay(const std::wstring& day)
    {
        ComPtr<IxEventList> list;
        EXPECT_EQ(S_OK, services.events->GetEventsOfDay(Bstr(day).get(), list.put()));
        return list ? Listed(list.get()) : std::map<std::wstring, bool>();
    }

    std::set<std::wstring> TitlesOn(const std::wstring& day)
    {
        std::set<std::wstring> titles;
        for (const auto& entry : CurrentDay(day)) titles.insert(entry.first);
        return titles;
    }

    TempFolder temp;
    StandInServices services;
};

}  // namespace

TEST_F(CalendarServicesTest, EveryRecurrenceWordListsItsOccurrencesByDate)
{
    UseCalendars();
    AddEvent(kLocal1, L"once", L"2024-01-31", L"DAILY", 1);
    AddEvent(kLocal1, L"daily", L"2024-02-28", L"DAILY", -1);
    AddEvent(kLocal1, L"weekly", L"2024-02-29", L"WEEKLY", -1);
    AddEvent(kLocal1, L"monthly31", L"2024-01-31", L"MONTHLY", -1);
    AddEvent(kLocal1, L"yearly29", L"2024-02-29", L"YEARLY", -1);
    AddEvent(kLocal1, L"workday", L"2024-03-02", L"WORKDAYLY", -1);  // a Saturday
    AddEvent(kLocal1, L"custom", L"2024-02-29", L"MONTHLASTDAYLY", -1);
    AddEvent(kLocal1, L"three", L"2024-02-01", L"WEEKLY", 3);
    AddEvent(kLocal1, L"weeklyonce", L"2024-02-01", L"WEEKLY", 1);

    const struct {
        const wchar_t* day;
        std::set<std::wstring> titles;
    } cases[] = {
        {L"2023-12-31", {}},
        {L"2024-01-31", {L"once", L"monthly31"}},
        {L"2024-02-01", {L"three", L"weeklyonce"}},
        {L"2024-02-15", {L"three"}},
        {L"2024-02-22", {}},  // the fourth week of three
        {L"2024-02-28", {L"daily"}},
        {L"2024-02-29", {L"daily", L"weekly", L"yearly29", L"custom"}},
        {L"2024-03-01", {L"daily"}},
        {L"2024-03-02", {L"daily"}},  // Saturday: no workday, not even the start
        {L"2024-03-04", {L"daily", L"workday"}},
        {L"2024-03-07", {L"daily", L"weekly", L"workday"}},
        {L"2024-03-31", {L"daily", L"monthly31"}},  // Sunday
        {L"2024-04-30", {L"daily", L"workday"}},    // April has no 31st
        {L"2024-05-31", {L"daily", L"monthly31", L"workday"}},
        {L"2024-12-31", {L"daily", L"monthly31", L"workday"}},
        {L"2025-02-28", {L"daily", L"workday"}},  // no 29 February in 2025
        {L"2025-03-01", {L"daily"}},
        {L"2028-02-29", {L"daily", L"yearly29", L"workday"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.titles, TitlesOn(c.day)) << c.day;

    // The list of a day refuses what is no day.
    for (const wchar_t* bad : {L"2024-02-30", L"2024-2-01", L"", L"2024-02-01x"}) {
        ComPtr<IxEventList> list;
        EXPECT_EQ(E_INVALIDARG, services.events->GetEventsOfDay(Bstr(bad).get(), list.put())) << bad;
        EXPECT_FALSE(list);
    }
}

TEST_F(CalendarServicesTest, CompletionBelongsToOneOccurrence)
{
    UseCalendars();
    const std::wstring id = AddEvent(kLocal1, L"Water the plants", L"2026-08-17", L"DAILY", -1);
    ASSERT_EQ(S_OK, services.events->SetCompleted(id, Day(L"2026-08-18"), true));

    EXPECT_FALSE(CurrentDay(L"2026-08-17")[L"Water the plants"]);
    EXPECT_TRUE(CurrentDay(L"2026-08-18")[L"Water the plants"]);
    EXPECT_FALSE(CurrentDay(L"2026-08-19")[L"Water the plants"]);

    // By id: the occurrence named by the date; without a date, the start's.
    const auto completedOn = [&](const wchar_t* day) {
        ComPtr<devhost::DateObject> date = devhost::DateObject::Create();
        if (day) date->SetFromText(Bstr(day).get());
        ComPtr<IxEvent> event;
        EXPECT_EQ(S_OK, services.events->GetEventById(Bstr(id).get(), day ? date.get() : nullptr, event.put()));
        VARIANT_BOOL completed = VARIANT_FALSE;
        if (event) event->GetCompleted(&completed);
        return completed;
    };
    EXPECT_EQ(VARIANT_TRUE, completedOn(L"2026-08-18"));
    EXPECT_EQ(VARIANT_FALSE, completedOn(L"2026-08-19"));
    EXPECT_EQ(VARIANT_FALSE, completedOn(nullptr));

    ASSERT_EQ(S_OK, services.events->SetCompleted(id, Day(L"2026-08-18"), false));
    EXPECT_FALSE(CurrentDay(L"2026-08-18")[L"Water the plants"]);
    EXPECT_EQ(E_INVALIDARG, services.events->SetCompleted(id, Day(L"2026-08-16"), true)) << "before the start";
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_NOT_FOUND), services.events->SetCompleted(L"evt-99", Day(L"2026-08-18"), true));
}

TEST_F(CalendarServicesTest, CalendarsWithOneNumberInTwoGroupsAndTheCurrentSwitch)
{
    UseCalendars();
    AddEvent(kLocal1, L"personal", L"2026-08-20", L"DAILY", 1);
    AddEvent(kFamily1, L"family", L"2026-08-20", L"DAILY", 1);
    AddEvent(kLocal2, L"work", L"2026-08-20", L"DAILY", 1);

    // The list reports both calendars numbered 1, told apart by group.
    ComPtr<IxCalendarList> list;
    ASSERT_EQ(S_OK, services.calendars->GetCalendarList(list.put()));
    LONG count = 0;
    ASSERT_EQ(S_OK, list->GetCount(&count));
    ASSERT_EQ(3, count);
    std::vector<std::wstring> seen;
    for (LONG i = 0; i < count; ++i) {
        ComPtr<IxCalendarItem> item;
        ASSERT_EQ(S_OK, list->GetItem(i, item.put()));
        LONG id = 0;
        UniqueBstr name, group;
        ASSERT_EQ(S_OK, item->GetIntProperty(Bstr(L"id").get(), &id));
        ASSERT_EQ(S_OK, item->GetTextProperty(Bstr(L"name").get(), name.put()));
        ASSERT_EQ(S_OK, item->GetTextProperty(Bstr(L"groupid").get(), group.put()));
        seen.push_back(std::to_wstring(id) + L"/" + group.str() + L"/" + name.str());
        UniqueBstr other;
        EXPECT_EQ(E_INVALIDARG, item->GetTextProperty(Bstr(L"color").get(), other.put()));
    }
    EXPECT_EQ((std::vector<std::wstring>{L"1/local/Personal", L"2/local/Work", L"1/family/Family"}), seen);
    ComPtr<IxCalendarItem> beyond;
    EXPECT_EQ(E_INVALIDARG, list->GetItem(3, beyond.put()));
    EXPECT_FALSE(beyond);

    EXPECT_EQ(std::set<std::wstring>{L"personal"}, TitlesOn(L"2026-08-20"));
    ASSERT_EQ(S_OK, services.calendars->SetCurrent(kFamily1));
    LONG currentId = 0;
    UniqueBstr currentGroup;
    ASSERT_EQ(S_OK, services.calendars->GetCurrentCalendarId(&currentId));
    ASSERT_EQ(S_OK, services.calendars->GetCurrentGroupId(currentGroup.put()));
    EXPECT_EQ(1, currentId);
    EXPECT_EQ(L"family", currentGroup.str());
    EXPECT_EQ(std::set<std::wstring>{L"family"}, TitlesOn(L"2026-08-20"));

    // By identity, whatever is current.
    ComPtr<IxEventList> inWork;
    ASSERT_EQ(S_OK, services.events->GetEventsOfDayInCalendar(Bstr(L"2026-08-20").get(), 2, Bstr(L"local").get(),
                                                              inWork.put()));
    EXPECT_EQ(1u, Listed(inWork.get()).count(L"work"));
    ComPtr<IxEventList> nowhere;
    ASSERT_EQ(S_OK, services.events->GetEventsOfDayInCalendar(Bstr(L"2026-08-20").get(), 2, Bstr(L"family").get(),
                                                              nowhere.put()));
    EXPECT_TRUE(Listed(nowhere.get()).empty());

    // A list with one identity twice is refused and changes nothing.
    EXPECT_EQ(E_INVALIDARG, services.calendars->SetCalendars({{kLocal1, L"A"}, {kLocal1, L"B"}}, kLocal1));
    EXPECT_EQ(3u, services.calendars->Calendars().size());
}

TEST_F(CalendarServicesTest, EventWritesThroughTheInterface)
{
    UseCalendars();
    // A reminder made as the plug-in makes one: primary trigger and a list.
    ComPtr<devhost::TriggerObject> primary = devhost::TriggerObject::Create();
    ComPtr<devhost::TriggerObject> listed = devhost::TriggerObject::Create();
    ComPtr<devhost::TriggerListObject> triggers = devhost::TriggerListObject::Create();
    ComPtr<devhost::ReminderObject> reminder = devhost::ReminderObject::Create();
    primary->SetHour(18);
    listed->SetDayOffset(-1);
    listed->SetHour(18);
    EXPECT_EQ(E_INVALIDARG, listed->SetDayOffset(1)) << "a trigger never fires after its day";
    EXPECT_EQ(E_INVALIDARG, listed->SetMinute(60));
    ASSERT_EQ(S_OK, triggers->AddItem(IID_IxTrigger, listed.get()));
    EXPECT_EQ(E_NOINTERFACE, triggers->AddItem(IID_IxReminder, listed.get()));
    reminder->SetPrimaryTrigger(primary.get());
    reminder->SetTriggerList(triggers.get());
    reminder->SetCarriedProperty(7);

    ComPtr<devhost::EventObject> event = devhost::EventObject::Create();
    ComPtr<devhost::ItemLineObject> content = devhost::ItemLineObject::Create();
    content->SetPlainText(Bstr(L"Call mum").get());
    event->SetContent(content.get());
    event->SetRepeatCount(-1);
    event->SetEventType(kEventTypeReminder);
    event->SetReminder(reminder.get());
    ComPtr<devhost::DateObject> date = devhost::DateObject::Create();
    ASSERT_EQ(S_OK, date->SetFromText(Bstr(L"2026-08-20").get()));

    UniqueBstr id;
    ASSERT_EQ(S_OK, services.events->AddEvent(Bstr(L"Call mum").get(), date.get(), kRecurWeekly, event.get(), id.put()));
    ASSERT_FALSE(id.empty());
    EventRecord stored;
    ASSERT_TRUE(services.events->Find(id.str(), stored));
    EXPECT_TRUE(stored.calendar == kLocal1) << "new events go to the current calendar";
    EXPECT_EQ(L"WEEKLY", stored.recurrence);
    EXPECT_EQ(-1, stored.repeatCount);
    ASSERT_TRUE(stored.hasReminder);
    EXPECT_EQ(18, stored.reminder.primary.hour);
    ASSERT_EQ(1u, stored.reminder.listed.size());
    EXPECT_EQ(-1, stored.reminder.listed[0].dayOffset);
    EXPECT_EQ(7, stored.reminder.carried);
    EXPECT_EQ(std::set<std::wstring>{L"Call mum"}, TitlesOn(L"2026-08-27"));

    // Read back as the plug-in reads it.
    ComPtr<IxEvent> read;
    ASSERT_EQ(S_OK, services.events->GetEventById(id.get(), nullptr, read.put()));
    UniqueBstr word;
    read->GetRecurrence(word.put());
    EXPECT_EQ(L"WEEKLY", word.str());
    ComPtr<IUnknown> readReminder;
    read->GetReminder(readReminder.put());
    ComPtr<IxReminder> typed = readReminder.As<IxReminder>(IID_IxReminder);
    ASSERT_TRUE(typed);
    ComPtr<IxTriggerList> readList;
    typed->GetTriggerList(readList.put());
    ComPtr<IxTrigger> first;
    ASSERT_TRUE(readList);
    readList->GetItem(0, IID_IxTrigger, first.put_void());
    ASSERT_TRUE(first);
    LONG offset = 0, hour = 0;
    first->GetDayOffset(&offset);
    first->GetHour(&hour);
    EXPECT_EQ(-1, offset);
    EXPECT_EQ(18, hour);

    // Update: new title and start, code 0 keeps the word; the reminder goes.
    read->SetReminder(nullptr);
    ComPtr<devhost::DateObject> moved = devhost::DateObject::Create(Day(L"2026-08-21"));
    ASSERT_EQ(S_OK, services.events->UpdateEvent(id.get(), Bstr(L"Call dad").get(), moved.get(), 0, read.get()));
    ASSERT_TRUE(services.events->Find(id.str(), stored));
    EXPECT_EQ(L"Call dad", stored.line);
    EXPECT_EQ(L"WEEKLY", stored.recurrence);
    EXPECT_FALSE(stored.hasReminder);
    ComPtr<IxDate> start;
    ASSERT_EQ(S_OK, services.events->GetEventStartDate(id.get(), start.put()));
    UniqueBstr startText;
    ASSERT_EQ(S_OK, start->Format(Bstr(L"%Y-%m-%d").get(), startText.put()));
    EXPECT_EQ(L"2026-08-21", startText.str());

    // Refusals: no date, no event object, an unknown code, an unknown id.
    UniqueBstr none;
    ComPtr<devhost::DateObject> unset = devhost::DateObject::Create();
    EXPECT_EQ(E_INVALIDARG, services.events->AddEvent(Bstr(L"x").get(), unset.get(), kRecurDaily, event.get(), none.put()));
    EXPECT_EQ(E_INVALIDARG, services.events->AddEvent(Bstr(L"x").get(), date.get(), kRecurDaily, nullptr, none.put()));
    EXPECT_EQ(E_INVALIDARG, services.events->AddEvent(Bstr(L"x").get(), date.get(), 0, event.get(), none.put()));
    EXPECT_TRUE(none.empty());
    const HRESULT notFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    EXPECT_EQ(notFound, services.events->UpdateEvent(Bstr(L"evt-99").get(), Bstr(L"x").get(), nullptr, 0, read.get()));
    ComPtr<IxEvent> missing;
    EXPECT_EQ(notFound, services.events->GetEventById(Bstr(L"evt-99").get(), nullptr, missing.put()));
    EXPECT_FALSE(missing);

    ASSERT_EQ(S_OK, services.events->DeleteEvent(id.get()));
    EXPECT_EQ(notFound, services.events->DeleteEvent(id.get()));
    EXPECT_TRUE(TitlesOn(L"2026-08-21").empty());

    // Ids are not reused after a delete.
    UniqueBstr next;
    ASSERT_EQ(S_OK, services.events->AddEvent(Bstr(L"again").get(), date.get(), kRecurDaily, event.get(), next.put()));
    EXPECT_NE(id.str(), next.str());
}

TEST_F(CalendarServicesTest, FailingEventWritesChangeNothing)
{
    UseCalendars();
    const std::wstring id = AddEvent(kLocal1, L"Call mum", L"2026-08-20", L"DAILY", 1);
    const std::wstring file = temp.PathOf(L"data\\events.json");
    const std::string before = servicetest::ReadBytes(file);
    ComPtr<IxEvent> event;
    ASSERT_EQ(S_OK, services.events->GetEventById(Bstr(id).get(), nullptr, event.put()));
    ComPtr<devhost::DateObject> date = devhost::DateObject::Create(Day(L"2026-08-21"));
    services.events->SetFailWrites(true);

    UniqueBstr none;
    EXPECT_EQ(E_FAIL, services.events->AddEvent(Bstr(L"x").get(), date.get(), kRecurDaily, event.get(), none.put()));
    EXPECT_FALSE(none.get());
    EXPECT_EQ(E_FAIL, services.events->UpdateEvent(Bstr(id).get(), Bstr(L"x").get(), date.get(), 0, event.get()));
    EXPECT_EQ(E_FAIL, services.events->DeleteEvent(Bstr(id).get()));
    EXPECT_EQ(std::set<std::wstring>{L"Call mum"}, TitlesOn(L"2026-08-20"));
    EXPECT_EQ(before, servicetest::ReadBytes(file));

    services.events->SetFailWrites(false);
    EXPECT_EQ(S_OK, services.events->DeleteEvent(Bstr(id).get()));
}

TEST_F(CalendarServicesTest, DayCellsBelongToOneCalendarIdentity)
{
    IxDayContentService* cells = services.dayContent.get();
    const auto text = [&](LONG id, const wchar_t* group) {
        UniqueBstr out;
        EXPECT_EQ(S_OK, cells->GetDayText(Bstr(L"2026-08-20").get(), id, Bstr(group).get(), out.put()));
        return out.str();
    };
    const auto color = [&](LONG id, const wchar_t* group) {
        UniqueBstr out;
        EXPECT_EQ(S_OK, cells->GetDayBgColor(Bstr(L"2026-08-20").get(), id, Bstr(group).get(), out.put()));
        return out.str();
    };
    EXPECT_EQ(L"", text(1, L"local"));

    ASSERT_EQ(S_OK, cells->SetDayText(Bstr(L"2026-08-20").get(), 1, Bstr(L"local").get(), Bstr(L"a\r\n~~b~~").get()));
    ASSERT_EQ(S_OK, cells->SetDayBgColor(Bstr(L"2026-08-20").get(), 1, Bstr(L"family").get(), Bstr(L"FF00FF00").get()));
    EXPECT_EQ(L"a\r\n~~b~~", text(1, L"local"));
    EXPECT_EQ(L"", color(1, L"local"));
    EXPECT_EQ(L"", text(1, L"family"));
    EXPECT_EQ(L"FF00FF00", color(1, L"family"));
    EXPECT_EQ(L"", text(2, L"local"));

    // Setting the colour keeps the text, and the reverse.
    ASSERT_EQ(S_OK, cells->SetDayBgColor(Bstr(L"2026-08-20").get(), 1, Bstr(L"local").get(), Bstr(L"abc").get()));
    EXPECT_EQ(L"a\r\n~~b~~", text(1, L"local"));
    ASSERT_EQ(S_OK, cells->SetDayText(Bstr(L"2026-08-20").get(), 1, Bstr(L"local").get(), Bstr(L"").get()));
    EXPECT_EQ(L"abc", color(1, L"local"));
    EXPECT_EQ(2u, services.dayContent->CellCount());
    // A cell with neither text nor colour is gone.
    ASSERT_EQ(S_OK, cells->SetDayBgColor(Bstr(L"2026-08-20").get(), 1, Bstr(L"local").get(), nullptr));
    EXPECT_EQ(1u, services.dayContent->CellCount());

    UniqueBstr out;
    EXPECT_EQ(E_INVALIDARG, cells->GetDayText(Bstr(L"2026-02-30").get(), 1, Bstr(L"local").get(), out.put()));
    EXPECT_EQ(E_INVALIDARG, cells->SetDayText(Bstr(L"20260220").get(), 1, Bstr(L"local").get(), Bstr(L"x").get()));
}

TEST_F(CalendarServicesTest, ARestartFindsCalendarsEventsAndCells)
{
    UseCalendars();
    ASSERT_EQ(S_OK, services.calendars->SetCurrent(kFamily1));
    EventRecord event;
    event.calendar = kFamily1;
    event.line = L"~~Grandma's birthday~~";
    event.start = Day(L"2024-02-29");
    event.recurrence = L"YEARLY";
    event.repeatCount = -1;
    event.type = kEventTypeReminder;
    event.hasReminder = true;
    event.reminder.hasPrimary = true;
    event.reminder.primary = {0, 18, 0};
    event.reminder.listed = {{-1, 18, 0}};
    event.completed = {L"2028-02-29"};
    ASSERT_EQ(S_OK, services.events->Add(event));
    ASSERT_EQ(S_OK, services.dayContent->SetCell(Day(L"2024-02-29"), kFamily1, {L"cake", L"FFE0B2"}));

    Open();
    EXPECT_EQ(3u, services.calendars->Calendars().size());
    EXPECT_TRUE(services.calendars->Current() == kFamily1);
    EventRecord again;
    ASSERT_TRUE(services.events->Find(event.id, again));
    EXPECT_EQ(event.line, again.line);
    EXPECT_TRUE(again.calendar == kFamily1);
    EXPECT_TRUE(again.start == event.start);
    EXPECT_EQ(L"YEARLY", again.recurrence);
    EXPECT_EQ(kEventTypeReminder, again.type);
    ASSERT_TRUE(again.hasReminder);
    EXPECT_EQ(18, again.reminder.primary.hour);
    ASSERT_EQ(1u, again.reminder.listed.size());
    EXPECT_EQ(-1, again.reminder.listed[0].dayOffset);
    EXPECT_EQ(event.completed, again.completed);
    EXPECT_EQ(L"cake", services.dayContent->Cell(Day(L"2024-02-29"), kFamily1).text);
    // The title is the content's plain text; the done marker is not part of it.
    EXPECT_EQ((std::map<std::wstring, bool>{{L"Grandma's birthday", true}}), CurrentDay(L"2028-02-29"));

    // A new event after the restart does not take the id of the stored one.
    const std::wstring second = AddEvent(kFamily1, L"later", L"2026-01-01", L"DAILY", 1);
    EXPECT_NE(event.id, second);
}

TEST_F(CalendarServicesTest, AFileOfAnotherLayoutIsSetAsideNotOverwritten)
{
    services.Reset();
    const std::string foreign = "{\"events\":[{\"id\":\"x\",\"start\":\"yesterday\"}]}";
    ASSERT_TRUE(servicetest::WriteBytes(temp.PathOf(L"data\\events.json"), foreign));
    ASSERT_TRUE(servicetest::WriteBytes(temp.PathOf(L"data\\calendars.json"), "{\"calendars\":7}"));
    Open();
    EXPECT_TRUE(services.events->Events().empty());
    EXPECT_TRUE(services.calendars->Calendars().empty());
    EXPECT_EQ(foreign, servicetest::ReadBytes(temp.PathOf(L"data\\events.json.unreadable")));
    AddEvent(kLocal1, L"new", L"2026-08-20", L"DAILY", 1);
    EXPECT_EQ(foreign, servicetest::ReadBytes(temp.PathOf(L"data\\events.json.unreadable")));
}
