// Arbitrary byte streams, cut into arbitrary chunks, through the decoder into the
// meter's receive hook.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "link/sim_driver.h"
#include "meter/orvane_usb.h"

namespace {

class CountingSink : public velquor::IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) override {
        if (frame.size() > 256)
            __builtin_trap();
        ++frames;
    }
    std::size_t frames = 0;
};

// Exposes the worker-side decoder entry for direct feeding.
class FuzzMeter : public velquor::COrvaneUSB {
public:
    using COrvaneUSB::COrvaneUSB;
    void Feed(const std::uint8_t* data, int count) { DecodeBytes(data, count); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    velquor::CSimDriver driver(std::vector<velquor::SimDeviceConfig>{});
    FuzzMeter meter(driver);
    auto sink = std::make_shared<CountingSink>();
    meter.SetView(sink, velquor::kMeterFrameMessage);
    // The first byte of every chunk says how long the chunk is.
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t chunk = 1 + data[pos] % 64;
        ++pos;
        const std::size_t n = chunk < size - pos ? chunk : size - pos;
        meter.Feed(data + pos, static_cast<int>(n));
        pos += n;
    }
    const double p = meter.PowerDbm();
    if (p < -3276.8 || p > 3276.7)
        __builtin_trap();
    return 0;
}
