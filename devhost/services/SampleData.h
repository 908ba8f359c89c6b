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
// timetables one, the default: "Class 3B", a school week of 20 weeks from
//            this week's Monday with the weekend hidden, 8 periods of 45
//            minutes with 10-minute breaks (4 from 08:00, 4 from 14:00), and
//            7 lessons from Monday to Friday with teacher and room, one of
//            them with a CJK name and one in odd weeks only (weeks "0,2,4",
//            period mode 2).
#pragma once

#include "CalendarDays.h"
#include "StandInServices.h"

namespace devhost {

// Whether the calendar, event, day content, note or timetable service holds
// anything.
bool HasCalendarData(const StandInServices& services);

// Replaces the calendars, the events, the day cells, the notes and the
// timetables with the sample data.
[[nodiscard]] HRESULT SeedSampleData(StandInServices& services, const CalendarDay& today);

// The local date of the machine's clock.
CalendarDay LocalToday();

}  // namespace devhost
