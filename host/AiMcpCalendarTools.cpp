#include "AiMcpCalendarTools.h"

#include <cwchar>
#include <unordered_map>
#include <utility>
#include <vector>

#include "AiMcpCalendars.h"
#include "AiMcpDates.h"
#include "AiMcpEnvelope.h"
#include "AiMcpText.h"
#include "AiMcpToolDispatcher.h"
#include "HostAccess.h"

namespace {

const wchar_t kBadRange[] =
    L"\"start\" and \"end\" must be ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00";
const wchar_t kEndBeforeStart[] = L"\"end\" must not be earlier than \"start\"";
const wchar_t kBadKind[] = L"\"kind\" must be one of task, reminder, countdown or all";
const wchar_t kNoEventService[] = L"the calendar event service is not available";
const wchar_t kIdTooLong[] = L"the request \"id\" is too long to answer";
const wchar_t kMissingEventId[] = L"malformed request: \"params\" needs an \"id\" string";
const wchar_t kBadDate[] =
    L"\"date\" must be ISO 8601 with a time zone, for example 2026-08-20T00:00:00+08:00";
const wchar_t kNoSuchEvent[] = L"no local event with that id";
const wchar_t kNoOccurrence[] = L"no occurrence on that date";
const wchar_t kSemantics[] = L"[start, end) over whole local calendar days";

constexpr int kMaxRangeDays = 366;
constexpr std::size_t kTitleUnits = 200;

const wchar_t* Bool(bool value)
{
    return value ? L"true" : L"false";
}

// The instant as local time with the offset in force at it; the local time
// the parser gave is the fallback should the instant not be writable.
std::wstring InstantText(FileTime utc, const LocalDateTime& local)
{
    std::wstring text;
    if (FormatIsoInstant(utc, text)) return text;
    (void)FormatIsoLocal(local, text);  // "+00:00" when the zone cannot say
    return text;
}

// The local midnight that begins a day. A zone whose clocks skip midnight
// has no such local time; the platform then picks the offset.
std::wstring MidnightText(const LocalDay& day)
{
    std::wstring text;
    (void)FormatIsoLocal(day, text);  // "+00:00" when the zone cannot say
    return text;
}

bool ReadEventType(IxEvent* event, LONG& type)
{
    type = 0;
    event->GetEventType(&type);
    return EventKindName(type) != nullptr;
}

bool IsCompleted(IxEvent* event)
{
    VARIANT_BOOL completed = VARIANT_FALSE;
    event->GetCompleted(&completed);
    return completed == VARIANT_TRUE;
}

// Reads the event's id into id, reusing its storage.
void ReadEventId(IxEvent* event, std::wstring& id)
{
    id.clear();
    UniqueBstr text;
    event->GetId(text.put());
    if (text.get()) id.assign(text.get(), SysStringLen(text.get()));
}

std::wstring ReadEventId(IxEvent* event)
{
    std::wstring id;
    ReadEventId(event, id);
    return id;
}

// The fixed parts of the range result around the occurrences.
struct RangeResult {
    std::wstring start;  // the given instants as local ISO 8601 texts
    std::wstring end;
    int days = 0;
    std::wstring calendarId;  // the reported calendar's id text

    // The whole answer envelope (BuildOkAnswer) around the range result,
    // written into one string.
    std::wstring Answer(const std::wstring& id, int count, bool truncated, const std::wstring& events) const
    {
        std::wstring answer;
        answer.reserve(id.size() + events.size() + 320 + start.size() + end.size() + calendarId.size());
        BeginOkAnswer(answer, id);
        AppendTo(answer, count, truncated, events);
        EndOkAnswer(answer);
        return answer;
    }

