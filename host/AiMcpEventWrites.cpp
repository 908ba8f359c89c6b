#include "AiMcpEventWrites.h"

#include <cstdint>
#include <memory>
#include <utility>

#include "AiMcpAuditLog.h"
#include "AiMcpCalendars.h"
#include "AiMcpDates.h"
#include "AiMcpEnvelope.h"
#include "AiMcpQuota.h"
#include "AiMcpText.h"
#include "AiMcpWriteChecks.h"
#include "AiMcpWritePath.h"
#include "HostAccess.h"
#include "JsonValue.h"

namespace {

const wchar_t kNoEventService[] = L"the calendar event service is not available";
const wchar_t kBadDate[] = L"\"date\" must be ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00";
const wchar_t kDateRange[] = L"date must be between 1970-01-01 and 2099-12-31 (local)";
const wchar_t kBadRecurrence[] = L"\"recurrence\" must be none, daily, weekly, monthly, yearly or workday";
const wchar_t kBadTrigger[] = L"\"reminder.trigger\" must be HH:MM or day:HH:MM";
const wchar_t kCountdownRange[] = L"countdown type or show type is out of range";
const wchar_t kNeedsTitle[] = L"malformed request: \"params\" needs a non-empty \"title\"";
const wchar_t kBadKind[] = L"\"kind\" must be task, reminder or countdown";
const wchar_t kReminderNeedsTrigger[] = L"a reminder needs \"reminder.trigger\"";
const wchar_t kNothingToChange[] = L"malformed request: \"params\" names no field to change";
const wchar_t kNeedsId[] = L"malformed request: \"params\" needs an \"id\" string";
const wchar_t kNoSuchEvent[] = L"no local event with that id";
const wchar_t kKindChange[] = L"event_update cannot change an event's kind";
const wchar_t kNoStartDate[] = L"the event has no readable start date";
const wchar_t kEmptyTitle[] = L"\"title\" must not be empty";
const wchar_t kTaskExtras[] = L"task events cannot have reminder.trigger or countdown fields";
const wchar_t kReminderExtras[] = L"reminder events cannot have countdown fields";
const wchar_t kCountdownExtras[] = L"countdown events cannot have reminder.trigger";
const wchar_t kNoDateObject[] = L"the calendar could not create a date object";
const wchar_t kNoEventObject[] = L"the calendar could not create an event object";
const wchar_t kUnmappedRecurrence[] = L"invalid recurrence";
const wchar_t kUnparsedTrigger[] = L"invalid reminder trigger";
const wchar_t kNoReminder[] = L"the calendar could not create a reminder";
const wchar_t kNotStored[] = L"the calendar did not store the event";
const wchar_t kUpdateFailed[] = L"the calendar did not store the change to the event";
const wchar_t kDeleteFailed[] = L"the calendar did not delete the event";

const wchar_t kDayFormat[] = L"%Y-%m-%d";
const wchar_t kSolarCalendar[] = L"solar";

constexpr std::int32_t kDefaultShowType = 2;

// ---- Reading the request ---------------------------------------------------

// Everything the checks look at, read once from the params.
struct EventRequest {
    std::wstring title;
    bool hasTitle = false;
    std::wstring dateText;
    bool hasDate = false;
    LocalDateTime date{};
    std::wstring kind;
    bool hasKind = false;  // present and not blank
    std::wstring recurrence;
    bool hasRecurrence = false;
    std::wstring trigger;        // normalised, or empty
    bool triggerMember = false;  // "reminder.trigger" present
    bool countdownTypeGiven = false, showTypeGiven = false;
    std::int32_t countdownType = 0;
    std::int32_t showType = kDefaultShowType;
    bool countdownMember = false;  // either countdown field present
    std::wstring calendarId;

