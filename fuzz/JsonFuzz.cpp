// The JSON parser and writer. Every input the parser accepts must survive
// the writer: its text is pure ASCII, parses again, and reads back as the
// same tree (numbers to within the writer's 15 digits). The writer's numbers
// are those of printf's %.15g. The depth check agrees exactly with the depth
// of what the parser built, and the parser refuses whatever nests deeper
// than kMaxJsonParseDepth. The one-pass rewrite accepts what the parser
// accepts and writes what the writer writes, in both forms, with the
// outermost object's members where it says, and refuses exactly what nests
// deeper than it is told.
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
    for (const bool escaped : {false, true}) {
        std::wstring expected = L"<", rewritten = L"<";
        if (first) escaped ? first->SerializeEscapedTo(expected) : first->SerializeTo(expected);
        const JsonRewrite rewrite = RewriteJson(text.data(), text.size(), escaped, rewritten);
        FUZZ_CHECK(rewrite.ok == (first != nullptr));
        FUZZ_CHECK(rewritten == expected);
        if (!first) continue;
        FUZZ_CHECK(rewrite.rootKind == first->Kind());
        FUZZ_CHECK(rewrite.rootMembers.size() == first->Members().size());
        std::size_t i = 0;
        for (const auto& member : first->Members()) {
            const JsonWrittenMember& m = rewrite.rootMembers[i++];
            std::wstring value;
            escaped ? member.second->SerializeEscapedTo(value) : member.second->SerializeTo(value);
            FUZZ_CHECK(m.name == member.first);
            FUZZ_CHECK(rewritten.compare(m.valueBegin, m.valueEnd - m.valueBegin, value) == 0);
        }
    }
    if (!first) return 0;
    FUZZ_CHECK(!ExceedsJsonDepth(text, kMaxJsonParseDepth));

    const int depth = JsonDepth(*first);
    FUZZ_CHECK(!ExceedsJsonDepth(text, depth));
    if (depth > 0) FUZZ_CHECK(ExceedsJsonDepth(text, depth - 1));
    std::wstring ignored;
    FUZZ_CHECK(RewriteJson(text.data(), text.size(), false, ignored, depth).ok);
    if (depth > 0) FUZZ_CHECK(!RewriteJson(text.data(), text.size(), false, ignored, depth - 1).ok);

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
