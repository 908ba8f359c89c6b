// Helpers for the stand-in service tests: a scratch folder that disappears
// afterwards, raw file access that bypasses the code under test, and BSTR
// shorthands.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "UniqueBstr.h"
#include "UniqueHandle.h"

namespace servicetest {

inline void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
            else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

// A new empty folder under the temporary folder, removed with its content
// when the object goes.
class TempFolder {
public:
    TempFolder()
    {
        static std::atomic<unsigned> counter{0};
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp, length) + L"devhost-services-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(++counter);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring PathOf(const std::wstring& relative) const { return path_ + L"\\" + relative; }

private:
    std::wstring path_;
};

inline std::string ReadBytes(const std::wstring& path)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

inline bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The names in a folder, without "." and "..".
inline std::vector<std::wstring> ListNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

// Opens a file the way a program that does not share deletion would (an
// editor, a virus scanner): nobody can replace or delete it meanwhile.
inline UniqueFile HoldWithoutSharingDeletion(const std::wstring& path)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

// A program of the build started with the given arguments, without inherited
// handles. A process still running when the object goes is terminated, so a
// failed test leaves no helper behind.
class StartedProgram {
public:
    StartedProgram(const std::wstring& program, const std::wstring& arguments)
    {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                            nullptr, &startup, &info))
            return;
        UniqueHandle thread(info.hThread);
        process_.reset(info.hProcess);
        pid_ = info.dwProcessId;
    }
    ~StartedProgram()
    {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.get(), 1);
            WaitForSingleObject(process_.get(), 10000);
        }
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    explicit operator bool() const { return static_cast<bool>(process_); }
    HANDLE Process() const { return process_.get(); }
    DWORD Pid() const { return pid_; }

private:
    UniqueHandle process_;
    DWORD pid_ = 0;
};

// A BSTR for an in-argument; the caller's to free, as COM says.
inline UniqueBstr Bstr(const std::wstring& text) { return UniqueBstr(text); }

// The ids a service's id list hands out (a note or timetable list), read
// through the interface as the plug-in reads them; an index past either end
// is refused and hands out nothing.
template <typename IdList>
std::vector<std::wstring> ListedIds(IdList* list)
{
    std::vector<std::wstring> ids;
    LONG count = -1;
    if (!list || FAILED(list->GetCount(&count))) return ids;
    for (LONG i = 0; i < count; ++i) {
        UniqueBstr id;
        EXPECT_EQ(S_OK, list->GetId(i, id.put()));
        ids.push_back(id.str());
    }
    UniqueBstr beyond;
    EXPECT_EQ(E_INVALIDARG, list->GetId(count, beyond.put()));
    EXPECT_EQ(E_INVALIDARG, list->GetId(-1, beyond.put()));
    EXPECT_FALSE(beyond.get());
    return ids;
}

}  // namespace servicetest
