#include "CalendarObjects.h"

#include "CallRecorder.h"
#include "UniqueBstr.h"

namespace devhost {

namespace {

const wchar_t kStrike[] = L"~~";
constexpr std::size_t kStrikeLength = 2;

HRESULT OutLong(LONG value, LONG* out)
{
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

HRESULT Keep(LONG& field, LONG value)
{
    field = value;
    return S_OK;
}

HRESULT KeepText(std::wstring& field, BSTR text)
{
    return Guarded([&] {
        field = BstrText(text);
        return S_OK;
    });
}

template <typename T>
HRESULT OutObject(const ComPtr<T>& held, T** out)
{
    if (!out) return E_POINTER;
    if (held) held->AddRef();
    *out = held.get();
    return S_OK;
}

void ReadTrigger(IxTrigger* trigger, TriggerValues& values)
{
    values = TriggerValues();
    trigger->GetDayOffset(&values.dayOffset);
    trigger->GetHour(&values.hour);
    trigger->GetMinute(&values.minute);
}

// Hands out the class's own interface I, as the host's create entry does.
template <typename T, typename I>
HRESULT CreateForHost(void** out, IUnknown* outer)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<T> made = T::Create();
    if (!made) return E_FAIL;
    *out = static_cast<I*>(made.detach());
    return S_OK;
}

}  // namespace

// ---- Date --------------------------------------------------------------------

ComPtr<DateObject> DateObject::Create() noexcept { return MakeComObject<DateObject>(); }

ComPtr<DateObject> DateObject::Create(const CalendarDay& day) noexcept
{
    ComPtr<DateObject> made = Create();
    if (made) {
        made->day_ = day;
        made->set_ = true;
    }
    return made;
}

HRESULT DateObject::SetFromText(BSTR day) noexcept
{
    return Guarded([&] {
        CalendarDay parsed;
        if (!ParseDayText(BstrText(day), parsed)) return E_INVALIDARG;
        day_ = parsed;
        set_ = true;
        return S_OK;
    });
}

HRESULT DateObject::Format(BSTR format, BSTR* text) noexcept
{
    if (!text) return E_POINTER;
    if (!set_) return E_UNEXPECTED;
    return Guarded([&] {
        const std::wstring pattern = BstrText(format);
        const std::wstring day = DayText(day_);  // YYYY-MM-DD
        std::wstring out;
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            const wchar_t c = pattern[i];
            const wchar_t next = i + 1 < pattern.size() ? pattern[i + 1] : L'\0';
            if (c != L'%' || (next != L'Y' && next != L'm' && next != L'd' && next != L'%')) {
                out.push_back(c);
                continue;
            }
            ++i;
            if (next == L'Y') out += day.substr(0, 4);
            else if (next == L'm') out += day.substr(5, 2);
            else if (next == L'd') out += day.substr(8, 2);
            else out.push_back(L'%');
        }
        return OutText(out, text);
    });
}

bool ReadDate(IxDate* date, CalendarDay& day)
{
    if (!date) return false;
    UniqueBstr text;
    date->Format(UniqueBstr(L"%Y-%m-%d").get(), text.put());
    return ParseDayText(text.str(), day);
}

// ---- Item line ---------------------------------------------------------------

ComPtr<ItemLineObject> ItemLineObject::Create() noexcept { return MakeComObject<ItemLineObject>(); }

std::wstring ItemLineObject::ComposeLine(const std::wstring& text, bool done)
{
    if (!done || text.empty()) return text;
    return kStrike + text + kStrike;
}

void ItemLineObject::ParseLine(const std::wstring& line, std::wstring& text, bool& done)
{
    done = line.size() > 2 * kStrikeLength && line.compare(0, kStrikeLength, kStrike) == 0 &&
           line.compare(line.size() - kStrikeLength, kStrikeLength, kStrike) == 0;
    text = done ? line.substr(kStrikeLength, line.size() - 2 * kStrikeLength) : line;
}

HRESULT ItemLineObject::SetLine(BSTR line) noexcept
{
    return Guarded([&] {
        ParseLine(BstrText(line), text_, done_);
        return S_OK;
    });
}

HRESULT ItemLineObject::SetPlainText(BSTR text) noexcept { return KeepText(text_, text); }

HRESULT ItemLineObject::GetPlainText(BSTR* text) noexcept
{
    return Guarded([&] { return OutText(text_, text); });
}

HRESULT ItemLineObject::SetDone(VARIANT_BOOL done) noexcept
{
    done_ = done == VARIANT_TRUE;
    return S_OK;
}

