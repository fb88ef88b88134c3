// Counts heap allocations on the path from the link's decoder to a consumer's queue,
// in a running station. This program replaces operator new to do it.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "link/sim_driver.h"
#include "station_test_support.h"

namespace {

std::atomic<long> g_allocations{0};
// Set on the link worker from the moment received bytes are handed over until the
// worker goes round its loop again: the decoder, the meter layer, the station and
// the subscriptions all run inside that window.
thread_local bool t_counting = false;

}  // namespace

void* operator new(std::size_t size) {
    if (t_counting)
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace velquor::station {
namespace {

using namespace std::chrono_literals;

// The simulated meter, with the counting window opened after each read and closed
// when the worker next asks for the descriptor to wait on.
class WindowDriver : public CSimDriver {
public:
    using CSimDriver::CSimDriver;
    FT_STATUS FT_Read(FT_HANDLE h, void* buffer, std::uint32_t count,
                      std::uint32_t* returned) override {
        const FT_STATUS status = CSimDriver::FT_Read(h, buffer, count, returned);
        t_counting = counting.load();
        if (t_counting)
            ++windows;
        return status;
    }
    EventHandle RxEventFd(FT_HANDLE h) override {
        t_counting = false;
        return CSimDriver::RxEventFd(h);
    }
    std::atomic<bool> counting{false};
    std::atomic<int> windows{0};
};

TEST(StationAllocation, TheCounterSeesAnAllocationInItsWindow) {
    const long before = g_allocations.load();
    t_counting = true;
    // A direct call: a new-expression whose result is unused may be left out.
    void* p = ::operator new(16);
    t_counting = false;
    ::operator delete(p);
    EXPECT_EQ(g_allocations.load(), before + 1);
}

TEST(StationAllocation, NoHeapAllocationPerFrameFromDecoderToQueue) {
    std::vector<WindowDriver*> drivers;
    StationOptions o = testing::FastOptions();
    o.make_driver = [&](const MeterTarget& t) -> std::unique_ptr<IFtdiDriver> {
        MeterModelConfig m = SimulatedMeterModel(t.sim_index);
        m.frameIntervalMs = 1;
        auto d = std::make_unique<WindowDriver>(
            std::vector<SimDeviceConfig>{CSimDriver::DefaultMeter(m)});
        drivers.push_back(d.get());
        return d;
    };
    Station station(o);
    auto first = station.Subscribe(64);
    auto second = station.Subscribe(100000);
    std::vector<std::string> errors;
    ASSERT_TRUE(
        station.Open({MeterTarget::Simulated(0), MeterTarget::Simulated(1)}, false, errors));
    std::vector<Reading> got;
    got.reserve(200000);
    second->PopAll(got, 100ms);
    got.clear();
    const long before = g_allocations.load();
    for (auto* d : drivers)
        d->counting = true;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (got.size() < 1000 && std::chrono::steady_clock::now() < end)
        second->PopAll(got, 20ms);
    for (auto* d : drivers)
        d->counting = false;
    const long counted = g_allocations.load() - before;
    const int windows = drivers[0]->windows.load() + drivers[1]->windows.load();
    station.Close();
    ASSERT_GE(got.size(), 1000u);
    EXPECT_GT(windows, 10);
    // The small queue overflowed too: dropping must not allocate either.
    EXPECT_GT(first->Dropped(), 0u);
    EXPECT_EQ(counted, 0) << "over " << got.size() << " readings";
}

}  // namespace
}  // namespace velquor::station
