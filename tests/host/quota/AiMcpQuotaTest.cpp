// The daily write quota against the stand-in settings store: the limit of
// 40 per kind, the roll-over at local midnight, per-user keys, a missing
// store, and counters at the top of the 32-bit range.
#include <climits>

#include "AiMcpAuditLog.h"
#include "AiMcpQuota.h"
#include "QuotaTestHost.h"

using quotatest::SetClock;
using quotatest::Utc;

namespace {

class WriteQuota : public quotatest::StandInHost {
protected:
    void SetUp() override
    {
        StandInHost::SetUp();
        SetClock(Utc(2026, 8, 20, 4, 0, 0));  // 12:00 on 20 August 2026 in Shanghai
    }
    // Stores today's stamp and the three counters of the logged-out user.
    void StoreToday(LONG items, LONG events, LONG notes)
    {
        Store(L"sys_aimcp_quota_day_local", 20260820);
        Store(L"sys_aimcp_quota_items_local", items);
        Store(L"sys_aimcp_quota_events_local", events);
        Store(L"sys_aimcp_quota_notes_local", notes);
    }
};

TEST_F(WriteQuota, FortiethWriteIsTheLastOfItsKind)
{
    StoreToday(39, 0, 0);
    std::wstring message;
    EXPECT_TRUE(CheckWriteQuota(AiMcpQuotaKind::Items, message));
    EXPECT_EQ(message, L"");
    CountWrite(AiMcpQuotaKind::Items);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_local"), 40);

    EXPECT_FALSE(CheckWriteQuota(AiMcpQuotaKind::Items, message));
    EXPECT_EQ(message, L"daily AI write quota exceeded for items: used 40 of 40 (resets at local midnight)");
    std::wstring other;
    EXPECT_TRUE(CheckWriteQuota(AiMcpQuotaKind::Events, other));
    EXPECT_TRUE(CheckWriteQuota(AiMcpQuotaKind::Notes, other));
    EXPECT_EQ(other, L"");

    const QuotaSnapshot s = ReadQuotaSnapshot();
    EXPECT_EQ(s.day, 20260820);
    EXPECT_EQ(s.itemsUsed, 40);
    EXPECT_EQ(s.eventsUsed, 0);
    EXPECT_EQ(s.notesUsed, 0);
    EXPECT_EQ(s.itemsLimit, 40);
    EXPECT_EQ(s.eventsLimit, 40);
    EXPECT_EQ(s.notesLimit, 40);
}

TEST_F(WriteQuota, GateRefusesExactlyTheToolsOfTheExhaustedKind)
{
    // Events used up; timetable writes draw on the same allowance.
    StoreToday(3, 40, 39);
    const struct {
        AiMcpWriteKind tool;
        bool refused;
    } cases[] = {
        {AiMcpWriteKind::EventCreate, true},       {AiMcpWriteKind::EventUpdate, true},
        {AiMcpWriteKind::EventDelete, true},       {AiMcpWriteKind::ItemsSet, false},
        {AiMcpWriteKind::ItemsAppendLine, false},  {AiMcpWriteKind::ItemLineUpdate, false},
        {AiMcpWriteKind::ItemLineDelete, false},   {AiMcpWriteKind::ItemLineSetDone, false},
        {AiMcpWriteKind::NotesCreate, false},      {AiMcpWriteKind::NotesUpdate, false},
        {AiMcpWriteKind::NotesDelete, false},      {AiMcpWriteKind::TimetableUpsert, true},
        {AiMcpWriteKind::TimetableDelete, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.tool));
        const auto answer = QuotaGate(c.tool, L"9", L"x");
        EXPECT_EQ(answer.has_value(), c.refused);
        if (answer) {
            EXPECT_EQ(*answer, L"{\"id\":\"9\",\"ok\":false,\"error\":{\"code\":\"QUOTA_EXCEEDED\",\"message\":"
                               L"\"daily AI write quota exceeded for events: used 40 of 40 (resets at local "
                               L"midnight)\"}}");
        }
    }
    // The gate only asks; it counts nothing.
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_local"), 3);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_events_local"), 40);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_local"), 39);
}