    bool HasTrigger() const { return triggerMember || !trigger.empty(); }
};

bool KindType(const std::wstring& kind, LONG& type)
{
    if (kind == L"task") type = kEventTypeTask;
    else if (kind == L"reminder") type = kEventTypeReminder;
    else if (kind == L"countdown") type = kEventTypeCountdown;
    else return false;
    return true;
}

bool IsToolRecurrence(const std::wstring& word)
{
    LONG code = 0;
    return ToolRecurrenceCode(word, code);
}

// The kind rule of an event type: which extras it may carry.
const wchar_t* KindConflict(LONG type, const EventRequest& request)
{
    switch (type) {
    case kEventTypeTask:
        return request.HasTrigger() || request.countdownMember ? kTaskExtras : nullptr;
    case kEventTypeReminder:
        return request.countdownMember ? kReminderExtras : nullptr;
    case kEventTypeCountdown:
        return request.HasTrigger() ? kCountdownExtras : nullptr;
    default:
        return nullptr;
    }
}

// The checks every event write shares, in their order: title, date, kind,
// recurrence, trigger, countdown.
bool ReadEventRequest(const std::wstring& params, EventRequest& request, std::wstring& code, std::wstring& message)
{
    request.hasTitle = GetStringParam(params, L"title", request.title);
    request.title = TrimSpace(request.title);

    request.hasDate = GetStringParam(params, L"date", request.dateText);
    if (request.hasDate) {
        if (!ParseIsoInstant(request.dateText, request.date)) return RefuseWrite(code, message, kInvalidTime, kBadDate);
        if (!IsSupportedDay(request.date)) return RefuseWrite(code, message, kInvalidTime, kDateRange);
    }

    GetStringParam(params, L"kind", request.kind);
    request.kind = LowerText(TrimSpace(request.kind));
    request.hasKind = !request.kind.empty();

    request.hasRecurrence = GetStringParam(params, L"recurrence", request.recurrence);
    request.recurrence = LowerText(TrimSpace(request.recurrence));
    if (request.hasRecurrence && !IsToolRecurrence(request.recurrence))
        return RefuseWrite(code, message, kInvalidParams, kBadRecurrence);

    const std::unique_ptr<JsonValue> root = JsonValue::Parse(params);
    const JsonValue* reminder = root ? root->GetMember(L"reminder") : nullptr;
    request.triggerMember = IsPresentMember(reminder, L"trigger");
    const JsonValue* trigger = reminder ? reminder->GetMember(L"trigger") : nullptr;
    if (!trigger || !trigger->IsString()) trigger = root ? root->GetMember(L"trigger") : nullptr;
    if (trigger && trigger->IsString()) {
        const std::wstring text = TrimSpace(trigger->StringValue());
        if (!text.empty()) {
            ReminderTrigger parsed;
            if (!ParseTrigger(text, parsed)) return RefuseWrite(code, message, kInvalidParams, kBadTrigger);
            request.trigger = TriggerText(parsed.dayOffset, parsed.hour, parsed.minute);
        }
    }

    const JsonValue* countdown = root ? root->GetMember(L"countdown") : nullptr;
    request.countdownMember = IsPresentMember(countdown, L"countdown_type") || IsPresentMember(countdown, L"show_type");
    if (!ReadCountdownField(countdown, L"countdown_type", 5, request.countdownTypeGiven, request.countdownType) ||
        !ReadCountdownField(countdown, L"show_type", 3, request.showTypeGiven, request.showType))
        return RefuseWrite(code, message, kInvalidParams, kCountdownRange);

    GetStringParam(params, L"calendar_id", request.calendarId);
    return true;
}

// The current calendar's id text as calendar_list names it; the decimal
// number when the current calendar is not listed.
std::wstring CurrentCalendarText(const CalendarListing& listing)
{
    for (const CalendarEntry& entry : listing.entries)
        if (listing.IsCurrent(entry)) return CalendarIdText(listing.entries, entry);
    return IntText(listing.currentId);
}

bool ValidateCreate(const EventRequest& request, PendingEventFields& event, std::wstring& code, std::wstring& message)
{
    if (request.title.empty()) return RefuseWrite(code, message, kInvalidParams, kNeedsTitle);
    if (!request.hasDate) return RefuseWrite(code, message, kInvalidTime, kBadDate);
    if (!request.calendarId.empty()) {
        const CalendarListing listing = ListCalendars();
        LONG id = 0;
        std::wstring group;
        if (!FindCalendar(request.calendarId, id, group) || id != listing.currentId || group != listing.currentGroupId) {
            code = kInvalidParams;
            message = L"new events always go to the current calendar " + CurrentCalendarText(listing) +
                      L"; switch calendars in the app first";
            return false;
        }
    }
    event.titleGiven = true;
    event.dateGiven = true;
    event.title = request.title;
    event.date = FormatDay(request.date);
    if (!KindType(request.hasKind ? request.kind : L"task", event.eventType))
        return RefuseWrite(code, message, kInvalidParams, kBadKind);
    if (const wchar_t* conflict = KindConflict(event.eventType, request))
        return RefuseWrite(code, message, kInvalidParams, conflict);
    if (event.eventType == kEventTypeReminder && request.trigger.empty())
        return RefuseWrite(code, message, kInvalidParams, kReminderNeedsTrigger);
    event.recurrence = request.hasRecurrence ? request.recurrence : L"none";
    event.trigger = request.trigger;
    event.countdownType = request.countdownType;
    event.showType = request.showType;
    return true;
}

// The event by id, as of no particular occurrence, when it is a local event
// of one of the three kinds.
ComPtr<IxEvent> FindLocalEvent(IxEventService* service, const std::wstring& eventId, LONG& type)
{
    ComPtr<IxEvent> event;
    const UniqueBstr id(eventId);
    if (service->GetEventById(id.get(), nullptr, event.put()) != S_OK || !event) return ComPtr<IxEvent>();
    type = 0;
    event->GetEventType(&type);
    if (!EventKindName(type)) return ComPtr<IxEvent>();
    return event;
}

// The event's start date as "YYYY-MM-DD" text as the host formats it; false
// when it has none.
bool ReadStartDate(IxEventService* service, const std::wstring& eventId, std::wstring& day)
{
    ComPtr<IxDate> date;
    const UniqueBstr id(eventId);
    service->GetEventStartDate(id.get(), date.put());
    if (!date) return false;
    const UniqueBstr format(kDayFormat);
    UniqueBstr text;
    date->Format(format.get(), text.put());
    day = text.str();
    return true;
}

bool ValidateChange(AiMcpWriteKind kind, IxEventService* service, const std::wstring& params,
                    const EventRequest& request, PendingEventFields& event, std::wstring& code, std::wstring& message)
{
    const bool update = kind == AiMcpWriteKind::EventUpdate;
    if (update && !request.hasTitle && !request.hasDate && !request.hasRecurrence && request.trigger.empty() &&
        !request.countdownTypeGiven && !request.showTypeGiven)
        return RefuseWrite(code, message, kInvalidParams, kNothingToChange);

    std::wstring eventId;
    if (!GetStringParam(params, L"id", eventId) || eventId.empty()) return RefuseWrite(code, message, kInvalidParams, kNeedsId);
    // Kept from here on, so a refusal is audited under the id it asked for.
    event.eventId = eventId;
    LONG type = 0;
    const ComPtr<IxEvent> current = FindLocalEvent(service, eventId, type);
    if (!current) return RefuseWrite(code, message, kNotFound, kNoSuchEvent);

    if (request.hasKind) {
        LONG asked = 0;
        if (!KindType(request.kind, asked)) return RefuseWrite(code, message, kInvalidParams, kBadKind);
        if (asked != type) return RefuseWrite(code, message, kInvalidParams, kKindChange);
    }
    if (const wchar_t* conflict = KindConflict(type, request)) return RefuseWrite(code, message, kInvalidParams, conflict);

    event.eventType = type;
    event.titleGiven = request.hasTitle;
    event.dateGiven = request.hasDate;
    event.title = request.hasTitle ? request.title : ReadEventTitle(current.get());
    event.recurrence = request.hasRecurrence ? request.recurrence : std::wstring();
    event.trigger = request.trigger;
    LONG countdownType = 0, showType = 0;
    current->GetCountdownType(&countdownType);
    current->GetShowType(&showType);
    event.countdownType = request.countdownTypeGiven ? request.countdownType : countdownType;
    event.showType = request.showTypeGiven ? request.showType : showType;

    if (request.hasDate) {
        event.date = FormatDay(request.date);
    } else if (!ReadStartDate(service, eventId, event.date)) {
        return RefuseWrite(code, message, kInternal, kNoStartDate);
    }
    LocalDay day{};
    if (!ParseDayTextValid(event.date, day)) return RefuseWrite(code, message, kInvalidTime, kBadDate);
    if (!IsSupportedDay(day)) return RefuseWrite(code, message, kInvalidTime, kDateRange);
    if (update && event.title.empty()) return RefuseWrite(code, message, kInvalidParams, kEmptyTitle);
    return true;
}

// ---- Carrying out ----------------------------------------------------------

template <typename T>
ComPtr<T> MakeHostObject(const GUID& classId)
{
    ComPtr<T> object;
    CreateInstanceFromClassFactory(classId, object.put_void(), nullptr);
    return object;
}

ComPtr<IxTrigger> MakeTrigger(LONG dayOffset, LONG hour, LONG minute, bool listed)
{
    ComPtr<IxTrigger> trigger = MakeHostObject<IxTrigger>(CLSID_Trigger);
    if (!trigger) return trigger;
    trigger->SetHour(hour);
    trigger->SetMinute(minute);
    trigger->SetExtraInt(0);
    trigger->SetDayOffset(dayOffset);
    if (listed) trigger->SetLastInt(0);
    return trigger;
}

// A reminder object's carried property, when the event has a reminder.
bool ReadCarriedProperty(IxEvent* event, LONG& value)
{
    ComPtr<IUnknown> plain;
    event->GetReminder(plain.put());
    const ComPtr<IxReminder> reminder = plain.As<IxReminder>(IID_IxReminder);
    if (!reminder) return false;
    value = 0;
    reminder->GetCarriedProperty(&value);
    return true;
}

}  // namespace

