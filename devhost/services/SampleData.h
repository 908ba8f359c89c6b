// Sample data for the stand-in calendar, dated around a given day (the
// program passes the local today), so that a newcomer finds a familiar
// calendar at once:
//
// calendars  1 "Personal" and 2 "Work" in group "local", and 1 "Family" in
//            group "family" (the same number in another group); current is
//            Personal (1, "local").
// events     in Personal: this week's tasks (one-time tasks on Monday, today
//            and Friday, Monday's done; a daily task from Monday, done on
//            Monday; a workday task from Monday), a weekly reminder starting
//            today at 09:30, a monthly reminder on the 1st the day before at
//            18:00, a yearly countdown to New Year's Day (from next 1 January)
//            and one event of another type (4) today, which the tools hide;
//            a one-time task in Work on Thursday; a yearly reminder in Family
//            ten days from today.
// day cells  today's cells of all three calendars, the Personal one with a
//            done line and a background colour.
// notes      three local notes (a shopping list of several lines, a trip plan
//            with CJK text and emoji in title and content, meeting notes
//            longer than 120 characters) and, between them, one note of
//            type 2, shared from another account, which the tools hide.
#pragma once

#include "CalendarDays.h"
#include "StandInServices.h"

namespace devhost {

// Whether the calendar, event, day content or note service holds anything.
bool HasCalendarData(const StandInServices& services);

// Replaces the calendars, the events, the day cells and the notes with the
// sample data.
[[nodiscard]] HRESULT SeedSampleData(StandInServices& services, const CalendarDay& today);

// The local date of the machine's clock.
CalendarDay LocalToday();

}  // namespace devhost
