// Local calendar days and ISO 8601 instants: the conversions every calendar
// tool uses between what the AI client sends (instants with an explicit zone
// offset, "YYYY-MM-DD" days) and what the calendar stores (local days).
//
// Safe on any thread. Each call reads the machine's current time-zone
// settings (an AiMcpMidnightWriter once per year of its walk); the
// daylight-saving rules applied are those the zone has for the year of the
// instant concerned (so a 2006 instant in a zone whose rules changed in 2007
// gets the 2006 rules). The only state kept is a memo of those per-year
// rules, valid while the current zone stays the same. The C runtime's clock
// functions are never used: they misread some zone settings.
//
// Functions that can fail return a flag; on failure their outputs are not to
// be used. None of them writes a message. The text grammar and the calendar
// rules underneath, which need no platform, are in AiMcpDateText.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "AiMcpDateText.h"

// Broken-down local wall-clock time: year, month 1..12, day of week (unused,
// always 0 in values made here), day 1..31, hour, minute, second,
// millisecond (always 0 in values made here).
using LocalDateTime = SYSTEMTIME;

// A LocalDateTime whose hour, minute, second and millisecond are 0: one local
// calendar day.
using LocalDay = SYSTEMTIME;

// 100-nanosecond intervals since 1601-01-01 00:00, signed. Holds UTC instants
// and day stamps.
using FileTime = std::int64_t;

constexpr FileTime kFileTimeMinute = 600000000LL;
constexpr FileTime kFileTimeDay = 864000000000LL;
constexpr FileTime kFileTimeHalfDay = 432000000000LL;

// Parses "YYYY-MM-DDThh:mm[:ss[(.|,)fraction]]" followed by a required zone
// ("Z", "z", "+hh", "+hhmm", "+hh:mm", or the same with "-"; at most 14 hours
// and 59 minutes). The fraction is ignored. Refuses anything else, dates that
// do not exist, hour 24, second 60, years outside 1601..9999, and instants
// whose UTC or local time lies before 1601. local receives the local
// wall-clock time of the instant; utc, when given, the UTC instant.
[[nodiscard]] bool ParseIsoInstant(const std::wstring& text, LocalDateTime& local, FileTime* utc = nullptr);

// Writes a local time as "YYYY-MM-DDThh:mm:ss+hh:mm" with the zone's offset at
// that local time (never "Z"; milliseconds are not written). When the local
// time cannot be converted to UTC the text still carries "+00:00" and the
// result is false.
//
// A local time inside the repeated hour at the end of daylight saving names
// two instants; this picks the one the platform picks. Where the UTC instant
// is known, FormatIsoInstant writes exactly that instant.
[[nodiscard]] bool FormatIsoLocal(const LocalDateTime& local, std::wstring& text);

// Writes the local midnights that begin the days of one walk over a range,
// each as FormatIsoLocal of the day writes it, but reads the zone's rules
// once per year of the walk instead of for every day: the rules in force
// when a year is first written are kept for the rest of the walk. For a walk
// done in one go; one writer per walk.
class AiMcpMidnightWriter {
public:
    // FormatIsoLocal of the day (its time fields are used as they are, 0
    // for a LocalDay).
    [[nodiscard]] bool Write(const LocalDay& day, std::wstring& text);

private:
    WORD year_ = 0;  // 0: no rules read yet
    bool haveRules_ = false;
    TIME_ZONE_INFORMATION rules_{};
};

// Writes a UTC instant as its local time with the offset in force at that
// instant, in the form of FormatIsoLocal. False when the instant or its local
// time lies outside the platform's range.
[[nodiscard]] bool FormatIsoInstant(FileTime utc, std::wstring& text);

// "%d-%02d-%02d" of the year, month and day; the time fields are ignored.
std::wstring FormatDay(const LocalDateTime& day);

// The day stamp of a date: its FileTime at 12:00 read as written, with no
// zone conversion. Stamps of two dates differ by whole days, whatever
// daylight saving does in between. False for a date that does not exist or
// lies before 1601.
[[nodiscard]] bool DayStamp(int year, int month, int day, FileTime& stamp);
[[nodiscard]] bool DayStamp(const LocalDay& day, FileTime& stamp);  // time fields ignored

// The date of a FileTime read as written, time fields and day of week 0.
// False for a negative value.
[[nodiscard]] bool DayFromFileTime(FileTime value, LocalDay& day);

// The day after a day (time fields of the input ignored).
[[nodiscard]] bool NextDay(const LocalDay& day, LocalDay& next);

// The number of days from first to last, both included (1 when they are the
// same day). False when either date does not exist or last is before first.
[[nodiscard]] bool CountDays(const LocalDay& first, const LocalDay& last, int& days);

// ParseDayText, and the date must exist (leap years honoured, year 1601 on).
// day receives the date with its time fields 0.
[[nodiscard]] bool ParseDayTextValid(const std::wstring& text, LocalDay& day);

// IsSupportedDay (AiMcpDateText.h) of the date's year, month and day.
bool IsSupportedDay(const LocalDateTime& day);
