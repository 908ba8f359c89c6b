#include "CalendarServices.h"

#include <algorithm>
#include <tuple>

#include "CallRecorder.h"

namespace devhost {

namespace {

constexpr const wchar_t* kEventIdPrefix = L"evt-";
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// ---- JSON reading and writing ----------------------------------------------------

bool ReadLong(const JsonValue& object, const wchar_t* name, LONG& value)
{
    return LongFromJson(object.GetMember(name), value);
}

bool ReadText(const JsonValue& object, const wchar_t* name, std::wstring& value)
{
    const JsonValue* member = object.GetMember(name);
    if (!member || !member->IsString()) return false;
    value = member->StringValue();
    return true;
}

bool ReadDay(const JsonValue& object, const wchar_t* name, CalendarDay& day)
{
    std::wstring text;
    return ReadText(object, name, text) && ParseDayText(text, day);
}

bool ReadIdentity(const JsonValue* object, CalendarIdentity& identity)
{
    return object && object->IsObject() && ReadLong(*object, L"id", identity.id) &&
           ReadText(*object, L"groupid", identity.groupId);
}

JsonValue::Ptr IdentityJson(const CalendarIdentity& identity)
{
    JsonValue::ObjectMembers members;
    members.emplace(L"id", JsonValue::MakeNumber(identity.id));
    members.emplace(L"groupid", JsonValue::MakeString(identity.groupId));
    return JsonValue::MakeObject(std::move(members));
}

bool ReadTriggerJson(const JsonValue* object, TriggerValues& trigger)
{
    return object && object->IsObject() && ReadLong(*object, L"day", trigger.dayOffset) &&
           ReadLong(*object, L"hour", trigger.hour) && ReadLong(*object, L"minute", trigger.minute);
}

JsonValue::Ptr TriggerJson(const TriggerValues& trigger)
{
    JsonValue::ObjectMembers members;
    members.emplace(L"day", JsonValue::MakeNumber(trigger.dayOffset));
    members.emplace(L"hour", JsonValue::MakeNumber(trigger.hour));
    members.emplace(L"minute", JsonValue::MakeNumber(trigger.minute));
    return JsonValue::MakeObject(std::move(members));
}

bool ReadReminderJson(const JsonValue& object, ReminderValues& reminder)
{
    reminder = ReminderValues();
    if (!ReadLong(object, L"carried", reminder.carried)) return false;
    if (const JsonValue* primary = object.GetMember(L"primary")) {
        if (!ReadTriggerJson(primary, reminder.primary)) return false;
        reminder.hasPrimary = true;
    }
    const JsonValue* listed = object.GetMember(L"triggers");
    if (!listed || !listed->IsArray()) return false;
    for (const auto& item : listed->Items()) {
        TriggerValues trigger;
        if (!ReadTriggerJson(item.get(), trigger)) return false;
        reminder.listed.push_back(trigger);
    }
    return true;
}

JsonValue::Ptr ReminderJson(const ReminderValues& reminder)
{
    JsonValue::ObjectMembers members;
    members.emplace(L"carried", JsonValue::MakeNumber(reminder.carried));
    if (reminder.hasPrimary) members.emplace(L"primary", TriggerJson(reminder.primary));
    JsonValue::ArrayItems listed;
    for (const TriggerValues& trigger : reminder.listed) listed.push_back(TriggerJson(trigger));
    members.emplace(L"triggers", JsonValue::MakeArray(std::move(listed)));
    return JsonValue::MakeObject(std::move(members));
}

bool ReadEventJson(const JsonValue* object, EventRecord& event)
{
    if (!object || !object->IsObject()) return false;
    event = EventRecord();
    if (!ReadText(*object, L"id", event.id) || event.id.empty()) return false;
    if (!ReadIdentity(object->GetMember(L"calendar"), event.calendar)) return false;
    if (!ReadDay(*object, L"start", event.start)) return false;
    if (!ReadLong(*object, L"type", event.type) || !ReadText(*object, L"recurrence", event.recurrence) ||
        !ReadLong(*object, L"repeat", event.repeatCount) || !ReadText(*object, L"line", event.line) ||
        !ReadLong(*object, L"countdownType", event.countdownType) || !ReadLong(*object, L"showType", event.showType))
        return false;
    const JsonValue* completed = object->GetMember(L"completed");
    if (!completed || !completed->IsArray()) return false;
    for (const auto& item : completed->Items()) {
        CalendarDay day;
        if (!item->IsString() || !ParseDayText(item->StringValue(), day)) return false;
        event.completed.insert(item->StringValue());
    }
    if (const JsonValue* reminder = object->GetMember(L"reminder")) {
        if (!reminder->IsObject() || !ReadReminderJson(*reminder, event.reminder)) return false;
        event.hasReminder = true;
    }
    return true;
}

// ---- Calendar list objects ------------------------------------------------------

class CalendarItemObject final : public ComObject<IxCalendarItem, IID_IUnknown> {
public:
    explicit CalendarItemObject(CalendarEntry entry) : entry_(std::move(entry)) {}

