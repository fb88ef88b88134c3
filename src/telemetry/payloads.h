#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::telemetry {

// The JSON bodies the publisher sends. Pure functions; every text field goes
// through the JSON library, so device strings that are not valid UTF-8 are
// replaced (U+FFFD), never passed on to break a consumer's parser. A number that
// is not finite is written as null.

// What a meter's status message says about it.
struct MeterIdentity {
    std::string name;    // the station's name for it (serial number or device path)
    std::string serial;  // empty when the identity could not be read
    std::string path;    // device node, empty for a simulated meter
    std::string model;
    std::optional<double> frequency_mhz;
    std::optional<double> cable_loss_db;
};

// "online": the retained stand status while the publisher runs.
std::string StandOnlinePayload(std::string_view session, std::int64_t since_utc_ms,
                               const std::vector<std::string>& meter_levels,
                               std::string_view version);
// "offline" on a clean exit, "lost" as the broker's Last Will.
std::string StandOfflinePayload(std::string_view session);
std::string StandLostPayload(std::string_view session);

std::string MeterStatusPayload(std::string_view session, const MeterIdentity& identity,
                               bool connected);

// One interval's readings of one meter. The times are those of the readings:
// t0 is the first one's UTC time in whole milliseconds, and each dt_ms is a
// reading's offset from t0 to the microsecond, taken on the monotonic clock so a
// wall-clock step inside a batch cannot reorder it.
struct PowerBatchView {
    std::string_view session;
    std::uint64_t seq = 0;
    std::int64_t first_utc_us = 0;
    std::span<const std::int64_t> steady_ns;  // one per reading
    std::span<const double> dbm;              // one per reading
    double temperature_c = 0.0;               // of the last reading
    double battery = 0.0;                     // of the last reading
    std::uint64_t dropped = 0;                // readings of this session dropped so far
};
std::string PowerPayload(const PowerBatchView& batch);

// Statistics of one meter over the last summary window.
struct SummaryValues {
    std::int64_t t_utc_ms = 0;  // time of the last reading in the window
    std::int64_t window_ms = 0;
    std::uint64_t count = 0;
    double last_dbm = 0.0;
    double min_dbm = 0.0;
    double max_dbm = 0.0;
    double mean_dbm = 0.0;  // of the linear power, shown in dBm
};
std::string SummaryPayload(std::string_view session, const SummaryValues& values);

}  // namespace velquor::telemetry
