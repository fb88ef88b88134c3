#include <gtest/gtest.h>

#include <sys/resource.h>
#include <time.h>

#include <mutex>

#include "link/serial_driver.h"
#include "meter/orvane_usb.h"
#include "serial_test_support.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;
using testing::SimProcess;
using testing::WaitFor;
using Bytes = std::vector<std::uint8_t>;

class CollectingSink : public IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) override {
        std::lock_guard lock(m_lock);
        m_frames.push_back(std::move(frame));
    }
    std::vector<Bytes> Frames() {
        std::lock_guard lock(m_lock);
        return m_frames;
    }
    int Count(std::uint8_t opcode) {
        int n = 0;
        for (const auto& f : Frames())
            n += !f.empty() && f[0] == opcode;
        return n;
    }

private:
    std::mutex m_lock;
    std::vector<Bytes> m_frames;
};

// Passes every call on and notes how many bytes each read handed out.
class ReadSizeTap : public IFtdiDriver {
public:
    explicit ReadSizeTap(IFtdiDriver& inner) : m_inner(inner) {}
    std::vector<std::uint32_t> ReadSizes() {
        std::lock_guard lock(m_lock);
        return m_sizes;
    }
    FT_STATUS FT_ListDevices(void* a, void* b, std::uint32_t f) override {
        return m_inner.FT_ListDevices(a, b, f);
    }
    FT_STATUS FT_OpenEx(const char* s, std::uint32_t f, FT_HANDLE* h) override {
        return m_inner.FT_OpenEx(s, f, h);
    }
    FT_STATUS FT_SetDivisor(FT_HANDLE h, std::uint16_t d) override {
        return m_inner.FT_SetDivisor(h, d);
    }
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t w, std::uint8_t s,
                                        std::uint8_t p) override {
        return m_inner.FT_SetDataCharacteristics(h, w, s, p);
    }
    FT_STATUS FT_SetFlowControl(FT_HANDLE h, std::uint16_t f, std::uint8_t a,
                                std::uint8_t b) override {
        return m_inner.FT_SetFlowControl(h, f, a, b);
    }
    FT_STATUS FT_SetDtr(FT_HANDLE h) override { return m_inner.FT_SetDtr(h); }
    FT_STATUS FT_SetRts(FT_HANDLE h) override { return m_inner.FT_SetRts(h); }
    FT_STATUS FT_ClrDtr(FT_HANDLE h) override { return m_inner.FT_ClrDtr(h); }
    FT_STATUS FT_ClrRts(FT_HANDLE h) override { return m_inner.FT_ClrRts(h); }
    FT_STATUS FT_SetTimeouts(FT_HANDLE h, std::uint32_t r, std::uint32_t w) override {
        return m_inner.FT_SetTimeouts(h, r, w);
    }
    FT_STATUS FT_SetEventNotification(FT_HANDLE h, std::uint32_t m) override {
        return m_inner.FT_SetEventNotification(h, m);
    }
    FT_STATUS FT_GetStatus(FT_HANDLE h, std::uint32_t* r, std::uint32_t* t,
                           std::uint32_t* e) override {
        return m_inner.FT_GetStatus(h, r, t, e);
    }
    FT_STATUS FT_Read(FT_HANDLE h, void* b, std::uint32_t c, std::uint32_t* r) override {
        const FT_STATUS status = m_inner.FT_Read(h, b, c, r);
        std::lock_guard lock(m_lock);
        if (r != nullptr && *r > 0)
            m_sizes.push_back(*r);
        return status;
    }
    FT_STATUS FT_Write(FT_HANDLE h, const void* d, std::uint32_t l, std::uint32_t* w) override {
        return m_inner.FT_Write(h, d, l, w);
    }
    FT_STATUS FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* d) override {
        return m_inner.FT_EE_Read(h, d);
    }
    FT_STATUS FT_Close(FT_HANDLE h) override { return m_inner.FT_Close(h); }
    int RxEventFd(FT_HANDLE h) override { return m_inner.RxEventFd(h); }

private:
    IFtdiDriver& m_inner;
    std::mutex m_lock;
    std::vector<std::uint32_t> m_sizes;
};

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string ReadFileText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// Record bytes holding 0x11, so the reply needs escaping too.
constexpr const char* kRecordHex = "12 11 2A 00 03 00 19 11 00";
const UnitParameters kRecord = {0x12, 0x11, 0x2A, 0x00, 0x03, 0x00, 0x19, 0x11, 0x00};

