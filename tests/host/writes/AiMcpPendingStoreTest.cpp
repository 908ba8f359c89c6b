// The pending store: confirm tokens, taking a write once, and the
// five-minute expiry on the plug-in's clock.
#include <set>

#include "AiMcpPendingStore.h"
#include "WritesTestHost.h"

namespace {

using writetest::WriteHost;

class PendingStore : public WriteHost {
protected:
    AiMcpPendingStore& store = AiMcpPendingStore::Instance();

    static PendingWrite ItemWrite(const std::wstring& date)
    {
        PendingWrite write;
        write.kind = AiMcpWriteKind::ItemsAppendLine;
        write.item.date = date;
        write.item.text = L"buy milk";
        write.item.hasText = true;
        return write;
    }
};

TEST(ConfirmToken, IsThirtyTwoLowerCaseHexDigitsAndFreshEachTime)
{
    std::set<std::wstring> seen;
    for (int i = 0; i < 20; ++i) {
        const std::wstring token = AiMcpPendingStore::_GenerateConfirmToken();
        ASSERT_EQ(token.size(), 32u);
        for (wchar_t c : token) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) << token;
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST_F(PendingStore, PeekKeepsTheWriteAndTakeRemovesIt)
{
    const std::wstring token = store.Park(ItemWrite(L"2026-08-20"));
    ASSERT_EQ(token.size(), 32u);

    PendingWrite seen;
    ASSERT_TRUE(store.Peek(token, seen));
    EXPECT_EQ(seen.item.date, L"2026-08-20");
    EXPECT_EQ(seen.item.text, L"buy milk");
    EXPECT_EQ(seen.kind, AiMcpWriteKind::ItemsAppendLine);
    ASSERT_TRUE(store.Peek(token, seen));

    PendingWrite taken;
    ASSERT_TRUE(store.Take(token, taken));
    EXPECT_EQ(taken.item.text, L"buy milk");
    EXPECT_FALSE(store.Take(token, taken));
    EXPECT_FALSE(store.Peek(token, taken));
    EXPECT_FALSE(store.Peek(L"", taken));
    EXPECT_EQ(store.Count(), 0u);
}

TEST_F(PendingStore, ExpiresFiveMinutesAfterParking)
{
    const std::wstring token = store.Park(ItemWrite(L"2026-08-20"));
    PendingWrite write;

    SetClockSeconds(299);
    EXPECT_TRUE(store.Peek(token, write));
    SetClockSeconds(300);
    EXPECT_FALSE(store.Peek(token, write));
    EXPECT_FALSE(store.Take(token, write));
}

TEST_F(PendingStore, ParkingPurgesExpiredWritesOnly)
{
    const std::wstring old = store.Park(ItemWrite(L"2026-08-20"));
    SetClockSeconds(200);
    const std::wstring younger = store.Park(ItemWrite(L"2026-08-21"));
    SetClockSeconds(301);
    const std::wstring newest = store.Park(ItemWrite(L"2026-08-22"));

    EXPECT_EQ(store.Count(), 2u);  // the first one is gone
    PendingWrite write;
    EXPECT_FALSE(store.Peek(old, write));
    ASSERT_TRUE(store.Peek(younger, write));
    EXPECT_EQ(write.item.date, L"2026-08-21");
    EXPECT_TRUE(store.Peek(newest, write));
}

TEST_F(PendingStore, NoTokenStoresNothing)
{
    AiMcpPendingStore::SetTokenSourceForTest([] { return std::wstring(); });
    EXPECT_EQ(store.Park(ItemWrite(L"2026-08-20")), L"");
    EXPECT_EQ(store.Count(), 0u);
}

TEST_F(PendingStore, TokenAlreadyInUseIsDrawnAgainNotOverwritten)
{
    int draws = 0;
    AiMcpPendingStore::SetTokenSourceForTest([&draws] { return ++draws <= 2 ? std::wstring(L"same") : L"other"; });
    EXPECT_EQ(store.Park(ItemWrite(L"2026-08-20")), L"same");
    EXPECT_EQ(store.Park(ItemWrite(L"2026-08-21")), L"other");

    PendingWrite write;
    ASSERT_TRUE(store.Peek(L"same", write));
    EXPECT_EQ(write.item.date, L"2026-08-20");

    // A source that keeps giving the token in use gives up with no token.
    AiMcpPendingStore::SetTokenSourceForTest([] { return std::wstring(L"same"); });
    EXPECT_EQ(store.Park(ItemWrite(L"2026-08-22")), L"");
    EXPECT_EQ(store.Count(), 2u);
}

}  // namespace
