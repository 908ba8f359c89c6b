// What the end-to-end tests share: UTF-8 both ways for the programs' bytes,
// starting and stopping the stand-in calendar over a data folder, one tool
// call through tessary-mcp.exe, and today's date in the test's zone.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "JsonValue.h"

namespace e2e {

inline std::wstring FromUtf8(const std::string& bytes)
{
    if (bytes.empty()) return std::wstring();
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], units);
    return text;
}

inline std::string ToUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], bytes, nullptr, nullptr);
    return out;
}

// Starts tessary-devhost.exe with the arguments and waits until its command
// channel answers; false (with the program's output in the failure) when it
// does not come up within 20 seconds.
inline testing::AssertionResult StartDevHost(RunningChild& calendar, const std::vector<std::wstring>& arguments)
{
    ChildOptions options;
    options.arguments = arguments;
    if (!calendar.Start(DevHostProgram(), options)) return testing::AssertionFailure() << "cannot start the calendar";
    for (int i = 0; i < 200; ++i) {
        if (SendToDevHost({L"status"}).exitCode == 0) return testing::AssertionSuccess();
        Sleep(100);
    }
    return testing::AssertionFailure() << "the stand-in calendar did not come up:\n" << calendar.Output();
}

// Tells the calendar to quit and expects it to end cleanly.
inline void StopDevHost(RunningChild& calendar)
{
    const ChildResult quit = SendToDevHost({L"quit"});
    EXPECT_TRUE(calendar.WaitForExit(20000)) << "quit: " << quit.out << quit.err << "\n" << calendar.Output();
    EXPECT_EQ(calendar.ExitCode(), 0u);
}

inline std::wstring McpProgram() { return ProgramFolder() + L"tessary-mcp.exe"; }

// The token the running calendar stores; empty when it has none.
inline std::wstring StoredToken()
{
    const ChildResult r = SendToDevHost({L"setting", L"get", L"sys_aimcp_token"});
    std::wstring text(r.out.begin(), r.out.end());
    return r.exitCode == 0 ? text.substr(3, text.find(L'\n', 3) - 3) : std::wstring();
}

// The text of the tool result of one tools/call, and whether it was
// flagged as an error.
struct ToolResult {
    bool isError = false;
    std::wstring text;
};

// The tool result in one JSON-RPC reply; an error naming the reply when it
// carries none.
inline ToolResult ToolResultOf(const JsonValue* reply, const std::wstring& replyText)
{
    ToolResult result;
    const JsonValue* res = reply ? reply->GetMember(L"result") : nullptr;
    const JsonValue* content = res ? res->GetMember(L"content") : nullptr;
    if (!content || content->Items().empty() || !content->Items()[0]->GetMember(L"text")) {
        result.isError = true;
        result.text = L"no tool result in: " + replyText;
        return result;
    }
    result.isError = res->GetMember(L"isError") && res->GetMember(L"isError")->BoolValue();
    result.text = content->Items()[0]->GetMember(L"text")->StringValue();
    return result;
}

// One tools/call line for tessary-mcp.exe.
inline std::string ToolCallLine(const std::string& id, const std::string& name, const std::string& arguments)
{
    return "{\"jsonrpc\":\"2.0\",\"id\":" + id + ",\"method\":\"tools/call\",\"params\":{\"name\":\"" + name +
           "\",\"arguments\":" + arguments + "}}\n";
}

// One tools/call through a fresh tessary-mcp.exe with the token.
inline ToolResult CallTool(const std::wstring& token, const std::string& name, const std::string& arguments = "{}")
{
    ChildOptions options;
    options.environment = {{L"TESSARY_AIMCP_TOKEN", token}};
    const ChildResult r = RunChild(McpProgram(), ToolCallLine("1", name, arguments), options);
    const std::wstring out = FromUtf8(r.out);
    const JsonValue::Ptr reply = JsonValue::Parse(out);
    return ToolResultOf(reply.get(), out);
}

// Today's local date and the zone's current offset, as the calendar sees
// them (the Win32 calls follow TZ).
struct LocalToday {
    std::string day, nextDay, offset;
};

inline LocalToday Today()
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

}  // namespace e2e
