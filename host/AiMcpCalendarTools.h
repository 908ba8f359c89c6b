// The three read tools of the calendar's own data: calendar_list (the local
// calendars and which one is current), events_query (the occurrences of
// events over a range of whole local days) and event_get (one event,
// optionally one occurrence of it). Handlers in the dispatcher's sense: main
// thread only, one answer envelope each, nothing kept between calls.
#pragma once

#include <cstddef>
#include <string>

// {"calendars":[{"id":..,"name":..,"current":..},...],"current_calendar_id":..}
std::wstring AiMcpCalendarList(const std::wstring& id);

// params: "start", "end" (ISO 8601 instants with a zone), optional
// "calendar_id", "keyword" and "kind". At most 366 local days, 500
// occurrences and the answer budget; what does not fit sets "truncated".
std::wstring AiMcpEventsQuery(const std::wstring& id, const std::wstring& params);

// params: "id", optional "date" (an ISO 8601 instant naming the occurrence).
std::wstring AiMcpEventGet(const std::wstring& id, const std::wstring& params);

// The occurrences of one events_query answer, taken while they fit: at most
// kMaxOccurrences, and each only while the total so far plus one separator
// plus its own UTF-8 length stays within the budget (what the answer leaves
// after its fixed parts). The first one that cannot be taken cuts the
// result; nothing is taken after it. Each occurrence is measured once, so
// collecting stays linear in the size of the answer.
class AiMcpOccurrenceCollector {
public:
    static constexpr int kMaxOccurrences = 500;

    // Room for the most the budget lets in (every unit takes at least one
    // byte), so the occurrences are never moved as they are appended.
    explicit AiMcpOccurrenceCollector(std::size_t budget) : budget_(budget) { events_.reserve(budget); }

    // Appends the occurrence JSON when it fits; false once the result is cut.
    bool Offer(const std::wstring& occurrence);

    bool truncated() const { return truncated_; }
    int count() const { return count_; }
    const std::wstring& events() const { return events_; }  // joined with ","

private:
    std::size_t budget_;
    std::size_t total_ = 0;
    int count_ = 0;
    bool truncated_ = false;
    std::wstring events_;
};
