#include "AiMcpEnvelope.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cwctype>

#include "JsonValue.h"

const wchar_t kInvalidParams[] = L"INVALID_PARAMS";
const wchar_t kUnauthorized[] = L"UNAUTHORIZED";
const wchar_t kFeatureDisabled[] = L"FEATURE_DISABLED";
const wchar_t kNotFound[] = L"NOT_FOUND";
const wchar_t kInvalidTime[] = L"INVALID_TIME";
const wchar_t kQuotaExceeded[] = L"QUOTA_EXCEEDED";
const wchar_t kInternal[] = L"INTERNAL";

namespace {

constexpr int kMaxRequestDepth = 64;

// A string member up to its first U+0000; empty when absent or not a string.
std::wstring StringMember(const JsonValue* value)
{
    if (!value || !value->IsString()) return std::wstring();
    const std::wstring& s = value->StringValue();
    return s.substr(0, s.find(L'\0'));
}

JsonValue::Ptr ParseParams(const std::wstring& params)
{
    if (params.empty()) return nullptr;
    JsonValue::Ptr value = JsonValue::Parse(params);
    return value && value->IsObject() ? std::move(value) : nullptr;
}

}  // namespace

std::wstring EscapeJsonString(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + 8);
    AppendEscapedJson(out, text.data(), text.size());
    return out;
}

void AppendEscapedJson(std::wstring& out, const wchar_t* text, std::size_t units)
{
    static const wchar_t kHex[] = L"0123456789abcdef";
    // Runs of characters that stay as they are go out in one piece.
    std::size_t run = 0;
    for (std::size_t i = 0; i < units; ++i) {
        const wchar_t c = text[i];
        if (c >= 0x20 && c != L'"' && c != L'\\') continue;
        out.append(text + run, i - run);
        run = i + 1;
        switch (c) {
        case L'\b': out += L"\\b"; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\f': out += L"\\f"; break;
        case L'\r': out += L"\\r"; break;
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        default:
            out += L"\\u00";
            out.push_back(kHex[(c >> 4) & 0xF]);
            out.push_back(kHex[c & 0xF]);
        }
    }
    out.append(text + run, units - run);
}

void BeginOkAnswer(std::wstring& out, const std::wstring& id)
{
    out += L"{\"id\":\"";
    AppendEscapedJson(out, id.data(), id.size());
    out += L"\",\"ok\":true,\"result\":";
}

void EndOkAnswer(std::wstring& out)
{
    out += L'}';
}

std::wstring BuildOkAnswer(const std::wstring& id, const std::wstring& result)
{
    std::wstring answer;
    answer.reserve(id.size() + result.size() + 32);
    BeginOkAnswer(answer, id);
    answer += result;
    EndOkAnswer(answer);
    return answer;
}

std::wstring BuildErrorAnswer(const std::wstring& id, const std::wstring& code, const std::wstring& message)
{
    std::wstring answer;
    answer.reserve(id.size() + code.size() + message.size() + 64);
    answer += L"{\"id\":\"";
    AppendEscapedJson(answer, id.data(), id.size());
    answer += L"\",\"ok\":false,\"error\":{\"code\":\"";
    answer += code;
    answer += L"\",\"message\":\"";
    AppendEscapedJson(answer, message.data(), message.size());
    answer += L"\"}}";
    return answer;
}

bool CheckJsonDepth(const std::wstring& text)
{
    return !ExceedsJsonDepth(text, kMaxRequestDepth);
}

AiMcpRequest ParseRequest(const std::wstring& text)
{
    AiMcpRequest request;
    const JsonValue::Ptr root = JsonValue::Parse(text);
    if (!root || !root->IsObject()) return request;
    request.valid = true;
    request.id = StringMember(root->GetMember(L"id"));
    request.method = StringMember(root->GetMember(L"method"));
    const JsonValue* params = root->GetMember(L"params");
    const JsonValue* token = root->GetMember(L"token");
    if (token && token->IsString()) request.token = StringMember(token);
    else if (params) request.token = StringMember(params->GetMember(L"token"));
    if (params && params->IsObject()) request.params = params->Serialize();
    return request;
}

namespace {

bool FindNul(const JsonValue& value, const std::wstring& at, std::wstring& path)
{
    if (value.IsString()) {
        if (value.StringValue().find(L'\0') == std::wstring::npos) return false;
        path = at;
        return true;
    }
    if (value.IsArray()) {
        for (std::size_t i = 0; i < value.Items().size(); ++i)
            if (FindNul(*value.Items()[i], at + L"[" + std::to_wstring(i) + L"]", path)) return true;
        return false;
    }
    for (const auto& member : value.Members())
        if (FindNul(*member.second, at.empty() ? member.first : at + L"." + member.first, path)) return true;
    return false;
}

}  // namespace

bool FindNulInParams(const std::wstring& params, std::wstring& path)
{
    const JsonValue::Ptr root = ParseParams(params);
    return root && FindNul(*root, std::wstring(), path);
}

bool GetStringParam(const std::wstring& params, const std::wstring& name, std::wstring& out)
{
    return AiMcpParams(params).GetString(name, out);
}

bool GetBoolParam(const std::wstring& params, const std::wstring& name, bool& out)
{
    return AiMcpParams(params).GetBool(name, out);
}

AiMcpParams::AiMcpParams(const std::wstring& params) : root_(ParseParams(params)) {}

AiMcpParams::~AiMcpParams() = default;

bool AiMcpParams::GetString(const std::wstring& name, std::wstring& out) const
{
    const JsonValue* member = root_ ? root_->GetMember(name) : nullptr;
    if (!member) return false;
    if (member->IsString()) {
        out = StringMember(member);
        return true;
    }
    if (!member->IsNumber()) return false;
    const double v = member->NumberValue();
    char buffer[512];
    // Whole numbers in the 64-bit range print without decimals; everything
    // else (fractions, out of range, not finite) with six.
    if (std::isfinite(v) && v >= -9223372036854775808.0 && v < 9223372036854775808.0 &&
        v == static_cast<double>(static_cast<std::int64_t>(v)))
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(v));
    else
        std::snprintf(buffer, sizeof buffer, "%f", v);
    out.assign(buffer, buffer + std::char_traits<char>::length(buffer));
    return true;
}

bool AiMcpParams::GetBool(const std::wstring& name, bool& out) const
{
    const JsonValue* member = root_ ? root_->GetMember(name) : nullptr;
    if (!member) return false;
    if (member->IsBool()) {
        out = member->BoolValue();
        return true;
    }
    if (!member->IsString()) return false;
    std::wstring lower = StringMember(member);
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    if (lower == L"true") out = true;
    else if (lower == L"false") out = false;
    else return false;
    return true;
}

bool TokensMatch(const std::wstring& given, const std::wstring& expected)
{
    // The length is not secret (tokens have 64 digits); the units are.
    unsigned difference = given.size() == expected.size() ? 0u : 1u;
    const std::size_t count = given.size() < expected.size() ? given.size() : expected.size();
    for (std::size_t i = 0; i < count; ++i)
        difference |= static_cast<unsigned>(given[i]) ^ static_cast<unsigned>(expected[i]);
    return difference == 0;
}