    // "id"; any other name is E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE GetIntProperty(BSTR name, LONG* value) noexcept override
    {
        if (!value) return E_POINTER;
        return Guarded([&] {
            if (BstrText(name) != L"id") return E_INVALIDARG;
            *value = entry_.identity.id;
            return S_OK;
        });
    }
    // "name" and "groupid"; any other name is E_INVALIDARG.
    HRESULT STDMETHODCALLTYPE GetTextProperty(BSTR name, BSTR* value) noexcept override
    {
        if (!value) return E_POINTER;
        return Guarded([&] {
            const std::wstring asked = BstrText(name);
            if (asked == L"name") return OutText(entry_.name, value);
            if (asked == L"groupid") return OutText(entry_.identity.groupId, value);
            return E_INVALIDARG;
        });
    }

private:
    const CalendarEntry entry_;
};

class CalendarListObject final : public ComObject<IxCalendarList, IID_IUnknown> {
public:
    explicit CalendarListObject(std::vector<CalendarEntry> entries) : entries_(std::move(entries)) {}

    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) noexcept override
    {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(entries_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetItem(LONG index, IxCalendarItem** item) noexcept override
    {
        if (!item) return E_POINTER;
        *item = nullptr;
        if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) return E_INVALIDARG;
        return Guarded([&] {
            ComPtr<CalendarItemObject> made =
                MakeComObject<CalendarItemObject>(entries_[static_cast<std::size_t>(index)]);
            if (!made) return E_OUTOFMEMORY;
            *item = made.detach();
            return S_OK;
        });
    }

private:
    const std::vector<CalendarEntry> entries_;
};

bool HasDuplicateIdentity(const std::vector<CalendarEntry>& calendars)
{
    std::set<CalendarIdentity> seen;
    for (const CalendarEntry& entry : calendars)
        if (!seen.insert(entry.identity).second) return true;
    return false;
}

// The values an event object (the stand-in's or another's) carries, read
// through IxEvent into a record.
void ReadEventObject(IxEvent* event, EventRecord& record)
{
    event->GetRepeatCount(&record.repeatCount);
    event->GetEventType(&record.type);
    event->GetCountdownType(&record.countdownType);
    event->GetShowType(&record.showType);
    ComPtr<IUnknown> reminder;
    event->GetReminder(reminder.put());
    record.hasReminder = ReadReminder(reminder.get(), record.reminder);
    if (!record.hasReminder) record.reminder = ReminderValues();
}

std::wstring NewEventId(long number) { return kEventIdPrefix + std::to_wstring(number); }

}  // namespace

bool operator==(const CalendarIdentity& a, const CalendarIdentity& b)
{
    return a.id == b.id && a.groupId == b.groupId;
}

bool operator<(const CalendarIdentity& a, const CalendarIdentity& b)
{
    return std::tie(a.id, a.groupId) < std::tie(b.id, b.groupId);
}

JsonValue::Ptr EventJson(const EventRecord& event)
{
    JsonValue::ObjectMembers members;
    members.emplace(L"id", JsonValue::MakeString(event.id));
    members.emplace(L"calendar", IdentityJson(event.calendar));
    members.emplace(L"start", JsonValue::MakeString(DayText(event.start)));
    members.emplace(L"type", JsonValue::MakeNumber(event.type));
    members.emplace(L"recurrence", JsonValue::MakeString(event.recurrence));
    members.emplace(L"repeat", JsonValue::MakeNumber(event.repeatCount));
    members.emplace(L"line", JsonValue::MakeString(event.line));
    JsonValue::ArrayItems completed;
    for (const std::wstring& day : event.completed) completed.push_back(JsonValue::MakeString(day));
    members.emplace(L"completed", JsonValue::MakeArray(std::move(completed)));
    members.emplace(L"countdownType", JsonValue::MakeNumber(event.countdownType));
    members.emplace(L"showType", JsonValue::MakeNumber(event.showType));
    if (event.hasReminder) members.emplace(L"reminder", ReminderJson(event.reminder));
    return JsonValue::MakeObject(std::move(members));
}

// ---- Calendar service ------------------------------------------------------------

CalendarService::CalendarService(const DataFolder& folder) : store_(folder, kFileName) {}

HRESULT CalendarService::Create(const DataFolder& folder, ComPtr<CalendarService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<CalendarService> made = MakeComObject<CalendarService>(folder);
        if (!made) return E_OUTOFMEMORY;
        CalendarService& self = *made.get();
        const HRESULT hr = LoadLayout(self.store_, [&self] {
            std::vector<CalendarEntry> calendars;
            CalendarIdentity current;
            if (const JsonValue::Ptr listed = self.store_.Get(L"calendars")) {
                if (!listed->IsArray()) return false;
                for (const auto& item : listed->Items()) {
                    CalendarEntry entry;
                    if (!ReadIdentity(item.get(), entry.identity) || !ReadText(*item, L"name", entry.name))
                        return false;
                    calendars.push_back(std::move(entry));
                }
                if (HasDuplicateIdentity(calendars)) return false;
            }
            if (const JsonValue::Ptr stored = self.store_.Get(L"current")) {
                if (!ReadIdentity(stored.get(), current)) return false;
            }
            self.calendars_ = std::move(calendars);
            self.current_ = std::move(current);
            return true;
        });
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

std::vector<CalendarEntry> CalendarService::Calendars() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return calendars_;
}

CalendarIdentity CalendarService::Current() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return current_;
}

