// Reconnecting through the serial backend: simulated meters on pseudo-terminals,
// reached through symbolic links that are re-pointed as a device node would come
// back, and a fake sysfs that says which USB serial number sits behind each node.

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <sys/resource.h>

#include <thread>

#include "link/serial_test_support.h"
#include "pty_meter_server.h"
#include "station_test_support.h"

namespace velquor::station {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testing::Collected;
using testing::CollectUntil;
using Clock = std::chrono::steady_clock;

// The meter simulator's server on a pseudo-terminal, in a thread of this process.
class PtyMeter {
public:
    PtyMeter() {
        metersim::SimOptions options;
        options.frameInterval = 10ms;
        m_server = std::make_unique<metersim::CPtyMeterServer>(options);
        std::string error;
        if (!m_server->Open(error))
            return;
        m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        m_thread = std::thread([this] {
            std::string e;
            m_server->Serve(m_stop, e);
        });
    }
    ~PtyMeter() {
        Vanish();
        if (m_stop >= 0)
            close(m_stop);
    }
    const std::string& Path() const { return m_server->SlavePath(); }
    // The terminal hangs up, as a USB serial port does when unplugged.
    void Vanish() {
        if (!m_thread.joinable())
            return;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = write(m_stop, &one, sizeof one);
        m_thread.join();
        m_server->Close();
    }

private:
    std::unique_ptr<metersim::CPtyMeterServer> m_server;
    int m_stop = -1;
    std::thread m_thread;
};

// Replaces the link in one step, as udev does.
void Repoint(const fs::path& link, const std::string& target) {
    const fs::path temp = link.string() + ".new";
    fs::remove(temp);
    fs::create_symlink(target, temp);
    fs::rename(temp, link);
}

std::vector<ReadingKind> Events(const std::vector<Reading>& readings) {
    std::vector<ReadingKind> events;
    for (const Reading& r : readings)
        if (r.kind != ReadingKind::Measurement)
            events.push_back(r.kind);
    return events;
}

const std::vector<ReadingKind> kLostAndBack = {ReadingKind::LinkLost, ReadingKind::Reconnected};

class PtyReconnect : public ::testing::Test {
protected:
    StationOptions Options() {
        StationOptions o = testing::FastOptions(&notices);
        // Long enough that a loaded machine does not lose a meter that is sending.
        o.timings.idle_wait_ms = 50;
        o.serial_paths = {sysfs.Root().string(), dev.string()};
        o.reconnect.enabled = true;
        o.reconnect.first_delay = 20ms;
        o.reconnect.max_delay = 100ms;
        return o;
    }
    // Where a port's USB serial number is kept in the fake sysfs.
    fs::path SerialFile(const std::string& tty) {
        return fs::canonical(sysfs.Root() / "bus/usb-serial/devices" / tty)
                   .parent_path()
                   .parent_path() /
               "serial";
    }
    static bool Back(const Collected& c, std::uint32_t meter) {
        const auto of = c.Of(meter);
        return c.Count(meter, ReadingKind::Reconnected) == 1 && !of.empty() &&
               of.back().kind == ReadingKind::Measurement;
    }

    testing::NoticeLog notices;
    velquor::testing::FakeSysfs sysfs;
    const fs::path dev = sysfs.DevRoot();
};

TEST_F(PtyReconnect, AMeterBehindALinkComesBackOnANewTerminal) {
    auto a = std::make_unique<PtyMeter>();
    const fs::path link = dev / "meter";
    Repoint(link, a->Path());
    Station station(Options());
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::ByPath(link.string())}, false, errors)) << errors[0];
    // A pseudo-terminal has no USB identity: named after its path, no serial invented.
    EXPECT_EQ(station.MeterName(0), link.string());
    EXPECT_EQ(station.Meter(0).serial, "");
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.all.size() >= 3; }, 10s));
    a->Vanish();
    fs::remove(link);
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) == 1; }, 10s));
    std::this_thread::sleep_for(500ms);
    // The wait backs off: a handful of looks in half a second, no busy loop.
    EXPECT_GE(station.Status(0).attempts, 3);
    EXPECT_LE(station.Status(0).attempts, 12);
    EXPECT_EQ(station.Status(0).state, MeterState::Waiting);

    PtyMeter b;
    const auto reappeared = Clock::now();
    Repoint(link, b.Path());
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return Back(x, 0); }, 10s));
    const auto took = Clock::now() - reappeared;
    EXPECT_EQ(Events(c.all), kLostAndBack);
    EXPECT_LT(took, 3s);
    ::testing::Test::RecordProperty(
        "reappear_to_reading_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    EXPECT_EQ(station.Status(0).state, MeterState::Connected);
}

