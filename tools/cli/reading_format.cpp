#include "reading_format.h"

#include <nlohmann/json.hpp>

#include <cmath>

#include "cli_text.h"
#include "measure/battery_gauge.h"
#include "measure/power_units.h"
#include "meter/number_format.h"

namespace velquor::cli {

namespace {

constexpr int kOpcodeMeasurement = 0xE4;
constexpr int kOpcodeLinkLost = 0xF0;

// Shortest of one or two decimals that gives the value back exactly
// (temperatures come in steps of 1.25).
std::string ShortNumber(double v) {
    std::string text = FormatC("%.1f", v);
    if (ParseLeadingDouble(text).value_or(v + 1) != v)
        text = FormatC("%.2f", v);
    return text;
}

// " (68%)", " (0%, low)": what the window's gauge shows; nothing without a reading.
std::string BatteryGaugeText(double raw) {
    const auto percent = measure::BatteryPercent(raw);
    if (!percent)
        return {};
    return FormatC(" (%d%%%s)", *percent, measure::BatteryLow(raw).value_or(false) ? ", low" : "");
}

}  // namespace

double PowerWatts(double dBm) {
    return measure::DbmToUnit(dBm, measure::PowerUnit::Watt);
}

std::string MonitorTextLine(const station::Reading& reading, const std::string& meter,
                            bool withMeter) {
    std::string line = LocalClockText(reading.utc_us) + "  ";
    if (withMeter)
        line += PrintableText(meter) + "  ";
    switch (reading.kind) {
        case station::ReadingKind::Measurement:
            return line + "measurement  battery " + ShortNumber(reading.battery) +
                   BatteryGaugeText(reading.battery) + "  power " + ShortNumber(reading.power_dbm) +
                   " dBm  temperature " + ShortNumber(reading.temperature_c) + " C";
        case station::ReadingKind::LinkLost:
            return line + "link lost";
        case station::ReadingKind::Reconnected:
            return line + "reconnected";
    }
    return line;
}

namespace {

nlohmann::ordered_json MonitorJson(const station::Reading& reading, const std::string& meter) {
    nlohmann::ordered_json object = {{"meter", meter}, {"time", IsoUtcText(reading.utc_us)}};
    switch (reading.kind) {
        case station::ReadingKind::Measurement:
            object["opcode"] = kOpcodeMeasurement;
            object["battery"] = reading.battery;
            if (const auto percent = measure::BatteryPercent(reading.battery)) {
                object["battery_percent"] = *percent;
                object["battery_low"] = measure::BatteryLow(reading.battery).value_or(false);
            } else {
                object["battery_percent"] = nullptr;
                object["battery_low"] = nullptr;
            }
            object["power_dbm"] = reading.power_dbm;
            object["power_w"] = PowerWatts(reading.power_dbm);
            object["temperature_c"] = reading.temperature_c;
            break;
        case station::ReadingKind::LinkLost:
            object["opcode"] = kOpcodeLinkLost;
            object["event"] = "link_lost";
            break;
        case station::ReadingKind::Reconnected:
            object["event"] = "reconnected";
            break;
    }
    return object;
}

std::string Dump(const nlohmann::ordered_json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string MonitorJsonLine(const station::Reading& reading, const std::string& meter) {
    return Dump(MonitorJson(reading, meter));
}

std::string MonitorJsonLine(const station::Reading& reading, const std::string& meter,
                            const measure::MeasurePipeline& measured) {
    nlohmann::ordered_json object = MonitorJson(reading, meter);
    // A frame without a power, or with one the measurement refused, has no new value.
    if (reading.kind == station::ReadingKind::Measurement && measured.LatestTaken()) {
        const double value = measured.OutputValue();
        object["value"] = std::isfinite(value) ? nlohmann::ordered_json(value) : nullptr;
        object["unit"] = measured.OutputUnit();
        const char* word = measure::LimitWord(measured.Last().limit);
        object["limit"] = *word ? nlohmann::ordered_json(word) : nullptr;
    }
    return Dump(object);
}

std::string MonitorTextLine(const station::Reading& reading, const std::string& meter,
                            bool withMeter, const measure::MeasurePipeline& measured) {
    std::string line = MonitorTextLine(reading, meter, withMeter);
    // A frame without a power, or with one the measurement refused, has no new value.
    if (reading.kind == station::ReadingKind::Measurement && measured.LatestTaken()) {
        line += "  value " + measured.OutputText();
        const measure::LimitState limit = measured.Last().limit;
        if (limit == measure::LimitState::Pass)
            line += "  pass";
        else if (measure::Failed(limit))
            line += "  fail";
    }
    return line;
}

}  // namespace velquor::cli