bool CalendarService::Has(const CalendarIdentity& identity) const
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::any_of(calendars_.begin(), calendars_.end(),
                       [&](const CalendarEntry& entry) { return entry.identity == identity; });
}

HRESULT CalendarService::SetCalendars(const std::vector<CalendarEntry>& calendars, const CalendarIdentity& current)
{
    if (HasDuplicateIdentity(calendars)) return E_INVALIDARG;
    std::lock_guard<std::mutex> guard(lock_);
    return _Store(calendars, current);
}

HRESULT CalendarService::SetCurrent(const CalendarIdentity& current)
{
    std::lock_guard<std::mutex> guard(lock_);
    return _Store(calendars_, current);
}

HRESULT CalendarService::_Store(const std::vector<CalendarEntry>& calendars, const CalendarIdentity& current)
{
    JsonValue::ArrayItems items;
    for (const CalendarEntry& entry : calendars) {
        JsonValue::Ptr item = IdentityJson(entry.identity);
        item->SetMember(L"name", JsonValue::MakeString(entry.name));
        items.push_back(std::move(item));
    }
    JsonValue::ObjectMembers members;
    members.emplace(L"calendars", JsonValue::MakeArray(std::move(items)));
    members.emplace(L"current", IdentityJson(current));
    const HRESULT hr = store_.SetMany(std::move(members));
    if (FAILED(hr)) return hr;
    calendars_ = calendars;
    current_ = current;
    return S_OK;
}

HRESULT CalendarService::GetCalendarList(IxCalendarList** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    return Guarded([&] {
        ComPtr<CalendarListObject> made = MakeComObject<CalendarListObject>(Calendars());
        if (!made) return E_OUTOFMEMORY;
        *list = made.detach();
        return S_OK;
    });
}

HRESULT CalendarService::GetCurrentGroupId(BSTR* groupId) noexcept
{
    return Guarded([&] { return OutText(Current().groupId, groupId); });
}

