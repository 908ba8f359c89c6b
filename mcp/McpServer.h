// The JSON-RPC 2.0 layer: takes one message body, gives the one reply to
// write (empty: write nothing). Answers "initialize", "ping" and
// "tools/list" itself and hands "tools/call" to the tool forwarder. Keeps no
// state between messages; every method may come at any time.
#pragma once

#include <string>

#include "CalendarPipeClient.h"

class JsonValue;

class McpServer {
public:
    // Client messages nested deeper than this are refused before parsing,
    // because the parser recurses once per level.
    static constexpr int kMaxMessageDepth = 1000;
    static const wchar_t kInitializeResult[];

    explicit McpServer(ToolForwarder& tools) : tools_(tools) {}

    std::wstring HandleMessage(const std::string& body);

    static std::wstring ResultReply(const std::wstring& idText, const std::wstring& result);
    // A tool call's result: the outcome text, escaped, in one text content
    // item, with "isError" the negation of its ok flag.
    static std::wstring ToolResultReply(const std::wstring& idText, const ToolOutcome& outcome);
    static std::wstring ErrorReply(const std::wstring& idText, int code, const std::wstring& message);

    // params may be null (no "params" member).
    std::wstring CallTool(const std::wstring& idText, const JsonValue* params);

private:
    ToolForwarder& tools_;
};
