// The stand-in calendar's own data: its local calendars and the current one
// (calendar service), its events (event service) and the free-text cells of
// its month grid (day content service). Each keeps its state in one JSON file
// of the data folder, written through (atomically, whole) before a change
// returns; memory changes only once the file did.
//
//   calendars.json  {"calendars":[{"id":1,"name":"Personal","groupid":"local"},...],
//                    "current":{"id":1,"groupid":"local"}}
//   events.json     {"nextId":N,"events":[<event>,...]}  (see EventRecord)
//   daycells.json   {"cells":[{"date":"2026-08-20","id":1,"groupid":"local",
//                              "text":"...","bgcolor":"FFE0B2"},...]}
//
// A missing file stands for no data: no calendars (current calendar 0 with
// an empty group), no events, empty cells. A file that does not have this
// layout is renamed to "<file>.unreadable" (as JsonFileStore does for one
// that is no JSON object) and the service starts empty, so the next write
// cannot destroy what it held.
//
// A calendar is identified by its number and group together; the number
// alone may repeat across groups. Events belong to one calendar; "events of
// a day" lists, in stored order, every event of the calendar that has an
// occurrence on that day (CalendarDays.h: OccursOn), each as a snapshot
// whose completed flag is that occurrence's. Completion is kept per
// occurrence day.
//
// Each service also has a plain C++ side for the stand-in program, the
// sample data and tests. Both sides may be used from any thread; one lock
// per service serialises them (the event service asks the calendar service
// for the current calendar before taking its own).
#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "Calendar.h"
#include "CalendarDays.h"
#include "CalendarObjects.h"
#include "ComObject.h"
#include "DataFolder.h"
#include "DayContent.h"
#include "Events.h"
#include "JsonFileStore.h"

namespace devhost {

struct CalendarIdentity {
    LONG id = 0;
    std::wstring groupId;
};
bool operator==(const CalendarIdentity& a, const CalendarIdentity& b);
bool operator<(const CalendarIdentity& a, const CalendarIdentity& b);

struct CalendarEntry {
    CalendarIdentity identity;
    std::wstring name;
};

class CalendarService final : public ComObject<IxCalendarService, IID_IxCalendarService> {
public:
    static constexpr const wchar_t* kFileName = L"calendars.json";

    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<CalendarService>& service);

    // C++ side.
    std::vector<CalendarEntry> Calendars() const;
    CalendarIdentity Current() const;
    bool Has(const CalendarIdentity& identity) const;
    // Replaces the list and the current calendar in one write. E_INVALIDARG
    // when two entries share an identity.
    [[nodiscard]] HRESULT SetCalendars(const std::vector<CalendarEntry>& calendars, const CalendarIdentity& current);
    // Switches the current calendar; any identity is taken, listed or not
    // (the host may report one that is not listed).
    [[nodiscard]] HRESULT SetCurrent(const CalendarIdentity& current);

    // IxCalendarService
    HRESULT STDMETHODCALLTYPE GetCalendarList(IxCalendarList** list) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCurrentGroupId(BSTR* groupId) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCurrentCalendarId(LONG* calendarId) noexcept override;

    explicit CalendarService(const DataFolder& folder);

private:
    HRESULT _Store(const std::vector<CalendarEntry>& calendars, const CalendarIdentity& current);

    // Protects store_, calendars_ and current_.
    mutable std::mutex lock_;
    JsonFileStore store_;
    std::vector<CalendarEntry> calendars_;
    CalendarIdentity current_;
};

// One stored event. In events.json:
//   {"id":"evt-1","calendar":{"id":1,"groupid":"local"},"start":"2026-08-20",
//    "type":1,"recurrence":"WEEKLY","repeat":-1,"line":"Team meeting",
//    "completed":["2026-08-20"],"countdownType":0,"showType":2,
//    "reminder":{"primary":{"day":0,"hour":9,"minute":30},
//                "triggers":[{"day":0,"hour":9,"minute":30}],"carried":0}}
// ("reminder" only when the event has one; "primary" only when set.)
struct EventRecord {
    std::wstring id;
    CalendarIdentity calendar;
    CalendarDay start;
    LONG type = kEventTypeTask;
    std::wstring recurrence = L"DAILY";
    LONG repeatCount = 1;
    // The content line as the service was given it (an item line's line).
    std::wstring line;
    std::set<std::wstring> completed;  // "YYYY-MM-DD" of completed occurrences
    LONG countdownType = 0;
    LONG showType = 0;
    bool hasReminder = false;
    ReminderValues reminder;
};

// The event as events.json holds it (one entry of "events").
JsonValue::Ptr EventJson(const EventRecord& event);

class EventService final : public ComObject<IxEventService, IID_IxEventService> {
public:
    static constexpr const wchar_t* kFileName = L"events.json";

    // calendars gives the current calendar for new events and for the
    // events of a day in the current calendar.
    [[nodiscard]] static HRESULT Create(const DataFolder& folder, const ComPtr<CalendarService>& calendars,
                                        ComPtr<EventService>& service);

