#include "McpServer.h"

#include "JsonValue.h"
#include "TextConv.h"
#include "ToolCatalog.h"

const wchar_t McpServer::kInitializeResult[] =
    L"{\"protocolVersion\":\"2024-11-05\",\"capabilities\":{\"tools\":{}},"
    L"\"serverInfo\":{\"name\":\"Tessary\",\"version\":\"1.0.0\"}}";

namespace {

const wchar_t kResultHead[] = L"{\"jsonrpc\":\"2.0\",\"id\":";
const wchar_t kResultMiddle[] = L",\"result\":";
const wchar_t kToolResultHead[] = L"{\"content\":[{\"type\":\"text\",\"text\":\"";

}  // namespace

std::wstring McpServer::ResultReply(const std::wstring& idText, const std::wstring& result)
{
    return kResultHead + idText + kResultMiddle + result + L"}";
}

std::wstring McpServer::ToolResultReply(const std::wstring& idText, const ToolOutcome& outcome)
{
    // Assembled in one string: the outcome text is escaped straight into it.
    std::wstring reply = kResultHead + idText + kResultMiddle + kToolResultHead;
    outcome.AppendEscapedText(reply);
    reply += outcome.ok ? L"\"}],\"isError\":false}}" : L"\"}],\"isError\":true}}";
    return reply;
}

std::wstring McpServer::ErrorReply(const std::wstring& idText, int code, const std::wstring& message)
{
    return L"{\"jsonrpc\":\"2.0\",\"id\":" + idText + L",\"error\":{\"code\":" + std::to_wstring(code) +
           L",\"message\":\"" + EscapeJsonText(message) + L"\"}}";
}

std::wstring McpServer::HandleMessage(const std::string& body)
{
    const std::wstring text = Utf8ToWide(body);
    if (ExceedsJsonDepth(text, kMaxMessageDepth))
        return ErrorReply(L"null", -32700, L"the message is nested too deeply");

    const JsonValue::Ptr message = JsonValue::Parse(text);
    if (!message || !message->IsObject()) return ErrorReply(L"null", -32700, L"the message is not a JSON object");

    const JsonValue* id = message->GetMember(L"id");
    const std::wstring idText = id ? id->Serialize() : std::wstring();
    const JsonValue* methodValue = message->GetMember(L"method");
    const std::wstring method = (methodValue && methodValue->IsString()) ? methodValue->StringValue() : std::wstring();

    if (idText.empty()) {
        LogLine(L"notification: " + method);
        return std::wstring();
    }
    if (method.empty()) return ErrorReply(idText, -32600, L"the request carries no \"method\" string");

    if (method == L"initialize") return ResultReply(idText, kInitializeResult);
    if (method == L"ping") return ResultReply(idText, L"{}");
    if (method == L"tools/list") return ResultReply(idText, L"{\"tools\":" + ToolCatalog::CatalogText() + L"}");
    if (method == L"tools/call") return CallTool(idText, message->GetMember(L"params"));
    return ErrorReply(idText, -32601, L"method not found: " + method);
}

std::wstring McpServer::CallTool(const std::wstring& idText, const JsonValue* params)
{
    const JsonValue* name = params ? params->GetMember(L"name") : nullptr;  // null unless params is an object
    if (!name || !name->IsString()) return ErrorReply(idText, -32602, L"tools/call needs a \"name\" string");
    if (!ToolCatalog::IsKnownTool(name->StringValue()))
        return ErrorReply(idText, -32602, L"unknown tool: " + name->StringValue());

    std::wstring arguments = L"{}";
    if (const JsonValue* given = params->GetMember(L"arguments")) {
        if (!given->IsObject()) return ErrorReply(idText, -32602, L"tools/call \"arguments\" must be a JSON object");
        arguments = given->Serialize();
    }

    return ToolResultReply(idText, tools_.CallTool(name->StringValue(), arguments));
}