HRESULT ItemLineObject::GetDone(VARIANT_BOOL* done) noexcept
{
    if (!done) return E_POINTER;
    *done = done_ && !text_.empty() ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT ItemLineObject::GetLine(BSTR* line) noexcept
{
    return Guarded([&] { return OutText(ComposeLine(text_, done_), line); });
}

// ---- Trigger and trigger list -----------------------------------------------

ComPtr<TriggerObject> TriggerObject::Create(const TriggerValues& values) noexcept
{
    ComPtr<TriggerObject> made = MakeComObject<TriggerObject>();
    if (made) made->values_ = values;
    return made;
}

HRESULT TriggerObject::SetHour(LONG hour) noexcept
{
    if (hour < 0 || hour > 23) return E_INVALIDARG;
    values_.hour = hour;
    return S_OK;
}

HRESULT TriggerObject::GetHour(LONG* hour) noexcept { return OutLong(values_.hour, hour); }

HRESULT TriggerObject::SetMinute(LONG minute) noexcept
{
    if (minute < 0 || minute > 59) return E_INVALIDARG;
    values_.minute = minute;
    return S_OK;
}

HRESULT TriggerObject::GetMinute(LONG* minute) noexcept { return OutLong(values_.minute, minute); }

HRESULT TriggerObject::SetExtraInt(LONG value) noexcept { return Keep(extraInt_, value); }

HRESULT TriggerObject::SetDayOffset(LONG dayOffset) noexcept
{
    if (dayOffset > 0) return E_INVALIDARG;
    values_.dayOffset = dayOffset;
    return S_OK;
}

HRESULT TriggerObject::GetDayOffset(LONG* dayOffset) noexcept { return OutLong(values_.dayOffset, dayOffset); }

HRESULT TriggerObject::SetLastInt(LONG value) noexcept { return Keep(lastInt_, value); }

ComPtr<TriggerListObject> TriggerListObject::Create() noexcept { return MakeComObject<TriggerListObject>(); }

HRESULT TriggerListObject::GetCount(LONG* count) noexcept { return OutLong(static_cast<LONG>(items_.size()), count); }

HRESULT TriggerListObject::GetItem(LONG index, REFIID riid, void** item) noexcept
{
    if (!item) return E_POINTER;
    *item = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) return E_INVALIDARG;
    return items_[static_cast<std::size_t>(index)]->QueryInterface(riid, item);
}

HRESULT TriggerListObject::AddItem(REFIID riid, IUnknown* item) noexcept
{
    if (!item) return E_POINTER;
    return Guarded([&] {
        ComPtr<IUnknown> offered;
        const HRESULT hr = item->QueryInterface(riid, offered.put_void());
        if (FAILED(hr) || !offered) return E_NOINTERFACE;
        items_.push_back(std::move(offered));
        return S_OK;
    });
}

// ---- Reminder ----------------------------------------------------------------

ComPtr<ReminderObject> ReminderObject::Create() noexcept { return MakeComObject<ReminderObject>(); }

ComPtr<ReminderObject> ReminderObject::Create(const ReminderValues& values) noexcept
{
    ComPtr<ReminderObject> made = Create();
    ComPtr<TriggerListObject> list = TriggerListObject::Create();
    if (!made || !list) return nullptr;
    made->state_ = VARIANT_TRUE;
    made->carried_ = values.carried;
    if (values.hasPrimary) {
        ComPtr<TriggerObject> primary = TriggerObject::Create(values.primary);
        if (!primary) return nullptr;
        made->primary_ = ComPtr<IxTrigger>::Copy(primary.get());
    }
    for (const TriggerValues& listed : values.listed) {
        ComPtr<TriggerObject> trigger = TriggerObject::Create(listed);
        if (!trigger || FAILED(list->AddItem(IID_IxTrigger, trigger.get()))) return nullptr;
    }
    made->list_ = ComPtr<IxTriggerList>::Copy(list.get());
    return made;
}

HRESULT ReminderObject::SetState(VARIANT_BOOL state) noexcept
{
    state_ = state;
    return S_OK;
}

HRESULT ReminderObject::SetCarriedProperty(LONG value) noexcept { return Keep(carried_, value); }

HRESULT ReminderObject::GetCarriedProperty(LONG* value) noexcept { return OutLong(carried_, value); }

HRESULT ReminderObject::SetPrimaryTrigger(IxTrigger* trigger) noexcept
{
    primary_ = ComPtr<IxTrigger>::Copy(trigger);
    return S_OK;
}

HRESULT ReminderObject::GetPrimaryTrigger(IxTrigger** trigger) noexcept { return OutObject(primary_, trigger); }

HRESULT ReminderObject::SetTriggerList(IxTriggerList* list) noexcept
{
    list_ = ComPtr<IxTriggerList>::Copy(list);
    return S_OK;
}

HRESULT ReminderObject::GetTriggerList(IxTriggerList** list) noexcept { return OutObject(list_, list); }

bool ReadReminder(IUnknown* reminder, ReminderValues& values)
{
    values = ReminderValues();
    if (!reminder) return false;
    ComPtr<IxReminder> typed;
    if (FAILED(reminder->QueryInterface(IID_IxReminder, typed.put_void())) || !typed) return false;
    typed->GetCarriedProperty(&values.carried);
    ComPtr<IxTrigger> primary;
    typed->GetPrimaryTrigger(primary.put());
    if (primary) {
        values.hasPrimary = true;
        ReadTrigger(primary.get(), values.primary);
    }
    ComPtr<IxTriggerList> list;
    typed->GetTriggerList(list.put());
    LONG count = 0;
    if (list) list->GetCount(&count);
    for (LONG i = 0; i < count; ++i) {
        ComPtr<IxTrigger> listed;
        list->GetItem(i, IID_IxTrigger, listed.put_void());
        if (!listed) continue;
        values.listed.emplace_back();
        ReadTrigger(listed.get(), values.listed.back());
    }
    return true;
}

