// Calendar days for the stand-in calendar's data: the proleptic Gregorian
// day, its "YYYY-MM-DD" text, and which days an event with a recurrence word
// and a repeat count occurs on.
//
// Recurrence words are the host's ("DAILY", "WEEKLY", ...), compared exactly.
// Occurrences start on the event's start day and never come before it:
//   DAILY       every day;
//   WEEKLY      every 7 days (the start day's weekday);
//   MONTHLY     the start day's day of the month, in every month that has
//               that day (the 31st skips 30-day months, the 29th to 31st
//               skip a short February);
//   YEARLY      the start day's month and day each year (29 February only
//               in leap years);
//   WORKDAYLY   Monday to Friday (a start on a weekend day is no
//               occurrence itself);
//   any other   the start day only.
// The repeat count limits the occurrences: 1 is a one-time event (on its
// start day, whatever the word), a count
// N above 1 allows the first N periods (days, weeks, months, years or
// workdays counted from the start, a skipped month or year included), and 0
// or a negative count (the host stores -1) repeats without end.
#pragma once

#include <string>

namespace devhost {

struct CalendarDay {
    int year = 1970;
    int month = 1;
    int day = 1;
};

bool operator==(const CalendarDay& a, const CalendarDay& b);
bool operator!=(const CalendarDay& a, const CalendarDay& b);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool IsValidDay(const CalendarDay& day);

// Days since 1970-01-01 (negative before it), and back.
long DayNumber(const CalendarDay& day);
CalendarDay DayFromNumber(long number);
CalendarDay AddDays(const CalendarDay& day, long days);
// 0 Sunday .. 6 Saturday.
int Weekday(const CalendarDay& day);

// Exactly four digits, "-", two digits, "-", two digits, and a day that
// exists; anything else is refused.
bool ParseDayText(const std::wstring& text, CalendarDay& day);
std::wstring DayText(const CalendarDay& day);

// Whether an event starting on start with this word and repeat count has an
// occurrence on day.
bool OccursOn(const std::wstring& word, long repeatCount, const CalendarDay& start, const CalendarDay& day);

// The host's recurrence code for a word (0 for words without one) and the
// word for a code (empty for 0 and unknown codes).
long RecurrenceCode(const std::wstring& word);
std::wstring RecurrenceWord(long code);

}  // namespace devhost
