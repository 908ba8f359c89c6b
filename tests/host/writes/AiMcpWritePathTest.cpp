// The write road and event_confirm, driven through the day-cell family:
// parking and accepting, rejecting, expiry, the quota asked again on
// acceptance, trusted writing, the audit line of every moment, and the
// summaries of all four families' writes.
#include <string>
#include <vector>

#include "AiMcpEnvelope.h"
#include "AiMcpToolDispatcher.h"
#include "AiMcpWritePath.h"
#include "WritesTestHost.h"

namespace {

using writetest::Error;
using writetest::Ok;
using writetest::WriteHost;

const wchar_t kAppend[] = L"{\"date\":\"2026-08-20\",\"text\":\"buy milk\"}";
const wchar_t kPendingSummary[] =
    L"{\"op\":\"items_append_line\",\"date\":\"2026-08-20\",\"preview\":\"buy milk\"}";
const wchar_t kAfterAppend[] =
    L"{\"date\":\"2026-08-20\",\"text\":\"a\\nbuy milk\",\"bgcolor\":\"\",\"lines\":["
    L"{\"line_index\":0,\"text\":\"a\",\"done\":false},{\"line_index\":1,\"text\":\"buy milk\",\"done\":false}]}";

class WritePath : public WriteHost {
protected:
    void SetUp() override
    {
        WriteHost::SetUp();
        SetCell(L"2026-08-20", L"a");
    }

    static std::wstring Append() { return ItemWriteEntry(L"1", kAppend, AiMcpWriteKind::ItemsAppendLine); }
    static std::wstring Confirm(const std::wstring& token, const std::wstring& accept)
    {
        return EventConfirm(L"2", L"{\"confirm_token\":\"" + token + L"\",\"accept\":" + accept + L"}");
    }
};

TEST_F(WritePath, UntrustedWriteIsParkedUntilAccepted)
{
    const std::wstring answer = Append();
    const std::wstring token = TokenOf(answer);
    ASSERT_EQ(token.size(), 32u) << answer;
    EXPECT_EQ(answer, Ok(L"{\"status\":\"pending_confirmation\",\"confirm_token\":\"" + token +
                         L"\",\"summary\":" + kPendingSummary + L"}"));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a");
    EXPECT_EQ(days->textStores, 0);
    EXPECT_EQ(ItemsUsed(), 0);

    EXPECT_EQ(Confirm(token, L"true"), Ok(kAfterAppend, L"2"));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a\nbuy milk");
    EXPECT_EQ(ItemsUsed(), 1);
    EXPECT_EQ(ItemNotifications(), 1);

    // A token is accepted once.
    EXPECT_EQ(Confirm(token, L"true"), Error(L"NOT_FOUND", L"unknown or expired confirm_token", L"2"));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a\nbuy milk");
    EXPECT_EQ(ItemsUsed(), 1);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "items_append_line\tid=2026-08-20\ttrust=0\tok\tpending confirmation",
                                "items_append_line\tid=2026-08-20\ttrust=0\tok\tbuy milk",
                            }));
}

TEST_F(WritePath, RejectedWriteIsDroppedAndAudited)
{
    const std::wstring token = TokenOf(Append());
    EXPECT_EQ(Confirm(token, L"\"False\""), Ok(L"{\"status\":\"cancelled\"}", L"2"));
    EXPECT_EQ(Confirm(token, L"true"), Error(L"NOT_FOUND", L"unknown or expired confirm_token", L"2"));
    EXPECT_EQ(Confirm(token, L"false"), Error(L"NOT_FOUND", L"unknown or expired confirm_token", L"2"));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a");
    EXPECT_EQ(days->textStores, 0);
    EXPECT_EQ(ItemsUsed(), 0);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "items_append_line\tid=2026-08-20\ttrust=0\tok\tpending confirmation",
                                "items_append_line\tid=2026-08-20\ttrust=0\terror\tcancelled by the user",
                            }));
}

TEST_F(WritePath, AcceptanceWorksUntilFiveMinutesHavePassed)
{
    const std::wstring first = TokenOf(Append());
    const std::wstring second = TokenOf(Append());
    SetClockSeconds(299);
    EXPECT_EQ(Confirm(first, L"\"TRUE\""), Ok(kAfterAppend, L"2"));
    SetClockSeconds(300);
    EXPECT_EQ(Confirm(second, L"true"), Error(L"NOT_FOUND", L"unknown or expired confirm_token", L"2"));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a\nbuy milk");
    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 0u);
}

