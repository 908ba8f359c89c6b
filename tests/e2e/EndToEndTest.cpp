// One tool call over the whole road: an MCP client's request into
// tessary-mcp.exe, over the pipe into the plug-in loaded by the stand-in
// calendar, through the gate, across to the calendar's main thread and the
// dispatcher, and back as an MCP tool result.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ChildProcess.h"
#include "JsonValue.h"

namespace {

std::wstring Mcp() { return ProgramFolder() + L"tessary-mcp.exe"; }

ChildResult Send(const std::vector<std::wstring>& words) { return SendToDevHost(words); }

// The text of the tool result of one tools/call through tessary-mcp.exe,
// and whether it was flagged as an error.
struct ToolResult {
    bool isError = false;
    std::wstring text;
};

ToolResult CallTool(const std::wstring& token, const std::string& name, const std::string& arguments = "{}")
{
    ChildOptions options;
    options.environment = {{L"TESSARY_AIMCP_TOKEN", token}};
    const ChildResult r = RunChild(Mcp(),
                                   "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"" + name +
                                       "\",\"arguments\":" + arguments + "}}\n",
                                   options);
    ToolResult result;
    std::wstring out(r.out.begin(), r.out.end());  // the replies checked here are ASCII
    const JsonValue::Ptr reply = JsonValue::Parse(out);
    const JsonValue* res = reply ? reply->GetMember(L"result") : nullptr;
    if (!res) {
        result.isError = true;
        result.text = L"no tool result in: " + out;
        return result;
    }
    result.isError = res->GetMember(L"isError") && res->GetMember(L"isError")->BoolValue();
    result.text = res->GetMember(L"content")->Items()[0]->GetMember(L"text")->StringValue();
    return result;
}

class EndToEnd : public testing::Test {
protected:
    RunningChild calendar;
    std::wstring data;

    void SetUp() override
    {
        data = FreshTempFolder(L"e2e");
        ChildOptions options;
        options.arguments = {L"--data", data, L"--sample"};
        ASSERT_TRUE(calendar.Start(DevHostProgram(), options));
        for (int i = 0; i < 200; ++i) {
            if (Send({L"status"}).exitCode == 0) return;
            Sleep(100);
        }
        FAIL() << "the stand-in calendar did not come up:\n" << calendar.Output();
    }
    void TearDown() override
    {
        Send({L"quit"});
        EXPECT_TRUE(calendar.WaitForExit(20000)) << calendar.Output();
        EXPECT_EQ(calendar.ExitCode(), 0u);
    }

    std::wstring Token()
    {
        const ChildResult r = Send({L"setting", L"get", L"sys_aimcp_token"});
        std::wstring text(r.out.begin(), r.out.end());
        return r.exitCode == 0 ? text.substr(3, text.find(L'\n', 3) - 3) : std::wstring();
    }
};

TEST_F(EndToEnd, GateAndDispatcherAnswerThroughMcp)
{
    const std::string status = Send({L"status"}).out;
    ASSERT_NE(status.find("plug-in: attached"), std::string::npos) << status << calendar.Output();

    // AI access off: the gate refuses, and no token exists yet.
    EXPECT_EQ(Token(), L"");
    ToolResult r = CallTool(L"anything", "calendar_list");
    EXPECT_TRUE(r.isError);
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI access to the local calendar is turned off\"}}");

    // On: a token appears; a wrong one is refused.
    ASSERT_EQ(Send({L"ai", L"on"}).exitCode, 0u);
    const std::wstring token = Token();
    ASSERT_EQ(token.size(), 64u);
    r = CallTool(token + L"x", "calendar_list");
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"UNAUTHORIZED\",\"message\":\"missing or invalid token\"}}");

    // The right token reaches the dispatcher on the calendar's main thread,
    // which answers from the cloud switch.
    ASSERT_EQ(Send({L"cloud", L"deny"}).exitCode, 0u);
    r = CallTool(token, "calendar_list");
    EXPECT_TRUE(r.isError);
    EXPECT_EQ(r.text, L"{\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI MCP is disabled by cloud configuration\"}}");

    // The statistics report shows that the dispatcher ran the request after
    // the cloud switch allowed it.
    ASSERT_EQ(Send({L"cloud", L"allow"}).exitCode, 0u);
    CallTool(token, "calendar_list");
    const std::string stats = Send({L"stats"}).out;
    EXPECT_NE(stats.find("ai\ttool\tcalendar_list\t1"), std::string::npos) << stats;

    // AI access off again: refused at the gate, the token kept.
    ASSERT_EQ(Send({L"ai", L"off"}).exitCode, 0u);
    EXPECT_EQ(CallTool(token, "calendar_list").text,
              L"{\"error\":{\"code\":\"FEATURE_DISABLED\",\"message\":\"AI access to the local calendar is turned off\"}}");
    EXPECT_EQ(Token(), token);
}

// Today's local date and the zone's current offset, as the calendar sees
// them (the Win32 calls follow TZ).
struct LocalToday {
    std::string day, nextDay, offset;
};

