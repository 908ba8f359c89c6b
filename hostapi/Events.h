// The event service and the objects of calendar events: the event list of a
// day, the event itself (tasks, reminders and countdowns, always all-day),
// its reminder with its triggers, and the date object that events and the
// service take and give.
//
// Lifecycle. The service is obtained with Util::Service::GetService for each
// use and released at once. Events, reminders, triggers, trigger lists and
// dates are reference-counted objects. The plug-in makes new ones with
// CreateInstanceFromClassFactory(CLSID_..., ..., nullptr), which hands out the
// interface named beside each class with one reference; objects the host
// returns through out pointers carry one reference for the caller. Objects
// passed in (a date, an event, a content object, a reminder, a trigger) are
// borrowed for the call; an object that keeps one adds its own reference.
// Every object made for one request is released before the answer is
// returned. Out strings are freed by the caller.
//
// Threads. Main thread only.
//
// Failure. Callers preset out values and rely on them: no list object means
// no events that day, an absent item is skipped, a missing reminder means
// none. Event lookup by id counts as found only when it returns exactly S_OK
// and an event; creation counts as stored only when a non-empty id comes
// back. The results of update, delete and of the property setters are not
// checked.
#pragma once

#include "DayContent.h"
#include "HostCommon.h"

// Event types (IxEvent::GetEventType / SetEventType). Other values may
// exist; the plug-in ignores events of any other type.
inline constexpr LONG kEventTypeTask = 1;
inline constexpr LONG kEventTypeReminder = 2;
inline constexpr LONG kEventTypeCountdown = 3;

// Recurrence codes passed to AddEvent and UpdateEvent, beside the recurrence
// word an event reports (GetRecurrence) that each corresponds to. Any other
// word has code 0. A one-time event is stored as kRecurDaily with repeat
// count 1, a recurring one with repeat count -1.
inline constexpr LONG kRecurDaily = 1;           // "DAILY"
inline constexpr LONG kRecurWeekly = 2;          // "WEEKLY"
inline constexpr LONG kRecurMonthly = 3;         // "MONTHLY"
inline constexpr LONG kRecurYearly = 4;          // "YEARLY"
inline constexpr LONG kRecurWorkday = 5;         // "WORKDAYLY"
inline constexpr LONG kRecurMonthLastDay = 6;    // "MONTHLASTDAYLY"
inline constexpr LONG kRecurSeason = 7;          // "SEASONLY"
inline constexpr LONG kRecurCustomDay = 8;       // "CUSTOMDAY"
inline constexpr LONG kRecurCustomWeek = 9;      // "CUSTOMWEEK"
inline constexpr LONG kRecurCustomMonth = 10;    // "CUSTOMMONTH"
inline constexpr LONG kRecurCustomYear = 11;     // "CUSTOMYEAR"
inline constexpr LONG kRecurLegalWorkday = 20;   // "LEGALWORKDAYLY"
inline constexpr LONG kRecurEbbinghaus = 21;     // "EBBINGHAUS"

// A calendar day.
// {C9B37185-61FD-4E7E-99BF-E3DAF13339C2}
inline constexpr GUID CLSID_Date = {0xC9B37185, 0x61FD, 0x4E7E, {0x99, 0xBF, 0xE3, 0xDA, 0xF1, 0x33, 0x39, 0xC2}};
struct IxDate : public IUnknown {
    // Sets the day from "YYYY-MM-DD".
    virtual HRESULT STDMETHODCALLTYPE SetFromText(BSTR day) = 0;
    // Formats the day; the plug-in passes "%Y-%m-%d".
    virtual HRESULT STDMETHODCALLTYPE Format(BSTR format, BSTR* text) = 0;
};

// When a reminder fires: a day offset from the event's day (0 or negative),
// an hour (0..23) and a minute (0..59). The two further integer properties
// are only ever set to 0 by the plug-in; their meaning is the host's.
// {8EC35EEC-075B-4656-981F-59F3069A9E1D}
inline constexpr GUID CLSID_Trigger = {0x8EC35EEC, 0x075B, 0x4656, {0x98, 0x1F, 0x59, 0xF3, 0x06, 0x9A, 0x9E, 0x1D}};
inline constexpr GUID IID_IxTrigger = CLSID_Trigger;
struct IxTrigger : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetHour(LONG hour) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHour(LONG* hour) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMinute(LONG minute) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMinute(LONG* minute) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExtraInt(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDayOffset(LONG dayOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDayOffset(LONG* dayOffset) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLastInt(LONG value) = 0;
};

// The listed triggers of a reminder. Items go in and out by interface
// identifier (IID_IxTrigger).
// {013DA090-A16F-4F4A-BDAF-BD5E8B5F0FB7}
inline constexpr GUID CLSID_TriggerList = {0x013DA090, 0xA16F, 0x4F4A, {0xBD, 0xAF, 0xBD, 0x5E, 0x8B, 0x5F, 0x0F, 0xB7}};
struct IxTriggerList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    // The item at a zero-based index, asked for the interface riid; *item
    // stays null when absent or when the item does not offer it.
    virtual HRESULT STDMETHODCALLTYPE GetItem(LONG index, REFIID riid, void** item) = 0;
    // Appends an item that offers the interface riid.
    virtual HRESULT STDMETHODCALLTYPE AddItem(REFIID riid, IUnknown* item) = 0;
};

