#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "display/panel_geometry.h"
#include "display/rgb_color.h"
#include "meter/reading_conversions.h"

namespace velquor {

// Alarm thresholds; the comparisons are strict.
inline constexpr double kPowerOverLimitDbm = 45.0;
inline constexpr double kTemperatureOverLimitC = 45.0;
inline constexpr double kPowerBelowLimitDbm = -5.0;

// Battery gauge: readings at or below empty (measure/battery_gauge.h) give a bar of 72
// (nothing filled), at or above full a bar of 0 (72 pixels filled).
inline constexpr int kBatteryBarMax = 72;

// Temperature the dial shows while no unit is connected.
inline constexpr double kIdleDialTemperatureC = 25.0;

inline constexpr char kPowerPlaceholder[] = " ------";
inline constexpr char kTemperaturePlaceholder[] = "------";

inline constexpr RgbColor kBatteryFillColor{100, 100, 200};
inline constexpr RgbColor kNeedleColor{200, 200, 10};
inline constexpr RgbColor kAlarmRed{255, 0, 0};
inline constexpr RgbColor kAlarmYellow{255, 255, 0};

// Readings outside these open ranges are shown as placeholders.
bool PowerShownAsNumber(double dbm);
bool TemperatureShownAsNumber(double celsius);

enum class LimitState { None, PowerOver, TemperatureOver, BothOver, PowerBelow };

LimitState EvaluateLimitState(double powerDbm, double temperatureC);
bool IsOverLimit(LimitState state);
// The strip message, empty for LimitState::None.
const char* LimitMessage(LimitState state);

// 0 (full) .. 72 (empty), truncated toward zero.
int BatteryBar(double battery);

// Readout texts; every placeholder rule includes the connected state.
std::string DbmReadoutText(bool connected, double shownPowerDbm);
std::string WattReadoutText(bool connected, double shownPowerDbm);
std::string CelsiusReadoutText(bool connected, double shownTempC);
std::string FahrenheitReadoutText(bool connected, double shownTempC);

// Left x of a text of width textWidth centred in a box of boxWidth starting at boxLeft; a text
// wider than the box starts at boxLeft.
int CenteredTextX(int textWidth, int boxWidth, int boxLeft);
int DbmReadoutX(int textWidth);   // box 35..135 of the dBm bitmap
int WattReadoutX(int textWidth);  // box 36..136 of the Watt bitmap
int DialReadoutX(int textWidth);  // box 103..153 of the dial bitmap
inline constexpr int kPowerReadoutY = 31;
inline constexpr int kCelsiusReadoutY = 44;
inline constexpr int kFahrenheitReadoutY = 67;

// Needle polygon inside the dial bitmap: centre, one side, tip, other side.
using NeedlePolygon = std::array<PanelPoint, 4>;
inline constexpr PanelPoint kDialCentre{51, 49};
NeedlePolygon ComputeNeedlePolygon(double shownTempC);

// The view's display members that persist from one redraw to the next.
struct MeasurementDisplayState {
    double m_dShownPower = 0.0;
    double m_dShownTemp = 0.0;
    int m_nBatteryBar = 0;
    bool m_bAlarmBlink = false;
    bool m_bBatteryBlink = false;
};

// One consistent copy of the meter's readings.
struct MeterReadings {
    double powerDbm = 0.0;
    double temperatureC = 0.0;
    double battery = 0.0;
};

// What the measurement math adds to the dBm sensor picture (measure_readout.h);
// nothing at all while it is off.
struct ReadoutMarks {
    std::string caption;   // replaces the sensor's caption when not empty
    bool lampRow = false;  // the lamp row is drawn anew with the two lamps below
    std::string unit;      // the lit left lamp's label
    std::string state;     // the right lamp's label; empty: no right lamp
    bool failed = false;   // a user limit failed: red lamp and red numbers
    bool Any() const { return !caption.empty() || lampRow || failed; }
};

// Everything the measurement panel draws at one redraw.
struct MeasurementPanelContent {
    // Not connected: the meter's battery reading is to be set to 0.0, as the gauge shows it.
    bool clearBatteryReading = false;
    // Inside the battery bitmap: x = 69 + bar, width 72 - bar, y 4, height 12.
    PanelRect batteryFill;
    // The gauge is replaced by white for this redraw (empty gauge blinking while connected).
    bool batteryWhite = false;
    std::string dbmText;
    std::string wattText;
    std::string celsiusText;
    std::string fahrenheitText;
    NeedlePolygon needle{};
    LimitState limit = LimitState::None;
    std::optional<RgbColor> strip;  // none: no strip this redraw
    std::string message;            // empty: no message
    ReadoutMarks marks;
};

// The per-redraw evaluation: takes the shown values, computes the gauge, the texts and the
// needle, evaluates the limits, and toggles the blink members as the redraw does.
MeasurementPanelContent EvaluateMeasurementPanel(MeasurementDisplayState& state, bool connected,
                                                 const MeterReadings& readings);

}  // namespace velquor
