// tessary-mcp: a client message body as McpServer::HandleMessage takes it.
#include "DeliverableRoad.h"

#include "JsonValue.h"
#include "McpServer.h"
#include "TextConv.h"

namespace {

std::wstring ToText(const std::string& bytes) { return Utf8ToWide(bytes); }

bool WithinDepth(const std::wstring& text) { return !ExceedsJsonDepth(text, McpServer::kMaxMessageDepth); }

}  // namespace

const DeliverableRoad kDeliverableRoad = {"tessary-mcp client message", &ToText, &WithinDepth};