// An event's reminder: a primary trigger and a list of triggers. Readers take
// the first listed trigger when the list has one, else the primary trigger.
// The state is set to VARIANT_TRUE on a new reminder. The carried property is an opaque value
// the plug-in copies from an event's old reminder to its new one.
// {87A69A76-BFDF-4A62-9DB1-C8C9DA536394}
inline constexpr GUID CLSID_Reminder = {0x87A69A76, 0xBFDF, 0x4A62, {0x9D, 0xB1, 0xC8, 0xC9, 0xDA, 0x53, 0x63, 0x94}};
inline constexpr GUID IID_IxReminder = CLSID_Reminder;
struct IxReminder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetState(VARIANT_BOOL state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCarriedProperty(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCarriedProperty(LONG* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPrimaryTrigger(IxTrigger* trigger) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPrimaryTrigger(IxTrigger** trigger) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetTriggerList(IxTriggerList* list) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTriggerList(IxTriggerList** list) = 0;
};

// A calendar event. The identifier names both the class (a new, empty event)
// and the interface. Its title is its content, an item line object whose
// plain text is the title and whose line is what the service stores. The
// reminder travels as a plain object: ask it for IID_IxReminder (a refusal
// means the event has no reminder). The text and integer properties that
// the plug-in only clears (SetExtraText, SetOtherText, SetExtraInt,
// SetLastInt) have meanings of the host's own; the calendar kind text is set
// to "solar" on new events.
// {AE2ECD1C-7F35-43A9-A4E8-5A4A4FF5CABC}
inline constexpr GUID CLSID_Event = {0xAE2ECD1C, 0x7F35, 0x43A9, {0xA4, 0xE8, 0x5A, 0x4A, 0x4F, 0xF5, 0xCA, 0xBC}};
inline constexpr GUID IID_IxEvent = CLSID_Event;
struct IxEvent : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetId(BSTR* id) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetContent(IxItemLine* content) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContent(IxItemLine** content) = 0;
    // The host's recurrence word ("DAILY", "WEEKLY", ...; see kRecur...).
    virtual HRESULT STDMETHODCALLTYPE GetRecurrence(BSTR* word) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCalendarKind(BSTR kind) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExtraText(BSTR text) = 0;
    // 1 for a one-time event, -1 for a recurring one.
    virtual HRESULT STDMETHODCALLTYPE SetRepeatCount(LONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRepeatCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStartDate(IxDate* date) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCompleted(VARIANT_BOOL completed) = 0;
    // Only VARIANT_TRUE means completed. Completion belongs to an occurrence:
    // it is read from events listed for a day or fetched with a date.
    virtual HRESULT STDMETHODCALLTYPE GetCompleted(VARIANT_BOOL* completed) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetExtraInt(LONG value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetReminder(IUnknown* reminder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReminder(IUnknown** reminder) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetOtherText(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEventType(LONG type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEventType(LONG* type) = 0;
    // Countdown type (0..5) and show type (0..3) of a countdown; passed
    // through as numbers.
    virtual HRESULT STDMETHODCALLTYPE SetCountdownType(LONG type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCountdownType(LONG* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetShowType(LONG type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetShowType(LONG* type) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLastInt(LONG value) = 0;
};

// The events of one day. Items are asked for by interface identifier
// (IID_IxEvent).
struct IxEventList : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;
    // The item at a zero-based index, asked for the interface riid; *item
    // stays null when absent.
    virtual HRESULT STDMETHODCALLTYPE GetItem(LONG index, REFIID riid, void** item) = 0;
};

// Days cross as "YYYY-MM-DD" texts or as IxDate objects; event ids as texts.
// The content line handed to AddEvent and UpdateEvent is the content's
// GetLine text.
// {8B71F8B8-59EC-4D6A-B7C7-39F5ADE20968}
inline constexpr GUID SID_EventService = {0x8B71F8B8, 0x59EC, 0x4D6A, {0xB7, 0xC7, 0x39, 0xF5, 0xAD, 0xE2, 0x09, 0x68}};
inline constexpr GUID IID_IxEventService = SID_EventService;
struct IxEventService : public IUnknown {
    // Stores a new event in the current calendar; *eventId receives its id
    // (empty or nothing: not stored).
    virtual HRESULT STDMETHODCALLTYPE AddEvent(BSTR contentLine, IxDate* date, LONG recurrence, IxEvent* event,
                                               BSTR* eventId) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateEvent(BSTR eventId, BSTR contentLine, IxDate* date, LONG recurrence,
                                                  IxEvent* event) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteEvent(BSTR eventId) = 0;
    // The event's start date; *date may stay null.
    virtual HRESULT STDMETHODCALLTYPE GetEventStartDate(BSTR eventId, IxDate** date) = 0;
    // The events of a day in the current calendar; *list may stay null.
    virtual HRESULT STDMETHODCALLTYPE GetEventsOfDay(BSTR day, IxEventList** list) = 0;
    // One event; date (may be null) names the occurrence of interest.
    virtual HRESULT STDMETHODCALLTYPE GetEventById(BSTR eventId, IxDate* date, IxEvent** event) = 0;
    // The events of a day in the calendar given by number and group
    // identifier; *list may stay null.
    virtual HRESULT STDMETHODCALLTYPE GetEventsOfDayInCalendar(BSTR day, LONG calendarId, BSTR groupId,
                                                               IxEventList** list) = 0;
};
