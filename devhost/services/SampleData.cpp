#include "SampleData.h"

namespace devhost {

namespace {

const CalendarIdentity kPersonal{1, L"local"};
const CalendarIdentity kWork{2, L"local"};
const CalendarIdentity kFamily{1, L"family"};

EventRecord Event(const CalendarIdentity& calendar, LONG type, const std::wstring& title, const CalendarDay& start,
                  const std::wstring& recurrence, LONG repeatCount)
{
    EventRecord event;
    event.calendar = calendar;
    event.type = type;
    event.line = title;
    event.start = start;
    event.recurrence = recurrence;
    event.repeatCount = repeatCount;
    event.showType = type == kEventTypeCountdown ? 2 : 0;
    return event;
}

EventRecord Task(const std::wstring& title, const CalendarDay& day, const CalendarIdentity& calendar = kPersonal)
{
    return Event(calendar, kEventTypeTask, title, day, L"DAILY", 1);
}

EventRecord WithTrigger(EventRecord event, const TriggerValues& listed)
{
    event.hasReminder = true;
    event.reminder.hasPrimary = true;
    event.reminder.primary = TriggerValues{0, listed.hour, listed.minute};
    event.reminder.listed.push_back(listed);
    return event;
}

}  // namespace

bool HasCalendarData(const StandInServices& services)
{
    return !services.calendars->Calendars().empty() || !services.events->Events().empty() ||
           services.dayContent->CellCount() != 0 || !services.notes->Notes().empty();
}

HRESULT SeedSampleData(StandInServices& services, const CalendarDay& today)
{
    const CalendarDay monday = AddDays(today, -((Weekday(today) + 6) % 7));
    HRESULT hr = services.calendars->SetCalendars(
        {{kPersonal, L"Personal"}, {kWork, L"Work"}, {kFamily, L"Family"}}, kPersonal);
    if (FAILED(hr)) return hr;

    EventRecord meals = Task(L"Plan this week's meals", monday);
    meals.completed.insert(DayText(monday));
    EventRecord plants = Event(kPersonal, kEventTypeTask, L"Water the plants", monday, L"DAILY", -1);
    plants.completed.insert(DayText(monday));
    EventRecord countdown = Event(kPersonal, kEventTypeCountdown, L"New Year's Day", CalendarDay{today.year + 1, 1, 1},
                                  L"YEARLY", -1);
    std::vector<EventRecord> events = {
        meals,
        Task(L"Buy groceries", today),
        Task(L"Submit the expense report", AddDays(monday, 4)),
        plants,
        Event(kPersonal, kEventTypeTask, L"Check the shared inbox", monday, L"WORKDAYLY", -1),
        WithTrigger(Event(kPersonal, kEventTypeReminder, L"Team meeting", today, L"WEEKLY", -1), {0, 9, 30}),
        WithTrigger(Event(kPersonal, kEventTypeReminder, L"Pay the rent", CalendarDay{today.year, today.month, 1},
                          L"MONTHLY", -1),
                    {-1, 18, 0}),
        countdown,
        Event(kPersonal, 4, L"Full moon", today, L"DAILY", 1),
        Task(L"Quarterly review", AddDays(monday, 3), kWork),
        WithTrigger(Event(kFamily, kEventTypeReminder, L"Grandma's birthday", AddDays(today, 10), L"YEARLY", -1),
                    {-1, 18, 0}),
    };
    hr = services.events->Clear();
    for (EventRecord& event : events) {
        if (FAILED(hr)) return hr;
        hr = services.events->Add(event);
    }
    if (FAILED(hr)) return hr;

    hr = services.dayContent->Clear();
    if (SUCCEEDED(hr))
        hr = services.dayContent->SetCell(
            today, kPersonal, DayCell{L"Call the plumber\n~~Pick up the parcel~~\nBook the train tickets", L"FFE0B2"});
    if (SUCCEEDED(hr)) hr = services.dayContent->SetCell(today, kWork, DayCell{L"~~Send the agenda~~", L""});
    if (SUCCEEDED(hr)) hr = services.dayContent->SetCell(today, kFamily, DayCell{L"Dinner at grandma's at 7", L""});
    if (FAILED(hr)) return hr;

    std::vector<NoteRecord> notes = {
        {L"", kNoteTypeLocal, L"Shopping list", L"Milk\nEggs\nWholegrain bread\nApples\nCoffee beans"},
        {L"", kNoteTypeLocal, L"京都旅行 🌸", L"订好酒店，带上相机 📷\n清水寺 → 金阁寺 → 伏见稻荷大社\n🍵 抹茶"},
        {L"", 2, L"Team on-call rota", L"Shared by another account: week 1 Ana, week 2 Ben, week 3 Chen."},
        {L"", kNoteTypeLocal, L"Notes from the planning meeting",
         L"We agreed to move the quarterly review to Thursday afternoon so that everyone from the Berlin office "
         L"can join; Dana books the large room, and the slides are due by Wednesday noon."},
    };
    hr = services.notes->Clear();
    for (NoteRecord& note : notes) {
        if (FAILED(hr)) return hr;
        hr = services.notes->Add(note);
    }
    return hr;
}

CalendarDay LocalToday()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return CalendarDay{now.wYear, now.wMonth, now.wDay};
}

}  // namespace devhost
