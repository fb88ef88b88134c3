#include "ui/trace_graph_window.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QMenu>
#include <QSignalSpy>

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
    // The saves first; the scale, the clock axis and the rolling record after a separator.
    ASSERT_EQ(actions.size(), 6);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("Save Trace as CSV..."));
    EXPECT_EQ(actions[1]->text(), QStringLiteral("Save Trace as PNG..."));
    EXPECT_TRUE(actions[2]->isSeparator());
    EXPECT_EQ(actions[3]->text(), QStringLiteral("Power Scale"));
    EXPECT_EQ(actions[4]->text(), QStringLiteral("Clock Time Axis (UTC)"));
    EXPECT_EQ(actions[5]->text(), QStringLiteral("Rolling Record (Last 24 Hours)"));
    EXPECT_FALSE(actions[0]->isEnabled());
    EXPECT_FALSE(actions[1]->isEnabled());

    window.SetExportEnabled(true);
    menu = window.CreateContextMenu();
    ASSERT_EQ(menu->actions().size(), 6);
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

}  // namespace
}  // namespace velquor
