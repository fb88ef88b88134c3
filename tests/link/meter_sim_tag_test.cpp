// Tagged measurement frames: the simulator's counter and send log, and the
// receiving side's decode stamps, through the serial backend on a pseudo-terminal.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "link/serial_driver.h"
#include "meter/frame_timing_log.h"
#include "meter/orvane_usb.h"
#include "serial_test_support.h"
#include "sim_options.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;

std::vector<TimingRecord> ReadLog(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::vector<TimingRecord> records;
    for (std::string line; std::getline(in, line);) {
        const auto r = ParseTimingRecord(line);
        EXPECT_TRUE(r) << line;
        if (r)
            records.push_back(*r);
    }
    return records;
}

class CountingSink : public IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) override {
        std::lock_guard lock(m_lock);
        m_measurements += !frame.empty() && frame[0] == kOpMeasurement;
    }
    int Measurements() {
        std::lock_guard lock(m_lock);
        return m_measurements;
    }

private:
    std::mutex m_lock;
    int m_measurements = 0;
};

// The options of args, or the reason they were refused.
struct Parsed {
    metersim::SimOptions options;
    std::string error;
};

Parsed ParseArgs(const std::vector<std::string>& args) {
    Parsed p;
    if (!metersim::ParseSimOptions(args, p.options, p.error) && p.error.empty())
        p.error = "failed without a reason";
    return p;
}

TEST(MeterSimTag, OptionsAndTheirConflicts) {
    const Parsed tagged = ParseArgs({"--tag", "--send-log", "/tmp/s.log", "--rate", "213"});
    ASSERT_EQ(tagged.error, "");
    EXPECT_TRUE(tagged.options.tag);
    EXPECT_EQ(tagged.options.sendLog, "/tmp/s.log");
    const Parsed plain = ParseArgs({"--rate", "213"});
    ASSERT_EQ(plain.error, "");
    EXPECT_FALSE(plain.options.tag);

    const struct {
        std::vector<std::string> args;
        const char* message;
    } bad[] = {
        {{"--send-log", "/tmp/s.log"}, "--send-log needs --tag"},
        {{"--tag", "--power", "10"}, "--tag and --power cannot be used together"},
        {{"--tag=1"}, "--tag takes no value"},
        {{"--tag", "--send-log"}, "--send-log needs a value"},
        {{"--tag", "--send-log", ""}, "invalid value for --send-log"},
    };
    for (const auto& c : bad) {
        const std::string error = ParseArgs(c.args).error;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.message << ": " << error;
    }
}

TEST(MeterSimTag, EveryFrameSentIsLoggedAndDecodedInOrder) {
    testing::TempDir dir;
    const auto sendLog = dir.Path() / "send.log";
    const auto receiveLog = dir.Path() / "receive.log";
    // Fast enough that the counter wraps past the modulus within the test.
    testing::SimProcess sim({"--tag", "--send-log", sendLog.string(), "--rate", "213"});
    ASSERT_FALSE(sim.Path().empty());

    std::string error;
    auto timing = CFrameTimingLog::Open(receiveLog.string(), error);
    ASSERT_TRUE(timing) << error;
    {
        CSerialDriver driver;
        COrvaneUSB meter(driver);
        auto sink = std::make_shared<CountingSink>();
        meter.SetView(sink, kMeterFrameMessage);
        meter.SetTimingLog(timing.get());
        ASSERT_TRUE(meter.StartWorker());
        ASSERT_TRUE(meter.OpenDevice(sim.Path(), 19200)) << driver.LastError();
        ASSERT_TRUE(testing::WaitFor(
            [&] { return sink->Measurements() >= metersim::kTagModulus + 100; }, 20s));
        // Stopping the meter first means every frame it sent has arrived once the
        // link reports the silence.
        EXPECT_EQ(sim.Stop(), 0);
        ASSERT_TRUE(testing::WaitFor([&] { return !meter.LinkAlive(); }, 5s));
    }
    timing.reset();

    const auto sent = ReadLog(sendLog);
    const auto decoded = ReadLog(receiveLog);
    ASSERT_GT(sent.size(), static_cast<std::size_t>(metersim::kTagModulus));
    std::map<std::int64_t, std::int64_t> sentAt;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].event, TimingEvent::kSent);
        EXPECT_EQ(sent[i].tag, static_cast<std::int64_t>(i)) << "counter not contiguous";
        if (i > 0) {
            EXPECT_GE(sent[i].ns, sent[i - 1].ns);
        }
        sentAt[sent[i].tag] = sent[i].ns;
    }

    // Frames queued before the host opened the line may be gone; from the first
    // one decoded on, the tags follow the counter without a gap to the last sent.
    ASSERT_FALSE(decoded.empty());
    const std::int64_t first = decoded.front().tag;
    std::int64_t counter = -1;
    for (const auto& [c, ns] : sentAt) {
        if (c % metersim::kTagModulus == first && ns <= decoded.front().ns) {
            counter = c;
        }
    }
    ASSERT_GE(counter, 0) << "first decoded tag was never sent";
    for (const TimingRecord& r : decoded) {
        EXPECT_EQ(r.event, TimingEvent::kDecoded);
        ASSERT_EQ(r.tag, counter % metersim::kTagModulus) << "frame " << counter << " lost";
        EXPECT_GE(r.ns, sentAt[counter]) << "decoded before it was sent";
        ++counter;
    }
    EXPECT_EQ(counter, static_cast<std::int64_t>(sent.size()));
}

}  // namespace
}  // namespace velquor
