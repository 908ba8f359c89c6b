#include "CalendarPipeClient.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "JsonValue.h"
#include "LoadedFunction.h"
#include "ProcessUser.h"
#include "TextConv.h"

const wchar_t CalendarPipeClient::kPipeName[] = L"\\\\.\\pipe\\TessaryAiMcp-v1";
const wchar_t CalendarPipeClient::kMutexName[] = L"__MUTEX_TESSARY_EXE__";
const wchar_t CalendarPipeClient::kWindowTitle[] =
    L"tsyexecute_tessary_title-{DF169E84-E4BA-4eb0-A2CA-F39D25F7C3D7}";
const wchar_t CalendarPipeClient::kTokenVariable[] = L"TESSARY_AIMCP_TOKEN";

namespace {

const wchar_t kNotRunningMessage[] = L"请先打开Tessary后再试";

// A reply can be at most 65,536 bytes, so this bound only stops a hostile or
// broken peer from nesting its reply deeper than anything the calendar
// sends; the parser bounds its own recursion in any case.
constexpr int kMaxReplyDepth = 1000;

ToolOutcome Failure(const wchar_t* code, const std::wstring& message)
{
    return ToolOutcome{false, CalendarPipeClient::LocalError(code, message)};
}

// The window functions live in user32, which is loaded only when a check
// needs them (and then kept): loading it is a good part of the start-up of
// a program that otherwise only needs the kernel, and a client that just
// starts the server and lists its tools never needs a window.
struct WindowFunctions {
    using FindWindowExFunction = HWND(WINAPI*)(HWND, HWND, LPCWSTR, LPCWSTR);
    using GetWindowThreadProcessIdFunction = DWORD(WINAPI*)(HWND, LPDWORD);
    FindWindowExFunction findWindowEx = nullptr;
    GetWindowThreadProcessIdFunction getWindowThreadProcessId = nullptr;
};

const WindowFunctions& Windows()
{
    static const WindowFunctions functions = [] {
        WindowFunctions loaded;
        if (const HMODULE user32 = LoadLibraryW(L"user32.dll")) {
            loaded.findWindowEx = LoadedFunction<WindowFunctions::FindWindowExFunction>(user32, "FindWindowExW");
            loaded.getWindowThreadProcessId =
                LoadedFunction<WindowFunctions::GetWindowThreadProcessIdFunction>(user32, "GetWindowThreadProcessId");
        }
        if (!loaded.findWindowEx || !loaded.getWindowThreadProcessId) {
            LogLine(L"cannot load the window functions of user32.dll, err " + std::to_wstring(GetLastError()));
            loaded = WindowFunctions{};
        }
        return loaded;
    }();
    return functions;
}

// The processes that own a top-level window with the calendar's title, each
// once, in the order the system lists their windows.
std::vector<unsigned long> CalendarWindowOwners()
{
    std::vector<unsigned long> owners;
    const WindowFunctions& windows = Windows();
    if (!windows.findWindowEx) return owners;
    HWND window = nullptr;
    while ((window = windows.findWindowEx(nullptr, window, nullptr, CalendarPipeClient::kWindowTitle)) != nullptr) {
        DWORD processId = 0;
        if (windows.getWindowThreadProcessId(window, &processId) && processId != 0 &&
            std::find(owners.begin(), owners.end(), processId) == owners.end())
            owners.push_back(processId);
    }
    return owners;
}

// A process id with a handle held on the process. While the handle is held
// no other process can be given the id, so a later process with that id is
// this same process.
class HeldProcess {
public:
    bool Is(unsigned long processId) const { return processId != 0 && handle_ && id_ == processId; }
    void Hold(unsigned long processId, UniqueHandle handle)
    {
        id_ = processId;
        handle_ = std::move(handle);
    }

private:
    unsigned long id_ = 0;
    UniqueHandle handle_;
};

// The process last found serving the pipe while it owned a calendar window:
// it has shown itself to be the calendar and is not checked again, which
// spares every call after the first the questions about windows.
std::mutex g_knownCalendarLock;
HeldProcess g_knownCalendar;

bool IsKnownCalendar(unsigned long processId)
{
    const std::lock_guard<std::mutex> hold(g_knownCalendarLock);
    return g_knownCalendar.Is(processId);
}

void RememberCalendar(unsigned long processId)
{
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) return;  // then it is simply checked again next time
    const std::lock_guard<std::mutex> hold(g_knownCalendarLock);
    g_knownCalendar.Hold(processId, std::move(process));
}

