// The stand-in application-wide services: application (change
// notification, refresh, clipboard), user data, cloud configuration and
// statistics.
//
// Application: every call is recorded (see Calls). CopyText also puts the
// text on the real clipboard as CF_UNICODETEXT unless that was switched off
// (tests that must not disturb the desktop switch it off); a clipboard that
// cannot be opened fails the call, which is still recorded.
//
// User data: the current user's directory is "user\<user key>" in the data
// folder (the user key of the account service: the identifier of a
// logged-in user, else "local"), created when asked for and returned as a
// full path without a trailing backslash. Characters a folder name cannot
// hold are written as "%XXXX" (see UserFolderName).
//
// Cloud configuration: the answer to "is AI access allowed", kept in
// "cloud.json" as {"aiAccessAllowed":<yes/no>}; VARIANT_TRUE (allowed) until
// set otherwise. Any VARIANT_BOOL can be set, so that callers can be tested
// against a host that answers 1.
//
// Statistics: every event is kept in memory (see Events) and appended to
// "statistics.log" in the data folder as one line of TAB-separated fields:
// local time "YYYY-MM-DD hh:mm:ss", category, action, label, count; a
// backslash, TAB, CR or LF inside a field is written as \\, \t, \r or \n.
//
// Every object can be used from any thread; one lock per object guards its
// state, and none is held while another object is called.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "Application.h"
#include "CallRecorder.h"
#include "ComObject.h"
#include "DataFolder.h"
#include "JsonFileStore.h"
#include "SettingsServices.h"

namespace devhost {

class ApplicationService final : public ComObject<IxApplicationService, IID_IxApplicationService> {
public:
    // Operation names as recorded: "NotifyChange" (the value in decimal),
    // "Refresh" (no arguments), "CopyText" (the text).
    static constexpr const wchar_t* kNotifyChange = L"NotifyChange";
    static constexpr const wchar_t* kRefresh = L"Refresh";
    static constexpr const wchar_t* kCopyText = L"CopyText";

    static ComPtr<ApplicationService> Create(bool useClipboard) noexcept;

    std::vector<RecordedCall> Calls() const { return calls_.Calls(); }
    void ClearCalls() { calls_.Clear(); }
    void SetClipboardUse(bool useClipboard);

    // IxApplicationService. NotifyChange and Refresh only record.
    HRESULT STDMETHODCALLTYPE NotifyChange(LONG what) noexcept override;
    HRESULT STDMETHODCALLTYPE Refresh() noexcept override;
    HRESULT STDMETHODCALLTYPE CopyText(BSTR text) noexcept override;

    explicit ApplicationService(bool useClipboard) : useClipboard_(useClipboard) {}

private:
    CallRecorder calls_;
    // Protects useClipboard_.
    mutable std::mutex lock_;
    bool useClipboard_;
};

// Puts text on the clipboard as CF_UNICODETEXT (up to its first U+0000).
[[nodiscard]] HRESULT PutTextOnClipboard(const std::wstring& text);

// A user key as a single folder name: U+0000..U+001F, < > : " / \ | ? * and
// %, and dots or spaces at the end, become "%" and four upper-case hex
// digits; a device name (CON, NUL, COM1, ...) gets its first letter written
// so. Different keys give different names.
std::wstring UserFolderName(const std::wstring& userKey);

class UserDataService final : public ComObject<IxUserDataService, IID_IxUserDataService> {
public:
    static ComPtr<UserDataService> Create(const DataFolder& folder, const ComPtr<AccountService>& account) noexcept;

    // The current user's directory (see above), created when missing.
    [[nodiscard]] HRESULT CurrentDirectory(std::wstring& directory) const;

    // IxUserDataService
    HRESULT STDMETHODCALLTYPE GetUserDataDir(BSTR* directory) noexcept override;

    UserDataService(const DataFolder& folder, const ComPtr<AccountService>& account)
        : folder_(folder), account_(account)
    {
    }

private:
    const DataFolder folder_;
    const ComPtr<AccountService> account_;
};

class CloudConfigService final : public ComObject<IxCloudConfigService, IID_IxCloudConfigService> {
public:
    static constexpr const wchar_t* kFileName = L"cloud.json";

    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<CloudConfigService>& service);

    VARIANT_BOOL AiAccessAnswer() const;
    [[nodiscard]] HRESULT SetAiAccessAnswer(VARIANT_BOOL answer);

    // IxCloudConfigService
    HRESULT STDMETHODCALLTYPE IsAiAccessAllowed(VARIANT_BOOL* allowed) noexcept override;

    explicit CloudConfigService(const DataFolder& folder) : store_(folder, kFileName) {}

private:
    // Protects store_.
    mutable std::mutex lock_;
    JsonFileStore store_;
};

struct StatisticsEvent {
    SYSTEMTIME time{};
    std::wstring category;
    std::wstring action;
    std::wstring label;
    LONG count = 0;
};

class StatisticsService final : public ComObject<IxStatisticsService, IID_IxStatisticsService> {
public:
    static constexpr const wchar_t* kLogName = L"statistics.log";

    static ComPtr<StatisticsService> Create(const DataFolder& folder) noexcept;

    // Every event recorded since the object was made, oldest first.
    std::vector<StatisticsEvent> Events() const;
    void ClearEvents();
    // The clock that stamps events; the local time unless set.
    void SetClock(std::function<SYSTEMTIME()> clock);

    // The log line of an event (without its line break).
    static std::wstring FormatLine(const StatisticsEvent& event);

    // IxStatisticsService. An event counts as recorded once its line is in
    // the log; when the log cannot be written the event is dropped and the
    // failure returned.
    HRESULT STDMETHODCALLTYPE RecordEvent(BSTR category, BSTR action, BSTR label, LONG count) noexcept override;

    explicit StatisticsService(const DataFolder& folder) : folder_(folder) {}

private:
    const DataFolder folder_;
    // Protects clock_ and events_, and keeps the order of events and log
    // lines the same.
    mutable std::mutex lock_;
    std::function<SYSTEMTIME()> clock_;
    std::vector<StatisticsEvent> events_;
};

}  // namespace devhost
