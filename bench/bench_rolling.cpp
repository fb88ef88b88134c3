// The rolling record's repaint work: a full day of one meter at 213 readings a
// second reduced to the graph's 450 columns.
#include <benchmark/benchmark.h>

#include "display/rolling_record.h"

namespace {

constexpr std::int64_t kStart = 1765198800000;
constexpr std::int64_t kHourMs = 3600 * 1000;

const velquor::RollingRecord& Day() {
    static const velquor::RollingRecord record = [] {
        velquor::RollingRecord r(velquor::kRollingMaxHours * kHourMs);
        std::int64_t t = kStart;
        for (std::int64_t i = 0; i < 213LL * 3600 * velquor::kRollingMaxHours; ++i) {
            t += (i % 213) < 148 ? 5 : 4;
            r.Add(t, -20.0 + (i % 97) / 10.0);
        }
        return r;
    }();
    return record;
}

void BM_DayEnvelope(benchmark::State& state) {
    const velquor::RollingRecord& record = Day();
    const std::int64_t end = record.Newest() + 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            record.Columns(end - velquor::kRollingMaxHours * kHourMs, end, 450));
    state.counters["MB"] = double(record.Bytes()) / 1e6;
}
BENCHMARK(BM_DayEnvelope)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