HRESULT CalendarService::GetCurrentCalendarId(LONG* calendarId) noexcept
{
    if (!calendarId) return E_POINTER;
    *calendarId = Current().id;
    return S_OK;
}

// ---- Event service ---------------------------------------------------------------

// Whether the event is among the events of the day in the calendar.
bool ListedOn(const EventRecord& event, const CalendarDay& day, const CalendarIdentity& calendar)
{
    return event.calendar == calendar && OccursOn(event.recurrence, event.repeatCount, event.start, day);
}

ComPtr<EventObject> MakeEventSnapshot(const EventRecord& event, const std::wstring& dayText)
{
    ComPtr<EventObject> made = EventObject::Create();
    ComPtr<ItemLineObject> content = ItemLineObject::Create();
    ComPtr<DateObject> start = DateObject::Create(event.start);
    if (!made || !content || !start) return nullptr;
    made->SetIdText(event.id);
    made->SetRecurrenceWord(event.recurrence);
    content->SetLineText(event.line);
    made->SetContent(content.get());
    made->SetRepeatCount(event.repeatCount);
    made->SetStartDate(start.get());
    made->SetCompleted(event.completed.count(dayText) ? VARIANT_TRUE : VARIANT_FALSE);
    made->SetEventType(event.type);
    made->SetCountdownType(event.countdownType);
    made->SetShowType(event.showType);
    if (event.hasReminder) {
        ComPtr<ReminderObject> reminder = ReminderObject::Create(event.reminder);
        if (!reminder) return nullptr;
        made->SetReminder(reminder.get());
    }
    return made;
}

EventService::EventService(const DataFolder& folder, const ComPtr<CalendarService>& calendars)
    : calendars_(calendars), store_(folder, kFileName)
{
}

HRESULT EventService::Create(const DataFolder& folder, const ComPtr<CalendarService>& calendars,
                             ComPtr<EventService>& service)
{
    service.reset();
    if (!calendars) return E_POINTER;
    return Guarded([&] {
        ComPtr<EventService> made = MakeComObject<EventService>(folder, calendars);
        if (!made) return E_OUTOFMEMORY;
        EventService& self = *made.get();
        const HRESULT hr = LoadLayout(self.store_, [&self] {
            std::vector<EventRecord> events;
            LONG nextId = 1;
            if (const JsonValue::Ptr listed = self.store_.Get(L"events")) {
                if (!listed->IsArray()) return false;
                std::set<std::wstring> ids;
                for (const auto& item : listed->Items()) {
                    EventRecord event;
                    if (!ReadEventJson(item.get(), event) || !ids.insert(event.id).second) return false;
                    events.push_back(std::move(event));
                }
            }
            if (const JsonValue::Ptr stored = self.store_.Get(L"nextId")) {
                if (!LongFromJson(stored.get(), nextId) || nextId < 1) return false;
            }
            self.events_ = std::move(events);
            self.nextId_ = nextId;
            return true;
        });
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

std::vector<EventRecord> EventService::Events() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return events_;
}

bool EventService::Find(const std::wstring& id, EventRecord& event) const
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const EventRecord& stored : events_) {
        if (stored.id != id) continue;
        event = stored;
        return true;
    }
    return false;
}

std::vector<EventRecord> EventService::EventsOn(const CalendarDay& day, const CalendarIdentity& calendar) const
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<EventRecord> found;
    for (const EventRecord& event : events_)
        if (ListedOn(event, day, calendar)) found.push_back(event);
    return found;
}

HRESULT EventService::Add(EventRecord& event)
{
    std::lock_guard<std::mutex> guard(lock_);
    long number = nextId_;
    const auto taken = [&](const std::wstring& id) {
        return std::any_of(events_.begin(), events_.end(), [&](const EventRecord& e) { return e.id == id; });
    };
    while (taken(NewEventId(number))) ++number;
    EventRecord added = event;
    added.id = NewEventId(number);
    std::vector<EventRecord> next = events_;
    next.push_back(added);
    const HRESULT hr = _Store(std::move(next), number + 1);
    if (SUCCEEDED(hr)) event.id = added.id;
    return hr;
}

