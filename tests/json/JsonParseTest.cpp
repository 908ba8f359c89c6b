// Which texts the parser accepts, and what each accepted text reads as,
// observed through the writer's compact form.

#include <gtest/gtest.h>
#include <windows.h>

#include <ostream>
#include <string>

#include "JsonValue.h"
#include "NestedTexts.h"
#include "UniqueHandle.h"

using namespace std::string_literals;

namespace {

struct ParseCase {
    const char* name;
    std::wstring input;
    const wchar_t* written;  // the compact form of the result; null when the text is refused
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

class JsonParseCase : public testing::TestWithParam<ParseCase> {};

TEST_P(JsonParseCase, AcceptsOrRefuses)
{
    const ParseCase& c = GetParam();
    JsonValue::Ptr value = JsonValue::Parse(c.input);
    if (c.written == nullptr) {
        EXPECT_EQ(value, nullptr) << "accepted, read as " << testing::PrintToString(value->Serialize());
    } else {
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->Serialize(), c.written);
    }
}

const wchar_t* const kRefused = nullptr;

const ParseCase kWhitespace[] = {
    {"AllFourWhitespaceKindsAround", L" \t\r\n1 \t\r\n", L"1"},
    {"WhitespaceBetweenEveryToken", LR"( { "a" : [ 1 , true ] , "b" : { } } )", LR"({"a":[1,true],"b":{}})"},
    {"VerticalTabIsNotWhitespace", L"\v1", kRefused},
    {"FormFeedIsNotWhitespace", L"1\f", kRefused},
    {"NoBreakSpaceIsNotWhitespace", L"\u00A01", kRefused},
    {"ByteOrderMarkIsNotWhitespace", L"\uFEFF1", kRefused},
    {"IdeographicSpaceInsideArray", L"[1,\u30002]", kRefused},
    {"EmptyText", L"", kRefused},
    {"OnlyWhitespace", L" \t\r\n ", kRefused},
};

const ParseCase kLiterals[] = {
    {"LowerCaseLiterals", L"[true,false,null]", L"[true,false,null]"},
    {"UpperCaseTrue", L"TRUE", L"true"},
    {"CapitalisedFalse", L"False", L"false"},
    {"UpperCaseNull", L"NULL", L"null"},
    {"MixedCaseInsideArray", L"[tRuE,fALSE,nUlL]", L"[true,false,null]"},
    {"TruncatedTrue", L"tru", kRefused},
    {"TruncatedNullInArray", L"[nul]", kRefused},
    {"LetterAfterLiteral", L"truex", kRefused},
    {"LetterAfterLiteralInArray", L"[nullx]", kRefused},
    {"LiteralsWithoutComma", L"[true false]", kRefused},
    {"UnknownWord", L"undefined", kRefused},
    {"NaNWord", L"NaN", kRefused},
    {"InfinityWord", L"Infinity", kRefused},
};

const ParseCase kTrailingContent[] = {
    {"TwoNumbers", L"1 2", kRefused},
    {"TwoObjects", L"{}{}", kRefused},
    {"ExtraClosingBracket", L"[]]", kRefused},
    {"LetterAfterString", L"\"a\"b", kRefused},
    {"CommaAfterValue", L"1,", kRefused},
    {"TwoNulls", L"null null", kRefused},
};

const ParseCase kContainers[] = {
    {"EmptyArray", L"[]", L"[]"},
    {"EmptyArrayWithSpace", L"[ ]", L"[]"},
    {"EmptyObject", L"{}", L"{}"},
    {"EmptyObjectWithNewline", L"{\n}", L"{}"},
    {"NestedEmpties", L"[[],[[]],{},{\"a\":[]}]", L"[[],[[]],{},{\"a\":[]}]"},
    {"ArrayKeepsOrder", L"[3,1,2]", L"[3,1,2]"},
    {"TopLevelString", L"\"x\"", L"\"x\""},
    {"ArrayTrailingComma", L"[1,]", kRefused},
    {"ObjectTrailingComma", LR"({"a":1,})", kRefused},
    {"ArrayLeadingComma", L"[,1]", kRefused},
    {"ArrayOnlyComma", L"[,]", kRefused},
    {"ObjectOnlyComma", L"{,}", kRefused},
    {"ArrayDoubleComma", L"[1,,2]", kRefused},
    {"ArrayMissingComma", L"[1 2]", kRefused},
    {"ObjectMissingComma", LR"({"a":1 "b":2})", kRefused},
    {"ColonInArray", L"[1:2]", kRefused},
    {"ArrayClosedByBrace", L"[1}", kRefused},
    {"ObjectClosedByBracket", LR"({"a":1])", kRefused},
    {"LoneClosingBracket", L"]", kRefused},
    {"LoneClosingBrace", L"}", kRefused},
    {"UnterminatedArray", L"[", kRefused},
    {"UnterminatedArrayAfterValue", L"[1", kRefused},
    {"UnterminatedArrayAfterComma", L"[1,", kRefused},
    {"UnterminatedObject", L"{", kRefused},
    {"UnterminatedObjectAfterName", LR"({"a")", kRefused},
    {"UnterminatedObjectAfterColon", LR"({"a":)", kRefused},
    {"UnterminatedObjectAfterValue", LR"({"a":1)", kRefused},
    {"UnterminatedObjectAfterComma", LR"({"a":1,)", kRefused},
};

const ParseCase kMemberNames[] = {
    {"BareName", L"{a:1}", kRefused},
    {"SingleQuotedName", L"{'a':1}", kRefused},
    {"NumberAsName", L"{1:1}", kRefused},
    {"LiteralAsName", L"{null:1}", kRefused},
    {"NameWithoutColon", LR"({"a" 1})", kRefused},
    {"NameWithoutValue", LR"({"a"})", kRefused},
    {"ColonWithoutValue", LR"({"a":})", kRefused},
    {"EqualsForColon", LR"({"a"=1})", kRefused},
    {"EmptyNameIsFine", LR"({"":1})", LR"({"":1})"},
    {"EscapedName", LR"({"a\"b\u00e9":1})", LR"({"a\"b\u00E9":1})"},
};

