#include "CalendarDays.h"

#include <cstdio>

namespace devhost {

namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int Digits(const std::wstring& text, std::size_t at, std::size_t count)
{
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) value = value * 10 + (text[at + i] - L'0');
    return value;
}

bool IsWorkday(const CalendarDay& day)
{
    const int weekday = Weekday(day);
    return weekday >= 1 && weekday <= 5;
}

// Monday to Friday days in [from, to), from not after to.
long WorkdaysBetween(const CalendarDay& from, const CalendarDay& to)
{
    const long span = DayNumber(to) - DayNumber(from);
    long count = (span / 7) * 5;
    CalendarDay walk = AddDays(from, (span / 7) * 7);
    for (long i = 0; i < span % 7; ++i, walk = AddDays(walk, 1))
        if (IsWorkday(walk)) ++count;
    return count;
}

struct WordCode {
    const wchar_t* word;
    long code;
};

const WordCode kWordCodes[] = {
    {L"DAILY", 1},       {L"WEEKLY", 2},      {L"MONTHLY", 3},     {L"YEARLY", 4},
    {L"WORKDAYLY", 5},   {L"MONTHLASTDAYLY", 6}, {L"SEASONLY", 7}, {L"CUSTOMDAY", 8},
    {L"CUSTOMWEEK", 9},  {L"CUSTOMMONTH", 10}, {L"CUSTOMYEAR", 11}, {L"LEGALWORKDAYLY", 20},
    {L"EBBINGHAUS", 21},
};

}  // namespace

bool operator==(const CalendarDay& a, const CalendarDay& b)
{
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

bool operator!=(const CalendarDay& a, const CalendarDay& b) { return !(a == b); }

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDay(const CalendarDay& day)
{
    return day.year >= 1 && day.year <= 9999 && day.day >= 1 && day.day <= DaysInMonth(day.year, day.month);
}

// The civil-from-days conversion over 400-year eras.
long DayNumber(const CalendarDay& day)
{
    const long y = day.year - (day.month <= 2 ? 1 : 0);
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long mp = (day.month + 9) % 12;
    const long doy = (153 * mp + 2) / 5 + day.day - 1;
    const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

CalendarDay DayFromNumber(long number)
{
    const long z = number + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    CalendarDay day;
    day.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    day.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    day.year = static_cast<int>(yoe + era * 400 + (day.month <= 2 ? 1 : 0));
    return day;
}

CalendarDay AddDays(const CalendarDay& day, long days) { return DayFromNumber(DayNumber(day) + days); }

int Weekday(const CalendarDay& day)
{
    // 1970-01-01 was a Thursday.
    const long n = DayNumber(day);
    return static_cast<int>(((n + 4) % 7 + 7) % 7);
}

bool ParseDayText(const std::wstring& text, CalendarDay& day)
{
    if (text.size() != 10 || text[4] != L'-' || text[7] != L'-') return false;
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u})
        if (!IsDigit(text[i])) return false;
    const CalendarDay parsed{Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2)};
    if (!IsValidDay(parsed)) return false;
    day = parsed;
    return true;
}

std::wstring DayText(const CalendarDay& day)
{
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d", day.year, day.month, day.day);
    return text;
}

bool OccursOn(const std::wstring& word, long repeatCount, const CalendarDay& start, const CalendarDay& day)
{
    const long offset = DayNumber(day) - DayNumber(start);
    if (offset < 0) return false;
    if (repeatCount == 1) return offset == 0;
    if (offset == 0) return word != L"WORKDAYLY" || IsWorkday(day);
    // The period the day falls in, counted from the start (0 is the start's).
    long period = -1;
    if (word == L"DAILY") {
        period = offset;
    } else if (word == L"WEEKLY") {
        if (offset % 7 == 0) period = offset / 7;
    } else if (word == L"MONTHLY") {
        if (day.day == start.day) period = (day.year - start.year) * 12L + (day.month - start.month);
    } else if (word == L"YEARLY") {
        if (day.day == start.day && day.month == start.month) period = day.year - start.year;
    } else if (word == L"WORKDAYLY") {
        if (IsWorkday(day)) period = WorkdaysBetween(start, day);
    }
    if (period < 0) return false;
    return repeatCount <= 0 || period < repeatCount;
}

long RecurrenceCode(const std::wstring& word)
{
    for (const WordCode& entry : kWordCodes)
        if (word == entry.word) return entry.code;
    return 0;
}

std::wstring RecurrenceWord(long code)
{
    for (const WordCode& entry : kWordCodes)
        if (code == entry.code) return entry.word;
    return std::wstring();
}

}  // namespace devhost
