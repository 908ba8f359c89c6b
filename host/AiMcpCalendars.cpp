#include "AiMcpCalendars.h"

#include <cwchar>

#include "AiMcpText.h"
#include "HostAccess.h"

namespace {

const wchar_t kFallbackNameKey[] = L"IDS_AIMCP_FALLBACK_CALENDAR_NAME";
const wchar_t kFallbackName[] = L"Local calendar";

std::wstring FallbackCalendarName()
{
    const std::wstring name = AiMcpLanguageText(kFallbackNameKey);
    return name.empty() ? kFallbackName : name;
}

LONG ReadIntProperty(IxCalendarItem* item, const wchar_t* name)
{
    const UniqueBstr key(name);
    LONG value = 0;
    item->GetIntProperty(key.get(), &value);
    return value;
}

std::wstring ReadTextProperty(IxCalendarItem* item, const wchar_t* name)
{
    const UniqueBstr key(name);
    UniqueBstr value;
    item->GetTextProperty(key.get(), value.put());
    return value.str();
}

struct RecurrenceWord {
    const wchar_t* host;
    LONG code;
    const wchar_t* tool;  // the tools' word when reading; null: "none"
};

const RecurrenceWord kRecurrenceWords[] = {
    {L"DAILY", kRecurDaily, L"daily"},
    {L"WEEKLY", kRecurWeekly, L"weekly"},
    {L"MONTHLY", kRecurMonthly, L"monthly"},
    {L"YEARLY", kRecurYearly, L"yearly"},
    {L"WORKDAYLY", kRecurWorkday, L"workday"},
    {L"MONTHLASTDAYLY", kRecurMonthLastDay, nullptr},
    {L"SEASONLY", kRecurSeason, nullptr},
    {L"CUSTOMDAY", kRecurCustomDay, nullptr},
    {L"CUSTOMWEEK", kRecurCustomWeek, nullptr},
    {L"CUSTOMMONTH", kRecurCustomMonth, nullptr},
    {L"CUSTOMYEAR", kRecurCustomYear, nullptr},
    {L"LEGALWORKDAYLY", kRecurLegalWorkday, nullptr},
    {L"EBBINGHAUS", kRecurEbbinghaus, nullptr},
};

const RecurrenceWord* FindHostWord(const std::wstring& hostWord)
{
    for (const RecurrenceWord& word : kRecurrenceWords)
        if (hostWord == word.host) return &word;
    return nullptr;
}

// Day offset, hour and minute of the trigger that fires the reminder: the
// first listed one, else the primary one; all 0 without a trigger.
void ReadReminderTrigger(IxReminder* reminder, LONG& dayOffset, LONG& hour, LONG& minute)
{
    dayOffset = hour = minute = 0;
    ComPtr<IxTrigger> trigger;
    ComPtr<IxTriggerList> list;
    reminder->GetTriggerList(list.put());
    LONG count = 0;
    if (list) list->GetCount(&count);
    if (count >= 1) list->GetItem(0, IID_IxTrigger, trigger.put_void());
    // A list that reports an item but hands none out is read like an empty
    // list, so a reminder with a primary trigger never reads as 0:00:00.
    if (!trigger) reminder->GetPrimaryTrigger(trigger.put());
    if (!trigger) return;
    trigger->GetDayOffset(&dayOffset);
    trigger->GetHour(&hour);
    trigger->GetMinute(&minute);
}

}  // namespace

bool CalendarListing::IsCurrent(const CalendarEntry& entry) const
{
    return entry.id == currentId && entry.groupId == currentGroupId;
}

CalendarListing ListCalendars()
{
    CalendarListing listing;
    const ComPtr<IxCalendarService> calendars = GetHostService<IxCalendarService>(SID_CalendarService);
    if (!calendars) return listing;

    LONG currentId = 0;
    calendars->GetCurrentCalendarId(&currentId);
    listing.currentId = currentId;
    UniqueBstr currentGroup;
    calendars->GetCurrentGroupId(currentGroup.put());
    listing.currentGroupId = currentGroup.str();

    ComPtr<IxCalendarList> list;
    calendars->GetCalendarList(list.put());
    LONG count = 0;
    if (list) list->GetCount(&count);
    for (LONG i = 0; i < count; ++i) {
        ComPtr<IxCalendarItem> item;
        list->GetItem(i, item.put());
        if (!item) continue;
        CalendarEntry entry;
        entry.id = ReadIntProperty(item.get(), L"id");
        entry.name = ReadTextProperty(item.get(), L"name");
        entry.groupId = ReadTextProperty(item.get(), L"groupid");
        listing.entries.push_back(std::move(entry));
    }
    if (listing.entries.empty())
        listing.entries.push_back(CalendarEntry{listing.currentId, FallbackCalendarName(), listing.currentGroupId});
    return listing;
}

std::wstring CalendarIdText(const std::vector<CalendarEntry>& entries, const CalendarEntry& entry)
{
    std::size_t sameNumber = 0;
    for (const CalendarEntry& other : entries)
        if (other.id == entry.id) ++sameNumber;
    // The entry itself is among those counted when it is one of the list's
    // (or a copy of one); a number that any other entry shares needs the
    // group to tell them apart.
    bool counted = &entry >= entries.data() && &entry < entries.data() + entries.size();
    for (const CalendarEntry& other : entries)
        if (!counted && other.id == entry.id && other.groupId == entry.groupId) counted = true;
    if (sameNumber > (counted ? 1u : 0u)) return entry.groupId + L"/" + IntText(entry.id);
    return IntText(entry.id);
}