const ParseCase kBadNumbers[] = {
    {"LeadingZero", L"01", kRefused},
    {"NegativeLeadingZero", L"-01", kRefused},
    {"DoubleZero", L"00", kRefused},
    {"LeadingZeroInArray", L"[01]", kRefused},
    {"LeadingZeroAsMember", LR"({"a":01})", kRefused},
    {"EmptyFraction", L"1.", kRefused},
    {"EmptyFractionBeforeExponent", L"1.e5", kRefused},
    {"NoIntegerPart", L".5", kRefused},
    {"NegativeNoIntegerPart", L"-.5", kRefused},
    {"PlusSign", L"+1", kRefused},
    {"LoneMinus", L"-", kRefused},
    {"MinusThenLetter", L"-a", kRefused},
    {"DoubleMinus", L"--1", kRefused},
    {"MinusThenSpace", L"- 1", kRefused},
    {"EmptyExponent", L"1e", kRefused},
    {"SignedEmptyExponent", L"1e+", kRefused},
    {"UpperSignedEmptyExponent", L"1E-", kRefused},
    {"FractionalExponent", L"1e1.5", kRefused},
    {"TwoFullStops", L"1.2.3", kRefused},
    {"HexNumber", L"0x10", kRefused},
    {"NumbersInArray", L"[-0,1e2,0.5,-12]", L"[-0,100,0.5,-12]"},
};

const ParseCase kStrings[] = {
    {"AllShortEscapes", LR"("\"\\\/\b\f\n\r\t")", LR"("\"\\\/\b\f\n\r\t")"},
    {"UnicodeEscapeLowerHex", LR"("\u00e9")", LR"("\u00E9")"},
    {"UnicodeEscapeAsciiLetter", LR"("\u0041\u007a")", LR"("Az")"},
    {"SurrogatePairEscapes", LR"("\ud83d\ude00")", LR"("\uD83D\uDE00")"},
    {"LoneSurrogateEscapes", LR"("\uDC00x\uD800")", LR"("\uDC00x\uD800")"},
    {"EscapedNul", LR"("a\u0000b")", LR"("a\u0000b")"},
    {"SolidusUnescaped", L"\"a/b\"", LR"("a\/b")"},
    {"RawTab", L"\"a\tb\"", LR"("a\tb")"},
    {"RawDelete", L"\"\x7F\"", LR"("\u007F")"},
    {"RawNonAscii", L"\"\u65E5\u00E9\"", LR"("\u65E5\u00E9")"},
    {"RawSurrogatePair", L"\"\xD83D\xDE00\"", LR"("\uD83D\uDE00")"},
    {"RawLineFeed", L"\"a\nb\"", kRefused},
    {"RawCarriageReturn", L"\"a\rb\"", kRefused},
    {"RawUnitOne", L"\"\x01\"", kRefused},
    {"RawUnitOneF", L"\"\x1F\"", kRefused},
    {"HexEscape", LR"("\x41")", kRefused},
    {"UpperCaseUEscape", LR"("\U0041")", kRefused},
    {"ApostropheEscape", LR"("\'")", kRefused},
    {"BellEscape", LR"("\a")", kRefused},
    {"EscapedLineFeed", L"\"\\\n\"", kRefused},
    {"ShortUnicodeEscape", LR"("\u12")", kRefused},
    {"NonHexInUnicodeEscape", LR"("\u12G4")", kRefused},
    {"UnicodeEscapeCutByEnd", LR"("\u00e)", kRefused},
    {"BackslashAtEnd", LR"("\)", kRefused},
    {"UnterminatedString", LR"("abc)", kRefused},
    {"OnlyQuotationMark", L"\"", kRefused},
    {"EscapedClosingQuote", LR"("abc\")", kRefused},
    {"UnterminatedStringInArray", LR"(["a])", kRefused},
};

