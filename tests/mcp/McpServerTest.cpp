// The JSON-RPC layer: each message body against the exact reply text, with
// a recording stand-in for the calendar so no pipe is involved.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "JsonValue.h"
#include "McpServer.h"
#include "TextConv.h"

namespace {

class RecordingTools : public ToolForwarder {
public:
    ToolOutcome next{true, L"{}"};
    std::vector<std::pair<std::wstring, std::wstring>> calls;

    ToolOutcome CallTool(const std::wstring& name, const std::wstring& arguments) override
    {
        calls.emplace_back(name, arguments);
        return next;
    }
};

struct ReplyCase {
    const char* name;
    std::string body;
    std::wstring reply;
};

class McpReplies : public testing::TestWithParam<ReplyCase> {};

TEST_P(McpReplies, AnswersExactly)
{
    RecordingTools tools;
    McpServer server(tools);
    EXPECT_EQ(server.HandleMessage(GetParam().body), GetParam().reply);
    EXPECT_TRUE(tools.calls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    JsonRpc, McpReplies,
    testing::Values(
        ReplyCase{"Ping", R"({"jsonrpc":"2.0","id":1,"method":"ping"})", LR"({"jsonrpc":"2.0","id":1,"result":{}})"},
        ReplyCase{"PingStringId", R"({"jsonrpc":"2.0","id":"a","method":"ping"})", LR"({"jsonrpc":"2.0","id":"a","result":{}})"},
        ReplyCase{"PingNullId", R"({"id":null,"method":"ping"})", LR"({"jsonrpc":"2.0","id":null,"result":{}})"},
        ReplyCase{"IdInWriterForm", R"({"id":1.0,"method":"ping"})", LR"({"jsonrpc":"2.0","id":1,"result":{}})"},
        ReplyCase{"LongIdRounded", R"({"id":12345678901234567,"method":"ping"})",
                  LR"({"jsonrpc":"2.0","id":1.23456789012346e+16,"result":{}})"},
        ReplyCase{"NonAsciiIdEscaped", "{\"id\":\"\xE6\x97\xA5\",\"method\":\"ping\"}",
                  LR"({"jsonrpc":"2.0","id":"\u65E5","result":{}})"},
        ReplyCase{"ObjectId", R"({"id":{"b":1,"a":[true]},"method":"ping"})",
                  LR"({"jsonrpc":"2.0","id":{"a":[true],"b":1},"result":{}})"},
        ReplyCase{"InitializeIgnoresParams", R"({"id":7,"method":"initialize","params":{"protocolVersion":"2099-01-01"}})",
                  LR"({"jsonrpc":"2.0","id":7,"result":{"protocolVersion":"2024-11-05","capabilities":{"tools":{}},"serverInfo":{"name":"Tessary","version":"1.0.0"}}})"},
        ReplyCase{"InitializeWithoutParams", R"({"id":7,"method":"initialize"})",
                  LR"({"jsonrpc":"2.0","id":7,"result":{"protocolVersion":"2024-11-05","capabilities":{"tools":{}},"serverInfo":{"name":"Tessary","version":"1.0.0"}}})"},
        ReplyCase{"NotJson", "hello", LR"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is not a JSON object"}})"},
        ReplyCase{"EmptyBody", "", LR"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is not a JSON object"}})"},
        ReplyCase{"Batch", R"([{"id":1,"method":"ping"}])",
                  LR"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is not a JSON object"}})"},
        ReplyCase{"MissingMethod", R"({"id":1})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32600,"message":"the request carries no \"method\" string"}})"},
        ReplyCase{"NumberMethod", R"({"id":1,"method":5})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32600,"message":"the request carries no \"method\" string"}})"},
        ReplyCase{"EmptyMethod", R"({"id":1,"method":""})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32600,"message":"the request carries no \"method\" string"}})"},
        ReplyCase{"UnknownMethod", R"({"id":1,"method":"resources/list"})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"method not found: resources/list"}})"},
        ReplyCase{"MethodCaseMatters", R"({"id":1,"method":"Ping"})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"method not found: Ping"}})"},
        ReplyCase{"MethodEscapedInMessage", R"({"id":1,"method":"a\"b\\c\u0001"})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32601,"message":"method not found: a\"b\\c\u0001"}})"},
        ReplyCase{"CallWithoutParams", R"({"id":1,"method":"tools/call"})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"tools/call needs a \"name\" string"}})"},
        ReplyCase{"CallParamsNotObject", R"({"id":1,"method":"tools/call","params":[1]})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"tools/call needs a \"name\" string"}})"},
        ReplyCase{"CallNameNotString", R"({"id":1,"method":"tools/call","params":{"name":3}})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"tools/call needs a \"name\" string"}})"},
        ReplyCase{"CallUnknownTool", R"({"id":1,"method":"tools/call","params":{"name":"x"}})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"unknown tool: x"}})"},
        ReplyCase{"CallToolNameCaseMatters", R"({"id":1,"method":"tools/call","params":{"name":"Calendar_List"}})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"unknown tool: Calendar_List"}})"},
        ReplyCase{"CallNullArguments", R"({"id":1,"method":"tools/call","params":{"name":"calendar_list","arguments":null}})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"tools/call \"arguments\" must be a JSON object"}})"},
        ReplyCase{"CallArrayArguments", R"({"id":1,"method":"tools/call","params":{"name":"calendar_list","arguments":[]}})",
                  LR"({"jsonrpc":"2.0","id":1,"error":{"code":-32602,"message":"tools/call \"arguments\" must be a JSON object"}})"}),
    [](const testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST(McpServer, NotificationsAreNeverAnswered)
{
    RecordingTools tools;
    McpServer server(tools);
    EXPECT_EQ(server.HandleMessage(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"), L"");
    EXPECT_EQ(server.HandleMessage(R"({"method":"tools/call","params":{"name":"calendar_list"}})"), L"");
    EXPECT_EQ(server.HandleMessage(R"({"jsonrpc":"2.0"})"), L"");
    EXPECT_TRUE(tools.calls.empty());  // a tools/call without an id is not carried out
}

TEST(McpServer, ToolCallsAreForwardedUnderTheirOwnName)
{
    RecordingTools tools;
    McpServer server(tools);
    tools.next = ToolOutcome{true, LR"({"a":"b"})"};
    EXPECT_EQ(server.HandleMessage(R"({"id":3,"method":"tools/call","params":{"name":"items_get","arguments":{"date":"2026-08-20","b":[1.50]}}})"),
              LR"({"jsonrpc":"2.0","id":3,"result":{"content":[{"type":"text","text":"{\"a\":\"b\"}"}],"isError":false}})");
    tools.next = ToolOutcome{false, L"{\"error\":{\"code\":\"X\",\"message\":\"\x65E5\\n\"}}"};
    EXPECT_EQ(server.HandleMessage(R"({"id":4,"method":"tools/call","params":{"name":"calendar_list"}})"),
              L"{\"jsonrpc\":\"2.0\",\"id\":4,\"result\":{\"content\":[{\"type\":\"text\",\"text\":"
              L"\"{\\\"error\\\":{\\\"code\\\":\\\"X\\\",\\\"message\\\":\\\"\x65E5\\\\n\\\"}}\"}],\"isError\":true}}");
    ASSERT_EQ(tools.calls.size(), 2u);
    EXPECT_EQ(tools.calls[0].first, L"items_get");
    EXPECT_EQ(tools.calls[0].second, LR"({"b":[1.5],"date":"2026-08-20"})");  // the writer's form
    EXPECT_EQ(tools.calls[1].first, L"calendar_list");
    EXPECT_EQ(tools.calls[1].second, L"{}");  // no "arguments" member
}

