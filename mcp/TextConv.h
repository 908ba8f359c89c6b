// Text at the edges of tessary-mcp: the one UTF-8 <-> UTF-16 conversion of
// this program, the escaping of text spliced into hand-built JSON, and the
// one-line diagnostics on standard error.
#pragma once

#include <cstddef>
#include <string>

// UTF-8 to UTF-16 with the platform's UTF-8 code page and no flags: ill-formed
// sequences become U+FFFD instead of failing the conversion.
std::wstring Utf8ToWide(const char* bytes, std::size_t count);
std::wstring Utf8ToWide(const std::string& bytes);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string WideToUtf8(const std::wstring& text);
// The same, appended to bytes, with room kept for roomAfter more bytes, so
// that what follows the text can be added without moving it.
void AppendUtf8(std::string& bytes, const std::wstring& text, std::size_t roomAfter);

// Escapes quotation mark, backslash and control characters for the inside of
// a JSON string literal; everything else (solidus, U+007F, non-ASCII, lone
// surrogates) is copied unchanged, so non-ASCII leaves as raw UTF-8.
std::wstring EscapeJsonText(const std::wstring& text);
// The same, appended to out.
void AppendEscapedJsonText(std::wstring& out, const std::wstring& text);

// Writes "tessary-mcp: " + text + LF to standard error in one write.
void LogLine(const std::wstring& text);
