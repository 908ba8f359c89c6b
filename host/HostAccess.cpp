#include "HostAccess.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

std::wstring WidenAscii(const char* text)
{
    std::wstring out;
    for (; text && *text; ++text) out.push_back(static_cast<unsigned char>(*text));
    return out;
}

}  // namespace

void AiMcpTrace(const char* file, const char* function, int line, const wchar_t* format, ...)
{
    // Tracing must not disturb the caller's last error, which it often
    // reports right after.
    const DWORD lastError = GetLastError();
    // The message is formatted here, with the standard library's wide
    // formatting; %s is written as %ls by callers so that it means a wide
    // string on every C runtime. The host then only copies it.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (n >= 0 && static_cast<std::size_t>(n) < buffer.size()) break;
        if (buffer.size() >= (1u << 20)) break;  // a runaway message is cut, never grown without end
        buffer.resize(buffer.size() * 4);
    }
    buffer.back() = L'\0';
    const std::wstring fileText = WidenAscii(file);
    const std::wstring functionText = WidenAscii(function);
    __NTrace(fileText.c_str(), functionText.c_str(), line, L"%ls", buffer.data());
    SetLastError(lastError);
}

std::wstring AiMcpLanguageText(const wchar_t* key)
{
    const ComPtr<IxLanguageService> language = GetHostService<IxLanguageService>(SID_LanguageService);
    if (!language) return std::wstring();
    UniqueBstr text;
    language->GetText(UniqueBstr(key).get(), text.put());
    return text.str();
}
