#include "remote/reading_json.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "measure/battery_gauge.h"
#include "measure/power_units.h"

namespace velquor::remote {

namespace {

constexpr int kOpcodeMeasurement = 0xE4;
constexpr int kOpcodeLinkLost = 0xF0;

}  // namespace

std::string IsoUtcText(std::int64_t utc_us) {
    using namespace std::chrono;
    // Floor, so a time before 1970 still names the millisecond it falls in.
    const sys_time<microseconds> t{microseconds(utc_us)};
    const auto day = floor<days>(t);
    const year_month_day date{day};
    const hh_mm_ss<microseconds> clock{t - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(clock.hours().count()),
                  static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()),
                  static_cast<int>(clock.subseconds().count() / 1000));
    return text;
}

std::string ReadingJsonLine(const station::Reading& reading, const std::string& meter,
                            const ShownValue* shown) {
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
            object["power_w"] = measure::DbmToUnit(reading.power_dbm, measure::PowerUnit::Watt);
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
    if (shown != nullptr) {
        object["value"] =
            std::isfinite(shown->value) ? nlohmann::ordered_json(shown->value) : nullptr;
        object["unit"] = shown->unit;
        object["limit"] = *shown->limit ? nlohmann::ordered_json(shown->limit) : nullptr;
    }
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace velquor::remote
