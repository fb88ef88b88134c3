#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "common/fast_timings.h"
#include "link/sim_driver.h"
#include "link/usb.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

using testing_support::FastTimings;
using testing_support::WaitFor;

class CountingLink : public CUSB {
public:
    using CUSB::CUSB;
    ~CountingLink() override { ShutdownWorker(); }
    void OnReceive(const std::uint8_t* payload, int length) override {
        std::lock_guard lock(m_lock);
        frames.emplace_back(payload, payload + length);
    }
    int Count(std::uint8_t opcode) {
        std::lock_guard lock(m_lock);
        int n = 0;
        for (const auto& f : frames)
            n += !f.empty() && f[0] == opcode;
        return n;
    }
    std::mutex m_lock;
    std::vector<Bytes> frames;
};

MeterModelConfig QuietMeter() {
    MeterModelConfig m;
    m.frameIntervalMs = 20;
    m.silenceAfterS = 0.0;  // answers nothing, sends nothing
    return m;
}

TEST(BaudDivisor, FollowsTheRoundingRule) {
    EXPECT_EQ(CUSB::BaudDivisor(0), 78);
    EXPECT_EQ(CUSB::BaudDivisor(19200), 156);
    EXPECT_EQ(CUSB::BaudDivisor(9600), 313);
    EXPECT_EQ(CUSB::BaudDivisor(3000000), 1);
    // Rates so low that the divisor exceeds 16 bits keep the low bits.
    EXPECT_EQ(CUSB::BaudDivisor(40), static_cast<std::uint16_t>(75000 & 0xFFFF));
}

TEST(Mailbox, FailsFastWithoutAWorkerAndStopIsTrivial) {
    CSimDriver driver;
    CountingLink link(driver, FastTimings());
    EXPECT_TRUE(link.StopWorker());
    EXPECT_EQ(link.SendCommand(kCmdClose, 0, nullptr), -1);
    EXPECT_FALSE(link.CloseDevice());
    // No device ever opened: the previous (initial) EEPROM status is reported.
    EXPECT_TRUE(link.QueryIdentity());
}

TEST(Worker, OpensWithTheLineSetupInOrderAndClosesTwiceOnlyOnce) {
    CSimDriver driver;
    CountingLink link(driver, FastTimings());
    ASSERT_TRUE(link.StartWorker());
    driver.ClearCallLog();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    const std::vector<std::string> expected = {"OpenEx OV227700",
                                               "SetDivisor 156",
                                               "SetDataCharacteristics 8 0 0",
                                               "SetFlowControl 0 0 0",
                                               "SetDtr",
                                               "SetRts",
                                               "SetTimeouts 1000 1000",
                                               "SetEventNotification 1"};
    EXPECT_EQ(driver.CallLog(), expected);
    EXPECT_TRUE(link.LinkAlive());
    EXPECT_TRUE(link.CloseDevice());
    EXPECT_FALSE(link.CloseDevice());
    EXPECT_EQ(driver.CloseCount(), 1);
    EXPECT_TRUE(link.StopWorker());
    EXPECT_FALSE(link.WorkerRunning());
}

TEST(Worker, OpenWhileHoldingClosesTheHeldDeviceFirst) {
    CSimDriver driver;
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    EXPECT_EQ(driver.OpenCount(), 2);
    EXPECT_EQ(driver.CloseCount(), 1);
}

TEST(Worker, UnknownSerialFailsButStillCountsAsActivity) {
    CSimDriver driver;
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    // Let the start-up silence inject its link-lost frame first.
    ASSERT_TRUE(WaitFor([&] { return link.Count(0xF0) == 1; }, 2s));
    EXPECT_FALSE(link.LinkAlive());
    EXPECT_FALSE(link.OpenDevice("nope", 19200));
    EXPECT_TRUE(link.LinkAlive());
    // A failed open restarts the idle count, so the link is lost again later.
    EXPECT_TRUE(WaitFor([&] { return link.Count(0xF0) == 2; }, 2s));
    EXPECT_FALSE(link.LinkAlive());
}

TEST(Worker, LinkLostIsInjectedOncePerSilentPeriod) {
    CSimDriver driver({CSimDriver::DefaultMeter(QuietMeter())});
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return link.Count(0xF0) == 1; }, 2s));
    const auto lostAfter = std::chrono::steady_clock::now() - opened;
    // Four 20 ms time-outs: not before 60 ms.
    EXPECT_GE(lostAfter, 60ms);
    // Many more time-outs pass without another injection.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(link.Count(0xF0), 1);
    EXPECT_GT(link.IdleTicks(), 4);
    // Activity (a command) starts a new silent period.
    EXPECT_TRUE(link.SendFrame(Bytes{0xE4}.data(), 1));
    EXPECT_TRUE(WaitFor([&] { return link.Count(0xF0) == 2; }, 2s));
}

