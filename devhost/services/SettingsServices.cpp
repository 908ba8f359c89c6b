#include "SettingsServices.h"

#include "CallRecorder.h"

namespace devhost {

namespace {

constexpr const wchar_t* kLoggedInKey = L"loggedIn";
constexpr const wchar_t* kUserIdKey = L"userId";

}  // namespace

// ---- Settings store --------------------------------------------------------

SettingStoreService::SettingStoreService(const DataFolder& folder) : store_(folder, kFileName) {}

HRESULT SettingStoreService::Create(const DataFolder& folder, ComPtr<SettingStoreService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<SettingStoreService> made = MakeComObject<SettingStoreService>(folder);
        if (!made) return E_OUTOFMEMORY;
        const HRESULT hr = made->store_.Load();
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

bool SettingStoreService::ReadInt(const std::wstring& key, LONG& value) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const JsonValue::Ptr stored = store_.Get(key);
    return LongFromJson(stored.get(), value);
}

bool SettingStoreService::ReadString(const std::wstring& key, std::wstring& value) const
{
    std::lock_guard<std::mutex> guard(lock_);
    const JsonValue::Ptr stored = store_.Get(key);
    if (!stored || !stored->IsString()) return false;
    value = stored->StringValue();
    return true;
}

HRESULT SettingStoreService::WriteInt(const std::wstring& key, LONG value)
{
    std::lock_guard<std::mutex> guard(lock_);
    return store_.Set(key, JsonValue::MakeNumber(value));
}

HRESULT SettingStoreService::WriteString(const std::wstring& key, const std::wstring& value)
{
    std::lock_guard<std::mutex> guard(lock_);
    return store_.Set(key, JsonValue::MakeString(value));
}

JsonValue::Ptr SettingStoreService::Snapshot() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return store_.Snapshot();
}

HRESULT SettingStoreService::GetString(LONG, BSTR key, BSTR defaultText, BSTR* value) noexcept
{
    if (!value) return E_POINTER;
    return Guarded([&] {
        std::wstring text;
        if (!ReadString(BstrText(key), text)) text = BstrText(defaultText);
        BSTR out = AllocBstr(text);
        if (!out) return E_OUTOFMEMORY;
        *value = out;
        return S_OK;
    });
}

HRESULT SettingStoreService::GetInt(LONG, BSTR key, LONG defaultValue, LONG* value) noexcept
{
    if (!value) return E_POINTER;
    return Guarded([&] {
        LONG stored = 0;
        *value = ReadInt(BstrText(key), stored) ? stored : defaultValue;
        return S_OK;
    });
}

HRESULT SettingStoreService::SetInt(LONG, BSTR key, LONG value, LONG* result) noexcept
{
    const HRESULT hr = Guarded([&] { return WriteInt(BstrText(key), value); });
    if (result) *result = SUCCEEDED(hr) ? 1 : 0;
    return hr;
}

HRESULT SettingStoreService::SetString(LONG, BSTR key, BSTR value, LONG* result) noexcept
{
    const HRESULT hr = Guarded([&] { return WriteString(BstrText(key), BstrText(value)); });
    if (result) *result = SUCCEEDED(hr) ? 1 : 0;
    return hr;
}

// ---- Account ---------------------------------------------------------------

AccountService::AccountService(const DataFolder& folder) : store_(folder, kFileName) {}

HRESULT AccountService::Create(const DataFolder& folder, ComPtr<AccountService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<AccountService> made = MakeComObject<AccountService>(folder);
        if (!made) return E_OUTOFMEMORY;
        const HRESULT hr = made->store_.Load();
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

HRESULT AccountService::SetLogin(VARIANT_BOOL loggedIn, const std::wstring& userId)
{
    JsonValue::ObjectMembers values;
    values.emplace(kLoggedInKey, YesNoToJson(loggedIn));
    values.emplace(kUserIdKey, JsonValue::MakeString(userId));
    std::lock_guard<std::mutex> guard(lock_);
    return store_.SetMany(std::move(values));
}

VARIANT_BOOL AccountService::LoggedInAnswer() const
{
    std::lock_guard<std::mutex> guard(lock_);
    VARIANT_BOOL answer = VARIANT_FALSE;
    const JsonValue::Ptr stored = store_.Get(kLoggedInKey);
    YesNoFromJson(stored.get(), answer);
    return answer;
}

std::wstring AccountService::UserId() const
{
    std::lock_guard<std::mutex> guard(lock_);
    const JsonValue::Ptr stored = store_.Get(kUserIdKey);
    return stored ? stored->StringValue() : std::wstring();
}

std::wstring AccountService::UserKey() const
{
    if (LoggedInAnswer() != VARIANT_TRUE) return L"local";
    const std::wstring id = UserId();
    return id.empty() ? std::wstring(L"local") : id;
}

HRESULT AccountService::IsLoggedIn(VARIANT_BOOL* loggedIn) noexcept
{
    if (!loggedIn) return E_POINTER;
    return Guarded([&] {
        *loggedIn = LoggedInAnswer();
        return S_OK;
    });
}

HRESULT AccountService::GetUserId(BSTR* userId) noexcept
{
    if (!userId) return E_POINTER;
    return Guarded([&] {
        BSTR out = AllocBstr(UserId());
        if (!out) return E_OUTOFMEMORY;
        *userId = out;
        return S_OK;
    });
}

}  // namespace devhost
