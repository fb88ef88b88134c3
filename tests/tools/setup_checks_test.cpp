// The setup rules that need no meter: the range named is the unit's own, and the
// line after the verdict says what the unit now stores.
#include <gtest/gtest.h>

#include "setup_checks.h"

namespace velquor::cli {
namespace {

TEST(SetupFrequency, RefusalNamesTheRangeOfThatUnit) {
    const struct {
        double mhz;
        bool unitLow;
        std::optional<bool> answer;
        const char* says;  // empty: taken
    } cases[] = {
        {2800,
         false,
         {},
         "2800 MHz is out of range for a unit not calibrated for low "
         "frequency; enter a whole number from 700 to 2700 MHz"},
        {2800,
         true,
         {},
         "2800 MHz is out of range for a unit calibrated for low frequency; "
         "enter a whole number from 150 to 2700 MHz"},
        {600, false, {}, "from 700 to 2700 MHz, or give --low-frequency yes"},
        {100, false, {}, "from 700 to 2700 MHz"},
        {100, false, true,
         "for a unit calibrated for low frequency; enter a whole number "
         "from 150 to 2700 MHz"},
        {1e11, false, {}, "--frequency: 1e+11 MHz is out of range"},
        {1800, false, true, "--low-frequency yes marks a unit"},
        {1800, true, false, "a setup cannot clear the mark"},
        {600, false, true, ""},
        {150, true, {}, ""},
        {2700, false, {}, ""},
        {700, false, false, ""},
    };
    for (const auto& c : cases) {
        const std::string why = CheckSetupFrequency(c.mhz, c.unitLow, c.answer);
        if (*c.says == '\0')
            EXPECT_EQ(why, "") << c.mhz;
        else
            EXPECT_NE(why.find(c.says), std::string::npos) << c.mhz << ": " << why;
    }
}

TEST(SetupCableLoss, TheLineSaysWhatTheUnitStores) {
    const struct {
        double given;
        std::optional<int> tableMhz;
        const char* line;
    } cases[] = {
        {1.55, {}, "Cable loss written: 1.5 dB (1.55 dB, to the tenth of a dB the meter stores)"},
        {1.56, {}, "Cable loss written: 1.6 dB (1.56 dB, to the tenth of a dB the meter stores)"},
        {2.5, {}, "Cable loss written: 2.5 dB"},
        {25.5, {}, "Cable loss written: 25.5 dB"},
        {1.65, 1350,
         "Cable loss written: 1.6 dB (the loss table's 1.65 dB at 1350 MHz, to the tenth of a "
         "dB the meter stores)"},
        {2.0, 2700, "Cable loss written: 2.0 dB (the loss table's at 2700 MHz)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CableLossWrittenLine(c.given, c.tableMhz), c.line) << c.given;
}

}  // namespace
}  // namespace velquor::cli
