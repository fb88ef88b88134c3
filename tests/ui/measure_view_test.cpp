// The measurement math in the main view: relative mode and a failed limit show in the
// readouts, nothing else of the view changes, and with everything off the view is
// drawn exactly as without it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "common/log_to.h"
#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "common/temp_dir.h"
#include "display/measurement_panel_layout.h"
#include "link/sim_driver.h"
#include "ui/ctrl_id.h"
#include "ui/measure_controller.h"
#include "ui/resources.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;

constexpr int kDbmX = kMeasurementPanelX0;
constexpr int kWattX = kMeasurementPanelX0 + 172;
constexpr int kSensorY = 42;

template <typename Pred>
bool PumpUntil(Pred pred, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!pred() && timer.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

bool IsRed(QRgb c) {
    return qRed(c) > 180 && qGreen(c) < 90 && qBlue(c) < 90;
}

int RedPixels(const QImage& image, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += IsRed(image.pixel(x, y));
    return n;
}

bool SameOutside(const QImage& a, const QImage& b, const std::vector<QRect>& except) {
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QPoint p(x, y);
            if (std::any_of(except.begin(), except.end(),
                            [p](const QRect& r) { return r.contains(p); }))
                continue;
            if (a.pixel(p) != b.pixel(p))
                return false;
        }
    return true;
}

using testing_support::LogTo;