TEST_F(WriteQuota, LocalMidnightZeroesTheUsersCounters)
{
    StoreToday(40, 7, 40);
    Store(L"sys_aimcp_quota_items_u42", 40);  // another user's count stays as it is
    SetClock(Utc(2026, 8, 20, 15, 59, 59));   // 23:59:59 local
    std::wstring message;
    EXPECT_FALSE(CheckWriteQuota(AiMcpQuotaKind::Items, message));
    EXPECT_EQ(ReadQuotaSnapshot().eventsUsed, 7);

    SetClock(Utc(2026, 8, 20, 16, 0, 0));  // 00:00:00 local on the 21st
    const QuotaSnapshot s = ReadQuotaSnapshot();
    EXPECT_EQ(s.day, 20260821);
    EXPECT_EQ(s.itemsUsed, 0);
    EXPECT_EQ(s.eventsUsed, 0);
    EXPECT_EQ(s.notesUsed, 0);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day_local"), 20260821);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_local"), 0);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_events_local"), 0);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_local"), 0);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_u42"), 40);
    EXPECT_TRUE(CheckWriteQuota(AiMcpQuotaKind::Notes, message));

    // A count is the first call of the next day: it rolls over before adding.
    Store(L"sys_aimcp_quota_notes_local", 40);
    SetClock(Utc(2026, 8, 21, 16, 0, 0));
    CountWrite(AiMcpQuotaKind::Notes);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day_local"), 20260822);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_local"), 1);

    // A clock set back is a new day as well.
    SetClock(Utc(2026, 8, 20, 4, 0, 0));
    EXPECT_EQ(ReadQuotaSnapshot().day, 20260820);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_local"), 0);
}

TEST_F(WriteQuota, FirstUseStampsTheDay)
{
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day_local"), -999);
    CountWrite(AiMcpQuotaKind::Events);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day_local"), 20260820);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_local"), 0);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_events_local"), 1);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_local"), 0);
}

TEST_F(WriteQuota, CountersAreKeptPerUser)
{
    CountWrite(AiMcpQuotaKind::Items);  // nobody logged in
    ASSERT_EQ(S_OK, account->LogIn(L"u42"));
    CountWrite(AiMcpQuotaKind::Items);
    CountWrite(AiMcpQuotaKind::Items);
    EXPECT_EQ(ReadQuotaSnapshot().itemsUsed, 2);
    ASSERT_EQ(S_OK, account->LogOut());
    EXPECT_EQ(ReadQuotaSnapshot().itemsUsed, 1);

    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_local"), 1);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day_local"), 20260820);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_u42"), 2);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day_u42"), 20260820);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_events_u42"), 0);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_u42"), 0);
    // Nothing under the bare keys.
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items"), -999);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_day"), -999);
}

TEST_F(WriteQuota, MissingSettingsStoreNeverRefuses)
{
    DevHost::SetService(SID_SettingStoreService, nullptr);
    for (int i = 0; i < 45; ++i) CountWrite(AiMcpQuotaKind::Notes);
    std::wstring message;
    EXPECT_TRUE(CheckWriteQuota(AiMcpQuotaKind::Notes, message));
    EXPECT_FALSE(QuotaGate(AiMcpWriteKind::NotesCreate, L"1", L"").has_value());
    const QuotaSnapshot s = ReadQuotaSnapshot();
    EXPECT_EQ(s.day, 0);
    EXPECT_EQ(s.notesUsed, 0);
    EXPECT_EQ(s.notesLimit, 40);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_notes_local"), -999);
}

TEST_F(WriteQuota, CountStopsAtTheLargest32BitValue)
{
    StoreToday(INT_MAX - 1, INT_MAX, 0);
    CountWrite(AiMcpQuotaKind::Items);
    CountWrite(AiMcpQuotaKind::Items);
    CountWrite(AiMcpQuotaKind::Events);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_items_local"), INT_MAX);
    EXPECT_EQ(Stored(L"sys_aimcp_quota_events_local"), INT_MAX);
    std::wstring message;
    EXPECT_FALSE(CheckWriteQuota(AiMcpQuotaKind::Events, message));
    EXPECT_EQ(message,
              L"daily AI write quota exceeded for events: used 2147483647 of 40 (resets at local midnight)");
}

}  // namespace
