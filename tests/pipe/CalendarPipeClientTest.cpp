// CalendarPipeClient against a fake calendar in the same process: the exact
// bytes of the request, how the client decides that the calendar runs, what
// it makes of each kind of reply, and how it waits for a busy pipe.

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "CalendarPipeClient.h"
#include "ChildProcess.h"
#include "FakeCalendar.h"
#include "UniqueHandle.h"

namespace {

const wchar_t kTokenVariable[] = L"TESSARY_AIMCP_TOKEN";

// "请先打开Tessary后再试"
const std::wstring kNotRunning =
    L"{\"error\":{\"code\":\"CALENDAR_NOT_RUNNING\",\"message\":"
    L"\"\u8BF7\u5148\u6253\u5F00Tessary\u540E\u518D\u8BD5\"}}";
const std::wstring kNotListening =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar is running but is not listening for AI requests; "
    L"check that AI access is turned on in its settings\"}}";
const std::wstring kBusy =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar is busy serving another AI request\"}}";
const std::wstring kRefusedMessageMode =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar pipe refused message mode\"}}";
const std::wstring kCouldNotSend =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"could not send the request to the calendar\"}}";
const std::wstring kTooLarge =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar's answer was too large to read\"}}";
const std::wstring kClosed =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar closed the connection without answering\"}}";
const std::wstring kNotObject =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar sent a reply that is not a JSON object\"}}";
const std::wstring kImpostor =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"another program, not the calendar, is serving the "
    L"calendar's pipe; the request was not sent\"}}";
const std::wstring kNoMember =
    L"{\"error\":{\"code\":\"INTERNAL\",\"message\":\"the calendar sent a reply without a result or an error\"}}";

// What the calendar sends for a successful call: the answer and one LF.
const std::string kPongReply = "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n";
const std::wstring kPong = L"{\"pong\":true}";
// What the client sends for ping without a token.
const std::string kPingRequest = "{\"id\":\"1\",\"token\":\"\",\"method\":\"ping\",\"params\":{}}";

// Clears the token variable for the test and restores it afterwards.
class TokenVariableGuard {
public:
    TokenVariableGuard()
    {
        wchar_t buffer[1024];
        const DWORD length = GetEnvironmentVariableW(kTokenVariable, buffer, 1024);
        if (length > 0 && length < 1024) saved_ = std::wstring(buffer, length);
        SetEnvironmentVariableW(kTokenVariable, nullptr);
    }
    ~TokenVariableGuard() { SetEnvironmentVariableW(kTokenVariable, saved_ ? saved_->c_str() : nullptr); }

private:
    std::optional<std::wstring> saved_;
};

// Collects what is written to standard error while it is installed.
class StderrCapture {
public:
    StderrCapture() : original_(GetStdHandle(STD_ERROR_HANDLE))
    {
        if (CreatePipe(read_.put(), write_.put(), nullptr, 65536)) SetStdHandle(STD_ERROR_HANDLE, write_.get());
    }
    ~StderrCapture() { SetStdHandle(STD_ERROR_HANDLE, original_); }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Uninstalls the capture and gives everything written meanwhile.
    std::string Take()
    {
        SetStdHandle(STD_ERROR_HANDLE, original_);
        write_.reset();
        std::string text;
        char buffer[512];
        DWORD got = 0;
        while (read_ && ReadFile(read_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
            text.append(buffer, got);
        }
        return text;
    }

private:
    HANDLE original_;
    UniqueHandle read_;
    UniqueHandle write_;
};

// Names each parameterised case after its table entry.
struct CaseName {
    template <typename Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const
    {
        return info.param.name;
    }
};

ToolOutcome Call(const std::wstring& name, const std::wstring& arguments)
{
    CalendarPipeClient client;
    return client.CallTool(name, arguments);
}

// ---------------------------------------------------------------- request

struct RequestCase {
    const char* name;
    std::optional<std::wstring> token;  // no value: the variable is not set
    std::wstring tool;
    std::wstring arguments;
    std::string sent;  // the request message, byte for byte
};

void PrintTo(const RequestCase& c, std::ostream* os) { *os << c.name; }

std::string RequestWithToken(const std::string& token)
{
    return "{\"id\":\"1\",\"token\":\"" + token + "\",\"method\":\"list_events\",\"params\":{}}";
}

const RequestCase kRequestCases[] = {
    {"TokenFromEnvironment", L"s3cr3t-token", L"list_events", L"{\"from\":\"2024-05-01\",\"days\":7}",
     "{\"id\":\"1\",\"token\":\"s3cr3t-token\",\"method\":\"list_events\",\"params\":{\"from\":\"2024-05-01\","
     "\"days\":7}}"},
    {"MissingVariableSendsEmptyToken", std::nullopt, L"list_events", L"", RequestWithToken("")},
    {"EmptyVariableSendsEmptyToken", L"", L"list_events", L"", RequestWithToken("")},
    {"TokenOf511UnitsSentWhole", std::wstring(510, L'k') + L"z", L"list_events", L"",
     RequestWithToken(std::string(510, 'k') + "z")},
    {"TokenOf512UnitsReplacedByEmpty", std::wstring(512, L'k'), L"list_events", L"", RequestWithToken("")},
    {"QuoteAndBackslashEscaped", L"a\"b\\c", L"say \"hi\"\\now", L"{}",
     "{\"id\":\"1\",\"token\":\"a\\\"b\\\\c\",\"method\":\"say \\\"hi\\\"\\\\now\",\"params\":{}}"},
    {"ArgumentsSentVerbatim", L"t", L"add_event", L"{\"title\":\"x\",\"all_day\":false}",
     "{\"id\":\"1\",\"token\":\"t\",\"method\":\"add_event\",\"params\":{\"title\":\"x\",\"all_day\":false}}"},
    // 日本 and an emoji (a surrogate pair) in the token, é in the name, 日 in the arguments.
    {"NonAsciiAsRawUtf8", L"\u65E5\u672C\U0001F600", L"caf\u00E9", L"{\"t\":\"\u65E5\"}",
     "{\"id\":\"1\",\"token\":\"\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80\",\"method\":\"caf\xC3\xA9\",\"params\":"
     "{\"t\":\"\xE6\x97\xA5\"}}"},
};

class CalendarPipeRequest : public testing::TestWithParam<RequestCase> {
protected:
    TokenVariableGuard token_;
};

TEST_P(CalendarPipeRequest, SendsExactBytes)
{
    const RequestCase& c = GetParam();
    if (c.token) {
        ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, c.token->c_str()));
    }
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply(kPongReply)})) << calendar.error();

    const ToolOutcome outcome = Call(c.tool, c.arguments);

    EXPECT_TRUE(outcome.ok) << testing::PrintToString(outcome.Text());
    const std::vector<std::string> requests = calendar.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], c.sent);
}

