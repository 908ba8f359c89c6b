#include "AiMcpSettingHelper.h"

#include <windows.h>
#include <wincrypt.h>

#include "HostAccess.h"

const wchar_t kAiMcpEnabledKey[] = L"sys_aimcp_enabled";
const wchar_t kAiMcpTrustWriteKey[] = L"sys_aimcp_trust_write";
const wchar_t kAiMcpTokenKey[] = L"sys_aimcp_token";

namespace {

// Owns a cryptographic provider context for the duration of one token.
class CryptContext {
public:
    CryptContext() = default;
    ~CryptContext()
    {
        if (handle_) CryptReleaseContext(handle_, 0);
    }
    CryptContext(const CryptContext&) = delete;
    CryptContext& operator=(const CryptContext&) = delete;
    HCRYPTPROV* put() { return &handle_; }
    HCRYPTPROV get() const { return handle_; }

private:
    HCRYPTPROV handle_ = 0;
};

}  // namespace

int GetSettingInt(const std::wstring& key)
{
    LONG value = 0;  // a missing service or a failed read leaves 0
    if (auto store = GetHostService<IxSettingStoreService>(SID_SettingStoreService)) {
        UniqueBstr name(key);
        store->GetInt(0, name.get(), 0, &value);
    }
    return static_cast<int>(value);
}

void SetSettingInt(const std::wstring& key, int value)
{
    if (auto store = GetHostService<IxSettingStoreService>(SID_SettingStoreService)) {
        UniqueBstr name(key);
        LONG ignored = 0;
        store->SetInt(0, name.get(), value, &ignored);
    }
}

bool IsAiMcpEnabled()
{
    return GetSettingInt(kAiMcpEnabledKey) != 0;
}

bool IsAiMcpTrustWrite()
{
    return GetSettingInt(kAiMcpTrustWriteKey) != 0;
}

std::wstring GetAiMcpToken()
{
    UniqueBstr value;
    if (auto store = GetHostService<IxSettingStoreService>(SID_SettingStoreService)) {
        UniqueBstr name(kAiMcpTokenKey);
        UniqueBstr empty(L"");
        store->GetString(0, name.get(), empty.get(), value.put());
    }
    return value.str();
}

void SetAiMcpToken(const std::wstring& token)
{
    if (auto store = GetHostService<IxSettingStoreService>(SID_SettingStoreService)) {
        UniqueBstr name(kAiMcpTokenKey);
        UniqueBstr text(token);
        LONG ignored = 0;
        store->SetString(0, name.get(), text.get(), &ignored);
    }
}

std::wstring _GenerateToken()
{
    CryptContext context;
    if (!CryptAcquireContextW(context.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        AIMCP_TRACE(L"AiMcpSettingHelper: CryptAcquireContext failed err = %u", static_cast<unsigned>(GetLastError()));
        return std::wstring();
    }
    BYTE bytes[32] = {};
    if (!CryptGenRandom(context.get(), sizeof bytes, bytes)) {
        AIMCP_TRACE(L"AiMcpSettingHelper: CryptGenRandom failed err = %u", static_cast<unsigned>(GetLastError()));
        return std::wstring();
    }
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring token;
    token.reserve(64);
    for (BYTE b : bytes) {
        token.push_back(kHex[b >> 4]);
        token.push_back(kHex[b & 0xF]);
    }
    SecureZeroMemory(bytes, sizeof bytes);
    return token;
}

std::wstring EnsureAiMcpToken()
{
    std::wstring token = GetAiMcpToken();
    if (token.empty()) {
        token = _GenerateToken();
        if (!token.empty()) SetAiMcpToken(token);
    }
    return token;
}

std::wstring GetUserKey()
{
    auto account = GetHostService<IxAccountService>(SID_AccountService);
    if (!account) return L"local";
    VARIANT_BOOL loggedIn = VARIANT_FALSE;
    account->IsLoggedIn(&loggedIn);
    if (loggedIn != VARIANT_TRUE) return L"local";
    UniqueBstr userId;
    account->GetUserId(userId.put());
    return userId.empty() ? std::wstring(L"local") : userId.str();
}

std::wstring MakeUserSettingKey(const std::wstring& base, const std::wstring& userKey)
{
    return base + L"_" + userKey;
}
