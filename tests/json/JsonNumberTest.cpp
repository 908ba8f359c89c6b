// Numbers: the value the parser's digit-by-digit arithmetic produces (not a
// correctly rounded conversion), and the %.15g form the writer gives it.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>

#include "JsonValue.h"

namespace {

std::uint64_t Bits(double d)
{
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

const double kInf = std::numeric_limits<double>::infinity();

struct NumberCase {
    const char* name;
    const wchar_t* input;
    double value;  // compared bit for bit, so -0 and 0 differ
    const wchar_t* written;
};

void PrintTo(const NumberCase& c, std::ostream* os) { *os << c.name; }

class JsonNumberRead : public testing::TestWithParam<NumberCase> {};

TEST_P(JsonNumberRead, ReadsAndWritesBack)
{
    const NumberCase& c = GetParam();
    JsonValue::Ptr value = JsonValue::Parse(c.input);
    ASSERT_NE(value, nullptr);
    ASSERT_TRUE(value->IsNumber());
    EXPECT_EQ(Bits(value->NumberValue()), Bits(c.value))
        << "read " << testing::PrintToString(value->NumberValue()) << ", expected "
        << testing::PrintToString(c.value);
    EXPECT_EQ(value->Serialize(), c.written);
}

const NumberCase kNumbers[] = {
    {"Three", L"3", 3.0, L"3"},
    {"Half", L"0.5", 0.5, L"0.5"},
    {"NegativeZero", L"-0", -0.0, L"-0"},
    {"NegativeZeroWithFraction", L"-0.0", -0.0, L"-0"},
    {"HundredThousand", L"100000", 100000.0, L"100000"},
    {"NegativeInteger", L"-12", -12.0, L"-12"},
    // 0.0001 accumulates as 1 x 0.1 x 0.1 x 0.1 x 0.1, one ulp above the nearest double.
    {"TenThousandth", L"0.0001", 0.00010000000000000003, L"0.0001"},
    {"HundredThousandth", L"0.00001", 1.0000000000000004e-05, L"1e-05"},
    {"TenToTheTwentyOne", L"1e21", 1e21, L"1e+21"},
    {"SixteenDigits", L"1234567890123456", 1234567890123456.0, L"1.23456789012346e+15"},
    {"FifteenNines", L"999999999999999", 999999999999999.0, L"999999999999999"},
    {"TenToTheFifteen", L"1000000000000000", 1e15, L"1e+15"},
    // 0.3 reads as 3 x 0.1, not as the double nearest to 0.3.
    {"PointThree", L"0.3", 0.30000000000000004, L"0.3"},
    {"PointSeven", L"0.7", 0.7000000000000001, L"0.7"},
    {"UpperCaseExponentWithPlus", L"1E+2", 100.0, L"100"},
    {"NegativeExponent", L"2e-1", 0.2, L"0.2"},
    {"ExponentLeadingZeros", L"1e0002", 100.0, L"100"},
    {"FractionAndExponent", L"1.5e-3", 0.0015, L"0.0015"},
    {"ZeroWithExponent", L"0e5", 0.0, L"0"},
    {"BeyondTwoToTheFiftyThree", L"9007199254740993", 9007199254740992.0, L"9.00719925474099e+15"},
    // The fraction's running sum falls short of the largest double.
    {"NearLargestDouble", L"1.7976931348623157e308", 1.7976931348623145e+308, L"1.79769313486231e+308"},
    {"SmallestSubnormal", L"4.9e-324", 5e-324, L"4.94065645841247e-324"},
    {"Overflow", L"1e400", kInf, L"null"},
    {"NegativeOverflow", L"-1e400", -kInf, L"null"},
    {"Underflow", L"1e-400", 0.0, L"0"},
    {"NegativeUnderflow", L"-1e-400", -0.0, L"-0"},
    // Exponents with a vast number of steps still give their limit promptly.
    {"HugeExponent", L"1e999999999", kInf, L"null"},
    {"HugeNegativeExponent", L"-1e-999999999", -0.0, L"-0"},
    {"ExponentPastDoublePrecision", L"1e99999999999999999999999", kInf, L"null"},
    {"ZeroWithHugeExponent", L"0e99999999999999999999", 0.0, L"0"},
    {"NegativeZeroWithExponent", L"-0e5", -0.0, L"-0"},
    {"NegativeZeroWithNegativeExponent", L"-0.0e-5", -0.0, L"-0"},
    {"TwelveDigitExponent", L"1e999999999999", kInf, L"null"},
    // 1.5 stepped up 308 times stays finite, a little above 1.5e308.
    {"NearOverflow", L"1.5e308", 1.5000000000000032e+308, L"1.5e+308"},
    {"OneStepPastOverflow", L"1.5e309", kInf, L"null"},
    // Stepping down through the subnormals: 5e-324 is the last step before 0.
    {"SubnormalEdge", L"4.9e-324", 5e-324, L"4.94065645841247e-324"},
    {"BelowSmallestSubnormal", L"2e-324", 0.0, L"0"},
    {"SmallestNormalRange", L"2.2250738585072014e-308", 2.2250738585072029e-308, L"2.2250738585072e-308"},
};

INSTANTIATE_TEST_SUITE_P(Numbers, JsonNumberRead, testing::ValuesIn(kNumbers),
                         [](const testing::TestParamInfo<NumberCase>& info) { return std::string(info.param.name); });

// The exponent's steps as written down: n multiplications or divisions by
// ten, one at a time, none skipped.
double SteppedByTen(double v, bool down, int n)
{
    for (int i = 0; i < n; ++i) v = down ? v / 10.0 : v * 10.0;
    return v;
}

TEST(JsonNumberExponent, MatchesEveryStepTakenOneByOne)
{
    // The parser stops stepping once the value cannot change any more; that
    // must never show in the result. Every exponent up to well past the
    // point where each mantissa reaches zero or infinity, in both directions.
    const wchar_t* const mantissas[] = {L"1",  L"1.5", L"4.9", L"9.999",  L"1.7976931348623157", L"2.2250738585072014",
                                        L"-3", L"0.1", L"7",   L"123456789", L"-0.000001"};
    for (const wchar_t* m : mantissas) {
        JsonValue::Ptr base = JsonValue::Parse(m);
        ASSERT_NE(base, nullptr) << m;
        const double magnitude = std::fabs(base->NumberValue());
        const double sign = base->NumberValue() < 0 ? -1.0 : 1.0;
        for (int n = 0; n <= 800; ++n) {
            for (const bool down : {false, true}) {
                const std::wstring text = std::wstring(m) + (down ? L"e-" : L"e") + std::to_wstring(n);
                JsonValue::Ptr value = JsonValue::Parse(text);
                ASSERT_NE(value, nullptr) << testing::PrintToString(text);
                const double expected = SteppedByTen(magnitude, down, n) * sign;
                ASSERT_EQ(Bits(value->NumberValue()), Bits(expected))
                    << testing::PrintToString(text) << " read " << testing::PrintToString(value->NumberValue());
            }
        }
    }
}

TEST(JsonNumberExponent, HundredThousandExponentDigitsFinish)
{
    // The digit count alone makes n infinite; the steps still end at once.
    const std::wstring digits(100000, L'7');
    const struct {
        std::wstring text;
        double value;
    } cases[] = {
        {L"1e" + digits, kInf},
        {L"-2.5E+" + digits, -kInf},
        {L"1e-" + digits, 0.0},
        {L"-1e-" + digits, -0.0},
        {L"0e" + digits, 0.0},
        {L"-0E+" + digits, -0.0},
    };
    for (const auto& c : cases) {
        JsonValue::Ptr value = JsonValue::Parse(c.text);
        ASSERT_NE(value, nullptr) << testing::PrintToString(c.text.substr(0, 8));
        EXPECT_EQ(Bits(value->NumberValue()), Bits(c.value)) << testing::PrintToString(c.text.substr(0, 8));
    }
}

struct FormatCase {
    const char* name;
    double value;
    const wchar_t* written;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class JsonNumberFormat : public testing::TestWithParam<FormatCase> {};

TEST_P(JsonNumberFormat, WritesFifteenSignificantDigits)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatJsonNumber(c.value), c.written);
    EXPECT_EQ(JsonValue::MakeNumber(c.value)->Serialize(), c.written);
}

const FormatCase kFormats[] = {
    {"NaN", std::numeric_limits<double>::quiet_NaN(), L"null"},
    {"PositiveInfinity", kInf, L"null"},
    {"NegativeInfinity", -kInf, L"null"},
    {"Zero", 0.0, L"0"},
    {"NegativeZero", -0.0, L"-0"},
    {"Tenth", 0.1, L"0.1"},
    {"TenthPlusFifth", 0.1 + 0.2, L"0.3"},
    {"NegativeOneAndHalf", -1.5, L"-1.5"},
    {"FractionalPart", 123456.789, L"123456.789"},
    {"RoundedToFifteenDigits", -123456789012345.6, L"-123456789012346"},
    {"TenToTheFourteen", 1e14, L"100000000000000"},
    {"TenToTheFifteen", 1e15, L"1e+15"},
    {"RoundingCarriesIntoExponentForm", 999999999999999.9, L"1e+15"},
    {"TenToTheSixteen", 1e16, L"1e+16"},
    {"SmallestFixedForm", 1e-4, L"0.0001"},
    {"RoundingCarriesIntoFixedForm", 9.999999999999999e-05, L"0.0001"},
    {"SmallFixedWithManyDigits", 0.000123456789012345678, L"0.000123456789012346"},
    {"SmallExponentForm", 1.5e-5, L"1.5e-05"},
    {"ThreeDigitExponent", 1e100, L"1e+100"},
    {"ThreeDigitNegativeExponent", 1e-300, L"1e-300"},
    {"LargestDouble", DBL_MAX, L"1.79769313486232e+308"},
    {"SmallestSubnormal", 5e-324, L"4.94065645841247e-324"},
};

INSTANTIATE_TEST_SUITE_P(Doubles, JsonNumberFormat, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// The C library's own %.15g, the form the writer must match byte for byte;
// null where that form has no JSON spelling.
std::wstring PrintfForm(double value)
{
    if (!std::isfinite(value)) return L"null";
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return std::wstring(buffer, buffer + n);
}

double FromBits(std::uint64_t bits)
{
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

TEST(JsonNumberPrintf, TrickyNumbersMatchTheCLibrary)
{
    const double kTricky[] = {
        // Subnormals, and the edge of the normal range.
        5e-324, -5e-324, 1e-320, 1.5e-323, 2.2250738585072009e-308, DBL_MIN, -DBL_MIN, 4.9406564584124654e-310,
        // Around 10^15, where the form turns to exponents, and numbers that
        // round up into the next power of ten.
        1e15, -1e15, 999999999999999.0, 999999999999999.4, 999999999999999.5, 999999999999999.9,
        9.999999999999999e14, 9.9999999999999995e14, 1e15 + 2, 1e15 - 0.5, 99999999999999.99, 9.9999999999999999e22,
        // Around 10^-5, where the small numbers turn to exponents.
        1e-5, 1e-4, -1e-4, 9.999999999999999e-5, 9.9999999999999995e-5, 0.000099999999999999995, 1.0000000000000001e-5,
        0.00010000000000000003,
        // Sums, fractions and the extremes.
        0.1 + 0.2, 0.1, 1.0 / 3, 2.0 / 3, -2.0 / 3, 3.141592653589793, 2.718281828459045, 0.5, -0.0, 0.0, DBL_MAX,
        -DBL_MAX, DBL_EPSILON, 1e21, 1e22, 1e100, 1e-100, 1e308, 1.7976931348623145e+308,
        // Integers beyond what a double holds exactly and around 2^53.
        9007199254740991.0, 9007199254740992.0, 9007199254740993.0, 123456789012345678.0, 12345678901234567.0,
        1234567890123456.0, 123456789012345.6, -123456789012345.6, 4294967296.0, 18446744073709551616.0,
        // Exact ties half way between two 15-digit forms: both are rounded
        // to even, by the library and by the writer alike.
        1234567890123445.0, 1234567890123455.0, 100000000000000.5, 100000000000001.5, 12345678901234.25,
        12345678901234.75, 0.5000000000000005, 2.000000000000005,
        // Shortest forms of 16 digits that end in 5, and of 17 digits.
        0.1234567890123455, 1.000000000000005, 5.551115123125783e-17, 0.30000000000000004, 1.0000000000000002,
        0.7000000000000001, 1.7976931348623157e308,
    };
    for (const double value : kTricky) {
        EXPECT_EQ(FormatJsonNumber(value), PrintfForm(value)) << testing::PrintToString(value);
        EXPECT_EQ(JsonValue::MakeNumber(value)->Serialize(), PrintfForm(value)) << testing::PrintToString(value);
    }
}

TEST(JsonNumberPrintf, RandomDoublesMatchTheCLibrary)
{
    // Fixed seed: a failure names its value and happens again on every run.
    std::mt19937_64 random(20260813);
    std::uniform_real_distribution<double> decades(-7.0, 17.0);
    std::uniform_int_distribution<long long> integers(-9007199254740992LL, 9007199254740992LL);
    std::uniform_int_distribution<int> places(0, 17);
    int mismatches = 0;
    for (int i = 0; i < 100000 && mismatches < 10; ++i) {
        const double values[] = {
            // Any bit pattern: every exponent, subnormals, NaNs, infinities.
            FromBits(random()),
            // Magnitudes where the fixed and the exponent forms meet.
            std::pow(10.0, decades(random)) * (random() & 1 ? -1 : 1),
            // Decimals as they come in documents: an integer over a power of ten.
            static_cast<double>(integers(random)) / std::pow(10.0, places(random)),
        };
        for (const double value : values) {
            const std::wstring written = FormatJsonNumber(value);
            if (written != PrintfForm(value)) {
                ++mismatches;
                ADD_FAILURE() << "bits " << std::hex << Bits(value) << ": wrote " << testing::PrintToString(written)
                              << ", the C library " << testing::PrintToString(PrintfForm(value));
            }
        }
    }
}

}  // namespace