    void AppendTo(std::wstring& result, int count, bool truncated, const std::wstring& events) const
    {
        result += L"{\"range\":{\"start\":";
        AppendQuotedJson(result, start.data(), start.size());
        result += L",\"end\":";
        AppendQuotedJson(result, end.data(), end.size());
        result += L",\"days\":";
        result += IntText(days);
        result += L",\"semantics\":";
        AppendQuotedJson(result, kSemantics, sizeof kSemantics / sizeof kSemantics[0] - 1);
        result += L"},\"calendar_id\":";
        AppendQuotedJson(result, calendarId.data(), calendarId.size());
        result += L",\"count\":";
        result += IntText(count);
        result += L",\"truncated\":";
        result += Bool(truncated);
        result += L",\"events\":[";
        result += events;
        result += L"]}";
    }
};

// What every occurrence of one day shares, quoted once per day, and the
// runs of occurrence JSON made of it alone, joined when the day's first
// occurrence is written.
struct DayTexts {
    std::wstring date;   // quoted "YYYY-MM-DD"
    std::wstring start;  // quoted local midnight of the day
    std::wstring end;    // quoted local midnight of the next day
    bool joined = false;      // afterId and afterTitle are this day's
    std::wstring afterId;     // from the calendar id up to the title
    std::wstring afterTitle;  // from "all_day" up to the completion

    // Writes the two runs of JSON from the day's texts and the quoted id
    // text of the reported calendar.
    void JoinRuns(const std::wstring& calendarId)
    {
        joined = true;
        afterId.assign(L",\"calendar_id\":");
        afterId += calendarId;
        afterId += L",\"date\":";
        afterId += date;
        afterId += L",\"title\":";
        afterTitle.assign(L",\"all_day\":true,\"start\":");
        afterTitle += start;
        afterTitle += L",\"end\":";
        afterTitle += end;
        afterTitle += L",\"completed\":";
    }
};

// Which events a query takes and how it reports them.
struct QueryFilter {
    LONG kind = 0;             // 0: all, else the one event type
    std::wstring keyword;      // lower-cased; empty: every title
    std::wstring calendarId;   // quoted id text of the reported calendar
};

// Writes the occurrence JSON of the events a query takes. Keeps what one
// occurrence needs from the next, so that once its buffers have grown an
// occurrence costs no allocation of its own: the texts read from the host
// and the occurrence itself are written into storage kept here, and the
// extras of an event (kind, recurrence, reminder, countdown) are read from
// the host once per query, not again on every day that lists the event;
// only its title and completion are read for each day. One writer per query.
class OccurrenceWriter {
public:
    explicit OccurrenceWriter(const QueryFilter& filter) : filter_(filter) {}

    // The occurrence JSON of one event on one day, or null when the query
    // does not take the event. Valid until the next call.
    const std::wstring* Write(IxEvent* event, DayTexts& day)
    {
        LONG type = 0;
        if (!ReadEventType(event, type)) return nullptr;
        if (filter_.kind != 0 && filter_.kind != type) return nullptr;
        ReadEventTitle(event, title_);
        if (title_.empty()) return nullptr;
        if (!filter_.keyword.empty()) {
            lowered_ = LowerText(std::move(lowered_.assign(title_)));
            if (lowered_.find(filter_.keyword) == std::wstring::npos) return nullptr;
        }

        // The host is asked in a fixed order: id, completion, then the extras.
        ReadEventId(event, id_);
        const bool completed = IsCompleted(event);
        const EventExtras& extras = ExtrasOf(event, type);
        if (!day.joined) day.JoinRuns(filter_.calendarId);

        std::wstring& out = occurrence_;
        out.assign(L"{\"id\":");
        AppendQuotedJson(out, id_.data(), id_.size());
        out += day.afterId;
        AppendQuotedJson(out, title_.data(), CutLength(title_.data(), title_.size(), kTitleUnits));
        out += day.afterTitle;
        out += Bool(completed);
        AppendEventExtras(out, extras, &day.date);
        out += L'}';
        return &out;
    }

private:
    // The extras read for this event id and kind earlier in the query, else
    // read now (and kept, unless the host gave the event no id to know it by).
    const EventExtras& ExtrasOf(IxEvent* event, LONG type)
    {
        if (id_.empty()) return unnamed_ = ReadEventExtras(event, type);
        const auto found = extras_.find(id_);
        if (found != extras_.end() && found->second.kind == type) return found->second;
        EventExtras& kept = extras_[id_];
        kept = ReadEventExtras(event, type);
        return kept;
    }

