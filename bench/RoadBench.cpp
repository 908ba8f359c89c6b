// The cost of one tool call over the whole road (an MCP request into
// tessary-mcp.exe, the pipe, the plug-in's gate, the hand-over to the stand-in
// calendar's main thread, the dispatcher, and back), side by side with a bare
// named-pipe request and reply between two processes on the same system; then
// the stand-in calendar's handles and memory before and after many calls.
// Prints figures; never fails.
//
//   road_bench.exe [calls]        (default 2000 timed calls, 10000 for the soak)
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "UniqueHandle.h"

namespace {

using Clock = std::chrono::steady_clock;

std::wstring Folder()
{
    wchar_t path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

// A child process with pipes on its standard input and output.
struct Child {
    UniqueHandle process, in, out;
    bool Start(const std::wstring& commandLine, const wchar_t* environment = nullptr)
    {
        SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
        UniqueHandle inRead, outWrite;
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
    // Reads one line (up to LF) from the child's output, in large reads:
    // a read per byte would cost more than what is being measured.
    bool ReadLine(std::string& line)
    {
        for (;;) {
            const std::size_t lf = pending.find('\n');
            if (lf != std::string::npos) {
                line.assign(pending, 0, lf);
                pending.erase(0, lf + 1);
                return true;
            }
            char chunk[65536];
            DWORD got = 0;
            if (!ReadFile(out.get(), chunk, sizeof chunk, &got, nullptr) || got == 0) return false;
            pending.append(chunk, got);
        }
    }
    std::string pending;
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

void Report(const char* what, std::vector<double>& us)
{
    if (us.empty()) {
        std::printf("%-44s no samples\n", what);
        return;
    }
    std::sort(us.begin(), us.end());
    double sum = 0;
    for (double v : us) sum += v;
    std::printf("%-44s n=%zu mean=%.0f us p50=%.0f us p99=%.0f us\n", what, us.size(), sum / us.size(), us[us.size() / 2],
                us[us.size() * 99 / 100]);
}

int EchoServer(const std::wstring& name)
{
    UniqueFile pipe(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                     65536, 65536, 0, nullptr));
    if (!pipe) return 1;
    std::vector<char> buffer(65536);
    for (;;) {
        if (!ConnectNamedPipe(pipe.get(), nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) return 1;
        DWORD got = 0, put = 0;
        if (ReadFile(pipe.get(), buffer.data(), 65536, &got, nullptr)) {
            if (got == 4 && std::string(buffer.data(), 4) == "quit") return 0;
            WriteFile(pipe.get(), buffer.data(), got, &put, nullptr);
            FlushFileBuffers(pipe.get());
        }
        DisconnectNamedPipe(pipe.get());
    }
}

// One request/reply on a fresh connection, as tessary-mcp makes it.
bool PipeRoundTrip(const std::wstring& name, const std::string& request, std::vector<char>& reply)
{
    UniqueFile pipe;
    for (int attempt = 0; attempt < 500 && !pipe; ++attempt) {
        pipe.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!pipe) WaitNamedPipeW(name.c_str(), 20);
    }
    if (!pipe) return false;
    DWORD mode = PIPE_READMODE_MESSAGE, n = 0;
    SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
    WriteFile(pipe.get(), request.data(), static_cast<DWORD>(request.size()), &n, nullptr);
    return ReadFile(pipe.get(), reply.data(), static_cast<DWORD>(reply.size()), &n, nullptr) != FALSE;
}

std::vector<double> BarePipe(int calls)
{
    const std::wstring name = L"\\\\.\\pipe\\road-bench-echo-" + std::to_wstring(GetCurrentProcessId());
    Child server;
    std::vector<double> us;
    if (!server.Start(L"\"" + Folder() + L"road_bench.exe\" --echo " + name)) return us;
    const std::string request = "{\"id\":\"1\",\"token\":\"x\",\"method\":\"calendar_list\",\"params\":{}}";
    std::vector<char> reply(65536);
    for (int i = 0; i < calls + 1; ++i) {
        const auto start = Clock::now();
        UniqueFile pipe;
        for (int attempt = 0; attempt < 500 && !pipe; ++attempt) {
            pipe.reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!pipe) WaitNamedPipeW(name.c_str(), 20);
        }
        if (!pipe) break;
        DWORD mode = PIPE_READMODE_MESSAGE, n = 0;
        SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
        const std::string& message = i == calls ? std::string("quit") : request;
        WriteFile(pipe.get(), message.data(), static_cast<DWORD>(message.size()), &n, nullptr);
        if (i < calls) ReadFile(pipe.get(), reply.data(), 65536, &n, nullptr);
        if (i > 0 && i < calls) us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    WaitForSingleObject(server.process.get(), 5000);
    return us;
}

}  // namespace

int wmainImpl(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wstring(argv[1]) == L"--echo") return EchoServer(argv[2]);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int calls = argc > 1 ? std::max(10, _wtoi(argv[1])) : 2000;
    const int soak = 10000;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring data = std::wstring(temp) + L"road-bench-" + std::to_wstring(GetCurrentProcessId());
    Child calendar;
    if (!calendar.Start(L"\"" + Folder() + L"tessary-devhost.exe\" --data \"" + data + L"\"")) {
        std::printf("road_bench: the stand-in calendar did not start\n");
        return 0;
    }
    std::string line;
    while (calendar.ReadLine(line) && line.find("ready") == std::string::npos) {
    }
    DevHostCommand(L"ai on");
    std::string token = DevHostCommand(L"setting get sys_aimcp_token");
    token = token.size() > 3 ? token.substr(3, 64) : std::string();

    // The environment of tessary-mcp: ours plus the token.
    std::wstring env;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) env += std::wstring(p) + L'\0';
    FreeEnvironmentStringsW(block);
    env += L"TESSARY_AIMCP_TOKEN=" + std::wstring(token.begin(), token.end()) + L'\0';
    env += L'\0';

