#include "AiMcpText.h"

#include <windows.h>

#include <cwctype>

#include "AiMcpEnvelope.h"
#include "AiMcpUtf8.h"

namespace {

bool IsHighSurrogate(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLowSurrogate(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

std::wstring QuoteJson(const std::wstring& text)
{
    return L"\"" + EscapeJsonString(text) + L"\"";
}

std::wstring IntText(std::int32_t value)
{
    return std::to_wstring(value);
}

std::size_t Utf8Length(const std::wstring& text)
{
    if (text.empty()) return 0;
    // The conversion yields nothing only when it fails: any non-empty text
    // has at least one byte of UTF-8.
    const std::size_t bytes = WideToUtf8(text).size();
    return bytes > 0 ? bytes : 3 * text.size();
}

std::wstring CutText(const std::wstring& text, std::size_t maxUnits)
{
    if (text.size() <= maxUnits) return text;
    std::size_t keep = maxUnits;
    if (keep > 0 && IsHighSurrogate(text[keep - 1]) && IsLowSurrogate(text[keep])) --keep;
    return text.substr(0, keep);
}

std::wstring TrimSpace(const std::wstring& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(text[begin])) ++begin;
    while (end > begin && std::iswspace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::wstring LowerText(std::wstring text)
{
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}
