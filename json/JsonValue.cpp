#include "JsonValue.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

JsonValue::Ptr JsonValue::MakeNull() { return Ptr(new JsonValue()); }

JsonValue::Ptr JsonValue::MakeBool(bool value)
{
    Ptr v(new JsonValue());
    v->kind_ = JsonKind::Bool;
    v->bool_ = value;
    return v;
}

JsonValue::Ptr JsonValue::MakeNumber(double value)
{
    Ptr v(new JsonValue());
    v->kind_ = JsonKind::Number;
    v->number_ = value;
    return v;
}

JsonValue::Ptr JsonValue::MakeString(std::wstring value)
{
    Ptr v(new JsonValue());
    v->kind_ = JsonKind::String;
    v->string_ = std::move(value);
    return v;
}

JsonValue::Ptr JsonValue::MakeArray(ArrayItems items)
{
    Ptr v(new JsonValue());
    v->kind_ = JsonKind::Array;
    v->items_ = std::move(items);
    return v;
}

JsonValue::Ptr JsonValue::MakeObject(ObjectMembers members)
{
    Ptr v(new JsonValue());
    v->kind_ = JsonKind::Object;
    v->members_ = std::move(members);
    return v;
}

bool JsonValue::HasMember(const std::wstring& name) const
{
    return GetMember(name) != nullptr;
}

const JsonValue* JsonValue::GetMember(const std::wstring& name) const
{
    if (kind_ != JsonKind::Object) return nullptr;
    auto it = members_.find(name);
    return it == members_.end() ? nullptr : it->second.get();
}

void JsonValue::SetMember(std::wstring name, Ptr value)
{
    if (kind_ != JsonKind::Object || !value) return;
    members_[std::move(name)] = std::move(value);
}

void JsonValue::Append(Ptr value)
{
    if (kind_ != JsonKind::Array || !value) return;
    items_.push_back(std::move(value));
}

JsonValue::Ptr JsonValue::Clone() const
{
    switch (kind_) {
    case JsonKind::Null: return MakeNull();
    case JsonKind::Bool: return MakeBool(bool_);
    case JsonKind::Number: return MakeNumber(number_);
    case JsonKind::String: return MakeString(string_);
    case JsonKind::Array: {
        ArrayItems copy;
        copy.reserve(items_.size());
        for (const auto& item : items_) copy.push_back(item->Clone());
        return MakeArray(std::move(copy));
    }
    case JsonKind::Object: {
        ObjectMembers copy;
        for (const auto& member : members_) copy.emplace(member.first, member.second->Clone());
        return MakeObject(std::move(copy));
    }
    }
    return MakeNull();
}

// ---------------------------------------------------------------------------
// Parser

namespace {

class Parser {
public:
    Parser(const wchar_t* text, std::size_t length) : p_(text), end_(text + length) {}

    JsonValue::Ptr ParseDocument()
    {
        SkipWhitespace();
        if (AtEnd()) return nullptr;
        JsonValue::Ptr value = ReadValue();
        if (!value) return nullptr;
        SkipWhitespace();
        if (!AtEnd()) return nullptr;
        return value;
    }

private:
    const wchar_t* p_;
    const wchar_t* end_;
    int depth_ = 0;  // containers open around the current position

    bool AtEnd() const { return p_ >= end_; }

    void SkipWhitespace()
    {
        while (p_ < end_ && (*p_ == L'\t' || *p_ == L'\n' || *p_ == L'\r' || *p_ == L' ')) ++p_;
    }

    // Compares the next code units with an ASCII word, ignoring letter case.
    bool StartsWithWord(const char* word) const
    {
        const wchar_t* q = p_;
        for (; *word; ++word, ++q) {
            if (q >= end_) return false;
            wchar_t c = *q;
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != static_cast<wchar_t>(*word)) return false;
        }
        return true;
    }

    static bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

    JsonValue::Ptr ReadValue()
    {
        if (AtEnd()) return nullptr;
        const wchar_t c = *p_;
        if (c == L'"') {
            ++p_;
            std::wstring s;
            if (!ReadStringBody(s)) return nullptr;
            return JsonValue::MakeString(std::move(s));
        }
        if (StartsWithWord("true")) { p_ += 4; return JsonValue::MakeBool(true); }
        if (StartsWithWord("false")) { p_ += 5; return JsonValue::MakeBool(false); }
        if (StartsWithWord("null")) { p_ += 4; return JsonValue::MakeNull(); }
        if (c == L'-' || IsDigit(c)) return ReadNumber();
        if (c == L'{' || c == L'[') {
            // One level of recursion per level of nesting: past the bound the
            // text is refused before the stack can run out.
            if (depth_ >= kMaxJsonParseDepth) return nullptr;
            ++p_;
            ++depth_;
            JsonValue::Ptr container = c == L'{' ? ReadObject() : ReadArray();
            --depth_;
            return container;
        }
        return nullptr;
    }