    Child mcp;
    if (!mcp.Start(L"\"" + Folder() + L"tessary-mcp.exe\"", env.c_str())) {
        std::printf("road_bench: tessary-mcp did not start\n");
        return 0;
    }
    const std::string call = "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"calendar_list\"}}\n";
    const auto roundTrip = [&] {
        DWORD n = 0;
        WriteFile(mcp.in.get(), call.data(), static_cast<DWORD>(call.size()), &n, nullptr);
        return mcp.ReadLine(line);
    };
    roundTrip();
    std::printf("one reply over the whole road: %s\n\n", line.c_str());

    std::vector<double> road;
    for (int i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        if (!roundTrip()) break;
        road.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::vector<double> direct;
    {
        const std::string request = "{\"id\":\"1\",\"token\":\"" + token + "\",\"method\":\"calendar_list\",\"params\":{}}";
        std::vector<char> reply(65536);
        for (int i = 0; i < calls; ++i) {
            const auto start = Clock::now();
            if (!PipeRoundTrip(L"\\\\.\\pipe\\TessaryAiMcp-v1", request, reply)) break;
            direct.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    std::vector<double> bare = BarePipe(calls);
    Report("tool call over the whole road (MCP in/out)", road);
    Report("the same request sent to the plug-in's pipe", direct);
    Report("bare named-pipe request/reply", bare);

    const std::string before = DevHostCommand(L"status");
    for (int i = 0; i < soak; ++i)
        if (!roundTrip()) break;
    const std::string after = DevHostCommand(L"status");
    const auto processLine = [](const std::string& status) {
        const std::size_t at = status.find("process: ");
        return at == std::string::npos ? std::string("?") : status.substr(at + 9, status.find('\n', at) - at - 9);
    };
    std::printf("\nstand-in calendar with the plug-in, before %d more calls: %s\n", soak, processLine(before).c_str());
    std::printf("stand-in calendar with the plug-in, after  %d more calls: %s\n", soak, processLine(after).c_str());

    mcp.in.reset();
    WaitForSingleObject(mcp.process.get(), 10000);
    DevHostCommand(L"quit");
    WaitForSingleObject(calendar.process.get(), 20000);
    return 0;
}

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int rc = wmainImpl(argc, argv);
    LocalFree(argv);
    return rc;
}
