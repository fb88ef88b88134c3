// Frames faster than the screen refreshes: every frame is handled, repaints are
// coalesced, the blink toggles follow the repaints and a link loss is not delayed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <memory>

#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "link/sim_driver.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;
using testing_support::SteppingClock;

template <typename Pred>
bool PumpUntil(Pred pred, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// 46.0 dBm, over the power limit; 25.0 C.
station::Reading OverLimitReading() {
    station::Reading r;
    r.power_dbm = 46.0;
    r.temperature_c = 25.0;
    r.battery = 3.0;
    return r;
}

class FrameRepaintTest : public ::testing::Test {
protected:
    // devices: none, or one meter sending over-limit readings every frameIntervalMs.
    void Start(std::vector<SimDeviceConfig> devices) {
        driver = std::make_unique<CSimDriver>(std::move(devices));
        LinkTimings t;
        t.identity_pause_ms = 1;
        t.reply_wait_ms = 300;
        t.idle_wait_ms = 50;
        view = std::make_unique<CVelquorView>(*driver, &doc, nullptr, t);
        view->SetPrompt(std::make_unique<ScriptedPrompt>());
        view->SetSequenceClock(std::make_unique<SteppingClock>(600));
        view->SetRunSequencesInline(true);
        view->resize(760, 450);
        view->OnInitialUpdate();
        view->show();
    }
    // No meter: only the readings the test hands in arrive.
    void StartQuiet() {
        Start({});
        ASSERT_FALSE(view->Unit().m_bConnected);
        PumpFor(300);
    }
    void StartOverLimitMeter(int frameIntervalMs) {
        MeterModelConfig m;
        m.fixedPowerTenths = 460;
        m.fixedTemperature = 60;
        m.frameIntervalMs = frameIntervalMs;
        Start({CSimDriver::DefaultMeter(m)});
        ASSERT_TRUE(view->Unit().m_bConnected);
        ASSERT_TRUE(PumpUntil([&] { return view->Meter().powerDbm.load() == 46.0; }, 3000));
    }
    void Post() { view->OnReading(OverLimitReading()); }
    void TearDown() override {
        view.reset();
        driver.reset();
    }

    CVelquorDoc doc;
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<CVelquorView> view;
};

TEST_F(FrameRepaintTest, ABurstOfFramesIsAllHandledAndSharesRepaints) {
    StartQuiet();
    view->SetMinFrameRepaintIntervalMs(500);
    PumpFor(600);  // past the interval
    const long handled = view->FramesHandled();
    const long repaints = view->Repaints();
    for (int i = 0; i < 100; ++i)
        Post();
    ASSERT_TRUE(PumpUntil([&] { return view->FramesHandled() == handled + 100; }, 3000));
    ASSERT_TRUE(PumpUntil([&] { return view->Repaints() > repaints; }, 3000));
    PumpFor(1200);
    // The first frame repaints at once (the interval has passed); the other 99
    // arrive within the interval and share one more repaint.
    EXPECT_GE(view->Repaints() - repaints, 1);
    EXPECT_LE(view->Repaints() - repaints, 2);
    EXPECT_EQ(view->FramesHandled(), handled + 100);
}

TEST_F(FrameRepaintTest, FramesSlowerThanTheIntervalEachRepaint) {
    StartQuiet();
    view->SetMinFrameRepaintIntervalMs(20);
    const long first = view->Repaints();
    for (int i = 0; i < 5; ++i) {
        const long repaints = view->Repaints();
        PumpFor(40);
        Post();
        EXPECT_TRUE(PumpUntil([&] { return view->Repaints() > repaints; }, 2000)) << i;
    }
    PumpFor(100);
    EXPECT_EQ(view->Repaints() - first, 5);
}

TEST_F(FrameRepaintTest, BlinkTogglesOncePerRepaintWhateverTheFrameRate) {
    StartOverLimitMeter(2);  // about 500 frames a second
    view->SetMinFrameRepaintIntervalMs(16);
    PumpFor(200);
    const bool blink = view->Display().m_bAlarmBlink;
    const long repaints = view->Repaints();
    const long handled = view->FramesHandled();
    PumpFor(1000);
    const long painted = view->Repaints() - repaints;
    EXPECT_GT(view->FramesHandled() - handled, painted) << "frames were not coalesced";
    EXPECT_GT(painted, 5);
    EXPECT_EQ(view->Display().m_bAlarmBlink, blink != (painted % 2 == 1));
}

TEST_F(FrameRepaintTest, ALinkLostFrameRepaintsAtOnce) {
    StartOverLimitMeter(100);
    view->SetMinFrameRepaintIntervalMs(10000);
    Post();  // the coalesced repaint now waits about 10 s
    PumpFor(100);
    const long repaints = view->Repaints();
    driver->Unplug();
    ASSERT_TRUE(PumpUntil([&] { return !view->Unit().m_bConnected; }, 3000));
    EXPECT_TRUE(PumpUntil([&] { return view->Repaints() > repaints; }, 1000));
}

}  // namespace
}  // namespace velquor