    // Reads digits into a double, v = v * 10 + d; false when there is none.
    bool ReadDigits(double& v)
    {
        if (AtEnd() || !IsDigit(*p_)) return false;
        while (!AtEnd() && IsDigit(*p_)) {
            v = v * 10.0 + static_cast<double>(*p_ - L'0');
            ++p_;
        }
        return true;
    }

    JsonValue::Ptr ReadNumber()
    {
        bool negative = false;
        if (*p_ == L'-') { negative = true; ++p_; }
        if (AtEnd() || !IsDigit(*p_)) return nullptr;
        double v = 0.0;
        if (*p_ == L'0') {
            ++p_;
            // After a leading zero the integer part is over; another digit can
            // never be valid in any context.
            if (!AtEnd() && IsDigit(*p_)) return nullptr;
        } else {
            ReadDigits(v);
        }
        if (!AtEnd() && *p_ == L'.') {
            ++p_;
            if (AtEnd() || !IsDigit(*p_)) return nullptr;
            double f = 0.0, x = 0.1;
            while (!AtEnd() && IsDigit(*p_)) {
                f = f + static_cast<double>(*p_ - L'0') * x;
                x = x * 0.1;
                ++p_;
            }
            v = v + f;
        }
        if (!AtEnd() && (*p_ == L'e' || *p_ == L'E')) {
            ++p_;
            bool down = false;
            if (!AtEnd() && (*p_ == L'+' || *p_ == L'-')) { down = (*p_ == L'-'); ++p_; }
            double n = 0.0;
            if (!ReadDigits(n)) return nullptr;
            // n steps of ten, one at a time; the value is what those steps
            // give. Zero and infinity are fixed points of both steps, so the
            // loop stops at the first of them: every finite non-zero v reaches
            // one within about 650 steps, however large n is (n may itself
            // be infinite after a few hundred exponent digits).
            for (double i = 0.0; i < n; i += 1.0) {
                if (v == 0.0 || !std::isfinite(v)) break;
                v = down ? v / 10.0 : v * 10.0;
            }
        }
        if (negative) v = v * -1.0;
        return JsonValue::MakeNumber(v);
    }

    static int HexValue(wchar_t c)
    {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        if (c >= L'A' && c <= L'F') return c - L'A' + 10;
        return -1;
    }

    // The position is just past the opening quotation mark.
    bool ReadStringBody(std::wstring& out)
    {
        const wchar_t* runStart = p_;
        for (;;) {
            if (AtEnd()) return false;
            const wchar_t c = *p_;
            if (c == L'"') {
                out.append(runStart, p_);
                ++p_;
                return true;
            }
            if (c == L'\\') {
                out.append(runStart, p_);
                ++p_;
                if (AtEnd()) return false;
                const wchar_t e = *p_++;
                switch (e) {
                case L'"': out.push_back(L'"'); break;
                case L'\\': out.push_back(L'\\'); break;
                case L'/': out.push_back(L'/'); break;
                case L'b': out.push_back(L'\b'); break;
                case L'f': out.push_back(L'\f'); break;
                case L'n': out.push_back(L'\n'); break;
                case L'r': out.push_back(L'\r'); break;
                case L't': out.push_back(L'\t'); break;
                case L'u': {
                    unsigned unit = 0;
                    for (int i = 0; i < 4; ++i) {
                        if (AtEnd()) return false;
                        const int h = HexValue(*p_++);
                        if (h < 0) return false;
                        unit = unit * 16 + static_cast<unsigned>(h);
                    }
                    out.push_back(static_cast<wchar_t>(unit));
                    break;
                }
                default: return false;
                }
                runStart = p_;
                continue;
            }
            if (c < 0x20 && c != L'\t') return false;
            ++p_;
        }
    }

    JsonValue::Ptr ReadArray()
    {
        JsonValue::ArrayItems items;
        if (AtEnd()) return nullptr;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (items.empty() && *p_ == L']') { ++p_; break; }
            JsonValue::Ptr item = ReadValue();
            if (!item) return nullptr;
            items.push_back(std::move(item));
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (*p_ == L']') { ++p_; break; }
            if (*p_ != L',') return nullptr;
            ++p_;
            if (AtEnd()) return nullptr;
            // Past a comma an element must follow; a closing bracket no longer
            // counts as an empty array because items is not empty.
        }
        return JsonValue::MakeArray(std::move(items));
    }

    JsonValue::Ptr ReadObject()
    {
        JsonValue::ObjectMembers members;
        bool any = false;
        if (AtEnd()) return nullptr;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (!any && *p_ == L'}') { ++p_; break; }
            if (*p_ != L'"') return nullptr;
            ++p_;
            std::wstring name;
            if (!ReadStringBody(name)) return nullptr;
            SkipWhitespace();
            if (AtEnd() || *p_ != L':') return nullptr;
            ++p_;
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            JsonValue::Ptr value = ReadValue();
            if (!value) return nullptr;
            members[std::move(name)] = std::move(value);  // a later duplicate wins
            any = true;
            SkipWhitespace();
            if (AtEnd()) return nullptr;
            if (*p_ == L'}') { ++p_; break; }
            if (*p_ != L',') return nullptr;
            ++p_;
            if (AtEnd()) return nullptr;
        }
        return JsonValue::MakeObject(std::move(members));
    }
};

}  // namespace

