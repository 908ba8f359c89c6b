// The AI access page as a user meets it: the stand-in calendar with the
// real plug-in opens its settings dialog on the page, the tests click its
// real controls (mouse button messages posted to the check box and buttons
// themselves), read the controls back, and check what each click stored,
// started, copied and recorded, and that MCP calls through tessary-mcp.exe
// follow the switch.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "EndToEndSupport.h"
#include "JsonValue.h"
#include "ServiceTestSupport.h"

namespace {

using e2e::FromUtf8;

ChildResult Send(const std::vector<std::wstring>& words) { return SendToDevHost(words); }

// The lines of a reply after its "ok" line, without CR.
std::vector<std::wstring> Lines(const ChildResult& reply)
{
    std::vector<std::wstring> lines;
    const std::wstring text = FromUtf8(reply.out);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

// One element of "page state": its kind, text and flags.
struct ElementState {
    std::wstring kind, text;
    std::map<std::wstring, int> flags;  // visible, disabled, checked
};

std::map<std::wstring, ElementState> PageState()
{
    std::map<std::wstring, ElementState> elements;
    for (const std::wstring& line : Lines(Send({L"page", L"state"}))) {
        ElementState state;
        const std::size_t idEnd = line.find(L' ');
        const std::size_t kindEnd = line.find(L' ', idEnd + 1);
        state.kind = line.substr(idEnd + 1, kindEnd - idEnd - 1);
        const std::size_t textStart = line.find(L"text=\"");
        const std::size_t textEnd = line.rfind(L"\" visible=");
        if (textStart != std::wstring::npos && textEnd != std::wstring::npos)
            state.text = line.substr(textStart + 6, textEnd - textStart - 6);
        for (const wchar_t* flag : {L"visible", L"disabled", L"checked"}) {
            const std::wstring key = std::wstring(L" ") + flag + L"=";
            const std::size_t at = line.find(key, textEnd == std::wstring::npos ? 0 : textEnd);
            if (at != std::wstring::npos) state.flags[flag] = line[at + key.size()] == L'1' ? 1 : 0;
        }
        elements[line.substr(0, idEnd)] = state;
    }
    return elements;
}

// The text a "clipboard" or "tips" line stands for (\r, \n and \\ undone).
std::wstring Unescape(const std::wstring& line)
{
    std::wstring text;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'\\' && i + 1 < line.size()) {
            const wchar_t next = line[++i];
            text += next == L'r' ? L'\r' : next == L'n' ? L'\n' : next;
        } else {
            text += line[i];
        }
    }
    return text;
}

std::wstring Setting(const std::wstring& key)
{
    const std::vector<std::wstring> lines = Lines(Send({L"setting", L"get", key}));
    return lines.empty() ? std::wstring() : lines[0];
}

// The error code of a calendar_list call through tessary-mcp.exe, or "ok".
std::string CalendarListOutcome(const std::wstring& token)
{
    ChildOptions options;
    options.environment = {{L"TESSARY_AIMCP_TOKEN", token}};
    const ChildResult r = RunChild(ProgramFolder() + L"tessary-mcp.exe",
                                   "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":"
                                   "\"calendar_list\",\"arguments\":{}}}\n",
                                   options);
    if (r.out.find("\\\"calendars\\\"") != std::string::npos) return "ok";
    const std::size_t code = r.out.find("\\\"code\\\":\\\"");
    if (code == std::string::npos) return "no answer: " + r.out;
    const std::size_t start = code + 11;
    return r.out.substr(start, r.out.find('\\', start) - start);
}

class SettingsPage : public testing::Test {
protected:
    RunningChild calendar;
    std::wstring data;

    void Start(const std::wstring& language = L"")
    {
        data = FreshTempFolder(L"page");
        std::vector<std::wstring> arguments{L"--data", data, L"--sample"};
        if (!language.empty()) arguments.insert(arguments.end(), {L"--language", language});
        ASSERT_TRUE(e2e::StartDevHost(calendar, arguments));
    }
    void TearDown() override { e2e::StopDevHost(calendar); }
    void Ok(const std::vector<std::wstring>& words)
    {
        const ChildResult r = Send(words);
        ASSERT_EQ(r.exitCode, 0u) << testing::PrintToString(words) << "\n" << r.out << calendar.Output();
    }
    static int Flag(const std::map<std::wstring, ElementState>& state, const wchar_t* id, const wchar_t* flag)
    {
        const auto element = state.find(id);
        if (element == state.end()) return -1;
        const auto value = element->second.flags.find(flag);
        return value == element->second.flags.end() ? -1 : value->second;
    }
};