TEST_F(WritePath, QuotaUsedUpBeforeAcceptanceLeavesTheWriteParked)
{
    const std::wstring token = TokenOf(Append());
    ASSERT_FALSE(token.empty());
    Store(L"sys_aimcp_quota_items_local", 40);

    const wchar_t quota[] = L"daily AI write quota exceeded for items: used 40 of 40 (resets at local midnight)";
    EXPECT_EQ(Confirm(token, L"true"), Error(L"QUOTA_EXCEEDED", quota, L"2"));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a");
    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 1u);

    // Room again (as after local midnight): the same token still works.
    Store(L"sys_aimcp_quota_items_local", 39);
    EXPECT_EQ(Confirm(token, L"true"), Ok(kAfterAppend, L"2"));
    EXPECT_EQ(ItemsUsed(), 40);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "items_append_line\tid=2026-08-20\ttrust=0\tok\tpending confirmation",
                                "items_append_line\tid=2026-08-20\ttrust=0\terror\tdaily AI write quota exceeded "
                                "for items: used 40 of 40 (resets at local midnight)",
                                "items_append_line\tid=2026-08-20\ttrust=0\tok\tbuy milk",
                            }));
}

TEST_F(WritePath, TrustedWritingCarriesTheWriteOutAtOnce)
{
    SetTrusted(true);
    EXPECT_EQ(Append(), Ok(kAfterAppend));
    EXPECT_EQ(CellText(L"2026-08-20"), L"a\nbuy milk");
    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 0u);
    EXPECT_EQ(ItemsUsed(), 1);
    EXPECT_EQ(AuditLines(), std::vector<std::string>{"items_append_line\tid=2026-08-20\ttrust=1\tok\tbuy milk"});
}

TEST_F(WritePath, RefusalsBeforeParkingAreAuditedAndChangeNothing)
{
    Store(L"sys_aimcp_quota_day_local", 20260820);
    Store(L"sys_aimcp_quota_items_local", 40);
    // Validation comes before the quota.
    EXPECT_EQ(ItemWriteEntry(L"1", L"{\"date\":\"2026-02-30\",\"text\":\"x\"}", AiMcpWriteKind::ItemsAppendLine),
              Error(L"INVALID_PARAMS", L"\\\"date\\\" must be a valid YYYY-MM-DD calendar date"));
    EXPECT_EQ(Append(), Error(L"QUOTA_EXCEEDED", L"daily AI write quota exceeded for items: used 40 of 40 (resets "
                                                 L"at local midnight)"));
    Store(L"sys_aimcp_quota_items_local", 0);
    AiMcpPendingStore::SetTokenSourceForTest([] { return std::wstring(); });
    EXPECT_EQ(Append(), Error(L"INTERNAL", L"could not create a confirmation token"));

    EXPECT_EQ(AiMcpPendingStore::Instance().Count(), 0u);
    EXPECT_EQ(days->textStores, 0);
    EXPECT_EQ(ItemsUsed(), 0);
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "items_append_line\tid=2026-02-30\ttrust=0\terror\t\"date\" must be a valid "
                                "YYYY-MM-DD calendar date",
                                "items_append_line\tid=2026-08-20\ttrust=0\terror\tdaily AI write quota exceeded "
                                "for items: used 40 of 40 (resets at local midnight)",
                                "items_append_line\tid=2026-08-20\ttrust=0\terror\tcould not create a confirmation "
                                "token",
                            }));
}