LocalToday Today()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    SYSTEMTIME midnight = now;
    midnight.wHour = midnight.wMinute = midnight.wSecond = midnight.wMilliseconds = 0;
    FILETIME ft;
    SystemTimeToFileTime(&midnight, &ft);
    ULARGE_INTEGER t{};
    t.LowPart = ft.dwLowDateTime;
    t.HighPart = ft.dwHighDateTime;
    t.QuadPart += 864000000000ull;
    ft.dwLowDateTime = t.LowPart;
    ft.dwHighDateTime = t.HighPart;
    SYSTEMTIME next;
    FileTimeToSystemTime(&ft, &next);
    TIME_ZONE_INFORMATION tz;
    const DWORD mode = GetTimeZoneInformation(&tz);
    const long bias = tz.Bias + (mode == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : mode == TIME_ZONE_ID_STANDARD ? tz.StandardBias : 0);
    char buffer[64];
    LocalToday today;
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    today.day = buffer;
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u", next.wYear, next.wMonth, next.wDay);
    today.nextDay = buffer;
    std::snprintf(buffer, sizeof buffer, "%c%02ld:%02ld", bias > 0 ? '-' : '+', std::labs(bias) / 60, std::labs(bias) % 60);
    today.offset = buffer;
    return today;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

JsonValue::Ptr ParseResult(const ToolResult& r)
{
    JsonValue::Ptr value = JsonValue::Parse(r.text);
    EXPECT_TRUE(value && value->IsObject()) << testing::PrintToString(r.text);
    return value ? std::move(value) : JsonValue::MakeObject({});
}

TEST_F(EndToEnd, ReadsTheSampleCalendarAndWritesADayCellInTheLocalZone)
{
    ASSERT_EQ(Send({L"ai", L"on"}).exitCode, 0u);
    const std::wstring token = Token();
    const LocalToday today = Today();

    ToolResult r = CallTool(token, "calendar_list");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    JsonValue::Ptr result = ParseResult(r);
    ASSERT_TRUE(result->GetMember(L"calendars"));
    EXPECT_EQ(result->GetMember(L"calendars")->Items().size(), 3u);
    EXPECT_EQ(result->GetMember(L"current_calendar_id")->StringValue(), L"local/1");  // two calendars share number 1

    // Today's occurrences, each on today's date at local midnight with the
    // zone's own offset.
    r = CallTool(token, "events_query",
                 "{\"start\":\"" + today.day + "T00:00:00" + today.offset + "\",\"end\":\"" + today.nextDay + "T00:00:00" + today.offset + "\"}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    result = ParseResult(r);
    const JsonValue* events = result->GetMember(L"events");
    ASSERT_TRUE(events && !events->Items().empty()) << testing::PrintToString(r.text);
    for (const auto& e : events->Items()) {
        EXPECT_EQ(e->GetMember(L"date")->StringValue(), Wide(today.day));
        EXPECT_EQ(e->GetMember(L"start")->StringValue(), Wide(today.day + "T00:00:00" + today.offset));
    }

    // A line added to today's cell waits for confirmation, then lands.
    r = CallTool(token, "items_append_line", "{\"date\":\"" + today.day + "\",\"text\":\"Parked line\"}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    result = ParseResult(r);
    EXPECT_EQ(result->GetMember(L"status")->StringValue(), L"pending_confirmation");
    const std::wstring confirm = result->GetMember(L"confirm_token")->StringValue();
    EXPECT_EQ(CallTool(token, "items_get", "{\"date\":\"" + today.day + "\"}").text.find(L"Parked line"), std::wstring::npos);
    r = CallTool(token, "event_confirm", "{\"confirm_token\":\"" + std::string(confirm.begin(), confirm.end()) + "\",\"accept\":true}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    EXPECT_NE(CallTool(token, "items_get", "{\"date\":\"" + today.day + "\"}").text.find(L"Parked line"), std::wstring::npos);

    // The stand-in calendar shows the write counted and audited.
    const std::string quota = Send({L"quota"}).out;
    EXPECT_NE(quota.find("items: 1 of 40"), std::string::npos) << quota;
    const std::string audit = Send({L"audit"}).out;
    EXPECT_NE(audit.find("items_append_line\tid=" + today.day + "\ttrust=0\tok\tpending confirmation"), std::string::npos) << audit;
    EXPECT_NE(audit.find("\tParked line"), std::string::npos) << audit;

    // With trusted writing on, the same kind of write is carried out at once.
    ASSERT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_trust_write", L"1"}).exitCode, 0u);
    r = CallTool(token, "items_append_line", "{\"date\":\"" + today.day + "\",\"text\":\"Trusted line\"}");
    ASSERT_FALSE(r.isError) << testing::PrintToString(r.text);
    EXPECT_EQ(r.text.find(L"pending_confirmation"), std::wstring::npos);
    EXPECT_NE(CallTool(token, "items_get", "{\"date\":\"" + today.day + "\"}").text.find(L"Trusted line"), std::wstring::npos);
}

}  // namespace
