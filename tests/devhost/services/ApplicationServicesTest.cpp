// The user data, cloud configuration, statistics and application services
// through their COM interfaces, and what they leave in the data folder.

#include <gtest/gtest.h>

#include "ApplicationServices.h"
#include "ServiceTestSupport.h"

using devhost::AccountService;
using devhost::ApplicationService;
using devhost::CloudConfigService;
using devhost::DataFolder;
using devhost::RecordedCall;
using devhost::StatisticsEvent;
using devhost::StatisticsService;
using devhost::UserDataService;
using servicetest::Bstr;
using servicetest::ReadBytes;
using servicetest::TempFolder;

namespace {

class ServiceFolderTest : public ::testing::Test {
protected:
    TempFolder temp;
    DataFolder folder{temp.Path()};
};

std::wstring UserDataDir(IxUserDataService* service)
{
    UniqueBstr directory;
    EXPECT_EQ(S_OK, service->GetUserDataDir(directory.put()));
    return directory.str();
}

}  // namespace

// ---- User data -------------------------------------------------------------

using UserDataServiceTest = ServiceFolderTest;

TEST_F(UserDataServiceTest, DirectoryFollowsTheLoginAndExists)
{
    ComPtr<AccountService> account;
    ASSERT_EQ(S_OK, AccountService::Create(folder, account));
    ComPtr<UserDataService> userData = UserDataService::Create(folder, account);
    ASSERT_TRUE(userData);

    struct Case {
        VARIANT_BOOL flag;
        const wchar_t* id;
        const wchar_t* folderName;
    };
    const Case cases[] = {
        {VARIANT_FALSE, L"", L"local"},
        {VARIANT_TRUE, L"alice", L"alice"},
        {VARIANT_TRUE, L"", L"local"},
        {1, L"bob", L"local"},
        {VARIANT_TRUE, L"a\\b:c", L"a%005Cb%003Ac"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_EQ(S_OK, account->SetLogin(c.flag, c.id));
        const std::wstring directory = UserDataDir(userData.get());
        EXPECT_EQ(temp.PathOf(L"user\\") + c.folderName, directory);
        EXPECT_TRUE(servicetest::IsFolder(directory));
    }
    EXPECT_EQ(E_POINTER, userData->GetUserDataDir(nullptr));
}

TEST(UserFolderNameTest, KeysBecomeDistinctSingleFolderNames)
{
    struct Case {
        const wchar_t* key;
        const wchar_t* name;
    };
    const Case cases[] = {
        {L"alice", L"alice"},
        {L"\u5F20\u4E09", L"\u5F20\u4E09"},
        {L"a/b", L"a%002Fb"},
        {L"..", L"%002E%002E"},
        {L"x. ", L"x%002E%0020"},
        {L"a.b", L"a.b"},
        {L"50%", L"50%0025"},
        {L"50%0025", L"50%00250025"},  // differs from the escaped "50%"
        {L"CON", L"%0043ON"},
        {L"com1.txt", L"%0063om1.txt"},
        {L"COM10", L"COM10"},
        {L"tab\there", L"tab%0009here"},
        {L"<>|?*\"", L"%003C%003E%007C%003F%002A%0022"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.name, devhost::UserFolderName(c.key)) << c.key;
}

// ---- Cloud configuration ---------------------------------------------------

using CloudConfigServiceTest = ServiceFolderTest;

TEST_F(CloudConfigServiceTest, AllowsAccessWithExactlyTrueUntilSetOtherwise)
{
    ComPtr<CloudConfigService> cloud;
    ASSERT_EQ(S_OK, CloudConfigService::Create(folder, cloud));
    VARIANT_BOOL allowed = VARIANT_FALSE;
    ASSERT_EQ(S_OK, cloud->IsAiAccessAllowed(&allowed));
    EXPECT_EQ(VARIANT_TRUE, allowed);
    EXPECT_EQ(E_POINTER, cloud->IsAiAccessAllowed(nullptr));
}

TEST_F(CloudConfigServiceTest, AnswersSurviveARestartVerbatim)
{
    struct Case {
        VARIANT_BOOL answer;
        const char* file;
    };
    const Case cases[] = {
        {VARIANT_FALSE, "{\"aiAccessAllowed\":false}\n"},
        {1, "{\"aiAccessAllowed\":1}\n"},  // "yes" the way callers must not accept it
        {VARIANT_TRUE, "{\"aiAccessAllowed\":true}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        {
            ComPtr<CloudConfigService> cloud;
            ASSERT_EQ(S_OK, CloudConfigService::Create(folder, cloud));
            ASSERT_EQ(S_OK, cloud->SetAiAccessAnswer(c.answer));
        }
        EXPECT_EQ(c.file, ReadBytes(temp.PathOf(CloudConfigService::kFileName)));
        ComPtr<CloudConfigService> restarted;
        ASSERT_EQ(S_OK, CloudConfigService::Create(folder, restarted));
        VARIANT_BOOL allowed = c.answer == VARIANT_TRUE ? VARIANT_FALSE : VARIANT_TRUE;
        ASSERT_EQ(S_OK, restarted->IsAiAccessAllowed(&allowed));
        EXPECT_EQ(c.answer, allowed);
    }
}

// ---- Statistics ------------------------------------------------------------

using StatisticsServiceTest = ServiceFolderTest;

TEST_F(StatisticsServiceTest, EventsAreKeptInOrderAndAppendedToTheLog)
{
    const auto clock = [] {
        SYSTEMTIME t{};
        t.wYear = 2026;
        t.wMonth = 8;
        t.wDay = 20;
        t.wHour = 9;
        t.wMinute = 5;
        t.wSecond = 7;
        return t;
    };
    {
        ComPtr<StatisticsService> statistics = StatisticsService::Create(folder);
        ASSERT_TRUE(statistics);
        statistics->SetClock(clock);
        ASSERT_EQ(S_OK,
                  statistics->RecordEvent(Bstr(L"ai").get(), Bstr(L"tool").get(), Bstr(L"events_query").get(), 1));
        ASSERT_EQ(S_OK, statistics->RecordEvent(Bstr(L"ai").get(), Bstr(L"mcp").get(), nullptr, -3));
        ASSERT_EQ(S_OK, statistics->RecordEvent(Bstr(L"\u65E5\u5386").get(), Bstr(L"a\tb").get(),
                                                Bstr(L"x\\y\r\nz").get(), 2));
        const std::vector<StatisticsEvent> events = statistics->Events();
        ASSERT_EQ(3u, events.size());
        EXPECT_EQ(L"events_query", events[0].label);
        EXPECT_EQ(L"mcp", events[1].action);
        EXPECT_EQ(L"", events[1].label);
        EXPECT_EQ(-3, events[1].count);
        EXPECT_EQ(L"x\\y\r\nz", events[2].label);
        EXPECT_EQ(2026, events[2].time.wYear);
    }
    // A restarted host keeps appending to the same log.
    ComPtr<StatisticsService> restarted = StatisticsService::Create(folder);
    restarted->SetClock(clock);
    ASSERT_EQ(S_OK, restarted->RecordEvent(Bstr(L"ai").get(), Bstr(L"mcp").get(), Bstr(L"enable").get(), 1));
    EXPECT_EQ(1u, restarted->Events().size());
    EXPECT_EQ("2026-08-20 09:05:07\tai\ttool\tevents_query\t1\r\n"
              "2026-08-20 09:05:07\tai\tmcp\t\t-3\r\n"
              "2026-08-20 09:05:07\t\xE6\x97\xA5\xE5\x8E\x86\ta\\tb\tx\\\\y\\r\\nz\t2\r\n"
              "2026-08-20 09:05:07\tai\tmcp\tenable\t1\r\n",
              ReadBytes(temp.PathOf(StatisticsService::kLogName)));
}

TEST_F(StatisticsServiceTest, EventThatCannotBeLoggedIsNotRecorded)
{
    // A folder where the log should be: appending fails.
    ASSERT_TRUE(CreateDirectoryW(temp.PathOf(StatisticsService::kLogName).c_str(), nullptr));
    ComPtr<StatisticsService> statistics = StatisticsService::Create(folder);
    EXPECT_LT(statistics->RecordEvent(Bstr(L"ai").get(), Bstr(L"tool").get(), Bstr(L"x").get(), 1), 0);
    EXPECT_TRUE(statistics->Events().empty());
}

// ---- Application -----------------------------------------------------------

namespace {

// The clipboard's text, or "(no text)".
std::wstring ClipboardText()
{
    std::wstring text = L"(no text)";
    if (!OpenClipboard(nullptr)) return L"(clipboard not opened)";
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const wchar_t* locked = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = locked;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

std::vector<std::wstring> Describe(const std::vector<RecordedCall>& calls)
{
    std::vector<std::wstring> lines;
    for (const RecordedCall& call : calls) {
        std::wstring line = call.operation + L"(";
        for (std::size_t i = 0; i < call.arguments.size(); ++i) line += (i ? L"," : L"") + call.arguments[i];
        line += L")" + std::wstring(call.result == S_OK ? L"" : L" failed");
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

TEST(ApplicationServiceTest, EveryCallIsRecordedInOrder)
{
    ComPtr<ApplicationService> application = ApplicationService::Create(false);
    ASSERT_TRUE(application);
    EXPECT_EQ(S_OK, application->NotifyChange(kAppChangeItems));
    EXPECT_EQ(S_OK, application->Refresh());
    EXPECT_EQ(S_OK, application->NotifyChange(kAppChangeEvents));
    EXPECT_EQ(S_OK, application->CopyText(Bstr(L"config\r\ntext").get()));
    EXPECT_EQ(S_OK, application->CopyText(nullptr));
    const std::vector<std::wstring> expected = {L"NotifyChange(1)", L"Refresh()", L"NotifyChange(2)",
                                                L"CopyText(config\r\ntext)", L"CopyText()"};
    EXPECT_EQ(expected, Describe(application->Calls()));
}

TEST(ApplicationServiceTest, CopyTextPutsTheTextOnTheClipboardUnlessSwitchedOff)
{
    const std::wstring config =
        L"{\r\n  \"mcpServers\": {\r\n    \"command\": "
        L"\"C:\\\\Program Files\\\\t\u00E9st\\\\tessary-mcp.exe\"\r\n}\r\n";
    ComPtr<ApplicationService> application = ApplicationService::Create(true);
    ASSERT_EQ(S_OK, application->CopyText(Bstr(config).get()));
    EXPECT_EQ(config, ClipboardText());

    application->SetClipboardUse(false);
    ASSERT_EQ(S_OK, application->CopyText(Bstr(L"not on the clipboard").get()));
    EXPECT_EQ(config, ClipboardText());
    EXPECT_EQ(2u, application->Calls().size());

    // Leave the desktop's clipboard empty: a process that still owns
    // clipboard data when it ends has been seen to hang at exit under Wine.
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
}
