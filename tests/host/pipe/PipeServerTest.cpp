// The plug-in's pipe server: the gate's checks and their order, the hand-over
// to the main thread with its 15-second limit, and the pipe's one request
// and one answer per connection with its time limits.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "AiMcpPipeServer.h"
#include "DevHostApi.h"
#include "HandleGauge.h"
#include "PipeTestSupport.h"
#include "ProcessUser.h"

namespace {

std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<char>(c));  // the tests' texts are ASCII
    return out;
}

const std::string kToken = Utf8(StandInHost::kToken);

std::string Request(const std::string& method, const std::string& extra = "")
{
    return "{\"id\":\"1\",\"token\":\"" + kToken + "\",\"method\":\"" + method + "\"" + extra + "}";
}

// A dispatcher that records where and with what it ran.
struct RecordingDispatch {
    std::atomic<int> calls{0};
    DWORD threadId = 0;
    std::wstring id, method, params;
    DWORD sleepMs = 0;

    CAiMcpPipeServer::DispatchFunction Function()
    {
        return [this](const std::wstring& i, const std::wstring& m, const std::wstring& p) {
            ++calls;
            threadId = GetCurrentThreadId();
            id = i;
            method = m;
            params = p;
            if (sleepMs) Sleep(sleepMs);
            return L"{\"id\":\"" + i + L"\",\"ok\":true,\"result\":{\"tool\":\"" + m + L"\"}}";
        };
    }
};

class PipeServer : public testing::Test {
protected:
    StandInHost host;
    std::wstring pipeName = UniquePipeName();
    CAiMcpPipeServer server{pipeName};
    RecordingDispatch dispatch;

    void SetUp() override { server.SetDispatchForTest(dispatch.Function()); }
    void TearDown() override { server.StopServer(); }
};

// --- The gate -------------------------------------------------------------------

struct GateCase {
    const char* name;
    bool enabled;
    std::wstring storedToken;
    std::wstring request;
    std::wstring answer;
};

class Gate : public PipeServer, public testing::WithParamInterface<GateCase> {};

TEST_P(Gate, AnswersWithoutTheMainThread)
{
    const GateCase& c = GetParam();
    host.SetEnabled(c.enabled);
    host.SetToken(c.storedToken);
    server.RefreshSettings();
    EXPECT_EQ(server.HandleRequest(c.request), c.answer);
    EXPECT_EQ(dispatch.calls, 0);
}

const std::wstring T = StandInHost::kToken;
const std::wstring kDisabled = L"\"ok\":false,\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI access to the local calendar is turned off\"}}";
const std::wstring kUnauthorizedAnswer = L"\"ok\":false,\"error\":{\"code\":\"UNAUTHORIZED\",\"message\":\"missing or invalid token\"}}";

std::wstring Nested(int depth)
{
    // depth levels in all, the outer object included.
    return L"{\"id\":\"9\",\"method\":\"ping\",\"token\":\"" + T + L"\",\"x\":" + std::wstring(depth - 1, L'[') +
           std::wstring(depth - 1, L']') + L"}";
}

