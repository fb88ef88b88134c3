// Decoder throughput on a realistic stream: measurement frames, many of them
// with escaped bytes, and some junk between frames.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "link/sim_driver.h"
#include "meter/orvane_usb.h"

namespace {

class CountingSink : public velquor::IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t>) override { ++frames; }
    std::size_t frames = 0;
};

class BenchMeter : public velquor::COrvaneUSB {
public:
    using COrvaneUSB::COrvaneUSB;
    void Feed(const std::vector<std::uint8_t>& bytes) {
        DecodeBytes(bytes.data(), static_cast<int>(bytes.size()));
    }
};

std::vector<std::uint8_t> RealisticStream(std::size_t frames) {
    std::mt19937 rng(42);
    std::vector<std::uint8_t> stream;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto power = static_cast<std::int16_t>(rng() % 600 - 100);
        std::vector<std::uint8_t> payload = {0xE4, static_cast<std::uint8_t>(140 + rng() % 26),
                                             static_cast<std::uint8_t>(power & 0xFF),
                                             static_cast<std::uint8_t>(power >> 8),
                                             static_cast<std::uint8_t>(rng() % 256)};
        if (i % 4 == 0)
            payload[2] = 0x11;  // an escaped byte in every fourth frame
        std::vector<std::uint8_t> wire;
        velquor::EncodeFrame(payload.data(), payload.size(), wire);
        stream.insert(stream.end(), wire.begin(), wire.end());
        if (i % 16 == 0) {
            for (int j = 0; j < 3; ++j)
                stream.push_back(static_cast<std::uint8_t>(0x20 + rng() % 0x40));
        }
    }
    return stream;
}

void BM_DecodeMeasurementStream(benchmark::State& state) {
    velquor::CSimDriver driver(std::vector<velquor::SimDeviceConfig>{});
    BenchMeter meter(driver);
    auto sink = std::make_shared<CountingSink>();
    meter.SetView(sink, velquor::kMeterFrameMessage);
    const auto stream = RealisticStream(10000);
    for (auto _ : state)
        meter.Feed(stream);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    benchmark::DoNotOptimize(sink->frames);
}
BENCHMARK(BM_DecodeMeasurementStream);

void BM_DecodeOnly(benchmark::State& state) {
    const auto stream = RealisticStream(10000);
    velquor::CFrameDecoder decoder;
    std::size_t frames = 0;
    for (auto _ : state)
        decoder.Feed(stream.data(), stream.size(), [&](const std::uint8_t*, int) { ++frames; });
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    benchmark::DoNotOptimize(frames);
}
BENCHMARK(BM_DecodeOnly);

}  // namespace

BENCHMARK_MAIN();