    const QueryFilter& filter_;
    std::wstring title_, lowered_, id_, occurrence_;
    std::unordered_map<std::wstring, EventExtras> extras_;  // by event id
    EventExtras unnamed_;
};

// The events the host lists for one day, in the given calendar or, when
// calendarGroup is null, in the current one. Null when the host lists none.
ComPtr<IxEventList> EventsOfDay(IxEventService* service, const std::wstring& dayText, LONG calendarNumber,
                                const UniqueBstr* calendarGroup)
{
    ComPtr<IxEventList> list;
    const UniqueBstr day(dayText);
    if (calendarGroup) {
        service->GetEventsOfDayInCalendar(day.get(), calendarNumber, calendarGroup->get(), list.put());
    } else {
        service->GetEventsOfDay(day.get(), list.put());
    }
    return list;
}

// Writes QuoteJson of the local midnight that begins the day into quoted.
void QuoteMidnight(AiMcpMidnightWriter& midnights, const LocalDay& day, std::wstring& scratch, std::wstring& quoted)
{
    (void)midnights.Write(day, scratch);  // "+00:00" when the zone cannot say
    quoted.clear();
    AppendQuotedJson(quoted, scratch.data(), scratch.size());
}

// Whether a calendar lists the event among the events of the day: the
// current calendar first, then every listed one.
bool OccursOn(IxEventService* service, const std::wstring& eventId, const std::wstring& dayText)
{
    const auto listsIt = [&](IxEventList* list) {
        LONG count = 0;
        if (list) list->GetCount(&count);
        for (LONG i = 0; i < count; ++i) {
            ComPtr<IxEvent> event;
            list->GetItem(i, IID_IxEvent, event.put_void());
            if (event && ReadEventId(event.get()) == eventId) return true;
        }
        return false;
    };
    if (listsIt(EventsOfDay(service, dayText, 0, nullptr).get())) return true;
    const CalendarListing listing = ListCalendars();
    for (const CalendarEntry& entry : listing.entries) {
        const UniqueBstr group(entry.groupId);
        if (listsIt(EventsOfDay(service, dayText, entry.id, &group).get())) return true;
    }
    return false;
}

// The number of local days the range [start, end) touches; 0 for an empty
// range. An end at local midnight does not touch the day it begins.
bool CountRangeDays(const LocalDateTime& start, FileTime startUtc, const LocalDateTime& end, FileTime endUtc,
                    FileTime& firstStamp, int& days)
{
    FileTime lastStamp = 0;
    if (!DayStamp(start, firstStamp) || !DayStamp(end, lastStamp)) return false;
    if (endUtc == startUtc) {
        days = 0;
        return true;
    }
    if (end.wHour == 0 && end.wMinute == 0 && end.wSecond == 0 && end.wMilliseconds == 0) lastStamp -= kFileTimeDay;
    // Where the clocks fall back across midnight the last day can come out
    // one before the first; the division then truncates to one day, the
    // first, which is where the whole range lies.
    const FileTime spanDays = (lastStamp - firstStamp + kFileTimeHalfDay) / kFileTimeDay + 1;
    days = spanDays > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(spanDays);
    return true;
}

}  // namespace

bool AiMcpOccurrenceCollector::Offer(const std::wstring& occurrence)
{
    if (truncated_) return false;
    const std::size_t length = Utf8Length(occurrence);
    if (count_ >= kMaxOccurrences || total_ + 1 + length > budget_) {
        truncated_ = true;
        return false;
    }
    if (count_ > 0) events_ += L',';
    events_ += occurrence;
    ++count_;
    total_ += length + 1;
    return true;
}

std::wstring AiMcpCalendarList(const std::wstring& id)
{
    const CalendarListing listing = ListCalendars();
    std::wstring currentText = IntText(listing.currentId);
    std::wstring calendars;
    for (const CalendarEntry& entry : listing.entries) {
        const std::wstring idText = CalendarIdText(listing.entries, entry);
        const bool current = listing.IsCurrent(entry);
        if (current) currentText = idText;
        if (!calendars.empty()) calendars += L',';
        calendars += L"{\"id\":" + QuoteJson(idText) + L",\"name\":" + QuoteJson(entry.name) +
                     L",\"current\":" + Bool(current) + L"}";
    }
    return BuildOkAnswer(id, L"{\"calendars\":[" + calendars + L"],\"current_calendar_id\":" +
                                 QuoteJson(currentText) + L"}");
}

