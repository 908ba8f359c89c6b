// The event write tools: event_create, event_update and event_delete, the
// event family of the write road (AiMcpWritePath.h). ValidateEventWrite
// reads the request and what it needs of the event to change into a
// PendingWrite without changing anything; ExecuteEventWrite carries it out
// against the host's event service, at once under trusted writing or when
// event_confirm accepts it.
//
// Events are all-day entries of one local day, of kind task (1), reminder
// (2) or countdown (3). Parameters:
//   "id"          the event to change or delete (update, delete)
//   "title"       the title, trimmed; required and non-empty on create
//   "date"        an ISO 8601 instant with zone; its local date is the day
//   "kind"        task, reminder or countdown (create; elsewhere it must
//                 name the event's own kind)
//   "recurrence"  none, daily, weekly, monthly, yearly or workday
//   "reminder"    {"trigger":"HH:MM" or "day:HH:MM"}; a top-level string
//                 "trigger" stands in when reminder.trigger is no string
//   "countdown"   {"countdown_type":0..5,"show_type":0..3}
//   "calendar_id" create only: must name the current calendar
// Success answers {"status":"ok","id":"<event id>"}.
//
// Threads: the host's main thread only.
#pragma once

#include <windows.h>

#include <string>

#include "AiMcpPendingStore.h"
#include "AiMcpToolDispatcher.h"
#include "AiMcpWriteChecks.h"
#include "ComPtr.h"
#include "HostApi.h"

// A new reminder that fires at the trigger: a primary trigger of the same
// hour and minute on the event's day, the trigger itself as the one listed
// trigger, state on. Empty when the host cannot make one of the objects.
ComPtr<IxReminder> MakeReminder(const ReminderTrigger& trigger);

// The event validator of the write road (see AiMcpWriteValidator).
[[nodiscard]] bool ValidateEventWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write,
                                      std::wstring& code, std::wstring& message);

// The event executor of the write road (see AiMcpWriteExecutor). The event
// to change is read afresh; a host call that reports failure makes the
// write fail.
std::wstring ExecuteEventWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted);
