// Round-trip latency of tessary-mcp.exe as an MCP client sees it: the program
// is started as a child with redirected standard input and output, and
// requests are sent one at a time, each timed from the write of the request
// until its whole reply has been read.
//
// Prints its figures and always exits with code 0; it is not a test.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "UniqueHandle.h"

namespace {

using Clock = std::chrono::steady_clock;

enum class Framing { Line, ContentLength };

std::wstring ExeBesideThisProgram(const wchar_t* name)
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return std::wstring();
        if (n < path.size()) {
            std::wstring self(path.data(), n);
            const size_t slash = self.find_last_of(L"\\/");
            return (slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1)) + name;
        }
        path.resize(path.size() * 2);
    }
}

// tessary-mcp.exe as a child process, talked to over two anonymous pipes.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { Stop(); }

    bool Start(const std::wstring& exe)
    {
        SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        UniqueFile childIn, childOut;
        if (!CreatePipe(childIn.put(), toChild_.put(), &inheritable, 0)) return Fail("CreatePipe (stdin)");
        if (!CreatePipe(fromChild_.put(), childOut.put(), &inheritable, 0)) return Fail("CreatePipe (stdout)");
        // Only the child's ends are inherited; ours must not be, or the child
        // would never see its input end.
        SetHandleInformation(toChild_.get(), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(fromChild_.get(), HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn.get();
        startup.hStdOutput = childOut.get();
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

        std::wstring commandLine = L"\"" + exe + L"\"";
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &info))
            return Fail("CreateProcessW");
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        return true;  // the child's pipe ends close here, leaving the child the only holder
    }

    bool Send(const std::string& bytes)
    {
        DWORD written = 0;
        if (!WriteFile(toChild_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return Fail("WriteFile");
        return true;
    }

    // One reply in the given framing; its body without framing bytes.
    bool Receive(Framing framing, std::string& body)
    {
        return framing == Framing::Line ? ReceiveLine(body) : ReceiveFrame(body);
    }

    // Ends the child's input and waits for it to exit; gives its exit code,
    // or -1 if it had to be terminated.
    long Stop()
    {
        if (!process_) return -1;
        toChild_.reset();
        DWORD code = 0;
        long result = -1;
        if (WaitForSingleObject(process_.get(), 10000) == WAIT_OBJECT_0 && GetExitCodeProcess(process_.get(), &code))
            result = static_cast<long>(code);
        else
            TerminateProcess(process_.get(), 1);
        process_.reset();
        fromChild_.reset();
        return result;
    }

private:
    bool Fail(const char* what)
    {
        std::fprintf(stderr, "mcp_bench: %s failed, err %lu\n", what, GetLastError());
        return false;
    }

    bool Fill()
    {
        char chunk[65536];
        DWORD got = 0;
        if (!ReadFile(fromChild_.get(), chunk, sizeof chunk, &got, nullptr) || got == 0) {
            std::fprintf(stderr, "mcp_bench: the server's output ended (err %lu)\n", GetLastError());
            return false;
        }
        buffer_.append(chunk, got);
        return true;
    }

    bool ReceiveLine(std::string& body)
    {
        size_t lf;
        while ((lf = buffer_.find('\n')) == std::string::npos) {
            if (!Fill()) return false;
        }
        body.assign(buffer_, 0, lf);
        buffer_.erase(0, lf + 1);
        return true;
    }

    bool ReceiveFrame(std::string& body)
    {
        static const char kSeparator[] = "\r\n\r\n";
        size_t end;
        while ((end = buffer_.find(kSeparator)) == std::string::npos) {
            if (!Fill()) return false;
        }
        static const char kName[] = "Content-Length: ";
        if (buffer_.compare(0, sizeof kName - 1, kName) != 0) {
            std::fprintf(stderr, "mcp_bench: a framed reply without a Content-Length header\n");
            return false;
        }
        const size_t length = std::strtoul(buffer_.c_str() + sizeof kName - 1, nullptr, 10);
        const size_t start = end + sizeof kSeparator - 1;
        while (buffer_.size() < start + length) {
            if (!Fill()) return false;
        }
        body.assign(buffer_, start, length);
        buffer_.erase(0, start + length);
        return true;
    }

    UniqueFile toChild_;
    UniqueFile fromChild_;
    UniqueHandle process_;
    std::string buffer_;
};

std::string Frame(Framing framing, const std::string& json)
{
    if (framing == Framing::Line) return json + "\n";
    return "Content-Length: " + std::to_string(json.size()) + "\r\n\r\n" + json;
}

struct Series {
    std::vector<double> micros;
    size_t replyBytes = 0;
};

// Sends count requests of the given method one at a time and times each round
// trip. Every reply is checked to answer its own request, so that a figure is
// never made of error replies.
bool Run(ServerProcess& server, Framing framing, const char* method, int count, int firstId, Series& series)
{
    std::string body;
    series.micros.reserve(series.micros.size() + count);
    for (int i = 0; i < count; ++i) {
        const std::string id = std::to_string(firstId + i);
        const std::string request = Frame(framing, "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"method\":\"" + method + "\"}");
        const Clock::time_point sent = Clock::now();
        if (!server.Send(request) || !server.Receive(framing, body)) return false;
        const Clock::time_point answered = Clock::now();
        const std::string expectedStart = "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"result\":";
        if (body.compare(0, expectedStart.size(), expectedStart) != 0) {
            std::fprintf(stderr, "mcp_bench: unexpected reply to %s id %s: %.200s\n", method, id.c_str(), body.c_str());
            return false;
        }
        series.micros.push_back(std::chrono::duration<double, std::micro>(answered - sent).count());
        series.replyBytes = body.size();
    }
    return true;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    const size_t rank = static_cast<size_t>(std::ceil(p * sorted.size()));
    return sorted[rank == 0 ? 0 : rank - 1];
}

void Report(const char* label, Series series)
{
    std::vector<double>& v = series.micros;
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v) sum += x;
    std::printf("  %-28s n=%-5zu mean %8.1f us   p50 %8.1f us   p99 %8.1f us   max %8.1f us   reply %zu bytes\n",
                label, v.size(), sum / v.size(), Percentile(v, 0.50), Percentile(v, 0.99), v.back(),
                series.replyBytes);
}