TEST(McpServer, ToolsListWrapsTheCatalog)
{
    RecordingTools tools;
    McpServer server(tools);
    const std::wstring reply = server.HandleMessage(R"({"id":1,"method":"tools/list"})");
    const std::wstring head = LR"({"jsonrpc":"2.0","id":1,"result":{"tools":[)";
    ASSERT_EQ(reply.compare(0, head.size(), head), 0);
    EXPECT_EQ(reply.substr(reply.size() - 3), L"]}}");
    EXPECT_EQ(reply.find(L'\n'), std::wstring::npos);
}

TEST(McpServer, DeepNestingIsRefusedWithoutParsing)
{
    RecordingTools tools;
    McpServer server(tools);
    const auto nested = [](int depth) {
        return R"({"id":1,"method":"ping","params":)" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    EXPECT_EQ(server.HandleMessage(nested(McpServer::kMaxMessageDepth)), LR"({"jsonrpc":"2.0","id":1,"result":{}})");
    const std::wstring tooDeep = LR"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"the message is nested too deeply"}})";
    EXPECT_EQ(server.HandleMessage(nested(McpServer::kMaxMessageDepth + 1)), tooDeep);
    EXPECT_EQ(server.HandleMessage(std::string(1000000, '[')), tooDeep);
    // Brackets inside strings are text, not nesting.
    EXPECT_EQ(server.HandleMessage(R"({"id":1,"method":"ping","params":")" + std::string(5000, '[') + "\"}"),
              LR"({"jsonrpc":"2.0","id":1,"result":{}})");
}

