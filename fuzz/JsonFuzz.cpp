// The JSON parser and writer. Every input the parser accepts must survive
// the writer: its text is pure ASCII, parses again, and reads back as the
// same tree (numbers to within the writer's 15 digits). The writer's numbers
// are those of printf's %.15g. The depth check agrees exactly with the depth
// of what the parser built, and the parser refuses whatever nests deeper
// than kMaxJsonParseDepth.
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "JsonValue.h"

namespace {

void CheckNumbers(const JsonValue& value)
{
    if (value.IsNumber() && std::isfinite(value.NumberValue())) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.15g", value.NumberValue());
        const std::string e(expected);
        FUZZ_CHECK(FormatJsonNumber(value.NumberValue()) == std::wstring(e.begin(), e.end()));
    }
    for (const auto& item : value.Items()) CheckNumbers(*item);
    for (const auto& member : value.Members()) CheckNumbers(*member.second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::wstring text = UnitsFromBytes(data, size);
    const JsonValue::Ptr first = JsonValue::Parse(text);
    if (!first) return 0;
    FUZZ_CHECK(!ExceedsJsonDepth(text, kMaxJsonParseDepth));

    const int depth = JsonDepth(*first);
    FUZZ_CHECK(!ExceedsJsonDepth(text, depth));
    if (depth > 0) FUZZ_CHECK(ExceedsJsonDepth(text, depth - 1));

    const std::wstring written = first->Serialize();
    for (wchar_t c : written) FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
    FUZZ_CHECK(first->Clone()->Serialize() == written);
    CheckNumbers(*first);

    const JsonValue::Ptr second = JsonValue::Parse(written);
    FUZZ_CHECK(second);
    FUZZ_CHECK(JsonAgrees(*first, *second));
    FUZZ_CHECK(!ExceedsJsonDepth(written, depth));
    if (depth > 0) FUZZ_CHECK(ExceedsJsonDepth(written, depth - 1));
    return 0;
}
