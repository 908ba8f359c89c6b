// Small text helpers with which the tools assemble their JSON results and
// keep them within the answer budget. Pure functions, safe on any thread.
// QuoteJson, IntText, CutText and TrimSpace are plain standard C++
// (AiMcpText.cpp); Utf8Length and LowerText rest on the platform's
// conversions (AiMcpTextWin32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The text as a JSON string literal: quotation marks around EscapeJsonString
// of the text.
std::wstring QuoteJson(const std::wstring& text);

// Appends QuoteJson of the units to out.
void AppendQuotedJson(std::wstring& out, const wchar_t* text, std::size_t units);

// The decimal text of a 32-bit signed integer ("%d").
std::wstring IntText(std::int32_t value);

// The number of bytes the text takes in UTF-8 (as the pipe sends it: an
// unpaired surrogate counts as the three bytes of U+FFFD). When the text
// cannot be converted, three bytes per UTF-16 unit, which is never less than
// the real length.
std::size_t Utf8Length(const std::wstring& text);
std::size_t Utf8Length(const wchar_t* text, std::size_t units);

// The text when it has at most maxUnits UTF-16 units, else its first maxUnits
// units; when that cut would fall between the two halves of a surrogate pair,
// the pair is left out whole (one unit fewer), so no character is broken.
std::wstring CutText(const std::wstring& text, std::size_t maxUnits);

// The number of units CutText keeps of these units.
std::size_t CutLength(const wchar_t* text, std::size_t units, std::size_t maxUnits);

// The text without the characters iswspace accepts at either end.
std::wstring TrimSpace(const std::wstring& text);

// The text with every UTF-16 unit lower-cased on its own, so words are
// compared alike whatever their letter case.
std::wstring LowerText(std::wstring text);
