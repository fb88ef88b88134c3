#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <memory>
#include <set>

#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "link/serial_driver.h"
#include "link/serial_test_support.h"
#include "link/sim_driver.h"
#include "ui/check_image_button.h"
#include "ui/ctrl_id.h"
#include "ui/image_text_button.h"
#include "ui/measure_controller.h"
#include "ui/open_watch_driver.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;
using testing_support::SteppingClock;

LinkTimings FastTimings() {
    LinkTimings t;
    t.idle_wait_ms = 50;
    t.identity_pause_ms = 1;
    t.reply_wait_ms = 300;
    return t;
}

// Processes events until pred holds or the limit passes.
template <typename Pred>
bool PumpUntil(Pred pred, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

class ViewTest : public ::testing::Test {
protected:
    void Start(std::vector<SimDeviceConfig> devices, bool inlineSequences = true) {
        driver = std::make_unique<CSimDriver>(std::move(devices));
        view = std::make_unique<CVelquorView>(*driver, &doc, nullptr, FastTimings());
        auto p = std::make_unique<ScriptedPrompt>();
        prompt = p.get();
        view->SetPrompt(std::move(p));
        view->SetSequenceClock(std::make_unique<SteppingClock>(600));
        view->SetRunSequencesInline(inlineSequences);
        view->resize(760, 450);
        view->OnInitialUpdate();
        view->show();
        Paint();
    }
    // Runs the paint routine now, whether or not the platform has exposed the window.
    void Paint() { view->grab(); }
    void TearDown() override {
        view.reset();
        driver.reset();
    }
    QString Text(int id) {
        auto* edit = qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), id));
        return edit ? edit->text() : QString("<none>");
    }
    int Check(int id) {
        auto* check = qobject_cast<CCheckImageButton*>(FindByCtrlId(view.get(), id));
        return check ? check->m_nCheck : -1;
    }
    void Hand(station::ReadingKind kind, double dbm = 0.0) {
        station::Reading r;
        r.kind = kind;
        r.power_dbm = dbm;
        view->OnReading(r);
    }

    CVelquorDoc doc;
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<CVelquorView> view;
    ScriptedPrompt* prompt = nullptr;
};

SimDeviceConfig Meter(MeterModelConfig m = {}) {
    m.frameIntervalMs = 50;
    return CSimDriver::DefaultMeter(m);
}

TEST_F(ViewTest, StartsWithoutAUnitShowingPlaceholders) {
    Start({});
    EXPECT_FALSE(view->Unit().m_bConnected);
    EXPECT_TRUE(prompt->messages.empty());
    EXPECT_EQ(doc.GetTitle(), "DPW");
    EXPECT_EQ(Text(106), "XXXX");
    EXPECT_EQ(Text(107), "X.X");
    EXPECT_EQ(Text(108), "1.0");
    EXPECT_EQ(Text(210), "0");
    EXPECT_EQ(Text(101), "XXXXXX");
    EXPECT_EQ(Text(102), "XX-XX-XXXX");
    EXPECT_EQ(Check(110), kUnchecked);
    EXPECT_EQ(Check(111), kUnchecked);
    // Every control of the view carries its id.
    for (int id : {101, 102, 103, 104, 105, 106, 107, 108, 109, 110,
                   111, 206, 207, 208, 209, 210, 211, 212, 214, 215})
        EXPECT_NE(FindByCtrlId(view.get(), id), nullptr) << id;
    // The setup edits are 50 pixels wide whatever their text.
    EXPECT_EQ(FindByCtrlId(view.get(), 106)->width(), 50);
    EXPECT_EQ(FindByCtrlId(view.get(), 107)->geometry().topLeft(), QPoint(12, 242));
}

