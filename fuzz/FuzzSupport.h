// What every fuzz target shares: turning the fuzzer's bytes into the UTF-16
// code units the code sees on Windows, cutting them into fields, a check
// that stops the run with a message, and a comparison of JSON trees.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <clocale>
#include <cstdlib>
#include <string>
#include <vector>

#include "JsonValue.h"

// Stops the run when a property does not hold; libFuzzer keeps the input
// that did it as a crash artefact.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Runs once before the first input. The C library classifies wide
// characters (iswspace, towlower, wcstol) by its locale; the C locale knows
// ASCII only, whereas the Windows runtime the deliverables use knows Unicode
// white space and letter case, so the targets run in a UTF-8 locale, which
// comes closer; the two need not agree on every character.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    return 0;
}

// Little-endian pairs of bytes as UTF-16 code units (0..0xFFFF), as the
// deliverables hold text on Windows; an odd last byte is dropped.
inline std::wstring UnitsFromBytes(const std::uint8_t* data, std::size_t size)
{
    std::wstring text;
    text.reserve(size / 2);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

// The fields of a text whose first unit is the separator of the rest:
// "|a|b" gives {"a", "b"}. Missing fields read as empty, so every target
// can ask for as many as it needs.
inline std::vector<std::wstring> SplitFields(const std::wstring& text, std::size_t count)
{
    std::vector<std::wstring> fields(count);
    if (text.empty()) return fields;
    const wchar_t separator = text[0];
    std::size_t at = 1;
    for (std::size_t i = 0; i < count && at <= text.size(); ++i) {
        std::size_t end = text.find(separator, at);
        // The last field takes the rest, separators included.
        if (i + 1 == count || end == std::wstring::npos) end = text.size();
        fields[i] = text.substr(at, end - at);
        at = end + 1;
    }
    return fields;
}

// Whether a number read back from the writer's text agrees with the one
// that was written. The writer keeps 15 significant digits and the parser
// steps through decimal exponents one at a time, so the two may differ in
// the last digits; near the ends of the double range the step-by-step
// reading may tip over into infinity or lose the subnormal digits.
inline bool NumbersAgree(double written, double readBack)
{
    if (written == 0.0) return readBack == 0.0 && std::signbit(written) == std::signbit(readBack);
    if (std::signbit(written) != std::signbit(readBack) && readBack != 0.0) return false;
    const double a = std::fabs(written), b = std::fabs(readBack);
    if (a > 1e308) return std::isinf(b) || std::fabs(a - b) <= 1e-12 * a;
    if (a < 1e-290) return b < 1e-289;
    return std::isfinite(b) && std::fabs(a - b) <= 1e-12 * a;
}

// Whether b is what reading back the writer's text of a gives: the same
// kinds, strings and member names exactly, numbers by NumbersAgree, and a
// number that is not finite (written as null) read back as null.
inline bool JsonAgrees(const JsonValue& a, const JsonValue& b)
{
    if (a.IsNumber() && !std::isfinite(a.NumberValue())) return b.IsNull();
    if (a.Kind() != b.Kind()) return false;
    switch (a.Kind()) {
    case JsonKind::Null: return true;
    case JsonKind::Bool: return a.BoolValue() == b.BoolValue();
    case JsonKind::Number: return NumbersAgree(a.NumberValue(), b.NumberValue());
    case JsonKind::String: return a.StringValue() == b.StringValue();
    case JsonKind::Array: {
        if (a.Items().size() != b.Items().size()) return false;
        for (std::size_t i = 0; i < a.Items().size(); ++i)
            if (!JsonAgrees(*a.Items()[i], *b.Items()[i])) return false;
        return true;
    }
    case JsonKind::Object: {
        if (a.Members().size() != b.Members().size()) return false;
        auto ia = a.Members().begin();
        auto ib = b.Members().begin();
        for (; ia != a.Members().end(); ++ia, ++ib)
            if (ia->first != ib->first || !JsonAgrees(*ia->second, *ib->second)) return false;
        return true;
    }
    }
    return false;
}

// The nesting depth of a tree: 0 for a scalar, 1 for an empty array or
// object, one more per level of containers.
inline int JsonDepth(const JsonValue& value)
{
    int deepest = 0;
    for (const auto& item : value.Items()) {
        const int d = JsonDepth(*item);
        if (d > deepest) deepest = d;
    }
    for (const auto& member : value.Members()) {
        const int d = JsonDepth(*member.second);
        if (d > deepest) deepest = d;
    }
    return value.IsArray() || value.IsObject() ? deepest + 1 : 0;
}
