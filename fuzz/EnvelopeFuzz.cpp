// The pipe envelope and gate parsing (AiMcpEnvelope). The input is text
// whose first unit separates six fields:
//
//   id, message, token, expected token, member name, request text
//
// (the request text takes the rest). The escaping must give back exactly the
// escaped text through the JSON parser; both answer envelopes must parse as
// what was put into them; the token comparison must be plain equality; the
// depth check must agree with the depth of the parsed request; and the
// request and its parameter accessors must hand out exactly what the parsed
// JSON holds. As in the gate, a request that fails the depth check is not
// parsed.
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "AiMcpEnvelope.h"
#include "FuzzSupport.h"
#include "JsonValue.h"

namespace {

const wchar_t* const kCodes[] = {kInvalidParams, kUnauthorized, kFeatureDisabled, kNotFound,
                                 kInvalidTime,   kQuotaExceeded, kInternal};

// A string member up to its first U+0000, as the request reads it.
std::wstring UpToNul(const std::wstring& s)
{
    return s.substr(0, s.find(L'\0'));
}

void CheckEscape(const std::wstring& text)
{
    const std::wstring escaped = EscapeJsonString(text);
    for (wchar_t c : escaped) FUZZ_CHECK(c >= 0x20);
    const JsonValue::Ptr back = JsonValue::Parse(L"\"" + escaped + L"\"");
    FUZZ_CHECK(back && back->IsString() && back->StringValue() == text);
}

// A member of the parsed answer that must be the given string.
bool HasString(const JsonValue* object, const wchar_t* name, const std::wstring& value)
{
    const JsonValue* member = object ? object->GetMember(name) : nullptr;
    return member && member->IsString() && member->StringValue() == value;
}

void CheckAnswers(const std::wstring& id, const std::wstring& message, const JsonValue& result, std::size_t pick)
{
    const JsonValue::Ptr ok = JsonValue::Parse(BuildOkAnswer(id, result.Serialize()));
    FUZZ_CHECK(ok && ok->IsObject() && ok->Members().size() == 3);
    FUZZ_CHECK(HasString(ok.get(), L"id", id));
    FUZZ_CHECK(ok->GetMember(L"ok")->IsBool() && ok->GetMember(L"ok")->BoolValue());
    FUZZ_CHECK(ok->GetMember(L"result") && JsonAgrees(result, *ok->GetMember(L"result")));

    const wchar_t* code = kCodes[pick % (sizeof kCodes / sizeof kCodes[0])];
    const JsonValue::Ptr error = JsonValue::Parse(BuildErrorAnswer(id, code, message));
    FUZZ_CHECK(error && error->IsObject() && error->Members().size() == 3);
    FUZZ_CHECK(HasString(error.get(), L"id", id));
    FUZZ_CHECK(error->GetMember(L"ok")->IsBool() && !error->GetMember(L"ok")->BoolValue());
    const JsonValue* detail = error->GetMember(L"error");
    FUZZ_CHECK(detail && detail->IsObject() && detail->Members().size() == 2);
    FUZZ_CHECK(HasString(detail, L"code", code));
    FUZZ_CHECK(HasString(detail, L"message", message));
}

void CheckRequest(const std::wstring& text, const JsonValue* root)
{
    const AiMcpRequest request = ParseRequest(text);
    FUZZ_CHECK(request.valid == (root && root->IsObject()));
    if (!request.valid) {
        FUZZ_CHECK(request.id.empty() && request.token.empty() && request.method.empty() && request.params.empty());
        return;
    }
    const auto stringOf = [](const JsonValue* object, const wchar_t* name) {
        const JsonValue* member = object ? object->GetMember(name) : nullptr;
        return member && member->IsString() ? UpToNul(member->StringValue()) : std::wstring();
    };
    FUZZ_CHECK(request.id == stringOf(root, L"id"));
    FUZZ_CHECK(request.method == stringOf(root, L"method"));
    const JsonValue* params = root->GetMember(L"params");
    const JsonValue* token = root->GetMember(L"token");
    FUZZ_CHECK(request.token == (token && token->IsString() ? stringOf(root, L"token") : stringOf(params, L"token")));
    if (params && params->IsObject()) {
        const JsonValue::Ptr again = JsonValue::Parse(request.params);
        FUZZ_CHECK(again && again->IsObject() && JsonAgrees(*params, *again));
    } else {
        FUZZ_CHECK(request.params.empty());
    }
}

// The accessors against the params object they read (null when the params
// text is not a JSON object).
void CheckAccessors(const std::wstring& params, const JsonValue* object, const std::wstring& name)
{
    const JsonValue* member = object ? object->GetMember(name) : nullptr;

    const std::wstring untouched = L"\uFFFFuntouched";
    std::wstring text = untouched;
    const bool found = GetStringParam(params, name, text);
    FUZZ_CHECK(found == (member && (member->IsString() || member->IsNumber())));
    if (!found) {
        FUZZ_CHECK(text == untouched);
    } else if (member->IsString()) {
        FUZZ_CHECK(text == UpToNul(member->StringValue()));
    } else {
        const double v = member->NumberValue();
        wchar_t* end = nullptr;
        const double read = std::wcstod(text.c_str(), &end);
        FUZZ_CHECK(!text.empty() && *end == L'\0');
        if (std::isnan(v)) {
            FUZZ_CHECK(std::isnan(read));
        } else if (std::isinf(v)) {
            FUZZ_CHECK(read == v);
        } else if (v == std::trunc(v) && v >= -9223372036854775808.0 && v < 9223372036854775808.0) {
            FUZZ_CHECK(text.find(L'.') == std::wstring::npos && read == v);
        } else {
            // Six decimals: the text is the number rounded to a millionth.
            const std::size_t point = text.find(L'.');
            FUZZ_CHECK(point != std::wstring::npos && text.size() - point == 7);
            FUZZ_CHECK(std::fabs(read - v) <= 0.5e-6 + std::fabs(v) * 1e-15);
        }
    }

    bool flag = true;
    const bool flagFound = GetBoolParam(params, name, flag);
    bool expected = false, expectedFound = false;
    if (member && member->IsBool()) {
        expectedFound = true;
        expected = member->BoolValue();
    } else if (member && member->IsString()) {
        std::wstring lower = UpToNul(member->StringValue());
        for (wchar_t& c : lower)
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        expectedFound = lower == L"true" || lower == L"false";
        expected = lower == L"true";
    }
    FUZZ_CHECK(flagFound == expectedFound);
    FUZZ_CHECK(flag == (flagFound ? expected : true));

    // A raw U+0000 ends the text, so a string can hold one only through an
    // escape.
    std::wstring path;
    if (FindNulInParams(params, path)) {
        std::wstring lower = params;
        for (wchar_t& c : lower)
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        FUZZ_CHECK(lower.find(L"\\u0000") != std::wstring::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::wstring> f = SplitFields(UnitsFromBytes(data, size), 6);
    const std::wstring& id = f[0];
    const std::wstring& message = f[1];
    const std::wstring& token = f[2];
    const std::wstring& expected = f[3];
    const std::wstring& name = f[4];
    const std::wstring& text = f[5];

    for (const std::wstring& field : f) CheckEscape(field);
    FUZZ_CHECK(TokensMatch(token, expected) == (token == expected));
    FUZZ_CHECK(TokensMatch(token, token));

    // The gate parses nothing nested deeper than 64 levels. Such a text, when
    // it is JSON, is indeed nested that deep.
    if (!CheckJsonDepth(text)) {
        const JsonValue::Ptr deep = JsonValue::Parse(text);
        if (deep) FUZZ_CHECK(JsonDepth(*deep) > 64);
        return 0;
    }
    const JsonValue::Ptr root = JsonValue::Parse(text);
    if (root) FUZZ_CHECK(JsonDepth(*root) <= 64);

    CheckRequest(text, root.get());
    CheckAnswers(id, message, root ? *root : *JsonValue::MakeObject({}), size);
    CheckAccessors(text, root && root->IsObject() ? root.get() : nullptr, name);
    if (root && root->IsObject()) {
        // What the tools get: the params as the gate wrote them back (a
        // number too large for a double is null there).
        const std::wstring params = ParseRequest(text).params;
        const JsonValue::Ptr object = JsonValue::Parse(params);
        CheckAccessors(params, object && object->IsObject() ? object.get() : nullptr, name);
    }
    return 0;
}