TEST_F(ViewTest, ConnectsToTheSimulatedMeterAtStartUp) {
    MeterModelConfig m;
    m.record = {0x12, 0x85, 0x2A, 22, 0x01, 10, 25, 0, 0};
    Start({Meter(m)});
    EXPECT_TRUE(view->Unit().m_bConnected);
    EXPECT_EQ(Text(106), "1710");
    EXPECT_EQ(Text(107), "2.2");
    EXPECT_EQ(Check(110), kChecked);
    EXPECT_EQ(Check(111), kUnchecked);
    EXPECT_EQ(Text(101), "OV227700");
    EXPECT_EQ(Text(102), "MAY-18-2015");
    EXPECT_EQ(Text(103), "700-2700");
    EXPECT_EQ(Text(105), "1.10");
}

TEST_F(ViewTest, EveryReadingIsHandledAndALinkLostDisconnectsUntilTheMeterIsBack) {
    Start({Meter()});
    ASSERT_TRUE(view->Unit().m_bConnected);
    const long before = view->FramesHandled();
    Hand(station::ReadingKind::Measurement, -10.0);
    Hand(station::ReadingKind::Measurement, -10.5);
    EXPECT_EQ(view->FramesHandled(), before + 2);
    EXPECT_EQ(view->Meter().powerDbm.load(), -10.5);
    Hand(station::ReadingKind::LinkLost);
    EXPECT_FALSE(view->Unit().m_bConnected);
    EXPECT_FALSE(view->Meter().alive.load());
    // Readings cause repaints.
    const long repaints = view->Repaints();
    Hand(station::ReadingKind::Measurement, -11.0);
    EXPECT_TRUE(PumpUntil([&] { return view->Repaints() > repaints; }, 2000));
    // The station says when the same meter is back; its identity shows again.
    Hand(station::ReadingKind::Reconnected);
    EXPECT_TRUE(view->Unit().m_bConnected);
    Paint();
    EXPECT_EQ(Text(101), "OV227700");
}

TEST_F(ViewTest, UnpluggedMeterIsShownDisconnectedAboutASecondLater) {
    Start({Meter()});
    ASSERT_TRUE(view->Unit().m_bConnected);
    driver->Unplug();
    EXPECT_TRUE(PumpUntil([&] { return !view->Unit().m_bConnected; }, 3000));
    Paint();
    EXPECT_EQ(Text(101), "XXXXXX");
    EXPECT_EQ(Text(106), "XXXX");
    EXPECT_EQ(Check(110), kUnchecked);
}

TEST_F(ViewTest, ReadingsReachThePanelState) {
    MeterModelConfig m;
    m.fixedPowerTenths = 200;
    m.fixedTemperature = 60;  // 25.0 C
    Start({Meter(m)});
    ASSERT_TRUE(PumpUntil([&] { return view->Meter().powerDbm.load() == 20.0; }, 2000));
    Paint();
    EXPECT_DOUBLE_EQ(view->Display().m_dShownPower, 20.0);
    EXPECT_DOUBLE_EQ(view->Display().m_dShownTemp, 25.0);
}

TEST_F(ViewTest, SetupUnitWritesThroughTheSequence) {
    Start({Meter()});
    auto* frequency = qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 106));
    frequency->setText("2000");
    view->OnSetupUnit();
    ASSERT_FALSE(prompt->messages.empty());
    EXPECT_EQ(prompt->messages.back().text, "This unit has been set successfully!");
    EXPECT_EQ(driver->MeterRecord()[6], (2000 - 700) / 40);
}

TEST_F(ViewTest, SequencesRunBehindTheBusyIndication) {
    Start({}, false);
    driver->SetDevices({Meter()});
    view->OnConnectUnits();
    EXPECT_FALSE(view->Busy());
    EXPECT_TRUE(view->Unit().m_bConnected);
    EXPECT_EQ(Text(106), "1700");
    // Messages from the helper thread reach the prompt.
    driver->SetFailCount(true);
    view->OnConnectUnits();
    ASSERT_EQ(prompt->messages.size(), 1u);
    EXPECT_EQ(prompt->messages[0].text,
              "USB unit(s) is not connected correctly. Please reconnect it.");
    EXPECT_FALSE(view->Unit().m_bConnected);
}

