// Objects (member order, duplicates, lookups), deep copies, and the bracket
// depth check that guards the parser against untrusted nesting.

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "JsonValue.h"
#include "NestedTexts.h"

using namespace std::string_literals;

namespace {

TEST(JsonObject, MembersKeptInCodeUnitOrder)
{
    // Unsigned 16-bit order: U+00E9 after "z", a prefix before its
    // extensions, and a surrogate pair (U+D83D...) before U+FF01 even though
    // its code point is higher.
    const std::wstring text = LR"({"z":1,"\u00e9":2,"ab":3,"a":4,"":5,"B":6,"\uFF01":7,"\uD83D\uDE00":8})";
    const std::vector<std::wstring> order{
        L"", L"B", L"a", L"ab", L"z", L"\u00E9", L"\xD83D\xDE00", L"\uFF01"};
    const wchar_t* written = LR"({"":5,"B":6,"a":4,"ab":3,"z":1,"\u00E9":2,"\uD83D\uDE00":8,"\uFF01":7})";

    JsonValue::Ptr parsed = JsonValue::Parse(text);
    ASSERT_NE(parsed, nullptr);
    std::vector<std::wstring> names;
    for (const auto& member : parsed->Members()) names.push_back(member.first);
    EXPECT_EQ(names, order);
    EXPECT_EQ(parsed->Serialize(), written);

    // Members added one by one, in reverse, end up in the same order.
    JsonValue::Ptr built = JsonValue::MakeObject({});
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        built->SetMember(*it, parsed->GetMember(*it)->Clone());
    }
    EXPECT_EQ(built->Serialize(), written);
}

TEST(JsonObject, LaterDuplicateWins)
{
    struct Case {
        const wchar_t* input;
        const wchar_t* written;
    };
    const Case cases[] = {
        {LR"({"a":1,"a":2})", LR"({"a":2})"},
        {LR"({"a":{"x":1},"b":0,"a":[2]})", LR"({"a":[2],"b":0})"},
        {LR"({"a":1,"\u0061":"escaped"})", LR"({"a":"escaped"})"},
        {LR"([{"k":true,"k":null}])", LR"([{"k":null}])"},
    };
    for (const Case& c : cases) {
        JsonValue::Ptr value = JsonValue::Parse(c.input);
        ASSERT_NE(value, nullptr) << testing::PrintToString(c.input);
        EXPECT_EQ(value->Serialize(), c.written);
    }

    JsonValue::Ptr object = JsonValue::MakeObject({});
    object->SetMember(L"a", JsonValue::MakeNumber(1));
    object->SetMember(L"a", JsonValue::MakeString(L"two"));
    EXPECT_EQ(object->Serialize(), LR"({"a":"two"})");
}

