#include "AiMcpUtf8.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(const char* bytes, std::size_t count)
{
    if (count == 0 || count > static_cast<std::size_t>(INT_MAX)) return std::wstring();
    const int n = static_cast<int>(count);
    const int wide = MultiByteToWideChar(CP_UTF8, 0, bytes, n, nullptr, 0);
    if (wide <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    const int done = MultiByteToWideChar(CP_UTF8, 0, bytes, n, &text[0], wide);
    text.resize(done > 0 ? static_cast<std::size_t>(done) : 0);
    return text;
}

std::wstring Utf8ToWide(const std::string& bytes)
{
    return Utf8ToWide(bytes.data(), bytes.size());
}

std::size_t Utf8Size(const wchar_t* text, std::size_t units)
{
    if (units == 0 || units > static_cast<std::size_t>(INT_MAX / 4)) return 0;
    const int len = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    return len > 0 ? static_cast<std::size_t>(len) : 0;
}

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX / 4)) return std::string();
    const int n = static_cast<int>(text.size());
    const int len = WideCharToMultiByte(CP_UTF8, 0, text.data(), n, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return std::string();
    std::string bytes(static_cast<std::size_t>(len), '\0');
    const int done = WideCharToMultiByte(CP_UTF8, 0, text.data(), n, &bytes[0], len, nullptr, nullptr);
    bytes.resize(done > 0 ? static_cast<std::size_t>(done) : 0);
    return bytes;
}
