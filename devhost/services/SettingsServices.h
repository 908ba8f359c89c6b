// The stand-in settings store and account services.
//
// Settings store: integers and strings under any key text (the empty key,
// non-ASCII keys and keys holding U+0000 included; the BSTR length counts),
// kept in "settings.json" of the data folder as one JSON object: integers as
// numbers, strings as strings. A key holds one value at a time; writing an
// integer over a string (or the reverse) replaces it, and reading a key
// through the other type gives the caller's default, as does a missing key.
// Every write is in the file before the call returns.
//
// Account: whether a user is logged in and the user's identifier, kept in
// "account.json" as {"loggedIn":<yes/no>,"userId":"..."}. Nobody is logged
// in until the stand-in program (or a test) logs a user in. The logged-in
// answer can be any VARIANT_BOOL value, so that callers can be tested
// against a host that answers 1; the identifier is answered as stored,
// whatever the flag says.
//
// Each object also has a plain C++ side for the stand-in program and tests.
// Both sides may be used from any thread; one lock per object serialises
// them.
#pragma once

#include <mutex>
#include <string>

#include "ComObject.h"
#include "DataFolder.h"
#include "JsonFileStore.h"
#include "Settings.h"

namespace devhost {

class SettingStoreService final : public ComObject<IxSettingStoreService, IID_IxSettingStoreService> {
public:
    static constexpr const wchar_t* kFileName = L"settings.json";

    // A service over the folder's settings file (see JsonFileStore::Load for
    // an unreadable one). Fails when the file cannot be read.
    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<SettingStoreService>& service);

    // C++ side. The readers return false when the key holds no value of
    // their type.
    bool ReadInt(const std::wstring& key, LONG& value) const;
    bool ReadString(const std::wstring& key, std::wstring& value) const;
    [[nodiscard]] HRESULT WriteInt(const std::wstring& key, LONG value);
    [[nodiscard]] HRESULT WriteString(const std::wstring& key, const std::wstring& value);
    // Every setting, as the file holds them.
    JsonValue::Ptr Snapshot() const;

    // IxSettingStoreService. The reserved argument is ignored. The writers
    // set *result (when given) to 1 once the value is stored and to 0 when
    // it could not be, and return the failure then.
    HRESULT STDMETHODCALLTYPE GetString(LONG reserved, BSTR key, BSTR defaultText, BSTR* value) noexcept override;
    HRESULT STDMETHODCALLTYPE GetInt(LONG reserved, BSTR key, LONG defaultValue, LONG* value) noexcept override;
    HRESULT STDMETHODCALLTYPE SetInt(LONG reserved, BSTR key, LONG value, LONG* result) noexcept override;
    HRESULT STDMETHODCALLTYPE SetString(LONG reserved, BSTR key, BSTR value, LONG* result) noexcept override;

    explicit SettingStoreService(const DataFolder& folder);

private:
    // Protects store_.
    mutable std::mutex lock_;
    JsonFileStore store_;
};

class AccountService final : public ComObject<IxAccountService, IID_IxAccountService> {
public:
    static constexpr const wchar_t* kFileName = L"account.json";

    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<AccountService>& service);

    // C++ side. SetLogin stores both values in one write.
    [[nodiscard]] HRESULT SetLogin(VARIANT_BOOL loggedIn, const std::wstring& userId);
    [[nodiscard]] HRESULT LogIn(const std::wstring& userId) { return SetLogin(VARIANT_TRUE, userId); }
    [[nodiscard]] HRESULT LogOut() { return SetLogin(VARIANT_FALSE, std::wstring()); }
    VARIANT_BOOL LoggedInAnswer() const;
    std::wstring UserId() const;
    // The key that separates users' data: the identifier while the flag is
    // exactly VARIANT_TRUE and the identifier is not empty, else "local".
    std::wstring UserKey() const;

    // IxAccountService
    HRESULT STDMETHODCALLTYPE IsLoggedIn(VARIANT_BOOL* loggedIn) noexcept override;
    HRESULT STDMETHODCALLTYPE GetUserId(BSTR* userId) noexcept override;

    explicit AccountService(const DataFolder& folder);

private:
    // Protects store_.
    mutable std::mutex lock_;
    JsonFileStore store_;
};

}  // namespace devhost
