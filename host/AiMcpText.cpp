#include "AiMcpText.h"

#include <cwctype>

#include "AiMcpEnvelope.h"

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
