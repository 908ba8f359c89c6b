#include "AiMcpDateText.h"

namespace {

constexpr int kFirstYear = 1601;  // FileTime zero
constexpr int kLastYear = 30827;  // the last year the platform's time records hold
constexpr int kMaxZoneHours = 14;

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads the ISO 8601 grammar front to back; every field has a fixed number
// of ASCII digits (not any Unicode digit).
class IsoReader {
public:
    explicit IsoReader(const std::wstring& text) : text_(text) {}

    bool AtEnd() const { return at_ == text_.size(); }
    bool Peek(wchar_t c) const { return at_ < text_.size() && text_[at_] == c; }

    bool Take(wchar_t c)
    {
        if (!Peek(c)) return false;
        ++at_;
        return true;
    }

    bool Digits(int count, int& value)
    {
        value = 0;
        for (int i = 0; i < count; ++i) {
            if (!IsDigit()) return false;
            value = value * 10 + (text_[at_++] - L'0');
        }
        return true;
    }

    // One or more digits whose value does not matter.
    bool SkipDigits()
    {
        const std::size_t start = at_;
        while (IsDigit()) ++at_;
        return at_ > start;
    }

private:
    bool IsDigit() const { return at_ < text_.size() && text_[at_] >= L'0' && text_[at_] <= L'9'; }

    const std::wstring& text_;
    std::size_t at_ = 0;
};

// The zone part: "Z", "z", or a sign, two digits of hours and optionally
// (with or without a colon) two digits of minutes. Offset in minutes east.
bool ReadZone(IsoReader& in, int& offsetMinutes)
{
    if (in.Take(L'Z') || in.Take(L'z')) {
        offsetMinutes = 0;
        return true;
    }
    int sign = 0;
    if (in.Take(L'+')) sign = 1;
    else if (in.Take(L'-')) sign = -1;
    else return false;
    int hours = 0, minutes = 0;
    if (!in.Digits(2, hours)) return false;
    if (!in.AtEnd()) {
        in.Take(L':');
        if (!in.Digits(2, minutes)) return false;
    }
    if (hours > kMaxZoneHours || minutes > 59) return false;
    offsetMinutes = sign * (hours * 60 + minutes);
    return true;
}

}  // namespace

bool ReadIsoInstantFields(const std::wstring& text, IsoInstantFields& fields)
{
    IsoReader in(text);
    IsoInstantFields f;
    if (!in.Digits(4, f.year) || !in.Take(L'-') || !in.Digits(2, f.month) || !in.Take(L'-') || !in.Digits(2, f.day) ||
        !in.Take(L'T') || !in.Digits(2, f.hour) || !in.Take(L':') || !in.Digits(2, f.minute)) {
        return false;
    }
    if (in.Take(L':')) {
        if (!in.Digits(2, f.second)) return false;
        if ((in.Take(L'.') || in.Take(L',')) && !in.SkipDigits()) return false;
    }
    if (!ReadZone(in, f.offsetMinutes) || !in.AtEnd()) return false;
    fields = f;
    return true;
}

bool ParseDayText(const std::wstring& text, int& year, int& month, int& day)
{
    IsoReader in(text);
    int y = 0, m = 0, d = 0;
    if (!in.Digits(4, y) || !in.Take(L'-') || !in.Digits(2, m) || !in.Take(L'-') || !in.Digits(2, d) || !in.AtEnd()) {
        return false;
    }
    year = y;
    month = m;
    day = d;
    return true;
}

bool IsRealDate(int year, int month, int day)
{
    return year >= kFirstYear && year <= kLastYear && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

bool IsSupportedDay(int year, int month, int day)
{
    return year >= 1970 && year <= 2099 && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}
