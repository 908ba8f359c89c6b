// The whole road under load and under faults, as processes: real
// tessary-mcp.exe sessions and raw pipe clients against one stand-in
// calendar with sample data and AI access on. Every test is bounded in time;
// every fault ends with a plain call that must still work and a check that
// the calendar holds no more handles than before.
//
// The calendar's handle count comes from its status report, which counts
// the handles of the calendar process (walking the handle table where the
// platform reports no count). It is measured after a first call, so that
// whatever the first call creates once is in both figures, and it must be
// back exactly where it was: every connection, stalled request and dropped
// client releases all it took, and under Wine the count is steady from one
// status report to the next, so no tolerance is needed.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "EndToEndSupport.h"
#include "FakeCalendar.h"
#include "JsonValue.h"
#include "RawPipeClient.h"
#include "ServiceTestSupport.h"
#include "UniqueHandle.h"

namespace {

using e2e::CallTool;
using e2e::FromUtf8;
using e2e::ToolCallLine;
using e2e::ToolResult;
using e2e::ToolResultOf;
using e2e::ToUtf8;

const std::wstring kNoAnswerInTime =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar did not answer in time\"}}";
const std::wstring kBusy =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar is busy serving another AI request\"}}";
const std::wstring kClosedWithoutAnswer =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar closed the connection without answering\"}}";
const std::string kMalformedAnswer =
    "{\"id\":\"\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"malformed request: expected a JSON "
    "object\"}}\n";

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// A byte string from a literal that may hold NUL bytes.
template <std::size_t N>
std::string Bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

DWORD Since(DWORD start) { return GetTickCount() - start; }

// The lines of a program's output, without their CR LF or LF.
std::vector<std::string> Lines(const std::string& out)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t lf; (lf = out.find('\n', at)) != std::string::npos; at = lf + 1) lines.push_back(out.substr(at, lf - at));
    if (at < out.size()) lines.push_back(out.substr(at));
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r') line.pop_back();
    return lines;
}

// The reply's id as text ("" when it has none or it is not a number).
std::string ReplyId(const JsonValue* reply)
{
    const JsonValue* id = reply ? reply->GetMember(L"id") : nullptr;
    return id && id->IsNumber() ? std::to_string(static_cast<long long>(id->NumberValue())) : std::string();
}

// Runs one tessary-mcp.exe per input, all at once, each with the token and
// its whole input on standard input; their results in the order of the
// inputs. A program still running after timeoutMs is ended and counts as
// timed out.
std::vector<ChildResult> RunAtOnce(const std::wstring& token, const std::vector<std::string>& inputs, DWORD timeoutMs)
{
    std::vector<ChildResult> results(inputs.size());
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        runs.emplace_back([&, i] {
            ChildOptions options;
            options.environment = {{L"TESSARY_AIMCP_TOKEN", token}};
            options.timeoutMs = timeoutMs;
            results[i] = RunChild(e2e::McpProgram(), inputs[i], options);
        });
    }
    for (std::thread& run : runs) run.join();
    return results;
}

// One tessary-mcp.exe kept running, used the way an MCP client uses it: a
// request is written, its reply awaited, then the next request.
class McpSession {
public:
    bool Start(const std::wstring& token)
    {
        ChildOptions options;
        options.environment = {{L"TESSARY_AIMCP_TOKEN", token}};
        return child_.Start(e2e::McpProgram(), options);
    }

    bool Send(const std::string& id, const std::string& tool, const std::string& arguments = "{}")
    {
        return child_.Write(ToolCallLine(id, tool, arguments));
    }

    // The next reply, which must carry the id; an error result when none
    // comes within the time.
    ToolResult Await(const std::string& id, DWORD timeoutMs)
    {
        const DWORD start = GetTickCount();
        for (;;) {
            const std::string out = child_.StandardOutput();
            const std::size_t lf = out.find('\n', consumed_);
            if (lf != std::string::npos) {
                const std::wstring line = FromUtf8(out.substr(consumed_, lf - consumed_));
                consumed_ = lf + 1;
                const JsonValue::Ptr reply = JsonValue::Parse(line);
                if (ReplyId(reply.get()) != id) return ToolResult{true, L"reply for another id: " + line};
                return ToolResultOf(reply.get(), line);
            }
            if (Since(start) >= timeoutMs) return ToolResult{true, L"no reply within the time"};
            Sleep(20);
        }
    }

