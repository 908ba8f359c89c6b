// The AI access settings as the plug-in reads and writes them through the
// host's settings store and account services, with those services present,
// absent, or answering oddly.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "AiMcpSettingHelper.h"
#include "DevHostApi.h"
#include "HostApi.h"
#include "UniqueBstr.h"

namespace {

// An in-memory settings store that counts its writes.
class MemorySettingStore : public IxSettingStoreService {
public:
    std::map<std::wstring, LONG> ints;
    std::map<std::wstring, std::wstring> strings;
    int writes = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IxSettingStoreService) return E_NOINTERFACE;
        *out = static_cast<IxSettingStoreService*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the test's stack

    HRESULT STDMETHODCALLTYPE GetString(LONG, BSTR key, BSTR defaultText, BSTR* value) override
    {
        auto it = strings.find(Text(key));
        const std::wstring v = it == strings.end() ? Text(defaultText) : it->second;
        *value = SysAllocStringLen(v.data(), static_cast<UINT>(v.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetInt(LONG, BSTR key, LONG defaultValue, LONG* value) override
    {
        auto it = ints.find(Text(key));
        *value = it == ints.end() ? defaultValue : it->second;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetInt(LONG, BSTR key, LONG value, LONG* result) override
    {
        ints[Text(key)] = value;
        ++writes;
        *result = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetString(LONG, BSTR key, BSTR value, LONG* result) override
    {
        strings[Text(key)] = Text(value);
        ++writes;
        *result = 1;
        return S_OK;
    }
    ULONG refs() const { return refs_; }

private:
    static std::wstring Text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : std::wstring(); }
    ULONG refs_ = 1;
};

class FakeAccount : public IxAccountService {
public:
    VARIANT_BOOL loggedIn = VARIANT_FALSE;
    std::wstring userId;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid != IID_IUnknown && iid != IID_IxAccountService) return E_NOINTERFACE;
        *out = static_cast<IxAccountService*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE IsLoggedIn(VARIANT_BOOL* value) override
    {
        *value = loggedIn;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetUserId(BSTR* value) override
    {
        *value = SysAllocStringLen(userId.data(), static_cast<UINT>(userId.size()));
        return S_OK;
    }
    ULONG refs() const { return refs_; }

private:
    ULONG refs_ = 1;
};

class SettingHelper : public testing::Test {
protected:
    MemorySettingStore store;
    FakeAccount account;

    void Install()
    {
        DevHost::SetService(SID_SettingStoreService, &store);
        DevHost::SetService(SID_AccountService, &account);
    }
    void TearDown() override
    {
        DevHost::ClearServices();
        // Every reference the helper took was given back.
        EXPECT_EQ(store.refs(), 1u);
        EXPECT_EQ(account.refs(), 1u);
    }
};

bool IsLowerHex64(const std::wstring& token)
{
    if (token.size() != 64) return false;
    for (wchar_t c : token)
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'))) return false;
    return true;
}

TEST_F(SettingHelper, FreshStoreReadsOffOffAndNoToken)
{
    Install();
    EXPECT_FALSE(IsAiMcpEnabled());
    EXPECT_FALSE(IsAiMcpTrustWrite());
    EXPECT_EQ(GetAiMcpToken(), L"");
    EXPECT_EQ(store.writes, 0);
}

TEST_F(SettingHelper, AnyNonZeroSwitchValueMeansOn)
{
    Install();
    for (LONG value : {1, 2, -1}) {
        store.ints[L"sys_aimcp_enabled"] = value;
        store.ints[L"sys_aimcp_trust_write"] = value;
        EXPECT_TRUE(IsAiMcpEnabled()) << value;
        EXPECT_TRUE(IsAiMcpTrustWrite()) << value;
    }
    store.ints[L"sys_aimcp_enabled"] = 0;
    EXPECT_FALSE(IsAiMcpEnabled());
    SetSettingInt(L"sys_aimcp_quota_day_local", 20261209);
    EXPECT_EQ(GetSettingInt(L"sys_aimcp_quota_day_local"), 20261209);
}

TEST_F(SettingHelper, TokenIsCreatedOnceAndKept)
{
    Install();
    const std::wstring first = EnsureAiMcpToken();
    EXPECT_TRUE(IsLowerHex64(first)) << first;
    EXPECT_EQ(store.strings[L"sys_aimcp_token"], first);
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(EnsureAiMcpToken(), first);
    EXPECT_EQ(store.writes, 1);  // the second call stores nothing

    // A token that is already there, whatever it looks like, is never replaced.
    store.strings[L"sys_aimcp_token"] = L"set-by-hand";
    EXPECT_EQ(EnsureAiMcpToken(), L"set-by-hand");
}

TEST_F(SettingHelper, GeneratedTokensDiffer)
{
    const std::wstring a = _GenerateToken(), b = _GenerateToken();
    EXPECT_TRUE(IsLowerHex64(a));
    EXPECT_TRUE(IsLowerHex64(b));
    EXPECT_NE(a, b);
}

TEST_F(SettingHelper, UserKeyFollowsTheLogin)
{
    Install();
    const struct {
        VARIANT_BOOL loggedIn;
        const wchar_t* userId;
        const wchar_t* key;
    } cases[] = {
        {VARIANT_FALSE, L"", L"local"},
        {VARIANT_FALSE, L"u42", L"local"},
        {VARIANT_TRUE, L"", L"local"},
        {VARIANT_TRUE, L"u42", L"u42"},
        {1, L"u42", L"local"},  // only -1 counts as logged in
    };
    for (const auto& c : cases) {
        account.loggedIn = c.loggedIn;
        account.userId = c.userId;
        EXPECT_EQ(GetUserKey(), c.key) << c.loggedIn << " " << testing::PrintToString(std::wstring(c.userId));
    }
    EXPECT_EQ(MakeUserSettingKey(L"sys_aimcp_quota_items", L"local"), L"sys_aimcp_quota_items_local");
    EXPECT_EQ(MakeUserSettingKey(L"sys_aimcp_quota_day", L"u42"), L"sys_aimcp_quota_day_u42");
}

TEST_F(SettingHelper, MissingServicesFallBack)
{
    // Nothing installed: every read is 0 or empty, writes vanish, and the
    // token cannot be kept, so each call generates afresh.
    EXPECT_FALSE(IsAiMcpEnabled());
    EXPECT_FALSE(IsAiMcpTrustWrite());
    EXPECT_EQ(GetSettingInt(L"sys_aimcp_enabled"), 0);
    SetSettingInt(L"sys_aimcp_enabled", 1);
    EXPECT_FALSE(IsAiMcpEnabled());
    SetAiMcpToken(L"abc");
    EXPECT_EQ(GetAiMcpToken(), L"");
    const std::wstring token = EnsureAiMcpToken();
    EXPECT_TRUE(IsLowerHex64(token));
    EXPECT_EQ(GetAiMcpToken(), L"");
    EXPECT_EQ(GetUserKey(), L"local");

    // The account service alone missing.
    DevHost::SetService(SID_SettingStoreService, &store);
    EXPECT_EQ(GetUserKey(), L"local");
}

}  // namespace