std::wstring AiMcpEventsQuery(const std::wstring& id, const std::wstring& params)
{
    const AiMcpParams args(params);
    std::wstring startText, endText;
    LocalDateTime startLocal{}, endLocal{};
    FileTime startUtc = 0, endUtc = 0;
    if (!args.GetString(L"start", startText) || !args.GetString(L"end", endText) ||
        !ParseIsoInstant(startText, startLocal, &startUtc) || !ParseIsoInstant(endText, endLocal, &endUtc)) {
        return BuildErrorAnswer(id, kInvalidTime, kBadRange);
    }
    if (endUtc < startUtc) return BuildErrorAnswer(id, kInvalidTime, kEndBeforeStart);

    RangeResult range;
    FileTime firstStamp = 0;
    if (!CountRangeDays(startLocal, startUtc, endLocal, endUtc, firstStamp, range.days))
        return BuildErrorAnswer(id, kInvalidTime, kBadRange);
    if (range.days > kMaxRangeDays) {
        wchar_t message[96];
        std::swprintf(message, sizeof message / sizeof message[0], L"the range covers %d days, at most %d are allowed",
                      range.days, kMaxRangeDays);
        return BuildErrorAnswer(id, kInvalidTime, message);
    }

    std::wstring calendarParam;
    args.GetString(L"calendar_id", calendarParam);
    const bool byCalendar = !calendarParam.empty();
    LONG calendarNumber = 0;
    std::wstring calendarGroup;
    if (byCalendar && !FindCalendar(calendarParam, calendarNumber, calendarGroup))
        return BuildErrorAnswer(id, kNotFound, L"no calendar with id " + calendarParam);

    QueryFilter filter;
    args.GetString(L"keyword", filter.keyword);
    filter.keyword = LowerText(filter.keyword);
    std::wstring kind;
    args.GetString(L"kind", kind);
    if (!kind.empty() && kind != L"all") {
        if (kind == L"task") filter.kind = kEventTypeTask;
        else if (kind == L"reminder") filter.kind = kEventTypeReminder;
        else if (kind == L"countdown") filter.kind = kEventTypeCountdown;
        else return BuildErrorAnswer(id, kInvalidParams, kBadKind);
    }

    const ComPtr<IxEventService> service = GetHostService<IxEventService>(SID_EventService);
    if (!service) return BuildErrorAnswer(id, kInternal, kNoEventService);

    // The reported calendar: the one asked for, else the current one, named
    // as the calendar list names it.
    const CalendarListing listing = ListCalendars();
    if (!byCalendar) {
        calendarNumber = listing.currentId;
        calendarGroup = listing.currentGroupId;
    }
    range.calendarId = IntText(calendarNumber);
    for (const CalendarEntry& entry : listing.entries) {
        if (entry.id == calendarNumber && entry.groupId == calendarGroup) {
            range.calendarId = CalendarIdText(listing.entries, entry);
            break;
        }
    }
    filter.calendarId = QuoteJson(range.calendarId);

    LocalDay day{};
    if (!DayFromFileTime(firstStamp, day)) return BuildErrorAnswer(id, kInvalidTime, kBadRange);

    range.start = InstantText(startUtc, startLocal);
    range.end = InstantText(endUtc, endLocal);
    // The answer without occurrences, at its longest (three-digit count,
    // "false"), leaves what the occurrences may take.
    const std::size_t emptyLength = Utf8Length(range.Answer(id, AiMcpOccurrenceCollector::kMaxOccurrences, false, L""));
    if (emptyLength >= kAiMcpAnswerBudget) return BuildErrorAnswer(id, kInvalidParams, kIdTooLong);
    AiMcpOccurrenceCollector collector(kAiMcpAnswerBudget - emptyLength);

    // The group is handed to the host for every day: made once.
    const UniqueBstr group(calendarGroup);
    OccurrenceWriter writer(filter);
    AiMcpMidnightWriter midnights;
    DayTexts texts;
    std::wstring scratch;
    for (int walked = 0; walked < range.days && !collector.truncated(); ++walked) {
        LocalDay next{};
        if (!NextDay(day, next)) break;
        const std::wstring dayText = FormatDay(day);
        texts.date.clear();
        AppendQuotedJson(texts.date, dayText.data(), dayText.size());
        // Each day begins where the one before ended.
        if (walked == 0) QuoteMidnight(midnights, day, scratch, texts.start);
        else texts.start.swap(texts.end);
        QuoteMidnight(midnights, next, scratch, texts.end);
        texts.joined = false;

        const ComPtr<IxEventList> list =
            EventsOfDay(service.get(), dayText, calendarNumber, byCalendar ? &group : nullptr);
        LONG count = 0;
        if (list) list->GetCount(&count);
        for (LONG i = 0; i < count; ++i) {
            ComPtr<IxEvent> event;
            list->GetItem(i, IID_IxEvent, event.put_void());
            if (!event) continue;
            const std::wstring* occurrence = writer.Write(event.get(), texts);
            if (!occurrence) continue;
            if (!collector.Offer(*occurrence)) break;
        }
        day = next;
    }
    return range.Answer(id, collector.count(), collector.truncated(), collector.events());
}

