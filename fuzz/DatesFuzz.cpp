// The date texts (AiMcpDateText): the ISO 8601 grammar of instants, the
// "YYYY-MM-DD" day text and the calendar rules; the zone conversions built
// on them use the platform and are not reached from here. The input is the
// text. Both readers must accept exactly what a regular expression of their
// grammar accepts, with the same fields; an accepted instant written back in
// the canonical form reads as the same fields; and which dates exist must
// agree with the C library's calendar (timegm).
#include <cstdint>
#include <ctime>
#include <cwchar>
#include <regex>
#include <string>

#include "AiMcpDateText.h"
#include "FuzzSupport.h"

namespace {

// The regular expressions recurse per character; longer texts cannot be
// accepted anyway, apart from an instant's fraction, whose length does not
// matter.
constexpr std::size_t kMaxRegexUnits = 256;

int Field(const std::wssub_match& match)
{
    return match.matched ? std::stoi(match.str()) : 0;
}

void CheckInstant(const std::wstring& text)
{
    static const std::wregex instant(
        L"([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2})(?::([0-9]{2})(?:[.,][0-9]+)?)?"
        L"(?:([Zz])|([+-])([0-9]{2})(?::?([0-9]{2}))?)");
    std::wsmatch m;
    bool expected = text.size() <= kMaxRegexUnits && std::regex_match(text, m, instant);
    IsoInstantFields want;
    if (expected) {
        want.year = Field(m[1]);
        want.month = Field(m[2]);
        want.day = Field(m[3]);
        want.hour = Field(m[4]);
        want.minute = Field(m[5]);
        want.second = Field(m[6]);
        const int zoneHours = Field(m[9]), zoneMinutes = Field(m[10]);
        want.offsetMinutes = (m[8].str() == L"-" ? -1 : 1) * (zoneHours * 60 + zoneMinutes);
        expected = zoneHours <= 14 && zoneMinutes <= 59;
    }
    IsoInstantFields got;
    const bool accepted = ReadIsoInstantFields(text, got);
    if (text.size() > kMaxRegexUnits) {
        // Only a long fraction can make an instant this long.
        if (accepted) FUZZ_CHECK(text.find_first_of(L".,") != std::wstring::npos);
        return;
    }
    FUZZ_CHECK(accepted == expected);
    if (!accepted) return;
    FUZZ_CHECK(got.year == want.year && got.month == want.month && got.day == want.day && got.hour == want.hour &&
               got.minute == want.minute && got.second == want.second && got.offsetMinutes == want.offsetMinutes);

    wchar_t canonical[64];
    const int offset = got.offsetMinutes < 0 ? -got.offsetMinutes : got.offsetMinutes;
    std::swprintf(canonical, 64, L"%04d-%02d-%02dT%02d:%02d:%02d%lc%02d:%02d", got.year, got.month, got.day,
                  got.hour, got.minute, got.second, got.offsetMinutes < 0 ? L'-' : L'+', offset / 60, offset % 60);
    IsoInstantFields again;
    FUZZ_CHECK(ReadIsoInstantFields(canonical, again));
    FUZZ_CHECK(again.year == got.year && again.month == got.month && again.day == got.day &&
               again.hour == got.hour && again.minute == got.minute && again.second == got.second &&
               again.offsetMinutes == got.offsetMinutes);
}

// Whether the date exists, by the C library: timegm normalises a date that
// does not, so its fields come back changed.
bool LibraryHasDate(int year, int month, int day)
{
    if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1 || day > 31) return false;
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    const std::time_t at = timegm(&t);
    std::tm back{};
    if (!gmtime_r(&at, &back)) return false;
    return back.tm_year == year - 1900 && back.tm_mon == month - 1 && back.tm_mday == day;
}

void CheckDate(int year, int month, int day)
{
    FUZZ_CHECK(IsRealDate(year, month, day) == LibraryHasDate(year, month, day));
    if (IsSupportedDay(year, month, day))
        FUZZ_CHECK(year >= 1970 && year <= 2099 && month >= 1 && month <= 12 && day >= 1 && day <= 31);
}

void CheckDay(const std::wstring& text)
{
    static const std::wregex dayText(L"([0-9]{4})-([0-9]{2})-([0-9]{2})");
    std::wsmatch m;
    const bool expected = text.size() <= kMaxRegexUnits && std::regex_match(text, m, dayText);
    int year = -1, month = -1, day = -1;
    FUZZ_CHECK(ParseDayText(text, year, month, day) == expected);
    if (!expected) {
        FUZZ_CHECK(year == -1 && month == -1 && day == -1);
        return;
    }
    FUZZ_CHECK(year == Field(m[1]) && month == Field(m[2]) && day == Field(m[3]));
    CheckDate(year, month, day);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = UnitsFromBytes(data, size);
    CheckInstant(text);
    CheckDay(text);
    // Three numbers from anywhere in the 32-bit range for the calendar rules.
    if (size >= 12) {
        std::int32_t v[3];
        for (int i = 0; i < 3; ++i)
            v[i] = static_cast<std::int32_t>(static_cast<std::uint32_t>(data[4 * i]) |
                                             static_cast<std::uint32_t>(data[4 * i + 1]) << 8 |
                                             static_cast<std::uint32_t>(data[4 * i + 2]) << 16 |
                                             static_cast<std::uint32_t>(data[4 * i + 3]) << 24);
        CheckDate(v[0], v[1], v[2]);
    }
    return 0;
}
