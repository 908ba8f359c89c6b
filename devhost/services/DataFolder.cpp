#include "DataFolder.h"

#include <atomic>
#include <cwctype>
#include <vector>

#include "UniqueHandle.h"

namespace devhost {

namespace {

HRESULT LastError()
{
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

// Numbers the temporary files of this process.
std::atomic<unsigned long> g_tempSequence{0};

std::wstring TempNameFor(const std::wstring& path)
{
    return path + L"~" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++g_tempSequence) + L".tmp";
}

// Parses "<anything>~<pid>-<sequence>.tmp"; false for every other name.
bool ParseTempName(const std::wstring& name, DWORD& pid)
{
    const std::size_t tilde = name.rfind(L'~');
    const std::wstring suffix = L".tmp";
    if (tilde == std::wstring::npos || name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::wstring middle = name.substr(tilde + 1, name.size() - suffix.size() - tilde - 1);
    const std::size_t dash = middle.find(L'-');
    if (dash == 0 || dash == std::wstring::npos || dash + 1 == middle.size()) return false;
    unsigned long long value = 0;
    for (std::size_t i = 0; i < middle.size(); ++i) {
        if (i == dash) continue;
        if (!std::iswdigit(middle[i])) return false;
        if (i < dash) {
            value = value * 10 + static_cast<unsigned>(middle[i] - L'0');
            if (value > 0xFFFFFFFFull) return false;
        }
    }
    pid = static_cast<DWORD>(value);
    return true;
}

bool IsProcessRunning(DWORD pid)
{
    if (pid == GetCurrentProcessId()) return true;
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) {
        // No such process; anything else (say, one of another user) counts
        // as running, so its file is left alone.
        return GetLastError() != ERROR_INVALID_PARAMETER;
    }
    // A process that has ended but is still held open by someone answers
    // OpenProcess, so look at whether it is signalled.
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// Deletes a temporary file unless it was handed over.
class TempFileGuard {
public:
    explicit TempFileGuard(std::wstring path) : path_(std::move(path)) {}
    ~TempFileGuard()
    {
        if (!path_.empty()) {
            const DWORD error = GetLastError();
            DeleteFileW(path_.c_str());
            SetLastError(error);
        }
    }
    void Release() { path_.clear(); }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;

private:
    std::wstring path_;
};

HRESULT WriteAll(HANDLE file, const char* data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr)) return LastError();
        if (written == 0) return E_FAIL;
        data += written;
        size -= written;
    }
    return S_OK;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& bytes)
{
    if (bytes.empty()) return std::wstring();
    std::wstring out;
    std::size_t done = 0;
    // Converted in pieces that end on a character boundary, so sizes stay
    // within int and no sequence is split.
    while (done < bytes.size()) {
        std::size_t take = bytes.size() - done;
        if (take > (1u << 26)) {
            take = 1u << 26;
            // Back up at most three bytes to the start of a sequence.
            for (int i = 0; i < 3 && (static_cast<unsigned char>(bytes[done + take]) & 0xC0) == 0x80; ++i) --take;
        }
        const int count = static_cast<int>(take);
        const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + done, count, nullptr, 0);
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(units));
        MultiByteToWideChar(CP_UTF8, 0, bytes.data() + done, count, &out[at], units);
        done += take;
    }
    return out;
}

std::string WideToUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    std::string out;
    std::size_t done = 0;
    while (done < text.size()) {
        std::size_t take = text.size() - done;
        if (take > (1u << 24)) {
            take = 1u << 24;
            // Do not split a surrogate pair.
            if (text[done + take] >= 0xDC00 && text[done + take] <= 0xDFFF) --take;
        }
        const int count = static_cast<int>(take);
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data() + done, count, nullptr, 0, nullptr, nullptr);
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_UTF8, 0, text.data() + done, count, &out[at], bytes, nullptr, nullptr);
        done += take;
    }
    return out;
}

HRESULT ReadUtf8File(const std::wstring& path, std::wstring& text)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    std::string bytes;
    std::vector<char> buffer(1u << 16);
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) return LastError();
        if (got == 0) break;
        bytes.append(buffer.data(), got);
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    text = Utf8ToWide(bytes);
    return S_OK;
}

