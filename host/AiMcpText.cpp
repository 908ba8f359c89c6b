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

std::size_t Utf8Length(const std::wstring& text)
{
    return Utf8Length(text.data(), text.size());
}

std::size_t Utf8Length(const wchar_t* text, std::size_t units)
{
    if (units == 0) return 0;
    // The conversion yields nothing only when it fails: any non-empty text
    // has at least one byte of UTF-8.
    const std::size_t bytes = Utf8Size(text, units);
    return bytes > 0 ? bytes : 3 * units;
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

std::wstring LowerText(std::wstring text)
{
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}
