// The audit log as the write path leaves it behind: the exact bytes of each
// kind of line, fields kept on one line, no directory to write to, and
// lines kept whole while others read or append to the file.
#include <string>
#include <thread>
#include <vector>

#include "AiMcpAuditLog.h"
#include "AiMcpEnvelope.h"
#include "AiMcpQuota.h"
#include "QuotaTestHost.h"

using servicetest::ReadBytes;
using quotatest::SetClock;
using quotatest::Utc;

namespace {

class AuditLog : public quotatest::StandInHost {
protected:
    void SetUp() override
    {
        StandInHost::SetUp();
        SetClock(Utc(2026, 8, 20, 1, 2, 3));  // 09:02:03 on 20 August 2026 in Shanghai
    }
};

// A user data service that answers a fixed text (null for none).
class FixedUserData final : public devhost::ComObject<IxUserDataService, IID_IxUserDataService> {
public:
    explicit FixedUserData(const wchar_t* directory) : directory_(directory) {}
    HRESULT STDMETHODCALLTYPE GetUserDataDir(BSTR* directory) noexcept override
    {
        *directory = directory_ ? SysAllocString(directory_) : nullptr;
        return directory_ ? S_OK : E_FAIL;
    }

private:
    const wchar_t* directory_;
};

std::wstring LastTrace()
{
    wchar_t buffer[512] = {};
    DevHost::CopyTraceTail(1, buffer, 512);
    return buffer;
}

TEST_F(AuditLog, EachMomentOfTheWritePathWritesItsLine)
{
    Store(L"sys_aimcp_quota_day_local", 20260820);
    Store(L"sys_aimcp_quota_notes_local", 40);

    // Parked, then cancelled by the user.
    AiMcpAuditLog::Append(L"event_create", L"", 0, 1, L"pending confirmation");
    AiMcpAuditLog::Append(L"notes_update", L"n-17", 0, 0, L"cancelled by the user");
    // Carried out directly under trusted writing, and on acceptance; any
    // non-zero flag counts as 1.
    AiMcpAuditLog::Append(L"items_append_line", L"2026-08-20", 1, 1, L"buy milk \u725B\u5976");
    AiMcpAuditLog::Append(L"timetable_upsert", L"tt-3", 0, 7, L"Spring term");
    AiMcpAuditLog::Append(L"event_update", L"ev-9", -1, 1, L"Dentist");
    // Refused by validation, by the quota, no confirm token, failed while storing.
    EXPECT_EQ(FailWithAudit(AiMcpWriteKind::ItemLineUpdate, L"r1", L"2026-13-01", 0, kInvalidParams,
                            L"malformed request: \"date\" is not a valid day"),
              L"{\"id\":\"r1\",\"ok\":false,\"error\":{\"code\":\"INVALID_PARAMS\",\"message\":"
              L"\"malformed request: \\\"date\\\" is not a valid day\"}}");
    const auto refused = QuotaGate(AiMcpWriteKind::NotesCreate, L"r2", L"");
    ASSERT_TRUE(refused.has_value());
    EXPECT_EQ(*refused, L"{\"id\":\"r2\",\"ok\":false,\"error\":{\"code\":\"QUOTA_EXCEEDED\",\"message\":"
                        L"\"daily AI write quota exceeded for notes: used 40 of 40 (resets at local midnight)\"}}");
    FailWithAudit(AiMcpWriteKind::EventDelete, L"r3", L"ev-2", 0, kInternal, L"could not create a confirmation token");
    EXPECT_EQ(FailWithAudit(AiMcpWriteKind::NotesDelete, L"r4", L"n-5", 1, kInternal, L"the note could not be deleted"),
              L"{\"id\":\"r4\",\"ok\":false,\"error\":{\"code\":\"INTERNAL\",\"message\":"
              L"\"the note could not be deleted\"}}");

    EXPECT_EQ(ReadBytes(AuditLogPath()),
              "2026-08-20 09:02:03\tevent_create\tid=\ttrust=0\tok\tpending confirmation\r\n"
              "2026-08-20 09:02:03\tnotes_update\tid=n-17\ttrust=0\terror\tcancelled by the user\r\n"
              "2026-08-20 09:02:03\titems_append_line\tid=2026-08-20\ttrust=1\tok\t"
              "buy milk \xE7\x89\x9B\xE5\xA5\xB6\r\n"
              "2026-08-20 09:02:03\ttimetable_upsert\tid=tt-3\ttrust=0\tok\tSpring term\r\n"
              "2026-08-20 09:02:03\tevent_update\tid=ev-9\ttrust=1\tok\tDentist\r\n"
              "2026-08-20 09:02:03\titem_line_update\tid=2026-13-01\ttrust=0\terror\t"
              "malformed request: \"date\" is not a valid day\r\n"
              "2026-08-20 09:02:03\tnotes_create\tid=\ttrust=0\terror\t"
              "daily AI write quota exceeded for notes: used 40 of 40 (resets at local midnight)\r\n"
              "2026-08-20 09:02:03\tevent_delete\tid=ev-2\ttrust=0\terror\tcould not create a confirmation token\r\n"
              "2026-08-20 09:02:03\tnotes_delete\tid=n-5\ttrust=1\terror\tthe note could not be deleted\r\n");

    // Refusals and failures count nothing.
    const QuotaSnapshot s = ReadQuotaSnapshot();
    EXPECT_EQ(s.itemsUsed, 0);
    EXPECT_EQ(s.eventsUsed, 0);
    EXPECT_EQ(s.notesUsed, 40);
}

TEST_F(AuditLog, TabsAndLineBreaksBecomeSpacesInIdAndDetail)
{
    const struct {
        const wchar_t* id;
        const wchar_t* detail;
        const char* fields;
    } cases[] = {
        {L"a\tb", L"a\nb", "id=a b\ttrust=0\tok\ta b"},
        {L"x\r\ny", L"\t\tlead\r", "id=x  y\ttrust=0\tok\t  lead "},
        {L"plain", L"back\\slash \"quoted\" \x1F", "id=plain\ttrust=0\tok\tback\\slash \"quoted\" \x1F"},
    };
    std::string expected;
    for (const auto& c : cases) {
        AiMcpAuditLog::Append(L"items_set", c.id, 0, 1, c.detail);
        expected += std::string("2026-08-20 09:02:03\titems_set\t") + c.fields + "\r\n";
    }
    EXPECT_EQ(ReadBytes(AuditLogPath()), expected);
}

TEST_F(AuditLog, NoUserDataDirectoryWritesNothingAndFailsNothing)
{
    // Run from the scratch folder, so a relative path would land in it.
    wchar_t previous[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));
    const struct {
        const wchar_t* directory;  // null: the service answers nothing
        bool installed;
    } cases[] = {{nullptr, false}, {nullptr, true}, {L"", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.installed);
        ComPtr<FixedUserData> service = devhost::MakeComObject<FixedUserData>(c.directory);
        DevHost::SetService(SID_UserDataService, c.installed ? service.get() : nullptr);
        AiMcpAuditLog::Append(L"notes_create", L"n-1", 1, 1, L"title");
        EXPECT_EQ(LastTrace(), L"AiMcpAuditLog: no user data directory, dropping the entry\n");
        EXPECT_EQ(FailWithAudit(AiMcpWriteKind::NotesCreate, L"5", L"", 0, kInternal, L"boom"),
                  L"{\"id\":\"5\",\"ok\":false,\"error\":{\"code\":\"INTERNAL\",\"message\":\"boom\"}}");
    }
    // Not beside the program, not in the current folder, not at the root.
    EXPECT_FALSE(servicetest::Exists(L"aimcp_audit.log"));
    EXPECT_FALSE(servicetest::Exists(L"\\aimcp_audit.log"));
    EXPECT_FALSE(servicetest::Exists(AuditLogPath()));
    SetCurrentDirectoryW(previous);
}

