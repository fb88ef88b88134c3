// The window's "Reconnect Automatically" with the serial backend: a meter simulator
// on a pseudo-terminal behind a link that is pointed at a new one, as a udev link
// follows a replugged meter.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/log_to.h"
#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "link/serial_driver.h"
#include "link/serial_test_support.h"
#include "link/sim_driver.h"
#include "logging/log_ui.h"
#include "ui/ctrl_id.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

namespace fs = std::filesystem;

template <typename Pred>
bool PumpUntil(Pred pred, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

using testing_support::LogTo;

std::vector<std::string> RowsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::string> rows;
    std::string line;
    while (std::getline(text, line))
        rows.push_back(line);
    // The serial number and the column titles come first.
    return rows.size() > 2 ? std::vector<std::string>(rows.begin() + 2, rows.end())
                           : std::vector<std::string>{};
}

TEST(ViewReconnect, AMeterThatComesBackCarriesOnTheLog) {
    testing::TempDir dir;
    const std::string link = dir.File("meter");
    const std::string logFile = dir.File("log.txt");
    auto sim = std::make_unique<testing::SimProcess>(std::vector<std::string>{});
    ASSERT_FALSE(sim->Path().empty());
    fs::create_symlink(sim->Path(), link);

    LinkTimings timings;
    timings.idle_wait_ms = 50;
    timings.identity_pause_ms = 1;
    timings.reply_wait_ms = 500;
    CSerialDriver driver;
    CVelquorDoc doc;
    CVelquorView view(driver, &doc, nullptr, timings);
    view.SetPrompt(std::make_unique<testing_support::ScriptedPrompt>());
    view.SetSequenceClock(std::make_unique<testing_support::SteppingClock>(600));
    view.SetLogUi(std::make_unique<LogTo>(logFile));
    view.SetRunSequencesInline(true);
    view.SetPort(link);
    view.SetReconnect(true);
    view.OnInitialUpdate();
    ASSERT_TRUE(view.Unit().m_bConnected);
    view.OnSaveMeasurementData();
    ASSERT_TRUE(view.Logging());
    ASSERT_TRUE(PumpUntil([&] { return RowsOf(logFile).size() >= 2; }, 15000));

    // Unplugged: the wait begins and the log goes on without rows.
    sim->Stop(SIGKILL);
    ASSERT_TRUE(PumpUntil([&] { return view.WaitingForMeter(); }, 10000));
    EXPECT_FALSE(view.Unit().m_bConnected);
    const std::size_t before = RowsOf(logFile).size();
    PumpUntil([] { return false; }, 2200);
    EXPECT_TRUE(view.StatusNote().contains("s ago; reconnecting..."))
        << view.StatusNote().toStdString();
    EXPECT_TRUE(view.Logging());
    EXPECT_EQ(RowsOf(logFile).size(), before);

    // Plugged in again, on another terminal behind the same link.
    auto back = std::make_unique<testing::SimProcess>(std::vector<std::string>{});
    ASSERT_FALSE(back->Path().empty());
    fs::remove(link);
    fs::create_symlink(back->Path(), link);
    ASSERT_TRUE(PumpUntil([&] { return view.Unit().m_bConnected.load(); }, 15000));
    EXPECT_FALSE(view.WaitingForMeter());
    ASSERT_TRUE(PumpUntil([&] { return RowsOf(logFile).size() >= before + 2; }, 15000));
    EXPECT_TRUE(view.Logging());

    // Lost again, and the option turned off: the wait and the log end.
    back->Stop(SIGKILL);
    ASSERT_TRUE(PumpUntil([&] { return view.WaitingForMeter(); }, 10000));
    view.SetReconnect(false);
    EXPECT_FALSE(view.WaitingForMeter());
    EXPECT_TRUE(PumpUntil([&] { return !view.Logging(); }, 5000));
    const QString ended = QString("Meter lost: the log to log.txt ended");
    EXPECT_TRUE(PumpUntil([&] { return view.StatusNote().startsWith(ended); }, 5000))
        << view.StatusNote().toStdString();

    // Every row whole, the index counting on across the gap.
    const std::vector<std::string> rows = RowsOf(logFile);
    ASSERT_GE(rows.size(), before + 2);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].rfind(std::to_string(i) + ",", 0), 0u) << rows[i];
        EXPECT_EQ(std::count(rows[i].begin(), rows[i].end(), ','), 6) << rows[i];
        EXPECT_EQ(rows[i].back(), '\r') << rows[i];
    }
}

TEST(ViewReconnect, WithReconnectingOffALostMeterEndsTheLogAndSaysSo) {
    testing::TempDir dir;
    const std::string logFile = dir.File("log.txt");
    MeterModelConfig meter;
    meter.frameIntervalMs = 50;
    meter.silenceAfterS = 1.5;
    CSimDriver driver({CSimDriver::DefaultMeter(meter)});
    LinkTimings timings;
    timings.idle_wait_ms = 50;
    timings.identity_pause_ms = 1;
    CVelquorDoc doc;
    CVelquorView view(driver, &doc, nullptr, timings);
    view.SetPrompt(std::make_unique<testing_support::ScriptedPrompt>());
    view.SetSequenceClock(std::make_unique<testing_support::SteppingClock>(600));
    view.SetLogUi(std::make_unique<LogTo>(logFile));
    view.SetRunSequencesInline(true);
    view.OnInitialUpdate();
    ASSERT_TRUE(view.Unit().m_bConnected);
    view.OnSaveMeasurementData();
    ASSERT_TRUE(view.Logging());
    const QString ended = QString("Meter lost: the log to log.txt ended");
    EXPECT_TRUE(PumpUntil([&] { return view.StatusNote().startsWith(ended); }, 15000))
        << view.StatusNote().toStdString();
    EXPECT_FALSE(view.Logging());
    EXPECT_TRUE(view.StatusNote().contains("Reconnect Automatically"));
}

TEST(ViewLogging, AnAcceptedSaveRateIsShownAsItIsKept) {
    testing::TempDir dir;
    const std::string logFile = dir.File("log.txt");
    CSimDriver driver;
    CVelquorDoc doc;
    LinkTimings timings;
    timings.identity_pause_ms = 1;
    CVelquorView view(driver, &doc, nullptr, timings);
    view.SetPrompt(std::make_unique<testing_support::ScriptedPrompt>());
    view.SetSequenceClock(std::make_unique<testing_support::SteppingClock>(600));
    view.SetLogUi(std::make_unique<LogTo>(logFile));
    view.SetRunSequencesInline(true);
    view.OnInitialUpdate();
    ASSERT_TRUE(view.Unit().m_bConnected);
    auto* rate = qobject_cast<QLineEdit*>(FindByCtrlId(&view, kIdEditSaveRate));
    const std::pair<const char*, const char*> cases[] = {
        {"3,5", "3.5"}, {" 2.25 ", "2.25"}, {"12", "12.0"}, {"1.0004", "1.0"}};
    for (const auto& [typed, shown] : cases) {
        rate->setText(typed);
        view.OnSaveMeasurementData();
        ASSERT_TRUE(view.Logging()) << typed;
        EXPECT_EQ(rate->text().toStdString(), shown);
        view.OnStopSaving();
        ASSERT_TRUE(PumpUntil([&] { return !view.Logging(); }, 5000));
    }
}

}  // namespace
}  // namespace velquor
