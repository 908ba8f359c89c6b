// Who a process runs as: the user SID of its access token, and an owner
// for memory that the security APIs hand out to be freed with LocalFree.
// Both ends of the calendar pipe use them: the server to grant its user
// alone access to the pipe, the client to check who serves it.
#pragma once

#include <windows.h>

#include <utility>
#include <vector>

#include "LoadedFunction.h"
#include "UniqueHandle.h"

// Memory that an API allocated with LocalAlloc and hands to the caller
// (security descriptors, string SIDs).
template <typename T>
class UniqueLocal {
public:
    UniqueLocal() noexcept = default;
    ~UniqueLocal() { reset(); }
    UniqueLocal(UniqueLocal&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    UniqueLocal& operator=(UniqueLocal&& other) noexcept
    {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    UniqueLocal(const UniqueLocal&) = delete;
    UniqueLocal& operator=(const UniqueLocal&) = delete;

    T get() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T* put() noexcept
    {
        reset();
        return &p_;
    }
    void reset() noexcept
    {
        if (p_) LocalFree(reinterpret_cast<HLOCAL>(p_));
        p_ = nullptr;
    }

private:
    T p_ = nullptr;
};

// The token functions of advapi32, looked up at the first use: tessary-mcp
// needs them only to check a calendar that shows no window, and need not
// load advapi32 at every start for that. All null when it cannot be loaded.
struct TokenFunctions {
    decltype(&OpenProcessToken) openProcessToken = nullptr;
    decltype(&GetTokenInformation) getTokenInformation = nullptr;
    decltype(&IsValidSid) isValidSid = nullptr;
    decltype(&GetLengthSid) getLengthSid = nullptr;
};

inline const TokenFunctions& TokenApi()
{
    static const TokenFunctions functions = [] {
        TokenFunctions loaded;
        const HMODULE advapi32 = LoadLibraryW(L"advapi32.dll");
        loaded.openProcessToken = LoadedFunction<decltype(&OpenProcessToken)>(advapi32, "OpenProcessToken");
        loaded.getTokenInformation = LoadedFunction<decltype(&GetTokenInformation)>(advapi32, "GetTokenInformation");
        loaded.isValidSid = LoadedFunction<decltype(&IsValidSid)>(advapi32, "IsValidSid");
        loaded.getLengthSid = LoadedFunction<decltype(&GetLengthSid)>(advapi32, "GetLengthSid");
        if (!loaded.openProcessToken || !loaded.getTokenInformation || !loaded.isValidSid || !loaded.getLengthSid)
            loaded = TokenFunctions{};
        return loaded;
    }();
    return functions;
}

// The user SID of the process's access token, as bytes (a SID is
// self-relative, so the bytes are the SID); empty when it cannot be read.
inline std::vector<unsigned char> ProcessUserSid(HANDLE process)
{
    const TokenFunctions& api = TokenApi();
    if (!api.openProcessToken) return {};
    UniqueHandle token;
    if (!api.openProcessToken(process, TOKEN_QUERY, token.put())) return {};
    DWORD size = 0;
    api.getTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<unsigned char> buffer(size);
    if (!api.getTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    if (!api.isValidSid(sid)) return {};
    const unsigned char* bytes = static_cast<const unsigned char*>(sid);
    return std::vector<unsigned char>(bytes, bytes + api.getLengthSid(sid));
}
