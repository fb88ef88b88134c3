#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "common/fast_timings.h"
#include "link/sim_driver.h"
#include "meter/orvane_usb.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

using testing_support::FastTimings;

class Sink : public IFrameSink {
public:
    void PostFrame(std::uint32_t message, Bytes frame) override {
        std::lock_guard lock(m_lock);
        messages.push_back(message);
        frames.push_back(std::move(frame));
    }
    std::vector<Bytes> Frames() {
        std::lock_guard lock(m_lock);
        return frames;
    }
    std::mutex m_lock;
    std::vector<std::uint32_t> messages;
    std::vector<Bytes> frames;
};

// Drives the receive hook directly through the decoder, with no worker.
class TestMeter : public COrvaneUSB {
public:
    using COrvaneUSB::BeginAwaitReply;
    using COrvaneUSB::COrvaneUSB;
    using COrvaneUSB::WaitForReply;
    void Feed(const Bytes& payload) {
        Bytes wire;
        ASSERT_TRUE(EncodeFrame(payload.data(), payload.size(), wire));
        DecodeBytes(wire.data(), static_cast<int>(wire.size()));
    }
};

class ReceiveHook : public ::testing::Test {
protected:
    CSimDriver driver{std::vector<SimDeviceConfig>{}};
    TestMeter meter{driver, FastTimings()};
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();
};

TEST_F(ReceiveHook, DropsEverythingUntilAViewIsSet) {
    meter.Feed({0xE4, 0x90, 0x9C, 0xFF, 0x64});
    meter.Feed({0xE3});
    EXPECT_DOUBLE_EQ(meter.PowerDbm(), 0.0);
    EXPECT_FALSE(meter.WriteAck());
    EXPECT_TRUE(sink->Frames().empty());
}

TEST_F(ReceiveHook, DecodesMeasurementsAndForwardsEveryFrame) {
    meter.SetView(sink, kMeterFrameMessage);
    meter.Feed({0xE4, 0x90, 0x9C, 0xFF, 0x64});
    EXPECT_DOUBLE_EQ(meter.Battery(), 576.0);
    EXPECT_DOUBLE_EQ(meter.PowerDbm(), -10.0);
    EXPECT_DOUBLE_EQ(meter.TemperatureC(), 75.0);
    meter.Feed({0xE3, 0x00});
    EXPECT_TRUE(meter.WriteAck());
    meter.Feed({});
    meter.Feed({0xE4, 0x94});  // short: battery only
    EXPECT_DOUBLE_EQ(meter.Battery(), 592.0);
    EXPECT_DOUBLE_EQ(meter.PowerDbm(), -10.0);
    const auto frames = sink->Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[1], (Bytes{0xE3, 0x00}));
    EXPECT_TRUE(frames[2].empty());
    EXPECT_EQ(sink->messages[0], 0x8064u);
}

TEST_F(ReceiveHook, AnEmptyFrameNeverSatisfiesAWaitingRequest) {
    // An unawaited reply first, so the decoder's buffer still starts with the opcode.
    meter.Feed({0xE2, 0x01});
    meter.BeginAwaitReply(0xE2);
    meter.Feed({});
    meter.Feed({0xE2, 0x12, 0x85});
    Bytes reply;
    ASSERT_TRUE(meter.WaitForReply(0, reply));
    EXPECT_EQ(reply, (Bytes{0xE2, 0x12, 0x85}));
}

TEST_F(ReceiveHook, FrameSizeLimitIs256) {
    meter.SetView(sink, kMeterFrameMessage);
    Bytes big(256, 0x01);
    big[0] = 0xE4;
    meter.Feed(big);
    Bytes tooBig(257, 0x02);
    tooBig[0] = 0xE4;
    meter.Feed(tooBig);
    const auto frames = sink->Frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 256u);
    EXPECT_DOUBLE_EQ(meter.Battery(), 4.0);
}

TEST_F(ReceiveHook, ADestroyedViewReceivesNothing) {
    meter.SetView(sink, kMeterFrameMessage);
    sink.reset();
    meter.Feed({0xE4, 0x90, 0x9C, 0xFF, 0x64});
    EXPECT_DOUBLE_EQ(meter.PowerDbm(), 0.0);
}

class Requests : public ::testing::Test {
protected:
    void Open(MeterModelConfig config) {
        driver = std::make_unique<CSimDriver>(
            std::vector<SimDeviceConfig>{CSimDriver::DefaultMeter(config)});
        meter = std::make_unique<COrvaneUSB>(*driver, FastTimings());
        meter->StartWorker();
        ASSERT_TRUE(meter->OpenDevice(config.serial, 19200));
        meter->SetView(sink, kMeterFrameMessage);
    }
    void TearDown() override {
        meter.reset();
        driver.reset();
    }
    std::shared_ptr<Sink> sink = std::make_shared<Sink>();
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<COrvaneUSB> meter;
};

TEST_F(Requests, ReadWriteAndMeasureAgainstTheMeter) {
    MeterModelConfig config;
    config.frameIntervalMs = 100000;
    config.fixedPowerTenths = 123;
    Open(config);
    UnitParameters r{};
    ASSERT_TRUE(meter->ReadParameters(r));
    EXPECT_EQ(r, (UnitParameters{0x12, 0x85, 0x2A, 0x00, 0x03, 0x00, 25, 0x00, 0x00}));
    EXPECT_EQ(meter->ReplyCopy()[0], 0xE2);
    r[3] = 22;
    meter->ClearWriteAck();
    ASSERT_TRUE(meter->WriteParameters(r));
    const auto end = std::chrono::steady_clock::now() + 2s;
    while (!meter->WriteAck() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(2ms);
    EXPECT_TRUE(meter->WriteAck());
    EXPECT_EQ(driver->MeterRecord()[3], 22);
    ASSERT_TRUE(meter->RequestMeasurement());
    // The reply wakes the request before the receive hook decodes it.
    EXPECT_TRUE(testing_support::WaitFor([&] { return meter->PowerDbm() == 12.3; }, 2s));
    EXPECT_FALSE(meter->WriteAck());  // requests clear it
}

TEST_F(Requests, ShortRecordReplyFillsOnlyWhatCame) {
    MeterModelConfig config;
    config.recordReplyBytes = 4;
    Open(config);
    UnitParameters r;
    r.fill(0xAB);
    ASSERT_TRUE(meter->ReadParameters(r));
    EXPECT_EQ(r, (UnitParameters{0x12, 0x85, 0x2A, 0x00, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB}));
}

TEST_F(Requests, SilentMeterTimesOutAndALateReplyIsDiscarded) {
    MeterModelConfig config;
    config.answerRequests = false;
    config.frameIntervalMs = 100000;
    Open(config);
    UnitParameters r;
    r.fill(0x55);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(meter->ReadParameters(r));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
    EXPECT_EQ(r[0], 0x55);
    EXPECT_FALSE(meter->RequestMeasurement());
}

}  // namespace
}  // namespace velquor