INSTANTIATE_TEST_SUITE_P(Cases, CalendarPipeRequest, testing::ValuesIn(kRequestCases), CaseName());

// The calendar reads one message of at most 65,536 bytes: a request of
// exactly that size is sent, one byte more is refused before anything is
// sent, with the sizes in the message.
TEST(CalendarPipeRequestSize, AtTheLimitIsSentOneByteOverIsRefused)
{
    TokenVariableGuard token;
    ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, L"t"));
    const std::size_t frame = std::string("{\"id\":\"1\",\"token\":\"t\",\"method\":\"n\",\"params\":{\"x\":\"\"}}").size();
    const std::wstring fits = L"{\"x\":\"" + std::wstring(65536 - frame, L'a') + L"\"}";
    {
        FakeCalendar calendar(FakeCalendar::Presence::kMutex);
        ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply(kPongReply)})) << calendar.error();
        EXPECT_TRUE(Call(L"n", fits).ok);
        ASSERT_EQ(calendar.Requests().size(), 1u);
        EXPECT_EQ(calendar.Requests()[0].size(), 65536u);
    }
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply(kPongReply)})) << calendar.error();
    // One more byte: a two-byte character in place of an ASCII one.
    const std::wstring over = L"{\"x\":\"\u00e9" + std::wstring(65536 - frame - 1, L'a') + L"\"}";
    const ToolOutcome outcome = Call(L"n", over);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.Text(),
              L"{\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":\"the request is 65537 bytes, more than the 65536 bytes "
              L"the calendar takes in one request; send less text at once (a non-ASCII character can take up to 6 "
              L"bytes)\"}}");
    EXPECT_TRUE(calendar.Requests().empty());
}