    ToolResult Call(const std::string& id, const std::string& tool, const std::string& arguments = "{}")
    {
        if (!Send(id, tool, arguments)) return ToolResult{true, L"cannot write to tessary-mcp"};
        return Await(id, 60000);
    }

    // Ends the input; true when the program then exits with code 0.
    bool Finish()
    {
        child_.CloseInput();
        return child_.WaitForExit(20000) && child_.ExitCode() == 0;
    }

    bool Write(const std::string& bytes) { return child_.Write(bytes); }
    unsigned long long CommittedBytes() const { return child_.CommittedBytes(); }
    std::string StandardOutput() const { return child_.StandardOutput(); }
    std::string Output() const { return child_.Output(); }

private:
    RunningChild child_;
    std::size_t consumed_ = 0;
};

class LoadAndFaults : public testing::Test {
protected:
    RunningChild calendar;
    std::wstring data;
    std::wstring token;
    std::wstring reference;  // calendar_list, answered before anything else ran

    void SetUp() override
    {
        data = FreshTempFolder(L"load");
        ASSERT_TRUE(e2e::StartDevHost(calendar, {L"--data", data, L"--sample"}));
        const ChildResult on = SendToDevHost({L"ai", L"on"});
        ASSERT_EQ(on.exitCode, 0u) << on.out << on.err << calendar.Output();
        token = e2e::StoredToken();
        ASSERT_EQ(token.size(), 64u);
        const ToolResult list = CallTool(token, "calendar_list");
        ASSERT_FALSE(list.isError) << testing::PrintToString(list.text);
        reference = list.text;
    }
    void TearDown() override { e2e::StopDevHost(calendar); }

    // The calendar process's handle count from its status report; 0 when the
    // report has none.
    static unsigned long CalendarHandles()
    {
        const std::string status = SendToDevHost({L"status"}).out;
        const std::size_t at = status.find("process: ");
        return at == std::string::npos ? 0 : std::strtoul(status.c_str() + at + 9, nullptr, 10);
    }

    // A plain call still gets the right answer, and the calendar is back at
    // the handle count it had before the fault.
    void ExpectServingWithHandlesBackAt(unsigned long before, const char* fault)
    {
        const ToolResult list = CallTool(token, "calendar_list");
        EXPECT_FALSE(list.isError) << fault << ": " << testing::PrintToString(list.text);
        EXPECT_EQ(list.text, reference) << fault;
        const unsigned long after = CalendarHandles();
        EXPECT_GT(after, 0u) << fault;
        EXPECT_EQ(after, before) << fault;
        std::printf("[ figures  ] %s: calendar handles %lu before, %lu after\n", fault, before, after);
    }

