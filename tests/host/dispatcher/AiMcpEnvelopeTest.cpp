// The pipe protocol's envelopes, escaping, request parsing, depth check and
// parameter accessors: the pure functions every tool answer goes through.
#include <gtest/gtest.h>

#include <string>

#include "AiMcpEnvelope.h"

namespace {

std::wstring Nested(int depth, const std::wstring& inner = L"")
{
    return std::wstring(depth, L'[') + inner + std::wstring(depth, L']');
}

TEST(Envelope, EscapeJsonString)
{
    const struct {
        std::wstring text, escaped;
    } cases[] = {
        {L"", L""},
        {L"plain text 123", L"plain text 123"},
        {L"\b\t\n\f\r", L"\\b\\t\\n\\f\\r"},
        {L"say \"hi\" \\ bye", L"say \\\"hi\\\" \\\\ bye"},
        {std::wstring(1, L'\0') + L"\x01\x0b\x1f", L"\\u0000\\u0001\\u000b\\u001f"},
        {L" /\x7f", L" /\x7f"},                          // slash and DEL stay
        {L"\x00e9\x65e5\xd83d\xde00", L"\x00e9\x65e5\xd83d\xde00"},  // non-ASCII stays
        {L"\xd800x\xdc00", L"\xd800x\xdc00"},            // lone surrogates stay
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeJsonString(c.text), c.escaped) << testing::PrintToString(c.text);
}

TEST(Envelope, AnswersEscapeIdAndMessageButNotResultOrCode)
{
    EXPECT_EQ(BuildOkAnswer(L"7", L"{\"pong\":true}"), L"{\"id\":\"7\",\"ok\":true,\"result\":{\"pong\":true}}");
    EXPECT_EQ(BuildOkAnswer(L"a\"\n", L"{\"t\":\"\\\"\"}"),
              L"{\"id\":\"a\\\"\\n\",\"ok\":true,\"result\":{\"t\":\"\\\"\"}}");
    EXPECT_EQ(BuildErrorAnswer(L"", kNotFound, L"no calendar \"x\\y\"\t\x65e5"),
              L"{\"id\":\"\",\"ok\":false,\"error\":{\"code\":\"NOT_FOUND\","
              L"\"message\":\"no calendar \\\"x\\\\y\\\"\\t\x65e5\"}}");

    const struct {
        const wchar_t* code;
        const wchar_t* word;
    } codes[] = {{kInvalidParams, L"INVALID_PARAMS"}, {kUnauthorized, L"UNAUTHORIZED"},
                 {kFeatureDisabled, L"FEATURE_DISABLED"}, {kNotFound, L"NOT_FOUND"},
                 {kInvalidTime, L"INVALID_TIME"}, {kQuotaExceeded, L"QUOTA_EXCEEDED"},
                 {kInternal, L"INTERNAL"}};
    for (const auto& c : codes) EXPECT_STREQ(c.code, c.word);
}

TEST(Envelope, ParseRequest)
{
    const struct {
        std::wstring text;
        bool valid;
        std::wstring id, token, method, params;
    } cases[] = {
        {L"{\"id\":\"1\",\"token\":\"t\",\"method\":\"calendar_list\",\"params\":{\"b\":2,\"a\":\"x\"}}", true,
         L"1", L"t", L"calendar_list", L"{\"a\":\"x\",\"b\":2}"},
        // The token inside params stands in for a missing or non-string one.
        {L"{\"method\":\"m\",\"params\":{\"token\":\"inner\"}}", true, L"", L"inner", L"m",
         L"{\"token\":\"inner\"}"},
        {L"{\"token\":5,\"params\":{\"token\":\"inner\"}}", true, L"", L"inner", L"", L"{\"token\":\"inner\"}"},
        {L"{\"token\":\"outer\",\"params\":{\"token\":\"inner\"}}", true, L"", L"outer", L"",
         L"{\"token\":\"inner\"}"},
        {L"{\"token\":null,\"params\":{\"token\":7}}", true, L"", L"", L"", L"{\"token\":7}"},
        // Other kinds read as empty.
        {L"{\"id\":5,\"method\":true,\"params\":[1,2]}", true, L"", L"", L"", L""},
        {L"{\"params\":\"{}\"}", true, L"", L"", L"", L""},
        {L" {} ", true, L"", L"", L"", L""},
        // Strings end at their first U+0000.
        {L"{\"id\":\"a\\u0000b\",\"token\":\"t\\u0000u\",\"method\":\"\\u0000m\"}", true, L"a", L"t", L"", L""},
        // Not a JSON object.
        {L"", false, L"", L"", L"", L""},
        {L"[{\"id\":\"1\"}]", false, L"", L"", L"", L""},
        {L"{\"id\":\"1\"", false, L"", L"", L"", L""},
        {L"{\"id\":\"1\"} x", false, L"", L"", L"", L""},
        {L"\"{}\"", false, L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        const AiMcpRequest r = ParseRequest(c.text);
        EXPECT_EQ(r.valid, c.valid);
        EXPECT_EQ(r.id, c.id);
        EXPECT_EQ(r.token, c.token);
        EXPECT_EQ(r.method, c.method);
        EXPECT_EQ(r.params, c.params);
    }
}

TEST(Envelope, CheckJsonDepthAllows64Levels)
{
    EXPECT_TRUE(CheckJsonDepth(L"{\"a\":" + Nested(63) + L"}"));
    EXPECT_FALSE(CheckJsonDepth(L"{\"id\":\"1\",\"a\":" + Nested(64) + L"}"));
    EXPECT_TRUE(CheckJsonDepth(Nested(64)));
    EXPECT_FALSE(CheckJsonDepth(Nested(65)));
    // Only the deepest point counts, not the total.
    EXPECT_TRUE(CheckJsonDepth(L"[" + Nested(63) + L"," + Nested(63) + L"]"));

    // Brackets inside strings do not count, escaped quotes do not end them,
    // and an escaped backslash does not escape the closing quote.
    const std::wstring brackets(1000, L'[');
    EXPECT_TRUE(CheckJsonDepth(L"{\"a\":\"" + brackets + L"\"}"));
    EXPECT_TRUE(CheckJsonDepth(L"{\"a\":\"\\\"" + brackets + L"\"}"));
    EXPECT_FALSE(CheckJsonDepth(L"{\"a\":\"\\\\\"," + Nested(64) + L"}"));
    EXPECT_TRUE(CheckJsonDepth(L""));
}

TEST(Envelope, GetStringParam)
{
    const struct {
        std::wstring params;
        bool found;
        std::wstring text;
    } cases[] = {
        {L"{\"v\":\"text\"}", true, L"text"},
        {L"{\"v\":\"\"}", true, L""},
        {L"{\"v\":\"a\\u0000b\"}", true, L"a"},
        {L"{\"v\":3}", true, L"3"},
        {L"{\"v\":-3}", true, L"-3"},
        {L"{\"v\":-0}", true, L"0"},
        {L"{\"v\":3.0}", true, L"3"},
        {L"{\"v\":2.25}", true, L"2.250000"},
        {L"{\"v\":1.5}", true, L"1.500000"},
        {L"{\"v\":-2.5}", true, L"-2.500000"},
        {L"{\"v\":1e-7}", true, L"0.000000"},
        {L"{\"v\":9007199254740993}", true, L"9007199254740992"},  // as the double holds it
        // Whole numbers inside the 64-bit range print as integers, those
        // beyond it with decimals.
        {L"{\"v\":-8e18}", true, L"-8000000000000000000"},
        {L"{\"v\":9e18}", true, L"9000000000000000000"},
        {L"{\"v\":1e19}", true, L"10000000000000000000.000000"},
        {L"{\"v\":-1e19}", true, L"-10000000000000000000.000000"},
        {L"{\"v\":true}", false, L"untouched"},
        {L"{\"v\":false}", false, L"untouched"},
        {L"{\"v\":null}", false, L"untouched"},
        {L"{\"v\":[\"a\"]}", false, L"untouched"},
        {L"{\"v\":{}}", false, L"untouched"},
        {L"{\"V\":\"x\"}", false, L"untouched"},
        {L"", false, L"untouched"},
        {L"{\"v\":", false, L"untouched"},
        {L"[\"v\"]", false, L"untouched"},
    };
    for (const auto& c : cases) {
        std::wstring out = L"untouched";
        EXPECT_EQ(GetStringParam(c.params, L"v", out), c.found) << testing::PrintToString(c.params);
        EXPECT_EQ(out, c.text) << testing::PrintToString(c.params);
    }
    // The largest double prints all its digits.
    std::wstring out;
    ASSERT_TRUE(GetStringParam(L"{\"v\":1.7976931348623157e308}", L"v", out));
    EXPECT_EQ(out.size(), 309u + 7u);
    EXPECT_EQ(out.compare(0, 6, L"179769"), 0);
}

TEST(Envelope, GetBoolParam)
{
    const struct {
        std::wstring params;
        bool found;
        bool value;
    } cases[] = {
        {L"{\"v\":true}", true, true},
        {L"{\"v\":false}", true, false},
        {L"{\"v\":\"TRUE\"}", true, true},
        {L"{\"v\":\"False\"}", true, false},
        {L"{\"v\":\"true \"}", false, false},
        {L"{\"v\":\"yes\"}", false, false},
        {L"{\"v\":\"\"}", false, false},
        {L"{\"v\":1}", false, false},
        {L"{\"v\":0}", false, false},
        {L"{\"v\":null}", false, false},
        {L"{\"other\":true}", false, false},
        {L"", false, false},
        {L"not json", false, false},
    };
    for (const auto& c : cases) {
        for (const bool preset : {false, true}) {
            bool out = preset;
            EXPECT_EQ(GetBoolParam(c.params, L"v", out), c.found) << testing::PrintToString(c.params);
            EXPECT_EQ(out, c.found ? c.value : preset) << testing::PrintToString(c.params);
        }
    }
}

TEST(EnvelopeToken, MatchesOnlyTheWholeToken)
{
    const std::wstring token = L"0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
    EXPECT_TRUE(TokensMatch(token, token));
    const std::wstring others[] = {
        L"1" + token.substr(1),                   // first unit differs
        token.substr(0, 63) + L"0",               // last unit differs
        token.substr(0, 63),                      // a prefix
        token + L"0",                             // longer
        L"",
        L"0123456789ABCDEF0123456789abcdef0123456789abcdef0123456789abcdef",  // letter case counts
    };
    for (const std::wstring& other : others) EXPECT_FALSE(TokensMatch(other, token)) << testing::PrintToString(other);
}

}  // namespace