// The token is looked up at every call, and every call has its own connection.
TEST(CalendarPipeRequestToken, ReadAfreshAtEveryCall)
{
    TokenVariableGuard guard;
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply(kPongReply), FakeCalendar::Reply(kPongReply),
                                FakeCalendar::Reply(kPongReply)}))
        << calendar.error();

    ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, L"first"));
    EXPECT_TRUE(Call(L"list_events", L"").ok);
    ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, L"second"));
    EXPECT_TRUE(Call(L"list_events", L"").ok);
    ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, nullptr));
    EXPECT_TRUE(Call(L"list_events", L"").ok);

    EXPECT_EQ(calendar.Requests(),
              (std::vector<std::string>{RequestWithToken("first"), RequestWithToken("second"), RequestWithToken("")}));
    EXPECT_EQ(calendar.Connections(), 3u);
}

// -------------------------------------------------------------- detection

struct DetectionCase {
    const char* name;
    FakeCalendar::Presence presence;
    bool servePipe;
    bool ok;
    std::wstring text;
};

void PrintTo(const DetectionCase& c, std::ostream* os) { *os << c.name; }

const DetectionCase kDetectionCases[] = {
    {"MutexAlone", FakeCalendar::Presence::kMutex, true, true, kPong},
    {"WindowAlone", FakeCalendar::Presence::kWindow, true, true, kPong},
    // The pipe is there, but without the mutex or the window the client must
    // not even try it.
    {"NeitherWithPipe", FakeCalendar::Presence::kNone, true, false, kNotRunning},
    {"NeitherWithoutPipe", FakeCalendar::Presence::kNone, false, false, kNotRunning},
    {"MutexWithoutPipe", FakeCalendar::Presence::kMutex, false, false, kNotListening},
    {"WindowWithoutPipe", FakeCalendar::Presence::kWindow, false, false, kNotListening},
};

class CalendarPipeDetection : public testing::TestWithParam<DetectionCase> {
protected:
    TokenVariableGuard token_;
};

TEST_P(CalendarPipeDetection, FindsTheCalendarOrSaysWhy)
{
    const DetectionCase& c = GetParam();
    FakeCalendar calendar(c.presence);
    ASSERT_EQ(calendar.error(), "");
    if (c.servePipe) {
        ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply(kPongReply)})) << calendar.error();
    }

    EXPECT_EQ(CalendarPipeClient::IsCalendarRunning(), c.presence != FakeCalendar::Presence::kNone);
    const ToolOutcome outcome = Call(L"ping", L"");

    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_EQ(outcome.Text(), c.text);
    if (c.servePipe && !c.ok) {
        EXPECT_FALSE(calendar.WaitForConnections(1, 300)) << "the client opened the pipe";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CalendarPipeDetection, testing::ValuesIn(kDetectionCases), CaseName());

// ------------------------------------------------------------------ reply

// A successful reply of exactly `size` bytes, LF included, with the result
// {"pad":"xx...x"}.
const std::string kPaddedHead = "{\"id\":\"1\",\"ok\":true,\"result\":{\"pad\":\"";
const std::string kPaddedTail = "\"}}\n";

std::size_t PaddingFor(std::size_t size) { return size - kPaddedHead.size() - kPaddedTail.size(); }