// The first U+0000 ends the input, wherever it stands.
const ParseCase kNulEndsInput[] = {
    {"ValueThenNulThenJunk", L"[1]\0garbage"s, L"[1]"},
    {"WhitespaceThenNulThenValue", L"1 \0 2"s, L"1"},
    {"NulInsideArray", L"[1\0]"s, kRefused},
    {"NulInsideString", L"\"ab\0cd\""s, kRefused},
    {"NulInsideLiteral", L"tr\0ue"s, kRefused},
    {"NulFirst", L"\0 1"s, kRefused},
};

std::string CaseName(const testing::TestParamInfo<ParseCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Whitespace, JsonParseCase, testing::ValuesIn(kWhitespace), CaseName);
INSTANTIATE_TEST_SUITE_P(Literals, JsonParseCase, testing::ValuesIn(kLiterals), CaseName);
INSTANTIATE_TEST_SUITE_P(TrailingContent, JsonParseCase, testing::ValuesIn(kTrailingContent), CaseName);
INSTANTIATE_TEST_SUITE_P(Containers, JsonParseCase, testing::ValuesIn(kContainers), CaseName);
INSTANTIATE_TEST_SUITE_P(MemberNames, JsonParseCase, testing::ValuesIn(kMemberNames), CaseName);
INSTANTIATE_TEST_SUITE_P(BadNumbers, JsonParseCase, testing::ValuesIn(kBadNumbers), CaseName);
INSTANTIATE_TEST_SUITE_P(Strings, JsonParseCase, testing::ValuesIn(kStrings), CaseName);
INSTANTIATE_TEST_SUITE_P(NulEndsInput, JsonParseCase, testing::ValuesIn(kNulEndsInput), CaseName);

TEST(JsonParse, StringPayloadKeepsEveryCodeUnit)
{
    // Escaped U+0000, a lone surrogate, a raw TAB and a non-ASCII unit all
    // survive into the payload exactly, one code unit each.
    JsonValue::Ptr value = JsonValue::Parse(L"\"\\u0000a\\uD800\t\\u00e9\u65E5\"");
    ASSERT_NE(value, nullptr);
    ASSERT_TRUE(value->IsString());
    const std::wstring expected{L'\0', L'a', static_cast<wchar_t>(0xD800), L'\t', static_cast<wchar_t>(0xE9),
                                static_cast<wchar_t>(0x65E5)};
    EXPECT_EQ(value->StringValue(), expected);
}

TEST(JsonParse, ValuesHaveTheirKinds)
{
    JsonValue::Ptr value = JsonValue::Parse(LR"([null,"s",FALSE,-2.5,[1],{"k":0}])");
    ASSERT_NE(value, nullptr);
    ASSERT_TRUE(value->IsArray());
    const auto& items = value->Items();
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items[0]->Kind(), JsonKind::Null);
    EXPECT_EQ(items[1]->Kind(), JsonKind::String);
    EXPECT_EQ(items[1]->StringValue(), L"s");
    EXPECT_EQ(items[2]->Kind(), JsonKind::Bool);
    EXPECT_FALSE(items[2]->BoolValue());
    EXPECT_EQ(items[3]->Kind(), JsonKind::Number);
    EXPECT_EQ(items[3]->NumberValue(), -2.5);
    EXPECT_EQ(items[4]->Kind(), JsonKind::Array);
    EXPECT_EQ(items[4]->Items().size(), 1u);
    EXPECT_EQ(items[5]->Kind(), JsonKind::Object);
    EXPECT_TRUE(items[5]->HasMember(L"k"));
}

