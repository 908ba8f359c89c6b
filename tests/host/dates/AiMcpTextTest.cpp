// The text helpers the tools build their results with: quoting, integers,
// UTF-8 sizes against the answer budget, the answer's UTF-8 line, and the
// cut of long titles.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "AiMcpText.h"
#include "AiMcpUtf8.h"

namespace {

TEST(TextHelpers, QuoteJson)
{
    struct Case {
        std::wstring text;
        std::wstring quoted;
    };
    const Case cases[] = {
        {L"", L"\"\""},
        {L"Local calendar", L"\"Local calendar\""},
        {L"say \"hi\" \\ bye", L"\"say \\\"hi\\\" \\\\ bye\""},
        {L"a\nb\tc\r", L"\"a\\nb\\tc\\r\""},
        {std::wstring(L"\x01x\0y", 4), L"\"\\u0001x\\u0000y\""},
        {L"\x65E5\x672C / \x00E9", L"\"\x65E5\x672C / \x00E9\""},  // non-ASCII and solidus stay as they are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.quoted));
        EXPECT_EQ(QuoteJson(c.text), c.quoted);
    }
}

TEST(TextHelpers, IntText)
{
    EXPECT_EQ(IntText(0), L"0");
    EXPECT_EQ(IntText(366), L"366");
    EXPECT_EQ(IntText(-1), L"-1");
    EXPECT_EQ(IntText(std::numeric_limits<std::int32_t>::max()), L"2147483647");
    EXPECT_EQ(IntText(std::numeric_limits<std::int32_t>::min()), L"-2147483648");
}

TEST(TextHelpers, Utf8Length)
{
    struct Case {
        std::wstring text;
        std::size_t bytes;
    };
    const Case cases[] = {
        {L"", 0},
        {L"abc", 3},
        {std::wstring(L"a\0b", 3), 3},                  // U+0000 is one byte
        {L"\x00E9", 2},                                 // two-byte character
        {L"\x65E5\x672C", 6},                           // three-byte characters
        {L"\xD83D\xDE00", 4},                           // a surrogate pair is one four-byte character
        {L"x\xD83D\xDE00y\x00E9", 8},
        {L"\xD83D", 3},                                 // an unpaired surrogate goes out as U+FFFD
        {L"a\xDE00" L"b", 5},
        {std::wstring(1000, L'\x4E2D'), 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text.size() << " units, " << c.bytes << " bytes");
        EXPECT_EQ(Utf8Length(c.text), c.bytes);
    }
}

// The answer as the pipe sends it: what WideToUtf8 gives plus a line feed,
// written into one buffer that every case reuses as it was left, so a long
// case followed by a short one shows whether the count, not the buffer's
// size, marks the end.
TEST(TextHelpers, Utf8LineIsTheConversionWithALineFeed)
{
    const std::wstring cases[] = {
        std::wstring(3000, L'\x4E2D'),  // grows the buffer to 9,001 bytes
        L"",
        L"{\"ok\":true}",
        std::wstring(L"a\0b", 3),
        L"x\xD83D\xDE00y\x00E9",
        L"\xD83D",                     // an unpaired surrogate goes out as U+FFFD
        L"a\xDE00" L"b\xD800",
        std::wstring(20000, L'a'),      // grows it again
    };
    std::vector<char> buffer;
    for (const std::wstring& text : cases) {
        SCOPED_TRACE(testing::Message() << text.size() << " units");
        const std::size_t bytes = WideToUtf8Line(text.data(), text.size(), buffer);
        ASSERT_LE(bytes, buffer.size());
        EXPECT_EQ(std::string(buffer.data(), bytes), WideToUtf8(text) + "\n");
    }
}

TEST(TextHelpers, CutText)
{
    struct Case {
        std::wstring text;
        std::size_t max;
        std::wstring cut;
    };
    const std::wstring title199 = std::wstring(199, L't');
    const Case cases[] = {
        {L"", 200, L""},
        {L"short", 200, L"short"},
        {L"exact", 5, L"exact"},
        {L"longer", 4, L"long"},
        {L"abc", 0, L""},
        {L"\x65E5\x672C\x8A9E", 2, L"\x65E5\x672C"},
        {L"ab\xD83D\xDE00" L"cd", 4, L"ab\xD83D\xDE00"},  // the pair fits whole
        {L"ab\xD83D\xDE00" L"cd", 3, L"ab"},              // the pair is not split
        {L"\xD83D\xDE00", 1, L""},
        {L"ab\xD83D" L"cd", 3, L"ab\xD83D"},              // an unpaired surrogate is just a unit
        {title199 + L"\xD83D\xDE00" + L"tail", 200, title199},
        {title199 + L"x\xD83D\xDE00", 200, title199 + L"x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text.size() << " units cut to " << c.max);
        EXPECT_EQ(CutText(c.text, c.max), c.cut);
    }
}

}  // namespace