HRESULT EventService::SetCompleted(const std::wstring& id, const CalendarDay& day, bool completed)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<EventRecord> next = events_;
    for (EventRecord& event : next) {
        if (event.id != id) continue;
        if (!OccursOn(event.recurrence, event.repeatCount, event.start, day)) return E_INVALIDARG;
        if (completed) event.completed.insert(DayText(day));
        else event.completed.erase(DayText(day));
        return _Store(std::move(next), nextId_);
    }
    return kNotFound;
}

HRESULT EventService::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    return _Store(std::vector<EventRecord>(), nextId_);
}

HRESULT EventService::_Store(std::vector<EventRecord> events, long nextId)
{
    JsonValue::ArrayItems items;
    for (const EventRecord& event : events) items.push_back(EventJson(event));
    JsonValue::ObjectMembers members;
    members.emplace(L"events", JsonValue::MakeArray(std::move(items)));
    members.emplace(L"nextId", JsonValue::MakeNumber(nextId));
    const HRESULT hr = store_.SetMany(std::move(members));
    if (FAILED(hr)) return hr;
    events_ = std::move(events);
    nextId_ = nextId;
    return S_OK;
}

HRESULT EventService::AddEvent(BSTR contentLine, IxDate* date, LONG recurrence, IxEvent* event, BSTR* eventId) noexcept
{
    if (!eventId) return E_POINTER;
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        EventRecord record;
        record.recurrence = RecurrenceWord(recurrence);
        if (!event || record.recurrence.empty() || !ReadDate(date, record.start)) return E_INVALIDARG;
        record.calendar = calendars_->Current();
        record.line = BstrText(contentLine);
        ReadEventObject(event, record);
        VARIANT_BOOL completed = VARIANT_FALSE;
        event->GetCompleted(&completed);
        if (completed == VARIANT_TRUE) record.completed.insert(DayText(record.start));
        HRESULT hr = Add(record);
        if (FAILED(hr)) return hr;
        return OutText(record.id, eventId);
    });
}

HRESULT EventService::UpdateEvent(BSTR eventId, BSTR contentLine, IxDate* date, LONG recurrence,
                                  IxEvent* event) noexcept
{
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        const std::wstring word = RecurrenceWord(recurrence);
        CalendarDay start;
        if (!event || (recurrence != 0 && word.empty()) || (date && !ReadDate(date, start))) return E_INVALIDARG;
        EventRecord changes;
        ReadEventObject(event, changes);
        const std::wstring id = BstrText(eventId);
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<EventRecord> next = events_;
        for (EventRecord& stored : next) {
            if (stored.id != id) continue;
            if (date) stored.start = start;
            if (!word.empty()) stored.recurrence = word;
            stored.line = BstrText(contentLine);
            stored.repeatCount = changes.repeatCount;
            stored.type = changes.type;
            stored.countdownType = changes.countdownType;
            stored.showType = changes.showType;
            stored.hasReminder = changes.hasReminder;
            stored.reminder = changes.reminder;
            return _Store(std::move(next), nextId_);
        }
        return kNotFound;
    });
}

HRESULT EventService::DeleteEvent(BSTR eventId) noexcept
{
    if (failWrites_) return E_FAIL;
    return Guarded([&] {
        const std::wstring id = BstrText(eventId);
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<EventRecord> next = events_;
        const auto gone = std::remove_if(next.begin(), next.end(), [&](const EventRecord& e) { return e.id == id; });
        if (gone == next.end()) return kNotFound;
        next.erase(gone, next.end());
        return _Store(std::move(next), nextId_);
    });
}

HRESULT EventService::GetEventStartDate(BSTR eventId, IxDate** date) noexcept
{
    if (!date) return E_POINTER;
    *date = nullptr;
    return Guarded([&] {
        EventRecord event;
        if (!Find(BstrText(eventId), event)) return kNotFound;
        ComPtr<DateObject> made = DateObject::Create(event.start);
        if (!made) return E_OUTOFMEMORY;
        *date = made.detach();
        return S_OK;
    });
}

