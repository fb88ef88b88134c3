// The main view rendered whole, with the simulated meter at fixed readings:
// what the panels show, where the controls are, and the colours fixed for them.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <memory>

#include "common/scripted_prompt.h"
#include "common/stepping_clock.h"
#include "display/measurement_panel_layout.h"
#include "display/panel_style.h"
#include "link/sim_driver.h"
#include "ui/cd_slider_ctrl_diamond.h"
#include "ui/check_image_button.h"
#include "ui/ctrl_id.h"
#include "ui/image_text_button.h"
#include "ui/resources.h"
#include "ui/trace_graph_window.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {
namespace {

using testing_support::ScriptedPrompt;

class ViewRender : public ::testing::Test {
protected:
    void Start(MeterModelConfig meter, bool withMeter = true) {
        meter.frameIntervalMs = 20;
        std::vector<SimDeviceConfig> devices;
        if (withMeter)
            devices.push_back(CSimDriver::DefaultMeter(meter));
        driver = std::make_unique<CSimDriver>(std::move(devices));
        LinkTimings t;
        t.identity_pause_ms = 1;
        view = std::make_unique<CVelquorView>(*driver, &doc, nullptr, t);
        view->SetPrompt(std::make_unique<ScriptedPrompt>());
        view->SetSequenceClock(std::make_unique<testing_support::SteppingClock>());
        view->SetRunSequencesInline(true);
        view->resize(760, 450);
        view->OnInitialUpdate();
        view->show();
        if (withMeter)
            WaitForReading();
    }
    void WaitForReading() {
        QElapsedTimer timer;
        timer.start();
        while (view->FramesHandled() == 0 && timer.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QImage Render() {
        QImage image(view->size(), QImage::Format_RGB32);
        view->render(&image);
        return image;
    }
    // Left edge of the alarm strip: it starts right after the title.
    int StripX() {
        const PanelFonts fonts = MakePanelFonts();
        const int w = MeasurePanelText(fonts.title, std::string("Measurement Data")).cx;
        return LayoutMeasurementPanel(kMeasurementPanelX0, w).strip.x;
    }
    void TearDown() override {
        view.reset();
        driver.reset();
    }

    CVelquorDoc doc;
    std::unique_ptr<CSimDriver> driver;
    std::unique_ptr<CVelquorView> view;
};

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kBatteryFill = 0xFF6464C8;

TEST_F(ViewRender, StripAlternatesRedAndYellowOnConsecutiveRepaints) {
    MeterModelConfig m;
    m.fixedPowerTenths = 460;
    m.fixedTemperature = 60;
    Start(m);
    ASSERT_TRUE(view->Unit().m_bConnected);
    const int x = StripX() + 2;
    const QRgb first = Render().pixel(x, 30);
    const QRgb second = Render().pixel(x, 30);
    const QRgb third = Render().pixel(x, 30);
    // Which colour comes first depends on how many repaints the readings caused before.
    EXPECT_TRUE((first == kRed && second == kYellow) || (first == kYellow && second == kRed))
        << first << " " << second;
    EXPECT_EQ(third, first);
}

TEST_F(ViewRender, AChildRepaintingAloneDoesNotRunTheBlink) {
    MeterModelConfig m;
    m.fixedPowerTenths = 460;
    Start(m);
    // Silence the meter so no frame repaints the view meanwhile (the link is
    // declared lost only a second later), and let pending repaints finish.
    driver->Unplug();
    view->update();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const bool blink = view->Display().m_bAlarmBlink;
    const long repaints = view->Repaints();
    // A blinking text cursor repaints its edit only.
    for (int id : {106, 107, 108, 210, 207, 206}) {
        FindByCtrlId(view.get(), id)->update();
        QCoreApplication::processEvents();
        EXPECT_EQ(view->Repaints(), repaints) << id;
    }
    EXPECT_EQ(view->Repaints(), repaints);
    EXPECT_EQ(view->Display().m_bAlarmBlink, blink);
}

TEST_F(ViewRender, NoStripWithinTheLimitsOrWhileDisconnected) {
    MeterModelConfig m;
    m.fixedPowerTenths = 450;  // 45.0: not over (strict)
    m.fixedTemperature = 76;   // 45.0 C
    Start(m);
    EXPECT_EQ(Render().pixel(StripX() + 2, 30), 0xFFFFFFFFu);
}

TEST_F(ViewRender, BatteryGaugeFillFollowsTheReading) {
    struct Case {
        std::uint8_t raw;  // reading / 4
        int filledFromX;   // first filled pixel in the view
    };
    // Gauge bitmap at (586, 21); the fill runs from 69 + bar to 141 inside it.
    for (const Case c : {Case{155, 586 + 69 + 36}, Case{166, 586 + 69}}) {
        TearDown();
        MeterModelConfig m;
        m.fixedBattery = c.raw;
        Start(m);
        const QImage image = Render();
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(image.pixel(c.filledFromX, 29), kBatteryFill);
        EXPECT_EQ(image.pixel(586 + 140, 29), kBatteryFill);
        EXPECT_NE(image.pixel(c.filledFromX - 1, 29), kBatteryFill);
    }
}

TEST_F(ViewRender, EmptyBatteryBlinksWhileConnected) {
    MeterModelConfig m;
    m.fixedBattery = 144;  // 576: empty
    Start(m);
    // A pixel the artwork draws (not white): the gauge alternates with plain white.
    const QImage art = LoadBitmapImage(kBmpBattery);
    QPoint ink(-1, -1);
    for (int y = 0; y < art.height() && ink.x() < 0; ++y)
        for (int x = 0; x < art.width() && ink.x() < 0; ++x)
            if (art.pixel(x, y) != 0xFFFFFFFFu)
                ink = QPoint(x, y);
    ASSERT_GE(ink.x(), 0);
    const QRgb a = Render().pixel(586 + ink.x(), 21 + ink.y());
    const QRgb b = Render().pixel(586 + ink.x(), 21 + ink.y());
    const QRgb c = Render().pixel(586 + ink.x(), 21 + ink.y());
    EXPECT_NE(a, b);
    EXPECT_EQ(a, c);
    EXPECT_TRUE(a == 0xFFFFFFFFu || b == 0xFFFFFFFFu);
}

TEST_F(ViewRender, ControlsSitWhereTheLayoutPutsThem) {
    Start({}, false);
    Render();
    struct Expected {
        int id;
        QRect rect;
    };
    for (const Expected& e :
         {Expected{107, QRect(12, 242, 50, 0)}, Expected{110, QRect(15, 329, 100, 20)},
          Expected{111, QRect(15, 351, 100, 20)}, Expected{109, QRect(191, 339, 32, 32)},
          Expected{214, QRect(191, 387, 32, 32)}, Expected{212, QRect(191, 126, 32, 32)},
          Expected{211, QRect(234, 187, 510, 235)}}) {
        QWidget* w = FindByCtrlId(view.get(), e.id);
        ASSERT_NE(w, nullptr) << e.id;
        EXPECT_EQ(w->pos(), e.rect.topLeft()) << e.id;
        if (e.rect.height() > 0) {
            EXPECT_EQ(w->size(), e.rect.size()) << e.id;
        }
        EXPECT_TRUE(w->isVisible()) << e.id;
    }
    EXPECT_EQ(FindByCtrlId(view.get(), 106)->pos().y(), 200);
    EXPECT_EQ(FindByCtrlId(view.get(), 108)->pos().y(), 378);
    EXPECT_TRUE(qobject_cast<CImageTextButton*>(FindByCtrlId(view.get(), 207)));
    EXPECT_TRUE(qobject_cast<CCheckImageButton*>(FindByCtrlId(view.get(), 110)));
    EXPECT_TRUE(qobject_cast<CCDSliderCtrlDiamond*>(FindByCtrlId(view.get(), 206)));
    EXPECT_TRUE(qobject_cast<CTraceGraphWindow*>(FindByCtrlId(view.get(), 211)));
    EXPECT_TRUE(qobject_cast<QHeaderView*>(FindByCtrlId(view.get(), 215)));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 101)));
    const QSize slider = FindByCtrlId(view.get(), 206)->size();
    EXPECT_EQ(slider, QSize(100, 24));
}

