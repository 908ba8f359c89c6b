// The calendar service: the user's local calendars and which one is current.
// A calendar is identified by the pair of its number ("id") and its group
// identifier ("groupid"); the number alone may repeat across groups.
//
// Lifecycle. The service is obtained with Util::Service::GetService for each
// use and released at once. The list and item objects it hands out are
// reference-counted snapshots: each out pointer carries one reference that
// the caller releases. Out strings are freed by the caller.
//
// Threads. Main thread only.
//
// Failure. Callers preset out values and rely on them: no list object (or an
// empty one) means no calendars are listed, an absent item is skipped, an
// unreadable property reads as 0 or empty. Without the service there are no
// calendars and the current one is 0 with an empty group.
#pragma once

#include "HostCommon.h"

// A listed calendar. Properties are read by name: the integer "id", the
// texts "name" and "groupid".
struct IxCalendarItem : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetIntProperty(BSTR name, LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTextProperty(BSTR name, BSTR* value) = 0;
};

// The calendars, in the order the service lists them.
struct IxCalendarList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    // The calendar at a zero-based index; *item stays null when absent.
    virtual HRESULT STDMETHODCALLTYPE GetItem(LONG index, IxCalendarItem** item) = 0;
};

// {73A59F88-71EA-4AF5-B2C4-9EF8941BB50D}
inline constexpr GUID SID_CalendarService = {0x73A59F88, 0x71EA, 0x4AF5, {0xB2, 0xC4, 0x9E, 0xF8, 0x94, 0x1B, 0xB5, 0x0D}};
inline constexpr GUID IID_IxCalendarService = SID_CalendarService;
struct IxCalendarService : public IUnknown {
    // All local calendars; *list may stay null.
    virtual HRESULT STDMETHODCALLTYPE GetCalendarList(IxCalendarList** list) = 0;
    // The "groupid" of the calendar the user is looking at.
    virtual HRESULT STDMETHODCALLTYPE GetCurrentGroupId(BSTR* groupId) = 0;
    // The "id" of the calendar the user is looking at.
    virtual HRESULT STDMETHODCALLTYPE GetCurrentCalendarId(LONG* calendarId) = 0;
};
