#include "AiMcpAuditLog.h"

#include <algorithm>
#include <cwchar>

#include "AiMcpClock.h"
#include "AiMcpEnvelope.h"
#include "AiMcpQuota.h"
#include "AiMcpUtf8.h"
#include "HostAccess.h"
#include "UniqueHandle.h"

const wchar_t kAiMcpAuditLogName[] = L"aimcp_audit.log";

namespace {

// The current user's data directory as the host reports it; empty when
// there is no user data service or it returns nothing. Its result code is
// not looked at: only the text matters.
std::wstring UserDataDirectory()
{
    UniqueBstr directory;
    if (auto userData = GetHostService<IxUserDataService>(SID_UserDataService))
        userData->GetUserDataDir(directory.put());
    return directory.str();
}

// One field that must stay on its line and within its column.
std::wstring OneLineField(std::wstring text)
{
    for (wchar_t breaker : {L'\t', L'\r', L'\n'}) std::replace(text.begin(), text.end(), breaker, L' ');
    return text;
}

// Serialises the appenders of one log file, in this process and in others.
// Append-only access alone puts every write at the end of the file, but not
// on every platform atomically: two writers can both find the same end and
// the second line then overwrites the first. So each writer holds an
// exclusive lock on one byte far beyond any real content (it never blocks
// reading or writing the lines themselves) for the duration of its write.
// A lock that cannot be had within about a second, or not at all, does not
// stop the line: it is then written unlocked.
class AppendLock {
public:
    explicit AppendLock(HANDLE file) : file_(file)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            OVERLAPPED range = Range();
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
                held_ = true;
                return;
            }
            if (GetLastError() != ERROR_LOCK_VIOLATION) return;
            Sleep(10);
        }
    }
    ~AppendLock()
    {
        OVERLAPPED range = Range();
        if (held_) UnlockFileEx(file_, 0, 1, 0, &range);
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

private:
    static OVERLAPPED Range()
    {
        OVERLAPPED range{};
        range.Offset = 0xFFFFFFFE;
        range.OffsetHigh = 0x7FFFFFFF;
        return range;
    }
    HANDLE file_;
    bool held_ = false;
};

std::wstring LocalTimeText()
{
    const SYSTEMTIME now = AiMcpLocalNow();
    wchar_t text[32];
    std::swprintf(text, sizeof text / sizeof text[0], L"%04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
}

}  // namespace

void AiMcpAuditLog::Append(const wchar_t* toolName, const std::wstring& identifier, int trusted, int succeeded,
                           const std::wstring& detail)
{
    const std::wstring directory = UserDataDirectory();
    if (directory.empty()) {
        AIMCP_TRACE(L"AiMcpAuditLog: no user data directory, dropping the entry");
        return;
    }
    const std::wstring path = directory + (directory.back() == L'\\' ? L"" : L"\\") + kAiMcpAuditLogName;

    // Built by joining rather than with a fixed-size format buffer, so a long
    // detail (a whole day cell's text) is never cut.
    const std::wstring line = LocalTimeText() + L"\t" + (toolName ? toolName : L"") + L"\tid=" +
                              OneLineField(identifier) + L"\ttrust=" + (trusted != 0 ? L"1" : L"0") + L"\t" +
                              (succeeded != 0 ? L"ok" : L"error") + L"\t" + OneLineField(detail) + L"\r\n";
    const std::string bytes = WideToUtf8(line);
    if (bytes.empty()) return;

    // Append-only access (no write-data access) makes every write land at
    // the end of the file, even when another writer has appended since this
    // handle was opened. Read-data access is there only because a byte-range
    // lock needs read or write-data access; nothing is read.
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        AIMCP_TRACE(L"AiMcpAuditLog: CreateFile failed err = %u", static_cast<unsigned>(GetLastError()));
        return;
    }
    const AppendLock lock(file.get());
    DWORD written = 0;
    WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring FailWithAudit(AiMcpWriteKind tool, const std::wstring& requestId, const std::wstring& auditId,
                           int trusted, const std::wstring& code, const std::wstring& message)
{
    AiMcpAuditLog::Append(AiMcpWriteKindName(tool), auditId, trusted, 0, message);
    return BuildErrorAnswer(requestId, code, message);
}

std::optional<std::wstring> QuotaGate(AiMcpWriteKind tool, const std::wstring& requestId,
                                      const std::wstring& auditId)
{
    std::wstring message;
    if (CheckWriteQuota(AiMcpQuotaKindOf(tool), message)) return std::nullopt;
    return FailWithAudit(tool, requestId, auditId, 0, kQuotaExceeded, message);
}
