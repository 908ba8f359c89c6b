// The plug-in's one notion of "now": the local day of day-cell tools, the
// quota's day, the statistics day and the expiry of confirm tokens all read
// it here, so tests can set the time instead of waiting for midnight.
//
// Local time comes from the platform's time-zone conversion of the UTC
// instant with the current zone rules (not from the C runtime, which
// misreads some zone settings).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

// The current instant as a FILETIME (100 ns since 1601-01-01 UTC).
FILETIME AiMcpUtcNow();

// The current local date and time; wDayOfWeek is filled in.
SYSTEMTIME AiMcpLocalNow();

// The current local date as year * 10000 + month * 100 + day.
std::uint32_t AiMcpLocalDayNumber();

// Milliseconds on a monotonic count, for expiries; follows the test clock
// when one is set.
std::uint64_t AiMcpTickMs();

// Replaces the clock with one that reports the given UTC instants; an empty
// function restores the system clock. Main thread only, and only in tests.
void SetAiMcpClockForTest(std::function<FILETIME()> utcNow);