// Sends before, a complete E1 frame and after in one piece, and waits until the E1
// frame is decoded: the worker has then read all of it.
void SendAndWait(CSimDriver& driver, CountingLink& link, Bytes before, const Bytes& after) {
    const Bytes marker = {0x11, 0x12, 0xE1, 0x11, 0x13};
    const int seen = link.Count(0xE1);
    before.insert(before.end(), marker.begin(), marker.end());
    before.insert(before.end(), after.begin(), after.end());
    driver.SendWire(before);
    ASSERT_TRUE(WaitFor([&] { return link.Count(0xE1) == seen + 1; }, 2s));
}

TEST(Worker, SilenceRightAfterAnEscapeByteIsStillReportedAsLinkLost) {
    CSimDriver driver({CSimDriver::DefaultMeter(QuietMeter())});
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    const int lost = link.Count(0xF0);
    // The frame is cut after the first byte of an escape pair or end marker.
    SendAndWait(driver, link, {}, {0x11, 0x12, 0xE4, 0x90, 0x11});
    EXPECT_TRUE(WaitFor([&] { return link.Count(0xF0) == lost + 1; }, 2s));
    EXPECT_FALSE(link.LinkAlive());
    EXPECT_EQ(link.Count(0xE4), 0);
}

TEST(Worker, AFrameHeadFromOneDeviceIsNeverCompletedByTheNext) {
    MeterModelConfig second = QuietMeter();
    second.serial = "OV227701";
    CSimDriver driver({CSimDriver::DefaultMeter(QuietMeter()), CSimDriver::DefaultMeter(second)});
    // No link-lost frame may come between the two devices and clear the head.
    LinkTimings t = FastTimings();
    t.idle_wait_ms = 1000;
    for (const bool closeFirst : {true, false}) {
        SCOPED_TRACE(closeFirst ? "close, then open" : "open over the held device");
        CountingLink link(driver, t);
        link.StartWorker();
        ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
        SendAndWait(driver, link, {}, {0x11, 0x12, 0xE4, 0x90});
        if (closeFirst) {
            ASSERT_TRUE(link.CloseDevice());
        }
        ASSERT_TRUE(link.OpenDevice("OV227701", 19200));
        SendAndWait(driver, link, {0x9C, 0xFF, 0x64, 0x11, 0x13}, {});
        EXPECT_EQ(link.Count(0xE4), 0);
        ASSERT_TRUE(link.CloseDevice());
    }
}

TEST(Worker, ReceivedDataKeepsTheLinkAliveAndIsDecodedInChunks) {
    MeterModelConfig meter;
    meter.frameIntervalMs = 5;
    meter.maxChunk = 3;
    meter.fixedPowerTenths = 0x1111;  // escaped bytes on the wire
    meter.junk = {0x00, 0x13, 0x11, 0x15};
    CSimDriver driver({CSimDriver::DefaultMeter(meter)});
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    ASSERT_TRUE(WaitFor([&] { return link.Count(0xE4) >= 20; }, 3s));
    EXPECT_EQ(link.Count(0xF0), 0);
    std::lock_guard lock(link.m_lock);
    for (const auto& f : link.frames) {
        ASSERT_EQ(f.size(), 5u);
        EXPECT_EQ(f[2], 0x11);
        EXPECT_EQ(f[3], 0x11);
    }
}

TEST(Worker, UnpluggedMeterLeadsToLinkLostWithoutSpinning) {
    MeterModelConfig meter;
    meter.frameIntervalMs = 5;
    CSimDriver driver({CSimDriver::DefaultMeter(meter)});
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    ASSERT_TRUE(WaitFor([&] { return link.Count(0xE4) >= 3; }, 2s));
    driver.Unplug();
    EXPECT_TRUE(WaitFor([&] { return link.Count(0xF0) == 1; }, 2s));
    EXPECT_FALSE(link.LinkAlive());
    EXPECT_FALSE(link.SendFrame(Bytes{0xE4}.data(), 1));
}

// A driver whose writes take longer than the mailbox waits.
class SlowWriteDriver : public CSimDriver {
public:
    using CSimDriver::CSimDriver;
    FT_STATUS FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                       std::uint32_t* written) override {
        if (slow.load())
            std::this_thread::sleep_for(500ms);
        return CSimDriver::FT_Write(h, data, length, written);
    }
    std::atomic<bool> slow{false};
};

