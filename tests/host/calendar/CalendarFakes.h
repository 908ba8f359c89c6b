// Small in-process stand-ins for the calendar, event and language services
// and the host's date class, for the calendar read tools' tests and
// benchmark. Events are described by plain values (EventSpec) and handed out
// as reference-counted objects; the services record what they were asked.
//
// FakeCalendarHost installs the services with DevHost::SetService and
// registers the date class; its destructor removes them again.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ComObject.h"
#include "HostApi.h"

namespace calfake {

struct TriggerSpec {
    LONG dayOffset = 0;
    LONG hour = 0;
    LONG minute = 0;
};

struct EventSpec {
    EventSpec(std::wstring id_, std::wstring title_, LONG type_ = kEventTypeTask, std::wstring recurrence_ = L"DAILY",
              LONG repeatCount_ = 1, bool completed_ = false)
        : id(std::move(id_)),
          title(std::move(title_)),
          type(type_),
          recurrence(std::move(recurrence_)),
          repeatCount(repeatCount_),
          completed(completed_)
    {
    }

    std::wstring id;
    std::wstring title;
    LONG type = kEventTypeTask;
    std::wstring recurrence = L"DAILY";
    LONG repeatCount = 1;
    bool completed = false;
    bool hasContent = true;
    bool hasReminder = false;  // a reminder object (with the triggers below)
    std::optional<TriggerSpec> primary;
    std::vector<TriggerSpec> listed;
    LONG countdownType = 0;
    LONG showType = 0;
};

ComPtr<IxEvent> MakeEvent(const EventSpec& shape);

using EventObjects = std::vector<ComPtr<IxEvent>>;

class FakeEventService final : public devhost::ComObject<IxEventService, IID_IxEventService> {
public:
    // Events listed for a day ("YYYY-MM-DD") of the current calendar, or of
    // the calendar (id, group).
    void AddOnDay(const std::wstring& day, const EventSpec& shape);
    void AddOnDayInCalendar(const std::wstring& day, LONG id, const std::wstring& group, const EventSpec& shape);
    // Events listed on every day of every calendar, after those of the day.
    void AddEveryDay(const EventSpec& shape);
    // The event GetEventById finds, whatever the date.
    void AddById(const EventSpec& shape);

    // What was asked: "2026-08-20" for the current calendar,
    // "2026-08-20@<id>|<group>" for a given one.
    std::vector<std::wstring> daysAsked;
    // GetEventById: the date object's text ("" when none was passed), and the
    // result code it answers with when the event exists.
    std::vector<std::wstring> datesAsked;
    HRESULT byIdResult = S_OK;

    HRESULT STDMETHODCALLTYPE AddEvent(BSTR, IxDate*, LONG, IxEvent*, BSTR*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateEvent(BSTR, BSTR, IxDate*, LONG, IxEvent*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteEvent(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventStartDate(BSTR, IxDate**) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventsOfDay(BSTR day, IxEventList** list) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventById(BSTR eventId, IxDate* date, IxEvent** event) noexcept override;
    HRESULT STDMETHODCALLTYPE GetEventsOfDayInCalendar(BSTR day, LONG calendarId, BSTR groupId,
                                                       IxEventList** list) noexcept override;

private:
    HRESULT ListFor(const std::wstring& key, IxEventList** list);

    std::map<std::wstring, EventObjects> days_;
    EventObjects everyDay_;
    std::map<std::wstring, ComPtr<IxEvent>> byId_;
};

struct CalendarSpec {
    LONG id = 0;
    std::wstring name;
    std::wstring group;
};

class FakeCalendarService final : public devhost::ComObject<IxCalendarService, IID_IxCalendarService> {
public:
    std::vector<CalendarSpec> calendars;
    bool hasList = true;  // false: no list object at all
    LONG currentId = 0;
    std::wstring currentGroup;

    HRESULT STDMETHODCALLTYPE GetCalendarList(IxCalendarList** list) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCurrentGroupId(BSTR* groupId) noexcept override;
    HRESULT STDMETHODCALLTYPE GetCurrentCalendarId(LONG* calendarId) noexcept override;
};

class FakeLanguageService final : public devhost::ComObject<IxLanguageService, IID_IxLanguageService> {
public:
    std::map<std::wstring, std::wstring> texts;
    HRESULT STDMETHODCALLTYPE GetText(BSTR key, BSTR* text) noexcept override;
};

// The three services and the date class, installed for the object's life.
// Each service can be taken away again with Remove...().
class FakeCalendarHost {
public:
    FakeCalendarHost();
    ~FakeCalendarHost();
    FakeCalendarHost(const FakeCalendarHost&) = delete;
    FakeCalendarHost& operator=(const FakeCalendarHost&) = delete;

    FakeCalendarService& Calendars() { return *calendars_.get(); }
    FakeEventService& Events() { return *events_.get(); }
    FakeLanguageService& Language() { return *language_.get(); }

    void RemoveCalendars();
    void RemoveEvents();
    void RemoveLanguage();
    void RemoveDateClass();

private:
    ComPtr<FakeCalendarService> calendars_;
    ComPtr<FakeEventService> events_;
    ComPtr<FakeLanguageService> language_;
};

}  // namespace calfake