std::string PaddedReply(std::size_t size) { return kPaddedHead + std::string(PaddingFor(size), 'x') + kPaddedTail; }

std::wstring PaddedResult(std::size_t size) { return L"{\"pad\":\"" + std::wstring(PaddingFor(size), L'x') + L"\"}"; }

struct ReplyCase {
    const char* name;
    FakeCalendar::Step step;
    bool ok;
    std::wstring text;
    const char* diagnostic;  // all that reaches standard error; null: not checked
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.name; }

const ReplyCase kReplyCases[] = {
    {"ExactlyMaxBytesParsed", FakeCalendar::Reply(PaddedReply(65536)), true, PaddedResult(65536), ""},
    {"OneByteOverMaxTooLarge", FakeCalendar::Reply(PaddedReply(65537)), false, kTooLarge,
     "tessary-mcp: ReadFile failed, err 234\n"},
    // The error number depends on how the platform reports the hang-up.
    {"HangUpWithoutAnswer", FakeCalendar::HangUp(), false, kClosed, nullptr},
    {"EmptyMessage", FakeCalendar::Reply(""), false, kClosed, "tessary-mcp: ReadFile failed, err 0\n"},
    {"NotJson", FakeCalendar::Reply("hello\n"), false, kNotObject, ""},
    {"JsonButNotObject", FakeCalendar::Reply("[{\"id\":\"1\",\"ok\":true,\"result\":{}}]\n"), false, kNotObject, ""},
    {"OkWithoutResult", FakeCalendar::Reply("{\"id\":\"1\",\"ok\":true}"), false, kNoMember, ""},
    {"OkAsStringNeedsError", FakeCalendar::Reply("{\"id\":\"1\",\"ok\":\"true\",\"result\":{}}"), false, kNoMember,
     ""},
    {"OkAsStringWithErrorIsRefusal",
     FakeCalendar::Reply("{\"id\":\"1\",\"ok\":\"true\",\"error\":{\"code\":\"X\",\"message\":\"m\"}}"), false,
     L"{\"error\":{\"code\":\"X\",\"message\":\"m\"}}", ""},
    {"RefusalPassedThrough",
     FakeCalendar::Reply("{\"id\":\"1\",\"ok\":false,\"error\":{\"code\":\"UNAUTHORIZED\",\"message\":\"m\"}}\n"),
     false, L"{\"error\":{\"code\":\"UNAUTHORIZED\",\"message\":\"m\"}}", ""},
    {"RefusalWithoutError", FakeCalendar::Reply("{\"id\":\"1\",\"ok\":false,\"result\":{}}"), false, kNoMember, ""},
    // 日 as raw UTF-8 in the reply.
    {"NonAsciiResultEscaped",
     FakeCalendar::Reply("{\"id\":\"1\",\"ok\":true,\"result\":{\"title\":\"\xE6\x97\xA5\"}}"), true,
     L"{\"title\":\"\\u65E5\"}", ""},
    {"TrailingLineFeedAccepted", FakeCalendar::Reply("{\"id\":\"1\",\"ok\":true,\"result\":[1,2]}\n"), true,
     L"[1,2]", ""},
    {"IdNotLookedAt", FakeCalendar::Reply("{\"id\":\"7\",\"ok\":true,\"result\":\"done\"}"), true, L"\"done\"", ""},
};

class CalendarPipeReply : public testing::TestWithParam<ReplyCase> {
protected:
    TokenVariableGuard token_;
};

TEST_P(CalendarPipeReply, BecomesOutcome)
{
    const ReplyCase& c = GetParam();
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({c.step})) << calendar.error();

    StderrCapture stderrCapture;
    const ToolOutcome outcome = Call(L"list_events", L"");
    const std::string diagnostic = stderrCapture.Take();

    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_EQ(outcome.Text(), c.text);
    if (c.diagnostic != nullptr) {
        EXPECT_EQ(diagnostic, c.diagnostic);
    }
    EXPECT_EQ(calendar.Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, CalendarPipeReply, testing::ValuesIn(kReplyCases), CaseName());