bool FindCalendar(const std::wstring& text, LONG& id, std::wstring& groupId)
{
    const CalendarListing listing = ListCalendars();
    for (const CalendarEntry& entry : listing.entries) {
        if (CalendarIdText(listing.entries, entry) == text) {
            id = entry.id;
            groupId = entry.groupId;
            return true;
        }
    }
    const CalendarEntry* match = nullptr;
    const CalendarEntry* currentMatch = nullptr;
    std::size_t matches = 0;
    for (const CalendarEntry& entry : listing.entries) {
        if (IntText(entry.id) != text) continue;
        ++matches;
        match = &entry;
        if (!currentMatch && listing.IsCurrent(entry)) currentMatch = &entry;
    }
    const CalendarEntry* found = matches == 1 ? match : currentMatch;
    if (!found) return false;
    id = found->id;
    groupId = found->groupId;
    return true;
}

const wchar_t* EventKindName(LONG kind)
{
    switch (kind) {
    case kEventTypeTask:
        return L"task";
    case kEventTypeReminder:
        return L"reminder";
    case kEventTypeCountdown:
        return L"countdown";
    default:
        return nullptr;
    }
}

std::wstring ToolRecurrenceWord(const std::wstring& hostWord, LONG repeatCount)
{
    const RecurrenceWord* word = FindHostWord(hostWord);
    if (!word || !word->tool) return L"none";
    if (word->code == kRecurDaily && repeatCount == 1) return L"none";  // a one-time event
    return word->tool;
}

LONG HostRecurrenceCode(const std::wstring& hostWord)
{
    const RecurrenceWord* word = FindHostWord(hostWord);
    return word ? word->code : 0;
}

bool ToolRecurrenceCode(const std::wstring& toolWord, LONG& code)
{
    if (toolWord == L"none") {
        code = kRecurDaily;
        return true;
    }
    for (const RecurrenceWord& word : kRecurrenceWords) {
        if (word.tool && toolWord == word.tool) {
            code = word.code;
            return true;
        }
    }
    return false;
}

std::wstring TriggerText(LONG dayOffset, LONG hour, LONG minute)
{
    wchar_t buffer[48];
    std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"%ld:%02ld:%02ld", static_cast<long>(dayOffset),
                  static_cast<long>(hour), static_cast<long>(minute));
    return buffer;
}

std::wstring ReadEventTitle(IxEvent* event)
{
    std::wstring title;
    ReadEventTitle(event, title);
    return title;
}

void ReadEventTitle(IxEvent* event, std::wstring& title)
{
    title.clear();
    ComPtr<IxItemLine> content;
    event->GetContent(content.put());
    if (!content) return;
    UniqueBstr text;
    content->GetPlainText(text.put());
    if (text.get()) title.assign(text.get(), SysStringLen(text.get()));
}

std::wstring EventExtrasJson(IxEvent* event, LONG kind, const LocalDay* day)
{
    const EventExtras extras = ReadEventExtras(event, kind);
    std::wstring json;
    if (day) {
        const std::wstring quotedDay = QuoteJson(FormatDay(*day));
        AppendEventExtras(json, extras, &quotedDay);
    } else {
        AppendEventExtras(json, extras, nullptr);
    }
    return json;
}

EventExtras ReadEventExtras(IxEvent* event, LONG kind)
{
    EventExtras extras;
    extras.kind = kind;
    const wchar_t* kindName = EventKindName(kind);
    if (!kindName) return extras;

    UniqueBstr hostWord;
    event->GetRecurrence(hostWord.put());
    LONG repeatCount = 0;
    event->GetRepeatCount(&repeatCount);
    extras.head = L",\"kind\":" + QuoteJson(kindName) + L",\"recurrence\":" +
                  QuoteJson(ToolRecurrenceWord(hostWord.str(), repeatCount));

    if (kind == kEventTypeReminder) {
        ComPtr<IUnknown> plain;
        event->GetReminder(plain.put());
        const ComPtr<IxReminder> reminder = plain.As<IxReminder>(IID_IxReminder);
        if (reminder) {
            LONG dayOffset = 0, hour = 0, minute = 0;
            ReadReminderTrigger(reminder.get(), dayOffset, hour, minute);
            extras.head += L",\"reminder\":{\"trigger\":" + QuoteJson(TriggerText(dayOffset, hour, minute)) + L"}";
        }
    } else if (kind == kEventTypeCountdown) {
        LONG countdownType = 0, showType = 0;
        event->GetCountdownType(&countdownType);
        event->GetShowType(&showType);
        extras.countdown = true;
        extras.head += L",\"countdown\":{";
        extras.tail = L"\"countdown_type\":" + IntText(countdownType) + L",\"show_type\":" + IntText(showType) + L"}";
    }
    return extras;
}

void AppendEventExtras(std::wstring& out, const EventExtras& extras, const std::wstring* quotedDay)
{
    out += extras.head;
    if (extras.countdown && quotedDay) {
        out += L"\"target_date\":";
        out += *quotedDay;
        out += L',';
    }
    out += extras.tail;
}
