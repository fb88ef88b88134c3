#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "logging/log_session.h"
#include "logging/meter_log_source.h"
#include "logging_test_support.h"

namespace velquor {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::ReadFile;
using testing::TempDir;

// A meter at 12.3 dBm and 25.0 degrees, as the window last handled it.
class MeterLog : public ::testing::Test {
protected:
    void SetUp() override {
        meter.powerDbm = 12.3;
        meter.temperatureC = 25.0;
        meter.alive = true;
    }
    LogSettings Settings() {
        LogSettings s;
        s.path = dir.File("log.txt");
        s.serialNumber = "OV227700";
        s.delimiter = ',';
        return s;
    }

    TempDir dir;
    LiveReading meter;
};

TEST_F(MeterLog, RowsCarryTheMetersReadingsUntilTheViewFlagClears) {
    std::atomic<bool> connected{true};
    CMeterLogSource source(meter, &connected);
    FakeClock clock;
    clock.onSleep = [&connected](int count) {
        if (count > 3)
            connected = false;
    };
    const LogSessionResult session = RunLogSession(source, Settings(), std::nullopt, {}, &clock);
    EXPECT_EQ(session.result.end, LogEnd::Disconnected);
    EXPECT_EQ(session.result.rows, 3);
    const std::string text = ReadFile(Settings().path);
    EXPECT_NE(text.find("\r\n2,12.30,0.02,"), std::string::npos) << text;
}

// The window's power and the notes on its settings change together on the GUI
// thread while rows are written: no row carries a power under the other notes.
TEST_F(MeterLog, RowsCarryTheShownPowerUnderItsOwnNotes) {
    std::atomic<bool> connected{true};
    CShownPower shown;
    shown.Set(std::nullopt, "");
    CMeterLogSource source(meter, &connected, nullptr, &shown);
    EXPECT_FALSE(source.Sample());  // nothing shown yet: no row
    FakeClock clock;
    clock.onSleep = [&connected](int count) {
        if (count > 300)
            connected = false;
    };
    std::atomic<bool> done{false};
    std::atomic<bool> started{false};
    std::thread gui([&] {
        for (int i = 0; !done; ++i) {
            if (i % 2 == 0)
                shown.Set(14.8, "# OFS +2.5 dB\r\n");
            else
                shown.Set(12.3, "");
            started = true;
        }
    });
    // The fake clock runs the whole session at once: on a loaded machine it could
    // end before the other thread showed any power.
    for (int i = 0; i < 5000 && !started; ++i)
        std::this_thread::sleep_for(1ms);
    const LogSessionResult session = RunLogSession(source, Settings(), std::nullopt, {}, &clock);
    done = true;
    gui.join();
    EXPECT_EQ(session.result.end, LogEnd::Disconnected);
    EXPECT_GT(session.result.rows, 0);
    std::istringstream text(ReadFile(Settings().path));
    bool offset = false;
    int rows = 0;
    for (std::string line; std::getline(text, line);) {
        if (line.rfind("# OFS", 0) == 0) {
            offset = true;
        } else if (line.rfind("# every power", 0) == 0) {
            offset = false;
        } else if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
            ++rows;
            EXPECT_NE(line.find(offset ? ",14.80," : ",12.30,"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(rows, session.result.rows);
}

TEST_F(MeterLog, ALostLinkEndsALongPausePromptly) {
    CMeterLogSource source(meter);
    ASSERT_TRUE(source.Connected());
    LogSettings settings = Settings();
    settings.periodMs = 3600000;
    std::thread loss([this] {
        std::this_thread::sleep_for(200ms);
        meter.alive = false;
    });
    const auto start = std::chrono::steady_clock::now();
    const LogSessionResult session = RunLogSession(source, settings, 60s);
    loss.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    EXPECT_EQ(session.result.end, LogEnd::Disconnected);
    EXPECT_FALSE(source.Connected());
}

TEST_F(MeterLog, NoLinkMeansNotConnectedWhateverTheFlag) {
    meter.alive = false;
    std::atomic<bool> connected{true};
    EXPECT_FALSE(CMeterLogSource(meter, &connected).Connected());
    EXPECT_FALSE(CMeterLogSource(meter).Connected());
}

}  // namespace
}  // namespace velquor
