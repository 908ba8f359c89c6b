// A program that serves the calendar's pipe name without being the calendar:
// the process the pipe client must refuse to send its token to when the
// calendar's window belongs to another process. It answers every request
// with a pong, prints "serving" once the pipe exists, and when its standard
// input ends prints how many clients connected and how many bytes they sent.
#include <windows.h>

#include <cstdio>
#include <string>

#include "FakeCalendar.h"

int main()
{
    FakeCalendar squatter(FakeCalendar::Presence::kNone);
    const std::string pong = "{\"id\":\"1\",\"ok\":true,\"result\":{\"pong\":true}}\n";
    if (!squatter.Serve({FakeCalendar::Reply(pong), FakeCalendar::Reply(pong)})) {
        std::printf("error %s\n", squatter.error().c_str());
        return 1;
    }
    std::printf("serving\n");
    std::fflush(stdout);

    char buffer[64];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    // A connection's completion and the end of the input can reach the
    // serving thread in either order: stop it first, so that every client
    // that connected is counted.
    squatter.StopServing();
    std::size_t bytes = 0;
    for (const std::string& request : squatter.Requests()) bytes += request.size();
    std::printf("connections %u bytes %u\n", static_cast<unsigned>(squatter.Connections()),
                static_cast<unsigned>(bytes));
    std::fflush(stdout);
    return 0;
}
