// The text helpers of AiMcpText.h that rest on the platform's conversions:
// the UTF-8 length and Windows' own lower-casing.
#include "AiMcpText.h"

#include <windows.h>

#include "AiMcpUtf8.h"

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

std::wstring LowerText(std::wstring text)
{
    if (!text.empty()) CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}
