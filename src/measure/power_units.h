#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velquor::measure {

// Units the power can be shown in. dBuV and V are into 50 ohm.
enum class PowerUnit { Dbm, Watt, Dbuv, Volt };

inline constexpr double kDbuvMinusDbm =
    107.0;  // 10 log10(50 ohm * 1 mW / 1 uV^2), rounded as usual
inline constexpr double kReferenceOhm = 50.0;

double DbmToMilliwatt(double dbm);
double MilliwattToDbm(double milliwatt);

// The power in the unit, plain (W and V unscaled): what machine output prints.
double DbmToUnit(double dbm, PowerUnit unit);

// "dBm", "W", "dBuV", "V".
const char* UnitName(PowerUnit unit);
// "dbm", "w", "dbuv", "v" in any case; nothing for anything else.
std::optional<PowerUnit> ParsePowerUnit(std::string_view text);

// A value with the prefix that keeps its number between 1 and 1000 where it can:
// W, mW, uW, nW (V, mV, uV, nV), within a rounding error of 1. Values under 1 n
// stay in n.
struct ScaledValue {
    double value;
    std::string unit;
};
ScaledValue ScaleLinear(double value, const char* base_unit);

// A number and its unit, apart, for a readout that draws them in different places.
struct PowerText {
    std::string number;
    std::string unit;
};
// dBm and dBuV with the decimals asked for; W and V to three significant digits
// with the prefix that suits them.
PowerText FormatPowerParts(double dbm, PowerUnit unit, int decimals);
// With its sign always shown: "+3.0".
PowerText FormatRelativeParts(double db, int decimals);

// Text for a person: "12.34 dBm", "100 mW", "1.00 W", "119.34 dBuV", "2.24 V".
std::string FormatPower(double dbm, PowerUnit unit);
// A relative value: "+3.02 dB", "-0.50 dB".
std::string FormatRelative(double db);

}  // namespace velquor::measure
