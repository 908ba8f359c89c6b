// The tool-call road against the limits of the platform it runs on, measured
// side by side in one run: every figure is a median over rounds in which all
// the measurements take turns, so a machine that slows down for a while
// slows them alike.
//
// The road: an MCP request into tessary-mcp.exe, the pipe, the plug-in's
// gate, the hand-over to the stand-in calendar's main thread, the tool, and
// back. Its limit is what the same work costs with nothing of ours in it:
//   - a stdio round trip with road_echo.exe moving the same bytes,
//   - a named-pipe connect/request/reply/close between two processes moving
//     the same bytes (this program started again as a bare pipe server),
//   - a main-thread hop: a message posted to a window on another thread and
//     its answer awaited.
// Measured for calendar_list, an events_query over one week and one over 366
// days (whose answer reaches the answer budget), with the stand-in calendar
// seeded with its sample data. Besides: the plug-in's pipe alone against a
// bare pipe, tessary-mcp alone relaying a saved answer (from a stand-in pipe
// server) against a raw client reading it, cold start to the "initialize"
// reply against road_echo.exe's start to its first reply, and the stand-in
// calendar's handles and memory before and after many calls.
//
// Prints figures and the targets beside them; never fails.
//
//   road_bench.exe [rounds [soak calls [cold starts]]]   (default 300, 10000, 40)
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "UniqueHandle.h"