INSTANTIATE_TEST_SUITE_P(
    PipeServer, Gate,
    testing::Values(
        GateCase{"Ping", true, T, L"{\"id\":\"7\",\"token\":\"" + T + L"\",\"method\":\"ping\"}",
                 L"{\"id\":\"7\",\"ok\":true,\"result\":{\"pong\":true}}"},
        GateCase{"TokenInParams", true, T, L"{\"id\":\"7\",\"method\":\"ping\",\"params\":{\"token\":\"" + T + L"\"}}",
                 L"{\"id\":\"7\",\"ok\":true,\"result\":{\"pong\":true}}"},
        GateCase{"NumericTopTokenFallsBackToParams", true, T,
                 L"{\"id\":\"7\",\"token\":5,\"method\":\"ping\",\"params\":{\"token\":\"" + T + L"\"}}",
                 L"{\"id\":\"7\",\"ok\":true,\"result\":{\"pong\":true}}"},
        GateCase{"TopTokenWinsOverParams", true, T,
                 L"{\"id\":\"7\",\"token\":\"bad\",\"method\":\"ping\",\"params\":{\"token\":\"" + T + L"\"}}",
                 L"{\"id\":\"7\"," + kUnauthorizedAnswer},
        GateCase{"DisabledBeforeUnauthorized", false, T, L"{\"id\":\"7\",\"token\":\"wrong\",\"method\":\"ping\"}",
                 L"{\"id\":\"7\"," + kDisabled},
        GateCase{"NoStoredTokenRefusesEmpty", true, L"", L"{\"id\":\"7\",\"token\":\"\",\"method\":\"ping\"}",
                 L"{\"id\":\"7\"," + kUnauthorizedAnswer},
        GateCase{"TokenCaseMatters", true, T, L"{\"id\":\"7\",\"token\":\"0123456789ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef\",\"method\":\"ping\"}",
                 L"{\"id\":\"7\"," + kUnauthorizedAnswer},
        GateCase{"MethodCheckedAfterToken", true, T, L"{\"id\":\"7\",\"token\":\"" + T + L"\"}",
                 L"{\"id\":\"7\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"malformed request: missing \\\"method\\\" string\"}}"},
        GateCase{"MissingMethodWithBadTokenIsUnauthorized", true, T, L"{\"id\":\"7\"}", L"{\"id\":\"7\"," + kUnauthorizedAnswer},
        GateCase{"NumericIdIsEmpty", true, T, L"{\"id\":5,\"token\":\"" + T + L"\",\"method\":\"ping\"}",
                 L"{\"id\":\"\",\"ok\":true,\"result\":{\"pong\":true}}"},
        GateCase{"IdEscapedNonAsciiKept", true, T, L"{\"id\":\"a\\\"b\\\\c\\u0001\x65E5\",\"token\":\"" + T + L"\",\"method\":\"ping\"}",
                 L"{\"id\":\"a\\\"b\\\\c\\u0001\x65E5\",\"ok\":true,\"result\":{\"pong\":true}}"},
        GateCase{"NotAnObject", true, T, L"[1,2]",
                 L"{\"id\":\"\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"malformed request: expected a JSON object\"}}"},
        GateCase{"Empty", true, T, L"",
                 L"{\"id\":\"\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"malformed request: expected a JSON object\"}}"},
        GateCase{"Depth64Passes", true, T, Nested(64), L"{\"id\":\"9\",\"ok\":true,\"result\":{\"pong\":true}}"},
        GateCase{"Depth65Fails", true, T, Nested(65),
                 L"{\"id\":\"\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"malformed request: the JSON is nested too deeply\"}}"},
        GateCase{"BracketsInStringsDoNotCount", true, T,
                 L"{\"id\":\"9\",\"method\":\"ping\",\"token\":\"" + T + L"\",\"x\":\"\\\"" + std::wstring(1000, L'[') + L"\"}",
                 L"{\"id\":\"9\",\"ok\":true,\"result\":{\"pong\":true}}"}),
    [](const testing::TestParamInfo<GateCase>& info) { return std::string(info.param.name); });

// --- The bridge -------------------------------------------------------------------

TEST_F(PipeServer, ToolRequestsRunOnTheMainThread)
{
    ASSERT_EQ(server.StartServer(), 1);
    const std::string answer = RunWhilePumping([&] {
        return Utf8(server.HandleRequest(L"{\"id\":\"3\",\"token\":\"" + T + L"\",\"method\":\"items_get\",\"params\":[1]}"));
    });
    EXPECT_EQ(answer, "{\"id\":\"3\",\"ok\":true,\"result\":{\"tool\":\"items_get\"}}");
    EXPECT_EQ(dispatch.calls, 1);
    EXPECT_EQ(dispatch.threadId, GetCurrentThreadId());
    EXPECT_EQ(dispatch.params, L"");  // params given as an array reach the handler as empty text
}

TEST_F(PipeServer, StalledMainThreadTimesOutAndTheToolNeverRuns)
{
    ASSERT_EQ(server.StartServer(), 1);
    std::string answer;
    DWORD elapsed = 0;
    std::thread worker([&] {
        const DWORD start = GetTickCount();
        answer = Utf8(server.HandleRequest(L"{\"id\":\"4\",\"token\":\"" + T + L"\",\"method\":\"items_get\"}"));
        elapsed = GetTickCount() - start;
    });
    Sleep(20000);  // the main thread pumps nothing for 20 seconds
    worker.join();
    EXPECT_EQ(answer, "{\"id\":\"4\",\"ok\":false,\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar did not answer in time\"}}");
    EXPECT_GE(elapsed, 14500u);
    EXPECT_LT(elapsed, 17000u);
    PumpFor(500);  // the stale message arrives now and is ignored
    EXPECT_EQ(dispatch.calls, 0);

    // The next request runs normally, and only it.
    const std::string next = RunWhilePumping([&] {
        return Utf8(server.HandleRequest(L"{\"id\":\"5\",\"token\":\"" + T + L"\",\"method\":\"notes_list\"}"));
    });
    EXPECT_EQ(next, "{\"id\":\"5\",\"ok\":true,\"result\":{\"tool\":\"notes_list\"}}");
    EXPECT_EQ(dispatch.calls, 1);
}

