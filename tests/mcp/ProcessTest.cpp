// tessary-mcp.exe as a client meets it: raw bytes on standard input against
// the exact bytes on standard output and standard error, and the exit code.
// These transcripts pin down the framing of replies, silence for
// notifications and dropped frames, the end-of-input rules, and that the
// program never stops serving because of one bad message.
#include <gtest/gtest.h>

#include <string>

#include "ChildProcess.h"
#include "FakeCalendar.h"

namespace {

std::wstring McpProgram()
{
    return ProgramFolder() + L"tessary-mcp.exe";
}

ChildResult RunMcp(const std::string& input)
{
    // No calendar is running while these tests hold the calendar lock, and
    // no token is passed.
    ChildOptions options;
    options.environment = {{L"TESSARY_AIMCP_TOKEN", L""}};
    return RunChild(McpProgram(), input, options);
}

std::string Framed(const std::string& body)
{
    return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const std::string kPingReply = R"({"jsonrpc":"2.0","id":1,"result":{}})";
const std::string kNotRunningResult =
    "{\"content\":[{\"type\":\"text\",\"text\":\"{\\\"error\\\":{\\\"code\\\":\\\"CALENDAR_NOT_RUNNING\\\","
    "\\\"message\\\":\\\"\xE8\xAF\xB7\xE5\x85\x88\xE6\x89\x93\xE5\xBC\x80Tessary\xE5\x90\x8E\xE5\x86\x8D\xE8\xAF\x95\\\"}}\"}],"
    "\"isError\":true}";

struct Transcript {
    const char* name;
    std::string in;
    std::string out;
    std::string err;
};

class Transcripts : public testing::TestWithParam<Transcript> {};

TEST_P(Transcripts, MatchByteForByte)
{
    const Transcript& t = GetParam();
    const ChildResult r = RunMcp(t.in);
    ASSERT_TRUE(r.started);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, t.out);
    EXPECT_EQ(r.err, t.err);
}

INSTANTIATE_TEST_SUITE_P(
    McpProcess, Transcripts,
    testing::Values(
        Transcript{"FramedPing", Framed(R"({"jsonrpc":"2.0","id":1,"method":"ping"})"), Framed(kPingReply), ""},
        Transcript{"LinePingWithLf", "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}\n", kPingReply + "\n", ""},
        Transcript{"LinePingWithCrLf", "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"ping\"}\r\n", kPingReply + "\n", ""},
        Transcript{"EmptyInput", "", "", ""},
        Transcript{"NotificationIsSilent", "{\"jsonrpc\":\"2.0\",\"method\":\"notifications/initialized\"}\n", "",
                   "tessary-mcp: notification: notifications/initialized\n"},
        Transcript{"NotificationWithoutMethod", "{\"jsonrpc\":\"2.0\"}\n", "", "tessary-mcp: notification: \n"},
        Transcript{"FrameWithoutLengthIsDropped", "X-Other: 1\r\n\r\n", "",
                   "tessary-mcp: dropping a frame whose headers carry no Content-Length\n"},
        Transcript{"TabBeforeDigitsMeansNoLength", "Content-Length:\t2\r\n\r\n", "",
                   "tessary-mcp: dropping a frame whose headers carry no Content-Length\n"},
        Transcript{"MessageAfterDroppedFrameIsServed", "X-Other: 1\r\n\r\n{\"id\":1,\"method\":\"ping\"}", kPingReply + "\n",
                   "tessary-mcp: dropping a frame whose headers carry no Content-Length\n"},
        Transcript{"HugeLengthIsNotWrapped", "Content-Length: 4294967298\r\n\r\n{\"id\":1,\"method\":\"ping\"}\n",
                   kPingReply + "\n", "tessary-mcp: dropping a frame whose Content-Length does not fit in 32 bits\n"},
        Transcript{"EmptyFramedBody", Framed(""),
                   Framed(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is not a JSON object"}})"), ""},
        Transcript{"UnterminatedLineAtEndIsAnswered", "{\"id\":1,\"method\":\"ping\"}", kPingReply + "\n", ""},
        Transcript{"IncompleteFrameAtEndIsDropped", "{\"id\":1,\"method\":\"ping\"}\nContent-Length: 50\r\n\r\n{\"id\":2",
                   kPingReply + "\n", ""},
        // The first line is answered; the rest does not begin with "{", so it
        // is read as a header block that never completes and is dropped.
        Transcript{"TextSpreadOverLinesIsCut", "{\"id\":1,\n\"method\":\"ping\"}\n",
                   std::string(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is not a JSON object"}})") + "\n",
                   ""},
        Transcript{"BatchLineIsAnsweredAndNextServed", "[{\"id\":1,\"method\":\"ping\"}]\n{\"id\":1,\"method\":\"ping\"}\n",
                   std::string(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is not a JSON object"}})") + "\n" +
                       kPingReply + "\n",
                   ""},
        Transcript{"RepliesFollowEachRequestsFraming",
                   Framed(R"({"id":1,"method":"ping"})") + "\n\n{\"id\":1,\"method\":\"ping\"}\n" + Framed(R"({"id":1,"method":"ping"})"),
                   Framed(kPingReply) + kPingReply + "\n" + Framed(kPingReply), ""},
        // The reply's Content-Length counts UTF-8 bytes: three for U+65E5.
        Transcript{"LengthCountsUtf8Bytes", Framed("{\"id\":\"\xE6\x97\xA5\",\"method\":\"x\xE6\x97\xA5\"}"),
                   Framed("{\"jsonrpc\":\"2.0\",\"id\":\"\\u65E5\",\"error\":{\"code\":-32601,\"message\":\"method not found: x\xE6\x97\xA5\"}}"),
                   ""},
        Transcript{"InvalidUtf8IsReplaced", "{\"id\":1,\"method\":\"\xFF\"}\n",
                   "{\"jsonrpc\":\"2.0\",\"id\":1,\"error\":{\"code\":-32601,\"message\":\"method not found: \xEF\xBF\xBD\"}}\n", ""},
        Transcript{"ToolCallWithoutCalendar", "{\"jsonrpc\":\"2.0\",\"id\":5,\"method\":\"tools/call\",\"params\":{\"name\":\"calendar_list\"}}\n",
                   "{\"jsonrpc\":\"2.0\",\"id\":5,\"result\":" + kNotRunningResult + "}\n", ""}),
    [](const testing::TestParamInfo<Transcript>& info) { return std::string(info.param.name); });

TEST(McpProcess, ServesOnAfterAMillionLevelsOfNesting)
{
    const std::string deep = "{\"id\":1,\"method\":\"ping\",\"params\":" + std::string(1000000, '[') + std::string(1000000, ']') + "}\n";
    const ChildResult r = RunMcp(deep + "{\"id\":2,\"method\":\"ping\"}\n");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, std::string(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is nested too deeply"}})") +
                         "\n" + R"({"jsonrpc":"2.0","id":2,"result":{}})" + "\n");
}