    void SetTrustedWriting()
    {
        ASSERT_EQ(SendToDevHost({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    }
};

// ---- Load ---------------------------------------------------------------------

// Eight MCP sessions at once, each a tessary-mcp.exe process with two hundred
// tool calls pipelined on its input, against the one pipe instance: every
// call is answered exactly once, in order, with its own id and with the same
// answer the call gets alone.
TEST_F(LoadAndFaults, EightSessionsOfTwoHundredCallsGetEveryAnswerOnceAndRight)
{
    const e2e::LocalToday today = e2e::Today();
    struct Read {
        std::string tool, arguments;
        std::wstring expected;
    };
    std::vector<Read> mix = {
        {"calendar_list", "{}", {}},
        {"events_query", "{\"start\":\"" + today.day + "T00:00:00" + today.offset + "\",\"end\":\"" + today.nextDay +
                             "T00:00:00" + today.offset + "\"}", {}},
        {"items_get", "{\"date\":\"" + today.day + "\"}", {}},
        {"notes_list", "{}", {}},
        {"timetable_list", "{}", {}},
    };
    for (Read& read : mix) {
        const ToolResult alone = CallTool(token, read.tool, read.arguments);
        ASSERT_FALSE(alone.isError) << read.tool << " " << testing::PrintToString(alone.text);
        read.expected = alone.text;
    }
    const unsigned long before = CalendarHandles();

    constexpr int kSessions = 8;
    constexpr int kCalls = 200;
    const auto idOf = [](int session, int call) { return std::to_string(session * 1000 + call); };
    std::vector<std::string> inputs;
    for (int s = 0; s < kSessions; ++s) {
        std::string input =
            "{\"jsonrpc\":\"2.0\",\"id\":0,\"method\":\"initialize\",\"params\":{\"protocolVersion\":\"2024-11-05\","
            "\"capabilities\":{},\"clientInfo\":{\"name\":\"load\",\"version\":\"1\"}}}\n"
            "{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n";
        for (int c = 0; c < kCalls; ++c) {
            const Read& read = mix[static_cast<std::size_t>((s + c) % mix.size())];
            input += ToolCallLine(idOf(s, c), read.tool, read.arguments);
        }
        inputs.push_back(input);
    }
    const DWORD start = GetTickCount();
    const std::vector<ChildResult> results = RunAtOnce(token, inputs, 240000);
    const DWORD elapsed = Since(start);

    int right = 0;
    for (int s = 0; s < kSessions; ++s) {
        const ChildResult& r = results[static_cast<std::size_t>(s)];
        ASSERT_TRUE(r.started);
        EXPECT_FALSE(r.timedOut) << "session " << s;
        EXPECT_EQ(r.exitCode, 0u) << "session " << s;
        EXPECT_EQ(r.err, "tessary-mcp: notification: notifications/initialized\n") << "session " << s;
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(kCalls + 1)) << "session " << s;
        const JsonValue::Ptr init = JsonValue::Parse(FromUtf8(lines[0]));
        EXPECT_EQ(ReplyId(init.get()), "0") << lines[0];
        EXPECT_TRUE(init && init->GetMember(L"result")) << lines[0];
        std::string firstWrong;
        for (int c = 0; c < kCalls; ++c) {
            const std::wstring line = FromUtf8(lines[static_cast<std::size_t>(c + 1)]);
            const JsonValue::Ptr reply = JsonValue::Parse(line);
            const ToolResult result = ToolResultOf(reply.get(), line);
            const Read& read = mix[static_cast<std::size_t>((s + c) % mix.size())];
            if (ReplyId(reply.get()) == idOf(s, c) && !result.isError && result.text == read.expected) ++right;
            else if (firstWrong.empty()) firstWrong = "call " + idOf(s, c) + " (" + read.tool + "): " + ToUtf8(line);
        }
        EXPECT_EQ(firstWrong, "") << "session " << s;
    }
    EXPECT_EQ(right, kSessions * kCalls);
    std::printf("[ figures  ] %d sessions x %d calls: %d right answers in %lu ms (%.1f calls/s)\n", kSessions, kCalls,
                right, static_cast<unsigned long>(elapsed), 1000.0 * kSessions * kCalls / (elapsed ? elapsed : 1));
    ExpectServingWithHandlesBackAt(before, "after the load");
}

// ---- Beyond the single pipe instance ------------------------------------------

// Seventy clients at once while the calendar's main thread is stalled, so
// that each request that gets the single pipe instance holds it for the 15
// seconds the calendar waits for its main thread. Every client gets a real
// answer or one of the documented refusals: its own "busy" after the
// 30-second connect deadline, or the calendar's "did not answer in time";
// none hangs, and the whole burst ends in bounded time.
//
// The clients are seventy tessary-mcp.exe processes, one call each, so the
// whole program is under test, refusals included. Wine on two cores bears
// that: seventy such processes started at once and each making one call end
// within about five seconds and some 300 MB, well inside the 30-second
// deadline the burst is about, so the start-up does not decide the outcome.
TEST_F(LoadAndFaults, SeventyClientsAtOnceGetAnAnswerOrADocumentedRefusal)
{
    constexpr int kClients = 70;
    const unsigned long before = CalendarHandles();

    ASSERT_EQ(SendToDevHost({L"stall", L"35000"}).exitCode, 0u);
    const DWORD start = GetTickCount();
    // A client still running after two minutes has hung.
    const std::vector<ChildResult> results =
        RunAtOnce(token, std::vector<std::string>(kClients, ToolCallLine("1", "calendar_list", "{}")), 120000);
    const DWORD elapsed = Since(start);

    int answered = 0, busy = 0, late = 0;
    for (int i = 0; i < kClients; ++i) {
        const ChildResult& r = results[static_cast<std::size_t>(i)];
        EXPECT_FALSE(r.timedOut) << "client " << i;
        EXPECT_EQ(r.exitCode, 0u) << "client " << i;
        const std::wstring line = FromUtf8(r.out);
        const JsonValue::Ptr reply = JsonValue::Parse(line);
        const ToolResult result = ToolResultOf(reply.get(), line);
        if (!result.isError && result.text == reference) ++answered;
        else if (result.isError && result.text == kBusy) ++busy;
        else if (result.isError && result.text == kNoAnswerInTime) ++late;
        else ADD_FAILURE() << "client " << i << " got " << r.out;
    }
    EXPECT_EQ(answered + busy + late, kClients);
    EXPECT_GE(busy, 1);
    EXPECT_GE(late, 1);
    // Start-up, 30 s of connect deadline, a last 2-second wait, then at most
    // 15 s for the main thread: nothing may take much longer.
    EXPECT_LT(elapsed, 70000u);
    std::printf("[ figures  ] %d clients in %lu ms: %d answered, %d busy, %d not answered in time\n", kClients,
                static_cast<unsigned long>(elapsed), answered, busy, late);
    ExpectServingWithHandlesBackAt(before, "after seventy clients");
}

// ---- Faults -------------------------------------------------------------------

// A write under trusted writing that the stalled main thread does not take
// within 15 seconds is answered "did not answer in time", and it never runs:
// once the main thread wakes, the stale request is dropped, so nothing is
// written, audited or counted.
TEST_F(LoadAndFaults, StalledMainThreadTimesOutAndTheWriteNeverLandsLater)
{
    SetTrustedWriting();
    const std::string day = e2e::Today().day;
    const unsigned long before = CalendarHandles();

    ASSERT_EQ(SendToDevHost({L"stall", L"20000"}).exitCode, 0u);
    const DWORD start = GetTickCount();
    const ToolResult late = CallTool(token, "items_append_line", "{\"date\":\"" + day + "\",\"text\":\"late line\"}");
    const DWORD elapsed = Since(start);
    EXPECT_TRUE(late.isError);
    EXPECT_EQ(late.text, kNoAnswerInTime);
    EXPECT_GE(elapsed, 14500u);
    EXPECT_LT(elapsed, 19500u);

    // This call's request is posted behind the stale one, so by the time it
    // is answered the main thread has handled (and dropped) the stale one.
    const ToolResult after = CallTool(token, "calendar_list");
    EXPECT_EQ(after.text, reference);
    EXPECT_EQ(SendToDevHost({L"cell", FromUtf8(day)}).out.find("late line"), std::string::npos);
    EXPECT_EQ(SendToDevHost({L"audit", L"50"}).out.find("late line"), std::string::npos);
    EXPECT_NE(SendToDevHost({L"quota"}).out.find("items: 0 of 40"), std::string::npos);
    std::printf("[ figures  ] stalled main thread: answered after %lu ms\n", static_cast<unsigned long>(elapsed));
    ExpectServingWithHandlesBackAt(before, "stalled main thread");
}

// The calendar dies while a call waits for its main thread. The running
// tessary-mcp answers that call with its documented local error, keeps
// serving, and its next call reaches the calendar started again on the same
// data folder.
TEST_F(LoadAndFaults, CalendarKilledMidCallAndRestartedServesTheSameSession)
{
    McpSession session;
    ASSERT_TRUE(session.Start(token));
    ASSERT_EQ(session.Call("1", "calendar_list").text, reference);
    const unsigned long before = CalendarHandles();

    ASSERT_EQ(SendToDevHost({L"stall", L"30000"}).exitCode, 0u);
    ASSERT_TRUE(session.Send("2", "calendar_list"));
    Sleep(2000);  // the request is in; the calendar's worker waits for the main thread
    calendar.Terminate();
    const ToolResult cut = session.Await("2", 20000);
    EXPECT_TRUE(cut.isError);
    EXPECT_EQ(cut.text, kClosedWithoutAnswer);

    ASSERT_TRUE(e2e::StartDevHost(calendar, {L"--data", data}));
    const ToolResult again = session.Call("3", "calendar_list");
    EXPECT_FALSE(again.isError) << testing::PrintToString(again.text);
    EXPECT_EQ(again.text, reference);
    EXPECT_TRUE(session.Finish());
    EXPECT_NE(session.Output().find("tessary-mcp: ReadFile failed, err "), std::string::npos) << session.Output();
    // The restarted calendar, after the same calls, holds what the first did.
    ExpectServingWithHandlesBackAt(before, "calendar killed and restarted");
}

// Raw clients of the calendar's pipe that do not follow the protocol: each is
// dropped or refused with the gate's answer, a client waiting meanwhile is
// served after it, and the calendar serves on without keeping anything.
TEST_F(LoadAndFaults, MisbehavingPipeClientsAreDroppedOrRefusedAndTheCalendarServesOn)
{
    const std::wstring pipe = FakeCalendar::kPipeName;
    const std::string request = "{\"id\":\"1\",\"token\":\"" + Narrow(token) + "\",\"method\":\"calendar_list\",\"params\":{}}";
    const std::string ping = "{\"id\":\"1\",\"token\":\"" + Narrow(token) + "\",\"method\":\"ping\"}";
    const std::string pong = "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n";

    // While this test holds the pipe, a tessary-mcp call waits: runs `hold`
    // with the call under way, checks that the call then gets the right
    // answer, and gives how long it waited.
    const auto servedAfter = [&](const std::function<void()>& hold) {
        ToolResult waiting;
        DWORD waited = 0;
        std::thread client([&] {
            const DWORD start = GetTickCount();
            waiting = CallTool(token, "calendar_list");
            waited = Since(start);
        });
        hold();
        client.join();
        EXPECT_EQ(waiting.text, reference);
        return waited;
    };

    struct Fault {
        const char* name;
        std::function<void()> run;
    };
    const Fault faults[] = {
        {"a client that connects and sends nothing",
         [&] {
             UniqueFile silent = OpenPipeClient(pipe, 5000);
             ASSERT_TRUE(silent);
             const DWORD waited = servedAfter([&] {
                 const DWORD start = GetTickCount();
                 char byte;
                 DWORD got = 0;
                 EXPECT_FALSE(ReadFile(silent.get(), &byte, 1, &got, nullptr));  // ends when the calendar drops it
                 const DWORD dropped = Since(start);
                 EXPECT_GE(dropped, 9500u);
                 EXPECT_LT(dropped, 13000u);
             });
             EXPECT_GE(waited, 8000u);
         }},
        {"garbage bytes",
         [&] { EXPECT_EQ(ExchangeOverPipe(pipe, Bytes("\x01\xff\xfe garbage \x80\x00 bytes")).reply, kMalformedAnswer); }},
        {"invalid UTF-8 in a request",
         [&] {
             // Replaced, not refused: the id comes back with U+FFFD for each bad sequence.
             const std::string bad = "{\"id\":\"\xC3(\xFF\",\"token\":\"" + Narrow(token) + "\",\"method\":\"ping\"}";
             EXPECT_EQ(ExchangeOverPipe(pipe, bad).reply,
                       "{\"id\":\"\xEF\xBF\xBD(\xEF\xBF\xBD\",\"ok\":true,\"result\":{\"pong\":true}}\n");
         }},
        {"half a request", [&] { EXPECT_EQ(ExchangeOverPipe(pipe, request.substr(0, request.size() / 2)).reply, kMalformedAnswer); }},
        {"a request over 65,536 bytes",
         [&] {
             std::string big = request;
             big.insert(big.size() - 2, "\"pad\":\"" + std::string(65536, 'x') + "\"");
             const PipeExchange over = ExchangeOverPipe(pipe, big);
             EXPECT_TRUE(over.connected);
             EXPECT_FALSE(over.answered);
         }},
        {"a client that keeps its answer unread and the pipe open",
         [&] {
             UniqueFile holder = OpenPipeClient(pipe, 5000);
             ASSERT_TRUE(holder);
             DWORD put = 0;
             ASSERT_TRUE(WriteFile(holder.get(), ping.data(), static_cast<DWORD>(ping.size()), &put, nullptr));
             // Longer than the calendar waits for a client to hang up.
             const DWORD waited = servedAfter([] { Sleep(12000); });
             EXPECT_GE(waited, 8000u);
         }},
        {"many connections in a row, none read",
         [&] {
             int opened = 0;
             for (int i = 0; i < 40; ++i) {
                 UniqueFile client = OpenPipeClient(pipe, 5000);
                 if (!client) continue;
                 ++opened;
                 DWORD put = 0;
                 if (i % 2 == 0) WriteFile(client.get(), ping.data(), static_cast<DWORD>(ping.size()), &put, nullptr);
             }
             EXPECT_EQ(opened, 40);
             EXPECT_EQ(ExchangeOverPipe(pipe, ping).reply, pong);
         }},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const unsigned long before = CalendarHandles();
        const DWORD start = GetTickCount();
        fault.run();
        std::printf("[ figures  ] %s: %lu ms\n", fault.name, static_cast<unsigned long>(Since(start)));
        ExpectServingWithHandlesBackAt(before, fault.name);
    }
}

// Raw input on tessary-mcp's standard input that no client should send: the
// program drops what it cannot frame, answers what it can, and ends at the
// end of its input.
TEST_F(LoadAndFaults, MalformedStdioInputIsDroppedOrAnsweredAndTheSessionEnds)
{
    const std::string call = ToolCallLine("7", "calendar_list", "{}");
    const std::string notJson =
        "{\"jsonrpc\":\"2.0\",\"id\":null,\"error\":{\"code\":-32700,\"message\":\"the message is not a JSON object\"}}\n";
    struct Fault {
        const char* name;
        std::string input;
        std::string before;  // exact replies before the call's
        bool callServed;     // the call after the fault is answered
        std::string err;
    };
    const Fault faults[] = {
        {"garbage bytes", Bytes("\x00\xff\xfe garbage\x80\r\n\r\n") + call, "", true,
         "tessary-mcp: dropping a frame whose headers carry no Content-Length\n"},
        {"a garbage line", "{\xff\xfe not JSON at all\n" + call, notJson, true, ""},
        {"half a frame, then the end of input", "Content-Length: 300\r\n\r\n" + call.substr(0, 40), "", false, ""},
        // The call is inside the declared body, which never completes.
        {"a declared length of 4 GiB", "Content-Length: 4294967295\r\n\r\n" + call, "", false, ""},
        {"a declared length beyond 32 bits", "Content-Length: 99999999999\r\n\r\n" + call, "", true,
         "tessary-mcp: dropping a frame whose Content-Length does not fit in 32 bits\n"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const unsigned long before = CalendarHandles();
        ChildOptions options;
        options.environment = {{L"TESSARY_AIMCP_TOKEN", token}};
        options.timeoutMs = 30000;
        const ChildResult r = RunChild(e2e::McpProgram(), fault.input, options);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.err, fault.err);
        ASSERT_EQ(r.out.compare(0, fault.before.size(), fault.before), 0) << r.out;
        const std::string rest = r.out.substr(fault.before.size());
        if (fault.callServed) {
            const std::wstring line = FromUtf8(rest);
            const JsonValue::Ptr reply = JsonValue::Parse(line);
            EXPECT_EQ(ReplyId(reply.get()), "7") << rest;
            EXPECT_EQ(ToolResultOf(reply.get(), line).text, reference);
        } else {
            EXPECT_EQ(rest, "");
        }
        ExpectServingWithHandlesBackAt(before, fault.name);
    }
}

// A frame that declares nearly 4 GiB is held only as far as its bytes have
// arrived: with 8 MiB of it sent and the rest never coming, the program has
// committed a small fraction of the declared size, and it ends as soon as its
// input does.
TEST_F(LoadAndFaults, DeclaredHugeFrameIsNeverAllocatedAhead)
{
    const unsigned long before = CalendarHandles();
    McpSession session;
    ASSERT_TRUE(session.Start(token));
    ASSERT_EQ(session.Call("1", "calendar_list").text, reference);
    ASSERT_TRUE(session.Write("Content-Length: 4294967295\r\n\r\n" + std::string(8u << 20, 'x')));
    Sleep(1000);  // the program reads what was sent and waits for the rest
    const unsigned long long committed = session.CommittedBytes();
    EXPECT_GT(committed, 0u);
    EXPECT_LT(committed, 256ull << 20);
    std::printf("[ figures  ] 4 GiB declared, 8 MiB sent: tessary-mcp has %lu KiB committed\n",
                static_cast<unsigned long>(committed / 1024));
    const DWORD start = GetTickCount();
    EXPECT_TRUE(session.Finish());
    EXPECT_LT(Since(start), 10000u);
    EXPECT_EQ(Lines(session.StandardOutput()).size(), 1u);  // the first call's reply, nothing for the frame
    ExpectServingWithHandlesBackAt(before, "a declared 4 GiB frame");
}

// ---- Writes at once -----------------------------------------------------------

// Four sessions write at once under trusted writing, more than the daily
// quota allows of two kinds: exactly 40 writes of each kind are carried out
// and counted, every further one is refused QUOTA_EXCEEDED, and the audit log
// holds one whole line for each write and each refusal.
TEST_F(LoadAndFaults, ConcurrentWritesAreEachAuditedAndCountedOnce)
{
    SetTrustedWriting();
    constexpr int kSessions = 4;
    constexpr int kItems = 15;  // per session: 60 in all, 20 over the quota
    constexpr int kNotes = 12;  // per session: 48 in all, 8 over the quota
    const std::string days[] = {"2031-05-06", "2031-05-07", "2031-05-08"};

    struct Write {
        bool item;
        std::string text;  // the line appended, or the note's title
    };
    std::map<std::string, Write> writes;  // by request id
    std::vector<std::string> inputs(kSessions);
    for (int s = 0; s < kSessions; ++s) {
        for (int i = 0; i < kItems || i < kNotes; ++i) {
            if (i < kItems) {
                const std::string id = std::to_string(s * 100 + i), text = "load line " + id;
                writes[id] = Write{true, text};
                inputs[static_cast<std::size_t>(s)] += ToolCallLine(
                    id, "items_append_line", "{\"date\":\"" + days[i % 3] + "\",\"text\":\"" + text + "\"}");
            }
            if (i < kNotes) {
                const std::string id = std::to_string(s * 100 + 50 + i), title = "load note " + id;
                writes[id] = Write{false, title};
                inputs[static_cast<std::size_t>(s)] +=
                    ToolCallLine(id, "notes_create", "{\"title\":\"" + title + "\",\"content\":\"written at once\"}");
            }
        }
    }
    const DWORD start = GetTickCount();
    const std::vector<ChildResult> results = RunAtOnce(token, inputs, 120000);
    const DWORD elapsed = Since(start);

    const std::wstring itemsRefused = L"{\"error\":{\"code\":\"QUOTA_EXCEEDED\",\"message\":\"daily AI write quota exceeded "
                                      L"for items: used 40 of 40 (resets at local midnight)\"}}";
    const std::wstring notesRefused = L"{\"error\":{\"code\":\"QUOTA_EXCEEDED\",\"message\":\"daily AI write quota exceeded "
                                      L"for notes: used 40 of 40 (resets at local midnight)\"}}";
    std::multiset<std::string> itemsDone, notesDone;
    int itemsRefusals = 0, notesRefusals = 0, replies = 0;
    for (const ChildResult& r : results) {
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 0u);
        for (const std::string& text : Lines(r.out)) {
            ++replies;
            const std::wstring line = FromUtf8(text);
            const JsonValue::Ptr reply = JsonValue::Parse(line);
            const auto write = writes.find(ReplyId(reply.get()));
            ASSERT_NE(write, writes.end()) << text;
            const ToolResult result = ToolResultOf(reply.get(), line);
            if (!result.isError) (write->second.item ? itemsDone : notesDone).insert(write->second.text);
            else if (result.text == (write->second.item ? itemsRefused : notesRefused)) ++(write->second.item ? itemsRefusals : notesRefusals);
            else ADD_FAILURE() << text;
        }
    }
    EXPECT_EQ(replies, kSessions * (kItems + kNotes));
    EXPECT_EQ(itemsDone.size(), 40u);
    EXPECT_EQ(itemsRefusals, kSessions * kItems - 40);
    EXPECT_EQ(notesDone.size(), 40u);
    EXPECT_EQ(notesRefusals, kSessions * kNotes - 40);
    const std::string quota = SendToDevHost({L"quota"}).out;
    EXPECT_NE(quota.find("items: 40 of 40\nevents: 0 of 40\nnotes: 40 of 40"), std::string::npos) << quota;

    // What landed is exactly what was answered as done.
    std::multiset<std::string> lines;
    for (const std::string& day : days) {
        for (const std::string& line : Lines(SendToDevHost({L"cell", FromUtf8(day)}).out)) {
            const std::size_t at = line.find("load line ");
            if (at != std::string::npos) lines.insert(line.substr(at));
        }
    }
    EXPECT_EQ(lines, itemsDone);
    std::multiset<std::string> titles;
    for (const std::string& line : Lines(SendToDevHost({L"notes"}).out)) {
        const std::size_t at = line.find("load note ");
        if (at != std::string::npos) titles.insert(line.substr(at));
    }
    EXPECT_EQ(titles, notesDone);

    // The audit log, read from its file: whole CR LF lines of six TAB-separated
    // fields, one for each write carried out and each refusal.
    const std::string status = SendToDevHost({L"status"}).out;
    const std::size_t key = status.find("(user key ");
    ASSERT_NE(key, std::string::npos) << status;
    const std::string user = status.substr(key + 10, status.find(')', key) - key - 10);
    const std::string log = servicetest::ReadBytes(data + L"\\user\\" + FromUtf8(user) + L"\\aimcp_audit.log");
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
    std::multiset<std::string> auditedItems, auditedNotes;
    std::set<std::string> noteIds;
    int auditLines = 0, itemsQuotaLines = 0, notesQuotaLines = 0;
    std::size_t at = 0;
    for (std::size_t end; (end = log.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = log.substr(at, end - at);
        ++auditLines;
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        ASSERT_EQ(fields.size(), 6u) << line;
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        const bool item = fields[1] == "items_append_line";
        EXPECT_TRUE(item || fields[1] == "notes_create") << line;
        if (fields[4] == "ok") {
            EXPECT_EQ(fields[3], "trust=1") << line;
            (item ? auditedItems : auditedNotes).insert(fields[5]);
            // Each created note under an id of its own.
            if (!item) {
                EXPECT_TRUE(fields[2].compare(0, 8, "id=note-") == 0 && noteIds.insert(fields[2]).second) << line;
            }
        } else {
            EXPECT_EQ(fields[3], "trust=0") << line;
            EXPECT_EQ(fields[5], "daily AI write quota exceeded for " + std::string(item ? "items" : "notes") +
                                     ": used 40 of 40 (resets at local midnight)")
                << line;
            ++(item ? itemsQuotaLines : notesQuotaLines);
        }
    }
    EXPECT_EQ(at, log.size());
    EXPECT_EQ(auditLines, kSessions * (kItems + kNotes));
    EXPECT_EQ(auditedItems, itemsDone);
    EXPECT_EQ(auditedNotes, notesDone);
    EXPECT_EQ(itemsQuotaLines, itemsRefusals);
    EXPECT_EQ(notesQuotaLines, notesRefusals);
    std::printf("[ figures  ] %d writes from %d sessions in %lu ms: %lu items and %lu notes written, %d and %d refused, "
                "%d audit lines\n",
                kSessions * (kItems + kNotes), kSessions, static_cast<unsigned long>(elapsed),
                static_cast<unsigned long>(itemsDone.size()), static_cast<unsigned long>(notesDone.size()), itemsRefusals,
                notesRefusals, auditLines);
}

}  // namespace
