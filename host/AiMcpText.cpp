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
    std::wstring quoted;
    quoted.reserve(text.size() + 8);
    AppendQuotedJson(quoted, text.data(), text.size());
    return quoted;
}

void AppendQuotedJson(std::wstring& out, const wchar_t* text, std::size_t units)
{
    out.push_back(L'"');
    AppendEscapedJson(out, text, units);
    out.push_back(L'"');
}

std::wstring IntText(std::int32_t value)
{
    return std::to_wstring(value);
}

std::wstring CutText(const std::wstring& text, std::size_t maxUnits)
{
    return text.substr(0, CutLength(text.data(), text.size(), maxUnits));
}

std::size_t CutLength(const wchar_t* text, std::size_t units, std::size_t maxUnits)
{
    if (units <= maxUnits) return units;
    std::size_t keep = maxUnits;
    if (keep > 0 && IsHighSurrogate(text[keep - 1]) && IsLowSurrogate(text[keep])) --keep;
    return keep;
}

std::wstring TrimSpace(const std::wstring& text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(text[begin])) ++begin;
    while (end > begin && std::iswspace(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}
