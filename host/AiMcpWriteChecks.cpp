#include "AiMcpWriteChecks.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cwchar>
#include <cwctype>

#include "AiMcpText.h"
#include "JsonValue.h"

namespace {

constexpr std::size_t kMaxColorDigits = 8;

// One "%d" of the scanf family: white space, an optional sign, at least one
// digit. False (position unchanged) when no number is there or it does not
// fit in 32 bits.
bool ScanNumber(const std::wstring& text, std::size_t& position, std::int32_t& value)
{
    std::size_t at = position;
    while (at < text.size() && std::iswspace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
    if (at >= text.size() || text[at] < L'0' || text[at] > L'9') return false;
    long long magnitude = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9') {
        magnitude = magnitude * 10 + (text[at++] - L'0');
        if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
    }
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT_MAX || signedValue < INT_MIN) return false;
    value = static_cast<std::int32_t>(signedValue);
    position = at;
    return true;
}

// Scans up to count numbers separated by single colons, as "%d:%d[:%d]"
// does; returns how many were read.
int ScanColonNumbers(const std::wstring& text, std::int32_t* values, int count)
{
    std::size_t position = 0;
    int read = 0;
    while (read < count) {
        if (read > 0) {
            if (position >= text.size() || text[position] != L':') break;
            ++position;
        }
        if (!ScanNumber(text, position, values[read])) break;
        ++read;
    }
    return read;
}

// Empty, or 1 to 8 hexadecimal digits.
bool IsInternalColor(const std::wstring& color)
{
    if (color.size() > kMaxColorDigits) return false;
    for (wchar_t c : color) {
        const bool hex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (!hex) return false;
    }
    return true;
}

}  // namespace

bool ParseTrigger(const std::wstring& text, ReminderTrigger& trigger)
{
    std::int32_t values[3] = {0, 0, 0};
    ReminderTrigger parsed;
    if (ScanColonNumbers(text, values, 3) == 3) {
        parsed = ReminderTrigger{values[0], values[1], values[2]};
    } else {
        if (ScanColonNumbers(text, values, 2) != 2) return false;
        parsed = ReminderTrigger{0, values[0], values[1]};
    }
    if (parsed.hour < 0 || parsed.hour > 23 || parsed.minute < 0 || parsed.minute > 59 || parsed.dayOffset > 0)
        return false;
    trigger = parsed;
    return true;
}

bool ParseLineIndex(const std::wstring& text, int& index)
{
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    const long value = std::wcstol(text.c_str(), &end, 10);
    if (end != text.c_str() + text.size() || errno == ERANGE) return false;
    if (value < INT_MIN || value > INT_MAX) return false;
    index = static_cast<int>(value);
    return true;
}

bool NormalizeBgColor(std::wstring& color)
{
    if (!color.empty() && color[0] == L'#') color.erase(0, 1);
    return IsInternalColor(color);
}

bool IsPresentMember(const JsonValue* object, const wchar_t* name)
{
    const JsonValue* member = object ? object->GetMember(name) : nullptr;
    if (!member || member->IsNull()) return false;
    return !member->IsString() || !TrimSpace(member->StringValue()).empty();
}

bool ReadCountdownField(const JsonValue* countdown, const wchar_t* name, std::int32_t maximum, bool& given,
                        std::int32_t& value)
{
    given = false;
    const JsonValue* member = countdown ? countdown->GetMember(name) : nullptr;
    if (!member || !member->IsNumber()) return true;
    const double number = member->NumberValue();
    if (!std::isfinite(number) || std::floor(number) != number) return true;
    given = true;
    if (number < 0 || number > maximum) return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

std::wstring DeriveNoteTitle(const std::wstring& content)
{
    const std::size_t lineEnd = content.find_first_of(L"\r\n");
    return CutText(TrimSpace(content.substr(0, lineEnd)), kAiMcpNoteTitleUnits);
}
