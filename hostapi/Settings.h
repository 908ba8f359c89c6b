// The settings store service, where the plug-in keeps its settings (the AI
// access switch, trusted writing, the pipe token and the per-user daily write
// counters), and the account service, which tells whether a user is logged in
// and who.
//
// Lifecycle. Both are services: obtained with Util::Service::GetService for
// each use and released at once; nothing is cached, so every read sees the
// store and the login as they are now. Out strings are freed by the caller.
//
// Threads. Main thread only. The plug-in's pipe worker never calls them; it
// reads a snapshot that the main thread copied out of the store.
//
// Failure. Callers preset every out value (an empty string, 0, VARIANT_FALSE)
// and rely on it: a missing service or a failed read reads as the empty or
// zero value, a failed write is dropped silently.
#pragma once

#include "HostCommon.h"

// Application-wide settings, addressed by a key string. Every operation takes
// a leading integer that the plug-in always passes as 0.
// {631A976C-2F06-4733-A989-CB7C26308E89}
inline constexpr GUID SID_SettingStoreService = {0x631A976C, 0x2F06, 0x4733, {0xA9, 0x89, 0xCB, 0x7C, 0x26, 0x30, 0x8E, 0x89}};
inline constexpr GUID IID_IxSettingStoreService = SID_SettingStoreService;
struct IxSettingStoreService : public IUnknown {
    // The string stored under key, or defaultText when there is none.
    virtual HRESULT STDMETHODCALLTYPE GetString(LONG reserved, BSTR key, BSTR defaultText, BSTR* value) = 0;
    // The integer stored under key, or defaultValue when there is none.
    virtual HRESULT STDMETHODCALLTYPE GetInt(LONG reserved, BSTR key, LONG defaultValue, LONG* value) = 0;
    // Stores an integer under key. The plug-in ignores *result.
    virtual HRESULT STDMETHODCALLTYPE SetInt(LONG reserved, BSTR key, LONG value, LONG* result) = 0;
    // Stores a string under key. The plug-in ignores *result.
    virtual HRESULT STDMETHODCALLTYPE SetString(LONG reserved, BSTR key, BSTR value, LONG* result) = 0;
};

// The login state of the application's user account.
// {7A90BFC5-27AF-447D-9954-D4E5CE896C0D}
inline constexpr GUID SID_AccountService = {0x7A90BFC5, 0x27AF, 0x447D, {0x99, 0x54, 0xD4, 0xE5, 0xCE, 0x89, 0x6C, 0x0D}};
inline constexpr GUID IID_IxAccountService = SID_AccountService;
struct IxAccountService : public IUnknown {
    // VARIANT_TRUE while a user is logged in; any other value means nobody is.
    virtual HRESULT STDMETHODCALLTYPE IsLoggedIn(VARIANT_BOOL* loggedIn) = 0;
    // The logged-in user's identifier; may be empty.
    virtual HRESULT STDMETHODCALLTYPE GetUserId(BSTR* userId) = 0;
};
