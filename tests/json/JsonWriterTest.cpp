// The writer: how each code unit of a string is quoted, and the compact,
// whitespace-free form of built trees.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "JsonValue.h"

using namespace std::string_literals;

namespace {

struct QuoteCase {
    const char* name;
    std::wstring text;
    const wchar_t* quoted;
};

void PrintTo(const QuoteCase& c, std::ostream* os) { *os << c.name; }

class JsonQuote : public testing::TestWithParam<QuoteCase> {};

TEST_P(JsonQuote, QuotesStringsAndNamesAlike)
{
    const QuoteCase& c = GetParam();
    const std::wstring quoted = QuoteJsonString(c.text);
    EXPECT_EQ(quoted, c.quoted);
    for (wchar_t unit : quoted) {
        EXPECT_TRUE(unit >= 0x20 && unit <= 0x7E) << "non-printable unit " << static_cast<unsigned>(unit);
    }
    EXPECT_EQ(JsonValue::MakeString(c.text)->Serialize(), c.quoted);

    JsonValue::ObjectMembers members;
    members.emplace(c.text, JsonValue::MakeNull());
    EXPECT_EQ(JsonValue::MakeObject(std::move(members))->Serialize(), L"{"s + c.quoted + L":null}");
}

std::wstring Units(std::initializer_list<unsigned> units)
{
    std::wstring s;
    for (unsigned u : units) s.push_back(static_cast<wchar_t>(u));
    return s;
}

const QuoteCase kQuotes[] = {
    {"Empty", L"", LR"("")"},
    {"PrintableAscii", L" azAZ09~!#{}[]:,", LR"(" azAZ09~!#{}[]:,")"},
    {"QuotationMark", L"a\"b", LR"("a\"b")"},
    {"Backslash", L"a\\b", LR"("a\\b")"},
    {"Solidus", L"a/b", LR"("a\/b")"},
    {"Backspace", L"\b", LR"("\b")"},
    {"FormFeed", L"\f", LR"("\f")"},
    {"LineFeed", L"\n", LR"("\n")"},
    {"CarriageReturn", L"\r", LR"("\r")"},
    {"Tab", L"\t", LR"("\t")"},
    {"UnitOne", Units({0x01}), LR"("\u0001")"},
    {"VerticalTab", Units({0x0B}), LR"("\u000B")"},
    {"UnitOneF", Units({0x1F}), LR"("\u001F")"},
    {"Delete", Units({0x7F}), LR"("\u007F")"},
    {"NulInside", Units({'a', 0x00, 'b'}), LR"("a\u0000b")"},
    {"EAcute", Units({0xE9}), LR"("\u00E9")"},
    {"NoBreakSpace", Units({0xA0}), LR"("\u00A0")"},
    {"CjkIdeograph", Units({0x65E5}), LR"("\u65E5")"},
    {"UpperCaseHexLetters", Units({0xABCD, 0xFEFF}), LR"("\uABCD\uFEFF")"},
    {"SurrogatePair", Units({0xD83D, 0xDE00}), LR"("\uD83D\uDE00")"},
    {"LoneHighSurrogate", Units({'x', 0xD800}), LR"("x\uD800")"},
    {"LoneLowSurrogate", Units({0xDFFF, 'x'}), LR"("\uDFFFx")"},
    {"HighestUnit", Units({0xFFFF}), LR"("\uFFFF")"},
    {"Mixed", Units({'<', 0xE9, '/', '\n', '>'}), LR"("<\u00E9\/\n>")"},
};

INSTANTIATE_TEST_SUITE_P(CodeUnits, JsonQuote, testing::ValuesIn(kQuotes),
                         [](const testing::TestParamInfo<QuoteCase>& info) { return std::string(info.param.name); });

TEST(JsonWriter, BuiltTreeIsCompact)
{
    JsonValue::ArrayItems inner;
    inner.push_back(JsonValue::MakeNumber(1));
    inner.push_back(JsonValue::MakeArray({}));
    JsonValue::ArrayItems items;
    items.push_back(JsonValue::MakeNull());
    items.push_back(JsonValue::MakeBool(true));
    items.push_back(JsonValue::MakeBool(false));
    items.push_back(JsonValue::MakeNumber(-1.5));
    items.push_back(JsonValue::MakeString(L"x y"));
    items.push_back(JsonValue::MakeArray(std::move(inner)));
    items.push_back(JsonValue::MakeObject({}));
    JsonValue::Ptr array = JsonValue::MakeArray(std::move(items));
    array->Append(JsonValue::MakeNumber(0.25));
    EXPECT_EQ(array->Serialize(), LR"([null,true,false,-1.5,"x y",[1,[]],{},0.25])");

    JsonValue::Ptr object = JsonValue::MakeObject({});
    object->SetMember(L"list", std::move(array));
    object->SetMember(L"flag", JsonValue::MakeBool(false));
    EXPECT_EQ(object->Serialize(), LR"({"flag":false,"list":[null,true,false,-1.5,"x y",[1,[]],{},0.25]})");

    std::wstring out = L"prefix:";
    object->SerializeTo(out);
    EXPECT_EQ(out, L"prefix:" + object->Serialize());
}

TEST(JsonWriter, ParsedTextWrittenBackCompactly)
{
    JsonValue::Ptr value = JsonValue::Parse(L"{\r\n\t\"b\" : [ 1 , \"\u00e9\" ] ,\n\t\"a\" : null\r\n}\n");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->Serialize(), LR"({"a":null,"b":[1,"\u00E9"]})");
    // Writing is stable: the written text reads back to the same text.
    JsonValue::Ptr again = JsonValue::Parse(value->Serialize());
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Serialize(), value->Serialize());
}

TEST(JsonWriter, EscapedFormIsTheTextWithQuotesAndBackslashesEscaped)
{
    // What goes inside another JSON string: the compact text, every
    // quotation mark and backslash of it behind a backslash of its own.
    const auto escapedByHand = [](const std::wstring& text) {
        std::wstring out;
        for (wchar_t c : text) {
            if (c == L'"' || c == L'\\') out.push_back(L'\\');
            out.push_back(c);
        }
        return out;
    };
    const wchar_t* const texts[] = {
        LR"({"b":"q\"uote","a":"back\\slash","c":"a/b\b\f\n\r\t\u0001\u007f\u00e9\ud83d\ude00"})",
        LR"([null,true,false,-0,0.1,1e300,-12345678901234567,"",[],{}])",
        LR"("just a string")",
        L"3.25",
        LR"({"nested":{"deeper":[{"\"":"\\"}]}})",
    };
    for (const wchar_t* text : texts) {
        JsonValue::Ptr value = JsonValue::Parse(text);
        ASSERT_NE(value, nullptr) << testing::PrintToString(text);
        std::wstring escaped = L"prefix:";
        value->SerializeEscapedTo(escaped);
        EXPECT_EQ(escaped, L"prefix:" + escapedByHand(value->Serialize())) << testing::PrintToString(text);
    }

    // Long strings cross the writer's internal pieces in both forms.
    const std::wstring longText = std::wstring(3000, L'x') + L"\"\\\x65E5" + std::wstring(5000, L'\x65E5');
    JsonValue::Ptr value = JsonValue::MakeString(longText);
    std::wstring escaped;
    value->SerializeEscapedTo(escaped);
    EXPECT_EQ(escaped, escapedByHand(value->Serialize()));
    EXPECT_EQ(value->Serialize().size(), 2 + 3000 + 2 + 2 + 6 + 5000 * 6u);
}

}  // namespace
