// The single entry through which every gated pipe request reaches the
// calendar tools, on the host's main thread: the cloud configuration's AI
// access switch, the usage statistics report (once per tool and local
// day), then routing by exact tool name to one handler.
//
// The handler contract: a plain function on the main thread that takes the
// request id (and, except for the three list tools, the params text; write
// entry points also their AiMcpWriteKind) and returns exactly one answer
// envelope (BuildOkAnswer / BuildErrorAnswer). It reads parameters with
// GetStringParam / GetBoolParam, checks them in its fixed order, keeps any
// answer that grows with the data within 61,440 bytes of UTF-8, and turns
// every failure into an error answer.
#pragma once

#include <cstddef>
#include <string>

// The thirteen write tools, as kept in parked writes and named in audit lines.
enum class AiMcpWriteKind : int {
    EventCreate = 0,
    EventUpdate = 1,
    EventDelete = 2,
    ItemsSet = 3,
    ItemsAppendLine = 4,
    ItemLineUpdate = 5,
    ItemLineDelete = 6,
    ItemLineSetDone = 7,
    NotesCreate = 8,
    NotesUpdate = 9,
    NotesDelete = 10,
    TimetableUpsert = 11,
    TimetableDelete = 12,
};

// The tool name of a write kind ("event_create" ...); empty for a value
// outside the thirteen.
const wchar_t* AiMcpWriteKindName(AiMcpWriteKind kind);

// Answers kept within this many bytes of UTF-8, below the 65,536 bytes that
// both ends of the pipe read at once.
constexpr std::size_t kAiMcpAnswerBudget = 61440;

// How a tool's handler is called: the list tools take only the request id,
// the other reads and event_confirm also the params text, and the four
// write-family entry points also the write kind of the tool.
enum class AiMcpToolShape : int { List, Read, Write };

using AiMcpListHandler = std::wstring (*)(const std::wstring& id);
using AiMcpReadHandler = std::wstring (*)(const std::wstring& id, const std::wstring& params);
using AiMcpWriteHandler = std::wstring (*)(const std::wstring& id, const std::wstring& params, AiMcpWriteKind kind);

// One row of the routing table. Of the three handler pointers only the one
// that matches the shape is used; it stays null until the tool is built, and
// a tool without a handler is answered like an unknown method.
struct AiMcpToolRoute {
    const wchar_t* name;
    AiMcpToolShape shape;
    AiMcpWriteKind kind;  // Write rows only
    AiMcpListHandler list;
    AiMcpReadHandler read;
    AiMcpWriteHandler write;
};

// The routing table of the plug-in: one row per tool (22), with the count
// in `count`. The rows and their handlers are in AiMcpToolDispatcher.cpp.
const AiMcpToolRoute* AiMcpToolRoutes(std::size_t& count);

class AiMcpToolDispatcher {
public:
    // Returns the complete answer envelope for one request.
    static std::wstring Dispatch(const std::wstring& id, const std::wstring& method, const std::wstring& params);

    // Dispatch over the given routing table instead of the plug-in's: the
    // same cloud check, statistics report and routing. Dispatch uses it with
    // AiMcpToolRoutes; tests use it with handlers of their own.
    static std::wstring DispatchOver(const AiMcpToolRoute* routes, std::size_t count, const std::wstring& id,
                                     const std::wstring& method, const std::wstring& params);

    // The usage statistics report for one method (at most once per local
    // day; see the .cpp). Exposed for tests.
    static void ReportUsage(const std::wstring& method);
    // Forgets which tools were reported (tests only).
    static void ResetUsageForTest();
};
