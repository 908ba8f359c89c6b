// road_echo.exe: the least program that answers lines on standard input, the
// limit the road benchmark holds tessary-mcp.exe against (its round trip and
// its start-up). Kernel calls only, no C++ streams, no work per byte beyond
// finding the line feed.
//
// Each input line is answered with one line: a line "#N ..." with a line of
// N bytes (the line feed included) so that a round trip can move as many
// bytes as a real reply; any other line with itself. Ends when its input
// ends.
#include <windows.h>

#include <cstring>

namespace {

constexpr DWORD kBufferBytes = 1 << 17;
char g_input[kBufferBytes];
char g_reply[kBufferBytes];

void WriteAll(HANDLE out, const char* bytes, DWORD count)
{
    while (count > 0) {
        DWORD put = 0;
        if (!WriteFile(out, bytes, count, &put, nullptr) || put == 0) return;
        bytes += put;
        count -= put;
    }
}

void Answer(HANDLE out, char* line, DWORD length)  // length counts the line feed
{
    if (length > 1 && line[0] == '#') {
        DWORD n = 0;
        for (DWORD i = 1; i < length && line[i] >= '0' && line[i] <= '9'; ++i) n = n * 10 + (line[i] - '0');
        if (n >= 1 && n <= kBufferBytes) {
            g_reply[n - 1] = '\n';
            WriteAll(out, g_reply, n);
            g_reply[n - 1] = 'x';
            return;
        }
    }
    WriteAll(out, line, length);
}

}  // namespace

int main()
{
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    std::memset(g_reply, 'x', sizeof g_reply);
    DWORD held = 0;
    for (;;) {
        DWORD got = 0;
        if (held == kBufferBytes) held = 0;  // a line longer than the buffer is dropped
        if (!ReadFile(in, g_input + held, kBufferBytes - held, &got, nullptr) || got == 0) return 0;
        held += got;
        DWORD start = 0;
        for (DWORD i = held - got; i < held; ++i) {
            if (g_input[i] != '\n') continue;
            Answer(out, g_input + start, i + 1 - start);
            start = i + 1;
        }
        std::memmove(g_input, g_input + start, held - start);
        held -= start;
    }
}
