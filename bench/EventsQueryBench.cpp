// events_query over a dense calendar: the same events listed on every day of
// a 366-day range (through in-process fakes of the host's services). Prints
// the time per query for growing numbers of events per day, and how it grows
// when they double (about 2x means linear). A keyword that no title holds
// makes every event of every day be read without filling the answer; a
// second series lets every event match, so the answer fills its byte budget
// and the walk stops early.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "AiMcpCalendarTools.h"
#include "AiMcpText.h"
#include "CalendarFakes.h"

namespace {

const std::wstring kRange = L"\"start\":\"2028-01-01T00:00:00+08:00\",\"end\":\"2029-01-01T00:00:00+08:00\"";

// Median milliseconds of `runs` queries.
double TimeQuery(const std::wstring& params, int runs, std::size_t& answerBytes)
{
    std::vector<double> times;
    (void)AiMcpEventsQuery(L"bench", params);  // warm-up: caches, zone rules, first allocations
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const std::wstring answer = AiMcpEventsQuery(L"bench", params);
        const auto stop = std::chrono::steady_clock::now();
        answerBytes = Utf8Length(answer);
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Series(const char* title, const std::wstring& extra, int runs)
{
    std::printf("%s\n", title);
    std::printf("  %8s %10s %12s %10s %10s %12s\n", "per day", "events", "ms/query", "x prev", "ns/event", "answer B");
    double previous = 0;
    for (int perDay = 25; perDay <= 400; perDay *= 2) {
        calfake::FakeCalendarHost host;
        for (int i = 0; i < perDay; ++i) {
            calfake::EventSpec shape(L"event-" + std::to_wstring(i), L"Daily stand-up meeting number " + std::to_wstring(i),
                                    1 + i % 3, L"DAILY", -1, i % 2 == 0);
            shape.hasReminder = shape.type == kEventTypeReminder;
            shape.listed = {{0, 9, 30}};
            host.Events().AddEveryDay(shape);
        }
        std::size_t bytes = 0;
        const double ms = TimeQuery(L"{" + kRange + extra + L"}", runs, bytes);
        std::printf("  %8d %10d %12.2f %10s %10.0f %12zu\n", perDay, perDay * 366, ms,
                    previous > 0 ? std::to_string(ms / previous).substr(0, 5).c_str() : "-",
                    ms * 1e6 / (perDay * 366.0), bytes);
        previous = ms;
    }
}

}  // namespace

int main()
{
    Series("every event read, none matches (keyword \"absent\"), 366 days:", L",\"keyword\":\"absent\"", 9);
    Series("every event matches: the byte budget ends the walk early:", L"", 21);
    return 0;
}
