#include "telemetry/payloads.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "measure/battery_gauge.h"

namespace velquor::telemetry {

namespace {

// Keys in the order the documentation shows them.
using json = nlohmann::ordered_json;

// a / b rounded to the nearest integer, halves away from zero.
std::int64_t RoundedDivide(std::int64_t a, std::int64_t b) {
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// Whole milliseconds at or before a time in microseconds.
std::int64_t FloorMs(std::int64_t us) {
    return us >= 0 ? us / 1000 : -((-us + 999) / 1000);
}

json Number(double v) {
    return std::isfinite(v) ? json(v) : json(nullptr);
}

json Optional(const std::optional<double>& v) {
    return v ? Number(*v) : json(nullptr);
}

template <typename T>
json Optional(const std::optional<T>& v) {
    return v ? json(*v) : json(nullptr);
}

json TextOrNull(std::string_view text) {
    return text.empty() ? json(nullptr) : json(std::string(text));
}

std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string StandState(std::string_view state, std::string_view session) {
    return Dump(json{{"state", state}, {"session", session}});
}

}  // namespace

std::string StandOnlinePayload(std::string_view session, std::int64_t since_utc_ms,
                               const std::vector<std::string>& meter_levels,
                               std::string_view version) {
    return Dump(json{{"state", "online"},
                     {"session", session},
                     {"since", since_utc_ms},
                     {"meters", meter_levels},
                     {"version", version}});
}

std::string StandOfflinePayload(std::string_view session) {
    return StandState("offline", session);
}

std::string StandLostPayload(std::string_view session) {
    return StandState("lost", session);
}

std::string MeterStatusPayload(std::string_view session, const MeterIdentity& identity,
                               bool connected) {
    return Dump(json{{"meter", identity.name},
                     {"serial", TextOrNull(identity.serial)},
                     {"path", TextOrNull(identity.path)},
                     {"model", TextOrNull(identity.model)},
                     {"frequency_mhz", Optional(identity.frequency_mhz)},
                     {"cable_loss_db", Optional(identity.cable_loss_db)},
                     {"connected", connected},
                     {"session", session}});
}

std::string PowerPayload(const PowerBatchView& batch) {
    const std::int64_t t0_ms = FloorMs(batch.first_utc_us);
    const std::int64_t first_offset_us = batch.first_utc_us - t0_ms * 1000;
    json dt = json::array();
    json dbm = json::array();
    const std::size_t n = std::min(batch.steady_ns.size(), batch.dbm.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t since_first_us =
            RoundedDivide(batch.steady_ns[i] - batch.steady_ns[0], 1000);
        dt.push_back(static_cast<double>(first_offset_us + since_first_us) / 1000.0);
        dbm.push_back(Number(batch.dbm[i]));
    }
    return Dump(json{{"v", 1},
                     {"session", batch.session},
                     {"seq", batch.seq},
                     {"t0", t0_ms},
                     {"dt_ms", std::move(dt)},
                     {"dbm", std::move(dbm)},
                     {"temperature_c", Number(batch.temperature_c)},
                     {"battery", Number(batch.battery)},
                     {"battery_percent", Optional(measure::BatteryPercent(batch.battery))},
                     {"battery_low", Optional(measure::BatteryLow(batch.battery))},
                     {"dropped", batch.dropped}});
}

std::string SummaryPayload(std::string_view session, const SummaryValues& v) {
    return Dump(json{{"v", 1},
                     {"session", session},
                     {"t", v.t_utc_ms},
                     {"window_ms", v.window_ms},
                     {"count", v.count},
                     {"last_dbm", Number(v.last_dbm)},
                     {"min_dbm", Number(v.min_dbm)},
                     {"max_dbm", Number(v.max_dbm)},
                     {"mean_dbm", Number(v.mean_dbm)}});
}

}  // namespace velquor::telemetry