TEST_F(PtyReconnect, ADifferentMeterAtTheSamePathIsRefusedAndTheWaitGoesOn) {
    sysfs.Add({"ttyUSB0", "ftdi_sio", "OV111", kMeterDescription, "Dunmarsh Instruments"});
    const fs::path node = dev / "ttyUSB0";
    auto a = std::make_unique<PtyMeter>();
    Repoint(node, a->Path());
    Station station(Options());
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::ByPath(node.string())}, false, errors)) << errors[0];
    EXPECT_EQ(station.MeterName(0), "OV111");
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.all.size() >= 3; }, 10s));
    a->Vanish();
    velquor::testing::FakeSysfs::Write(SerialFile("ttyUSB0"), "OV222\n");
    PtyMeter b;
    Repoint(node, b.Path());
    ASSERT_TRUE(velquor::testing::WaitFor(
        [&] { return notices.Count(MeterNotice::Kind::Refused) >= 1; }, 10s));
    const MeterStatus waiting = station.Status(0);
    EXPECT_NE(waiting.last_notice.find("OV222"), std::string::npos) << waiting.last_notice;
    EXPECT_NE(waiting.last_notice.find("not OV111"), std::string::npos) << waiting.last_notice;
    sub->PopAll(c.all, 100ms);
    EXPECT_EQ(c.Count(0, ReadingKind::Reconnected), 0u);
    EXPECT_EQ(station.Meter(0).serial, "OV111");

    // The right meter is back at the place.
    velquor::testing::FakeSysfs::Write(SerialFile("ttyUSB0"), "OV111\n");
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return Back(x, 0); }, 10s));
    EXPECT_EQ(Events(c.all), kLostAndBack);
}

TEST_F(PtyReconnect, AMeterChosenBySerialIsFoundAgainOnAnotherNode) {
    sysfs.Add({"ttyUSB0", "ftdi_sio", "OV111", kMeterDescription, "Dunmarsh Instruments"});
    auto a = std::make_unique<PtyMeter>();
    Repoint(dev / "ttyUSB0", a->Path());
    Station station(Options());
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::BySerial("OV111")}, false, errors)) << errors[0];
    EXPECT_EQ(station.Meter(0).path, (dev / "ttyUSB0").string());
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.all.size() >= 3; }, 10s));
    a->Vanish();
    fs::remove(dev / "ttyUSB0");
    fs::remove(sysfs.Root() / "bus/usb-serial/devices/ttyUSB0");
    PtyMeter b;
    sysfs.Add({"ttyUSB1", "ftdi_sio", "OV111", kMeterDescription, "Dunmarsh Instruments"});
    Repoint(dev / "ttyUSB1", b.Path());
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return Back(x, 0); }, 10s));
    EXPECT_EQ(Events(c.all), kLostAndBack);
    EXPECT_EQ(station.Meter(0).path, (dev / "ttyUSB1").string());
    EXPECT_EQ(station.MeterName(0), "OV111");
}

TEST_F(PtyReconnect, TwoMetersWhereOnlyOneIsLost) {
    auto a = std::make_unique<PtyMeter>();
    PtyMeter other;
    Repoint(dev / "one", a->Path());
    Repoint(dev / "two", other.Path());
    Station station(Options());
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open(
        {MeterTarget::ByPath((dev / "one").string()), MeterTarget::ByPath((dev / "two").string())},
        false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Of(0).size() >= 3; }, 10s));
    a->Vanish();
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) == 1; }, 10s));
    const std::size_t lost = c.Of(1).size();
    std::this_thread::sleep_for(300ms);
    PtyMeter b;
    Repoint(dev / "one", b.Path());
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return Back(x, 0); }, 10s));
    // The other meter went on through the whole absence, and was never lost itself.
    EXPECT_GE(c.Of(1).size(), lost + 15);
    EXPECT_TRUE(Events(c.Of(1)).empty());
    EXPECT_EQ(Events(c.Of(0)), kLostAndBack);
}