JsonValue::Ptr JsonValue::Parse(const wchar_t* text, std::size_t length)
{
    if (!text) return nullptr;
    // The first U+0000 ends the input.
    const wchar_t* nul = std::wmemchr(text, L'\0', length);
    if (nul) length = static_cast<std::size_t>(nul - text);
    return Parser(text, length).ParseDocument();
}

JsonValue::Ptr JsonValue::Parse(const std::wstring& text)
{
    return Parse(text.data(), text.size());
}

// ---------------------------------------------------------------------------
// Writer

void AppendQuotedJsonString(std::wstring& out, const std::wstring& text)
{
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    out.push_back(L'"');
    for (wchar_t c : text) {
        switch (c) {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'/': out += L"\\/"; break;
        case L'\b': out += L"\\b"; break;
        case L'\f': out += L"\\f"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (c >= 0x20 && c <= 0x7E) {
                out.push_back(c);
            } else {
                const unsigned u = static_cast<unsigned>(c) & 0xFFFFu;
                out += L"\\u";
                out.push_back(kHex[(u >> 12) & 0xF]);
                out.push_back(kHex[(u >> 8) & 0xF]);
                out.push_back(kHex[(u >> 4) & 0xF]);
                out.push_back(kHex[u & 0xF]);
            }
        }
    }
    out.push_back(L'"');
}

std::wstring QuoteJsonString(const std::wstring& text)
{
    std::wstring out;
    out.reserve(text.size() + 2);
    AppendQuotedJsonString(out, text);
    return out;
}

std::wstring FormatJsonNumber(double value)
{
    if (!std::isfinite(value)) return L"null";
    // %.15g, assembled by hand from %.14e so that the result does not depend
    // on how a C runtime pads its exponent: 15 significant digits, trailing
    // zeros dropped, exponent form below 1e-4 or from 1e15 on.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    std::string s(buf);
    const std::size_t ePos = s.find('e');
    if (ePos == std::string::npos) return L"null";
    const int exponent = std::atoi(s.c_str() + ePos + 1);
    std::string mantissa = s.substr(0, ePos);  // [-]d.dddddddddddddd
    std::string sign;
    if (!mantissa.empty() && mantissa[0] == '-') { sign = "-"; mantissa.erase(0, 1); }
    std::string digits;
    for (char c : mantissa)
        if (c != '.') digits.push_back(c);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string result = sign;
    if (exponent < -4 || exponent >= 15) {
        result += digits[0];
        if (digits.size() > 1) { result += '.'; result += digits.substr(1); }
        char e[16];
        std::snprintf(e, sizeof e, "e%c%02d", exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
        result += e;
    } else if (exponent < 0) {
        result += "0.";
        result.append(static_cast<std::size_t>(-exponent - 1), '0');
        result += digits;
    } else {
        const std::size_t intLen = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intLen) {
            result += digits;
            result.append(intLen - digits.size(), '0');
        } else {
            result += digits.substr(0, intLen);
            result += '.';
            result += digits.substr(intLen);
        }
    }
    return std::wstring(result.begin(), result.end());
}

void JsonValue::SerializeTo(std::wstring& out) const
{
    switch (kind_) {
    case JsonKind::Null: out += L"null"; break;
    case JsonKind::Bool: out += bool_ ? L"true" : L"false"; break;
    case JsonKind::Number: out += FormatJsonNumber(number_); break;
    case JsonKind::String: AppendQuotedJsonString(out, string_); break;
    case JsonKind::Array: {
        out.push_back(L'[');
        bool first = true;
        for (const auto& item : items_) {
            if (!first) out.push_back(L',');
            first = false;
            item->SerializeTo(out);
        }
        out.push_back(L']');
        break;
    }
    case JsonKind::Object: {
        out.push_back(L'{');
        bool first = true;
        for (const auto& member : members_) {
            if (!first) out.push_back(L',');
            first = false;
            AppendQuotedJsonString(out, member.first);
            out.push_back(L':');
            member.second->SerializeTo(out);
        }
        out.push_back(L'}');
        break;
    }
    }
}

std::wstring JsonValue::Serialize() const
{
    std::wstring out;
    SerializeTo(out);
    return out;
}

bool ExceedsJsonDepth(const std::wstring& text, int maxDepth)
{
    long depth = 0;
    bool inString = false, escaped = false;
    for (wchar_t c : text) {
        // The parser stops at the first U+0000, so nothing after it nests.
        if (c == L'\0') break;
        if (inString) {
            if (escaped) escaped = false;
            else if (c == L'\\') escaped = true;
            else if (c == L'"') inString = false;
            continue;
        }
        if (c == L'"') inString = true;
        else if (c == L'{' || c == L'[') {
            if (++depth > maxDepth) return true;
        } else if (c == L'}' || c == L']') --depth;
    }
    return false;
}
