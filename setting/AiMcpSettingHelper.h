// The plug-in's one access path to its settings in the host's settings store
// (the AI access switch, trusted writing, the pipe token, and the per-user
// counters of the daily write quota) and to the login state of the account
// service. Nothing is cached: every call asks the host again.
//
// Threads: the host's main thread only. The pipe worker never calls these;
// it reads the snapshot the pipe server copies out under its settings lock.
//
// A missing settings store reads as 0 and the empty token, and drops writes;
// a missing account service makes the user key "local".
#pragma once

#include <string>

extern const wchar_t kAiMcpEnabledKey[];     // "sys_aimcp_enabled"
extern const wchar_t kAiMcpTrustWriteKey[];  // "sys_aimcp_trust_write"
extern const wchar_t kAiMcpTokenKey[];       // "sys_aimcp_token"

int GetSettingInt(const std::wstring& key);
void SetSettingInt(const std::wstring& key, int value);

bool IsAiMcpEnabled();
bool IsAiMcpTrustWrite();

std::wstring GetAiMcpToken();
void SetAiMcpToken(const std::wstring& token);

// The stored token; when there is none, a new one is generated and stored.
// Empty only when generation failed (then nothing is stored and the next
// call tries again). A stored token is never replaced.
std::wstring EnsureAiMcpToken();

// 32 random bytes from the platform's cryptographic provider as 64 lower-case
// hexadecimal digits; empty (and traced) when the provider fails.
std::wstring _GenerateToken();

// The logged-in user's identifier, or "local" when nobody is logged in, the
// identifier is empty, or there is no account service.
std::wstring GetUserKey();

// "<base>_<userKey>", e.g. sys_aimcp_quota_day_local.
std::wstring MakeUserSettingKey(const std::wstring& base, const std::wstring& userKey);
