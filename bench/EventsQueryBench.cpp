// events_query over a dense calendar: the same events listed on every day of
// a 366-day range (through in-process fakes of the host's services). Prints
// the time per query for growing numbers of events per day, and how it grows
// when they double (about 2x means linear). A keyword that no title holds
// makes every event of every day be read without filling the answer; a
// second series lets every event match, so the answer fills its byte budget
// and the walk stops early.
//
// The range is the local year 2028, written with this machine's offsets, so
// that it covers 366 local days in whatever zone the benchmark runs; every
// series prints the range and checks that each answer is a success.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "AiMcpDates.h"
#include "AiMcpText.h"
#include "CalendarFakes.h"

namespace {

// 2028-01-01 to 2029-01-01, local midnights.
std::wstring LocalYearRange()
{
    LocalDateTime first{}, last{};
    first.wYear = 2028;
    last.wYear = 2029;
    first.wMonth = last.wMonth = 1;
    first.wDay = last.wDay = 1;
    std::wstring start, end;
    (void)FormatIsoLocal(first, start);
    (void)FormatIsoLocal(last, end);
    return L"\"start\":\"" + start + L"\",\"end\":\"" + end + L"\"";
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// What one series row timed.
struct Timed {
    double ms = 0;              // median per query
    std::size_t answerBytes = 0;
    int count = 0;              // occurrences in the answer
    std::size_t daysAsked = 0;  // days the walk visited per query
};

// Median milliseconds of `runs` queries; false when an answer is not a
// success with the whole range in it.
bool TimeQuery(calfake::FakeCalendarHost& host, const std::wstring& params, int runs, Timed& timed)
{
    std::vector<double> times;
    const std::wstring first = AiMcpEventsQuery(L"bench", params);  // warm-up: caches, zone rules, first allocations
    if (first.find(L"\"ok\":true") == std::wstring::npos || first.find(L"\"days\":366,") == std::wstring::npos) {
        std::printf("  not a 366-day success answer: %s\n", Narrow(first.substr(0, 300)).c_str());
        return false;
    }
    const std::size_t count = first.find(L"\"count\":");
    timed.count = count == std::wstring::npos ? -1 : std::stoi(first.substr(count + 8, 4));
    timed.daysAsked = host.Events().daysAsked.size();
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::wstring answer = AiMcpEventsQuery(L"bench", params);
        const auto stop = std::chrono::steady_clock::now();
        timed.answerBytes = Utf8Length(answer);
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    timed.ms = times[times.size() / 2];
    return true;
}

void Series(const char* title, const std::wstring& extra, int runs)
{
    const std::wstring range = LocalYearRange();
    std::printf("%s\n  params {%s%s}\n", title, Narrow(range).c_str(), Narrow(extra).c_str());
    std::printf("  %8s %10s %10s %8s %12s %10s %10s %12s\n", "per day", "events", "days asked", "count", "ms/query",
                "x prev", "ns/event", "answer B");
    double previous = 0;
    for (int perDay = 3; perDay <= 400; perDay *= 2) {
        calfake::FakeCalendarHost host;
        for (int i = 0; i < perDay; ++i) {
            calfake::EventSpec shape(L"event-" + std::to_wstring(i), L"Daily stand-up meeting number " + std::to_wstring(i),
                                    1 + i % 3, L"DAILY", -1, i % 2 == 0);
            shape.hasReminder = shape.type == kEventTypeReminder;
            shape.listed = {{0, 9, 30}};
            host.Events().AddEveryDay(shape);
        }
        Timed t;
        if (!TimeQuery(host, L"{" + range + extra + L"}", runs, t)) return;
        std::printf("  %8d %10d %10zu %8d %12.3f %10s %10.0f %12zu\n", perDay, perDay * 366, t.daysAsked, t.count, t.ms,
                    previous > 0 ? std::to_string(t.ms / previous).substr(0, 5).c_str() : "-",
                    t.ms * 1e6 / (perDay * static_cast<double>(t.daysAsked)), t.answerBytes);
        previous = t.ms;
    }
}

}  // namespace

int main()
{
    Series("every event read, none matches (keyword \"absent\"), 366 days:", L",\"keyword\":\"absent\"", 9);
    Series("every event matches: the byte budget ends the walk early:", L"", 21);
    return 0;
}