TEST_F(PtyReconnect, TheWaitEndsAtTheTimeOut) {
    auto a = std::make_unique<PtyMeter>();
    Repoint(dev / "meter", a->Path());
    StationOptions o = Options();
    o.reconnect.timeout = 300ms;
    Station station(o);
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::ByPath((dev / "meter").string())}, false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.all.size() >= 3; }, 10s));
    a->Vanish();
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) == 1; }, 10s));
    const auto lost = Clock::now();
    ASSERT_TRUE(velquor::testing::WaitFor(
        [&] { return notices.Count(MeterNotice::Kind::GaveUp) == 1; }, 10s));
    const auto took = Clock::now() - lost;
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 3s);
    EXPECT_EQ(station.Status(0).state, MeterState::GaveUp);
    // Coming back later changes nothing: the station no longer looks.
    PtyMeter b;
    Repoint(dev / "meter", b.Path());
    std::this_thread::sleep_for(300ms);
    sub->PopAll(c.all, 0ms);
    EXPECT_EQ(c.Count(0, ReadingKind::Reconnected), 0u);
}

TEST_F(PtyReconnect, TheNodeComingBackCutsALongBackOffShort) {
    // A node with a USB identity, so the sequence also sits through its identity pause.
    sysfs.Add({"ttyUSB0", "ftdi_sio", "OV111", kMeterDescription, "Dunmarsh Instruments"});
    const fs::path node = dev / "ttyUSB0";
    auto a = std::make_unique<PtyMeter>();
    Repoint(node, a->Path());
    StationOptions o = Options();
    // The program's link waits and sequence pauses: the figure is what a user sees.
    o.timings = {};
    o.make_clock = nullptr;
    o.reconnect.first_delay = 100ms;
    o.reconnect.max_delay = 10s;
    Station station(o);
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::ByPath(node.string())}, false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.all.size() >= 3; }, 10s));
    a->Vanish();
    fs::remove(node);
    // Four looks: the next is 1.6 s away.
    ASSERT_TRUE(velquor::testing::WaitFor([&] { return station.Status(0).attempts >= 4; }, 10s));
    PtyMeter b;
    const auto reappeared = Clock::now();
    Repoint(node, b.Path());
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return Back(x, 0); }, 10s));
    const auto took = Clock::now() - reappeared;
    // The connect sequence pauses 0.6 s of its own; the back-off would add 1.6 s.
    EXPECT_LT(took, 1500ms);
    ::testing::Test::RecordProperty(
        "reappear_to_reading_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(PtyReconnect, WaitingUsesNoCpuAndCloseEndsItAtOnce) {
    auto a = std::make_unique<PtyMeter>();
    Repoint(dev / "meter", a->Path());
    StationOptions o = Options();
    o.timings = {};  // the program's own waits and back-off
    o.reconnect = {};
    o.reconnect.enabled = true;
    Station station(o);
    auto sub = station.Subscribe();
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::ByPath((dev / "meter").string())}, false, errors));
    Collected c;
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.all.size() >= 3; }, 10s));
    a.reset();
    fs::remove(dev / "meter");
    ASSERT_TRUE(CollectUntil(
        *sub, c, [](const Collected& x) { return x.Count(0, ReadingKind::LinkLost) == 1; }, 10s));
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(2s);
    const double cpu = CpuSeconds() - cpu0;
    EXPECT_LT(cpu, 0.1);
    ::testing::Test::RecordProperty("cpu_ms_over_2s_wait", static_cast<int>(cpu * 1000));
    const auto start = Clock::now();
    station.Close();
    const auto took = Clock::now() - start;
    EXPECT_LT(took, 1s);
    ::testing::Test::RecordProperty(
        "close_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

TEST_F(PtyReconnect, CloseWhileOpeningASilentDeviceReturnsWithinASecond) {
    auto a = std::make_unique<PtyMeter>();
    Repoint(dev / "meter", a->Path());
    StationOptions o = Options();
    // The program's reply waits (0.8 s each), which the close must not sit through.
    o.timings = {};
    o.make_clock = nullptr;
    Station station(o);
    std::vector<std::string> errors;
    ASSERT_TRUE(station.Open({MeterTarget::ByPath((dev / "meter").string())}, false, errors));
    a->Vanish();
    // Something that opens but never answers: every attempt sits in the connect sequence.
    velquor::testing::Pty silent;
    Repoint(dev / "meter", silent.SlavePath());
    ASSERT_TRUE(velquor::testing::WaitFor(
        [&] { return station.Status(0).state == MeterState::Opening; }, 10s));
    const auto start = Clock::now();
    station.Close();
    const auto took = Clock::now() - start;
    EXPECT_LT(took, 1s);
    ::testing::Test::RecordProperty(
        "close_ms",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
}

}  // namespace
}  // namespace velquor::station
