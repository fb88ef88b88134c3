#include <gtest/gtest.h>

#include <string>

#include "logging/log_messages.h"
#include "logging/save_rate.h"

namespace velquor {
namespace {

struct RateCase {
    const char* text;
    SaveRateCheck check;
    int periodMs;  // checked only when check is Ok or the value is meaningful
    bool checkPeriod;
};

class SaveRateTable : public ::testing::TestWithParam<RateCase> {};

TEST_P(SaveRateTable, ParsesRoundsAndChecksTheRange) {
    const RateCase& c = GetParam();
    const SaveRate rate = ParseSaveRate(c.text);
    EXPECT_EQ(rate.check, c.check) << '"' << c.text << '"';
    if (c.checkPeriod) {
        EXPECT_EQ(rate.periodMs, c.periodMs) << '"' << c.text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rates, SaveRateTable,
    ::testing::Values(RateCase{"1.0", SaveRateCheck::Ok, 1000, true},
                      RateCase{"0.999", SaveRateCheck::TooShort, 999, true},
                      RateCase{"3600", SaveRateCheck::Ok, 3600000, true},
                      RateCase{"3600.0", SaveRateCheck::Ok, 3600000, true},
                      RateCase{"3600.001", SaveRateCheck::TooLong, 3600001, true},
                      // Exactly one half of a millisecond is dropped, more rounds up.
                      RateCase{"1.0625", SaveRateCheck::Ok, 1062, true},
                      RateCase{"1.0626", SaveRateCheck::Ok, 1063, true},
                      // Single precision: 0.9995 is stored a little below, 999.49... ms.
                      RateCase{"0.9995", SaveRateCheck::TooShort, 999, true},
                      RateCase{" 2.5 ", SaveRateCheck::Ok, 2500, true},
                      // A comma is the decimal point: "1,5" is 1.5 s, never 1 s.
                      RateCase{"1,5", SaveRateCheck::Ok, 1500, true},
                      RateCase{"60,5", SaveRateCheck::Ok, 60500, true},
                      RateCase{"-5", SaveRateCheck::TooShort, -5000, true},
                      RateCase{"1e9", SaveRateCheck::TooLong, 0, false},
                      // Anything but one number is refused as such.
                      RateCase{"", SaveRateCheck::NotANumber, 0, false},
                      RateCase{"abc", SaveRateCheck::NotANumber, 0, false},
                      RateCase{"2.5 seconds", SaveRateCheck::NotANumber, 0, false},
                      RateCase{"3abc", SaveRateCheck::NotANumber, 0, false},
                      RateCase{"nan", SaveRateCheck::NotANumber, 0, false},
                      RateCase{"inf", SaveRateCheck::NotANumber, 0, false},
                      RateCase{".", SaveRateCheck::NotANumber, 0, false}));

TEST(SaveRate, MillisecondsTruncateTowardZeroForNegativeSeconds) {
    EXPECT_EQ(SaveRateSecondsToMs(-1.7f), -1700);
    EXPECT_EQ(SaveRateSecondsToMs(0.00125f), 1);
    EXPECT_EQ(SaveRateSecondsToMs(0.00175f), 2);
    EXPECT_EQ(SaveRateSecondsToMs(0.0f), 0);
}

TEST(SaveRate, EachRefusalHasItsMessage) {
    EXPECT_STREQ(SaveRateMessage(SaveRateCheck::TooShort),
                 "Time period to save data is too short!");
    EXPECT_STREQ(SaveRateMessage(SaveRateCheck::TooLong), "Time period to save data is too long!");
    EXPECT_STREQ(SaveRateMessage(SaveRateCheck::NotANumber),
                 "The file save rate is not a number! Enter 1.0 to 3600.0 seconds.");
    EXPECT_STREQ(SaveRateMessage(SaveRateCheck::Ok), "");
}

TEST(LogMessages, NameTheFile) {
    EXPECT_EQ(OpenErrorMessage("/x/y.txt"), "Error opening file /x/y.txt.");
    const std::string write = WriteErrorMessage("/x/y.txt", "No space left on device");
    EXPECT_NE(write.find("/x/y.txt"), std::string::npos);
    EXPECT_NE(write.find("No space left on device"), std::string::npos);
    EXPECT_NE(AlreadyLoggingMessage("/x/y.txt").find("/x/y.txt"), std::string::npos);
}

}  // namespace
}  // namespace velquor