TEST_F(ViewTest, SnapshotCoversTheLowerRightRegion) {
    Start({Meter()});
    Paint();
    ASSERT_TRUE(doc.m_pSnapshot);
    EXPECT_EQ(doc.m_pSnapshot->size(), QSize(760 - 225, 450 - 185));
    // The trace graph (white plot with black grid) is part of it.
    const QImage& graph = view->TraceImage();
    ASSERT_FALSE(graph.isNull());
    EXPECT_EQ(doc.m_pSnapshot->pixel(234 - 225 + 100, 187 - 185 + 100), graph.pixel(100, 100));
    view->resize(200, 150);
    Paint();
    ASSERT_TRUE(doc.m_pSnapshot);
    EXPECT_TRUE(doc.m_pSnapshot->isNull());
}

TEST_F(ViewTest, TraceRecordsTheShownPowerOncePerTick) {
    MeterModelConfig m;
    m.fixedPowerTenths = 123;
    Start({Meter(m)});
    ASSERT_TRUE(PumpUntil([&] { return view->Meter().powerDbm.load() == 12.3; }, 2000));
    Paint();
    qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 210))->setText("2");
    view->OnPlay();
    EXPECT_TRUE(view->TraceTimerActive());
    for (int i = 0; i < 3; ++i)
        view->OnTraceTimer();
    EXPECT_FALSE(view->TraceTimerActive());
    ASSERT_EQ(view->Trace().RecordedSamples().size(), 3u);
    EXPECT_DOUBLE_EQ(view->Trace().RecordedSamples()[2], 12.3);
    view->OnPlay();
    qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 210))->setText("abc");
    view->OnStop();
    view->OnPlay();
    EXPECT_EQ(prompt->messages.back().text,
              "Set Period (Second): \"abc\" is not a number! Enter more than 0, up to 3600 "
              "seconds.");
}

// A frame carrying an impossible power (frames have no checksum) is counted as
// invalid and leaves the trace on the last reading taken, as the log does.
TEST_F(ViewTest, AnImpossiblePowerIsNotTraced) {
    MeterModelConfig m;
    m.fixedPowerTenths = 123;
    Start({Meter(m)});
    ASSERT_TRUE(PumpUntil([&] { return view->Measure().Pipeline().HasReading(); }, 2000));
    Paint();
    qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 210))->setText("2");
    view->OnPlay();
    Hand(station::ReadingKind::Measurement, 3082.6);
    view->OnTraceTimer();
    view->OnTraceTimer();
    ASSERT_EQ(view->Trace().RecordedSamples().size(), 2u);
    for (double sample : view->Trace().RecordedSamples())
        EXPECT_DOUBLE_EQ(sample, 12.3);
    EXPECT_EQ(view->Measure().Pipeline().Statistics().invalid, 1);
}

// With the measurement math on, the trace records the corrected power at every
// tick, also when no repaint comes between two ticks.
TEST_F(ViewTest, TraceRecordsTheCorrectedPowerWithoutRepaints) {
    MeterModelConfig m;
    m.fixedPowerTenths = 123;
    Start({Meter(m)});
    std::string error;
    ASSERT_TRUE(view->Measure().SetOffsetText("2.5", error)) << error;
    ASSERT_TRUE(PumpUntil([&] { return view->Measure().Pipeline().HasReading(); }, 2000));
    Paint();
    qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 210))->setText("2");
    view->OnPlay();
    for (int i = 0; i < 3; ++i)
        view->OnTraceTimer();
    ASSERT_EQ(view->Trace().RecordedSamples().size(), 3u);
    for (double sample : view->Trace().RecordedSamples())
        EXPECT_DOUBLE_EQ(sample, 14.8);
}

