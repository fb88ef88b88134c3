// The measurement math per reading, with everything on that costs time: averaging
// over 1024 readings, statistics, relative and both limits.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "measure/measure_pipeline.h"

namespace {

std::vector<double> Readings(std::size_t count) {
    std::mt19937 rng(3);
    std::vector<double> readings(count);
    for (double& r : readings)
        r = static_cast<double>(static_cast<int>(rng() % 541) - 40) / 10.0;
    return readings;
}

void BM_MeasurePipeline(benchmark::State& state) {
    velquor::measure::MeasureSettings settings;
    settings.average_count = static_cast<int>(state.range(0));
    settings.offset_db = 30.0;
    settings.relative = true;
    settings.reference_dbm = 40.0;
    settings.limits = {70.0, 30.0};
    velquor::measure::MeasurePipeline pipeline;
    std::string error;
    if (!pipeline.Apply(settings, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const auto readings = Readings(4096);
    std::int64_t t = 0;
    for (auto _ : state) {
        for (double r : readings) {
            pipeline.Process(r, t += 4'694'836);
            benchmark::DoNotOptimize(pipeline.Last());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(readings.size()));
    state.counters["ns_per_reading"] =
        benchmark::Counter(static_cast<double>(state.iterations() * readings.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MeasurePipeline)->Arg(1)->Arg(1024);

}  // namespace

BENCHMARK_MAIN();