namespace {

using Clock = std::chrono::steady_clock;

const wchar_t kCalendarPipe[] = L"\\\\.\\pipe\\TessaryAiMcp-v1";
const wchar_t kCalendarMutex[] = L"__MUTEX_TESSARY_EXE__";
const wchar_t kCalendarTitle[] = L"tsyexecute_tessary_title-{DF169E84-E4BA-4eb0-A2CA-F39D25F7C3D7}";
constexpr DWORD kPipeBytes = 65536;

double MicrosSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

std::wstring Folder()
{
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

std::wstring Widen(const std::string& ascii)
{
    return std::wstring(ascii.begin(), ascii.end());
}

// A child process with pipes on its standard input and output.
struct Child {
    UniqueHandle process;
    UniqueFile in, out;
    std::string pending;

    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { Finish(2000); }

    bool Start(const std::wstring& commandLine, const wchar_t* environment = nullptr)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        UniqueFile inRead, outWrite;
        if (!CreatePipe(inRead.put(), in.put(), &sa, 0) || !CreatePipe(out.put(), outWrite.put(), &sa, 0)) return false;
        SetHandleInformation(in.get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(out.get(), HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = inRead.get();
        si.hStdOutput = outWrite.get();
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION pi{};
        std::wstring line = commandLine;
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, environment ? CREATE_UNICODE_ENVIRONMENT : 0,
                            const_cast<wchar_t*>(environment), nullptr, &si, &pi))
            return false;
        process.reset(pi.hProcess);
        UniqueHandle thread(pi.hThread);
        return true;
    }
    bool Send(const std::string& bytes)
    {
        DWORD n = 0;
        return WriteFile(in.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n == bytes.size();
    }
    // Reads one line (up to LF) from the child's output, in large reads:
    // a read per byte would cost more than what is being measured.
    bool ReadLine(std::string& line)
    {
        std::size_t searched = 0;
        for (;;) {
            const std::size_t lf = pending.find('\n', searched);
            if (lf != std::string::npos) {
                line.assign(pending, 0, lf);
                pending.erase(0, lf + 1);
                return true;
            }
            searched = pending.size();
            char chunk[65536];
            DWORD got = 0;
            if (!ReadFile(out.get(), chunk, sizeof chunk, &got, nullptr) || got == 0) return false;
            pending.append(chunk, got);
        }
    }
    // Ends the child's input and waits for it to exit.
    void Finish(DWORD waitMs = 10000)
    {
        in.reset();
        if (process && WaitForSingleObject(process.get(), waitMs) != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
        process.reset();
        out.reset();
    }
};

// Runs the stand-in calendar's command-channel client and gives its output.
std::string DevHostCommand(const std::wstring& command)
{
    Child c;
    if (!c.Start(L"\"" + Folder() + L"tessary-devhost.exe\" --send " + command)) return std::string();
    c.in.reset();
    std::string all, line;
    while (c.ReadLine(line)) all += line + "\n";
    WaitForSingleObject(c.process.get(), 10000);
    return all;
}

// ---- the bare pipe server (this program started with --pipe-server) --------

// A hidden top-level window with the calendar's title, on a thread of its
// own that pumps its messages for the rest of the process's life.
DWORD WINAPI CalendarWindowThread(void* ready)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"RoadBenchCalendar";
    RegisterClassW(&wc);
    const HWND window = CreateWindowExW(0, wc.lpszClassName, kCalendarTitle, WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                        nullptr, wc.hInstance, nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    MSG msg;
    while (window && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

// Serves one request per connection like the plug-in does (read a message,
// write the answer as one message, wait for the client to hang up,
// disconnect), with nothing in between. The answer is the given file's
// bytes, or, without a file, as many bytes as the request's "#N" prefix asks
// for. With a file it also stands in for the calendar as tessary-mcp finds
// it: it holds the calendar's mutex and shows a window with its title.
// Prints "ready" once it listens; "quit" ends it.
int PipeServer(const std::wstring& name, const std::wstring& answerFile)
{
    std::string answer;
    UniqueHandle mutex;
    if (!answerFile.empty()) {
        UniqueFile file(CreateFileW(answerFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD size = file ? GetFileSize(file.get(), nullptr) : 0;
        answer.resize(size);
        DWORD got = 0;
        if (!file || size == 0 || !ReadFile(file.get(), &answer[0], size, &got, nullptr) || got != size) return 1;
        mutex.reset(CreateMutexW(nullptr, FALSE, kCalendarMutex));
        UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        UniqueHandle thread(CreateThread(nullptr, 0, &CalendarWindowThread, ready.get(), 0, nullptr));
        if (!thread || WaitForSingleObject(ready.get(), 10000) != WAIT_OBJECT_0) return 1;
    }
    UniqueFile pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     1, kPipeBytes, kPipeBytes, 0, nullptr));
    if (!pipe) return 1;
    DWORD put = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &put, nullptr);
    std::vector<char> request(kPipeBytes), reply(kPipeBytes, 'x');
    for (;;) {
        if (!ConnectNamedPipe(pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;
        DWORD got = 0;
        if (ReadFile(pipe.get(), request.data(), kPipeBytes, &got, nullptr)) {
            if (got == 4 && std::string(request.data(), 4) == "quit") return 0;
            if (!answer.empty()) {
                WriteFile(pipe.get(), answer.data(), static_cast<DWORD>(answer.size()), &put, nullptr);
            } else {
                DWORD n = 0;
                for (DWORD i = 1; i < got && request[i] >= '0' && request[i] <= '9'; ++i) n = n * 10 + (request[i] - '0');
                n = std::min(std::max<DWORD>(n, 1), kPipeBytes);
                reply[n - 1] = '\n';
                WriteFile(pipe.get(), reply.data(), n, &put, nullptr);
                reply[n - 1] = 'x';
            }
            char drain[64];
            ReadFile(pipe.get(), drain, sizeof drain, &got, nullptr);  // ends when the client hangs up
        }
        DisconnectNamedPipe(pipe.get());
    }
}

// One connection: connect, message mode, write the request, read the reply,
// close. False when any step fails. The reply's length is what was read.
bool PipeCall(const wchar_t* name, const std::string& request, std::vector<char>& reply, DWORD& replyBytes)
{
    UniqueFile pipe;
    for (int attempt = 0; attempt < 500 && !pipe; ++attempt) {
        pipe.reset(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!pipe) WaitNamedPipeW(name, 20);
    }
    if (!pipe) return false;
    DWORD mode = PIPE_READMODE_MESSAGE, n = 0;
    if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr)) return false;
    if (!WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &n, nullptr)) return false;
    replyBytes = 0;
    if (!ReadFile(pipe.get(), reply.data(), static_cast<DWORD>(reply.size()), &replyBytes, nullptr)) return false;
    return true;
}

// A bare pipe server started as a child, and calls to it moving given bytes.
class BarePipe {
public:
    BarePipe() = default;
    BarePipe(const BarePipe&) = delete;
    BarePipe& operator=(const BarePipe&) = delete;
    ~BarePipe() { Stop(); }

    bool Start(const std::wstring& name, const std::wstring& answerFile = L"")
    {
        name_ = name;
        std::wstring command = L"\"" + Folder() + L"road_bench.exe\" --pipe-server " + name;
        if (!answerFile.empty()) command += L" \"" + answerFile + L"\"";
        std::string line;
        return server_.Start(command) && server_.ReadLine(line) && line == "ready";
    }
    // A request of requestBytes bytes asking for replyBytes bytes back.
    bool Call(std::size_t requestBytes, std::size_t replyBytes)
    {
        std::string request = "#" + std::to_string(replyBytes) + " ";
        request.resize(std::max(request.size(), requestBytes), 'x');
        DWORD got = 0;
        return PipeCall(name_.c_str(), request, reply_, got) && got == replyBytes;
    }
    bool CallRaw(const std::string& request, DWORD& got) { return PipeCall(name_.c_str(), request, reply_, got); }
    void Stop()
    {
        if (!server_.process) return;
        DWORD got = 0;
        PipeCall(name_.c_str(), "quit", reply_, got);
        server_.Finish(5000);
    }

private:
    std::wstring name_;
    Child server_;
    std::vector<char> reply_ = std::vector<char>(kPipeBytes);
};

// ---- the bare main-thread hop -----------------------------------------------

// A thread that owns a message-only window and pumps its messages; Hop posts
// it a message and waits until the window procedure has signalled the answer.
class MainThreadHop {
public:
    static constexpr UINT kMessage = WM_APP + 1;

    bool Start()
    {
        answered_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!answered_ || !ready) return false;
        ready_ = ready.get();
        thread_.reset(CreateThread(nullptr, 0, &MainThreadHop::Pump, this, 0, nullptr));
        if (!thread_) return false;
        WaitForSingleObject(ready.get(), 10000);
        ready_ = nullptr;
        return window_ != nullptr;
    }
    bool Hop()
    {
        ResetEvent(answered_.get());
        if (!PostMessageW(window_, kMessage, 0, 0)) return false;
        return WaitForSingleObject(answered_.get(), 10000) == WAIT_OBJECT_0;
    }
    void Stop()
    {
        if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
        if (thread_) WaitForSingleObject(thread_.get(), 5000);
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l)
    {
        auto* self = reinterpret_cast<MainThreadHop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kMessage && self) {
            SetEvent(self->answered_.get());
            return 0;
        }
        if (message == WM_CLOSE) {
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, w, l);
    }
    static DWORD WINAPI Pump(void* parameter)
    {
        auto* self = static_cast<MainThreadHop*>(parameter);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &MainThreadHop::Procedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"RoadBenchHop";
        RegisterClassExW(&wc);
        HWND window = CreateWindowExW(0, wc.lpszClassName, wc.lpszClassName, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      wc.hInstance, nullptr);
        if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->window_ = window;
        SetEvent(self->ready_);
        if (!window) return 1;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        return 0;
    }

    UniqueHandle answered_, thread_;
    HANDLE ready_ = nullptr;
    HWND window_ = nullptr;
};

// ---- figures ----------------------------------------------------------------

struct Series {
    std::vector<double> us;
    void Add(double v) { us.push_back(v); }
    double At(double fraction) const
    {
        if (us.empty()) return 0;
        std::vector<double> s = us;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, static_cast<std::size_t>(fraction * s.size()))];
    }
    double Median() const { return At(0.5); }
    // The middle 80 % of the samples relative to the median: how noisy.
    double Spread() const { return Median() > 0 ? (At(0.9) - At(0.1)) / Median() : 0; }
};