HRESULT EventService::GetEventsOfDay(BSTR day, IxEventList** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    return Guarded([&] { return _ListOfDay(BstrText(day), calendars_->Current(), list); });
}

HRESULT EventService::GetEventById(BSTR eventId, IxDate* date, IxEvent** event) noexcept
{
    if (!event) return E_POINTER;
    *event = nullptr;
    return Guarded([&] {
        EventRecord found;
        if (!Find(BstrText(eventId), found)) return kNotFound;
        CalendarDay day = found.start;
        if (date && !ReadDate(date, day)) return E_INVALIDARG;
        ComPtr<EventObject> snapshot = MakeEventSnapshot(found, DayText(day));
        if (!snapshot) return E_OUTOFMEMORY;
        *event = snapshot.detach();
        return S_OK;
    });
}

HRESULT EventService::GetEventsOfDayInCalendar(BSTR day, LONG calendarId, BSTR groupId, IxEventList** list) noexcept
{
    if (!list) return E_POINTER;
    *list = nullptr;
    return Guarded([&] { return _ListOfDay(BstrText(day), CalendarIdentity{calendarId, BstrText(groupId)}, list); });
}

HRESULT EventService::_ListOfDay(const std::wstring& dayText, const CalendarIdentity& calendar, IxEventList** list)
{
    CalendarDay day;
    if (!ParseDayText(dayText, day)) return E_INVALIDARG;
    // Snapshots are made from the records in place, under the lock, rather
    // than from copies of them: a day is listed for every day a caller walks.
    std::vector<ComPtr<EventObject>> snapshots;
    const std::wstring canonicalDay = DayText(day);
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (const EventRecord& event : events_) {
            if (!ListedOn(event, day, calendar)) continue;
            ComPtr<EventObject> snapshot = MakeEventSnapshot(event, canonicalDay);
            if (!snapshot) return E_OUTOFMEMORY;
            snapshots.push_back(std::move(snapshot));
        }
    }
    ComPtr<EventListObject> made = EventListObject::Create(std::move(snapshots));
    if (!made) return E_OUTOFMEMORY;
    *list = made.detach();
    return S_OK;
}

// ---- Day content service ----------------------------------------------------------

bool DayContentService::CellKey::operator<(const CellKey& other) const
{
    return std::make_tuple(DayNumber(day), calendar.id, std::cref(calendar.groupId)) <
           std::make_tuple(DayNumber(other.day), other.calendar.id, std::cref(other.calendar.groupId));
}

DayContentService::DayContentService(const DataFolder& folder) : store_(folder, kFileName) {}

HRESULT DayContentService::Create(const DataFolder& folder, ComPtr<DayContentService>& service)
{
    service.reset();
    return Guarded([&] {
        ComPtr<DayContentService> made = MakeComObject<DayContentService>(folder);
        if (!made) return E_OUTOFMEMORY;
        DayContentService& self = *made.get();
        const HRESULT hr = LoadLayout(self.store_, [&self] {
            Cells cells;
            if (const JsonValue::Ptr listed = self.store_.Get(L"cells")) {
                if (!listed->IsArray()) return false;
                for (const auto& item : listed->Items()) {
                    CellKey key;
                    DayCell cell;
                    if (!ReadIdentity(item.get(), key.calendar) || !ReadDay(*item, L"date", key.day) ||
                        !ReadText(*item, L"text", cell.text) || !ReadText(*item, L"bgcolor", cell.bgColor))
                        return false;
                    cells.emplace_back(key, std::move(cell));
                }
                std::sort(cells.begin(), cells.end(),
                          [](const Cells::value_type& a, const Cells::value_type& b) { return a.first < b.first; });
                for (std::size_t i = 1; i < cells.size(); ++i)
                    if (!(cells[i - 1].first < cells[i].first)) return false;
            }
            self.cells_ = std::move(cells);
            return true;
        });
        if (SUCCEEDED(hr)) service = std::move(made);
        return hr;
    });
}

DayCell DayContentService::Cell(const CalendarDay& day, const CalendarIdentity& calendar) const
{
    const CellKey key{day, calendar};
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = std::lower_bound(cells_.begin(), cells_.end(), key,
                                        [](const Cells::value_type& a, const CellKey& k) { return a.first < k; });
    if (found == cells_.end() || key < found->first) return DayCell();
    return found->second;
}

