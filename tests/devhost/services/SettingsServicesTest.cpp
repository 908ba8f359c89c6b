// The settings store and account services through their COM interfaces:
// the caller's conventions (preset out values, BSTR ownership, VARIANT_BOOL
// -1), keys and values the real host accepts, and state that a new object
// over the same data folder (a restarted host) sees again.

#include <gtest/gtest.h>

#include <climits>

#include "JsonValue.h"
#include "ServiceTestSupport.h"
#include "SettingsServices.h"

using devhost::AccountService;
using devhost::DataFolder;
using devhost::SettingStoreService;
using servicetest::Bstr;
using servicetest::TempFolder;

namespace {

class SettingStoreServiceTest : public ::testing::Test {
protected:
    ComPtr<SettingStoreService> Open()
    {
        ComPtr<SettingStoreService> store;
        EXPECT_EQ(S_OK, SettingStoreService::Create(folder, store));
        return store;
    }
    std::wstring GetString(IxSettingStoreService* store, const std::wstring& key, const std::wstring& fallback)
    {
        UniqueBstr value;
        EXPECT_EQ(S_OK, store->GetString(0, Bstr(key).get(), Bstr(fallback).get(), value.put()));
        EXPECT_TRUE(value.get()) << "a string is always handed out";
        return value.str();
    }
    LONG GetInt(IxSettingStoreService* store, const std::wstring& key, LONG fallback)
    {
        LONG value = fallback == 0 ? 12345 : 0;  // a preset the call must overwrite
        EXPECT_EQ(S_OK, store->GetInt(0, Bstr(key).get(), fallback, &value));
        return value;
    }

    TempFolder temp;
    DataFolder folder{temp.Path()};
};

}  // namespace

TEST_F(SettingStoreServiceTest, StringsUnderAnyKeySurviveARestart)
{
    struct Case {
        std::wstring key;
        std::wstring value;
    };
    const Case cases[] = {
        {L"sys_aimcp_token", L"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"},
        {L"", L"under the empty key"},
        {L"\u8BBE\u7F6E\u00E9", L"\u503C \U0001F600"},
        {std::wstring(L"a\0b", 3), L"key with U+0000"},
        {L"tab\tkey", L"line\r\nbreak \"quoted\" back\\slash"},
        {L"long", std::wstring(100000, L'\u4E2D')},
        {L"empty value", L""},
    };
    {
        ComPtr<SettingStoreService> store = Open();
        for (const Case& c : cases) {
            LONG result = -5;
            EXPECT_EQ(S_OK, store->SetString(0, Bstr(c.key).get(), Bstr(c.value).get(), &result));
            EXPECT_EQ(1, result);
            EXPECT_EQ(c.value, GetString(store.get(), c.key, L"default"));
        }
    }
    ComPtr<SettingStoreService> restarted = Open();
    for (const Case& c : cases) EXPECT_EQ(c.value, GetString(restarted.get(), c.key, L"default")) << c.key.size();
    EXPECT_EQ(L"default", GetString(restarted.get(), L"a", L"default"));
}

TEST_F(SettingStoreServiceTest, IntegersOverTheWholeRangeSurviveARestart)
{
    const LONG values[] = {0, 1, -1, 2, LONG_MIN, LONG_MAX, 20260820};
    {
        ComPtr<SettingStoreService> store = Open();
        for (const LONG v : values) {
            LONG result = 0;
            EXPECT_EQ(S_OK, store->SetInt(0, Bstr(L"k" + std::to_wstring(v)).get(), v, &result));
            EXPECT_EQ(1, result);
        }
    }
    ComPtr<SettingStoreService> restarted = Open();
    for (const LONG v : values) EXPECT_EQ(v, GetInt(restarted.get(), L"k" + std::to_wstring(v), 77));
}

TEST_F(SettingStoreServiceTest, MissingOrOtherTypedKeysGiveTheCallersDefault)
{
    ComPtr<SettingStoreService> store = Open();
    for (const LONG fallback : {0L, -7L, static_cast<long>(LONG_MIN)})
        EXPECT_EQ(fallback, GetInt(store.get(), L"sys_aimcp_enabled", fallback));
    EXPECT_EQ(L"fallback", GetString(store.get(), L"sys_aimcp_token", L"fallback"));

    // A null default is the empty text, handed out as a string all the same.
    UniqueBstr value;
    ASSERT_EQ(S_OK, store->GetString(0, Bstr(L"nothing").get(), nullptr, value.put()));
    EXPECT_TRUE(value.get());
    EXPECT_EQ(L"", value.str());

    // A key holds one value; reading it as the other type gives the default.
    ASSERT_EQ(S_OK, store->SetString(0, Bstr(L"s").get(), Bstr(L"5").get(), nullptr));
    ASSERT_EQ(S_OK, store->SetInt(0, Bstr(L"n").get(), 5, nullptr));
    EXPECT_EQ(42, GetInt(store.get(), L"s", 42));
    EXPECT_EQ(L"d", GetString(store.get(), L"n", L"d"));
    ASSERT_EQ(S_OK, store->SetString(0, Bstr(L"n").get(), Bstr(L"now text").get(), nullptr));
    EXPECT_EQ(42, GetInt(store.get(), L"n", 42));
    EXPECT_EQ(L"now text", GetString(store.get(), L"n", L"d"));
}