TEST(JsonObject, LookupIsExact)
{
    JsonValue::Ptr object = JsonValue::Parse(LR"({"a":1,"ab":null,"":"empty","\u00e9":true,"o":{"inner":1}})");
    ASSERT_NE(object, nullptr);

    const JsonValue* a = object->GetMember(L"a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->NumberValue(), 1.0);
    EXPECT_EQ(a, object->Members().at(L"a").get());  // lent, not copied

    // A member whose value is null is still present.
    EXPECT_TRUE(object->HasMember(L"ab"));
    ASSERT_NE(object->GetMember(L"ab"), nullptr);
    EXPECT_TRUE(object->GetMember(L"ab")->IsNull());

    EXPECT_TRUE(object->HasMember(L""));
    EXPECT_TRUE(object->HasMember(L"\u00E9"));

    const std::wstring absent[] = {L"A", L"b", L"a ", L" a", L"e", L"\u00C9", L"inner", L"a\0"s};
    for (const std::wstring& name : absent) {
        EXPECT_FALSE(object->HasMember(name)) << testing::PrintToString(name);
        EXPECT_EQ(object->GetMember(name), nullptr) << testing::PrintToString(name);
    }
}

TEST(JsonObject, LookupOnOtherKindsFindsNothing)
{
    const wchar_t* const others[] = {LR"([{"a":1}])", LR"("a")", L"null", L"1", L"true", L"[]"};
    for (const wchar_t* text : others) {
        JsonValue::Ptr value = JsonValue::Parse(text);
        ASSERT_NE(value, nullptr) << testing::PrintToString(text);
        EXPECT_FALSE(value->HasMember(L"a")) << testing::PrintToString(text);
        EXPECT_EQ(value->GetMember(L"a"), nullptr) << testing::PrintToString(text);
    }
}

// The writer's form is plain ASCII, so it narrows without loss.
std::string Ascii(const std::wstring& written) { return std::string(written.begin(), written.end()); }

// Walks two trees side by side: same kinds and payloads, no node shared.
void ExpectSeparateCopy(const JsonValue& source, const JsonValue& copy, const std::string& path)
{
    SCOPED_TRACE(path);
    ASSERT_NE(&source, &copy);
    ASSERT_EQ(source.Kind(), copy.Kind());
    switch (source.Kind()) {
    case JsonKind::Null: break;
    case JsonKind::Bool: EXPECT_EQ(source.BoolValue(), copy.BoolValue()); break;
    case JsonKind::Number: {
        const double a = source.NumberValue(), b = copy.NumberValue();
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
        break;
    }
    case JsonKind::String:
        EXPECT_EQ(source.StringValue(), copy.StringValue());
        EXPECT_NE(source.StringValue().data(), copy.StringValue().data());
        break;
    case JsonKind::Array:
        ASSERT_EQ(source.Items().size(), copy.Items().size());
        for (std::size_t i = 0; i < source.Items().size(); ++i) {
            ExpectSeparateCopy(*source.Items()[i], *copy.Items()[i], path + "[" + std::to_string(i) + "]");
        }
        break;
    case JsonKind::Object: {
        ASSERT_EQ(source.Members().size(), copy.Members().size());
        auto s = source.Members().begin();
        auto c = copy.Members().begin();
        for (; s != source.Members().end(); ++s, ++c) {
            ASSERT_EQ(s->first, c->first);
            ExpectSeparateCopy(*s->second, *c->second, path + "." + Ascii(QuoteJsonString(s->first)));
        }
        break;
    }
    }
}

TEST(JsonClone, CopyIsDeepAndIndependent)
{
    const wchar_t* text =
        LR"({"arr":[1,"a long string that lives on the heap",null,false,{"k":-0}],)"
        LR"("obj":{"x":"\u00e9\u0000\ud800","empty":{},"none":[]},"n":0.3,"t":TRUE})";
    JsonValue::Ptr source = JsonValue::Parse(text);
    ASSERT_NE(source, nullptr);
    const std::wstring before = source->Serialize();

    JsonValue::Ptr copy = source->Clone();
    ASSERT_NE(copy, nullptr);
    ExpectSeparateCopy(*source, *copy, "root");
    EXPECT_EQ(copy->Serialize(), before);

    // Changing the copy leaves the source as it was.
    copy->SetMember(L"obj", JsonValue::MakeNull());
    copy->SetMember(L"added", JsonValue::MakeNumber(7));
    JsonValue::Ptr arrayCopy = source->GetMember(L"arr")->Clone();
    arrayCopy->Append(JsonValue::MakeString(L"more"));
    EXPECT_EQ(source->Serialize(), before);
    EXPECT_EQ(arrayCopy->Items().size(), source->GetMember(L"arr")->Items().size() + 1);

    // The copy outlives its source.
    const std::wstring copied = copy->Serialize();
    source.reset();
    EXPECT_EQ(copy->Serialize(), copied);
    EXPECT_NE(copied.find(LR"("added":7)"), std::wstring::npos);
}

TEST(JsonClone, ScalarsKeepKindAndPayload)
{
    JsonValue::Ptr scalars[] = {JsonValue::MakeNull(), JsonValue::MakeBool(true), JsonValue::MakeBool(false),
                                JsonValue::MakeNumber(-0.0), JsonValue::MakeNumber(1e300),
                                JsonValue::MakeString(L"a\0b"s), JsonValue::MakeString(L"")};
    for (const JsonValue::Ptr& scalar : scalars) {
        JsonValue::Ptr copy = scalar->Clone();
        ASSERT_NE(copy, nullptr);
        ExpectSeparateCopy(*scalar, *copy, Ascii(scalar->Serialize()));
    }
}

TEST(JsonValues, MadeAndFreedOnSeveralThreadsAtOnce)
{
    // Freed values are kept for reuse by every thread: threads that parse,
    // copy and free trees at the same time, and free trees that another
    // thread made, must each still get exactly their own values.
    std::wstring text = L"[";
    for (int i = 0; i < 300; ++i) {
        if (i) text += L",";
        text += L"{\"n\":" + std::to_wstring(i) + L",\"s\":\"item " + std::to_wstring(i) + L"\",\"a\":[true,null,0.5]}";
    }
    text += L"]";
    const std::wstring expected = JsonValue::Parse(text)->Serialize();

    constexpr int kThreads = 4, kRounds = 60;
    std::vector<JsonValue::Ptr> handedOver[kThreads];
    int wrong[kThreads] = {};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < kRounds; ++r) {
                JsonValue::Ptr value = JsonValue::Parse(text);
                JsonValue::Ptr copy = value->Clone();
                if (!value || value->Serialize() != expected || copy->Serialize() != expected) ++wrong[t];
                handedOver[t].push_back(std::move(copy));  // freed later, by the main thread
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(wrong[t], 0) << "thread " << t;
        ASSERT_EQ(handedOver[t].size(), static_cast<std::size_t>(kRounds));
        EXPECT_EQ(handedOver[t].back()->Serialize(), expected);
    }
    for (auto& trees : handedOver) trees.clear();
    // What the others freed is reused here.
    EXPECT_EQ(JsonValue::Parse(text)->Serialize(), expected);
}

