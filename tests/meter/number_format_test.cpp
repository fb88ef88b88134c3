#include <gtest/gtest.h>

#include <clocale>

#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {
namespace {

// Switches the process to a comma-decimal locale when one is installed.
class CommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr)
                break;
        }
        comma_ = FormatLocal(1.5).find(',') != std::string::npos;
    }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
    static std::string FormatLocal(double v) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.1f", v);
        return buffer;
    }
    bool comma_ = false;
};

TEST_F(CommaLocale, FormattingAlwaysUsesAPoint) {
    EXPECT_EQ(FormatC("%3.2f", 0.1), "0.10");
    EXPECT_EQ(FormatC("%2.1f", -3.9), "-3.9");
    EXPECT_EQ(FormatC("%3.1f", 2.25), "2.2");
    EXPECT_EQ(FormatC("%d.%2d", 1, 5), "1. 5");
    EXPECT_EQ(FormatC("%1.3f", 0.000407), "0.000");
    if (!comma_)
        GTEST_SKIP() << "no comma-decimal locale installed; checked under C only";
}

TEST_F(CommaLocale, ParsingAlwaysUsesAPoint) {
    EXPECT_DOUBLE_EQ(*ParseLeadingDouble("1700.9"), 1700.9);
    EXPECT_DOUBLE_EQ(*ParseLeadingDouble("  2.25 dB"), 2.25);
    // What the user types takes a comma as the decimal point: "2,5" is 2.5, never 2.
    std::string error;
    EXPECT_DOUBLE_EQ(ParseUserNumber("2,5", {"Cable loss", 0.0, 25.5}, error).value_or(0.0), 2.5);
    EXPECT_EQ(*ParseLeadingInt(" -42x"), -42);
}

TEST(ParseLeading, TextWithoutANumberIsRefused) {
    EXPECT_FALSE(ParseLeadingDouble(""));
    EXPECT_FALSE(ParseLeadingDouble("abc"));
    EXPECT_FALSE(ParseLeadingDouble("   "));
    EXPECT_FALSE(ParseLeadingDouble("nan"));
    EXPECT_FALSE(ParseLeadingDouble("inf"));
    EXPECT_FALSE(ParseLeadingDouble("-"));
    EXPECT_FALSE(ParseLeadingInt("x1"));
    EXPECT_DOUBLE_EQ(*ParseLeadingDouble(".5"), 0.5);
    EXPECT_DOUBLE_EQ(*ParseLeadingDouble("-3"), -3.0);
}

TEST(ParseWhole, OnlyAWholeFiniteNumberCounts) {
    EXPECT_DOUBLE_EQ(*ParseWholeDouble(" 2.5 "), 2.5);
    EXPECT_DOUBLE_EQ(*ParseWholeDouble("1e3"), 1000.0);
    EXPECT_FALSE(ParseWholeDouble("5abc"));
    EXPECT_FALSE(ParseWholeDouble("1e400"));
    EXPECT_FALSE(ParseWholeDouble(""));
    EXPECT_FALSE(ParseWholeDouble("2,5"));
}

TEST(ScanNumbers, ReadsInOrderAndStopsAtTheFirstFailure) {
    std::vector<double> v;
    EXPECT_EQ(ScanNumbers("18 8 2007 1.10 2", "dddfd", v), 5);
    EXPECT_EQ(v[0], 18);
    EXPECT_EQ(v[2], 2007);
    EXPECT_NEAR(v[3], 1.10, 1e-6);
    EXPECT_EQ(v[4], 2);
    std::vector<double> w(5, 0.0);
    EXPECT_EQ(ScanNumbers("Acme Inc", "dddfd", w), 0);
    EXPECT_EQ(w, std::vector<double>(5, 0.0));
    EXPECT_EQ(ScanNumbers("3 4", "dddfd", w), 2);
    EXPECT_EQ(w[2], 0.0);
}

TEST(ScanNumbers, HostileTextsCannotOverflow) {
    std::vector<double> v;
    const std::string longDigits(5000, '9');
    EXPECT_EQ(ScanNumbers(longDigits + " 1 2 1e999 3", "dddfd", v), 5);
    EXPECT_EQ(v[0], 2147483647.0);
    EXPECT_EQ(v[1], 1.0);
    EXPECT_TRUE(std::isfinite(v[3]));
    EXPECT_EQ(ScanNumbers(std::string(100000, ' '), "dddfd", v), 0);
}

TEST(RoundHalfDown, HalfStaysDownAndNegativesTruncate) {
    EXPECT_EQ(RoundHalfDown(22.5), 22);
    EXPECT_EQ(RoundHalfDown(22.6), 23);
    EXPECT_EQ(RoundHalfDown(0.4), 0);
    EXPECT_EQ(RoundHalfDown(-1.9), -1);
    EXPECT_EQ(RoundHalfDown(-0.6), 0);
    EXPECT_EQ(RoundHalfDown(1e300), 2147483647);
    EXPECT_EQ(RoundHalfDown(-1e300), -2147483647 - 1);
    EXPECT_EQ(RoundHalfDown(std::nan("")), 0);
}

TEST(ParseUserNumber, TakesOnlyAWholeDecimalText) {
    const NumberField loss{"Cable loss", 0.0, 25.5, false, "dB"};
    const NumberField mhz{"Frequency", 1.0, 6000.0, true, "MHz"};
    struct Case {
        const char* text;
        const NumberField* field;
        std::optional<double> value;
    };
    const Case cases[] = {
        {" 2.5 ", &loss, 2.5},   {"2,5", &loss, 2.5},     {"25.5", &loss, 25.5},
        {"25.6", &loss, {}},     {"-0.1", &loss, {}},     {"2.5dB", &loss, {}},
        {"", &loss, {}},         {"inf", &loss, {}},      {"nan", &loss, {}},
        {"1800", &mhz, 1800.0},  {"1800abc", &mhz, {}},   {"0x700", &mhz, {}},
        {"1700.5", &mhz, {}},    {"1700.0", &mhz, {}},    {"1e3", &mhz, {}},
        {"2,5,1", &loss, {}},    {"1e1", &loss, 10.0},    {"+3", &mhz, 3.0},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto value = ParseUserNumber(c.text, *c.field, error);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
        if (!c.value) {
            EXPECT_NE(error.find(c.field->name), std::string::npos) << error;
            EXPECT_NE(error.find(c.field->whole ? "6000" : "25.5"), std::string::npos) << error;
        }
    }
}

}  // namespace
}  // namespace velquor
