// How a command line of the stand-in calendar splits into words.
#include <gtest/gtest.h>

#include "DevHostCommands.h"

TEST(CommandWords, SplitsOnBlanksAndHonoursQuotes)
{
    const struct {
        const wchar_t* line;
        std::vector<std::wstring> words;
    } cases[] = {
        {L"", {}},
        {L"   \t ", {}},
        {L"status", {L"status"}},
        {L"  setting  set-int\tk  5 ", {L"setting", L"set-int", L"k", L"5"}},
        {L"setting set-string k \"two words\"", {L"setting", L"set-string", L"k", L"two words"}},
        {L"x \"a \\\"q\\\" \\\\ b\"", {L"x", L"a \"q\" \\ b"}},
        {L"x \"\"", {L"x", L""}},
        {L"x \"unterminated", {L"x", L"unterminated"}},
        {L"x C:\\path\\file", {L"x", L"C:\\path\\file"}},  // backslashes outside quotes are plain
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandWords(c.line), c.words) << testing::PrintToString(std::wstring(c.line));
}