void PrintSeries(const char* what, const Series& s)
{
    std::printf("  %-46s median %9.0f us  p10..p90 %7.0f..%-7.0f (%3.0f %%)  n=%zu\n", what, s.Median(), s.At(0.1),
                s.At(0.9), 100 * s.Spread(), s.us.size());
}

// One line of the final table: a series against the sum of the series that
// make up its limit.
struct Figure {
    std::string name;
    const Series* measured;
    std::vector<const Series*> limit;
    const char* target;
};

// The ratio of the medians, and beside it the median of the ratios taken
// round by round (the same rounds, so a slow stretch of the machine weighs
// on both sides of each): where the two differ much, the figures were noisy.
void PrintFigures(const std::vector<Figure>& figures)
{
    std::printf("\n%-58s %10s %10s %8s %9s  %s\n", "figure", "measured", "limit", "ratio", "by round", "target");
    for (const Figure& f : figures) {
        double limit = 0;
        bool paired = true;
        for (const Series* part : f.limit) {
            limit += part->Median();
            paired = paired && part->us.size() == f.measured->us.size();
        }
        Series byRound;
        for (std::size_t r = 0; paired && r < f.measured->us.size(); ++r) {
            double sum = 0;
            for (const Series* part : f.limit) sum += part->us[r];
            if (sum > 0) byRound.Add(f.measured->us[r] / sum);
        }
        const double measured = f.measured->Median();
        std::printf("%-58s %8.0f us %8.0f us %7.2fx %8.2fx  %s\n", f.name.c_str(), measured, limit,
                    limit > 0 ? measured / limit : 0, byRound.Median(), f.target);
    }
}