ComPtr<IxReminder> MakeReminder(const ReminderTrigger& trigger)
{
    const ComPtr<IxTrigger> primary = MakeTrigger(0, trigger.hour, trigger.minute, false);
    const ComPtr<IxTrigger> listed = MakeTrigger(trigger.dayOffset, trigger.hour, trigger.minute, true);
    ComPtr<IxReminder> reminder = MakeHostObject<IxReminder>(CLSID_Reminder);
    const ComPtr<IxTriggerList> list = MakeHostObject<IxTriggerList>(CLSID_TriggerList);
    if (!primary || !listed || !reminder || !list) return ComPtr<IxReminder>();
    list->AddItem(IID_IxTrigger, listed.get());
    reminder->SetPrimaryTrigger(primary.get());
    reminder->SetTriggerList(list.get());
    reminder->SetState(VARIANT_TRUE);
    return reminder;
}

bool ValidateEventWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write, std::wstring& code,
                        std::wstring& message)
{
    if (kind != AiMcpWriteKind::EventCreate && kind != AiMcpWriteKind::EventUpdate &&
        kind != AiMcpWriteKind::EventDelete)
        return RefuseWrite(code, message, kInternal, L"not an event write");
    const ComPtr<IxEventService> service = GetHostService<IxEventService>(SID_EventService);
    if (!service) return RefuseWrite(code, message, kInternal, kNoEventService);
    write.kind = kind;

    EventRequest request;
    if (!ReadEventRequest(params, request, code, message)) return false;
    if (kind == AiMcpWriteKind::EventCreate) return ValidateCreate(request, write.event, code, message);
    return ValidateChange(kind, service.get(), params, request, write.event, code, message);
}

