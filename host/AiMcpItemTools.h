// The day-cell tools: items_get reads one day's free-text cell of the month
// grid; items_set, items_append_line, item_line_update, item_line_delete and
// item_line_set_done change it through the write road of AiMcpWritePath.h
// (ValidateItemWrite fills the PendingWrite, ExecuteItemWrite carries it
// out).
//
// A cell is a Markdown text (lines separated by LF or CR LF) plus an
// optional background colour, both kept by the host's day content service.
// A line is done when the host's item line object says so; the marker and
// how it is added or removed are the object's business. Nothing is cached:
// every call reads the day afresh.
//
// The day JSON every tool answers with:
//   {"date":"...","text":"<whole cell>","bgcolor":"...","lines":[
//    {"line_index":0,"text":"<raw line>","done":false},...]}
// and the whole answer envelope stays within kAiMcpAnswerBudget bytes of
// UTF-8; a write whose answer would not fit is refused before anything is
// stored.
//
// Threads: the host's main thread only.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "AiMcpPendingStore.h"
#include "AiMcpToolDispatcher.h"

// The address of one day cell.
struct DayTarget {
    std::wstring date;  // "YYYY-MM-DD" as the caller sent it
    LONG calendarId = 0;
    std::wstring groupId;
};

// One line of a cell.
struct ItemLine {
    int index = 0;
    std::wstring text;  // the raw Markdown line, without its line end
    bool done = false;
};

// Reads "date" (a real YYYY-MM-DD date) and "calendar_id" (a calendar id
// text; missing or empty means the calendar the user is looking at). On
// failure false with INVALID_PARAMS or NOT_FOUND and the message.
[[nodiscard]] bool ResolveDayTarget(const std::wstring& params, DayTarget& target, std::wstring& code,
                                    std::wstring& message);

// The lines of a cell text, split at LF; one CR before the LF (or at the end
// of the text) belongs to the line end. An empty text has no lines; a text
// ending in LF has an empty last line. Each line's done state comes from an
// item line object (false when none can be made).
std::vector<ItemLine> SplitItemLines(const std::wstring& text);

// The texts of the lines joined with LF, nothing after the last.
std::wstring JoinItemLines(const std::vector<ItemLine>& lines);

// The success answer for the request with the day JSON of the cell. False
// when it would exceed the answer budget (answer is then not to be used).
[[nodiscard]] bool BuildDayItemsJson(const std::wstring& requestId, const std::wstring& date, const std::wstring& text,
                                     const std::wstring& bgcolor, std::wstring& answer);

// The items_get tool.
std::wstring ItemsGet(const std::wstring& requestId, const std::wstring& params);

// The day-cell validator of the write road (see AiMcpWriteValidator).
[[nodiscard]] bool ValidateItemWrite(AiMcpWriteKind kind, const std::wstring& params, PendingWrite& write,
                                     std::wstring& code, std::wstring& message);

// The day-cell executor of the write road (see AiMcpWriteExecutor). When run
// on confirmation (trusted false), a line write is refused if its target
// line no longer holds the text it had when the write was validated.
std::wstring ExecuteItemWrite(const std::wstring& requestId, const PendingWrite& write, bool trusted);