TEST_F(PipeServer, ToolTakenInTimeIsWaitedForHoweverLongItRuns)
{
    ASSERT_EQ(server.StartServer(), 1);
    dispatch.sleepMs = 30000;
    const DWORD start = GetTickCount();
    const std::string answer = RunWhilePumping([&] {
        return Utf8(server.HandleRequest(L"{\"id\":\"6\",\"token\":\"" + T + L"\",\"method\":\"events_query\"}"));
    });
    EXPECT_GE(GetTickCount() - start, 29500u);
    EXPECT_EQ(answer, "{\"id\":\"6\",\"ok\":true,\"result\":{\"tool\":\"events_query\"}}");
}

TEST_F(PipeServer, StopWhileARequestWaitsReturnsPromptly)
{
    ASSERT_EQ(server.StartServer(), 1);
    std::string answer;
    std::thread worker([&] {
        answer = Utf8(server.HandleRequest(L"{\"id\":\"8\",\"token\":\"" + T + L"\",\"method\":\"items_get\"}"));
    });
    Sleep(1000);  // the request waits; the main thread does not pump
    const DWORD start = GetTickCount();
    server.StopServer();
    EXPECT_LT(GetTickCount() - start, 3000u);
    worker.join();
    EXPECT_EQ(answer, "{\"id\":\"8\",\"ok\":false,\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar did not answer in time\"}}");
    EXPECT_FALSE(server.IsRunning());
    PumpFor(200);
    EXPECT_EQ(dispatch.calls, 0);
}

TEST_F(PipeServer, ToolRequestBeforeStartIsNotReady)
{
    server.RefreshSettings();
    EXPECT_EQ(server.HandleRequest(L"{\"id\":\"1\",\"token\":\"" + T + L"\",\"method\":\"items_get\"}"),
              L"{\"id\":\"1\",\"ok\":false,\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar is not ready to serve requests\"}}");
    EXPECT_EQ(dispatch.calls, 0);
}

// --- The pipe ------------------------------------------------------------------------

TEST_F(PipeServer, AnswersOneRequestPerConnectionWithOneLineFeed)
{
    ASSERT_EQ(server.StartServer(), 1);
    const PipeExchange ping = ExchangeOverPipe(pipeName, "  \r\n" + Request("ping") + "\n\t ");
    ASSERT_TRUE(ping.answered) << ping.connectError << " " << ping.readError;
    EXPECT_EQ(ping.reply, "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n");

    const PipeExchange blank = ExchangeOverPipe(pipeName, " \r\n \n");
    EXPECT_EQ(blank.reply, "{\"id\":\"\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"malformed request: expected a JSON object\"}}\n");

    const std::string tool = RunWhilePumping([&] { return ExchangeOverPipe(pipeName, Request("calendar_list")).reply; });
    EXPECT_EQ(tool, "{\"id\":\"1\",\"ok\":true,\"result\":{\"tool\":\"calendar_list\"}}\n");
}

TEST_F(PipeServer, RequestsUpTo65536BytesAreRead)
{
    ASSERT_EQ(server.StartServer(), 1);
    const auto padded = [](std::size_t size) {
        std::string r = Request("ping", ",\"pad\":\"");
        r.insert(r.size() - 1, std::string(size - r.size() - 1, 'x') + "\"");
        return r;
    };
    ASSERT_EQ(padded(65536).size(), 65536u);
    const PipeExchange fits = ExchangeOverPipe(pipeName, padded(65536));
    EXPECT_EQ(fits.reply, "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n");

    const PipeExchange tooLong = ExchangeOverPipe(pipeName, padded(65537));
    EXPECT_FALSE(tooLong.answered);
    const PipeExchange empty = ExchangeOverPipe(pipeName, "");
    EXPECT_FALSE(empty.answered);
    // The server serves on after both.
    EXPECT_EQ(ExchangeOverPipe(pipeName, Request("ping")).reply, "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n");
}

