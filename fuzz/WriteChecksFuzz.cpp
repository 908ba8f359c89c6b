// The write tools' own parameter checks (AiMcpWriteChecks): the reminder
// trigger, the line index, the background colour, the countdown fields and
// a note's derived title. The input is text whose first unit separates two
// fields: a raw text, given to every text check as it is, and a params
// text, read as the validators read it.
//
// The trigger must read exactly what swscanf's "%d:%d:%d", else "%d:%d",
// reads (when no number is long enough to overflow, which the scanner
// refuses on its own terms), within its ranges, and its canonical form
// "%d:%02d:%02d" must read back the same. The line index must be the
// decimal integer the text spells out, whole. The colour and the title must
// keep their shapes.
//
// Not reached from here: the rest of the three validators. They start with
// host calls (the event and note services, the calendar list and the day
// content), read dates through the platform's zone conversions and compare
// words after Windows' own lower-casing (LowerText).
#include <climits>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "AiMcpEnvelope.h"
#include "AiMcpText.h"
#include "AiMcpWriteChecks.h"
#include "FuzzSupport.h"
#include "JsonValue.h"

namespace {

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Whether some run of digits is longer than nine, where a 32-bit scanf may
// overflow.
bool HasLongNumber(const std::wstring& text)
{
    std::size_t run = 0;
    for (wchar_t c : text) {
        run = IsDigit(c) ? run + 1 : 0;
        if (run > 9) return true;
    }
    return false;
}

void CheckTrigger(const std::wstring& text)
{
    ReminderTrigger trigger{7, 7, 7};
    const bool accepted = ParseTrigger(text, trigger);
    if (accepted) {
        FUZZ_CHECK(trigger.dayOffset <= 0 && trigger.hour >= 0 && trigger.hour <= 23 && trigger.minute >= 0 &&
                   trigger.minute <= 59);
        wchar_t canonical[48];
        std::swprintf(canonical, 48, L"%d:%02d:%02d", trigger.dayOffset, trigger.hour, trigger.minute);
        ReminderTrigger again;
        FUZZ_CHECK(ParseTrigger(canonical, again));
        FUZZ_CHECK(again.dayOffset == trigger.dayOffset && again.hour == trigger.hour &&
                   again.minute == trigger.minute);
    } else {
        FUZZ_CHECK(trigger.dayOffset == 7 && trigger.hour == 7 && trigger.minute == 7);
    }

    if (HasLongNumber(text)) return;
    const std::wstring upToNul = text.substr(0, text.find(L'\0'));
    int a = 0, b = 0, c = 0;
    ReminderTrigger scanned;
    bool scannedOk = false;
    if (std::swscanf(upToNul.c_str(), L"%d:%d:%d", &a, &b, &c) == 3) {
        scanned = ReminderTrigger{a, b, c};
        scannedOk = true;
    } else if (std::swscanf(upToNul.c_str(), L"%d:%d", &a, &b) == 2) {
        scanned = ReminderTrigger{0, a, b};
        scannedOk = true;
    }
    scannedOk = scannedOk && scanned.hour >= 0 && scanned.hour <= 23 && scanned.minute >= 0 &&
                scanned.minute <= 59 && scanned.dayOffset <= 0;
    FUZZ_CHECK(accepted == scannedOk);
    if (accepted)
        FUZZ_CHECK(trigger.dayOffset == scanned.dayOffset && trigger.hour == scanned.hour &&
                   trigger.minute == scanned.minute);
}

void CheckLineIndex(const std::wstring& text)
{
    // White space as iswspace has it, a sign, then nothing but digits.
    std::size_t at = 0;
    while (at < text.size() && std::iswspace(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) negative = text[at++] == L'-';
    const std::size_t digits = at;
    long long value = 0;
    bool fits = true;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        value = value * 10 + (text[at] - L'0');
        if (value > static_cast<long long>(INT_MAX) + 1) fits = false, value = static_cast<long long>(INT_MAX) + 2;
    }
    if (negative) value = -value;
    const bool expected = at > digits && at == text.size() && fits && value >= INT_MIN && value <= INT_MAX;

    int index = -7;
    FUZZ_CHECK(ParseLineIndex(text, index) == expected);
    FUZZ_CHECK(index == (expected ? static_cast<int>(value) : -7));
}

void CheckColor(const std::wstring& text)
{
    std::wstring color = text;
    const bool accepted = NormalizeBgColor(color);
    const std::wstring withoutMark = !text.empty() && text[0] == L'#' ? text.substr(1) : text;
    FUZZ_CHECK(color == withoutMark);
    bool hex = withoutMark.size() <= 8;
    for (wchar_t c : withoutMark) hex = hex && (IsDigit(c) || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'));
    FUZZ_CHECK(accepted == hex);
}

void CheckTitle(const std::wstring& content)
{
    const std::wstring title = DeriveNoteTitle(content);
    const std::wstring firstLine = TrimSpace(content.substr(0, content.find_first_of(L"\r\n")));
    FUZZ_CHECK(title.size() <= kAiMcpNoteTitleUnits);
    FUZZ_CHECK(firstLine.compare(0, title.size(), title) == 0);
    if (title.size() < firstLine.size()) {
        // Cut short only to the limit, or one unit less to keep a surrogate
        // pair whole.
        FUZZ_CHECK(title.size() == kAiMcpNoteTitleUnits ||
                   (title.size() == kAiMcpNoteTitleUnits - 1 && firstLine[title.size()] >= 0xD800 &&
                    firstLine[title.size()] <= 0xDBFF && firstLine[title.size() + 1] >= 0xDC00 &&
                    firstLine[title.size() + 1] <= 0xDFFF));
    }
}

void CheckCountdown(const JsonValue* countdown, const wchar_t* name, std::int32_t maximum)
{
    const JsonValue* member = countdown ? countdown->GetMember(name) : nullptr;
    bool given = true;
    std::int32_t value = -7;
    const bool inRange = ReadCountdownField(countdown, name, maximum, given, value);
    const bool whole = member && member->IsNumber() && std::isfinite(member->NumberValue()) &&
                       std::floor(member->NumberValue()) == member->NumberValue();
    FUZZ_CHECK(given == whole);
    if (!whole) {
        FUZZ_CHECK(inRange && value == -7);
        return;
    }
    const double number = member->NumberValue();
    FUZZ_CHECK(inRange == (number >= 0 && number <= maximum));
    FUZZ_CHECK(value == (inRange ? static_cast<std::int32_t>(number) : -7));
}

void CheckParams(const std::wstring& params)
{
    // As behind the gate: nothing nested deeper than 64 levels reaches a tool.
    if (!CheckJsonDepth(params)) return;
    std::wstring text;
    if (GetStringParam(params, L"line_index", text)) CheckLineIndex(text);
    if (GetStringParam(params, L"bgcolor", text)) CheckColor(text);
    if (GetStringParam(params, L"content", text)) CheckTitle(text);

    const JsonValue::Ptr root = JsonValue::Parse(params);
    const JsonValue* reminder = root ? root->GetMember(L"reminder") : nullptr;
    const JsonValue* trigger = reminder ? reminder->GetMember(L"trigger") : nullptr;
    if (trigger && trigger->IsString()) CheckTrigger(TrimSpace(trigger->StringValue()));
    const JsonValue* countdown = root ? root->GetMember(L"countdown") : nullptr;
    CheckCountdown(countdown, L"countdown_type", 5);
    CheckCountdown(countdown, L"show_type", 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> f = SplitFields(UnitsFromBytes(data, size), 2);
    CheckTrigger(f[0]);
    CheckLineIndex(f[0]);
    CheckColor(f[0]);
    CheckTitle(f[0]);
    CheckParams(f[1]);
    return 0;
}
