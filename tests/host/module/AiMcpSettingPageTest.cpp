// The AI access page's own texts: the client configuration it copies and
// the quota lines it formats from the language files' texts.
#include <gtest/gtest.h>

#include <string>

#include "AiMcpSettingPage.h"
#include "JsonValue.h"

namespace {

TEST(McpClientConfig, IsTheExactTextAndParsesAsJson)
{
    const std::wstring token(64, L'a');
    const std::wstring text = BuildMcpClientConfig(L"C:\\Program Files\\Tessary\\tsyappaimcp\\tessary-mcp.exe", token);
    EXPECT_EQ(text,
              L"{\r\n  \"mcpServers\": {\r\n    \"Tessary\": {\r\n      \"command\": "
              L"\"C:\\\\Program Files\\\\Tessary\\\\tsyappaimcp\\\\tessary-mcp.exe\",\r\n      \"args\": [],\r\n"
              L"      \"env\": {\r\n        \"TESSARY_AIMCP_TOKEN\": \"" + token + L"\"\r\n      }\r\n    }\r\n  }\r\n}\r\n");
    const JsonValue::Ptr parsed = JsonValue::Parse(text);
    ASSERT_TRUE(parsed);
    const JsonValue* server = parsed->GetMember(L"mcpServers")->GetMember(L"Tessary");
    ASSERT_TRUE(server);
    EXPECT_EQ(server->GetMember(L"command")->StringValue(), L"C:\\Program Files\\Tessary\\tsyappaimcp\\tessary-mcp.exe");
    EXPECT_EQ(server->GetMember(L"env")->GetMember(L"TESSARY_AIMCP_TOKEN")->StringValue(), token);
    EXPECT_TRUE(server->GetMember(L"args")->Items().empty());

    // Without a program path the command is empty, and the text still parses.
    EXPECT_TRUE(JsonValue::Parse(BuildMcpClientConfig(L"", token)));
}

TEST(QuotaLine, FillsUsedLimitAndRemainingInOrder)
{
    const struct {
        std::wstring format;
        int used, limit, remaining;
        std::wstring line;
    } cases[] = {
        {L"Day cells: %d of %d used, %d left", 3, 40, 37, L"Day cells: 3 of 40 used, 37 left"},
        {L"\u65e5\u7a0b\u683c\u5b50\uff1a\u5df2\u7528 %d / %d \u6b21\uff0c\u5269\u4f59 %d \u6b21", 40, 40, 0,
         L"\u65e5\u7a0b\u683c\u5b50\uff1a\u5df2\u7528 40 / 40 \u6b21\uff0c\u5269\u4f59 0 \u6b21"},
        {L"%d%% of %d (%d)", 5, 40, 35, L"5% of 40 (35)"},
        {L"%d %d %d %d", 1, 2, 3, L"1 2 3 %d"},          // a fourth placeholder has nothing to take
        {L"%s %n %x %d %", 1, 2, 3, L"%s %n %x 1 %"},      // nothing but %d and %% is interpreted
        {L"", 1, 2, 3, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatQuotaLine(c.format, c.used, c.limit, c.remaining), c.line) << testing::PrintToString(c.format);
}

}  // namespace