TEST_F(PipeServer, SilentClientIsDroppedAfterTenSeconds)
{
    ASSERT_EQ(server.StartServer(), 1);
    UniqueFile pipe = OpenPipeClient(pipeName, 5000);
    ASSERT_TRUE(pipe);
    const DWORD start = GetTickCount();
    char buffer[16];
    DWORD got = 0;
    EXPECT_FALSE(ReadFile(pipe.get(), buffer, sizeof buffer, &got, nullptr));  // ends when the server disconnects
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 9500u);
    EXPECT_LT(elapsed, 13000u);
}

TEST_F(PipeServer, ClientThatKeepsThePipeOpenIsDroppedAfterItsAnswer)
{
    ASSERT_EQ(server.StartServer(), 1);
    UniqueFile pipe = OpenPipeClient(pipeName, 5000);
    ASSERT_TRUE(pipe);
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
    const std::string ping = Request("ping");
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(pipe.get(), ping.data(), static_cast<DWORD>(ping.size()), &n, nullptr));
    char buffer[256];
    ASSERT_TRUE(ReadFile(pipe.get(), buffer, sizeof buffer, &n, nullptr));

    // A second client finds the single instance busy meanwhile.
    UniqueFile second(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(second);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PIPE_BUSY));

    const DWORD start = GetTickCount();
    EXPECT_FALSE(ReadFile(pipe.get(), buffer, sizeof buffer, &n, nullptr));
    EXPECT_GE(GetTickCount() - start, 9500u);
    pipe.reset();
    // Once the first is gone, the second gets through.
    EXPECT_EQ(ExchangeOverPipe(pipeName, Request("ping")).reply, "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n");
}

TEST_F(PipeServer, StartAndStopAreIdempotent)
{
    EXPECT_EQ(server.StartServer(), 1);
    EXPECT_EQ(server.StartServer(), 1);
    EXPECT_TRUE(server.IsRunning());
    EXPECT_EQ(ExchangeOverPipe(pipeName, Request("ping")).reply, "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n");
    server.StopServer();
    server.StopServer();
    EXPECT_FALSE(server.IsRunning());
    EXPECT_FALSE(ExchangeOverPipe(pipeName, Request("ping"), 200).connected);
    // And it starts again, the bridge window class still registered or not.
    EXPECT_EQ(server.StartServer(), 1);
    EXPECT_EQ(ExchangeOverPipe(pipeName, Request("ping")).reply, "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n");
}

std::wstring TraceTail()
{
    wchar_t trace[8192];
    DevHost::CopyTraceTail(40, trace, 8192);
    return trace;
}

const std::string kPong = "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n";

// While another process holds the pipe's name the server adds no instance
// of its own (clients could reach either): the worker waits until the name
// is free and then serves. The squatter here allows one instance, which
// every platform enforces; one that allows any number is refused through
// the first-instance flag, which only Windows enforces.
TEST_F(PipeServer, PipeNameTakenIsWaitedForThenServed)
{
    UniqueFile squatter(CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE, 1, 4096, 4096, 0,
                                         nullptr));
    ASSERT_TRUE(squatter);
    EXPECT_EQ(server.StartServer(), 1);
    EXPECT_TRUE(server.IsRunning());
    Sleep(600);
    EXPECT_NE(TraceTail().find(L"CAiMcpPipeServer: the pipe name is already taken, waiting for it err = "),
              std::wstring::npos)
        << TraceTail();
    // Only the squatter's instance exists: a client that connects now
    // reaches it, and nothing of the server answers.
    UniqueFile early = OpenPipeClient(pipeName, 200);
    EXPECT_TRUE(early);
    early.reset();

    squatter.reset();
    const std::string reply = RunWhilePumping([&] { return ExchangeOverPipe(pipeName, Request("ping"), 5000).reply; });
    EXPECT_EQ(reply, kPong);
    EXPECT_NE(TraceTail().find(L"CAiMcpPipeServer: the pipe name is free, serving"), std::wstring::npos);
    server.StopServer();
    EXPECT_FALSE(server.IsRunning());
}

