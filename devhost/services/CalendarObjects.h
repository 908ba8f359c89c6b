// The objects of the stand-in calendar's data that the host hands out and
// that the plug-in makes by class identifier: the date, the item line (a
// day-cell line or an event's title), the trigger, the trigger list, the
// reminder and the event itself.
//
// Each is a plain reference-counted COM object (ComObject) holding its own
// values; objects passed to a setter are kept with a reference of their own.
// An event handed out by the event service is a snapshot of the stored event
// as seen on one day: changing it changes nothing stored until it is passed
// back to the service (AddEvent, UpdateEvent).
//
// Item line. A line is done when it is wrapped in Markdown strikethrough:
// it starts with "~~", ends with "~~" and has at least one character between
// them. SetLine takes the line apart into its plain text and done state;
// GetLine wraps the plain text in "~~" while done. An empty text is never
// done (there is nothing to strike through).
//
// Date. Set from "YYYY-MM-DD" (a day that exists); Format knows %Y, %m, %d
// and %%, and copies every other character. A date that was never set has no
// text: Format fails with E_UNEXPECTED.
//
// Trigger. Setters refuse values outside day offset <= 0, hour 0..23 and
// minute 0..59 with E_INVALIDARG and keep the old value.
//
// Not thread-safe: the host's objects are used on the main thread only.
#pragma once

#include <string>
#include <vector>

#include "CalendarDays.h"
#include "ComObject.h"
#include "DayContent.h"
#include "Events.h"

namespace devhost {

class DateObject final : public ComObject<IxDate, IID_IUnknown> {
public:
    static ComPtr<DateObject> Create() noexcept;
    static ComPtr<DateObject> Create(const CalendarDay& day) noexcept;

    bool IsSet() const { return set_; }
    const CalendarDay& Day() const { return day_; }

    HRESULT STDMETHODCALLTYPE SetFromText(BSTR day) noexcept override;
    HRESULT STDMETHODCALLTYPE Format(BSTR format, BSTR* text) noexcept override;

    DateObject() = default;

private:
    bool set_ = false;
    CalendarDay day_;
};

// The day any date object (the stand-in's or another's) stands for, read
// through its Format; false when it gives no valid day.
bool ReadDate(IxDate* date, CalendarDay& day);

class ItemLineObject final : public ComObject<IxItemLine, IID_IUnknown> {
public:
    static ComPtr<ItemLineObject> Create() noexcept;

    // The line of a plain text and a done state, and the reverse.
    static std::wstring ComposeLine(const std::wstring& text, bool done);
    static void ParseLine(const std::wstring& line, std::wstring& text, bool& done);

