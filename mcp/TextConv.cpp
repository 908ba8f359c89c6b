#include "TextConv.h"

#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(const char* bytes, std::size_t count)
{
    std::wstring text;
    // The conversion takes an int length; a body beyond 2 GiB is converted
    // piecewise at boundaries that do not split a UTF-8 sequence.
    while (count > 0) {
        std::size_t piece = count;
        if (piece > static_cast<std::size_t>(INT_MAX / 2)) {
            piece = INT_MAX / 2;
            while (piece > 0 && (static_cast<unsigned char>(bytes[piece]) & 0xC0) == 0x80) --piece;
        }
        const int n = static_cast<int>(piece);
        const int wide = MultiByteToWideChar(CP_UTF8, 0, bytes, n, nullptr, 0);
        if (wide > 0) {
            const std::size_t at = text.size();
            text.resize(at + static_cast<std::size_t>(wide));
            const int done = MultiByteToWideChar(CP_UTF8, 0, bytes, n, &text[at], wide);
            text.resize(at + static_cast<std::size_t>(done > 0 ? done : 0));
        }
        bytes += piece;
        count -= piece;
    }
    return text;
}

std::wstring Utf8ToWide(const std::string& bytes)
{
    return Utf8ToWide(bytes.data(), bytes.size());
}

void AppendUtf8(std::string& bytes, const std::wstring& text, std::size_t roomAfter)
{
    const wchar_t* p = text.data();
    std::size_t count = text.size();
    while (count > 0) {
        std::size_t piece = count;
        if (piece > static_cast<std::size_t>(INT_MAX / 4)) {
            piece = INT_MAX / 4;
            if (IS_HIGH_SURROGATE(p[piece - 1])) --piece;  // keep a pair together
        }
        const int n = static_cast<int>(piece);
        const int len = WideCharToMultiByte(CP_UTF8, 0, p, n, nullptr, 0, nullptr, nullptr);
        if (len > 0) {
            const std::size_t at = bytes.size();
            bytes.reserve(at + static_cast<std::size_t>(len) + roomAfter);
            bytes.resize(at + static_cast<std::size_t>(len));
            const int done = WideCharToMultiByte(CP_UTF8, 0, p, n, &bytes[at], len, nullptr, nullptr);
            bytes.resize(at + static_cast<std::size_t>(done > 0 ? done : 0));
        }
        p += piece;
        count -= piece;
    }
}

std::string WideToUtf8(const std::wstring& text)
{
    std::string bytes;
    AppendUtf8(bytes, text, 0);
    return bytes;
}

void AppendEscapedJsonText(std::wstring& out, const std::wstring& text)
{
    static const wchar_t kHex[] = L"0123456789abcdef";
    const wchar_t* run = text.data();
    const wchar_t* const end = run + text.size();
    // Runs of units that stay as they are are copied whole.
    for (const wchar_t* p = run; p < end; ++p) {
        const wchar_t c = *p;
        if (c >= 0x20 && c != L'"' && c != L'\\') continue;
        out.append(run, p);
        run = p + 1;
        switch (c) {
        case L'\b': out += L"\\b"; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\f': out += L"\\f"; break;
        case L'\r': out += L"\\r"; break;
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        default: {
            const wchar_t escape[] = {L'\\', L'u', L'0', L'0', kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
            out.append(escape, 6);
        }
        }
    }
    out.append(run, end);
}

std::wstring EscapeJsonText(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + text.size() / 8);
    AppendEscapedJsonText(out, text);
    return out;
}

void LogLine(const std::wstring& text)
{
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == INVALID_HANDLE_VALUE || err == nullptr) return;
    const std::string line = WideToUtf8(L"tessary-mcp: " + text + L"\n");
    DWORD written = 0;
    WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