// ------------------------------------------------- connection and sending

TEST(CalendarPipeConnection, ByteModePipeRefusesMessageMode)
{
    TokenVariableGuard guard;
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply(kPongReply)}, FakeCalendar::PipeType::kByte))
        << calendar.error();

    const ToolOutcome outcome = Call(L"list_events", L"");

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.Text(), kRefusedMessageMode);
    EXPECT_TRUE(calendar.WaitForConnections(1, 5000));
    EXPECT_TRUE(calendar.Requests().empty());
}

// A request larger than the pipe's buffer cannot be written until the
// calendar reads it; this calendar, with a small buffer, drops the
// connection instead.
TEST(CalendarPipeConnection, DroppedWhileSendingFailsTheSend)
{
    TokenVariableGuard guard;
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::DropUnread()}, FakeCalendar::PipeType::kMessage, 4096))
        << calendar.error();

    StderrCapture stderrCapture;
    const ToolOutcome outcome = Call(L"add_event", L"{\"notes\":\"" + std::wstring(60000, L'n') + L"\"}");
    const std::string diagnostic = stderrCapture.Take();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.Text(), kCouldNotSend);
    const std::string prefix = "tessary-mcp: WriteFile failed, err ";
    EXPECT_EQ(diagnostic.substr(0, prefix.size()), prefix) << diagnostic;
    EXPECT_TRUE(calendar.Requests().empty());
}

// ------------------------------------------------------------------- busy

// A client of our own holds the only pipe instance.
UniqueFile OpenHolder()
{
    return UniqueFile(
        CreateFileW(FakeCalendar::kPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
}

TEST(CalendarPipeBusy, CallGoesThroughOnceHolderLetsGo)
{
    TokenVariableGuard guard;
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::HangUp(), FakeCalendar::Reply(kPongReply)})) << calendar.error();
    UniqueFile holder = OpenHolder();
    ASSERT_TRUE(holder) << "holder could not connect, err " << GetLastError();
    ASSERT_TRUE(calendar.WaitForConnections(1, 5000));

    std::thread release([&holder] {
        Sleep(3000);
        holder.reset();
    });
    const DWORD start = GetTickCount();
    const ToolOutcome outcome = Call(L"ping", L"");
    const DWORD elapsed = GetTickCount() - start;
    release.join();

    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.Text(), kPong);
    EXPECT_GE(elapsed, 2500u) << "the call did not wait for the holder";
    EXPECT_LT(elapsed, 10000u);
    EXPECT_EQ(calendar.Connections(), 2u);
    EXPECT_EQ(calendar.Requests().size(), 1u);
}

TEST(CalendarPipeBusy, GivesUpAfterThirtySeconds)
{
    TokenVariableGuard guard;
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::HangUp()})) << calendar.error();
    UniqueFile holder = OpenHolder();
    ASSERT_TRUE(holder) << "holder could not connect, err " << GetLastError();
    ASSERT_TRUE(calendar.WaitForConnections(1, 5000));

    const DWORD start = GetTickCount();
    const ToolOutcome outcome = Call(L"ping", L"");
    const DWORD elapsed = GetTickCount() - start;

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.Text(), kBusy);
    // The client's deadline is 30 s from its first attempt, which starts
    // after `start`; the last wait before it may run 2 s past it.
    EXPECT_GE(elapsed, 30000u);
    EXPECT_LT(elapsed, 35000u);
    EXPECT_EQ(calendar.Connections(), 1u);
}

// ------------------------------------------------------ who serves the pipe

struct ServerCase {
    const char* name;
    unsigned long serverProcessId;
    std::vector<unsigned long> windowOwners;
    bool sameUser;
    CalendarPipeClient::ServerVerdict verdict;
};

void PrintTo(const ServerCase& c, std::ostream* os) { *os << c.name; }

