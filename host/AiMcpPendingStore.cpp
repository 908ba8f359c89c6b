#include "AiMcpPendingStore.h"

#include <wincrypt.h>

#include <utility>

#include "AiMcpClock.h"
#include "HostAccess.h"

namespace {

// The token maker tests put in place of the random generator.
std::function<std::wstring()>& TestTokenSource()
{
    static std::function<std::wstring()> source;
    return source;
}

// How often Park draws again when a fresh token is already in use. With 128
// random bits this never happens in practice; drawing again keeps the parked
// write that holds the token from being overwritten if it ever does.
constexpr int kTokenDraws = 3;

}  // namespace

AiMcpPendingStore& AiMcpPendingStore::Instance()
{
    static AiMcpPendingStore store;
    return store;
}

std::wstring AiMcpPendingStore::_GenerateConfirmToken()
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        AIMCP_TRACE(L"AiMcpPendingStore: CryptAcquireContext failed err = %u", static_cast<unsigned>(GetLastError()));
        return std::wstring();
    }
    BYTE bytes[16] = {};
    const BOOL filled = CryptGenRandom(provider, sizeof bytes, bytes);
    const DWORD error = GetLastError();
    CryptReleaseContext(provider, 0);  // the one path between acquiring and releasing
    if (!filled) {
        AIMCP_TRACE(L"AiMcpPendingStore: CryptGenRandom failed err = %u", static_cast<unsigned>(error));
        return std::wstring();
    }
    static const wchar_t kHex[] = L"0123456789abcdef";
    std::wstring token;
    token.reserve(2 * sizeof bytes);
    for (BYTE b : bytes) {
        token.push_back(kHex[b >> 4]);
        token.push_back(kHex[b & 0xF]);
    }
    return token;
}

void AiMcpPendingStore::SetTokenSourceForTest(std::function<std::wstring()> source)
{
    TestTokenSource() = std::move(source);
}

std::wstring AiMcpPendingStore::_MakeToken() const
{
    for (int draw = 0; draw < kTokenDraws; ++draw) {
        const std::wstring token = TestTokenSource() ? TestTokenSource()() : _GenerateConfirmToken();
        if (token.empty()) return token;
        if (entries_.count(token) == 0) return token;
        AIMCP_TRACE(L"AiMcpPendingStore: drew a confirm token already in use");
    }
    return std::wstring();
}

void AiMcpPendingStore::Purge()
{
    const std::uint64_t now = AiMcpTickMs();
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (now >= it->second.expiresMs) it = entries_.erase(it);
        else ++it;
    }
}

std::wstring AiMcpPendingStore::Park(const PendingWrite& write)
{
    Purge();
    const std::wstring token = _MakeToken();
    if (token.empty()) return token;
    entries_[token] = Entry{AiMcpTickMs() + kLifetimeMs, write};
    return token;
}

bool AiMcpPendingStore::Peek(const std::wstring& token, PendingWrite& write)
{
    Purge();
    const auto found = entries_.find(token);
    if (found == entries_.end()) return false;
    write = found->second.write;
    return true;
}

bool AiMcpPendingStore::Take(const std::wstring& token, PendingWrite& write)
{
    Purge();
    const auto found = entries_.find(token);
    if (found == entries_.end()) return false;
    write = std::move(found->second.write);
    entries_.erase(found);
    return true;
}
