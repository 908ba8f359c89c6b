#include "CalendarFakes.h"

#include "DevHostApi.h"
#include "UniqueBstr.h"

namespace calfake {
namespace {

std::wstring Text(BSTR b)
{
    return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

BSTR Alloc(const std::wstring& text)
{
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// Hands out one more reference of obj as riid, or leaves *out null.
HRESULT Hand(IUnknown* obj, REFIID riid, void** out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    return obj ? obj->QueryInterface(riid, out) : S_OK;
}

class Title final : public devhost::ComObject<IxItemLine, IID_IUnknown> {
public:
    explicit Title(std::wstring text) : text_(std::move(text)) {}
    HRESULT STDMETHODCALLTYPE SetLine(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPlainText(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPlainText(BSTR* text) noexcept override
    {
        *text = Alloc(text_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetDone(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDone(VARIANT_BOOL*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLine(BSTR*) noexcept override { return E_NOTIMPL; }

private:
    std::wstring text_;
};

class Trigger final : public devhost::ComObject<IxTrigger, IID_IxTrigger> {
public:
    explicit Trigger(const TriggerSpec& shape) : shape_(shape) {}
    HRESULT STDMETHODCALLTYPE SetHour(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHour(LONG* hour) noexcept override { return *hour = shape_.hour, S_OK; }
    HRESULT STDMETHODCALLTYPE SetMinute(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMinute(LONG* minute) noexcept override { return *minute = shape_.minute, S_OK; }
    HRESULT STDMETHODCALLTYPE SetExtraInt(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDayOffset(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDayOffset(LONG* offset) noexcept override
    {
        *offset = shape_.dayOffset;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLastInt(LONG) noexcept override { return E_NOTIMPL; }

private:
    TriggerSpec shape_;
};

class TriggerList final : public devhost::ComObject<IxTriggerList, IID_IUnknown> {
public:
    explicit TriggerList(const std::vector<TriggerSpec>& shapes)
    {
        for (const TriggerSpec& shape : shapes) items_.push_back(devhost::MakeComObject<Trigger>(shape));
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        *count = static_cast<LONG>(items_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, REFIID riid, void** item) noexcept override
    {
        if (index < 0 || static_cast<size_t>(index) >= items_.size()) return Hand(nullptr, riid, item);
        return Hand(items_[index].get(), riid, item);
    }
    HRESULT STDMETHODCALLTYPE AddItem(REFIID, IUnknown*) noexcept override { return E_NOTIMPL; }

private:
    std::vector<ComPtr<Trigger>> items_;
};

class Reminder final : public devhost::ComObject<IxReminder, IID_IxReminder> {
public:
    explicit Reminder(const EventSpec& shape) : list_(devhost::MakeComObject<TriggerList>(shape.listed))
    {
        if (shape.primary) primary_ = devhost::MakeComObject<Trigger>(*shape.primary);
    }
    HRESULT STDMETHODCALLTYPE SetState(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCarriedProperty(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCarriedProperty(LONG*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPrimaryTrigger(IxTrigger*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrimaryTrigger(IxTrigger** trigger) noexcept override
    {
        return Hand(primary_.get(), IID_IxTrigger, reinterpret_cast<void**>(trigger));
    }
    HRESULT STDMETHODCALLTYPE SetTriggerList(IxTriggerList*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTriggerList(IxTriggerList** list) noexcept override
    {
        *list = list_.get();
        (*list)->AddRef();
        return S_OK;
    }

private:
    ComPtr<Trigger> primary_;
    ComPtr<TriggerList> list_;
};

class Event final : public devhost::ComObject<IxEvent, IID_IxEvent> {
public:
    explicit Event(const EventSpec& shape) : shape_(shape)
    {
        if (shape.hasContent) title_ = devhost::MakeComObject<Title>(shape.title);
        if (shape.hasReminder) reminder_ = devhost::MakeComObject<Reminder>(shape);
    }
    HRESULT STDMETHODCALLTYPE GetId(BSTR* id) noexcept override { return *id = Alloc(shape_.id), S_OK; }
    HRESULT STDMETHODCALLTYPE SetContent(IxItemLine*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContent(IxItemLine** content) noexcept override
    {
        *content = title_.get();
        if (*content) (*content)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRecurrence(BSTR* word) noexcept override
    {
        *word = Alloc(shape_.recurrence);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetCalendarKind(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtraText(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRepeatCount(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetRepeatCount(LONG* count) noexcept override
    {
        *count = shape_.repeatCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStartDate(IxDate*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetCompleted(VARIANT_BOOL) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCompleted(VARIANT_BOOL* completed) noexcept override
    {
        *completed = shape_.completed ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetExtraInt(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetReminder(IUnknown*) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetReminder(IUnknown** reminder) noexcept override
    {
        return Hand(reminder_.get(), IID_IUnknown, reinterpret_cast<void**>(reminder));
    }
    HRESULT STDMETHODCALLTYPE SetOtherText(BSTR) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventType(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetEventType(LONG* type) noexcept override { return *type = shape_.type, S_OK; }
    HRESULT STDMETHODCALLTYPE SetCountdownType(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCountdownType(LONG* type) noexcept override
    {
        *type = shape_.countdownType;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetShowType(LONG) noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowType(LONG* type) noexcept override { return *type = shape_.showType, S_OK; }
    HRESULT STDMETHODCALLTYPE SetLastInt(LONG) noexcept override { return E_NOTIMPL; }

private:
    EventSpec shape_;
    ComPtr<Title> title_;
    ComPtr<Reminder> reminder_;
};

// A day's events: the day's own, then those of every day.
class EventList final : public devhost::ComObject<IxEventList, IID_IUnknown> {
public:
    EventList(const EventObjects* own, const EventObjects& every) : own_(own), every_(every) {}
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        *count = static_cast<LONG>(OwnCount() + every_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, REFIID riid, void** item) noexcept override
    {
        const size_t at = static_cast<size_t>(index);
        if (index < 0 || at >= OwnCount() + every_.size()) return Hand(nullptr, riid, item);
        return Hand(at < OwnCount() ? (*own_)[at].get() : every_[at - OwnCount()].get(), riid, item);
    }

private:
    size_t OwnCount() const { return own_ ? own_->size() : 0; }
    const EventObjects* own_;  // the service outlives every list it hands out within a test
    const EventObjects& every_;
};

class Date final : public devhost::ComObject<IxDate, IID_IUnknown> {
public:
    HRESULT STDMETHODCALLTYPE SetFromText(BSTR day) noexcept override
    {
        text_ = Text(day);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Format(BSTR, BSTR* text) noexcept override
    {
        *text = Alloc(text_);
        return S_OK;
    }

private:
    std::wstring text_;
};

HRESULT CreateDate(void** out, IUnknown*)
{
    *out = static_cast<IxDate*>(devhost::MakeComObject<Date>().detach());
    return *out ? S_OK : E_OUTOFMEMORY;
}

class CalendarItem final : public devhost::ComObject<IxCalendarItem, IID_IUnknown> {
public:
    explicit CalendarItem(const CalendarSpec& shape) : shape_(shape) {}
    HRESULT STDMETHODCALLTYPE GetIntProperty(BSTR name, LONG* value) noexcept override
    {
        if (Text(name) != L"id") return E_INVALIDARG;
        *value = shape_.id;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTextProperty(BSTR name, BSTR* value) noexcept override
    {
        const std::wstring key = Text(name);
        if (key == L"name") *value = Alloc(shape_.name);
        else if (key == L"groupid") *value = Alloc(shape_.group);
        else return E_INVALIDARG;
        return S_OK;
    }

private:
    CalendarSpec shape_;
};

class CalendarList final : public devhost::ComObject<IxCalendarList, IID_IUnknown> {
public:
    explicit CalendarList(const std::vector<CalendarSpec>& shapes) : shapes_(shapes) {}
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        *count = static_cast<LONG>(shapes_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, IxCalendarItem** item) noexcept override
    {
        *item = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= shapes_.size()) return S_OK;
        *item = devhost::MakeComObject<CalendarItem>(shapes_[index]).detach();
        return S_OK;
    }

private:
    std::vector<CalendarSpec> shapes_;
};

}  // namespace

ComPtr<IxEvent> MakeEvent(const EventSpec& shape)
{
    ComPtr<Event> event = devhost::MakeComObject<Event>(shape);
    return ComPtr<IxEvent>::Attach(event.detach());
}

void FakeEventService::AddOnDay(const std::wstring& day, const EventSpec& shape)
{
    days_[day].push_back(MakeEvent(shape));
}

void FakeEventService::AddOnDayInCalendar(const std::wstring& day, LONG id, const std::wstring& group,
                                          const EventSpec& shape)
{
    days_[day + L"@" + std::to_wstring(id) + L"|" + group].push_back(MakeEvent(shape));
}

void FakeEventService::AddEveryDay(const EventSpec& shape)
{
    everyDay_.push_back(MakeEvent(shape));
}

void FakeEventService::AddById(const EventSpec& shape)
{
    byId_[shape.id] = MakeEvent(shape);
}

HRESULT FakeEventService::ListFor(const std::wstring& key, IxEventList** list)
{
    daysAsked.push_back(key);
    const auto found = days_.find(key);
    const EventObjects* own = found == days_.end() ? nullptr : &found->second;
    *list = nullptr;
    if (!own && everyDay_.empty()) return S_OK;  // nothing that day: no list object
    *list = devhost::MakeComObject<EventList>(own, everyDay_).detach();
    return S_OK;
}

HRESULT FakeEventService::GetEventsOfDay(BSTR day, IxEventList** list) noexcept
{
    return devhost::Guarded([&] { return ListFor(Text(day), list); });
}

HRESULT FakeEventService::GetEventsOfDayInCalendar(BSTR day, LONG calendarId, BSTR groupId,
                                                   IxEventList** list) noexcept
{
    return devhost::Guarded(
        [&] { return ListFor(Text(day) + L"@" + std::to_wstring(calendarId) + L"|" + Text(groupId), list); });
}

HRESULT FakeEventService::GetEventById(BSTR eventId, IxDate* date, IxEvent** event) noexcept
{
    return devhost::Guarded([&] {
        UniqueBstr dateText;
        if (date) date->Format(UniqueBstr(L"%Y-%m-%d").get(), dateText.put());
        datesAsked.push_back(dateText.str());
        *event = nullptr;
        const auto found = byId_.find(Text(eventId));
        if (found == byId_.end()) return E_INVALIDARG;
        *event = found->second.get();
        (*event)->AddRef();
        return byIdResult;
    });
}

HRESULT FakeCalendarService::GetCalendarList(IxCalendarList** list) noexcept
{
    *list = hasList ? devhost::MakeComObject<CalendarList>(calendars).detach() : nullptr;
    return S_OK;
}

HRESULT FakeCalendarService::GetCurrentGroupId(BSTR* groupId) noexcept
{
    *groupId = Alloc(currentGroup);
    return S_OK;
}

HRESULT FakeCalendarService::GetCurrentCalendarId(LONG* calendarId) noexcept
{
    *calendarId = currentId;
    return S_OK;
}

HRESULT FakeLanguageService::GetText(BSTR key, BSTR* text) noexcept
{
    const auto found = texts.find(Text(key));
    if (found != texts.end()) *text = Alloc(found->second);
    return S_OK;
}

FakeCalendarHost::FakeCalendarHost()
    : calendars_(devhost::MakeComObject<FakeCalendarService>()),
      events_(devhost::MakeComObject<FakeEventService>()),
      language_(devhost::MakeComObject<FakeLanguageService>())
{
    DevHost::SetService(SID_CalendarService, static_cast<IxCalendarService*>(calendars_.get()));
    DevHost::SetService(SID_EventService, static_cast<IxEventService*>(events_.get()));
    DevHost::SetService(SID_LanguageService, static_cast<IxLanguageService*>(language_.get()));
    DevHost::RegisterHostClass(CLSID_Date, CreateDate);
}

FakeCalendarHost::~FakeCalendarHost()
{
    RemoveCalendars();
    RemoveEvents();
    RemoveLanguage();
    RemoveDateClass();
}

void FakeCalendarHost::RemoveCalendars()
{
    DevHost::SetService(SID_CalendarService, nullptr);
}

void FakeCalendarHost::RemoveEvents()
{
    DevHost::SetService(SID_EventService, nullptr);
}

void FakeCalendarHost::RemoveLanguage()
{
    DevHost::SetService(SID_LanguageService, nullptr);
}

void FakeCalendarHost::RemoveDateClass()
{
    DevHost::RegisterHostClass(CLSID_Date, nullptr);
}

}  // namespace calfake
