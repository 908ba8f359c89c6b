// The course timetable tools: timetable_list and timetable_get read,
// timetable_upsert and timetable_delete write through the timetable family
// of the write road (AiMcpWritePath.h). Timetable writes draw on the events
// allowance of the daily quota and send no change notification.
//
// A timetable is one JSON object text in the host's form (its "content"),
// which carries at least "name" and "timetable_id"; the tools read only
// those two members and hand the rest through unread. An upload is checked
// and built by BuildTimetableContent (AiMcpTimetableUpload.h); an upload of
// a name that exists replaces that timetable whole.
//
// Threads: the host's main thread only.
#pragma once

#include <string>

#include "AiMcpPendingStore.h"
#include "AiMcpToolDispatcher.h"

// Upload content a write may carry, in bytes of UTF-8.
constexpr std::size_t kAiMcpTimetableContentLimit = 59392;

// The timetable_list tool: {"timetables":[{"id","name","is_default",
// "start_date","week_count","lesson_count"},...]}, never cut short.
std::wstring TimetableList(const std::wstring& requestId);

// The timetable_get tool, by "id" or else "name": {"timetable":<content>}.
std::wstring TimetableGet(const std::wstring& requestId, const std::wstring& params);

// The timetable validator of the write road (see AiMcpWriteValidator).
[[nodiscard]] bool ValidateTimetableWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write,
                                          std::wstring& code, std::wstring& message);

// The timetable executor of the write road (see AiMcpWriteExecutor). A
// parked upload is stored as validated (the store settles whether it
// replaces a timetable); a parked delete checks only that its id still
// exists.
std::wstring ExecuteTimetableWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted);