using Verdict = CalendarPipeClient::ServerVerdict;
const ServerCase kServerCases[] = {
    {"WindowOwnerServes", 42, {42}, false, Verdict::kCalendar},
    {"OneOfTwoWindowOwnersServes", 42, {7, 42}, false, Verdict::kCalendar},
    // With a window to compare with, running as the same user is not enough.
    {"OtherProcessWhileWindowShown", 42, {7}, true, Verdict::kImpostor},
    // Found by its mutex alone: the user is all there is to check.
    {"NoWindowSameUser", 42, {}, true, Verdict::kCalendar},
    {"NoWindowOtherUser", 42, {}, false, Verdict::kImpostor},
    {"ServerUnknown", 0, {}, true, Verdict::kImpostor},
};

class CalendarPipeServerJudge : public testing::TestWithParam<ServerCase> {};

TEST_P(CalendarPipeServerJudge, TrustsOnlyTheCalendar)
{
    const ServerCase& c = GetParam();
    EXPECT_EQ(CalendarPipeClient::JudgeServer(c.serverProcessId, c.windowOwners, c.sameUser), c.verdict);
}

INSTANTIATE_TEST_SUITE_P(Cases, CalendarPipeServerJudge, testing::ValuesIn(kServerCases), CaseName());

// Starts the squatter program and waits until it serves the pipe name.
testing::AssertionResult StartSquatter(RunningChild& squatter)
{
    if (!squatter.Start(ProgramFolder() + L"pipe_squatter.exe")) return testing::AssertionFailure() << "not started";
    for (int i = 0; i < 100; ++i) {
        if (squatter.Output().find("serving") != std::string::npos) return testing::AssertionSuccess();
        Sleep(100);
    }
    return testing::AssertionFailure() << "the squatter did not come up: " << squatter.Output();
}

// What the squatter received, once its input is closed and it has ended.
std::string SquatterReport(RunningChild& squatter)
{
    squatter.CloseInput();
    EXPECT_TRUE(squatter.WaitForExit(10000));
    // Its output is read on another thread, which may still be behind.
    std::string out = squatter.Output();
    for (int i = 0; i < 500 && out.find("connections ") == std::string::npos; ++i) {
        Sleep(10);
        out = squatter.Output();
    }
    const std::size_t at = out.find("connections ");
    return at == std::string::npos ? out : out.substr(at, out.find_first_of("\r\n", at) - at);
}

// A process that took the pipe's name while the calendar shows its window
// from another process gets a connection, but not a single byte: the token
// is never written to it.
TEST(CalendarPipeServer, SquatterIsNeverSentTheToken)
{
    TokenVariableGuard guard;
    ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, L"s3cr3t-token"));
    FakeCalendar calendar(FakeCalendar::Presence::kWindow);  // the calendar's window, in this process
    ASSERT_EQ(calendar.error(), "");
    RunningChild squatter;
    ASSERT_TRUE(StartSquatter(squatter));

    StderrCapture err;
    const ToolOutcome outcome = Call(L"ping", L"");
    const std::string diagnostics = err.Take();

    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.Text(), kImpostor);
    EXPECT_NE(diagnostics.find("not by the calendar"), std::string::npos) << diagnostics;
    EXPECT_EQ(SquatterReport(squatter), "connections 1 bytes 0");
}

// The client remembers the process it last found serving the pipe with a
// calendar window of its own, and does not check that process again. That
// vouches for the process only: once another process serves the pipe, the
// server is judged afresh, though the window is still there.
TEST(CalendarPipeServer, KnownCalendarVouchesOnlyForItself)
{
    TokenVariableGuard guard;
    ASSERT_TRUE(SetEnvironmentVariableW(kTokenVariable, L"s3cr3t-token"));
    FakeCalendar window(FakeCalendar::Presence::kWindow);  // this process owns the calendar's window
    ASSERT_EQ(window.error(), "");
    {
        FakeCalendar pipe(FakeCalendar::Presence::kNone);  // and serves the pipe
        ASSERT_TRUE(pipe.Serve({FakeCalendar::Reply(kPongReply), FakeCalendar::Reply(kPongReply)})) << pipe.error();
        EXPECT_EQ(Call(L"ping", L"").Text(), kPong);
        EXPECT_EQ(Call(L"ping", L"").Text(), kPong);
    }
    RunningChild squatter;
    ASSERT_TRUE(StartSquatter(squatter));

    const ToolOutcome outcome = Call(L"ping", L"");

    EXPECT_EQ(outcome.Text(), kImpostor);
    EXPECT_EQ(SquatterReport(squatter), "connections 1 bytes 0");
}

