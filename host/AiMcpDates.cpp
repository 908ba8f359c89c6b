#include "AiMcpDates.h"

#include <cstring>
#include <cwchar>
#include <map>
#include <mutex>

namespace {

constexpr int kFirstYear = 1601;   // FileTime zero
constexpr FileTime kFileTimeSecond = 10000000LL;

// The platform's own conversion checks the fields too, but not everywhere
// alike (some builds accept 29 February of any year), so the calendar rules
// are checked here first.
bool ToFileTime(const SYSTEMTIME& time, FileTime& out)
{
    if (!IsRealDate(time.wYear, time.wMonth, time.wDay) || time.wHour > 23 || time.wMinute > 59 ||
        time.wSecond > 59 || time.wMilliseconds > 999) {
        return false;
    }
    FILETIME ft;
    if (!SystemTimeToFileTime(&time, &ft)) return false;
    out = static_cast<FileTime>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return true;
}

bool FromFileTime(FileTime value, SYSTEMTIME& out)
{
    if (value < 0) return false;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(value) >> 32);
    return FileTimeToSystemTime(&ft, &out) != FALSE;
}

SYSTEMTIME MakeTime(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

bool SameZone(const DYNAMIC_TIME_ZONE_INFORMATION& a, const DYNAMIC_TIME_ZONE_INFORMATION& b)
{
    return a.Bias == b.Bias && a.StandardBias == b.StandardBias && a.DaylightBias == b.DaylightBias &&
           std::memcmp(&a.StandardDate, &b.StandardDate, sizeof a.StandardDate) == 0 &&
           std::memcmp(&a.DaylightDate, &b.DaylightDate, sizeof a.DaylightDate) == 0 &&
           std::wcscmp(a.TimeZoneKeyName, b.TimeZoneKeyName) == 0 &&
           a.DynamicDaylightTimeDisabled == b.DynamicDaylightTimeDisabled;
}

// Looking up a year's rules reads the platform's zone database, which costs
// up to half a millisecond a call; an event query formats two times per
// occurrence. So the rules found are kept per year for as long as the
// current zone stays what it was, and dropped as soon as it changes.
constexpr std::size_t kMaxCachedYears = 64;
// Protects g_rulesZone and g_rulesByYear.
std::mutex g_rulesLock;
DYNAMIC_TIME_ZONE_INFORMATION g_rulesZone{};
std::map<WORD, TIME_ZONE_INFORMATION> g_rulesByYear;

// The current zone's rules for one year. Without an explicit zone the
// conversions may apply the rules of the current year to every date, which
// puts instants of years with other daylight-saving dates an hour off; the
// year's own rules avoid that. Null (the conversions then use the rules in
// force now) when the platform has no rules for the year, and when the user
// has switched automatic daylight saving off, which only the current rules
// reflect. The current zone is read at every call.
const TIME_ZONE_INFORMATION* RulesForYear(WORD year, TIME_ZONE_INFORMATION& rules)
{
    DYNAMIC_TIME_ZONE_INFORMATION zone{};
    if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return nullptr;
    if (zone.DynamicDaylightTimeDisabled) return nullptr;
    {
        const std::lock_guard<std::mutex> hold(g_rulesLock);
        if (!SameZone(zone, g_rulesZone)) {
            g_rulesZone = zone;
            g_rulesByYear.clear();
        }
        const auto found = g_rulesByYear.find(year);
        if (found != g_rulesByYear.end()) {
            rules = found->second;
            return &rules;
        }
    }
    if (!GetTimeZoneInformationForYear(year, &zone, &rules)) return nullptr;
    const std::lock_guard<std::mutex> hold(g_rulesLock);
    if (SameZone(zone, g_rulesZone)) {
        if (g_rulesByYear.size() >= kMaxCachedYears) g_rulesByYear.clear();
        g_rulesByYear[year] = rules;
    }
    return &rules;
}

bool UtcToLocal(const SYSTEMTIME& utc, SYSTEMTIME& local)
{
    TIME_ZONE_INFORMATION rules;
    return SystemTimeToTzSpecificLocalTime(RulesForYear(utc.wYear, rules), &utc, &local) != FALSE;
}

// Writes the value in decimal with at least the given number of digits,
// zeros in front, as "%0*d" writes a value that is not negative; gives the
// end. Written by hand: a query writes two dates for every day it walks, and
// the runtime's formatted printing costs several times more.
wchar_t* PutDecimal(wchar_t* at, unsigned value, int digits)
{
    wchar_t reversed[16];
    int n = 0;
    do {
        reversed[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n < digits) reversed[n++] = L'0';
    while (n > 0) *at++ = reversed[--n];
    return at;
}

// "%04d-%02d-%02dT%02d:%02d:%02d" then the offset as "+hh:mm" or "-hh:mm",
// into text, reusing its storage.
void WriteIso(const LocalDateTime& t, FileTime offsetMinutes, std::wstring& text)
{
    const FileTime magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    wchar_t buffer[64];
    wchar_t* at = PutDecimal(buffer, t.wYear, 4);
    *at++ = L'-';
    at = PutDecimal(at, t.wMonth, 2);
    *at++ = L'-';
    at = PutDecimal(at, t.wDay, 2);
    *at++ = L'T';
    at = PutDecimal(at, t.wHour, 2);
    *at++ = L':';
    at = PutDecimal(at, t.wMinute, 2);
    *at++ = L':';
    at = PutDecimal(at, t.wSecond, 2);
    *at++ = offsetMinutes < 0 ? L'-' : L'+';
    at = PutDecimal(at, static_cast<unsigned>(magnitude / 60), 2);
    *at++ = L':';
    at = PutDecimal(at, static_cast<unsigned>(magnitude % 60), 2);
    text.assign(buffer, static_cast<std::size_t>(at - buffer));
}

// FormatIsoLocal with RulesForYear of the local time's year already found.
bool FormatIsoLocalBy(const TIME_ZONE_INFORMATION* rules, const LocalDateTime& local, std::wstring& text)
{
    SYSTEMTIME utcTime{};
    FileTime localValue = 0, utcValue = 0;
    const bool known = TzSpecificLocalTimeToSystemTime(rules, &local, &utcTime) && ToFileTime(local, localValue) &&
                       ToFileTime(utcTime, utcValue);
    WriteIso(local, known ? (localValue - utcValue) / kFileTimeMinute : 0, text);
    return known;
}

}  // namespace

bool ParseIsoInstant(const std::wstring& text, LocalDateTime& local, FileTime* utc)
{
    IsoInstantFields f;
    if (!ReadIsoInstantFields(text, f)) return false;
    if (f.year < kFirstYear || f.year > 9999) return false;

    FileTime written = 0;
    if (!ToFileTime(MakeTime(f.year, f.month, f.day, f.hour, f.minute, f.second), written)) return false;
    const FileTime instant = written - f.offsetMinutes * kFileTimeMinute;
    SYSTEMTIME utcTime{}, localTime{};
    if (!FromFileTime(instant, utcTime) || !UtcToLocal(utcTime, localTime)) return false;
    // A local time before 1601 (a UTC instant on 1 January 1601 in a zone
    // west of UTC) cannot be used by anything that follows.
    FileTime check = 0;
    if (!ToFileTime(localTime, check)) return false;
    localTime.wDayOfWeek = 0;
    local = localTime;
    if (utc) *utc = instant;
    return true;
}

bool FormatIsoLocal(const LocalDateTime& local, std::wstring& text)
{
    TIME_ZONE_INFORMATION rules;
    return FormatIsoLocalBy(RulesForYear(local.wYear, rules), local, text);
}

bool AiMcpMidnightWriter::Write(const LocalDay& day, std::wstring& text)
{
    if (day.wYear != year_) {
        haveRules_ = RulesForYear(day.wYear, rules_) != nullptr;
        year_ = day.wYear;
    }
    return FormatIsoLocalBy(haveRules_ ? &rules_ : nullptr, day, text);
}

bool FormatIsoInstant(FileTime utc, std::wstring& text)
{
    if (utc < 0) return false;
    // Seconds are the finest field written, so the offset is taken at the
    // whole second.
    const FileTime whole = utc - utc % kFileTimeSecond;
    SYSTEMTIME utcTime{}, localTime{};
    FileTime localValue = 0;
    if (!FromFileTime(whole, utcTime) || !UtcToLocal(utcTime, localTime) || !ToFileTime(localTime, localValue)) {
        return false;
    }
    WriteIso(localTime, (localValue - whole) / kFileTimeMinute, text);
    return true;
}

std::wstring FormatDay(const LocalDateTime& day)
{
    wchar_t buffer[32];
    wchar_t* at = PutDecimal(buffer, day.wYear, 1);
    *at++ = L'-';
    at = PutDecimal(at, day.wMonth, 2);
    *at++ = L'-';
    at = PutDecimal(at, day.wDay, 2);
    return std::wstring(buffer, static_cast<std::size_t>(at - buffer));
}

bool DayStamp(int year, int month, int day, FileTime& stamp)
{
    // Checked as int first: a WORD cast of an out-of-range value could turn
    // it into a real date.
    if (!IsRealDate(year, month, day)) return false;
    return ToFileTime(MakeTime(year, month, day, 12, 0, 0), stamp);
}

bool DayStamp(const LocalDay& day, FileTime& stamp)
{
    return DayStamp(day.wYear, day.wMonth, day.wDay, stamp);
}

bool DayFromFileTime(FileTime value, LocalDay& day)
{
    SYSTEMTIME t{};
    if (!FromFileTime(value, t)) return false;
    day = MakeTime(t.wYear, t.wMonth, t.wDay, 0, 0, 0);
    return true;
}

bool NextDay(const LocalDay& day, LocalDay& next)
{
    FileTime stamp = 0;
    return DayStamp(day, stamp) && DayFromFileTime(stamp + kFileTimeDay, next);
}

bool CountDays(const LocalDay& first, const LocalDay& last, int& days)
{
    FileTime a = 0, b = 0;
    if (!DayStamp(first, a) || !DayStamp(last, b) || b < a) return false;
    days = static_cast<int>((b - a + kFileTimeHalfDay) / kFileTimeDay + 1);
    return true;
}

bool ParseDayTextValid(const std::wstring& text, LocalDay& day)
{
    int year = 0, month = 0, d = 0;
    FileTime value = 0;
    if (!ParseDayText(text, year, month, d)) return false;
    const SYSTEMTIME date = MakeTime(year, month, d, 0, 0, 0);
    if (!ToFileTime(date, value)) return false;
    day = date;
    return true;
}

bool IsSupportedDay(const LocalDateTime& day)
{
    return IsSupportedDay(day.wYear, day.wMonth, day.wDay);
}