struct DepthCase {
    const char* name;
    std::wstring text;
    int limit;
    bool exceeds;
};

void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }

class JsonDepth : public testing::TestWithParam<DepthCase> {};

TEST_P(JsonDepth, ComparesNestingWithLimit)
{
    const DepthCase& c = GetParam();
    EXPECT_EQ(ExceedsJsonDepth(c.text, c.limit), c.exceeds);
}

const DepthCase kDepths[] = {
    {"SixtyFourArraysAtLimit", NestedArrays(64), 64, false},
    {"SixtyFiveArraysOverLimit", NestedArrays(65), 64, true},
    {"SixtyFourObjectsAtLimit", NestedObjects(64), 64, false},
    {"SixtyFiveObjectsOverLimit", NestedObjects(65), 64, true},
    {"MixedBracketsCount", L"{\"a\":[{\"b\":[]}]}", 3, true},
    {"MixedBracketsAtLimit", L"{\"a\":[{\"b\":[]}]}", 4, false},
    {"SiblingsDoNotAccumulate", L"[[],[],{},[[]]]", 3, false},
    {"ScalarAtLimitZero", L"1", 0, false},
    {"EmptyArrayOverLimitZero", L"[]", 0, true},
    {"EmptyText", L"", 0, false},
    {"BracketsInsideString", LR"(["[[[[{{{{"])", 1, false},
    {"EscapedQuoteKeepsStringOpen", LR"(["\"[[[["])", 1, false},
    {"EscapedBackslashClosesString", LR"(["\\",[[]]])", 2, true},
    {"MemberNameWithBrackets", LR"({"[[[":{}})", 2, false},
    {"NothingAfterNulCounts", std::wstring(L"[]\0[[[[", 7), 1, false},
    {"UnclosedWithinLimit", L"[[[", 3, false},
    {"UnclosedOverLimit", L"[[[[", 3, true},
    {"ExtraClosersIgnored", L"[]]]", 1, false},
};

INSTANTIATE_TEST_SUITE_P(Texts, JsonDepth, testing::ValuesIn(kDepths),
                         [](const testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

}  // namespace
