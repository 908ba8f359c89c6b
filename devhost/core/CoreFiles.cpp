#include "CoreFiles.h"

#include "DevHostApi.h"
#include "UniqueHandle.h"

#include <algorithm>
#include <mutex>

namespace tsycore {
namespace {

struct FolderState {
    std::mutex lock;
    std::wstring folder;
};

// Never destroyed: the host's state must outlive every other module's
// static destructors, which may still trace while the process shuts down.
FolderState& Folder()
{
    static FolderState* state = new FolderState;
    return *state;
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

// Creates the folder and any missing parents. Existing folders are fine.
void CreateFolderPath(const std::wstring& folder)
{
    for (size_t i = 0; i <= folder.size(); ++i) {
        if (i == folder.size() || folder[i] == L'\\' || folder[i] == L'/') {
            const std::wstring prefix = folder.substr(0, i);
            // Skip the drive ("C:") and the empty prefix of a leading separator.
            if (prefix.empty() || prefix.back() == L':') continue;
            CreateDirectoryW(prefix.c_str(), nullptr);
        }
    }
}

}  // namespace

std::wstring DataFolder()
{
    FolderState& state = Folder();
    std::lock_guard<std::mutex> guard(state.lock);
    return state.folder;
}

void AppendToDataFile(const wchar_t* name, const std::wstring& text)
{
    std::wstring path = DataFolder();
    if (path.empty()) return;
    if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += name;

    const std::string bytes = ToUtf8(text);
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring LocalTimestamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t text[32];
    _snwprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth, now.wDay, now.wHour,
               now.wMinute, now.wSecond, now.wMilliseconds);
    text[31] = L'\0';
    return text;
}

int CopyOut(const std::wstring& text, wchar_t* buffer, int capacity)
{
    if (!buffer || capacity <= 0) return 0;
    const size_t count = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::copy_n(text.data(), count, buffer);
    buffer[count] = L'\0';
    return static_cast<int>(count);
}

}  // namespace tsycore

void DevHost::SetDataFolder(const wchar_t* folder)
{
    std::wstring value = folder ? folder : L"";
    if (!value.empty()) tsycore::CreateFolderPath(value);
    tsycore::FolderState& state = tsycore::Folder();
    std::lock_guard<std::mutex> guard(state.lock);
    state.folder = std::move(value);
}