TEST_F(SettingsPage, SwitchingOnAndOffWithRealClicks)
{
    Start();
    Ok({L"page", L"open"});
    auto state = PageState();
    EXPECT_EQ(Flag(state, L"aimcp_enabled", L"checked"), 0);
    EXPECT_EQ(Flag(state, L"aimcp_btn_copy_config", L"disabled"), 1);
    EXPECT_EQ(Flag(state, L"aimcp_btn_view_tutorial", L"disabled"), 1);
    EXPECT_EQ(Flag(state, L"aimcp_status_off", L"visible"), 1);
    EXPECT_EQ(Flag(state, L"aimcp_status_on", L"visible"), 0);
    EXPECT_EQ(Setting(L"sys_aimcp_trust_write"), L"1");
    EXPECT_EQ(Setting(L"sys_aimcp_token"), L"");
    EXPECT_EQ(CalendarListOutcome(L"whatever"), "FEATURE_DISABLED");

    // A real click on the check box.
    Ok({L"page", L"toggle"});
    state = PageState();
    EXPECT_EQ(Flag(state, L"aimcp_enabled", L"checked"), 1);
    EXPECT_EQ(Flag(state, L"aimcp_btn_copy_config", L"disabled"), 0);
    EXPECT_EQ(Flag(state, L"aimcp_btn_view_tutorial", L"disabled"), 0);
    EXPECT_EQ(Flag(state, L"aimcp_status_on", L"visible"), 1);
    EXPECT_EQ(Flag(state, L"aimcp_status_off", L"visible"), 0);
    EXPECT_EQ(Setting(L"sys_aimcp_enabled"), L"1");
    const std::wstring token = Setting(L"sys_aimcp_token");
    ASSERT_EQ(token.size(), 64u);
    EXPECT_EQ(token.find_first_not_of(L"0123456789abcdef"), std::wstring::npos);
    EXPECT_EQ(CalendarListOutcome(token), "ok");
    EXPECT_NE(Send({L"stats"}).out.find("ai\tmcp\tenable\t1"), std::string::npos);

    // The tutorial opens the local page shipped beside the plug-in.
    Ok({L"page", L"click", L"aimcp_btn_view_tutorial"});
    const std::string opened = servicetest::ReadBytes(data + L"\\browser.log");
    EXPECT_NE(opened.find("tsyappaimcp\\tutorial\\index.html"), std::string::npos) << opened;
    const std::wstring tutorial = ProgramFolder() + L"tsyappaimcp\\tutorial\\index.html";
    EXPECT_NE(GetFileAttributesW(tutorial.c_str()), INVALID_FILE_ATTRIBUTES);

    // Off again: calls stop at once, the calendar keeps running.
    Ok({L"page", L"toggle"});
    EXPECT_EQ(Setting(L"sys_aimcp_enabled"), L"0");
    EXPECT_EQ(CalendarListOutcome(token), "FEATURE_DISABLED");
    EXPECT_NE(Send({L"stats"}).out.find("ai\tmcp\tdisable\t1"), std::string::npos);
    EXPECT_EQ(Setting(L"sys_aimcp_token"), token);

    // Finishing with 0 leaves the stored switch alone; with 1 the switch is
    // saved once more, as shown.
    Ok({L"setting", L"set-int", L"sys_aimcp_enabled", L"1"});
    Ok({L"page", L"finish", L"0"});
    EXPECT_EQ(Setting(L"sys_aimcp_enabled"), L"1");
    Ok({L"page", L"open"});
    EXPECT_EQ(Flag(PageState(), L"aimcp_enabled", L"checked"), 1);
    Ok({L"setting", L"set-int", L"sys_aimcp_enabled", L"0"});
    Ok({L"page", L"finish", L"1"});
    EXPECT_EQ(Setting(L"sys_aimcp_enabled"), L"1");
}

TEST_F(SettingsPage, CopiesTheExactClientConfiguration)
{
    Start();
    Ok({L"page", L"open"});
    // Disabled while AI access is off: the click does not reach the button.
    EXPECT_NE(Send({L"page", L"click", L"aimcp_btn_copy_config"}).exitCode, 0u);
    EXPECT_NE(Send({L"clipboard"}).exitCode, 0u);

    Ok({L"page", L"toggle"});
    Ok({L"page", L"click", L"aimcp_btn_copy_config"});
    const std::vector<std::wstring> copied = Lines(Send({L"clipboard"}));
    ASSERT_EQ(copied.size(), 1u);
    const std::wstring text = Unescape(copied[0]);
    const std::wstring token = Setting(L"sys_aimcp_token");
    std::wstring path;
    for (wchar_t c : ProgramFolder() + L"tsyappaimcp\\tessary-mcp.exe") {
        path += c;
        if (c == L'\\') path += L'\\';
    }
    EXPECT_EQ(text, L"{\r\n  \"mcpServers\": {\r\n    \"Tessary\": {\r\n      \"command\": \"" + path +
                        L"\",\r\n      \"args\": [],\r\n      \"env\": {\r\n        \"TESSARY_AIMCP_TOKEN\": \"" + token +
                        L"\"\r\n      }\r\n    }\r\n  }\r\n}\r\n");
    const JsonValue::Ptr parsed = JsonValue::Parse(text);
    ASSERT_TRUE(parsed);
    const JsonValue* command = parsed->GetMember(L"mcpServers")->GetMember(L"Tessary")->GetMember(L"command");
    ASSERT_TRUE(command);
    EXPECT_EQ(GetFileAttributesW(command->StringValue().c_str()) != INVALID_FILE_ATTRIBUTES, true)
        << testing::PrintToString(command->StringValue());

    // Twice gives the same text; each copy says so in a tip.
    Ok({L"page", L"click", L"aimcp_btn_copy_config"});
    EXPECT_EQ(Unescape(Lines(Send({L"clipboard"}))[0]), text);
    EXPECT_EQ(Lines(Send({L"tips"})), (std::vector<std::wstring>{L"Copied to the clipboard", L"Copied to the clipboard"}));
    EXPECT_NE(Send({L"stats"}).out.find("ai\tmcp\tcopy_config"), std::string::npos);
}