// A unit whose identity cannot be read (as a device node given by path) shows an
// unknown serial number: no built-in default, and not the panel's placeholder
// after a reconnect.
TEST_F(ViewTest, AnUnreadSerialNumberIsShownAsUnknown) {
    SimDeviceConfig d = Meter();
    d.failEeprom = true;
    Start({d});
    ASSERT_TRUE(view->Unit().m_bConnected);
    EXPECT_EQ(Text(101), "unknown");
    EXPECT_EQ(view->Unit().m_strSerialNumber, "");
    view->Unit().m_bConnected = false;
    Paint();
    EXPECT_EQ(Text(101), "XXXXXX");
    view->OnConnectUnits();
    Paint();
    ASSERT_TRUE(view->Unit().m_bConnected);
    EXPECT_EQ(Text(101), "unknown");
    EXPECT_EQ(view->Unit().m_strSerialNumber, "");
}

TEST(ViewOpenFailure, AMeterOpenElsewhereIsReportedAsBusy) {
    testing::Pty pty;
    CSerialDriver elsewhere;
    FT_HANDLE held = nullptr;
    ASSERT_EQ(elsewhere.FT_OpenEx(pty.SlavePath().c_str(), FT_OPEN_BY_SERIAL_NUMBER, &held), FT_OK);

    CSerialDriver driver;
    CVelquorDoc doc;
    CVelquorView view(driver, &doc, nullptr, FastTimings());
    auto owned = std::make_unique<ScriptedPrompt>();
    ScriptedPrompt* prompt = owned.get();
    view.SetPrompt(std::move(owned));
    view.SetSequenceClock(std::make_unique<SteppingClock>(600));
    view.SetRunSequencesInline(true);
    view.SetPort(pty.SlavePath());
    view.SetOpenFailureReason([&driver] { return driver.LastError(); });
    view.OnInitialUpdate();
    EXPECT_FALSE(view.Unit().m_bConnected);
    ASSERT_EQ(prompt->messages.size(), 1u);
    EXPECT_EQ(prompt->messages[0].text, "The meter cannot be opened: " + pty.SlavePath() +
                                            ": device busy.\nIt is in use by another window or "
                                            "program.");
    // Once the other holder lets go, the port opens; nothing answers on it, which is
    // another message.
    elsewhere.FT_Close(held);
    view.OnConnectUnits();
    ASSERT_EQ(prompt->messages.size(), 2u);
    EXPECT_EQ(prompt->messages[1].text, kMsgReadFailed);
}

TEST_F(ViewTest, ClosingDuringAReconnectWaitIsPrompt) {
    MeterModelConfig m;
    m.silenceAfterS = 0.3;
    Start({Meter(m)});
    view->SetReconnect(true);
    ASSERT_TRUE(PumpUntil([&] { return view->WaitingForMeter(); }, 10000));
    EXPECT_TRUE(view->StatusNote().startsWith("Meter lost ")) << view->StatusNote().toStdString();
    QElapsedTimer timer;
    timer.start();
    view.reset();
    EXPECT_LT(timer.elapsed(), 1000);
}

TEST_F(ViewTest, ClosingWhileConnectedAndRecordingIsPrompt) {
    Start({Meter()});
    view->OnPlay();
    QElapsedTimer timer;
    timer.start();
    view.reset();
    EXPECT_LT(timer.elapsed(), 1500);
}

TEST_F(ViewTest, WithoutAMeterTheStatusBarSaysWhatToCheck) {
    Start({});
    EXPECT_TRUE(view->StatusNote().startsWith("No meter found: check the cable and the udev rule"))
        << view->StatusNote().toStdString();
    EXPECT_TRUE(view->StatusNote().contains("--simulate"));
    // Pressing Connect Units again visibly looks again.
    view->OnConnectUnits();
    EXPECT_TRUE(view->StatusNote().startsWith("No meter found (2 tries): "))
        << view->StatusNote().toStdString();
    EXPECT_TRUE(prompt->messages.empty());
}

TEST(OpenFailure, TheMessageSaysWhatToDoAboutIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "The meter cannot be opened."},
        {"/dev/ttyUSB0: device busy",
         "The meter cannot be opened: /dev/ttyUSB0: device busy.\nIt is in use by another "
         "window or program."},
        {"/dev/ttyUSB0: Permission denied",
         "The meter cannot be opened: /dev/ttyUSB0: Permission denied.\nInstall the meter's "
         "udev rule, or join the dialout group (see the README)."},
    };
    for (const auto& [reason, message] : cases)
        EXPECT_EQ(OpenFailureMessage(reason), message);
}