    // C++ side.
    std::vector<EventRecord> Events() const;
    bool Find(const std::wstring& id, EventRecord& event) const;
    // The events of a calendar with an occurrence on the day, in stored order.
    std::vector<EventRecord> EventsOn(const CalendarDay& day, const CalendarIdentity& calendar) const;
    // Stores a new event under a new id (event.id is ignored and set).
    [[nodiscard]] HRESULT Add(EventRecord& event);
    // Marks one occurrence completed or not. HRESULT_FROM_WIN32(ERROR_NOT_FOUND)
    // for an unknown id; E_INVALIDARG when the event has no occurrence that day.
    [[nodiscard]] HRESULT SetCompleted(const std::wstring& id, const CalendarDay& day, bool completed);
    // Removes every event (ids are not reused afterwards).
    [[nodiscard]] HRESULT Clear();
    // A fault switch for tests and the stand-in program: while on, AddEvent
    // (which then hands out no id), UpdateEvent and DeleteEvent fail with
    // E_FAIL and change nothing. The C++ side above keeps working.
    void SetFailWrites(bool fail) noexcept { failWrites_ = fail; }
    bool FailsWrites() const noexcept { return failWrites_; }

    // IxEventService. AddEvent stores the event in the current calendar with
    // the given line, start date and recurrence code (1..21, see kRecur...),
    // and the event object's repeat count, type, countdown and show types,
    // reminder and, when set, its completed flag for the start day; refused
    // (E_INVALIDARG, no id) without a valid date, an event object or a known
    // code. UpdateEvent takes the same values (a null date keeps the start,
    // code 0 keeps the recurrence word) and keeps the calendar and the
    // completed occurrences. Unknown ids fail with
    // HRESULT_FROM_WIN32(ERROR_NOT_FOUND). GetEventById without a date gives
    // the start day's completion.
    HRESULT STDMETHODCALLTYPE AddEvent(BSTR contentLine, IxDate* date, LONG recurrence, IxEvent* event,
                                       BSTR* eventId) noexcept override;
    HRESULT STDMETHODCALLTYPE UpdateEvent(BSTR eventId, BSTR contentLine, IxDate* date, LONG recurrence,
                                          IxEvent* event) noexcept override;
    HRESULT STDMETHODCALLTYPE DeleteEvent(BSTR eventId) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventStartDate(BSTR eventId, IxDate** date) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventsOfDay(BSTR day, IxEventList** list) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventById(BSTR eventId, IxDate* date, IxEvent** event) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventsOfDayInCalendar(BSTR day, LONG calendarId, BSTR groupId,
                                                       IxEventList** list) noexcept override;

    EventService(const DataFolder& folder, const ComPtr<CalendarService>& calendars);

private:
    // Writes the events (and the next id) and, once written, keeps them.
    HRESULT _Store(std::vector<EventRecord> events, long nextId);
    HRESULT _ListOfDay(const std::wstring& dayText, const CalendarIdentity& calendar, IxEventList** list);

    const ComPtr<CalendarService> calendars_;
    // Protects store_, events_ and nextId_.
    mutable std::mutex lock_;
    JsonFileStore store_;
    std::vector<EventRecord> events_;
    long nextId_ = 1;
    std::atomic<bool> failWrites_{false};
};

// The event object the event service hands out for a stored event seen on
// the day of dayText, "YYYY-MM-DD" (its completed flag is that day's); null
// when memory ran out.
ComPtr<EventObject> MakeEventSnapshot(const EventRecord& event, const std::wstring& dayText);

struct DayCell {
    std::wstring text;
    std::wstring bgColor;
};

class DayContentService final : public ComObject<IxDayContentService, IID_IxDayContentService> {
public:
    static constexpr const wchar_t* kFileName = L"daycells.json";

    [[nodiscard]] static HRESULT Create(const DataFolder& folder, ComPtr<DayContentService>& service);

    // C++ side. A cell with neither text nor colour is not stored.
    DayCell Cell(const CalendarDay& day, const CalendarIdentity& calendar) const;
    [[nodiscard]] HRESULT SetCell(const CalendarDay& day, const CalendarIdentity& calendar, const DayCell& cell);
    // How many cells hold a text or a colour.
    std::size_t CellCount() const;
    [[nodiscard]] HRESULT Clear();

    // IxDayContentService. The day must be a valid "YYYY-MM-DD" text, else
    // E_INVALIDARG; texts and colours are stored as given.
    HRESULT STDMETHODCALLTYPE GetDayText(BSTR day, LONG calendarId, BSTR groupId, BSTR* text) noexcept override;
    HRESULT STDMETHODCALLTYPE SetDayText(BSTR day, LONG calendarId, BSTR groupId, BSTR text) noexcept override;
    HRESULT STDMETHODCALLTYPE GetDayBgColor(BSTR day, LONG calendarId, BSTR groupId, BSTR* color) noexcept override;
    HRESULT STDMETHODCALLTYPE SetDayBgColor(BSTR day, LONG calendarId, BSTR groupId, BSTR color) noexcept override;

    explicit DayContentService(const DataFolder& folder);

private:
    struct CellKey {
        CalendarDay day;
        CalendarIdentity calendar;
        bool operator<(const CellKey& other) const;
    };
    using Cells = std::vector<std::pair<CellKey, DayCell>>;

    // The text or the colour of a cell, addressed as the interface does.
    HRESULT _ReadPart(BSTR day, LONG calendarId, BSTR groupId, std::wstring DayCell::*part, BSTR* value) const;
    HRESULT _WritePart(BSTR day, LONG calendarId, BSTR groupId, std::wstring DayCell::*part, BSTR value);
    HRESULT _Change(const CalendarDay& day, const CalendarIdentity& calendar, const DayCell& cell);
    HRESULT _Store(Cells cells);

    // Protects store_ and cells_ (kept sorted by key).
    mutable std::mutex lock_;
    JsonFileStore store_;
    Cells cells_;
};

}  // namespace devhost
