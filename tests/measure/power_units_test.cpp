#include <gtest/gtest.h>

#include <cmath>

#include "measure/power_units.h"

namespace velquor::measure {
namespace {

TEST(PowerUnits, ValuesForMachinesArePlain) {
    const struct {
        double dbm;
        PowerUnit unit;
        double expected;
    } cases[] = {
        {0.0, PowerUnit::Dbm, 0.0},
        {20.0, PowerUnit::Watt, 0.1},
        {30.0, PowerUnit::Watt, 1.0},
        {-30.0, PowerUnit::Watt, 1e-6},
        {0.0, PowerUnit::Dbuv, 107.0},
        {-13.0, PowerUnit::Dbuv, 94.0},
        {30.0, PowerUnit::Volt, std::sqrt(50.0)},       // 1 W into 50 ohm
        {0.0, PowerUnit::Volt, std::sqrt(0.001 * 50)},  // 1 mW: 0.2236 V
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(UnitName(c.unit)) + " at " + std::to_string(c.dbm));
        EXPECT_NEAR(DbmToUnit(c.dbm, c.unit), c.expected, std::fabs(c.expected) * 1e-12 + 1e-15);
    }
}

TEST(PowerUnits, TextForPeopleScalesWatts) {
    const struct {
        double dbm;
        PowerUnit unit;
        const char* text;
    } cases[] = {
        {12.345, PowerUnit::Dbm, "12.35 dBm"},
        {-3.9, PowerUnit::Dbm, "-3.90 dBm"},
        {20.0, PowerUnit::Watt, "100 mW"},
        {30.0, PowerUnit::Watt, "1.00 W"},
        {43.0, PowerUnit::Watt, "20.0 W"},  // 19.95 W to three digits
        {0.0, PowerUnit::Watt, "1.00 mW"},
        {10.0, PowerUnit::Watt, "10.0 mW"},
        {-30.0, PowerUnit::Watt, "1.00 uW"},
        {-60.0, PowerUnit::Watt, "1.00 nW"},
        {-65.0, PowerUnit::Watt, "0.316 nW"},
        {29.9999, PowerUnit::Watt, "1.00 W"},  // not "1000 mW"
        {0.0, PowerUnit::Dbuv, "107.00 dBuV"},
        {0.0, PowerUnit::Volt, "224 mV"},
        {30.0, PowerUnit::Volt, "7.07 V"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatPower(c.dbm, c.unit), c.text) << c.dbm << " " << UnitName(c.unit);
    EXPECT_EQ(FormatRelative(3.0), "+3.00 dB");
    EXPECT_EQ(FormatRelative(-0.5), "-0.50 dB");
}

TEST(PowerUnits, ParsesTheNamesScriptsType) {
    EXPECT_EQ(ParsePowerUnit("dbm"), PowerUnit::Dbm);
    EXPECT_EQ(ParsePowerUnit("W"), PowerUnit::Watt);
    EXPECT_EQ(ParsePowerUnit("dBuV"), PowerUnit::Dbuv);
    EXPECT_EQ(ParsePowerUnit("v"), PowerUnit::Volt);
    EXPECT_FALSE(ParsePowerUnit("mw"));
    EXPECT_FALSE(ParsePowerUnit(""));
}

}  // namespace
}  // namespace velquor::measure
