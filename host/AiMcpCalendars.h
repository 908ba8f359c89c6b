// What the calendar tools share about calendars and events: the list of local
// calendars and the text that names one of them ("calendar_id"), the lookup of
// a "calendar_id" parameter, the event kinds, the mapping between the host's
// recurrence words and the tools' words and codes, the reminder trigger text,
// and the JSON fragment that describes an event's kind, recurrence, reminder
// and countdown.
//
// Main thread only (they call host services).
#pragma once

#include <string>
#include <vector>

#include "AiMcpDates.h"
#include "HostApi.h"

// One local calendar as the calendar service lists it. A calendar is
// identified by the pair (id, groupId); the number alone may repeat across
// groups.
struct CalendarEntry {
    LONG id = 0;
    std::wstring name;
    std::wstring groupId;
};

// The calendar list in the service's order, and the pair the service reports
// as current. When the service lists no calendar it holds one fallback
// entry for the current calendar; without the service it is empty.
struct CalendarListing {
    std::vector<CalendarEntry> entries;
    LONG currentId = 0;
    std::wstring currentGroupId;

    // Both the number and the group equal the current pair.
    bool IsCurrent(const CalendarEntry& entry) const;
};

// Reads the calendars afresh from the calendar service. Without the service
// the list is empty, the current calendar 0 with an empty group (no fallback
// entry); with the service but no listed calendar, the one fallback entry
// named by the language service's IDS_AIMCP_FALLBACK_CALENDAR_NAME text, or
// "Local calendar".
CalendarListing ListCalendars();

// The number as decimal text, or "<groupid>/<id>" when another entry of the
// list has the same number.
std::wstring CalendarIdText(const std::vector<CalendarEntry>& entries, const CalendarEntry& entry);

// Resolves a "calendar_id" parameter: first an exact match of a calendar id
// text, then the decimal number; a number shared by several calendars finds
// the current one among them, or nothing when none of them is current.
[[nodiscard]] bool FindCalendar(const std::wstring& text, LONG& id, std::wstring& groupId);

// The tools' name of an event kind: "task" (1), "reminder" (2), "countdown"
// (3); nullptr for any other type, which the tools never show.
const wchar_t* EventKindName(LONG kind);

// The tools' recurrence word for a host recurrence word and repeat count:
// "DAILY" is "none" with repeat count 1 and "daily" otherwise; "WEEKLY",
// "MONTHLY", "YEARLY", "WORKDAYLY" give "weekly", "monthly", "yearly",
// "workday"; every other word gives "none". Compared case-sensitively.
std::wstring ToolRecurrenceWord(const std::wstring& hostWord, LONG repeatCount);

// The recurrence code (kRecur...) of a host recurrence word; 0 for an unknown
// word. Used when an existing event is rewritten.
LONG HostRecurrenceCode(const std::wstring& hostWord);

// The recurrence code of a tools' word: "none" and "daily" 1, "weekly" 2,
// "monthly" 3, "yearly" 4, "workday" 5. False for any other word.
[[nodiscard]] bool ToolRecurrenceCode(const std::wstring& toolWord, LONG& code);

// "%d:%02d:%02d" of day offset, hour and minute ("-1:18:00").
std::wstring TriggerText(LONG dayOffset, LONG hour, LONG minute);

// The event's title: its content's plain text, empty without content. The
// second form reads it into title, reusing its storage.
std::wstring ReadEventTitle(IxEvent* event);
void ReadEventTitle(IxEvent* event, std::wstring& title);

// `,"kind":..,"recurrence":..` followed, for a reminder, by
// `,"reminder":{"trigger":..}` when it has a reminder object, and for a
// countdown by `,"countdown":{["target_date":..,]"countdown_type":..,
// "show_type":..}` (the target date only when day is given). Empty for a kind
// other than 1, 2 or 3.
std::wstring EventExtrasJson(IxEvent* event, LONG kind, const LocalDay* day);

// EventExtrasJson in two steps, for an event listed on many days: what it
// reads from the host (the same calls in the same order), then the fragment
// for one day, written from what was read.
struct EventExtras {
    LONG kind = 0;
    bool countdown = false;  // the target date goes between head and tail
    std::wstring head;
    std::wstring tail;
};
EventExtras ReadEventExtras(IxEvent* event, LONG kind);
// quotedDay: QuoteJson of the day's "YYYY-MM-DD" text, or null for no day.
void AppendEventExtras(std::wstring& out, const EventExtras& extras, const std::wstring* quotedDay);
