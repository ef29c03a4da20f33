// How typed numbers are read, tested as numbers and rounded.
#include <gtest/gtest.h>

#include <cmath>

#include "protocol/NumberEntry.h"

namespace ht6630 {
namespace {

TEST(NumberEntry, ValueReadsUpToTheFirstCharacterThatCannotContinue) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"60", 60},          {"  60  ", 60},      {" 1 2", 12},         {"1 4 4 0", 1440},
        {"\t1\n5", 15},      {"abc", 0},          {"", 0},              {"   ", 0},
        {"1e1", 10},         {"1E1", 10},         {"1d2", 100},         {"1D-1", 0.1},
        {"2.5e+1", 25},      {"1e", 1},           {"1e+", 1},           {"1e5.5", 100000},
        {"12abc", 12},       {"1.2.3", 1.2},      {".5", 0.5},          {"-.5", -0.5},
        {"+7", 7},           {"- 7", -7},         {"--7", 0},           {"+-7", 0},
        {".", 0},            {"-", 0},            {"e5", 0},            {".e5", 0},
        {"1,000", 1},        {"0x1F", 0},         {"007", 7},           {"1440.0001", 1440.0001},
        {"240.5", 240.5},    {"-0.5", -0.5},      {"５", 0},            {"1 e 1", 10},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(ValueOf(c.text), c.value) << '"' << c.text << '"';
}

TEST(NumberEntry, ExtremeExponentsGiveInfinityOrZero) {
    EXPECT_TRUE(std::isinf(ValueOf("1e999")));
    EXPECT_GT(ValueOf("1e999"), 0);
    EXPECT_LT(ValueOf("-1e999"), 0);
    EXPECT_TRUE(std::isinf(ValueOf("-1e999")));
    EXPECT_EQ(ValueOf("1e-999"), 0.0);
    EXPECT_EQ(ValueOf("1e99999999999999999999999"), HUGE_VAL);
    EXPECT_EQ(ValueOf("0e99999"), 0.0);
    EXPECT_EQ(ValueOf("0.0000001e99999999"), HUGE_VAL);
    EXPECT_EQ(ValueOf(std::string(400, '9')), HUGE_VAL);
}

TEST(NumberEntry, NumericMeansTheWholeText) {
    for (const char* yes : {"0", "24", " 24 ", "05", "1.5", "1.", ".5", "+5", "-5", "1e1", "1E+1", "1d-2", "\t7\t", "\n7\n"})
        EXPECT_TRUE(IsNumeric(yes)) << '"' << yes << '"';
    for (const char* no : {"", " ", "a", "1a", "1 2", "1e", "1e+", ".", "-", "+", "1.2.3", "--1", "e1", "0x10",
                           "1,000", "２４", "\r4", "4\r"})
        EXPECT_FALSE(IsNumeric(no)) << '"' << no << '"';
}

TEST(NumberEntry, RoundingHalvesGoToEven) {
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.4999), 1);
    EXPECT_EQ(RoundHalfEven(1.5001), 2);
    EXPECT_EQ(RoundHalfEven(-1.5), -2);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(65535.5), 65536);
    EXPECT_EQ(RoundHalfEven(240.4), 240);
    const double minusHalf = RoundHalfEven(-0.5);
    EXPECT_EQ(minusHalf, 0);
    EXPECT_FALSE(std::signbit(minusHalf));
    EXPECT_EQ(RoundHalfEven(1e300), 1e300);
}

TEST(NumberEntry, TrimAndPlainDigits) {
    EXPECT_EQ(Trim("  2012345678901 "), "2012345678901");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim("\t5\t"), "\t5\t");  // only spaces are trimmed
    EXPECT_EQ(Trim(" a b "), "a b");
    for (const char* yes : {"0", "059", " 24 ", "00"}) EXPECT_TRUE(IsPlainDigits(yes)) << yes;
    for (const char* no : {"", "  ", "1.5", "1e1", "+5", "-5", "1 2", "\t5"}) EXPECT_FALSE(IsPlainDigits(no)) << no;
}

}  // namespace
}  // namespace ht6630
