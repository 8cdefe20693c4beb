#include "schedule/Numbers.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <optional>

namespace quillon {
namespace {

struct ParseCase {
    const wchar_t* text;
    std::optional<double> expected;
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << testing::PrintToString(c.text); }
};

class NumbersParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(NumbersParse, ReadsTheNumberOrNothing) {
    const ParseCase& c = GetParam();
    const auto value = Numbers(L'.').Parse(c.text);
    ASSERT_EQ(value.has_value(), c.expected.has_value())
        << "text: [" << testing::PrintToString(c.text) << "]";
    if (c.expected) {
        EXPECT_DOUBLE_EQ(*value, *c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, NumbersParse,
                         ::testing::Values(ParseCase{L"10", 10}, ParseCase{L"  12  ", 12},
                                           ParseCase{L"\t3\t", 3}, ParseCase{L"+5", 5}, ParseCase{L"-5", -5},
                                           ParseCase{L"2.5", 2.5}, ParseCase{L".5", 0.5}, ParseCase{L"5.", 5},
                                           ParseCase{L"1e3", 1000}, ParseCase{L"1E-2", 0.01},
                                           ParseCase{L"-1.5e+1", -15}, ParseCase{L"", std::nullopt},
                                           ParseCase{L"   ", std::nullopt}, ParseCase{L".", std::nullopt},
                                           ParseCase{L"+", std::nullopt}, ParseCase{L"--5", std::nullopt},
                                           ParseCase{L"1e", std::nullopt}, ParseCase{L"e5", std::nullopt},
                                           ParseCase{L"12abc", std::nullopt}, ParseCase{L"abc", std::nullopt},
                                           ParseCase{L"1 2", std::nullopt}, ParseCase{L"1,5", std::nullopt},
                                           ParseCase{L"1e400", std::nullopt},
                                           ParseCase{L"秒", std::nullopt}));

TEST(Numbers, ParseFollowsTheDecimalSeparatorItIsGiven) {
    const Numbers comma(L',');
    EXPECT_EQ(comma.Parse(L"1,5"), 1.5);
    EXPECT_EQ(comma.Parse(L"1.5"), std::nullopt);
    EXPECT_EQ(comma.PlainText(-0.5), L"-0,5");
    EXPECT_EQ(comma.FormatTwoDecimals(1.5), L"1,5");
    EXPECT_EQ(comma.FormatTwoDecimals(0), L",");
}

TEST(Numbers, ParseSingleRefusesWhatSinglePrecisionCannotHold) {
    const Numbers n;
    EXPECT_EQ(n.ParseSingle(L"90"), 90.0f);
    EXPECT_EQ(n.ParseSingle(L"2.5"), 2.5f);
    EXPECT_TRUE(n.ParseSingle(L"3e38").has_value());
    EXPECT_EQ(n.ParseSingle(L"1e39"), std::nullopt);
    EXPECT_EQ(n.ParseSingle(L"-1e39"), std::nullopt);
    EXPECT_EQ(n.ParseSingle(L"x"), std::nullopt);
}

// Next to the largest double, the 15-digit figure lies beyond every double; each display text
// must still read back, under either separator, to the value it shows.
TEST(Numbers, DisplayTextsOfTheLargestNumbersReadBack) {
    for (const wchar_t decimal : {L'.', L','}) {
        const Numbers n(decimal);
        for (const double value : {DBL_MAX, -DBL_MAX, std::nextafter(DBL_MAX, 0.0), -DBL_MAX / 1.0000000000001}) {
            const std::wstring whole = n.FormatWhole(value);
            const auto wholeBack = n.Parse(whole);
            ASSERT_TRUE(wholeBack.has_value()) << value << " as \"#\" has " << whole.size() << " characters";
            EXPECT_NEAR(*wholeBack, value, std::fabs(value) * 1e-14);
            EXPECT_EQ(whole.front() == L'-', value < 0);

            const std::wstring two = n.FormatTwoDecimals(value);
            const auto twoBack = n.Parse(two);
            ASSERT_TRUE(twoBack.has_value()) << value << " as \"#.##\"";
            EXPECT_NEAR(*twoBack, value, std::fabs(value) * 1e-14);
            EXPECT_EQ(two.back(), decimal);

            const std::wstring plain = n.PlainText(value);
            const auto plainBack = n.Parse(plain);
            ASSERT_TRUE(plainBack.has_value()) << value << " as plain text";
            EXPECT_NEAR(*plainBack, value, std::fabs(value) * 1e-14);
        }
        // Far enough below the largest double the 15-digit figure is kept.
        EXPECT_EQ(n.PlainText(1e308), L"1E+308");
        EXPECT_EQ(n.FormatWhole(1.5e300).substr(0, 3), L"150");
        EXPECT_EQ(n.FormatWhole(1.5e300).size(), 301u);
    }
}

struct WholeCase {
    const wchar_t* text;
    std::optional<long long> expected;
    friend void PrintTo(const WholeCase& c, std::ostream* os) { *os << testing::PrintToString(c.text); }
};

class NumbersParseWhole : public ::testing::TestWithParam<WholeCase> {};

TEST_P(NumbersParseWhole, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(Numbers().ParseWhole(GetParam().text), GetParam().expected)
        << testing::PrintToString(GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Texts, NumbersParseWhole,
                         ::testing::Values(WholeCase{L"1", 1}, WholeCase{L"0", 0}, WholeCase{L"0.5", 0},
                                           WholeCase{L"1.5", 2}, WholeCase{L"2.5", 2}, WholeCase{L"3.5", 4},
                                           WholeCase{L"-2.5", -2}, WholeCase{L"2.6", 3}, WholeCase{L" 1 ", 1},
                                           WholeCase{L" ", std::nullopt}, WholeCase{L"abc", std::nullopt},
                                           WholeCase{L"", std::nullopt}));

struct FormatCase {
    double value;
    const wchar_t* expected;
};

class NumbersFormatWhole : public ::testing::TestWithParam<FormatCase> {};

TEST_P(NumbersFormatWhole, RoundsHalvesAwayFromZeroAndWritesNothingForZero) {
    EXPECT_EQ(Numbers().FormatWhole(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, NumbersFormatWhole,
                         ::testing::Values(FormatCase{120, L"120"}, FormatCase{90, L"90"},
                                           FormatCase{0.5, L"1"}, FormatCase{1.5, L"2"},
                                           FormatCase{2.5, L"3"}, FormatCase{10.2, L"10"},
                                           FormatCase{0.17 * 60, L"10"}, FormatCase{599.5, L"600"},
                                           FormatCase{-2.5, L"-3"}, FormatCase{-7, L"-7"}, FormatCase{0, L""},
                                           FormatCase{0.4, L""}, FormatCase{0.04, L""},
                                           FormatCase{1e6, L"1000000"}));

class NumbersFormatTwoDecimals : public ::testing::TestWithParam<FormatCase> {};

TEST_P(NumbersFormatTwoDecimals, KeepsAtMostTwoDecimalsAndAlwaysThePoint) {
    EXPECT_EQ(Numbers().FormatTwoDecimals(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, NumbersFormatTwoDecimals,
                         ::testing::Values(FormatCase{1.5, L"1.5"}, FormatCase{10.0 / 60, L".17"},
                                           FormatCase{60.0 / 60, L"1."}, FormatCase{90.0 / 60, L"1.5"},
                                           FormatCase{120.0 / 60, L"2."}, FormatCase{2.0 / 60, L".03"},
                                           FormatCase{0, L"."}, FormatCase{0.004, L"."},
                                           FormatCase{0.005, L".01"}, FormatCase{2.5, L"2.5"},
                                           FormatCase{1.005, L"1.01"}, FormatCase{0.995, L"1."},
                                           FormatCase{9.999, L"10."}, FormatCase{12.345, L"12.35"},
                                           FormatCase{-1.5, L"-1.5"}, FormatCase{-10.0 / 60, L"-.17"},
                                           FormatCase{1000, L"1000."}));

class NumbersPlainText : public ::testing::TestWithParam<FormatCase> {};

TEST_P(NumbersPlainText, WritesIntegralValuesWithoutAPoint) {
    EXPECT_EQ(Numbers().PlainText(GetParam().value), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, NumbersPlainText,
                         ::testing::Values(FormatCase{59, L"59"}, FormatCase{0, L"0"}, FormatCase{-1, L"-1"},
                                           FormatCase{1.5, L"1.5"}, FormatCase{-0.5, L"-0.5"},
                                           FormatCase{10000, L"10000"}, FormatCase{0.1 - 1, L"-0.9"},
                                           FormatCase{2.2 - 1, L"1.2"}));

} // namespace
} // namespace quillon