// Runs the steps of one round in turn, each round starting one step later,
// so that every measurement takes every place in the round in turn.
void Rounds(int rounds, const std::vector<std::function<void()>>& steps)
{
    for (int r = 0; r < rounds; ++r)
        for (std::size_t i = 0; i < steps.size(); ++i) steps[(i + r) % steps.size()]();
}

// ---- the cases --------------------------------------------------------------

// The UTC instant at which a local day begins, as ISO 8601 ("...Z"), by the
// rules the zone has for that day's year.
std::string LocalMidnight(const SYSTEMTIME& day)
{
    SYSTEMTIME local = day, utc{};
    local.wHour = local.wMinute = local.wSecond = local.wMilliseconds = 0;
    local.wDayOfWeek = 0;
    TIME_ZONE_INFORMATION rules{};
    const bool haveRules = GetTimeZoneInformationForYear(local.wYear, nullptr, &rules) != FALSE;
    TzSpecificLocalTimeToSystemTime(haveRules ? &rules : nullptr, &local, &utc);
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return text;
}

SYSTEMTIME AddDays(const SYSTEMTIME& day, int days)
{
    FILETIME ft;
    SystemTimeToFileTime(&day, &ft);
    ULARGE_INTEGER v{};
    v.LowPart = ft.dwLowDateTime;
    v.HighPart = ft.dwHighDateTime;
    v.QuadPart += static_cast<long long>(days) * 864000000000LL;
    ft.dwLowDateTime = v.LowPart;
    ft.dwHighDateTime = v.HighPart;
    SYSTEMTIME out{};
    FileTimeToSystemTime(&ft, &out);
    return out;
}

// One tool call as both ends of the road see it: the MCP line that
// tessary-mcp reads and the pipe request it sends (compact JSON, members in
// name order, as tessary-mcp writes its arguments).
struct Case {
    const char* label;
    const char* query;        // the call alone, without the road
    std::string mcpLine;      // with its line feed
    std::string pipeRequest;
    std::size_t mcpReplyBytes = 0;   // with the line feed
    std::size_t pipeReplyBytes = 0;  // with the line feed
    std::string pipeReply;
    Series road, echo, bare, plugin;
};

Case MakeCase(const char* label, const char* query, const std::string& tool, const std::string& arguments,
              const std::string& token)
{
    Case c;
    c.label = label;
    c.query = query;
    c.mcpLine = "{\"jsonrpc\":\"2.0\",\"id\":7,\"method\":\"tools/call\",\"params\":{\"name\":\"" + tool +
                "\",\"arguments\":" + arguments + "}}\n";
    c.pipeRequest = "{\"id\":\"1\",\"token\":\"" + token + "\",\"method\":\"" + tool + "\",\"params\":" + arguments + "}";
    return c;
}