std::wstring ExecuteEventWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted)
{
    const PendingEventFields& record = write.event;
    std::wstring eventId = record.eventId;
    const auto fail = [&](const wchar_t* code, const wchar_t* message) {
        return FailWithAudit(write.kind, requestId, eventId, trusted ? 1 : 0, code, message);
    };

    const ComPtr<IxEventService> service = GetHostService<IxEventService>(SID_EventService);
    if (!service) return fail(kInternal, kNoEventService);
    const ComPtr<IxDate> date = MakeHostObject<IxDate>(CLSID_Date);
    if (!date) return fail(kInternal, kNoDateObject);
    {
        const UniqueBstr day(record.date);
        date->SetFromText(day.get());
    }

    if (write.kind == AiMcpWriteKind::EventCreate) {
        const ComPtr<IxItemLine> content = MakeHostObject<IxItemLine>(CLSID_ItemLine);
        const ComPtr<IxEvent> event = MakeHostObject<IxEvent>(CLSID_Event);
        if (!content || !event) return fail(kInternal, kNoEventObject);
        UniqueBstr line;
        {
            const UniqueBstr title(record.title);
            content->SetPlainText(title.get());
            content->GetLine(line.put());
        }
        LONG recurrence = 0;
        if (!ToolRecurrenceCode(record.recurrence, recurrence)) return fail(kInvalidParams, kUnmappedRecurrence);

        const UniqueBstr solar(kSolarCalendar), empty(L"");
        event->SetContent(content.get());
        event->SetCalendarKind(solar.get());
        event->SetRepeatCount(record.recurrence == L"none" ? 1 : -1);
        event->SetExtraText(empty.get());
        event->SetStartDate(date.get());
        event->SetCompleted(VARIANT_FALSE);
        event->SetExtraInt(0);
        event->SetLastInt(0);
        event->SetOtherText(empty.get());
        event->SetEventType(record.eventType);
        event->SetCountdownType(record.countdownType);
        event->SetShowType(record.showType);
        if (record.eventType == kEventTypeReminder) {
            ReminderTrigger trigger;
            if (!ParseTrigger(record.trigger, trigger)) return fail(kInvalidParams, kUnparsedTrigger);
            const ComPtr<IxReminder> reminder = MakeReminder(trigger);
            if (!reminder) return fail(kInternal, kNoReminder);
            event->SetReminder(reminder.get());
        }

        UniqueBstr newId;
        service->AddEvent(line.get(), date.get(), recurrence, event.get(), newId.put());
        eventId = newId.str();
        if (eventId.empty()) return fail(kInternal, kNotStored);
    } else {
        LONG type = 0;
        const ComPtr<IxEvent> event = FindLocalEvent(service.get(), record.eventId, type);
        if (!event) return fail(kNotFound, kNoSuchEvent);
        const UniqueBstr id(record.eventId);

        if (write.kind == AiMcpWriteKind::EventDelete) {
            if (FAILED(service->DeleteEvent(id.get()))) return fail(kInternal, kDeleteFailed);
        } else {
            if (!record.dateGiven) {
                std::wstring start;
                if (!ReadStartDate(service.get(), record.eventId, start)) return fail(kInternal, kNoStartDate);
                const UniqueBstr day(start);
                date->SetFromText(day.get());
            }
            ComPtr<IxItemLine> content;
            event->GetContent(content.put());
            if (!content) {
                content = MakeHostObject<IxItemLine>(CLSID_ItemLine);
                if (!content) return fail(kInternal, kNoEventObject);
                event->SetContent(content.get());
            }
            if (record.titleGiven) {
                const UniqueBstr title(record.title);
                content->SetPlainText(title.get());
            }
            UniqueBstr line;
            content->GetLine(line.put());

            // Without a new recurrence the event keeps its own, custom ones
            // included, by the code of its host word.
            UniqueBstr hostWord;
            event->GetRecurrence(hostWord.put());
            LONG recurrence = HostRecurrenceCode(hostWord.str());
            if (!record.recurrence.empty()) {
                if (!ToolRecurrenceCode(record.recurrence, recurrence)) return fail(kInvalidParams, kUnmappedRecurrence);
                const UniqueBstr empty(L"");
                event->SetRepeatCount(record.recurrence == L"none" ? 1 : -1);
                event->SetExtraText(empty.get());
            }
            if (type == kEventTypeCountdown) {
                event->SetCountdownType(record.countdownType);
                event->SetShowType(record.showType);
            }
            if (type == kEventTypeReminder && !record.trigger.empty()) {
                ReminderTrigger trigger;
                if (!ParseTrigger(record.trigger, trigger)) return fail(kInvalidParams, kUnparsedTrigger);
                const ComPtr<IxReminder> reminder = MakeReminder(trigger);
                if (!reminder) return fail(kInternal, kNoReminder);
                LONG carried = 0;
                if (ReadCarriedProperty(event.get(), carried)) reminder->SetCarriedProperty(carried);
                event->SetReminder(reminder.get());
            }
            if (FAILED(service->UpdateEvent(id.get(), line.get(), date.get(), recurrence, event.get())))
                return fail(kInternal, kUpdateFailed);
        }
    }

    if (const auto application = GetHostService<IxApplicationService>(SID_ApplicationService)) {
        application->Refresh();
        application->NotifyChange(kAppChangeEvents);
    }
    AiMcpAuditLog::Append(AiMcpWriteKindName(write.kind), eventId, trusted ? 1 : 0, 1, record.title);
    CountWrite(AiMcpQuotaKind::Events);
    return BuildOkAnswer(requestId, L"{\"status\":\"ok\",\"id\":" + QuoteJson(eventId) + L"}");
}