TEST(McpServer, InvalidUtf8IsReplacedNotRefused)
{
    RecordingTools tools;
    McpServer server(tools);
    EXPECT_EQ(server.HandleMessage("{\"id\":\"a\xFF\xC3\",\"method\":\"ping\"}"),
              LR"({"jsonrpc":"2.0","id":"a\uFFFD\uFFFD","result":{}})");
}

TEST(McpServer, CalendarRepliesAreRelayedAsTheirWrittenTextEscaped)
{
    // The tool result is the reply written again in one pass; it must be
    // exactly the reply's payload parsed and written back, then escaped, as
    // a text.
    const std::wstring replies[] = {
        LR"({"id":"1","ok":true,"result":{"title":"日 \"q\" back\\slash a/b","n":[0.1,-0,1e21,12345678901234567],"e":{}}})",
        L"{\"id\":\"1\",\"ok\":true,\"result\":\"tab\\t nl\\n nul\\u0000 del\x7F \xD83D\xDE00\"}",
        LR"({"id":"1","ok":true,"result":[]})",
        LR"({"id":"1","ok":true,"result":null})",
        LR"({"id":"1","ok":false,"error":{"code":"NOT_FOUND","message":"no \"x\" in \\ 日"}})",
        LR"({"id":"1","ok":"yes","error":"plain"})",
        // Members in any order, a name twice (the last counts), a literal in capitals.
        LR"({"ok":false,"result":{"b":[{"d":1,"c":2}],"a":2},"id":"1","ok":TRUE,"error":{}})",
        LR"({"ok":true,"error":{"z":1,"y":2},"result":1,"ok":false})",
    };
    for (const std::wstring& text : replies) {
        const ToolOutcome outcome = CalendarPipeClient::ParseReply(text);
        ASSERT_TRUE(outcome.fromReply) << testing::PrintToString(text);

        const JsonValue::Ptr parsed = JsonValue::Parse(text);
        const bool ok = parsed->GetMember(L"ok")->IsBool() && parsed->GetMember(L"ok")->BoolValue();
        const std::wstring expectedText = ok ? parsed->GetMember(L"result")->Serialize()
                                             : L"{\"error\":" + parsed->GetMember(L"error")->Serialize() + L"}";
        EXPECT_EQ(outcome.ok, ok);
        EXPECT_EQ(outcome.Text(), expectedText);

        RecordingTools tools;
        tools.next = outcome;
        McpServer server(tools);
        EXPECT_EQ(server.HandleMessage(R"({"id":5,"method":"tools/call","params":{"name":"calendar_list"}})"),
                  LR"({"jsonrpc":"2.0","id":5,"result":{"content":[{"type":"text","text":")" +
                      EscapeJsonText(expectedText) + LR"("}],"isError":)" + (ok ? L"false" : L"true") + L"}}")
            << testing::PrintToString(text);
    }
}

// A reply nested deeper than 1000 levels in all is refused as not being a
// JSON object; one level less is passed on whole.
TEST(McpServer, CalendarRepliesNestedTooDeeplyAreRefused)
{
    const auto nested = [](int levels) { return std::wstring(levels, L'[') + std::wstring(levels, L']'); };
    const std::wstring head = LR"({"id":"1","ok":true,"result":)";
    const ToolOutcome within = CalendarPipeClient::ParseReply(head + nested(999) + L"}");
    EXPECT_TRUE(within.ok);
    EXPECT_EQ(within.Text(), nested(999));
    const ToolOutcome beyond = CalendarPipeClient::ParseReply(head + nested(1000) + L"}");
    EXPECT_FALSE(beyond.ok);
    EXPECT_EQ(beyond.Text(),
              LR"({"error":{"code":"INTERNAL","message":"the calendar sent a reply that is not a JSON object"}})");
}

}  // namespace