TEST_F(WritePath, ConfirmParametersAreCheckedInOrder)
{
    const std::wstring noToken = L"malformed request: \\\"params\\\" needs a \\\"confirm_token\\\" string";
    const std::wstring noAccept = L"malformed request: \\\"accept\\\" must be true or false";
    const struct {
        const wchar_t* params;
        std::wstring answer;
    } cases[] = {
        {L"", Error(L"INVALID_PARAMS", noToken)},
        {L"{\"accept\":true}", Error(L"INVALID_PARAMS", noToken)},
        {L"{\"confirm_token\":\"\",\"accept\":true}", Error(L"INVALID_PARAMS", noToken)},
        {L"{\"confirm_token\":true,\"accept\":true}", Error(L"INVALID_PARAMS", noToken)},
        {L"{\"confirm_token\":\"abc\"}", Error(L"INVALID_PARAMS", noAccept)},
        {L"{\"confirm_token\":\"abc\",\"accept\":1}", Error(L"INVALID_PARAMS", noAccept)},
        {L"{\"confirm_token\":\"abc\",\"accept\":\"yes\"}", Error(L"INVALID_PARAMS", noAccept)},
        {L"{\"confirm_token\":\"abc\",\"accept\":true}", Error(L"NOT_FOUND", L"unknown or expired confirm_token")},
        {L"{\"confirm_token\":\"abc\",\"accept\":false}", Error(L"NOT_FOUND", L"unknown or expired confirm_token")},
    };
    for (const auto& c : cases) EXPECT_EQ(EventConfirm(L"1", c.params), c.answer) << c.params;
    EXPECT_TRUE(AuditLines().empty());
}

TEST_F(WritePath, AFamilyWithoutValidatorOrExecutorIsRefusedWithAnAuditLine)
{
    const AiMcpWriteFamily missing{nullptr, nullptr};
    EXPECT_EQ(RunWriteEntry(missing, L"1", L"{}", AiMcpWriteKind::TimetableUpsert),
              Error(L"INTERNAL", L"the calendar cannot carry out this kind of write"));
    const AiMcpWriteFamily noExecutor{AiMcpWriteFamilyOf(AiMcpWriteKind::ItemsSet).validate, nullptr};
    EXPECT_EQ(RunWriteEntry(noExecutor, L"1", L"{}", AiMcpWriteKind::ItemsSet),
              Error(L"INTERNAL", L"the calendar cannot carry out this kind of write"));
    EXPECT_EQ(AuditLines(), (std::vector<std::string>{
                                "timetable_upsert\tid=\ttrust=0\terror\tthe calendar cannot carry out this kind of write",
                                "items_set\tid=\ttrust=0\terror\tthe calendar cannot carry out this kind of write",
                            }));
}

TEST_F(WritePath, DispatcherRoutesTheDayCellToolsAndConfirmation)
{
    ComPtr<devhost::CloudConfigService> cloud;
    ASSERT_EQ(S_OK, devhost::CloudConfigService::Create(folder, cloud));
    DevHost::SetService(SID_CloudConfigService, cloud.get());

    const std::wstring token = TokenOf(AiMcpToolDispatcher::Dispatch(L"1", L"items_append_line", kAppend));
    ASSERT_EQ(token.size(), 32u);
    EXPECT_EQ(AiMcpToolDispatcher::Dispatch(L"2", L"event_confirm",
                                            L"{\"confirm_token\":\"" + token + L"\",\"accept\":true}"),
              Ok(kAfterAppend, L"2"));
    EXPECT_EQ(AiMcpToolDispatcher::Dispatch(L"1", L"items_get", L"{\"date\":\"2026-08-20\"}"), Ok(kAfterAppend));
}

