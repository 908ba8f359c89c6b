// Carries one tool call to the running calendar over its named pipe: checks
// that the calendar runs, opens the pipe (retrying while it is busy), sends
// one request with the token from the environment, reads one reply, closes.
// Every failure becomes a ToolOutcome that is not ok; nothing here throws or
// ends the program. Runs on the program's only thread and blocks it.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "UniqueHandle.h"

// What a tool call gave: either a text of its own (the local errors, and
// stand-ins in tests), or the calendar's reply, kept as the writer writes it
// already escaped for the inside of a JSON string, which is where it goes.
struct ToolOutcome {
    ToolOutcome() = default;
    ToolOutcome(bool isOk, std::wstring outcomeText) : ok(isOk), text(std::move(outcomeText)) {}

    bool ok = false;    // the calendar answered "ok" true with a "result"
    std::wstring text;  // the outcome text, unless it comes from a reply
    // The calendar's reply, written and escaped, and where the outcome lies
    // in it: its "result" when ok, otherwise its "error", which stands for
    // {"error":<error>}.
    bool fromReply = false;
    std::wstring escapedReply;
    std::size_t payloadBegin = 0;
    std::size_t payloadEnd = 0;

    // The outcome as JSON text: the result, or {"error":{...}}.
    std::wstring Text() const;
    // Appends Text() as EscapeJsonText gives it, for the inside of a JSON
    // string; from a reply that is a copy of what was written already.
    void AppendEscapedText(std::wstring& out) const;
};

// What the JSON-RPC layer calls to run a tool; the pipe client in the
// program, a recording fake in tests.
class ToolForwarder {
public:
    virtual ~ToolForwarder() = default;
    virtual ToolOutcome CallTool(const std::wstring& name, const std::wstring& arguments) = 0;
};

class CalendarPipeClient : public ToolForwarder {
public:
    static const wchar_t kPipeName[];
    static const wchar_t kMutexName[];
    static const wchar_t kWindowTitle[];
    static const wchar_t kTokenVariable[];
    static constexpr unsigned long kConnectDeadlineMs = 30000;
    static constexpr unsigned long kBusyWaitMs = 2000;
    static constexpr unsigned long kMaxReplyBytes = 65536;
    // The calendar reads one request message of at most this many bytes and
    // drops the connection on a longer one, so a longer request is refused
    // here and never sent.
    static constexpr unsigned long kMaxRequestBytes = 65536;

    ToolOutcome CallTool(const std::wstring& name, const std::wstring& arguments) override;

    static bool IsCalendarRunning();

    struct Connection {
        UniqueFile pipe;       // open in message read mode on success
        std::wstring code;     // set on failure
        std::wstring message;  // set on failure
    };
    static Connection Connect();

    // Whether the process serving the pipe may be sent the token. The
    // calendar is the process that owns a top-level window with its title;
    // when it shows none (it was found by its mutex alone), the server must
    // at least run as the same user as this program.
    enum class ServerVerdict { kCalendar, kImpostor };
    static ServerVerdict JudgeServer(unsigned long serverProcessId, const std::vector<unsigned long>& windowOwners,
                                     bool serverIsSameUser);

    // TESSARY_AIMCP_TOKEN when it is 1 to 511 units long, else empty.
    static std::wstring ReadToken();

    // The request envelope, UTF-16; arguments "" stand for {}.
    static std::wstring BuildRequest(const std::wstring& name, const std::wstring& token,
                                     const std::wstring& arguments);

    static ToolOutcome ParseReply(const std::wstring& reply);
    static std::wstring LocalError(const std::wstring& code, const std::wstring& message);
};