// ---- Event -------------------------------------------------------------------

ComPtr<EventObject> EventObject::Create() noexcept { return MakeComObject<EventObject>(); }

HRESULT EventObject::GetId(BSTR* id) noexcept
{
    return Guarded([&] { return OutText(id_, id); });
}

HRESULT EventObject::SetContent(IxItemLine* content) noexcept
{
    content_ = ComPtr<IxItemLine>::Copy(content);
    return S_OK;
}

HRESULT EventObject::GetContent(IxItemLine** content) noexcept { return OutObject(content_, content); }

HRESULT EventObject::GetRecurrence(BSTR* word) noexcept
{
    return Guarded([&] { return OutText(recurrence_, word); });
}

HRESULT EventObject::SetCalendarKind(BSTR kind) noexcept { return KeepText(calendarKind_, kind); }

HRESULT EventObject::SetExtraText(BSTR text) noexcept { return KeepText(extraText_, text); }

HRESULT EventObject::SetRepeatCount(LONG count) noexcept { return Keep(repeatCount_, count); }

HRESULT EventObject::GetRepeatCount(LONG* count) noexcept { return OutLong(repeatCount_, count); }

HRESULT EventObject::SetStartDate(IxDate* date) noexcept
{
    return Guarded([&] {
        CalendarDay day;
        if (!ReadDate(date, day)) return E_INVALIDARG;
        start_ = day;
        hasStart_ = true;
        return S_OK;
    });
}

HRESULT EventObject::SetCompleted(VARIANT_BOOL completed) noexcept
{
    completed_ = completed;
    return S_OK;
}

HRESULT EventObject::GetCompleted(VARIANT_BOOL* completed) noexcept
{
    if (!completed) return E_POINTER;
    *completed = completed_;
    return S_OK;
}

HRESULT EventObject::SetExtraInt(LONG value) noexcept { return Keep(extraInt_, value); }

HRESULT EventObject::SetReminder(IUnknown* reminder) noexcept
{
    reminder_ = ComPtr<IUnknown>::Copy(reminder);
    return S_OK;
}

HRESULT EventObject::GetReminder(IUnknown** reminder) noexcept { return OutObject(reminder_, reminder); }

HRESULT EventObject::SetOtherText(BSTR text) noexcept { return KeepText(otherText_, text); }

HRESULT EventObject::SetEventType(LONG type) noexcept { return Keep(type_, type); }

HRESULT EventObject::GetEventType(LONG* type) noexcept { return OutLong(type_, type); }

HRESULT EventObject::SetCountdownType(LONG type) noexcept { return Keep(countdownType_, type); }

HRESULT EventObject::GetCountdownType(LONG* type) noexcept { return OutLong(countdownType_, type); }

HRESULT EventObject::SetShowType(LONG type) noexcept { return Keep(showType_, type); }

HRESULT EventObject::GetShowType(LONG* type) noexcept { return OutLong(showType_, type); }

HRESULT EventObject::SetLastInt(LONG value) noexcept { return Keep(lastInt_, value); }

// ---- Event list --------------------------------------------------------------

ComPtr<EventListObject> EventListObject::Create(std::vector<ComPtr<EventObject>> events) noexcept
{
    return MakeComObject<EventListObject>(std::move(events));
}

HRESULT EventListObject::GetCount(LONG* count) noexcept { return OutLong(static_cast<LONG>(events_.size()), count); }

HRESULT EventListObject::GetItem(LONG index, REFIID riid, void** item) noexcept
{
    if (!item) return E_POINTER;
    *item = nullptr;
    if (index < 0 || static_cast<std::size_t>(index) >= events_.size()) return E_INVALIDARG;
    return events_[static_cast<std::size_t>(index)]->QueryInterface(riid, item);
}

// ---- Classes the host makes ---------------------------------------------------

const std::vector<HostClass>& CalendarHostClasses()
{
    static const std::vector<HostClass> classes = {
        {&CLSID_Date, &CreateForHost<DateObject, IxDate>},
        {&CLSID_ItemLine, &CreateForHost<ItemLineObject, IxItemLine>},
        {&CLSID_Event, &CreateForHost<EventObject, IxEvent>},
        {&CLSID_Reminder, &CreateForHost<ReminderObject, IxReminder>},
        {&CLSID_Trigger, &CreateForHost<TriggerObject, IxTrigger>},
        {&CLSID_TriggerList, &CreateForHost<TriggerListObject, IxTriggerList>},
    };
    return classes;
}

}  // namespace devhost