    HRESULT STDMETHODCALLTYPE SetLine(BSTR line) noexcept override;
    // What SetLine does, from the stand-in's own text (no BSTR made).
    void SetLineText(const std::wstring& line) { ParseLine(line, text_, done_); }
    HRESULT STDMETHODCALLTYPE SetPlainText(BSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPlainText(BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE SetDone(VARIANT_BOOL done) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDone(VARIANT_BOOL* done) noexcept override;
    HRESULT STDMETHODCALLTYPE GetLine(BSTR* line) noexcept override;

    ItemLineObject() = default;

private:
    std::wstring text_;
    bool done_ = false;
};

// A trigger's values, as stored.
struct TriggerValues {
    LONG dayOffset = 0;
    LONG hour = 0;
    LONG minute = 0;
};

class TriggerObject final : public ComObject<IxTrigger, IID_IxTrigger> {
public:
    static ComPtr<TriggerObject> Create(const TriggerValues& values = TriggerValues()) noexcept;

    HRESULT STDMETHODCALLTYPE SetHour(LONG hour) noexcept override;
    HRESULT STDMETHODCALLTYPE GetHour(LONG* hour) noexcept override;
    HRESULT STDMETHODCALLTYPE SetMinute(LONG minute) noexcept override;
    HRESULT STDMETHODCALLTYPE GetMinute(LONG* minute) noexcept override;
    HRESULT STDMETHODCALLTYPE SetExtraInt(LONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE SetDayOffset(LONG dayOffset) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDayOffset(LONG* dayOffset) noexcept override;
    HRESULT STDMETHODCALLTYPE SetLastInt(LONG value) noexcept override;

    TriggerObject() = default;

private:
    TriggerValues values_;
    LONG extraInt_ = 0;
    LONG lastInt_ = 0;
};

class TriggerListObject final : public ComObject<IxTriggerList, IID_IUnknown> {
public:
    static ComPtr<TriggerListObject> Create() noexcept;

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, REFIID riid, void** item) noexcept override;
    // E_NOINTERFACE (and nothing added) when item does not offer riid.
    HRESULT STDMETHODCALLTYPE AddItem(REFIID riid, IUnknown* item) noexcept override;

    TriggerListObject() = default;

private:
    std::vector<ComPtr<IUnknown>> items_;
};

// A reminder's values, as stored: the primary trigger (when set), the listed
// triggers in order and the carried property.
struct ReminderValues {
    bool hasPrimary = false;
    TriggerValues primary;
    std::vector<TriggerValues> listed;
    LONG carried = 0;
};

class ReminderObject final : public ComObject<IxReminder, IID_IxReminder> {
public:
    static ComPtr<ReminderObject> Create() noexcept;
    // A reminder with fresh trigger objects for the values.
    static ComPtr<ReminderObject> Create(const ReminderValues& values) noexcept;

    HRESULT STDMETHODCALLTYPE SetState(VARIANT_BOOL state) noexcept override;
    HRESULT STDMETHODCALLTYPE SetCarriedProperty(LONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCarriedProperty(LONG* value) noexcept override;
    HRESULT STDMETHODCALLTYPE SetPrimaryTrigger(IxTrigger* trigger) noexcept override;
    HRESULT STDMETHODCALLTYPE GetPrimaryTrigger(IxTrigger** trigger) noexcept override;
    HRESULT STDMETHODCALLTYPE SetTriggerList(IxTriggerList* list) noexcept override;
    HRESULT STDMETHODCALLTYPE GetTriggerList(IxTriggerList** list) noexcept override;

    ReminderObject() = default;

private:
    VARIANT_BOOL state_ = VARIANT_FALSE;
    LONG carried_ = 0;
    ComPtr<IxTrigger> primary_;
    ComPtr<IxTriggerList> list_;
};

// The values of any reminder object (the stand-in's or another's), read
// through IxReminder; false when reminder does not offer it.
bool ReadReminder(IUnknown* reminder, ReminderValues& values);

class EventObject final : public ComObject<IxEvent, IID_IxEvent> {
public:
    static ComPtr<EventObject> Create() noexcept;

    // What the interface has no setter for: the service fills these in on
    // the events it hands out.
    void SetIdText(const std::wstring& id) { id_ = id; }
    void SetRecurrenceWord(const std::wstring& word) { recurrence_ = word; }

    HRESULT STDMETHODCALLTYPE GetId(BSTR* id) noexcept override;
    HRESULT STDMETHODCALLTYPE SetContent(IxItemLine* content) noexcept override;
    HRESULT STDMETHODCALLTYPE GetContent(IxItemLine** content) noexcept override;
    HRESULT STDMETHODCALLTYPE GetRecurrence(BSTR* word) noexcept override;
    HRESULT STDMETHODCALLTYPE SetCalendarKind(BSTR kind) noexcept override;
    HRESULT STDMETHODCALLTYPE SetExtraText(BSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE SetRepeatCount(LONG count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetRepeatCount(LONG* count) noexcept override;
    // E_INVALIDARG (start kept) when the date gives no valid day.
    HRESULT STDMETHODCALLTYPE SetStartDate(IxDate* date) noexcept override;
    HRESULT STDMETHODCALLTYPE SetCompleted(VARIANT_BOOL completed) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCompleted(VARIANT_BOOL* completed) noexcept override;
    HRESULT STDMETHODCALLTYPE SetExtraInt(LONG value) noexcept override;
    HRESULT STDMETHODCALLTYPE SetReminder(IUnknown* reminder) noexcept override;
    // *reminder stays null when the event has none.
    HRESULT STDMETHODCALLTYPE GetReminder(IUnknown** reminder) noexcept override;
    HRESULT STDMETHODCALLTYPE SetOtherText(BSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE SetEventType(LONG type) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventType(LONG* type) noexcept override;
    HRESULT STDMETHODCALLTYPE SetCountdownType(LONG type) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCountdownType(LONG* type) noexcept override;
    HRESULT STDMETHODCALLTYPE SetShowType(LONG type) noexcept override;
    HRESULT STDMETHODCALLTYPE GetShowType(LONG* type) noexcept override;
    HRESULT STDMETHODCALLTYPE SetLastInt(LONG value) noexcept override;

    EventObject() = default;

private:
    std::wstring id_;
    ComPtr<IxItemLine> content_;
    std::wstring recurrence_;
    std::wstring calendarKind_;
    std::wstring extraText_;
    std::wstring otherText_;
    LONG repeatCount_ = 1;
    bool hasStart_ = false;
    CalendarDay start_;
    VARIANT_BOOL completed_ = VARIANT_FALSE;
    LONG extraInt_ = 0;
    LONG lastInt_ = 0;
    ComPtr<IUnknown> reminder_;
    LONG type_ = 0;
    LONG countdownType_ = 0;
    LONG showType_ = 0;
};

class EventListObject final : public ComObject<IxEventList, IID_IUnknown> {
public:
    static ComPtr<EventListObject> Create(std::vector<ComPtr<EventObject>> events) noexcept;

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override;
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, REFIID riid, void** item) noexcept override;

    explicit EventListObject(std::vector<ComPtr<EventObject>> events) : events_(std::move(events)) {}

private:
    std::vector<ComPtr<EventObject>> events_;
};

// The classes the host itself makes (CreateInstanceFromClassFactory), with
// the create function of each; the signature is the host core's create
// function. Aggregation is not offered: with an outer object they fail with
// CLASS_E_NOAGGREGATION.
using HostClassCreate = HRESULT (*)(void** out, IUnknown* outer);
struct HostClass {
    const GUID* classId;
    HostClassCreate create;
};
const std::vector<HostClass>& CalendarHostClasses();

}  // namespace devhost