TEST(JsonParse, LengthBoundsTheInput)
{
    const wchar_t text[] = L"[1]xyz";
    JsonValue::Ptr whole = JsonValue::Parse(text, 6);
    EXPECT_EQ(whole, nullptr);
    JsonValue::Ptr prefix = JsonValue::Parse(text, 3);
    ASSERT_NE(prefix, nullptr);
    EXPECT_EQ(prefix->Serialize(), L"[1]");
    EXPECT_EQ(JsonValue::Parse(text, 2), nullptr);
    EXPECT_EQ(JsonValue::Parse(text, 0), nullptr);
}

// Parsing, writing, copying and destroying all recurse once per level. A
// Windows thread made with the defaults reserves 1 MiB of stack; on such a
// thread the deepest text the parser accepts must go through all four, and
// anything deeper must be refused without running out of stack. (Under Wine
// a thread that overflows its stack just ends, so each run says whether it
// got to its end.)
constexpr SIZE_T kDefaultThreadStack = 1 << 20;

struct DepthRun {
    std::wstring text;
    bool parsed = false;
    std::wstring written;
    std::wstring cloneWritten;
    bool finished = false;
};

DWORD WINAPI RunDepthCase(void* param)
{
    DepthRun& run = *static_cast<DepthRun*>(param);
    {
        JsonValue::Ptr value = JsonValue::Parse(run.text);
        run.parsed = value != nullptr;
        if (value) {
            run.written = value->Serialize();
            run.cloneWritten = value->Clone()->Serialize();
        }
    }
    run.finished = true;
    return 0;
}

void RunOnDefaultStack(DepthRun& run)
{
    UniqueHandle thread(CreateThread(nullptr, kDefaultThreadStack, &RunDepthCase, &run,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(thread.get(), INFINITE), WAIT_OBJECT_0);
    DWORD code = 1;
    ASSERT_TRUE(GetExitCodeThread(thread.get(), &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(run.finished) << "the thread ran out of stack";
}

std::wstring NestedMixed(int depth)
{
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += i % 2 ? L"{\"k\":" : L"[0,";
    text += L"1";
    for (int i = depth - 1; i >= 0; --i) text += i % 2 ? L"}" : L"]";
    return text;
}

TEST(JsonParseDepth, DeepestAcceptedTextsRoundTripOnDefaultStack)
{
    for (const std::wstring& text :
         {NestedArrays(kMaxJsonParseDepth), NestedObjects(kMaxJsonParseDepth), NestedMixed(kMaxJsonParseDepth)}) {
        ASSERT_FALSE(ExceedsJsonDepth(text, kMaxJsonParseDepth));
        DepthRun run;
        run.text = text;
        RunOnDefaultStack(run);
        ASSERT_TRUE(run.parsed) << text.substr(0, 12);
        EXPECT_EQ(run.written, text);
        EXPECT_EQ(run.cloneWritten, text);
    }
}

TEST(JsonParseDepth, OneLevelDeeperIsRefused)
{
    for (const std::wstring& text : {NestedArrays(kMaxJsonParseDepth + 1), NestedObjects(kMaxJsonParseDepth + 1),
                                     NestedMixed(kMaxJsonParseDepth + 1)}) {
        DepthRun run;
        run.text = text;
        RunOnDefaultStack(run);
        EXPECT_FALSE(run.parsed) << text.substr(0, 12);
    }
}

TEST(JsonParseDepth, UnclosedBracketsFillingAPipeMessageAreRefused)
{
    // What a caller that forgot its own depth check could be handed: 64 KiB
    // of opening brackets, or of array-in-object openings.
    std::wstring objects;
    while (objects.size() < 65536) objects += LR"({"a":[)";
    for (const std::wstring& text : {std::wstring(65536, L'['), objects}) {
        DepthRun run;
        run.text = text;
        RunOnDefaultStack(run);
        EXPECT_FALSE(run.parsed);
    }
}

TEST(JsonParseDepth, BoundIsAboveEveryCallersOwnCheck)
{
    // tessary-mcp checks client messages and replies at 1000 levels, the
    // plug-in pipe requests at 64: any text those checks let through must
    // never be refused for its depth by the parser itself.
    DepthRun run;
    run.text = NestedArrays(1000);
    RunOnDefaultStack(run);
    EXPECT_TRUE(run.parsed);
}

}  // namespace
