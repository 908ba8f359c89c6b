// tessary-mcp: an MCP server on standard input and output that forwards each
// tool call to the running calendar. One thread, one message at a time; runs
// until its input ends and always exits with code 0.
#include <string>

#include "CalendarPipeClient.h"
#include "McpServer.h"
#include "StdioTransport.h"

int main()
{
    StdioTransport transport;
    CalendarPipeClient calendar;
    McpServer server(calendar);
    std::string body;
    while (transport.ReadMessage(body)) {
        const std::wstring reply = server.HandleMessage(body);
        if (!reply.empty()) transport.WriteMessage(reply);
    }
    return 0;
}
