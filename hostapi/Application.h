// Application-wide services: the application service (change notification,
// refresh, clipboard), the user data service (where per-user files
// live), the cloud configuration service (the remote switch that may forbid
// AI access altogether) and the statistics service (usage reports).
//
// Lifecycle. All four are services: obtained with Util::Service::GetService
// for each use and released at once. Out strings are freed by the caller.
//
// Threads. Main thread only.
//
// Failure. A missing service or a failed call never stops a caller: change
// notifications, refreshes, clipboard copies and statistics reports are
// best-effort and their results are not checked; a missing user data
// directory drops the audit line; the cloud switch counts as "not allowed"
// unless it explicitly answers VARIANT_TRUE.
#pragma once

#include "HostCommon.h"

// The values a change notification carries, named after the writes that
// send them; what the application does with each is its own.
inline constexpr LONG kAppChangeItems = 1;   // after a day cell was stored
inline constexpr LONG kAppChangeEvents = 2;  // after an event was created, updated or deleted
inline constexpr LONG kAppChangeNotes = 4;   // after a note was created, updated or deleted

// {7FFBA1AF-2FC9-4F00-A7B1-C58166F02F89}
inline constexpr GUID SID_ApplicationService = {0x7FFBA1AF, 0x2FC9, 0x4F00, {0xA7, 0xB1, 0xC5, 0x81, 0x66, 0xF0, 0x2F, 0x89}};
inline constexpr GUID IID_IxApplicationService = SID_ApplicationService;
struct IxApplicationService : public IUnknown {
    // Tells the application that the plug-in changed its data
    // (kAppChange...).
    virtual HRESULT STDMETHODCALLTYPE NotifyChange(LONG what) = 0;
    // Asks the application to refresh; sent after event writes, before their
    // change notification.
    virtual HRESULT STDMETHODCALLTYPE Refresh() = 0;
    // Puts the text on the clipboard.
    virtual HRESULT STDMETHODCALLTYPE CopyText(BSTR text) = 0;
};

// {631A976C-2F06-4733-A777-CB7C26308E89}
inline constexpr GUID SID_UserDataService = {0x631A976C, 0x2F06, 0x4733, {0xA7, 0x77, 0xCB, 0x7C, 0x26, 0x30, 0x8E, 0x89}};
inline constexpr GUID IID_IxUserDataService = SID_UserDataService;
struct IxUserDataService : public IUnknown {
    // The current user's data directory, with or without a trailing
    // backslash. Callers ignore the result code and look only at the text;
    // nothing returned counts as empty.
    virtual HRESULT STDMETHODCALLTYPE GetUserDataDir(BSTR* directory) = 0;
};

// {178F8840-537B-4080-82FF-A1B4A7DDEF5F}
inline constexpr GUID SID_CloudConfigService = {0x178F8840, 0x537B, 0x4080, {0x82, 0xFF, 0xA1, 0xB4, 0xA7, 0xDD, 0xEF, 0x5F}};
inline constexpr GUID IID_IxCloudConfigService = SID_CloudConfigService;
struct IxCloudConfigService : public IUnknown {
    // Whether AI access is allowed by the remote configuration. Callers
    // preset VARIANT_FALSE, ignore the result code and allow only on exactly
    // VARIANT_TRUE.
    virtual HRESULT STDMETHODCALLTYPE IsAiAccessAllowed(VARIANT_BOOL* allowed) = 0;
};

// {D0D3922A-57A0-4CEC-B1BA-681A9BD3E88D}
inline constexpr GUID SID_StatisticsService = {0xD0D3922A, 0x57A0, 0x4CEC, {0xB1, 0xBA, 0x68, 0x1A, 0x9B, 0xD3, 0xE8, 0x8D}};
inline constexpr GUID IID_IxStatisticsService = SID_StatisticsService;
struct IxStatisticsService : public IUnknown {
    // Records one usage event: category, action, label and a count (the
    // plug-in sends e.g. "ai", "tool", the tool name, 1). A result below zero
    // means it was not recorded; callers do not act on it.
    virtual HRESULT STDMETHODCALLTYPE RecordEvent(BSTR category, BSTR action, BSTR label, LONG count) = 0;
};