TEST(Mailbox, TimedOutCommandNeverCompletesTheNextOne) {
    SlowWriteDriver driver({CSimDriver::DefaultMeter(QuietMeter())});
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    driver.slow = true;
    {
        // The caller's data goes out of scope at once; the worker owns a copy.
        Bytes payload{0xE4};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(link.SendFrame(payload.data(), 1));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 450ms);
    }
    driver.slow = false;
    // The late completion of the write must not be reported as this close's result:
    // the close is served after it and succeeds on its own.
    EXPECT_TRUE(link.CloseDevice());
    EXPECT_FALSE(link.CloseDevice());
}

TEST(Mailbox, CommandStuckBehindAnotherCallerTimesOutOnTheMutex) {
    SlowWriteDriver driver({CSimDriver::DefaultMeter(QuietMeter())});
    LinkTimings t = FastTimings();
    t.mailbox_timeout_ms = 100;
    CountingLink link(driver, t);
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    driver.slow = true;
    std::thread first([&] { link.SendFrame(Bytes{0xE4}.data(), 1); });
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(link.SendCommand(kCmdClose, 0, nullptr), -1);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 60ms);
    first.join();
    driver.slow = false;
}

TEST(Worker, RequestIsServedBeforeReceivedData) {
    // While the worker is stuck in a 300 ms write, data arrives and a second caller
    // posts an EEPROM read; when the worker is free both are ready, and the
    // request must be served before the data.
    MeterModelConfig meter;
    meter.frameIntervalMs = 5;
    struct StallDriver : CSimDriver {
        using CSimDriver::CSimDriver;
        FT_STATUS FT_Write(FT_HANDLE h, const void* d, std::uint32_t n, std::uint32_t* w) override {
            if (stall.exchange(false)) {
                std::this_thread::sleep_for(300ms);
                stalled = true;
            }
            return CSimDriver::FT_Write(h, d, n, w);
        }
        FT_STATUS FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* data) override {
            eeReads++;
            return CSimDriver::FT_EE_Read(h, data);
        }
        std::atomic<bool> stall{false};
        std::atomic<bool> stalled{false};
        std::atomic<int> eeReads{0};
    } driver({CSimDriver::DefaultMeter(meter)});
    struct OrderLink : CountingLink {
        using CountingLink::CountingLink;
        ~OrderLink() override { ShutdownWorker(); }
        StallDriver* driver = nullptr;
        std::atomic<int> framesBeforeRead{0};
        void OnReceive(const std::uint8_t* p, int n) override {
            if (driver->stalled && driver->eeReads == 0)
                framesBeforeRead++;
            CountingLink::OnReceive(p, n);
        }
    };
    LinkTimings t = FastTimings();
    t.mailbox_timeout_ms = 250;
    OrderLink link(driver, t);
    link.driver = &driver;
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    driver.stall = true;
    std::thread writer([&] { link.SendFrame(Bytes{0xE4}.data(), 1); });
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(link.QueryIdentity());
    writer.join();
    EXPECT_TRUE(driver.stalled);
    EXPECT_EQ(driver.eeReads, 1);
    EXPECT_EQ(link.framesBeforeRead, 0);
    EXPECT_TRUE(WaitFor([&] { return link.Count(0xE4) >= 3; }, 2s));
}

TEST(Worker, EepromFailureIsReportedAndKeepsTheStrings) {
    SimDeviceConfig good = CSimDriver::DefaultMeter(QuietMeter());
    SimDeviceConfig bad = good;
    bad.serial = "BAD1";
    bad.failEeprom = true;
    CSimDriver driver({good, bad});
    CountingLink link(driver, FastTimings());
    link.StartWorker();
    ASSERT_TRUE(link.OpenDevice("OV227700", 19200));
    ASSERT_TRUE(link.QueryIdentity());
    ASSERT_TRUE(link.OpenDevice("BAD1", 19200));
    EXPECT_FALSE(link.QueryIdentity());
    EXPECT_EQ(link.EepromSerial(), "OV227700");
    // Without a device the command changes nothing: the last status stays.
    ASSERT_TRUE(link.CloseDevice());
    EXPECT_FALSE(link.QueryIdentity());
}

TEST(Worker, StopsWithinItsBoundAndClosesTheDevice) {
    CSimDriver driver;
    auto link = std::make_unique<CountingLink>(driver, FastTimings());
    link->StartWorker();
    ASSERT_TRUE(link->OpenDevice("OV227700", 19200));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(link->StopWorker());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(driver.CloseCount(), 1);
    EXPECT_FALSE(link->LinkAlive());
    link.reset();
}