TEST_F(SettingsPage, QuotaLinesInBothLanguagesNeverGoNegative)
{
    for (const wchar_t* language : {L"en-US", L"zh-CN"}) {
        Start(language);
        Ok({L"setting", L"set-int", L"sys_aimcp_quota_day_local", L"0"});
        Ok({L"page", L"open"});
        // The page opening rolled the day over; count some writes for today.
        const std::wstring day = Setting(L"sys_aimcp_quota_day_local");
        ASSERT_EQ(day.size(), 8u);
        Ok({L"page", L"finish", L"0"});
        Ok({L"setting", L"set-int", L"sys_aimcp_quota_items_local", L"3"});
        Ok({L"setting", L"set-int", L"sys_aimcp_quota_events_local", L"40"});
        Ok({L"setting", L"set-int", L"sys_aimcp_quota_notes_local", L"45"});
        Ok({L"page", L"open"});
        const auto state = PageState();
        const auto text = [&](const wchar_t* id) {
            const auto found = state.find(id);
            return found == state.end() ? std::wstring(L"<missing>") : found->second.text;
        };
        if (std::wstring(language) == L"en-US") {
            EXPECT_EQ(text(L"aimcp_quota_items"), L"Day cells: 3 of 40 used, 37 left");
            EXPECT_EQ(text(L"aimcp_quota_events"), L"Events and timetables: 40 of 40 used, 0 left");
            EXPECT_EQ(text(L"aimcp_quota_notes"), L"Notes: 45 of 40 used, 0 left");
        } else {
            EXPECT_EQ(text(L"aimcp_quota_items"), L"\u65e5\u7a0b\u683c\u5b50\uff1a\u5df2\u7528 3 / 40 \u6b21\uff0c\u5269\u4f59 37 \u6b21");
            EXPECT_EQ(text(L"aimcp_quota_notes"), L"\u4fbf\u7b7e\uff1a\u5df2\u7528 45 / 40 \u6b21\uff0c\u5269\u4f59 0 \u6b21");
            EXPECT_EQ(text(L"aimcp_enabled"), L"\u5141\u8bb8 AI \u52a9\u624b\u4f7f\u7528\u672c\u65e5\u5386");
        }
        TearDown();
    }
}

TEST_F(SettingsPage, MissingServicesSkipTheirStepsAndTheWindowShowsThePage)
{
    Start();
    for (const wchar_t* service : {L"statistics", L"tip", L"application", L"path"})
        Ok({L"service", L"remove", service});
    Ok({L"page", L"open"});
    Ok({L"page", L"toggle"});  // no statistics: nothing recorded, still switched on
    EXPECT_EQ(Setting(L"sys_aimcp_enabled"), L"1");
    Ok({L"page", L"click", L"aimcp_btn_copy_config"});  // no application service: nothing copied
    Ok({L"page", L"click", L"aimcp_btn_view_tutorial"});  // no path service: no tutorial
    EXPECT_NE(Send({L"clipboard"}).exitCode, 0u);
    EXPECT_TRUE(Lines(Send({L"tips"})).empty());
    Ok({L"page", L"finish", L"2"});
    for (const wchar_t* service : {L"statistics", L"tip", L"application", L"path"})
        Ok({L"service", L"restore", service});

    // Without the language service the texts are empty, and nothing breaks.
    Ok({L"service", L"remove", L"language"});
    Ok({L"page", L"window"});
    const auto state = PageState();
    EXPECT_EQ(Flag(state, L"aimcp_enabled", L"checked"), 1);
    ASSERT_TRUE(state.count(L"aimcp_quota_items"));
    EXPECT_EQ(state.at(L"aimcp_quota_items").text, L"");
    Ok({L"service", L"restore", L"language"});

    // The standalone window: its caption names the calendar and the page.
    Ok({L"page", L"window"});
    const auto shown = PageState();
    ASSERT_TRUE(shown.count(L"aimcp_setting_title"));
    EXPECT_EQ(shown.at(L"aimcp_setting_title").text, L"Tessary - AI access");
    EXPECT_EQ(Flag(shown, L"aimcp_btn_copy_config", L"disabled"), 0);
    Ok({L"page", L"toggle"});
    EXPECT_EQ(Setting(L"sys_aimcp_enabled"), L"0");
    EXPECT_EQ(Send({L"status"}).exitCode, 0u);  // the calendar is still serving
}

}  // namespace