HRESULT WriteFileAtomically(const std::wstring& path, const std::string& bytes)
{
    std::wstring tempPath;
    UniqueFile file;
    // CREATE_NEW never reuses a file; a clash can only be a leftover of an
    // earlier process that had our process id, so try the next name.
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        tempPath = TempNameFor(path);
        file.reset(
            CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file && GetLastError() != ERROR_FILE_EXISTS) return LastError();
    }
    if (!file) return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    TempFileGuard guard(tempPath);

    HRESULT hr = WriteAll(file.get(), bytes.data(), bytes.size());
    if (FAILED(hr)) return hr;
    // The content must be on disk before the name points at it; otherwise a
    // power cut could leave the new name on an empty file.
    if (!FlushFileBuffers(file.get())) return LastError();
    file.reset();

    // A reader that opened the target without sharing deletion (a virus
    // scanner, an editor) blocks the replacement for a moment; wait a little
    // for it before giving up.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(tempPath.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            guard.Release();
            return S_OK;
        }
        const DWORD error = GetLastError();
        if (attempt >= 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
            return HRESULT_FROM_WIN32(error);
        Sleep(10);
    }
}

HRESULT AppendUtf8Line(const std::wstring& path, const std::wstring& line)
{
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    // One write per line: appends of several writers never interleave inside
    // a line.
    const std::string bytes = WideToUtf8(line) + "\r\n";
    if (bytes.size() > 0xFFFFFFFFu) return E_INVALIDARG;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return LastError();
    return written == bytes.size() ? S_OK : E_FAIL;
}

HRESULT CreateFolderTree(const std::wstring& path)
{
    std::wstring folder = path;
    while (folder.size() > 1 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    if (folder.empty()) return E_INVALIDARG;
    if (CreateDirectoryW(folder.c_str(), nullptr)) return S_OK;
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS) {
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
                   ? S_OK
                   : HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    }
    if (error != ERROR_PATH_NOT_FOUND) return HRESULT_FROM_WIN32(error);
    const std::size_t slash = folder.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0) return HRESULT_FROM_WIN32(error);
    const std::wstring parent = folder.substr(0, slash);
    // A drive root or the share part of a UNC name cannot be created.
    if (parent.size() <= 2 || parent == L"\\\\") return HRESULT_FROM_WIN32(error);
    const HRESULT hr = CreateFolderTree(parent);
    if (FAILED(hr)) return hr;
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return S_OK;
    return LastError();
}

int RemoveStaleTempFiles(const std::wstring& folder)
{
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = folder + L"\\*~*.tmp";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        DWORD pid = 0;
        if (!ParseTempName(found.cFileName, pid) || IsProcessRunning(pid)) continue;
        if (DeleteFileW((folder + L"\\" + found.cFileName).c_str())) ++removed;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

DataFolder::DataFolder(const std::wstring& folder)
{
    const DWORD needed = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    if (needed > 0) {
        std::wstring full(needed, L'\0');
        const DWORD length = GetFullPathNameW(folder.c_str(), needed, &full[0], nullptr);
        full.resize(length < needed ? length : 0);
        path_ = full;
    }
    if (path_.empty()) path_ = folder;
    // Keep "C:\" whole; drop the backslash of every longer path.
    while (path_.size() > 3 && (path_.back() == L'\\' || path_.back() == L'/')) path_.pop_back();
}

HRESULT DataFolder::Prepare() const
{
    const HRESULT hr = CreateFolderTree(path_);
    if (FAILED(hr)) return hr;
    RemoveStaleTempFiles(path_);
    return S_OK;
}

std::wstring DataFolder::PathOf(const std::wstring& relative) const
{
    if (relative.empty()) return path_;
    if (!path_.empty() && path_.back() == L'\\') return path_ + relative;
    return path_ + L"\\" + relative;
}

HRESULT DataFolder::ReadText(const std::wstring& name, std::wstring& text) const
{
    return ReadUtf8File(PathOf(name), text);
}

HRESULT DataFolder::WriteText(const std::wstring& name, const std::wstring& text) const
{
    return WriteFileAtomically(PathOf(name), WideToUtf8(text));
}

HRESULT DataFolder::AppendLine(const std::wstring& name, const std::wstring& line) const
{
    return AppendUtf8Line(PathOf(name), line);
}

}  // namespace devhost
