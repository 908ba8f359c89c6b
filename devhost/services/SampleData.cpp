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

JsonValue::Ptr Period(int order, int startMinutes, int length)
{
    const int endMinutes = startMinutes + length;
    JsonValue::ObjectMembers members;
    members.emplace(L"order", JsonValue::MakeNumber(order));
    members.emplace(L"start_hour", JsonValue::MakeNumber(startMinutes / 60));
    members.emplace(L"start_minute", JsonValue::MakeNumber(startMinutes % 60));
    members.emplace(L"end_hour", JsonValue::MakeNumber(endMinutes / 60));
    members.emplace(L"end_minute", JsonValue::MakeNumber(endMinutes % 60));
    return JsonValue::MakeObject(std::move(members));
}

struct SampleLesson {
    const wchar_t* name;
    const wchar_t* teacher;
    const wchar_t* location;
    int weekday;  // 1 is Monday
    int order;    // the zero-based period
    int periodMode;
    const wchar_t* weeks;
};

JsonValue::Ptr Lesson(const SampleLesson& lesson)
{
    JsonValue::ObjectMembers members;
    members.emplace(L"name", JsonValue::MakeString(lesson.name));
    members.emplace(L"teacher", JsonValue::MakeString(lesson.teacher));
    members.emplace(L"location", JsonValue::MakeString(lesson.location));
    members.emplace(L"weekday", JsonValue::MakeNumber(lesson.weekday));
    members.emplace(L"order", JsonValue::MakeNumber(lesson.order));
    members.emplace(L"period_mode", JsonValue::MakeNumber(lesson.periodMode));
    members.emplace(L"weeks", JsonValue::MakeString(lesson.weeks));
    return JsonValue::MakeObject(std::move(members));
}

// A school week: 4 morning periods from 08:00 and 4 afternoon ones from
// 14:00, 45 minutes each with 10-minute breaks, in a term of 20 weeks that
// began on monday.
std::wstring SampleTimetable(const CalendarDay& monday)
{
    const int classMinutes = 45, breakMinutes = 10, morning = 8 * 60, afternoon = 14 * 60;
    JsonValue::ArrayItems times;
    for (int order = 0; order < 8; ++order) {
        const int start = (order < 4 ? morning : afternoon) + (order % 4) * (classMinutes + breakMinutes);
        times.push_back(Period(order, start, classMinutes));
    }
    const SampleLesson lessons[] = {
        {L"Mathematics", L"Mr. Novak", L"Room 204", 1, 0, 1, L""},
        {L"English", L"Ms. Patel", L"Room 112", 1, 1, 1, L""},
        {L"Physics", L"Dr. Okafor", L"Lab 2", 2, 2, 1, L""},
        {L"语文", L"王老师", L"Room 204", 3, 0, 1, L""},
        {L"Chemistry lab", L"Dr. Okafor", L"Lab 1", 4, 4, 2, L"0,2,4"},
        {L"History", L"Ms. Berg", L"Room 108", 5, 0, 1, L""},
        {L"Physical education", L"Mr. Silva", L"Sports hall", 5, 5, 1, L""},
    };
    JsonValue::ArrayItems items;
    for (const SampleLesson& lesson : lessons) items.push_back(Lesson(lesson));

    JsonValue::ObjectMembers members;
    members.emplace(L"name", JsonValue::MakeString(L"Class 3B"));
    members.emplace(L"week_count", JsonValue::MakeNumber(20));
    members.emplace(L"count_class_day", JsonValue::MakeNumber(8));
    members.emplace(L"count_class_am", JsonValue::MakeNumber(4));
    members.emplace(L"class_time_long", JsonValue::MakeNumber(classMinutes));
    members.emplace(L"break_time_long", JsonValue::MakeNumber(breakMinutes));
    members.emplace(L"start_am_hour", JsonValue::MakeNumber(morning / 60));
    members.emplace(L"start_am_minute", JsonValue::MakeNumber(morning % 60));
    members.emplace(L"start_pm_hour", JsonValue::MakeNumber(afternoon / 60));
    members.emplace(L"start_pm_minute", JsonValue::MakeNumber(afternoon % 60));
    members.emplace(L"start_date", JsonValue::MakeString(DayText(monday)));
    members.emplace(L"hide_weekend", JsonValue::MakeBool(true));
    members.emplace(L"times", JsonValue::MakeArray(std::move(times)));
    members.emplace(L"lessons", JsonValue::MakeArray(std::move(items)));
    return JsonValue::MakeObject(std::move(members))->Serialize();
}

}  // namespace

bool HasCalendarData(const StandInServices& services)
{
    return !services.calendars->Calendars().empty() || !services.events->Events().empty() ||
           services.dayContent->CellCount() != 0 || !services.notes->Notes().empty() ||
           !services.timetables->Timetables().empty();
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
    if (FAILED(hr)) return hr;

    TimetableRecord timetable;
    timetable.isDefault = true;
    timetable.content = SampleTimetable(monday);
    hr = services.timetables->Clear();
    if (SUCCEEDED(hr)) hr = services.timetables->Add(timetable);
    return hr;
}

CalendarDay LocalToday()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return CalendarDay{now.wYear, now.wMonth, now.wDay};
}

}  // namespace devhost