TEST(WriteSummary, EachFamilyDescribesItsWrite)
{
    const std::wstring longContent(121, L'x');
    const std::wstring longText(201, L'y');
    struct Case {
        const char* name;
        PendingWrite write;
        std::wstring summary;
    };
    std::vector<Case> cases;
    {
        PendingWrite w;
        w.kind = AiMcpWriteKind::EventCreate;
        w.event.title = L"Dentist";
        w.event.date = L"2026-08-20";
        w.event.eventType = 2;
        cases.push_back({"event_create", w,
                         L"{\"op\":\"create\",\"title\":\"Dentist\",\"date\":\"2026-08-20\",\"all_day\":true,"
                         L"\"kind\":\"reminder\",\"start\":\"2026-08-20T00:00:00+08:00\","
                         L"\"end\":\"2026-08-21T00:00:00+08:00\"}"});
        w.kind = AiMcpWriteKind::EventUpdate;
        w.event.eventId = L"ev-9";
        w.event.eventType = 7;
        w.event.date = L"";
        cases.push_back({"event_update", w,
                         L"{\"op\":\"update\",\"id\":\"ev-9\",\"title\":\"Dentist\",\"date\":\"\",\"all_day\":true,"
                         L"\"kind\":\"task\"}"});
        w.kind = AiMcpWriteKind::EventDelete;
        w.event.eventType = 3;
        w.event.date = L"2026-12-31";
        cases.push_back({"event_delete", w,
                         L"{\"op\":\"delete\",\"id\":\"ev-9\",\"title\":\"Dentist\",\"date\":\"2026-12-31\","
                         L"\"all_day\":true,\"kind\":\"countdown\",\"start\":\"2026-12-31T00:00:00+08:00\","
                         L"\"end\":\"2027-01-01T00:00:00+08:00\"}"});
    }
    {
        PendingWrite w;
        w.kind = AiMcpWriteKind::ItemsSet;
        w.item.date = L"2026-08-20";
        w.item.text = L"a\nb";
        w.item.bgcolor = L"FF00FF00";
        w.item.hasBgcolor = true;
        cases.push_back({"items_set", w,
                         L"{\"op\":\"items_set\",\"date\":\"2026-08-20\",\"preview\":\"a\\nb\",\"bgcolor\":"
                         L"\"FF00FF00\"}"});
        w.item.hasBgcolor = false;
        w.item.text = longText;
        cases.push_back({"items_set text only", w,
                         L"{\"op\":\"items_set\",\"date\":\"2026-08-20\",\"preview\":\"" + longText.substr(0, 200) +
                             L"\"}"});
        w.kind = AiMcpWriteKind::ItemLineSetDone;
        w.item.text = L"~~x~~";
        w.item.lineIndex = 0;
        w.item.done = false;
        cases.push_back({"item_line_set_done", w,
                         L"{\"op\":\"item_line_set_done\",\"date\":\"2026-08-20\",\"line_index\":0,\"preview\":"
                         L"\"~~x~~\",\"done\":false}"});
    }
    {
        PendingWrite w;
        w.kind = AiMcpWriteKind::NotesCreate;
        w.note.title = L"Shopping";
        w.note.content = longContent;
        cases.push_back({"notes_create", w,
                         L"{\"op\":\"notes_create\",\"title\":\"Shopping\",\"preview\":\"" + longContent.substr(0, 120) +
                             L"\u2026\"}"});
        w.kind = AiMcpWriteKind::NotesUpdate;
        w.note.noteId = L"n-5";
        w.note.content = longContent.substr(0, 120);
        cases.push_back({"notes_update", w,
                         L"{\"op\":\"notes_update\",\"id\":\"n-5\",\"title\":\"Shopping\",\"preview\":\"" +
                             longContent.substr(0, 120) + L"\"}"});
    }
    {
        PendingWrite w;
        w.kind = AiMcpWriteKind::TimetableUpsert;
        w.timetable.name = L"Spring \"term\"";
        cases.push_back({"timetable created", w,
                         L"{\"op\":\"timetable_upsert\",\"name\":\"Spring \\\"term\\\"\",\"action\":\"created\"}"});
        w.timetable.replaced = true;
        cases.push_back({"timetable replaced", w,
                         L"{\"op\":\"timetable_upsert\",\"name\":\"Spring \\\"term\\\"\",\"action\":\"replaced\"}"});
        w.kind = AiMcpWriteKind::TimetableDelete;
        cases.push_back({"timetable deleted", w,
                         L"{\"op\":\"timetable_delete\",\"name\":\"Spring \\\"term\\\"\",\"action\":\"delete\"}"});
    }
    for (const Case& c : cases) EXPECT_EQ(BuildSummaryJson(c.write), c.summary) << c.name;
}

TEST(WriteAuditId, NamesTheThingEachFamilyWrites)
{
    PendingWrite w;
    w.event.eventId = L"ev";
    w.item.date = L"2026-08-20";
    w.note.noteId = L"note";
    w.timetable.timetableId = L"tt";
    const std::pair<AiMcpWriteKind, const wchar_t*> cases[] = {
        {AiMcpWriteKind::EventDelete, L"ev"},      {AiMcpWriteKind::ItemsSet, L"2026-08-20"},
        {AiMcpWriteKind::ItemLineSetDone, L"2026-08-20"}, {AiMcpWriteKind::NotesCreate, L"note"},
        {AiMcpWriteKind::TimetableDelete, L"tt"},
    };
    for (const auto& c : cases) {
        w.kind = c.first;
        EXPECT_EQ(AiMcpAuditIdOf(w), c.second) << static_cast<int>(c.first);
    }
}

}  // namespace
