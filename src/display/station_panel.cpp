#include "display/station_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure/battery_gauge.h"

namespace velquor {

namespace {

std::string Printf(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string StatusText(const StationTileInput& in) {
    const std::string away = Printf("%.0f s", std::floor(std::max(in.lost_s, 0.0)));
    switch (in.link) {
        case TileLink::Connected:
            return "connected";
        case TileLink::Lost:
            return "lost " + away;
        case TileLink::Waiting:
        case TileLink::Closed:
            return in.link == TileLink::Closed ? "closed" : "reconnecting (lost " + away + ")";
        case TileLink::GaveUp:
            return "lost " + away + ", gave up";
    }
    return {};
}

}  // namespace

StationTileTexts MakeStationTileTexts(const StationTileInput& in) {
    StationTileTexts t;
    t.name = in.name;
    t.status = StatusText(in);
    const bool live = in.has_reading && in.link == TileLink::Connected;
    if (live) {
        t.power = in.settings.relative ? measure::FormatRelative(in.relative_db)
                                       : measure::FormatPower(in.shown_dbm, in.settings.unit);
        t.watts = measure::FormatPower(in.shown_dbm, measure::PowerUnit::Watt);
        t.temperature = std::isfinite(in.temperature_c) ? Printf("%.1f \u00b0C", in.temperature_c)
                                                        : "--- \u00b0C";
        if (const auto percent = measure::BatteryPercent(in.battery_raw))
            t.battery = std::to_string(*percent) + " %" +
                        (measure::BatteryLow(in.battery_raw).value_or(false) ? " low" : "");
        else
            t.battery = "--- %";
        switch (in.limit) {
            case measure::LimitState::Off:
                break;
            case measure::LimitState::Pass:
                t.limit = "PASS";
                break;
            case measure::LimitState::FailUpper:
                t.limit = "HIGH";
                break;
            case measure::LimitState::FailLower:
                t.limit = "LOW";
                break;
        }
    } else {
        t.power = "---";
        t.watts = "---";
        t.temperature = "--- \u00b0C";
        t.battery = "--- %";
    }
    std::vector<std::string> marks;
    if (in.settings.average_count > 1)
        marks.push_back("AVG " + std::to_string(in.settings.average_count));
    if (in.settings.offset_db != 0.0)
        marks.push_back("OFS");
    if (in.settings.relative)
        marks.push_back("REL");
    if (in.settings.max_hold)
        marks.push_back("MAX");
    for (const std::string& m : marks)
        t.marks += (t.marks.empty() ? "" : "  ") + m;
    return t;
}

std::vector<TileRect> StationTileGrid(int width, std::size_t count, int min_w, int tile_h,
                                      int gap) {
    std::vector<TileRect> tiles;
    if (count == 0)
        return tiles;
    min_w = std::max(min_w, 1);
    const int room = std::max(width - gap, 1);
    int columns = std::clamp(room / (min_w + gap), 1, static_cast<int>(count));
    const int w = std::max((room - columns * gap) / columns, 1);
    for (std::size_t i = 0; i < count; ++i) {
        const int row = static_cast<int>(i) / columns;
        const int column = static_cast<int>(i) % columns;
        tiles.push_back({gap + column * (w + gap), gap + row * (tile_h + gap), w, tile_h});
    }
    return tiles;
}

int StationTileGridHeight(int width, std::size_t count, int min_w, int tile_h, int gap) {
    const std::vector<TileRect> tiles = StationTileGrid(width, count, min_w, tile_h, gap);
    return tiles.empty() ? 0 : tiles.back().y + tile_h + gap;
}

std::string CombinedReadout(CombineKind kind, std::optional<double> a_dbm,
                            std::optional<double> b_dbm) {
    if (!a_dbm || !b_dbm || !std::isfinite(*a_dbm) || !std::isfinite(*b_dbm))
        return "---";
    const double db = *a_dbm - *b_dbm;
    if (kind == CombineKind::Difference)
        return Printf("%+.2f dB", db);
    const double ratio = std::pow(10.0, db / 10.0);
    // Four significant digits across the whole range a ratio of two meters can take.
    return Printf(ratio >= 1e4 || ratio < 1e-3 ? "%.3e" : "%.4g", ratio);
}

AxisScale NiceAxisScale(double low, double high, int max_steps) {
    if (!std::isfinite(low) || !std::isfinite(high))
        return {};
    if (low > high)
        std::swap(low, high);
    max_steps = std::max(max_steps, 1);
    // A flat line sits in the middle of a span of 0.1 dB (or 1 % of its level).
    if (high - low < 1e-9) {
        const double half = std::max(0.05, std::abs(low) * 0.005);
        low -= half;
        high += half;
    }
    const double raw = (high - low) / max_steps;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    double step = decade;
    for (const double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * decade;
        if (step >= raw * (1.0 - 1e-9))
            break;
    }
    AxisScale s;
    s.step = step;
    s.low = std::floor(low / step + 1e-9) * step;
    s.high = std::ceil(high / step - 1e-9) * step;
    if (s.high - s.low < step)
        s.high = s.low + step;
    return s;
}

}  // namespace velquor