TEST_F(SettingStoreServiceTest, EachWriteIsInTheFileWhenTheCallReturns)
{
    ComPtr<SettingStoreService> store = Open();
    ASSERT_EQ(S_OK, store->SetInt(0, Bstr(L"sys_aimcp_enabled").get(), 2, nullptr));
    ASSERT_EQ(S_OK, store->SetString(0, Bstr(L"sys_aimcp_token").get(), Bstr(L"t\u00E9").get(), nullptr));
    std::wstring text;
    ASSERT_EQ(S_OK, folder.ReadText(SettingStoreService::kFileName, text));
    EXPECT_EQ(L"{\"sys_aimcp_enabled\":2,\"sys_aimcp_token\":\"t\\u00E9\"}\n", text);
}

TEST_F(SettingStoreServiceTest, NullArgumentsFollowTheHostConventions)
{
    ComPtr<SettingStoreService> store = Open();
    EXPECT_EQ(E_POINTER, store->GetString(0, Bstr(L"k").get(), nullptr, nullptr));
    EXPECT_EQ(E_POINTER, store->GetInt(0, Bstr(L"k").get(), 0, nullptr));
    // A null key is the empty key, a null value the empty text; the result
    // pointer may be left out.
    ASSERT_EQ(S_OK, store->SetInt(0, nullptr, 9, nullptr));
    EXPECT_EQ(9, GetInt(store.get(), L"", 0));
    ASSERT_EQ(S_OK, store->SetString(0, Bstr(L"v").get(), nullptr, nullptr));
    EXPECT_EQ(L"", GetString(store.get(), L"v", L"default"));
}

TEST_F(SettingStoreServiceTest, FailedWriteReportsItAndKeepsTheOldValue)
{
    ComPtr<SettingStoreService> store = Open();
    ASSERT_EQ(S_OK, store->SetInt(0, Bstr(L"sys_aimcp_enabled").get(), 1, nullptr));
    {
        UniqueFile holder = servicetest::HoldWithoutSharingDeletion(temp.PathOf(SettingStoreService::kFileName));
        ASSERT_TRUE(holder);
        LONG result = -5;
        EXPECT_TRUE(FAILED(store->SetInt(0, Bstr(L"sys_aimcp_enabled").get(), 0, &result)));
        EXPECT_EQ(0, result);
    }
    EXPECT_EQ(1, GetInt(store.get(), L"sys_aimcp_enabled", 0));
    EXPECT_EQ(1, GetInt(Open().get(), L"sys_aimcp_enabled", 0));
}

// ---- Account ---------------------------------------------------------------

namespace {

class AccountServiceTest : public ::testing::Test {
protected:
    ComPtr<AccountService> Open()
    {
        ComPtr<AccountService> account;
        EXPECT_EQ(S_OK, AccountService::Create(folder, account));
        return account;
    }

    TempFolder temp;
    DataFolder folder{temp.Path()};
};

}  // namespace

TEST_F(AccountServiceTest, NobodyIsLoggedInOnAFreshFolder)
{
    ComPtr<AccountService> account = Open();
    VARIANT_BOOL loggedIn = VARIANT_TRUE;
    ASSERT_EQ(S_OK, account->IsLoggedIn(&loggedIn));
    EXPECT_EQ(VARIANT_FALSE, loggedIn);
    UniqueBstr id;
    ASSERT_EQ(S_OK, account->GetUserId(id.put()));
    EXPECT_EQ(L"", id.str());
    EXPECT_EQ(L"local", account->UserKey());
    EXPECT_EQ(E_POINTER, account->IsLoggedIn(nullptr));
    EXPECT_EQ(E_POINTER, account->GetUserId(nullptr));
}

TEST_F(AccountServiceTest, LoginAnswersSurviveARestartExactlyAsSet)
{
    struct Case {
        VARIANT_BOOL flag;
        const wchar_t* id;
        const wchar_t* userKey;
    };
    const Case cases[] = {
        {VARIANT_TRUE, L"alice", L"alice"},
        {VARIANT_TRUE, L"", L"local"},
        {1, L"bob", L"local"},  // a host answering 1: not logged in, yet the id is there
        {VARIANT_FALSE, L"carol", L"local"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        ASSERT_EQ(S_OK, Open()->SetLogin(c.flag, c.id));
        ComPtr<AccountService> restarted = Open();
        VARIANT_BOOL loggedIn = c.flag == VARIANT_FALSE ? VARIANT_TRUE : VARIANT_FALSE;
        ASSERT_EQ(S_OK, restarted->IsLoggedIn(&loggedIn));
        EXPECT_EQ(c.flag, loggedIn);
        UniqueBstr id;
        ASSERT_EQ(S_OK, restarted->GetUserId(id.put()));
        EXPECT_EQ(c.id, id.str());
        EXPECT_EQ(c.userKey, restarted->UserKey());
    }
}

TEST_F(AccountServiceTest, AccountFileHoldsFlagAndIdentifier)
{
    ASSERT_EQ(S_OK, Open()->LogIn(L"\u00E9va"));
    std::wstring text;
    ASSERT_EQ(S_OK, folder.ReadText(AccountService::kFileName, text));
    EXPECT_EQ(L"{\"loggedIn\":true,\"userId\":\"\\u00E9va\"}\n", text);
    ASSERT_EQ(S_OK, Open()->LogOut());
    ASSERT_EQ(S_OK, folder.ReadText(AccountService::kFileName, text));
    EXPECT_EQ(L"{\"loggedIn\":false,\"userId\":\"\"}\n", text);
}