TEST_F(AuditLog, DirectoryFormsTheFilePath)
{
    // With a trailing backslash no second one is added; a folder that does
    // not exist drops the line with the open's error.
    const std::wstring withSlash = folder.Path() + L"\\";
    ComPtr<FixedUserData> service = devhost::MakeComObject<FixedUserData>(withSlash.c_str());
    DevHost::SetService(SID_UserDataService, service.get());
    AiMcpAuditLog::Append(L"notes_delete", L"n-2", 0, 1, L"Old");
    EXPECT_EQ(ReadBytes(withSlash + L"aimcp_audit.log"),
              "2026-08-20 09:02:03\tnotes_delete\tid=n-2\ttrust=0\tok\tOld\r\n");

    const std::wstring missing = folder.PathOf(L"no-such-folder");
    service = devhost::MakeComObject<FixedUserData>(missing.c_str());
    DevHost::SetService(SID_UserDataService, service.get());
    AiMcpAuditLog::Append(L"notes_delete", L"n-3", 0, 1, L"Gone");
    EXPECT_EQ(LastTrace(), L"AiMcpAuditLog: CreateFile failed err = 3\n");
    EXPECT_FALSE(servicetest::Exists(missing));
}

TEST_F(AuditLog, LinesStayWholeWhileOthersReadAndAppend)
{
    const std::wstring path = AuditLogPath();
    AiMcpAuditLog::Append(L"event_create", L"", 0, 1, L"first");
    // A reader that keeps the file open the whole time, as a log viewer would.
    UniqueFile reader(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);

    constexpr int kPerWriter = 300;
    auto writer = [](const wchar_t* name) {
        for (int i = 0; i < kPerWriter; ++i)
            AiMcpAuditLog::Append(L"items_set", name, 0, 1, std::wstring(name) + L"-" + std::to_wstring(i));
    };
    std::thread a(writer, L"A"), b(writer, L"B");
    a.join();
    b.join();

    std::string seen;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) seen.append(buffer, got);
    EXPECT_EQ(seen, ReadBytes(path));

    // Every line is whole and each writer's lines arrive in its own order.
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < seen.size();) {
        const std::size_t end = seen.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "unterminated line at " << start;
        lines.push_back(seen.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), 1u + 2 * kPerWriter);
    EXPECT_EQ(lines[0], "2026-08-20 09:02:03\tevent_create\tid=\ttrust=0\tok\tfirst");
    int next[2] = {0, 0};
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const int w = line.find("\tid=B\t") != std::string::npos ? 1 : 0;
        const std::string name = w ? "B" : "A";
        EXPECT_EQ(line, "2026-08-20 09:02:03\titems_set\tid=" + name + "\ttrust=0\tok\t" + name + "-" +
                            std::to_string(next[w]));
        ++next[w];
    }
    EXPECT_EQ(next[0], kPerWriter);
    EXPECT_EQ(next[1], kPerWriter);
}

}  // namespace