bool RunsAsThisUser(DWORD processId)
{
    // The user a process runs as never changes: this program's is read once,
    // and the answer for the last process asked about is kept.
    static std::mutex lock;
    static std::vector<unsigned char> mine;
    static HeldProcess last;
    static bool lastIsSame = false;
    const std::lock_guard<std::mutex> hold(lock);
    if (last.Is(processId)) return lastIsSame;
    if (mine.empty()) mine = ProcessUserSid(GetCurrentProcess());
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId));
    if (mine.empty() || !process) return false;
    lastIsSame = ProcessUserSid(process.get()) == mine;
    last.Hold(processId, std::move(process));
    return lastIsSame;
}

// Whether the process at the other end of the pipe is the calendar. Leaves
// code and message empty when it may be sent the request, else sets them.
void CheckPipeServer(HANDLE pipe, std::wstring& code, std::wstring& message)
{
    ULONG serverProcessId = 0;
    if (!GetNamedPipeServerProcessId(pipe, &serverProcessId)) {
        LogLine(L"GetNamedPipeServerProcessId failed, err " + std::to_wstring(GetLastError()));
        code = L"INTERNAL";
        message = L"could not tell which program serves the calendar's pipe; the request was not sent";
        return;
    }
    if (IsKnownCalendar(serverProcessId)) return;
    const std::vector<unsigned long> owners = CalendarWindowOwners();
    // The user check only matters without a window to compare with.
    const bool sameUser = owners.empty() && RunsAsThisUser(serverProcessId);
    if (CalendarPipeClient::JudgeServer(serverProcessId, owners, sameUser) ==
        CalendarPipeClient::ServerVerdict::kCalendar) {
        // Only a server vouched for by its window is remembered: one trusted
        // for want of any window would have to give way to a window later.
        if (!owners.empty()) RememberCalendar(serverProcessId);
        return;
    }
    LogLine(L"the pipe is served by process " + std::to_wstring(serverProcessId) + L", not by the calendar");
    code = L"INTERNAL";
    message = L"another program, not the calendar, is serving the calendar's pipe; the request was not sent";
}

}  // namespace

std::wstring ToolOutcome::Text() const
{
    if (!fromReply) return text;
    // The written text is printable ASCII, so its escaped form is the text
    // with a backslash before each quotation mark and backslash: dropping
    // each such backslash gives it back.
    std::wstring out = ok ? L"" : L"{\"error\":";
    for (std::size_t i = payloadBegin; i < payloadEnd; ++i) {
        if (escapedReply[i] == L'\\') ++i;
        out.push_back(escapedReply[i]);
    }
    if (!ok) out += L'}';
    return out;
}

void ToolOutcome::AppendEscapedText(std::wstring& out) const
{
    if (!fromReply) {
        AppendEscapedJsonText(out, text);
        return;
    }
    if (!ok) out += L"{\\\"error\\\":";
    out.append(escapedReply, payloadBegin, payloadEnd - payloadBegin);
    if (!ok) out += L'}';
}

std::wstring CalendarPipeClient::LocalError(const std::wstring& code, const std::wstring& message)
{
    return L"{\"error\":{\"code\":\"" + code + L"\",\"message\":\"" + EscapeJsonText(message) + L"\"}}";
}

bool CalendarPipeClient::IsCalendarRunning()
{
    UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kMutexName));
    if (mutex) return true;
    const WindowFunctions& windows = Windows();
    return windows.findWindowEx && windows.findWindowEx(nullptr, nullptr, nullptr, kWindowTitle) != nullptr;
}

CalendarPipeClient::ServerVerdict CalendarPipeClient::JudgeServer(unsigned long serverProcessId,
                                                                   const std::vector<unsigned long>& windowOwners,
                                                                   bool serverIsSameUser)
{
    if (serverProcessId == 0) return ServerVerdict::kImpostor;
    if (windowOwners.empty()) return serverIsSameUser ? ServerVerdict::kCalendar : ServerVerdict::kImpostor;
    return std::find(windowOwners.begin(), windowOwners.end(), serverProcessId) != windowOwners.end()
               ? ServerVerdict::kCalendar
               : ServerVerdict::kImpostor;
}

std::wstring CalendarPipeClient::ReadToken()
{
    wchar_t buffer[512];
    const DWORD length = GetEnvironmentVariableW(kTokenVariable, buffer, 512);
    // 0: missing or empty; 512 or more: the buffer was too small.
    if (length < 1 || length > 511) return std::wstring();
    return std::wstring(buffer, length);
}

std::wstring CalendarPipeClient::BuildRequest(const std::wstring& name, const std::wstring& token,
                                              const std::wstring& arguments)
{
    return L"{\"id\":\"1\",\"token\":\"" + EscapeJsonText(token) + L"\",\"method\":\"" + EscapeJsonText(name) +
           L"\",\"params\":" + (arguments.empty() ? std::wstring(L"{}") : arguments) + L"}";
}

