// The daily write quota: how many writes of each kind an AI assistant has
// carried out today, per user, kept as four integers in the host's settings
// store (day stamp, items, events, notes), each under a per-user key
// ("sys_aimcp_quota_items_local", "sys_aimcp_quota_day_u42", ...).
//
// The counters belong to one local date. The first snapshot or count whose
// local date (AiMcpLocalDayNumber) differs from the stored day stamp stores
// the new stamp and zeroes the user's three counters, so they reset after
// local midnight without a timer, and also when the clock is set back.
//
// Nothing is cached: every call asks the settings store and the account
// service afresh, so a change of the logged-in user switches counters at
// once. A missing settings store reads every value as 0 and drops writes,
// so the quota then never refuses.
//
// Threads: the host's main thread only (the read-then-write of a counter
// relies on it).
#pragma once

#include <string>

#include "AiMcpToolDispatcher.h"

// The three allowances. Timetable writes share the events allowance.
enum class AiMcpQuotaKind : int {
    Items = 0,
    Events = 1,
    Notes = 2,
};

// Writes per kind, per user and per local day.
constexpr int kAiMcpDailyWriteLimit = 40;

extern const wchar_t kAiMcpQuotaDayKey[];     // "sys_aimcp_quota_day"
extern const wchar_t kAiMcpQuotaItemsKey[];   // "sys_aimcp_quota_items"
extern const wchar_t kAiMcpQuotaEventsKey[];  // "sys_aimcp_quota_events"
extern const wchar_t kAiMcpQuotaNotesKey[];   // "sys_aimcp_quota_notes"

// "items", "events" or "notes", as the quota message names the kind.
const wchar_t* AiMcpQuotaKindWord(AiMcpQuotaKind kind);

// The allowance a write tool draws on: items_* and item_line_* are items,
// notes_* are notes, event_* and timetable_* are events.
AiMcpQuotaKind AiMcpQuotaKindOf(AiMcpWriteKind tool);

// Today's quota as stored, after the day roll-over.
struct QuotaSnapshot {
    int day = 0;  // year * 10000 + month * 100 + day; 0 when nothing is stored
    int itemsUsed = 0;
    int itemsLimit = kAiMcpDailyWriteLimit;
    int eventsUsed = 0;
    int eventsLimit = kAiMcpDailyWriteLimit;
    int notesUsed = 0;
    int notesLimit = kAiMcpDailyWriteLimit;
};

// Stores today's local date as the user's day stamp and zeroes the user's
// three counters, unless the stamp already holds today.
void RollQuotaDay();

QuotaSnapshot ReadQuotaSnapshot();

// True when one more write of the kind is allowed today. Otherwise false,
// with message set to "daily AI write quota exceeded for <kind>: used <n>
// of 40 (resets at local midnight)".
bool CheckWriteQuota(AiMcpQuotaKind kind, std::wstring& message);

// Counts one carried-out write of the kind. A counter at the largest 32-bit
// value stays there.
void CountWrite(AiMcpQuotaKind kind);
