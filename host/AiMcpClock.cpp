#include "AiMcpClock.h"

#include <mutex>

namespace {

// Protects g_testClock, which tests set while worker threads may read the
// time for traces or expiries.
std::mutex g_clockLock;
std::function<FILETIME()> g_testClock;

std::uint64_t ToUint64(const FILETIME& ft)
{
    return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace

FILETIME AiMcpUtcNow()
{
    {
        const std::lock_guard<std::mutex> hold(g_clockLock);
        if (g_testClock) return g_testClock();
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

SYSTEMTIME AiMcpLocalNow()
{
    const FILETIME utc = AiMcpUtcNow();
    SYSTEMTIME utcTime{}, local{};
    FileTimeToSystemTime(&utc, &utcTime);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &local)) local = utcTime;
    return local;
}

std::uint32_t AiMcpLocalDayNumber()
{
    const SYSTEMTIME t = AiMcpLocalNow();
    return t.wYear * 10000u + t.wMonth * 100u + t.wDay;
}

std::uint64_t AiMcpTickMs()
{
    {
        const std::lock_guard<std::mutex> hold(g_clockLock);
        if (g_testClock) return ToUint64(g_testClock()) / 10000;
    }
    return GetTickCount64();
}

void SetAiMcpClockForTest(std::function<FILETIME()> utcNow)
{
    const std::lock_guard<std::mutex> hold(g_clockLock);
    g_testClock = std::move(utcNow);
}