CalendarPipeClient::Connection CalendarPipeClient::Connect()
{
    Connection result;
    const DWORD deadline = GetTickCount() + kConnectDeadlineMs;
    for (;;) {
        // Identification only: the server may learn who the client is, but
        // cannot act as the client.
        UniqueFile pipe(CreateFileW(kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) {
                result.code = L"INTERNAL";
                result.message = L"the calendar pipe refused message mode";
                return result;
            }
            // Before anything is written, in particular the token.
            CheckPipeServer(pipe.get(), result.code, result.message);
            if (result.code.empty()) result.pipe = std::move(pipe);
            return result;
        }
        if (GetLastError() != ERROR_PIPE_BUSY) {
            if (IsCalendarRunning()) {
                result.code = L"INTERNAL";
                result.message =
                    L"the calendar is running but is not listening for AI requests; check that AI access is "
                    L"turned on in its settings";
            } else {
                result.code = L"CALENDAR_NOT_RUNNING";
                result.message = kNotRunningMessage;
            }
            return result;
        }
        // Signed difference, so the wrap of the tick counter does no harm.
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) {
            result.code = L"INTERNAL";
            result.message = L"the calendar is busy serving another AI request";
            return result;
        }
        WaitNamedPipeW(kPipeName, kBusyWaitMs);
    }
}

ToolOutcome CalendarPipeClient::CallTool(const std::wstring& name, const std::wstring& arguments)
{
    if (!IsCalendarRunning()) return Failure(L"CALENDAR_NOT_RUNNING", kNotRunningMessage);

    const std::string request = WideToUtf8(BuildRequest(name, ReadToken(), arguments));
    if (request.size() > kMaxRequestBytes)
        return Failure(L"INVALID_PARAMS", L"the request is " + std::to_wstring(request.size()) +
                                              L" bytes, more than the " + std::to_wstring(kMaxRequestBytes) +
                                              L" bytes the calendar takes in one request; send less text at once "
                                              L"(a non-ASCII character can take up to 6 bytes)");

    Connection connection = Connect();
    if (!connection.pipe) return ToolOutcome{false, LocalError(connection.code, connection.message)};

    DWORD written = 0;
    if (!WriteFile(connection.pipe.get(), request.data(), static_cast<DWORD>(request.size()), &written, nullptr)) {
        const DWORD error = GetLastError();
        connection.pipe.reset();
        LogLine(L"WriteFile failed, err " + std::to_wstring(error));
        return Failure(L"INTERNAL", L"could not send the request to the calendar");
    }

    const std::unique_ptr<char[]> reply(new char[kMaxReplyBytes]);  // no need to clear what the read fills
    DWORD got = 0;
    const BOOL readOk = ReadFile(connection.pipe.get(), reply.get(), kMaxReplyBytes, &got, nullptr);
    const DWORD error = readOk ? 0 : GetLastError();
    connection.pipe.reset();  // one request, one reply: nothing more on this connection

    if (readOk && got > 0) return ParseReply(Utf8ToWide(reply.get(), got));

    LogLine(L"ReadFile failed, err " + std::to_wstring(error));
    return Failure(L"INTERNAL", error == ERROR_MORE_DATA ? L"the calendar's answer was too large to read"
                                                         : L"the calendar closed the connection without answering");
}

ToolOutcome CalendarPipeClient::ParseReply(const std::wstring& reply)
{
    // The reply is read and written again in one pass, escaped as it goes
    // into the answer to the client; no tree of it is made.
    ToolOutcome outcome;
    const JsonRewrite rewrite = RewriteJson(reply.data(), reply.size(), true, outcome.escapedReply, kMaxReplyDepth);
    if (!rewrite.ok || rewrite.rootKind != JsonKind::Object)
        return Failure(L"INTERNAL", L"the calendar sent a reply that is not a JSON object");

    const auto member = [&](const wchar_t* name) -> const JsonWrittenMember* {
        for (const JsonWrittenMember& m : rewrite.rootMembers)
            if (m.name == name) return &m;
        return nullptr;
    };
    // Only true itself is written as true.
    const JsonWrittenMember* ok = member(L"ok");
    const bool isOk = ok && outcome.escapedReply.compare(ok->valueBegin, ok->valueEnd - ok->valueBegin, L"true") == 0;
    const JsonWrittenMember* payload = member(isOk ? L"result" : L"error");
    if (!payload) return Failure(L"INTERNAL", L"the calendar sent a reply without a result or an error");

    outcome.ok = isOk;
    outcome.fromReply = true;
    outcome.payloadBegin = payload->valueBegin;
    outcome.payloadEnd = payload->valueEnd;
    return outcome;
}