// Switching AI access on again restarts the server while a client may still
// hold the previous run's instance, which on Windows keeps the name taken
// until the client lets go; the new run serves as soon as it is free.
TEST_F(PipeServer, RestartWhileAClientHoldsTheOldInstanceServesOnceItLetsGo)
{
    ASSERT_EQ(server.StartServer(), 1);
    UniqueFile holder = OpenPipeClient(pipeName, 5000);
    ASSERT_TRUE(holder);
    server.StopServer();
    ASSERT_EQ(server.StartServer(), 1);
    Sleep(300);
    holder.reset();
    const std::string reply = RunWhilePumping([&] { return ExchangeOverPipe(pipeName, Request("ping"), 5000).reply; });
    EXPECT_EQ(reply, kPong) << TraceTail();
}

// The pipe's access list, read back from a client's handle: SYSTEM and the
// user this process runs as, nothing else, nothing inherited.
TEST_F(PipeServer, PipeIsOpenToTheUserAndSystemOnly)
{
    ASSERT_EQ(server.StartServer(), 1);
    UniqueFile client = OpenPipeClient(pipeName, 5000);
    ASSERT_TRUE(client);

    PACL dacl = nullptr;
    UniqueLocal<PSECURITY_DESCRIPTOR> descriptor;
    ASSERT_EQ(GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, descriptor.put()),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_DACL_PROTECTED);

    std::vector<unsigned char> user = ProcessUserSid(GetCurrentProcess());
    ASSERT_FALSE(user.empty());
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = nullptr;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));

    ASSERT_EQ(dacl->AceCount, 2);
    bool sawUser = false, sawSystem = false;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        ASSERT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_TRUE(allowed->Mask == GENERIC_ALL || allowed->Mask == FILE_ALL_ACCESS) << std::hex << allowed->Mask;
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        if (EqualSid(sid, user.data())) sawUser = true;
        if (EqualSid(sid, system)) sawSystem = true;
    }
    FreeSid(system);
    EXPECT_TRUE(sawUser);
    EXPECT_TRUE(sawSystem);
}

// The server starts each connect, read and write with the event the one
// before it left signalled: the platform must clear it when the operation
// starts, or the wait would end before the operation has.
TEST(OverlappedPipeCalls, ClearTheirSignalledEventWhenTheyStart)
{
    const std::wstring name = UniquePipeName();
    UniqueFile server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
    ASSERT_TRUE(server);
    UniqueHandle event(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    ASSERT_TRUE(event);
    const auto pendingClearsEvent = [&](const char* what, BOOL started, OVERLAPPED& ov) {
        SCOPED_TRACE(what);
        EXPECT_FALSE(started);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_FALSE(HasOverlappedIoCompleted(&ov));
    };

    OVERLAPPED ov{};
    ov.hEvent = event.get();
    pendingClearsEvent("connect", ConnectNamedPipe(server.get(), &ov), ov);
    UniqueFile client(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(client);
    ASSERT_EQ(WaitForSingleObject(event.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));

    char buffer[16];
    ov = OVERLAPPED{};
    ov.hEvent = event.get();
    pendingClearsEvent("read", ReadFile(server.get(), buffer, sizeof buffer, nullptr, &ov), ov);
    DWORD bytes = 0;
    ASSERT_TRUE(WriteFile(client.get(), "ping", 4, &bytes, nullptr));
    ASSERT_EQ(WaitForSingleObject(event.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    ASSERT_TRUE(GetOverlappedResult(server.get(), &ov, &bytes, FALSE));
    EXPECT_EQ(bytes, 4u);

    // More than the pipe holds, so the write waits for a reader.
    const std::vector<char> large(64 * 1024, 'x');
    ov = OVERLAPPED{};
    ov.hEvent = event.get();
    pendingClearsEvent("write",
                       WriteFile(server.get(), large.data(), static_cast<DWORD>(large.size()), nullptr, &ov), ov);
    CancelIo(server.get());
    GetOverlappedResult(server.get(), &ov, &bytes, TRUE);
}

TEST_F(PipeServer, NoHandlesLeakOverAThousandRequests)
{
    ASSERT_EQ(server.StartServer(), 1);
    const auto round = [&](int count) {
        RunWhilePumping([&] {
            for (int i = 0; i < count; ++i) {
                ExchangeOverPipe(pipeName, Request("ping"));
                ExchangeOverPipe(pipeName, Request("notes_list"));
            }
            return std::string();
        });
    };
    round(20);  // warm up anything created once
    const DWORD before = OpenHandleGauge();
    ASSERT_GT(before, 0u);
    round(500);
    const DWORD after = OpenHandleGauge();
    EXPECT_LE(after, before + 5) << before << " -> " << after;
    EXPECT_EQ(dispatch.calls, 520);
}

}  // namespace