TEST_F(ViewTest, IconButtonsSayWhatTheyDoAndShowTheKeyboardFocus) {
    Start({Meter()});
    const std::pair<int, const char*> buttons[] = {{kIdConnectUnits, "Connect Units"},
                                                   {kIdSetupUnit, "Setup Unit"},
                                                   {kIdSaveData, "Save Measurement Data"},
                                                   {kIdPlay, "Play"},
                                                   {kIdStop, "Stop"},
                                                   {kIdPause, "Pause"}};
    for (const auto& [id, name] : buttons) {
        auto* button = qobject_cast<CImageTextButton*>(FindByCtrlId(view.get(), id));
        ASSERT_NE(button, nullptr) << name;
        EXPECT_EQ(button->toolTip(), name);
        EXPECT_EQ(button->accessibleName(), name);
    }

    // Tab goes only to controls one can see, and a button it reaches shows it.
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    std::set<int> reached;
    for (int i = 0; i < 30; ++i) {
        QWidget* from = QApplication::focusWidget() ? QApplication::focusWidget() : view.get();
        QTest::keyClick(from, Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        const int id = GetCtrlId(focus);
        EXPECT_TRUE(focus->isVisible() && !focus->size().isEmpty() &&
                    view->rect().contains(focus->geometry()))
            << "focus on control " << id;
        reached.insert(id);
        if (auto* button = qobject_cast<CImageTextButton*>(focus)) {
            EXPECT_TRUE(button->FocusFrameShown()) << id;
            const QImage framed = button->grab().toImage();
            button->clearFocus();
            EXPECT_NE(button->grab().toImage(), framed) << id;
            button->setFocus(Qt::TabFocusReason);
        }
    }
    for (const auto& [id, name] : buttons)
        EXPECT_TRUE(reached.count(id)) << name << " is never reached with Tab";

    // A click gives the focus without the frame: the mouse user sees the window as ever.
    auto* stop = qobject_cast<CImageTextButton*>(FindByCtrlId(view.get(), kIdStop));
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_TRUE(stop->hasFocus());
    EXPECT_FALSE(stop->FocusFrameShown());
}

TEST(ViewFonts, SetupBoxesStayInTheirPanelWhateverTheSystemFont) {
    const QFont original = QApplication::font();
    for (int points = 8; points <= 20; ++points) {
        SCOPED_TRACE(points);
        QFont font = original;
        font.setPointSize(points);
        QApplication::setFont(font);
        CSimDriver driver(std::vector<SimDeviceConfig>{});
        CVelquorDoc doc;
        CVelquorView view(driver, &doc, nullptr, FastTimings());
        view.SetPrompt(std::make_unique<ScriptedPrompt>());
        view.SetRunSequencesInline(true);
        view.resize(760, 450);
        view.OnInitialUpdate();
        // The Unit Setup panel's frame: x 5 to 225, from its top + 10 to its top + 253.
        const QRect panel(QPoint(5, kUnitSetupPanelTop + 10),
                          QPoint(225, kUnitSetupPanelTop + 253));
        const int boxes[] = {106, 107, kIdEditSaveRate};
        const int buttons[] = {kIdSetupUnit, kIdSaveData, 110, 111};
        for (int id : boxes) {
            const QRect box = FindByCtrlId(&view, id)->geometry();
            EXPECT_TRUE(panel.adjusted(1, 1, -1, -1).contains(box))
                << "box " << id << " at " << box.x() << "," << box.y() << " " << box.width() << "x"
                << box.height();
            for (int other : buttons) {
                EXPECT_FALSE(box.intersects(FindByCtrlId(&view, other)->geometry()))
                    << "box " << id << " covers control " << other;
            }
        }
    }
    QApplication::setFont(original);
}

}  // namespace
}  // namespace velquor
