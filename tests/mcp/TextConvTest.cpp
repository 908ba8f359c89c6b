// UTF-8 <-> UTF-16 at the program's edges, and the escaping of text that is
// spliced into hand-built JSON.
#include <gtest/gtest.h>

#include <string>

#include "TextConv.h"

namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::wstring wide;
};

class Utf8Decoding : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, ReplacesWhatIsIllFormed)
{
    EXPECT_EQ(Utf8ToWide(GetParam().utf8), GetParam().wide);
}

INSTANTIATE_TEST_SUITE_P(
    TextConv, Utf8Decoding,
    testing::Values(
        Utf8Case{"Empty", "", L""},
        Utf8Case{"Ascii", "abc", L"abc"},
        Utf8Case{"ThreeByteChar", "\xE6\x97\xA5", L"\x65E5"},
        Utf8Case{"FourByteCharBecomesPair", "\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
        Utf8Case{"NulIsAnOrdinaryChar", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        Utf8Case{"LoneContinuationByte", "a\x80z", L"a\xFFFDz"},
        Utf8Case{"TruncatedSequenceAtEnd", "a\xE6\x97", L"a\xFFFD"},
        Utf8Case{"InvalidByteFF", "\xFF", L"\xFFFD"},
        Utf8Case{"OverlongSlash", "\xC0\xAF", L"\xFFFD\xFFFD"}),
    [](const testing::TestParamInfo<Utf8Case>& info) { return std::string(info.param.name); });

TEST(TextConv, EncodedSurrogateNeverBecomesASurrogate)
{
    // How many U+FFFD stand for the three bytes differs between platform
    // versions; what matters is that no lone surrogate gets into the text.
    const std::wstring text = Utf8ToWide("\xED\xA0\x80");
    ASSERT_FALSE(text.empty());
    for (wchar_t c : text) EXPECT_EQ(c, L'\xFFFD');
}

TEST(TextConv, EncodesAndReplacesLoneSurrogates)
{
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(WideToUtf8(L"a\x65E5"), "a\xE6\x97\xA5");
    EXPECT_EQ(WideToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8(L"x\xD800y"), "x\xEF\xBF\xBDy");
    EXPECT_EQ(WideToUtf8(std::wstring(L"\0", 1)), std::string("\0", 1));
}

TEST(TextConv, EscapeJsonTextEscapesOnlyQuotesBackslashesAndControls)
{
    const struct {
        std::wstring in;
        std::wstring out;
    } cases[] = {
        {L"plain", L"plain"},
        {L"\"q\" \\", L"\\\"q\\\" \\\\"},
        {L"\b\t\n\f\r", L"\\b\\t\\n\\f\\r"},
        {std::wstring(L"\0\x01\x1f", 3), L"\\u0000\\u0001\\u001f"},
        {L"/ \x7F \x65E5 \xD800", L"/ \x7F \x65E5 \xD800"},  // solidus, DEL, non-ASCII, lone surrogate kept
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeJsonText(c.in), c.out);
}

}  // namespace
