#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "measure/measure_settings.h"
#include "measure/power_units.h"

namespace velquor {

// How a meter's link stands, as a tile says it.
enum class TileLink { Connected, Lost, Waiting, GaveUp, Closed };

// Everything a meter's tile shows, as plain values.
struct StationTileInput {
    std::string name;
    bool has_reading = false;
    double shown_dbm = 0.0;    // after offset, averaging and max hold
    double relative_db = 0.0;  // shown_dbm minus the reference
    double temperature_c = 0.0;
    double battery_raw = 0.0;  // the meter's gauge number; NaN when unknown
    measure::LimitState limit = measure::LimitState::Off;
    measure::MeasureSettings settings;
    TileLink link = TileLink::Connected;
    double lost_s = 0.0;  // how long the meter has been away
};

struct StationTileTexts {
    std::string name;
    std::string power;        // in the chosen unit, or relative; "---" without a reading
    std::string watts;        // the same power in W
    std::string temperature;  // "23.5 °C"
    std::string battery;      // "87 %", "5 % low"
    std::string status;       // "connected", "lost 12 s", "reconnecting (lost 12 s)", ...
    std::string marks;        // "AVG 16  OFS  REL  MAX"; empty when all are off
    std::string limit;        // "PASS", "HIGH", "LOW"; empty with limits off or no reading
};

StationTileTexts MakeStationTileTexts(const StationTileInput& in);

// A tile's place in the station view.
struct TileRect {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

// Tiles in rows across width: as many columns as fit at min_w (at least one, at most
// count), stretched to fill the row, gap pixels apart and around.
std::vector<TileRect> StationTileGrid(int width, std::size_t count, int min_w, int tile_h, int gap);
// The height the grid takes, gaps included.
int StationTileGridHeight(int width, std::size_t count, int min_w, int tile_h, int gap);

// A readout that combines two meters' shown powers.
enum class CombineKind { Difference, Ratio };
// "A−B" in dB ("+3.21 dB") or A/B as a linear power ratio ("2.094"); "---" when
// either power is missing.
std::string CombinedReadout(CombineKind kind, std::optional<double> a_dbm,
                            std::optional<double> b_dbm);

// A power axis whose labelled lines fall on round values (1, 2 or 5 times a power
// of ten) and which holds [low, high]; a flat line gets a span around it.
struct AxisScale {
    double low = 0.0;
    double high = 1.0;
    double step = 1.0;
};
AxisScale NiceAxisScale(double low, double high, int max_steps);

}  // namespace velquor