HRESULT DayContentService::SetCell(const CalendarDay& day, const CalendarIdentity& calendar, const DayCell& cell)
{
    std::lock_guard<std::mutex> guard(lock_);
    return _Change(day, calendar, cell);
}

std::size_t DayContentService::CellCount() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return cells_.size();
}

HRESULT DayContentService::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    return _Store(Cells());
}

HRESULT DayContentService::_Change(const CalendarDay& day, const CalendarIdentity& calendar, const DayCell& cell)
{
    const CellKey key{day, calendar};
    Cells next = cells_;
    const auto found = std::lower_bound(next.begin(), next.end(), key,
                                        [](const Cells::value_type& a, const CellKey& k) { return a.first < k; });
    const bool exists = found != next.end() && !(key < found->first);
    const bool keep = !cell.text.empty() || !cell.bgColor.empty();
    if (exists && keep) found->second = cell;
    else if (exists) next.erase(found);
    else if (keep) next.emplace(found, key, cell);
    else return S_OK;
    return _Store(std::move(next));
}

HRESULT DayContentService::_Store(Cells cells)
{
    JsonValue::ArrayItems items;
    for (const auto& entry : cells) {
        JsonValue::Ptr item = IdentityJson(entry.first.calendar);
        item->SetMember(L"date", JsonValue::MakeString(DayText(entry.first.day)));
        item->SetMember(L"text", JsonValue::MakeString(entry.second.text));
        item->SetMember(L"bgcolor", JsonValue::MakeString(entry.second.bgColor));
        items.push_back(std::move(item));
    }
    const HRESULT hr = store_.Set(L"cells", JsonValue::MakeArray(std::move(items)));
    if (FAILED(hr)) return hr;
    cells_ = std::move(cells);
    return S_OK;
}

HRESULT DayContentService::_ReadPart(BSTR day, LONG calendarId, BSTR groupId, std::wstring DayCell::*part,
                                     BSTR* value) const
{
    if (!value) return E_POINTER;
    return Guarded([&] {
        CalendarDay parsed;
        if (!ParseDayText(BstrText(day), parsed)) return E_INVALIDARG;
        return OutText(Cell(parsed, CalendarIdentity{calendarId, BstrText(groupId)}).*part, value);
    });
}

HRESULT DayContentService::_WritePart(BSTR day, LONG calendarId, BSTR groupId, std::wstring DayCell::*part, BSTR value)
{
    return Guarded([&] {
        CalendarDay parsed;
        if (!ParseDayText(BstrText(day), parsed)) return E_INVALIDARG;
        const CalendarIdentity calendar{calendarId, BstrText(groupId)};
        std::lock_guard<std::mutex> guard(lock_);
        DayCell cell;
        const auto found = std::find_if(cells_.begin(), cells_.end(), [&](const Cells::value_type& entry) {
            return entry.first.day == parsed && entry.first.calendar == calendar;
        });
        if (found != cells_.end()) cell = found->second;
        cell.*part = BstrText(value);
        return _Change(parsed, calendar, cell);
    });
}

HRESULT DayContentService::GetDayText(BSTR day, LONG calendarId, BSTR groupId, BSTR* text) noexcept
{
    return _ReadPart(day, calendarId, groupId, &DayCell::text, text);
}

HRESULT DayContentService::SetDayText(BSTR day, LONG calendarId, BSTR groupId, BSTR text) noexcept
{
    return _WritePart(day, calendarId, groupId, &DayCell::text, text);
}

HRESULT DayContentService::GetDayBgColor(BSTR day, LONG calendarId, BSTR groupId, BSTR* color) noexcept
{
    return _ReadPart(day, calendarId, groupId, &DayCell::bgColor, color);
}

HRESULT DayContentService::SetDayBgColor(BSTR day, LONG calendarId, BSTR groupId, BSTR color) noexcept
{
    return _WritePart(day, calendarId, groupId, &DayCell::bgColor, color);
}

}  // namespace devhost