TEST(McpProcess, ToolCallTravelsToTheCalendarAndBack)
{
    // The whole road through the program: the request it writes on the pipe,
    // with the token from its environment, and the tool result it makes of
    // the calendar's answer and of a refusal, in the framing of each request.
    FakeCalendar calendar(FakeCalendar::Presence::kMutex);
    ASSERT_TRUE(calendar.Serve({FakeCalendar::Reply("{\"id\":\"1\",\"ok\":true,\"result\":{\"title\":\"\xE6\x97\xA5\"}}\n"),
                                FakeCalendar::Reply(R"({"id":"1","ok":false,"error":{"code":"UNAUTHORIZED","message":"m"}})")}))
        << calendar.error();
    ChildOptions options;
    options.environment = {{L"TESSARY_AIMCP_TOKEN", L"t\"k"}};
    const std::string first = R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"items_get","arguments":{"date":"2026-08-20","b":[1.0]}}})";
    const std::string second = R"({"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"calendar_list"}})";
    const ChildResult r = RunChild(McpProgram(), Framed(first) + second + "\n", options);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.out, Framed(R"({"jsonrpc":"2.0","id":1,"result":{"content":[{"type":"text","text":"{\"title\":\"\\u65E5\"}"}],"isError":false}})") +
                         R"({"jsonrpc":"2.0","id":2,"result":{"content":[{"type":"text","text":"{\"error\":{\"code\":\"UNAUTHORIZED\",\"message\":\"m\"}}"}],"isError":true}})" +
                         "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(calendar.Requests(),
              (std::vector<std::string>{R"({"id":"1","token":"t\"k","method":"items_get","params":{"b":[1],"date":"2026-08-20"}})",
                                        R"({"id":"1","token":"t\"k","method":"calendar_list","params":{}})"}));
}

TEST(McpProcess, HandlesBodiesOfTensOfMebibytes)
{
    // A 32 MiB id is written back in full, once framed and once as a line.
    const std::string big(32u << 20, 'a');
    const std::string request = "{\"id\":\"" + big + "\",\"method\":\"ping\"}";
    const std::string reply = "{\"jsonrpc\":\"2.0\",\"id\":\"" + big + "\",\"result\":{}}";
    const ChildResult r = RunMcp(Framed(request) + request + "\n");
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(r.out == Framed(reply) + reply + "\n") << "output of " << r.out.size() << " bytes differs";
}

}  // namespace
