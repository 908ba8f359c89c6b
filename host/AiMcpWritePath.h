// The one road every write tool takes: its family validates the request into
// a PendingWrite, the daily quota is asked, and then the write is carried
// out at once when the user has turned trusted writing on, or parked under
// a confirm token (AiMcpPendingStore) and answered "pending_confirmation"
// with a short summary for the user. event_confirm later carries a parked
// write out (accept) or drops it (reject).
//
// Write families. Each family supplies a validator and an executor and is
// named once in the family table of AiMcpWritePath.cpp (AiMcpWriteFamilyOf);
// its entry point for the dispatcher is a one-line call of RunWriteEntry
// with its family: events (EventWriteEntry, kinds 0..2), day cells
// (ItemWriteEntry, 3..7), notes (NoteWriteEntry, 8..10) and timetables
// (TimetableWriteEntry, 11 and 12), each named in the dispatcher's routing
// table.
//
// Every event along the road leaves an audit line (AiMcpAuditLog.h):
//   validation refused       error  the validator's message        trust 0
//   quota refused            error  the quota message              trust 0
//   parked                   ok     "pending confirmation"         trust 0
//   no confirm token         error  "could not create a confirmation token"
//   rejected                 error  "cancelled by the user"        trust 0
//   carried out / failed     the executor's own line, trust 1 only when
//                            run directly under trusted writing
//
// Threads: the host's main thread only, like every tool handler.
#pragma once

#include <string>

#include "AiMcpPendingStore.h"
#include "AiMcpToolDispatcher.h"

// Fills the write from the params of a write tool, without touching the
// calendar's data. On failure returns false with an error code word
// (INVALID_PARAMS, NOT_FOUND, ...; code arrives holding INTERNAL) and a
// message; the write may then be partly filled, and its audit identifier is
// used as far as it goes.
using AiMcpWriteValidator = bool (*)(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write,
                                     std::wstring& code, std::wstring& message);

// The refusal of a validator: sets the code word and the message and
// returns false, so a check reads `return RefuseWrite(code, message, ...);`.
bool RefuseWrite(std::wstring& code, std::wstring& message, const wchar_t* refusedCode, std::wstring refusedMessage);

// Carries a validated write out and answers the request with the given id.
// Re-reads what it needs from the host and refuses when the target no longer
// fits. On success: its audit line (AiMcpAuditLog::Append with trusted and
// succeeded 1), CountWrite of its quota kind, and BuildOkAnswer with the
// family's result. On failure: FailWithAudit with trusted. trusted is true
// only when the write runs directly under trusted writing.
using AiMcpWriteExecutor = std::wstring (*)(const std::wstring& requestId, const PendingWrite& write, bool trusted);

struct AiMcpWriteFamily {
    AiMcpWriteValidator validate;
    AiMcpWriteExecutor execute;
};

// The family of a write kind: 11 and 12 timetables, 8..10 notes, 3..7 day
// cells, every other value events. A family without a validator or an
// executor has its writes refused with INTERNAL.
const AiMcpWriteFamily& AiMcpWriteFamilyOf(AiMcpWriteKind kind);

// The identifier audit lines carry: the event id (kinds 0..2), the day-cell
// date (3..7), the note id (8..10), the timetable id (11, 12).
std::wstring AiMcpAuditIdOf(const PendingWrite& write);

// The first member of a summary: "create", "update", "delete" for the event
// kinds, the tool name for every other kind.
std::wstring AiMcpWriteOperationWord(AiMcpWriteKind kind);

// The summary object shown to the user for a parked write, starting
// {"op":...} and continuing with the fields of the write's family.
std::wstring BuildSummaryJson(const PendingWrite& write);

// The write road for one request of a family: validate, quota gate, then
// execute (trusted writing on, read afresh) or park. Returns the answer.
std::wstring RunWriteEntry(const AiMcpWriteFamily& family, const std::wstring& requestId, const std::wstring& params,
                           AiMcpWriteKind kind);

// The day-cell write entry point (items_set, items_append_line,
// item_line_update, item_line_delete, item_line_set_done).
std::wstring ItemWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind);

// The event write entry point (event_create, event_update, event_delete).
std::wstring EventWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind);

// The note write entry point (notes_create, notes_update, notes_delete).
std::wstring NoteWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind);

// The timetable write entry point (timetable_upsert, timetable_delete).
std::wstring TimetableWriteEntry(const std::wstring& requestId, const std::wstring& params, AiMcpWriteKind kind);

// Carries out a parked or direct write through its family's executor.
std::wstring ExecuteParkedWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted);

// The event_confirm tool: "confirm_token" (string) and "accept" (boolean).
// Accepting asks the quota again before the parked write is taken, so a
// refusal leaves it parked; rejecting drops it and answers
// {"status":"cancelled"}.
std::wstring EventConfirm(const std::wstring& requestId, const std::wstring& params);