std::string Head(const std::string& text, std::size_t n = 160)
{
    return text.size() <= n ? text : text.substr(0, n) + "...";
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put = 0;
    return file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
           put == bytes.size();
}

// Deletes the stand-in calendar's data folder and everything in it.
void RemoveFolder(const std::wstring& path)
{
    std::wstring from = path + L'\0';  // the list ends with an empty name
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    SHFileOperationW(&op);
}

// The environment of this process plus the token for tessary-mcp.
std::wstring EnvironmentWithToken(const std::string& token)
{
    std::wstring env;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) env += std::wstring(p) + L'\0';
    FreeEnvironmentStringsW(block);
    env += L"TESSARY_AIMCP_TOKEN=" + Widen(token) + L'\0';
    env += L'\0';
    return env;
}

int Bench(int rounds, int soak, int coldStarts)
{
    const std::wstring mcpExe = L"\"" + Folder() + L"tessary-mcp.exe\"";
    const std::wstring echoExe = L"\"" + Folder() + L"road_echo.exe\"";

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring stem = std::wstring(temp) + L"road-bench-" + std::to_wstring(GetCurrentProcessId());
    Child calendar;
    if (!calendar.Start(L"\"" + Folder() + L"tessary-devhost.exe\" --sample --data \"" + stem + L"\"")) {
        std::printf("road_bench: the stand-in calendar did not start\n");
        return 0;
    }
    std::string line;
    while (calendar.ReadLine(line) && line.find("ready") == std::string::npos) {
    }
    DevHostCommand(L"ai on");
    std::string token = DevHostCommand(L"setting get sys_aimcp_token");
    token = token.size() > 3 ? token.substr(3, 64) : std::string();
    const std::wstring env = EnvironmentWithToken(token);

    Child mcp, echo;
    BarePipe bare;
    MainThreadHop hop;
    const std::wstring bareName = L"\\\\.\\pipe\\road-bench-bare-" + std::to_wstring(GetCurrentProcessId());
    const char* failed = !mcp.Start(mcpExe, env.c_str()) ? "tessary-mcp"
                         : !echo.Start(echoExe)               ? "road_echo"
                         : !bare.Start(bareName)              ? "the bare pipe server"
                         : !hop.Start()                       ? "the hop thread's window"
                                                              : nullptr;
    if (failed) {
        std::printf("road_bench: %s did not start (err %lu)\n", failed, GetLastError());
        return 0;
    }

    SYSTEMTIME today{};
    GetLocalTime(&today);
    today.wHour = today.wMinute = today.wSecond = today.wMilliseconds = 0;
    const SYSTEMTIME monday = AddDays(today, -((today.wDayOfWeek + 6) % 7));
    const auto range = [&](int days) {
        return "{\"end\":\"" + LocalMidnight(AddDays(monday, days)) + "\",\"start\":\"" + LocalMidnight(monday) + "\"}";
    };
    std::vector<Case> cases;
    cases.push_back(MakeCase("tools/call calendar_list", "calendar_list", "calendar_list", "{}", token));
    cases.push_back(MakeCase("events_query, one week", "events_query, one week", "events_query", range(7), token));
    cases.push_back(MakeCase("events_query, 366 days", "events_query, 366 days", "events_query", range(366), token));

    std::printf("road_bench: the stand-in calendar with its sample data, this machine's zone; %d rounds\n\n", rounds);
    std::vector<char> reply(kPipeBytes);
    for (Case& c : cases) {
        // Warm-up, and the sizes each limit has to move.
        if (!mcp.Send(c.mcpLine) || !mcp.ReadLine(line)) {
            std::printf("road_bench: tessary-mcp did not answer\n");
            return 0;
        }
        c.mcpReplyBytes = line.size() + 1;
        DWORD got = 0;
        if (line.find("\"isError\":false") == std::string::npos ||
            !PipeCall(kCalendarPipe, c.pipeRequest, reply, got)) {
            std::printf("road_bench: %s failed: %s\n", c.label, Head(line, 400).c_str());
            return 0;
        }
        c.pipeReply.assign(reply.data(), got);
        c.pipeReplyBytes = got;
        std::printf("%s: %s\n", c.label, Head(c.mcpLine.substr(0, c.mcpLine.size() - 1)).c_str());
        std::printf("  MCP request %zu B, reply %zu B; pipe request %zu B, reply %zu B\n", c.mcpLine.size(),
                    c.mcpReplyBytes, c.pipeRequest.size(), c.pipeReplyBytes);
        const std::size_t truncated = c.pipeReply.find("\"truncated\":");
        if (truncated != std::string::npos)
            std::printf("  answer: %s\n", c.pipeReply.substr(truncated, c.pipeReply.find(',', truncated) - truncated).c_str());
    }

    // Two calls on the plug-in's pipe never follow each other directly: its
    // single instance listens again only once the last client has hung up,
    // and a client that comes sooner waits for it. A call through tessary-mcp
    // leaves it that time in its own turns (the reply to the MCP client, the
    // next request); calls fired back to back would time that wait instead.
    Series hops;
    std::vector<std::function<void()>> steps;
    for (Case& c : cases) {
        Case* p = &c;
        steps.push_back([p, &mcp, &line] {
            const auto start = Clock::now();
            if (mcp.Send(p->mcpLine) && mcp.ReadLine(line)) p->road.Add(MicrosSince(start));
        });
        const std::string echoLine = [p] {
            std::string l = "#" + std::to_string(p->mcpReplyBytes) + " ";
            l.resize(std::max(l.size() + 1, p->mcpLine.size()) - 1, 'x');
            return l + "\n";
        }();
        steps.push_back([p, echoLine, &echo, &line] {
            const auto start = Clock::now();
            if (echo.Send(echoLine) && echo.ReadLine(line)) p->echo.Add(MicrosSince(start));
        });
        steps.push_back([p, &reply] {
            DWORD got = 0;
            const auto start = Clock::now();
            if (PipeCall(kCalendarPipe, p->pipeRequest, reply, got)) p->plugin.Add(MicrosSince(start));
        });
        steps.push_back([p, &bare] {
            const auto start = Clock::now();
            if (bare.Call(p->pipeRequest.size(), p->pipeReplyBytes)) p->bare.Add(MicrosSince(start));
        });
    }
    steps.push_back([&] {
        const auto start = Clock::now();
        if (hop.Hop()) hops.Add(MicrosSince(start));
    });
    Rounds(rounds, steps);

    std::printf("\nround trips (median of %d rounds; p10..p90 and their width relative to the median):\n", rounds);
    PrintSeries("bare main-thread hop", hops);
    for (const Case& c : cases) {
        std::printf("%s\n", c.label);
        PrintSeries("whole road (MCP in, MCP out)", c.road);
        PrintSeries("stdio echo, same bytes", c.echo);
        PrintSeries("bare pipe, same bytes", c.bare);
        PrintSeries("plug-in pipe alone", c.plugin);
    }

    // The stand-in calendar's handles and memory over many more calls.
    const std::string before = DevHostCommand(L"status");
    for (int i = 0; i < soak; ++i)
        if (!mcp.Send(cases[0].mcpLine) || !mcp.ReadLine(line)) break;
    const std::string after = DevHostCommand(L"status");
    const auto processLine = [](const std::string& status) {
        const std::size_t at = status.find("process: ");
        return at == std::string::npos ? std::string("?") : status.substr(at + 9, status.find('\n', at) - at - 9);
    };
    std::printf("\nstand-in calendar with the plug-in, before %d more calls: %s\n", soak, processLine(before).c_str());
    std::printf("stand-in calendar with the plug-in, after  %d more calls: %s\n", soak, processLine(after).c_str());

    mcp.Finish();
    echo.Finish();
    DevHostCommand(L"quit");
    WaitForSingleObject(calendar.process.get(), 20000);
    calendar.Finish();
    RemoveFolder(stem);

    // tessary-mcp alone: a stand-in pipe server hands it the saved 366-day
    // answer, and a raw client reads the same answer from it.
    Case& year = cases.back();
    const std::wstring saved = stem + L"-answer.json";
    Series relay, raw;
    BarePipe canned;
    Child relayMcp;
    if (WriteFileBytes(saved, year.pipeReply) && canned.Start(kCalendarPipe, saved) && relayMcp.Start(mcpExe, env.c_str())) {
        if (relayMcp.Send(year.mcpLine) && relayMcp.ReadLine(line) && line.size() + 1 == year.mcpReplyBytes) {
            Rounds(rounds, {[&] {
                                const auto start = Clock::now();
                                if (relayMcp.Send(year.mcpLine) && relayMcp.ReadLine(line)) relay.Add(MicrosSince(start));
                            },
                            [&] {
                                DWORD got = 0;
                                const auto start = Clock::now();
                                if (canned.CallRaw(year.pipeRequest, got) && got == year.pipeReplyBytes)
                                    raw.Add(MicrosSince(start));
                            }});
        } else {
            std::printf("road_bench: tessary-mcp relayed the saved answer differently: %s\n", Head(line, 300).c_str());
        }
        relayMcp.Finish();
        canned.Stop();
    } else {
        std::printf("road_bench: the stand-in pipe server for the saved answer did not start\n");
    }
    DeleteFileW(saved.c_str());
    std::printf("\nthe saved %zu-byte answer of the 366-day query, from a stand-in pipe server:\n", year.pipeReplyBytes);
    PrintSeries("tessary-mcp relaying it (MCP in, MCP out)", relay);
    PrintSeries("a raw client reading it", raw);

    // Cold start: process creation to the first reply.
    Series mcpStart, echoStart;
    const std::string initialize =
        "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{\"protocolVersion\":\"2024-11-05\","
        "\"capabilities\":{},\"clientInfo\":{\"name\":\"road_bench\",\"version\":\"1\"}}}\n";
    const auto startToReply = [&](const std::wstring& exe, const std::string& first, Series& into) {
        Child child;
        const auto start = Clock::now();
        if (child.Start(exe, env.c_str()) && child.Send(first) && child.ReadLine(line)) into.Add(MicrosSince(start));
        child.Finish();
    };
    startToReply(mcpExe, initialize, mcpStart);  // warm-up: the files in the cache
    startToReply(echoExe, initialize, echoStart);
    mcpStart.us.clear();
    echoStart.us.clear();
    Rounds(coldStarts, {[&] { startToReply(mcpExe, initialize, mcpStart); },
                        [&] { startToReply(echoExe, initialize, echoStart); }});
    std::printf("\ncold start, process creation to the first reply (%d rounds):\n", coldStarts);
    PrintSeries("tessary-mcp to its \"initialize\" reply", mcpStart);
    PrintSeries("road_echo to its first line", echoStart);

    std::vector<Figure> figures;
    const char* targets[] = {"<= 1.5x", "<= 2x", "<= 3x"};
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        figures.push_back({std::string(c.label) + ", whole road vs echo + pipe + hop", &c.road, {&c.echo, &c.bare, &hops},
                           targets[i]});
    }
    for (const Case& c : cases)
        figures.push_back({std::string("plug-in pipe alone, ") + c.query + ", vs bare pipe", &c.plugin, {&c.bare}, ""});
    figures.push_back({"tessary-mcp relaying the saved answer vs a raw client", &relay, {&raw}, ""});
    figures.push_back({"cold start to the initialize reply vs road_echo", &mcpStart, {&echoStart}, "<= 1.2x"});
    PrintFigures(figures);

    hop.Stop();
    bare.Stop();
    return 0;
}

}  // namespace

int wmainImpl(int argc, wchar_t** argv)
{
    if (argc >= 3 && std::wstring(argv[1]) == L"--pipe-server") return PipeServer(argv[2], argc >= 4 ? argv[3] : L"");
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int rounds = argc > 1 ? std::max(5, _wtoi(argv[1])) : 300;
    const int soak = argc > 2 ? std::max(0, _wtoi(argv[2])) : 10000;
    const int coldStarts = argc > 3 ? std::max(3, _wtoi(argv[3])) : 40;
    return Bench(rounds, soak, coldStarts);
}

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int rc = wmainImpl(argc, argv);
    LocalFree(argv);
    return rc;
}