// Found by its mutex alone, the calendar has no window to compare the server
// with; a server of the same user is trusted. (Against another user's
// process the pipe's access list is what protects the calendar.)
TEST(CalendarPipeServer, WithoutAWindowAServerOfTheSameUserIsTrusted)
{
    TokenVariableGuard guard;
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_EQ(calendar.error(), "");
    RunningChild squatter;
    ASSERT_TRUE(StartSquatter(squatter));

    const ToolOutcome outcome = Call(L"ping", L"");

    EXPECT_TRUE(outcome.ok) << std::string(outcome.Text().begin(), outcome.Text().end());
    EXPECT_EQ(SquatterReport(squatter), "connections 1 bytes " + std::to_string(kPingRequest.size()));
}

// A server trusted for want of any window is not remembered: once the
// calendar's window shows up in another process, the same server is refused.
TEST(CalendarPipeServer, AServerTrustedWithoutAWindowIsJudgedAgain)
{
    TokenVariableGuard guard;
    FakeCalendar mutex(FakeCalendar::Presence::kMutex);
    ASSERT_EQ(mutex.error(), "");
    RunningChild squatter;
    ASSERT_TRUE(StartSquatter(squatter));
    EXPECT_TRUE(Call(L"ping", L"").ok);

    FakeCalendar window(FakeCalendar::Presence::kWindow);
    ASSERT_EQ(window.error(), "");
    const ToolOutcome outcome = Call(L"ping", L"");

    EXPECT_EQ(outcome.Text(), kImpostor);
    EXPECT_EQ(SquatterReport(squatter), "connections 2 bytes " + std::to_string(kPingRequest.size()));
}

// ------------------------------------------------------------ the fake

// The fake is shared with the process-level tests, where a stuck client must
// not stall the test program: it stops at once whether the client it serves
// is still to send its request or has its answer and keeps the pipe open.
TEST(FakeCalendarPipe, StopsPromptlyWithClientConnected)
{
    for (const bool answered : {false, true}) {
        SCOPED_TRACE(answered ? "client answered, pipe kept open" : "client connected, nothing sent");
        auto calendar = std::make_unique<FakeCalendar>(FakeCalendar::Presence::kNone);
        ASSERT_TRUE(calendar->Serve({FakeCalendar::Reply(kPongReply)})) << calendar->error();
        UniqueFile client = OpenHolder();
        ASSERT_TRUE(client) << "could not connect, err " << GetLastError();
        char buffer[256];
        DWORD count = 0;
        if (answered) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            ASSERT_TRUE(SetNamedPipeHandleState(client.get(), &mode, nullptr, nullptr));
            ASSERT_TRUE(WriteFile(client.get(), "{}", 2, &count, nullptr));
            ASSERT_TRUE(ReadFile(client.get(), buffer, sizeof buffer, &count, nullptr));
            EXPECT_EQ(std::string(buffer, count), kPongReply);
        } else {
            ASSERT_TRUE(calendar->WaitForConnections(1, 5000));
        }

        const DWORD start = GetTickCount();
        calendar.reset();
        EXPECT_LT(GetTickCount() - start, 5000u);
        EXPECT_FALSE(ReadFile(client.get(), buffer, sizeof buffer, &count, nullptr)) << "the pipe outlived the fake";
    }
}

}  // namespace
