// How many kernel handles a process holds, for leak checks. Where the
// platform reports a count (GetProcessHandleCount) that count is used. Some
// compatibility layers report 0; there the handle table is walked instead:
// every handle value that the system recognises counts, and the walk ends
// after a long run of unused values.
#pragma once

#include <windows.h>

inline DWORD OpenHandleGauge()
{
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return count;
    DWORD unusedRun = 0;
    for (ULONG_PTR value = 4; unusedRun < 4096; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            unusedRun = 0;
        } else {
            ++unusedRun;
        }
    }
    return count;
}