std::wstring AiMcpEventGet(const std::wstring& id, const std::wstring& params)
{
    std::wstring eventId;
    if (!GetStringParam(params, L"id", eventId) || eventId.empty())
        return BuildErrorAnswer(id, kInvalidParams, kMissingEventId);

    std::wstring dateText;
    GetStringParam(params, L"date", dateText);
    const bool dated = !dateText.empty();
    LocalDateTime dateLocal{};
    FileTime dateUtc = 0;
    ComPtr<IxDate> date;
    if (dated) {
        if (!ParseIsoInstant(dateText, dateLocal, &dateUtc)) return BuildErrorAnswer(id, kInvalidTime, kBadDate);
        // Without a date object the event is still read, as of no occurrence.
        CreateInstanceFromClassFactory(CLSID_Date, date.put_void(), nullptr);
        if (date) {
            const UniqueBstr dayText(FormatDay(dateLocal));
            date->SetFromText(dayText.get());
        }
    }

    const ComPtr<IxEventService> service = GetHostService<IxEventService>(SID_EventService);
    if (!service) return BuildErrorAnswer(id, kInternal, kNoEventService);

    ComPtr<IxEvent> event;
    const UniqueBstr idText(eventId);
    const HRESULT hr = service->GetEventById(idText.get(), date.get(), event.put());
    if (hr != S_OK || !event) return BuildErrorAnswer(id, kNotFound, kNoSuchEvent);
    LONG type = 0;
    if (!ReadEventType(event.get(), type)) return BuildErrorAnswer(id, kNotFound, kNoSuchEvent);

    LocalDay day{};
    day.wYear = dateLocal.wYear;
    day.wMonth = dateLocal.wMonth;
    day.wDay = dateLocal.wDay;
    // The host hands out the event for any date; only a day on which one of
    // the calendars lists it has an occurrence to describe.
    if (dated && !OccursOn(service.get(), eventId, FormatDay(day)))
        return BuildErrorAnswer(id, kNotFound, kNoOccurrence);
    const std::wstring title = ReadEventTitle(event.get());
    const std::wstring extras = EventExtrasJson(event.get(), type, dated ? &day : nullptr);
    std::wstring json = L"{\"id\":" + QuoteJson(eventId) + L",\"title\":" + QuoteJson(CutText(title, kTitleUnits)) +
                        L",\"all_day\":true,\"event_type\":" + IntText(type) + extras;
    if (dated) {
        const bool completed = IsCompleted(event.get());
        LocalDay next{};
        if (NextDay(day, next)) {
            json += L",\"date\":" + QuoteJson(FormatDay(day)) + L",\"start\":" +
                    QuoteJson(InstantText(dateUtc, dateLocal)) + L",\"end\":" + QuoteJson(MidnightText(next)) +
                    L",\"completed\":" + Bool(completed);
        }
    }
    json += L"}";
    return BuildOkAnswer(id, L"{\"event\":" + json + L"}");
}
