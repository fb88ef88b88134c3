#include "reading_format.h"

#include <cmath>

#include "cli_text.h"
#include "measure/battery_gauge.h"
#include "measure/power_units.h"
#include "meter/number_format.h"
#include "remote/reading_json.h"

namespace velquor::cli {

namespace {

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

// The fields are the web page's stream's too, so they are made in one place.
std::string MonitorJsonLine(const station::Reading& reading, const std::string& meter) {
    return remote::ReadingJsonLine(reading, meter);
}

std::string MonitorJsonLine(const station::Reading& reading, const std::string& meter,
                            const measure::MeasurePipeline& measured) {
    // A frame without a power, or with one the measurement refused, has no new value.
    if (reading.kind != station::ReadingKind::Measurement || !measured.LatestTaken())
        return remote::ReadingJsonLine(reading, meter);
    const remote::ShownValue shown{measured.OutputValue(), measured.OutputUnit(),
                                   measure::LimitWord(measured.Last().limit)};
    return remote::ReadingJsonLine(reading, meter, &shown);
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
