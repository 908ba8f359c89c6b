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

std::size_t WideToUtf8Line(const wchar_t* text, std::size_t units, std::vector<char>& buffer)
{
    // Room for the longest the text can become: a UTF-16 unit never takes
    // more than three bytes of UTF-8 (a pair of them takes four).
    const bool convertible = units > 0 && units <= static_cast<std::size_t>(INT_MAX / 4);
    const std::size_t room = convertible ? 3 * units + 1 : 1;
    if (buffer.size() < room) buffer.resize(room);
    int done = 0;
    if (convertible) {
        done = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(units), buffer.data(),
                                   static_cast<int>(room - 1), nullptr, nullptr);
        if (done < 0) done = 0;
    }
    buffer[static_cast<std::size_t>(done)] = '\n';
    return static_cast<std::size_t>(done) + 1;
}
