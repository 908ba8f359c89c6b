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

// An object of more members than are put in order one by one, in reverse
// order of name, some names twice.
std::wstring ManyMembers()
{
    std::wstring text = L"{";
    for (int i = 60; i >= 0; --i) text += L"\"m" + std::to_wstring(i % 45) + L"\":" + std::to_wstring(i) + L",";
    text.back() = L'}';
    return text;
}

// Rewriting a text gives what parsing it and writing the tree gives, in both
// forms, or fails as the parser does and leaves the output alone; what
// breaks here is what the one-pass rewrite does differently: member order,
// repeated names, nesting, escapes that sort otherwise than what they stand
// for, long strings.
TEST(JsonRewrite, WritesWhatParseAndWriteWrite)
{
    const std::wstring longName = std::wstring(700, L'n') + L"\x65E5";
    const std::wstring texts[] = {
        LR"({"b":1,"a":2,"c":3})",
        LR"({"a":1,"b":2,"a":3})",                                  // the last of a name wins
        LR"({"k":{"y":[1,{"q":0,"p":{"z":1,"a":2}}],"x":null},"k":{"m":true,"l":false},"j":1})",
        LR"({"#":1,"\"":2,"\\":3,"\u0000":4,"~":5,"\u00e9":6,"\ud83d\ude00":7,"\uFFFF":8})",
        LR"({"a\/b":"x","a/b":"y","A":[]})",                      // one name, written two ways
        LR"([{"b":1,"a":1},{},[],[{"d":{"c":1,"b":2}}],"",0])",
        // Objects one after another, some with the same names: what is done
        // for one must not be done for another whose names only look alike.
        LR"([{"b":1,"a":2},{"b":3,"a":4},{"ab":1,"c":0,"a":2},{"a":1,"bc":2,"a":3},{"b":5,"a":6,"b":7},{"b":8,"a":9}])",
        LR"(  {"z" : [ TRUE , False , nULL , -0 , 1E2 , 0.1e-3 , 123456789012345678 ] }  )",
        LR"("\b\f\n\r\t\u0001\u007F/\u2028")",
        L"-12.5e-7",
        L"true",
        L"{\"a\":1}\0garbage"s,                                     // the first U+0000 ends the text
        ManyMembers(),
        L"{\"" + longName + L"\":\"" + longName + L"\",\"" + std::wstring(700, L'n') + L"\":0}",
        // Refused: every one must fail and leave the output as it was.
        LR"({"a":1,"b":2,})",
        LR"({"b":{"a":1}} x)",
        LR"({"a" 1})",
        LR"([1,2)",
        L"",
        L"\"unterminated",
        L"{\"a\":\"\x0001\"}",
    };
    for (const std::wstring& text : texts) {
        const JsonValue::Ptr tree = JsonValue::Parse(text);
        for (const bool escaped : {false, true}) {
            std::wstring expected = L"before:", written = L"before:";
            if (tree) escaped ? tree->SerializeEscapedTo(expected) : tree->SerializeTo(expected);
            const JsonRewrite rewrite = RewriteJson(text.data(), text.size(), escaped, written);
            EXPECT_EQ(rewrite.ok, tree != nullptr) << testing::PrintToString(text);
            EXPECT_EQ(written, expected) << testing::PrintToString(text) << (escaped ? " escaped" : "");
            if (tree) {
                EXPECT_EQ(rewrite.rootKind, tree->Kind());
            }
        }
    }
}

// The members of an outermost object come back as written: in name order,
// one per name, each with where its value lies in the output.
TEST(JsonRewrite, TellsWhereTheOutermostMembersLie)
{
    const std::wstring text = LR"({"result":{"y":1,"x":[2]},"ok":false,"id":"1","ok":true})";
    for (const bool escaped : {false, true}) {
        std::wstring out = L"head";
        const JsonRewrite rewrite = RewriteJson(text.data(), text.size(), escaped, out);
        ASSERT_TRUE(rewrite.ok);
        EXPECT_EQ(rewrite.rootKind, JsonKind::Object);
        ASSERT_EQ(rewrite.rootMembers.size(), 3u);
        const auto value = [&](std::size_t i) {
            const JsonWrittenMember& m = rewrite.rootMembers[i];
            return out.substr(m.valueBegin, m.valueEnd - m.valueBegin);
        };
        EXPECT_EQ(rewrite.rootMembers[0].name, L"id");
        EXPECT_EQ(value(0), escaped ? LR"(\"1\")" : LR"("1")");
        EXPECT_EQ(rewrite.rootMembers[1].name, L"ok");
        EXPECT_EQ(value(1), L"true");
        EXPECT_EQ(rewrite.rootMembers[2].name, L"result");
        EXPECT_EQ(value(2), escaped ? LR"({\"x\":[2],\"y\":1})" : LR"({"x":[2],"y":1})");
    }
    std::wstring out;
    const std::wstring array = LR"([{"a":1}])";
    const JsonRewrite notAnObject = RewriteJson(array.data(), array.size(), false, out);
    EXPECT_TRUE(notAnObject.ok);
    EXPECT_EQ(notAnObject.rootKind, JsonKind::Array);
    EXPECT_TRUE(notAnObject.rootMembers.empty());
}

}  // namespace