TEST(SerialEndToEnd, MeterOverAPseudoTerminalFromOpenToUnplug) {
    testing::TempDir dir;
    const auto recordOut = dir.Path() / "record.hex";
    // 436.9 dBm is 0x1111 tenths: both power bytes travel escaped. Three-byte
    // chunks split every frame across reads.
    SimProcess sim({"--power", "436.9", "--temperature", "25", "--battery", "640", "--record",
                    kRecordHex, "--interval-ms", "40", "--chunk", "3", "--chunk-pause-ms", "2",
                    "--record-out", recordOut.string()});
    ASSERT_FALSE(sim.Path().empty());

    CSerialDriver serial;
    ReadSizeTap driver(serial);
    LinkTimings timings;  // the program's own waits: link loss must show within 1.5 s
    timings.identity_pause_ms = 5;
    COrvaneUSB meter(driver, timings);
    auto sink = std::make_shared<CollectingSink>();
    meter.SetView(sink, kMeterFrameMessage);
    ASSERT_TRUE(meter.StartWorker());
    ASSERT_TRUE(meter.OpenDevice(sim.Path(), 19200)) << serial.LastError();

    // A pseudo-terminal has no USB identity.
    EXPECT_FALSE(meter.QueryIdentity());
    EXPECT_EQ(meter.EepromStatus(), FT_EEPROM_READ_FAILED);

    UnitParameters record{};
    ASSERT_TRUE(meter.ReadParameters(record));
    EXPECT_EQ(record, kRecord);

    ASSERT_TRUE(WaitFor([&] { return sink->Count(kOpMeasurement) >= 5; }, 5s));
    for (const auto& frame : sink->Frames()) {
        if (frame[0] != kOpMeasurement)
            continue;
        EXPECT_EQ(frame, (Bytes{kOpMeasurement, 160, 0x11, 0x11, 60}));
    }
    EXPECT_DOUBLE_EQ(meter.PowerDbm(), 436.9);
    EXPECT_DOUBLE_EQ(meter.TemperatureC(), 25.0);
    EXPECT_DOUBLE_EQ(meter.Battery(), 640.0);
    const auto sizes = driver.ReadSizes();
    EXPECT_TRUE(std::any_of(sizes.begin(), sizes.end(), [](std::uint32_t n) { return n < 9; }))
        << "no frame arrived split";

    // The meter stores what we write; the simulator reports it back.
    UnitParameters written = kRecord;
    written[6] = 0x11;
    written[3] = 0x40;
    ASSERT_TRUE(meter.WriteParameters(written));
    ASSERT_TRUE(WaitFor([&] { return meter.WriteAck(); }, 3s));
    EXPECT_TRUE(WaitFor(
        [&] {
            return ReadFileText(recordOut) ==
                   "12112A4003001111"
                   "00";
        },
        3s))
        << ReadFileText(recordOut);

    // While we hold the line, nobody else gets it.
    CSerialDriver other;
    FT_HANDLE h = nullptr;
    EXPECT_EQ(other.FT_OpenEx(sim.Path().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &h),
              FT_DEVICE_NOT_OPENED);
    EXPECT_NE(other.LastError().find("device busy"), std::string::npos) << other.LastError();

    // The meter goes away: the link reports it once, then idles without spinning.
    const int before = sink->Count(kOpLinkLost);
    EXPECT_EQ(sim.Stop(), 0);
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([&] { return sink->Count(kOpLinkLost) > before; }, 1500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1500ms);
    EXPECT_FALSE(meter.LinkAlive());
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(2s);
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.2);
    EXPECT_EQ(sink->Count(kOpLinkLost), before + 1);

    // Closing the vanished device still succeeds; writing to it does not.
    EXPECT_FALSE(meter.SendFrame(&kOpMeasurement, 1));
    EXPECT_TRUE(meter.CloseDevice());
    EXPECT_EQ(ReadFileText(recordOut), "12112A400300111100");
}

TEST(SerialEndToEnd, AMeterThatNeverAnswersFailsTheRecordReadAfterTheReplyWait) {
    SimProcess sim({"--no-answer", "--interval-ms", "50"});
    ASSERT_FALSE(sim.Path().empty());
    CSerialDriver driver;
    LinkTimings timings;
    timings.reply_wait_ms = 300;
    COrvaneUSB meter(driver, timings);
    auto sink = std::make_shared<CollectingSink>();
    meter.SetView(sink, kMeterFrameMessage);
    ASSERT_TRUE(meter.StartWorker());
    ASSERT_TRUE(meter.OpenDevice(sim.Path(), 19200)) << driver.LastError();
    UnitParameters record{};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(meter.ReadParameters(record));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 290ms);
    EXPECT_EQ(record, UnitParameters{});
    // It is alive all the same: measurements keep coming.
    EXPECT_TRUE(WaitFor([&] { return sink->Count(kOpMeasurement) >= 2; }, 3s));
    EXPECT_TRUE(meter.CloseDevice());
}

TEST(SerialEndToEnd, TheSimulatorExitingOnItsOwnHangsUpTheHost) {
    SimProcess sim({"--exit-after", "0.3", "--interval-ms", "50"});
    ASSERT_FALSE(sim.Path().empty());
    CSerialDriver driver;
    FT_HANDLE h = nullptr;
    ASSERT_EQ(driver.FT_OpenEx(sim.Path().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &h), FT_OK);
    ASSERT_EQ(driver.FT_SetEventNotification(h, FT_EVENT_RXCHAR), FT_OK);
    // Drain until the simulator is gone; the descriptor must then be withdrawn.
    const bool gone = WaitFor(
        [&] {
            std::uint32_t rx = 0, tx = 0, ev = 0;
            driver.FT_GetStatus(h, &rx, &tx, &ev);
            std::vector<std::uint8_t> buffer(rx);
            std::uint32_t got = 0;
            if (rx > 0)
                driver.FT_Read(h, buffer.data(), rx, &got);
            return driver.RxEventFd(h) == -1;
        },
        5s);
    EXPECT_TRUE(gone);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_EQ(driver.FT_Close(h), FT_OK);
}

}  // namespace
}  // namespace velquor
