// The plug-in's one conversion between UTF-16 and UTF-8 (pipe messages, the
// audit file, answer sizes). The platform's UTF-8 code page with no flags:
// ill-formed input is replaced (U+FFFD), never refused. Empty input, or a
// conversion that yields nothing, gives an empty result.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

std::wstring Utf8ToWide(const char* bytes, std::size_t count);
std::wstring Utf8ToWide(const std::string& bytes);
std::string WideToUtf8(const std::wstring& text);

// WideToUtf8 of the units followed by a line feed, written to the front of
// buffer, which grows when it must and is otherwise reused as it is; gives
// the number of bytes written (1, the line feed alone, for empty text or a
// conversion that yields nothing). One pass over the text.
std::size_t WideToUtf8Line(const wchar_t* text, std::size_t units, std::vector<char>& buffer);

// The number of bytes WideToUtf8 gives for these units, found without
// making them; 0 when it gives none.
std::size_t Utf8Size(const wchar_t* text, std::size_t units);
