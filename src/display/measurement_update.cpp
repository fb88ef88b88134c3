#include "display/measurement_update.h"

#include <algorithm>
#include <cmath>

#include "measure/battery_gauge.h"
#include "measure/power_units.h"
#include "meter/number_format.h"
#include "meter/round_half_down.h"
#include "meter/unit_parameters.h"

namespace velquor {

namespace {

// The angle arithmetic uses these rounded constants; the needle's pixels depend on them.
constexpr double kPi = 3.1415926;
constexpr double kNeedleSideAngle = 0.4363323055555556;  // 25 degrees
constexpr int kNeedleLength = 35;
constexpr int kNeedleSideLength = 5;

PanelPoint DialPoint(int length, double angle) {
    return {kDialCentre.x + RoundHalfDown(length * std::cos(angle)),
            kDialCentre.y - RoundHalfDown(length * std::sin(angle))};
}

}  // namespace

bool PowerShownAsNumber(double dbm) {
    return dbm > -4.0 && dbm < 50.1;
}

bool TemperatureShownAsNumber(double celsius) {
    return celsius > -100.0 && celsius < 150.0;
}

LimitState EvaluateLimitState(double powerDbm, double temperatureC) {
    const bool powerOver = powerDbm > kPowerOverLimitDbm;
    const bool tempOver = temperatureC > kTemperatureOverLimitC;
    if (powerOver && tempOver)
        return LimitState::BothOver;
    if (powerOver)
        return LimitState::PowerOver;
    if (tempOver)
        return LimitState::TemperatureOver;
    if (powerDbm < kPowerBelowLimitDbm)
        return LimitState::PowerBelow;
    return LimitState::None;
}

bool IsOverLimit(LimitState state) {
    return state == LimitState::PowerOver || state == LimitState::TemperatureOver ||
           state == LimitState::BothOver;
}

const char* LimitMessage(LimitState state) {
    switch (state) {
        case LimitState::PowerOver:
            return "Power is over the limit!";
        case LimitState::TemperatureOver:
            return "TEMP is over the limit!";
        case LimitState::BothOver:
            return "Both are over the limit!";
        case LimitState::PowerBelow:
            return "Power is below the limit!";
        case LimitState::None:
            break;
    }
    return "";
}

int BatteryBar(double battery) {
    // NaN cannot come from the meter's bytes; treat it as an empty battery rather than full.
    if (std::isnan(battery))
        return kBatteryBarMax;
    // The same fraction the command line, SCPI and MQTT give as a percentage.
    const int bar =
        TruncateToInt(kBatteryBarMax - measure::BatteryFraction(battery) * kBatteryBarMax);
    return std::clamp(bar, 0, kBatteryBarMax);
}

std::string DbmReadoutText(bool connected, double shownPowerDbm) {
    if (!connected || !PowerShownAsNumber(shownPowerDbm))
        return kPowerPlaceholder;
    return FormatC("%2.1f", shownPowerDbm);
}

std::string WattReadoutText(bool connected, double shownPowerDbm) {
    if (!connected || !PowerShownAsNumber(shownPowerDbm))
        return kPowerPlaceholder;
    const double watt = measure::DbmToUnit(shownPowerDbm, measure::PowerUnit::Watt);
    return watt >= 1.0 ? FormatC("%2.2f", watt) : FormatC("%1.3f", watt);
}

std::string CelsiusReadoutText(bool connected, double shownTempC) {
    if (!connected || !TemperatureShownAsNumber(shownTempC))
        return kTemperaturePlaceholder;
    return FormatC("%2.1f", shownTempC);
}

std::string FahrenheitReadoutText(bool connected, double shownTempC) {
    if (!connected || !TemperatureShownAsNumber(shownTempC))
        return kTemperaturePlaceholder;
    return FormatC("%2.1f", CelsiusToFahrenheit(shownTempC));
}

int CenteredTextX(int textWidth, int boxWidth, int boxLeft) {
    return std::max((boxWidth - textWidth) / 2, 0) + boxLeft;
}

int DbmReadoutX(int textWidth) {
    return CenteredTextX(textWidth, 100, 35);
}

int WattReadoutX(int textWidth) {
    return CenteredTextX(textWidth, 100, 36);
}

int DialReadoutX(int textWidth) {
    return CenteredTextX(textWidth, 50, 103);
}

NeedlePolygon ComputeNeedlePolygon(double shownTempC) {
    const double theta = (225.0 - (shownTempC + 40.0) * 265.0 / 88.9) * kPi / 180.0;
    return {kDialCentre, DialPoint(kNeedleSideLength, theta + kNeedleSideAngle),
            DialPoint(kNeedleLength, theta),
            DialPoint(kNeedleSideLength, theta - kNeedleSideAngle)};
}

MeasurementPanelContent EvaluateMeasurementPanel(MeasurementDisplayState& state, bool connected,
                                                 const MeterReadings& readings) {
    MeasurementPanelContent out;
    state.m_dShownPower = readings.powerDbm;
    state.m_dShownTemp = readings.temperatureC;

    const double battery = connected ? readings.battery : 0.0;
    out.clearBatteryReading = !connected;
    state.m_nBatteryBar = BatteryBar(battery);
    out.batteryFill = {69 + state.m_nBatteryBar, 4, kBatteryBarMax - state.m_nBatteryBar, 12};
    if (connected && state.m_nBatteryBar >= kBatteryBarMax) {
        state.m_bBatteryBlink = !state.m_bBatteryBlink;
        out.batteryWhite = !state.m_bBatteryBlink;
    }

    out.dbmText = DbmReadoutText(connected, state.m_dShownPower);
    out.wattText = WattReadoutText(connected, state.m_dShownPower);

    if (!connected)
        state.m_dShownTemp = kIdleDialTemperatureC;
    out.needle = ComputeNeedlePolygon(state.m_dShownTemp);
    out.celsiusText = CelsiusReadoutText(connected, state.m_dShownTemp);
    out.fahrenheitText = FahrenheitReadoutText(connected, state.m_dShownTemp);

    if (connected) {
        out.limit = EvaluateLimitState(readings.powerDbm, readings.temperatureC);
        if (IsOverLimit(out.limit)) {
            state.m_bAlarmBlink = !state.m_bAlarmBlink;
            out.strip = state.m_bAlarmBlink ? kAlarmRed : kAlarmYellow;
        }
        out.message = LimitMessage(out.limit);
    }
    return out;
}

}  // namespace velquor