TEST_F(ViewRender, DeviceStringsStayPlainText) {
    MeterModelConfig m;
    // USB string descriptors hold at most 126 characters.
    m.serial = "<b>bold</b>&amp;" + std::string(110, 'S');
    m.manufacturer = "<img src=x>Dunmarsh " + std::string(300, 'M');
    Start(m);
    ASSERT_TRUE(view->Unit().m_bConnected);
    Render();
    auto* serial = qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 101));
    // The identity buffer holds 63 characters; the edit shows exactly those.
    EXPECT_EQ(serial->text().toStdString(), m.serial.substr(0, 63));
    EXPECT_EQ(view->Unit().m_strSerialNumber, m.serial.substr(0, 63));
}

TEST_F(ViewRender, LinkLostShowsPlaceholdersAndTheRedStatus) {
    Start({});
    ASSERT_TRUE(view->Unit().m_bConnected);
    const QImage connected = Render();
    driver->Unplug();
    QElapsedTimer timer;
    timer.start();
    while (view->Unit().m_bConnected && timer.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_FALSE(view->Unit().m_bConnected);
    const QImage lost = Render();
    // Status text near (10, 35): green when connected, red when not.
    auto hasColour = [](const QImage& img, QRgb colour) {
        for (int y = 35; y < 52; ++y)
            for (int x = 10; x < 150; ++x)
                if (img.pixel(x, y) == colour)
                    return true;
        return false;
    };
    EXPECT_TRUE(hasColour(connected, qRgb(16, 128, 16)));
    EXPECT_FALSE(hasColour(connected, qRgb(128, 16, 16)));
    EXPECT_TRUE(hasColour(lost, qRgb(128, 16, 16)));
    EXPECT_EQ(qobject_cast<QLineEdit*>(FindByCtrlId(view.get(), 104))->text(), "X.X");
    EXPECT_EQ(qobject_cast<CCheckImageButton*>(FindByCtrlId(view.get(), 110))->m_nCheck,
              kUnchecked);
}

}  // namespace
}  // namespace velquor
