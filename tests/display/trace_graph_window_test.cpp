#include "ui/trace_graph_window.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QElapsedTimer>
#include <cstdio>

#include "display/rolling_record.h"
#include "display/trace_view_window.h"

#include "display/trace_recorder.h"
#include "ui/ctrl_id.h"

namespace velquor {
namespace {

QImage Grab(CTraceGraphWindow& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TEST(TraceGraphWindow, CarriesItsIdAndSize) {
    CTraceGraphWindow window;
    EXPECT_EQ(GetCtrlId(&window), 211);
    EXPECT_EQ(window.size(), QSize(510, 235));
}

TEST(TraceGraphWindow, PaintsTheSameDrawingWhenAsked) {
    CTraceGraphWindow window;
    CTraceRecorder rec;
    EXPECT_EQ(Grab(window),
              RenderTraceGraph(ComputeTraceGraphModel(rec, DefaultTraceGraphFonts())));

    rec.Play("20");
    for (int i = 0; i < 8; ++i)
        rec.Tick(5.0 * i);
    const TraceGraphModel model = ComputeTraceGraphModel(rec, DefaultTraceGraphFonts());
    window.ShowGraph(model);
    const QImage expected = RenderTraceGraph(model);
    EXPECT_EQ(window.Image(), expected);
    // A repaint requested by the system draws the last graph again.
    EXPECT_EQ(Grab(window), expected);
    EXPECT_EQ(Grab(window), expected);
}

TEST(TraceGraphWindow, ContextMenuOffersBothSavesWhenEnabled) {
    CTraceGraphWindow window;
    QSignalSpy csv(&window, &CTraceGraphWindow::saveCsvRequested);
    QSignalSpy png(&window, &CTraceGraphWindow::savePngRequested);

    auto menu = window.CreateContextMenu();
    const auto actions = menu->actions();
    // The saves first; the scale, the clock axis and the rolling record after a separator;
    // zoom and cursors after another.
    ASSERT_EQ(actions.size(), 9);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Save Trace as CSV..."));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Save Trace as PNG..."));
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3]->text(), QStringLiteral("Power Scale"));
    EXPECT_EQ(actions[4]->text(), QStringLiteral("Clock Time Axis (UTC)"));
    EXPECT_EQ(actions[5]->text(), QStringLiteral("Rolling Record (Last 24 Hours)"));
    EXPECT_EQ(actions[7]->text(), QStringLiteral("Zoom Out"));
    EXPECT_FALSE(actions[7]->isEnabled());  // nothing to zoom out of yet
    EXPECT_EQ(actions[8]->text(), QStringLiteral("Cursors"));
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_FALSE(actions[1]->isEnabled());

    window.SetExportEnabled(true);
    menu = window.CreateContextMenu();
    ASSERT_EQ(menu->actions().size(), 9);
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    EXPECT_EQ(csv.count(), 1);
    EXPECT_EQ(png.count(), 0);
    menu->actions()[1]->trigger();
    EXPECT_EQ(png.count(), 1);
    EXPECT_EQ(csv.count(), 1);
}

TEST(TraceGraphWindow, ScaleMenuChecksTheChoiceAndAsksForTheOthers) {
    CTraceGraphWindow window;
    TraceGraphOptions options;
    options.scale.mode = TraceScaleMode::kFitLimits;
    window.SetGraphOptions(options);
    QSignalSpy mode(&window, &CTraceGraphWindow::scaleModeRequested);
    QSignalSpy fixed(&window, &CTraceGraphWindow::fixedScaleRequested);
    const auto menu = window.CreateContextMenu();
    const auto scale = menu->actions()[3]->menu()->actions();
    ASSERT_EQ(scale.size(), 4);
    EXPECT_FALSE(scale[0]->isChecked());
    EXPECT_TRUE(scale[2]->isChecked());  // Fit Limits
    scale[1]->trigger();
    ASSERT_EQ(mode.count(), 1);
    EXPECT_EQ(mode[0][0].value<TraceScaleMode>(), TraceScaleMode::kNice);
    scale[3]->trigger();
    EXPECT_EQ(fixed.count(), 1);
}


TEST(TraceGraphWindow, MouseAndKeysAskForZoomAndMoveTheCursors) {
    CTraceGraphWindow window;
    window.show();
    QSignalSpy rect(&window, &CTraceGraphWindow::zoomRectRequested);
    QSignalSpy out(&window, &CTraceGraphWindow::zoomOutRequested);
    QSignalSpy moved(&window, &CTraceGraphWindow::cursorMoved);

    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(100, 20));
    QTest::mouseMove(&window, QPoint(180, 90));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(200, 100));
    ASSERT_EQ(rect.count(), 1);
    EXPECT_EQ(rect[0], (QList<QVariant>{100, 20, 200, 100}));

    // Escape does nothing on the whole view; once zoomed it zooms out.
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(out.count(), 0);
    window.SetZoomed(true);
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_EQ(out.count(), 1);

    // With cursors on, a press near one drags it (kept inside the plot) instead of zooming.
    window.SetCursors(true, 150, 300, QStringLiteral("A"));
    QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(302, 50));
    QTest::mouseMove(&window, QPoint(600, 50));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(600, 50));
    ASSERT_GE(moved.count(), 1);
    EXPECT_EQ(moved.last(), (QList<QVariant>{1, kTracePlotRight}));
    EXPECT_EQ(rect.count(), 1);

    const std::unique_ptr<QMenu> menu = window.CreateContextMenu();
    QAction* zoomOut = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("Zoom Out"))
            zoomOut = a;
    ASSERT_NE(zoomOut, nullptr);
    EXPECT_TRUE(zoomOut->isEnabled());
}

// How long one zoomed frame of a full day's rolling record takes: the columns from the
// summaries, the model and the off-screen drawing.
TEST(TraceGraphWindow, ZoomedDayOfRollingRecordDrawsWithinAFrame) {
    constexpr std::int64_t kStart = 1765198800000;
    constexpr std::int64_t kDay = 24LL * 3600 * 1000;
    RollingRecord record(kDay);
    for (std::int64_t t = 0; t < kDay; t += 5)  // 200 readings a second
        record.Add(kStart + t, -20.0 + double(t % 7000) / 1000.0);
    const TraceDataExtent data{double(kStart), double(kStart + kDay), 1000.0};
    TraceViewWindow view{data.t0, data.t1, -25.0, -10.0};
    QElapsedTimer clock;
    clock.start();
    int frames = 0;
    TraceGraphModel model;
    for (; frames < 20; ++frames) {
        view = ZoomTraceWheel(view, 200, 1, data);
        TraceGraphOptions options;
        options.scale = TraceScaleChoice{TraceScaleMode::kFixed, view.p0, view.p1};
        const auto t0 = static_cast<std::int64_t>(view.t0), t1 = static_cast<std::int64_t>(view.t1);
        model = ComputeRollingGraph(record.Columns(t0, t1, kTracePlotRight - kTracePlotLeft), t0, t1,
                                    options, {});
        RenderTraceGraph(model);
        record.StatsBetween(t0, t1);
    }
    const double msPerFrame = double(clock.nsecsElapsed()) / 1e6 / frames;
    std::printf("zoomed rolling frame: %.2f ms (%zu readings)\n", msPerFrame, record.Size());
    EXPECT_EQ(model.envelope.size(), std::size_t(kTracePlotRight - kTracePlotLeft));
}

}  // namespace
}  // namespace velquor
