// The stand-in calendar program as a user and tessary-mcp meet it: it is
// detected as the running calendar, its command channel reads and sets its
// state, its state survives a restart, it refuses a second instance, and it
// quits cleanly, releasing the names by which it is detected.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "ChildProcess.h"

namespace {

std::wstring McpProgram() { return ProgramFolder() + L"tessary-mcp.exe"; }

ChildResult Send(const std::vector<std::wstring>& words) { return SendToDevHost(words); }

bool CalendarMutexExists()
{
    HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, L"__MUTEX_TESSARY_EXE__");
    if (!m) return false;
    CloseHandle(m);
    return true;
}

class DevHostProcess : public testing::Test {
protected:
    std::wstring data = FreshTempFolder(L"devhost-test");
    RunningChild calendar;

    // Starts the calendar and waits until its command channel answers.
    void StartCalendar(std::vector<std::wstring> extra = {L"--no-plugin"})
    {
        ChildOptions options;
        options.arguments = {L"--data", data};
        options.arguments.insert(options.arguments.end(), extra.begin(), extra.end());
        ASSERT_TRUE(calendar.Start(DevHostProgram(), options));
        for (int i = 0; i < 200; ++i) {
            if (Send({L"status"}).exitCode == 0) return;
            Sleep(100);
        }
        FAIL() << "the stand-in calendar did not come up; its output:\n" << calendar.Output();
    }

    void Quit()
    {
        const ChildResult r = Send({L"quit"});
        EXPECT_EQ(r.out, "ok\nbye\n");
        ASSERT_TRUE(calendar.WaitForExit(20000)) << calendar.Output();
        EXPECT_EQ(calendar.ExitCode(), 0u);
    }
};

TEST_F(DevHostProcess, IsTheRunningCalendarForTessaryMcp)
{
    StartCalendar();
    EXPECT_TRUE(CalendarMutexExists());
    const ChildResult r = RunChild(McpProgram(), "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/call\",\"params\":{\"name\":\"calendar_list\"}}\n");
    EXPECT_EQ(r.out,
              "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{\"content\":[{\"type\":\"text\",\"text\":\"{\\\"error\\\":{\\\"code\\\":\\\"INTERNAL\\\","
              "\\\"message\\\":\\\"the calendar is running but is not listening for AI requests; check that AI access is turned on in "
              "its settings\\\"}}\"}],\"isError\":true}}\n");
    Quit();
    EXPECT_FALSE(CalendarMutexExists());
    const std::string output = calendar.Output();
    EXPECT_NE(output.find("tessary-devhost: ready"), std::string::npos) << output;
    EXPECT_NE(output.find("tessary-devhost: stopped"), std::string::npos) << output;
}

TEST_F(DevHostProcess, CommandsReadAndSetStateThatSurvivesARestart)
{
    StartCalendar();
    EXPECT_EQ(Send({L"setting", L"set-int", L"sys_aimcp_enabled", L"1"}).out, "ok\n");
    EXPECT_EQ(Send({L"setting", L"set-string", L"greeting", L"hello \xE4\xB8\x96"}).exitCode, 0u);
    EXPECT_EQ(Send({L"login", L"alice"}).out, "ok\n");
    EXPECT_EQ(Send({L"cloud", L"deny"}).out, "ok\n");
    const ChildResult bad = Send({L"setting", L"set-int", L"k", L"many"});
    EXPECT_EQ(bad.exitCode, 1u);
    EXPECT_EQ(bad.out, "error: not an integer: many\n");
    EXPECT_EQ(Send({L"no-such-command"}).exitCode, 1u);
    Quit();

    StartCalendar();
    EXPECT_EQ(Send({L"setting", L"get", L"sys_aimcp_enabled"}).out, "ok\n1\n");
    const std::string status = Send({L"status"}).out;
    EXPECT_NE(status.find("ai access: on\n"), std::string::npos) << status;
    EXPECT_NE(status.find("cloud switch: deny\n"), std::string::npos) << status;
    EXPECT_NE(status.find("logged in as alice (user key alice)"), std::string::npos) << status;
    Quit();
}

TEST_F(DevHostProcess, RefusesASecondInstance)
{
    StartCalendar();
    ChildOptions options;
    options.arguments = {L"--data", data + L"-second", L"--no-plugin"};
    const ChildResult second = RunChild(DevHostProgram(), "", options);
    EXPECT_EQ(second.exitCode, 1u);
    EXPECT_EQ(second.out, "tessary-devhost: another calendar is already running\n");
    Quit();
}

TEST_F(DevHostProcess, StallBlocksTheMainThreadForTheTimeAsked)
{
    StartCalendar();
    EXPECT_EQ(Send({L"stall", L"2000"}).exitCode, 0u);
    const DWORD start = GetTickCount();
    EXPECT_EQ(Send({L"status"}).exitCode, 0u);  // answered only once the main thread is free
    EXPECT_GE(GetTickCount() - start, 1500u);
    Quit();
}

TEST(DevHostSend, SaysSoWhenNoCalendarRuns)
{
    const ChildResult r = Send({L"status"});
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.out.rfind("error: no stand-in calendar is running", 0), 0u) << r.out;
}

}  // namespace

TEST_F(DevHostProcess, PageCommandsReportAMissingPlugInAndEmptyRecords)
{
    StartCalendar();
    const struct {
        std::vector<std::wstring> command;
        std::string out;
        unsigned long exitCode;
    } cases[] = {
        {{L"page", L"open"}, "error: the plug-in is not loaded\n", 1},
        {{L"page", L"window"}, "error: the plug-in is not loaded\n", 1},
        {{L"page", L"state"}, "error: no settings dialog or window is open\n", 1},
        {{L"page", L"toggle"}, "error: no settings dialog or window is open\n", 1},
        {{L"page", L"finish", L"1"}, "error: no settings dialog is open\n", 1},
        {{L"clipboard"}, "error: nothing was copied\n", 1},
        {{L"tips"}, "ok\n", 0},
    };
    for (const auto& c : cases) {
        const ChildResult r = Send(c.command);
        EXPECT_EQ(r.out, c.out) << testing::PrintToString(c.command);
        EXPECT_EQ(r.exitCode, c.exitCode) << testing::PrintToString(c.command);
    }
    const ChildResult help = Send({L"help"});
    EXPECT_NE(help.out.find("page click ID"), std::string::npos) << help.out;
    Quit();
}