// Rows every 20 ms whatever the save rate, so a test need not wait for seconds.
class QuickLogClock : public ILogClock {
public:
    LogTimeStamp LocalNow() override { return {9, 5, 3, 3, 7, 2008}; }
    void Sleep(std::chrono::milliseconds, const std::function<bool()>& interrupted) override {
        for (int i = 0; i < 4 && !interrupted(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    void Wake() override {}
};

std::vector<std::string> LinesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

class MeasureView : public ::testing::Test {
protected:
    void SetUp() override {
        MeterModelConfig m;
        m.frameIntervalMs = 20;
        m.fixedPowerTenths = 200;  // 20.0 dBm
        m.fixedTemperature = 60;   // 25.0 C
        m.fixedBattery = 160;
        driver =
            std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{CSimDriver::DefaultMeter(m)});
        LinkTimings t;
        t.identity_pause_ms = 1;
        view = std::make_unique<CVelquorView>(*driver, &doc, nullptr, t);
        auto p = std::make_unique<ScriptedPrompt>();
        prompt = p.get();
        view->SetPrompt(std::move(p));
        view->SetLogUi(std::make_unique<LogTo>(logFile));
        view->SetLogClock(&logClock);
        view->SetSequenceClock(std::make_unique<testing_support::SteppingClock>(600));
        view->SetRunSequencesInline(true);
        view->resize(760, 450);
        view->OnInitialUpdate();
        view->show();
        ASSERT_TRUE(PumpUntil([&] { return view->Measure().Pipeline().HasReading(); }, 3000));
    }
    void TearDown() override {
        view.reset();
        driver.reset();
    }
    QImage Render() {
        QImage image(view->size(), QImage::Format_RGB32);
        view->render(&image);
        return image;
    }
    QImage Sensor(const QImage& view, int x) { return view.copy(x, kSensorY, 171, 97); }

    testing::TempDir dir;
    std::string logFile = dir.File("log.txt");
    QuickLogClock logClock;
    CVelquorDoc doc;
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<CVelquorView> view;
    ScriptedPrompt* prompt = nullptr;
};

// The window's log holds the power the screen shows, and names what the
// measurement math applied to it ahead of the rows, again where that changes.
TEST_F(MeasureView, TheLogHoldsWhatTheScreenShowsAndNamesIt) {
    CMeasureController& measure = view->Measure();
    std::string error;
    ASSERT_TRUE(measure.SetOffsetText("2.5", error)) << error;
    ASSERT_TRUE(measure.SetAverageCountText("4", error)) << error;
    ASSERT_TRUE(measure.SetReferenceText("10", error)) << error;
    ASSERT_TRUE(PumpUntil([&] { return measure.Pipeline().Last().settled; }, 3000));
    view->grab();
    EXPECT_DOUBLE_EQ(view->Display().m_dShownPower, 22.5);

    view->OnSaveMeasurementData();
    ASSERT_TRUE(view->Logging());
    const auto rows = [&] {
        const auto lines = LinesOf(logFile);
        return std::count_if(lines.begin(), lines.end(),
                             [](const std::string& l) { return !l.empty() && isdigit(l[0]); });
    };
    ASSERT_TRUE(PumpUntil([&] { return rows() >= 2; }, 5000));
    ASSERT_TRUE(measure.SetOffsetText("0", error)) << error;
    const long before = rows();
    ASSERT_TRUE(PumpUntil([&] { return rows() >= before + 2; }, 5000));
    view->OnStopSaving();
    ASSERT_TRUE(PumpUntil([&] { return !view->Logging(); }, 5000));

    const std::vector<std::string> lines = LinesOf(logFile);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[0], "Orvane Virid Irivi RA-Serial Number OV227700\r");
    EXPECT_EQ(lines[1], "# OFS +2.5 dB: offset_db=2.5 is added to every power below\r");
    EXPECT_EQ(lines[2].rfind("# AVG 4: ", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("# REL 10.00 dBm: ", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4], "#,dBm,Watt,Temp(F/C),Time    ,Date,\r");
    // 22.5 dBm is 0.178 W on screen, 0.18 W in the file's two decimals.
    std::size_t i = 5;
    int index = 0;
    for (; i < lines.size() && lines[i][0] != '#'; ++i, ++index)
        EXPECT_EQ(lines[i], std::to_string(index) + ",22.50,0.18,77.0/25.0,09:05:03,03/07/2008,\r");
    ASSERT_GE(index, 2);
    // No offset from here on: the notes again, without OFS, then the new powers.
    ASSERT_LT(i + 2, lines.size());
    EXPECT_EQ(lines[i].rfind("# AVG 4: ", 0), 0u) << lines[i];
    EXPECT_EQ(lines[i + 1].rfind("# REL 10.00 dBm: ", 0), 0u) << lines[i + 1];
    for (i += 2; i < lines.size(); ++i, ++index)
        EXPECT_EQ(lines[i], std::to_string(index) + ",20.00,0.10,77.0/25.0,09:05:03,03/07/2008,\r");
}

TEST_F(MeasureView, RelativeAndAFailedLimitShowInTheReadoutsAlone) {
    const QImage plain = Render();
    // Off, the sensor picture's caption and lamps are the artwork's own pixels.
    const QImage art = LoadBitmapImage(kBmpSensorDbm).convertToFormat(QImage::Format_RGB32);
    const QImage sensor = Sensor(plain, kDbmX);
    EXPECT_EQ(sensor.copy(0, 0, 171, 27), art.copy(0, 0, 171, 27));
    EXPECT_EQ(sensor.copy(0, 66, 171, 31), art.copy(0, 66, 171, 31));
    EXPECT_EQ(RedPixels(plain, QRect(kDbmX, kSensorY, 171 * 2, 97)), 0);

    CMeasureController& measure = view->Measure();
    std::string error;
    ASSERT_TRUE(measure.SetRelative(true, error)) << error;  // 20.0 dBm becomes 0 dB
    ASSERT_TRUE(measure.SetLimitsText({true, "15", false, ""}, error)) << error;
    EXPECT_EQ(measure.Pipeline().OutputText(), "+0.00 dB");
    const QImage marked = Render();

    // Red numbers in both readouts, a red lamp, and a caption that is not the artwork's.
    const QImage dbm = Sensor(marked, kDbmX);
    EXPECT_GT(RedPixels(dbm, QRect(30, 27, 110, 38)), 40);
    EXPECT_GT(RedPixels(Sensor(marked, kWattX), QRect(30, 27, 110, 38)), 40);
    EXPECT_GT(RedPixels(dbm, QRect(95, 73, 15, 15)), 5);
    EXPECT_NE(dbm.copy(0, 0, 171, 27), art.copy(0, 0, 171, 27));
    const std::vector<QRect> readouts = {QRect(kDbmX, kSensorY, 171, 97),
                                         QRect(kWattX, kSensorY, 171, 97)};
    EXPECT_TRUE(SameOutside(plain, marked, readouts));

    // Everything off again: the view as it was, pixel for pixel.
    ASSERT_TRUE(measure.SetRelative(false, error));
    ASSERT_TRUE(measure.SetLimitsText({false, "15", false, ""}, error));
    EXPECT_EQ(Render(), plain);
}

TEST_F(MeasureView, LossTableGivesTheLossTheSetupWrites) {
    testing::TempDir dir;
    std::ofstream(dir.File("cable.csv")) << "MHz, dB\n100, 0.5\n1000, 2.0\n2000, 3.5\n";
    std::string error;
    ASSERT_TRUE(view->Measure().LoadLossTable(QString::fromStdString(dir.File("cable.csv")), error))
        << error;
    auto* frequency = qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 106));
    auto* loss = qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 107));

    frequency->setText("1500");  // 2.75 dB, stored as 2.7 (an exact half rounds down)
    view->OnSetupUnit();
    ASSERT_FALSE(prompt->messages.empty());
    EXPECT_EQ(prompt->messages.back().text, "This unit has been set successfully!");
    EXPECT_EQ(loss->text(), "2.7");
    EXPECT_EQ(driver->MeterRecord()[3], 27);

    frequency->setText("2500");
    view->OnSetupUnit();
    EXPECT_EQ(prompt->messages.back().text,
              "Frequency 2500 MHz is above the loss table's last point, 2000 MHz (line 4)");
    EXPECT_EQ(driver->MeterRecord()[3], 27);  // nothing written
    EXPECT_EQ(loss->text(), "2.7");
}

}  // namespace
}  // namespace velquor
