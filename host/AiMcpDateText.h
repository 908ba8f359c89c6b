// The text forms of dates and instants, read without the platform: the
// ISO 8601 grammar of instants, the "YYYY-MM-DD" day text, and the calendar
// rules (which dates exist, which dates writes accept). AiMcpDates.h builds
// the zone conversions on top of these.
//
// Pure standard C++, safe on any thread.
#pragma once

#include <string>

// The fields of an ISO 8601 instant exactly as written; nothing here says
// whether they name a real date or time.
struct IsoInstantFields {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;         // 0 when the text has no seconds
    int offsetMinutes = 0;  // minutes east of UTC
};

// Reads "YYYY-MM-DDThh:mm[:ss[(.|,)fraction]]" followed by a required zone
// ("Z", "z", "+hh", "+hhmm", "+hh:mm", or the same with "-"). Every field has
// its fixed number of ASCII digits; the fraction (one or more digits, only
// after seconds) is skipped; zone hours above 14 or zone minutes above 59 are
// refused. False for anything else, the whole text being consumed.
[[nodiscard]] bool ReadIsoInstantFields(const std::wstring& text, IsoInstantFields& fields);

// "YYYY-MM-DD": exactly four ASCII digits, "-", two digits, "-", two digits
// and nothing more. No range or calendar check.
[[nodiscard]] bool ParseDayText(const std::wstring& text, int& year, int& month, int& day);

// Whether the date exists in the proleptic Gregorian calendar and lies in
// the years the platform's time records hold (1601..30827).
bool IsRealDate(int year, int month, int day);

// The range of dates writes accept: year 1970..2099, month 1..12, day 1..31
// (not compared with the length of the month).
bool IsSupportedDay(int year, int month, int day);