// Runs f on its own thread; false when it has not returned within limit. A call
// that hangs is left behind, so the caller must then leak what it uses.
bool FinishesWithin(std::function<void()> f, std::chrono::milliseconds limit) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread t([f = std::move(f), done] {
        f();
        done->store(true);
    });
    if (WaitFor([&] { return done->load(); }, limit)) {
        t.join();
        return true;
    }
    t.detach();
    return false;
}

// A driver whose writes or opens stall far longer than the mailbox waits, as a
// wedged adapter does.
class StallDriver : public CSimDriver {
public:
    using CSimDriver::CSimDriver;
    FT_STATUS FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                       std::uint32_t* written) override {
        Stall(writeStallMs.exchange(0));
        return CSimDriver::FT_Write(h, data, length, written);
    }
    FT_STATUS FT_OpenEx(const char* serial, std::uint32_t flags, FT_HANDLE* handle) override {
        Stall(openStallMs.exchange(0));
        return CSimDriver::FT_OpenEx(serial, flags, handle);
    }
    void Stall(int ms) {
        if (ms <= 0)
            return;
        stalling = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        stalling = false;
    }
    std::atomic<int> writeStallMs{0};
    std::atomic<int> openStallMs{0};
    std::atomic<bool> stalling{false};
};

TEST(Worker, AStopIsNeverWithdrawnWhileAStepStalls) {
    struct Case {
        const char* name;
        bool open;  // stall in FT_OpenEx rather than in FT_Write
        int stallMs;
        int mailboxMs;
    };
    for (const Case c : {Case{"write", false, 1500, 100}, Case{"open", true, 2000, 1500}}) {
        SCOPED_TRACE(c.name);
        auto driver = std::make_unique<StallDriver>(
            std::vector<SimDeviceConfig>{CSimDriver::DefaultMeter(QuietMeter())});
        LinkTimings t = FastTimings();
        t.mailbox_timeout_ms = c.mailboxMs;
        t.stop_timeout_ms = 300;
        auto link = std::make_unique<CountingLink>(*driver, t);
        link->StartWorker();
        std::atomic<bool> callerDone{false};
        std::thread caller;
        if (c.open) {
            driver->openStallMs = c.stallMs;
            caller = std::thread([&] {
                EXPECT_FALSE(link->OpenDevice("OV227700", 19200));
                callerDone = true;
            });
        } else {
            ASSERT_TRUE(link->OpenDevice("OV227700", 19200));
            driver->writeStallMs = c.stallMs;
            caller = std::thread([&] {
                EXPECT_FALSE(link->SendFrame(Bytes{0xE4}.data(), 1));
                callerDone = true;
            });
        }
        ASSERT_TRUE(WaitFor([&] { return driver->stalling.load(); }, 2s));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(link->StopWorker());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 800ms);
        // A caller waiting on the stalled step is let go with the stop.
        EXPECT_TRUE(WaitFor([&] { return callerDone.load(); }, 500ms));
        caller.join();
        // Destruction waits for the stalled step and no longer.
        const bool returned = FinishesWithin([&] { link.reset(); }, 3s);
        EXPECT_TRUE(returned);
        if (!returned) {
            (void)driver.release();
            continue;
        }
        EXPECT_FALSE(driver->stalling);
        // A device the stalled open obtained after all is closed, not leaked.
        EXPECT_EQ(driver->OpenCount(), 1);
        EXPECT_EQ(driver->CloseCount(), 1);
    }
}

TEST(Worker, DestructionAfterAMissedStopBoundWaitsForTheWorker) {
    SlowWriteDriver driver({CSimDriver::DefaultMeter(QuietMeter())});
    LinkTimings t = FastTimings();
    t.mailbox_timeout_ms = 100;
    auto link = std::make_unique<CountingLink>(driver, t);
    link->StartWorker();
    ASSERT_TRUE(link->OpenDevice("OV227700", 19200));
    driver.slow = true;
    EXPECT_FALSE(link->SendFrame(Bytes{0xE4}.data(), 1));
    // The worker is still inside the 500 ms write: the stop misses its bound.
    EXPECT_FALSE(link->StopWorker());
    EXPECT_FALSE(link->WorkerRunning());
    // Destruction must still not free anything the worker uses (the sanitizers
    // check this) and the worker closes the device on its way out.
    link.reset();
    EXPECT_EQ(driver.CloseCount(), 1);
}

}  // namespace
}  // namespace velquor