struct Case {
    const char* label;
    Framing framing;
    const char* method;
    int count;
};

int Bench()
{
    const std::wstring exe = ExeBesideThisProgram(L"tessary-mcp.exe");
    if (exe.empty() || GetFileAttributesW(exe.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "mcp_bench: tessary-mcp.exe not found beside this program; no figures\n");
        return 0;
    }

    ServerProcess server;
    const Clock::time_point spawned = Clock::now();
    if (!server.Start(exe)) return 0;
    Series first;
    if (!Run(server, Framing::Line, "initialize", 1, 1, first)) return 0;
    const double startMillis = std::chrono::duration<double, std::milli>(Clock::now() - spawned).count();

    std::printf("mcp_bench: tessary-mcp.exe as a child process, one request in flight at a time\n");
    std::printf("  %-28s %.1f ms\n", "start to first reply", startMillis);

    const Case cases[] = {
        {"ping, line framing", Framing::Line, "ping", 2000},
        {"tools/list, line framing", Framing::Line, "tools/list", 200},
        {"ping, Content-Length framing", Framing::ContentLength, "ping", 2000},
    };
    int nextId = 100;
    for (const Case& c : cases) {
        Series warmUp, series;
        if (!Run(server, c.framing, c.method, 20, nextId, warmUp)) return 0;
        nextId += 20;
        if (!Run(server, c.framing, c.method, c.count, nextId, series)) return 0;
        nextId += c.count;
        Report(c.label, std::move(series));
    }

    const long exitCode = server.Stop();
    std::printf("  server exit code after its input ended: %ld\n", exitCode);
    return 0;
}

}  // namespace

int main()
{
    Bench();
    return 0;
}
