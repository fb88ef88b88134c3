#include "measure/power_units.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace velquor::measure {

namespace {

constexpr double kDbToNaturalLog = std::numbers::ln10 / 10.0;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

enum class Style { Fixed, Significant };

struct NumberStyle {
    Style style;
    int digits;
    bool plus_sign = false;
};

// std::to_chars does not look at the locale, which Qt sets from the environment.
std::string Number(NumberStyle style, double value) {
    char buffer[64];
    char* begin = buffer;
    if (style.plus_sign && !std::signbit(value))
        *begin++ = '+';
    const auto format =
        style.style == Style::Fixed ? std::chars_format::fixed : std::chars_format::general;
    const auto result =
        std::to_chars(begin, buffer + sizeof buffer - 1, value, format, style.digits);
    return std::string(buffer, result.ec == std::errc() ? result.ptr : begin);
}

// Three significant digits for a number between 1 and 1000, more below 1.
NumberStyle LinearStyle(double magnitude) {
    magnitude *= 1.0 + 1e-9;  // 0.99999999 after scaling is 1
    if (magnitude >= 100.0)
        return {Style::Fixed, 0};
    if (magnitude >= 10.0)
        return {Style::Fixed, 1};
    if (magnitude >= 1.0 || magnitude == 0.0)
        return {Style::Fixed, 2};
    return {Style::Significant, 3};
}

// 10^(dbm / 10 + shift): whole decades from exact powers of ten, so that 30 dBm is
// 1000 mW and 1 W exactly, as people and scripts expect; exp only spans the last
// 10 dB. Within +-220 dBm it is off by at most 2.4 units in the last place.
double TenthPowerOfTen(double dbm, int shift) {
    static constexpr double kPowersOfTen[] = {
        1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14,
        1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,
        1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,
        1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22};
    constexpr int kLowest = -25;
    constexpr int kHighest = 22;
    // Only where the table may serve, which also keeps the int in range; NaN is not.
    if (dbm > 10.0 * (kLowest - 1) && dbm < 10.0 * (kHighest + 4)) {
        // Truncation and a product: floor and a division cost as much as the rest.
        int decade = static_cast<int>(dbm * 0.1);
        double rest = dbm - decade * 10.0;
        if (rest < 0.0) {
            decade -= 1;
            rest += 10.0;
        } else if (rest >= 10.0) {
            decade += 1;
            rest -= 10.0;
        }
        decade += shift;
        if (decade >= kLowest && decade <= kHighest)
            return kPowersOfTen[decade - kLowest] * std::exp(rest * kDbToNaturalLog);
    }
    return std::exp((dbm + 10.0 * shift) * kDbToNaturalLog);
}

}  // namespace

double DbmToMilliwatt(double dbm) {
    return TenthPowerOfTen(dbm, 0);
}

double MilliwattToDbm(double milliwatt) {
    // glibc's log10 takes three times as long as log, and a rounding more costs nothing here.
    return std::log(milliwatt) * (1.0 / kDbToNaturalLog);
}

double DbmToUnit(double dbm, PowerUnit unit) {
    switch (unit) {
        case PowerUnit::Dbm:
            return dbm;
        case PowerUnit::Watt:
            return TenthPowerOfTen(dbm, -3);
        case PowerUnit::Dbuv:
            return dbm + kDbuvMinusDbm;
        case PowerUnit::Volt:
            return std::sqrt(TenthPowerOfTen(dbm, -3) * kReferenceOhm);
    }
    return dbm;
}

const char* UnitName(PowerUnit unit) {
    switch (unit) {
        case PowerUnit::Dbm:
            return "dBm";
        case PowerUnit::Watt:
            return "W";
        case PowerUnit::Dbuv:
            return "dBuV";
        case PowerUnit::Volt:
            return "V";
    }
    return "dBm";
}

std::optional<PowerUnit> ParsePowerUnit(std::string_view text) {
    for (PowerUnit unit : {PowerUnit::Dbm, PowerUnit::Watt, PowerUnit::Dbuv, PowerUnit::Volt}) {
        if (EqualsIgnoringCase(text, UnitName(unit)))
            return unit;
    }
    return std::nullopt;
}

ScaledValue ScaleLinear(double value, const char* base_unit) {
    static const struct {
        double factor;
        const char* prefix;
    } kSteps[] = {{1.0, ""}, {1e3, "m"}, {1e6, "u"}, {1e9, "n"}};
    const double magnitude = std::fabs(value);
    for (const auto& step : kSteps) {
        if (magnitude * step.factor >= 1.0 - 1e-9 || value == 0.0)
            return {value * step.factor, std::string(step.prefix) + base_unit};
    }
    return {value * 1e9, std::string("n") + base_unit};
}

PowerText FormatPowerParts(double dbm, PowerUnit unit, int decimals) {
    if (unit == PowerUnit::Dbm || unit == PowerUnit::Dbuv)
        return {Number({Style::Fixed, decimals}, DbmToUnit(dbm, unit)), UnitName(unit)};
    // Rounded to the three digits shown before the prefix is chosen, so 999.96 mW
    // reads "1.00 W", not "1000 mW".
    double value = DbmToUnit(dbm, unit);
    if (value > 0.0 && std::isfinite(value)) {
        const double step = std::pow(10.0, std::floor(std::log10(value)) - 2.0);
        value = std::round(value / step) * step;
    }
    const ScaledValue scaled = ScaleLinear(value, UnitName(unit));
    return {Number(LinearStyle(std::fabs(scaled.value)), scaled.value), scaled.unit};
}

PowerText FormatRelativeParts(double db, int decimals) {
    return {Number({Style::Fixed, decimals, true}, db), "dB"};
}

std::string FormatPower(double dbm, PowerUnit unit) {
    const PowerText text = FormatPowerParts(dbm, unit, 2);
    return text.number + " " + text.unit;
}

std::string FormatRelative(double db) {
    const PowerText text = FormatRelativeParts(db, 2);
    return text.number + " " + text.unit;
}

}  // namespace velquor::measure
