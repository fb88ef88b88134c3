// The main view's trace: Play, Stop, Pause, the slider, the sampling timer and
// saving the recorded trace.
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

#include "display/trace_export.h"
#include "display/trace_graph_painter.h"
#include "display/trace_panel_layout.h"
#include "ui/cd_slider_ctrl_diamond.h"
#include "ui/measure_controller.h"
#include "ui/save_file_dialog.h"
#include "ui/trace_graph_window.h"
#include "ui/velquor_view.h"

namespace velquor {

void CVelquorView::ApplyTraceAction(const TraceViewAction& action) {
    if (!action.message.empty())
        m_prompt->ShowMessage(action.message, kAppTitle);
    if (action.timer == TraceTimerChange::kStart)
        m_traceTimer.start(kTraceTimerIntervalMs, this);
    else if (action.timer == TraceTimerChange::kStop)
        m_traceTimer.stop();
    if (action.sliderPosition)
        m_sliderTrace->SetPos(*action.sliderPosition);
    if (action.drawGraph)
        RedrawTraceGraph();
    if (action.showGraphWindow) {
        m_wndTraceArea->setGeometry(kTraceGraphWindowRect.x, kTraceGraphWindowRect.y,
                                    kTraceGraphWindowRect.width, kTraceGraphWindowRect.height);
        m_wndTraceArea->show();
    }
    if (action.invalidateView) {
        RedrawTraceGraph();
        update();
    }
    m_wndTraceArea->SetExportEnabled(!m_trace.RecordedSamples().empty());
}

void CVelquorView::RedrawTraceGraph() {
    // The limits are drawn as the Measure menu has them now.
    TraceGraphOptions options = m_trace.GraphOptions();
    options.limits = m_pMeasure->Settings().limits;
    m_trace.SetGraphOptions(options);
    m_wndTraceArea->SetGraphOptions(options);
    TraceGraphFonts fonts = DefaultTraceGraphFonts();
    fonts.label = m_fonts.label;
    m_wndTraceArea->SetRollingOn(m_rolling != nullptr);
    const TraceTextExtent clockTitle = MeasureTraceText(fonts.axisTitle, kTraceClockTitle);
    TraceGraphModel model;
    TraceViewWindow full;
    if (m_rolling) {
        // Up to now, so the graph moves on also while no reading comes; from the first
        // reading (at least a minute back) until the record spans its hours.
        const std::int64_t end = QDateTime::currentMSecsSinceEpoch() + 1;
        const std::int64_t first = m_rolling->Size() > 0 ? m_rolling->Oldest() : end;
        const std::int64_t begin =
            std::max(end - m_rolling->SpanMs(), std::min(first, end - 60 * 1000));
        m_traceData = TraceDataExtent{double(begin), double(end), 1000.0};
        std::int64_t t0 = begin, t1 = end;
        TraceGraphOptions drawn = options;
        if (m_traceZoom) {
            // Old readings go: the zoom stays on what is still held.
            *m_traceZoom = ClampTraceView(*m_traceZoom, m_traceData);
            t0 = std::llround(m_traceZoom->t0);
            t1 = std::max<std::int64_t>(std::llround(m_traceZoom->t1), t0 + 1);
            drawn.scale = TraceScaleChoice{TraceScaleMode::kFixed, m_traceZoom->p0, m_traceZoom->p1};
        }
        const std::vector<TraceColumn> columns =
            m_rolling->Columns(t0, t1, kTracePlotRight - kTracePlotLeft);
        model = ComputeRollingGraph(columns, t0, t1, drawn, clockTitle);
        full = TraceViewWindow{double(begin), double(end), model.scale.bottom, model.scale.top};
    } else {
        // After Stop the graph is empty: nothing to zoom into.
        const int stored =
            m_trace.Count() < 0 ? 0 : static_cast<int>(m_trace.RecordedSamples().size());
        m_traceData = TraceDataExtent{0.0, double(std::max(stored - 1, 0)), 2.0};
        if (stored < 2)
            m_traceZoom.reset();
        if (m_traceZoom) {
            *m_traceZoom = ClampTraceView(*m_traceZoom, m_traceData);
            model = ComputeZoomedTraceGraph(m_trace.RecordedSamples(), stored, m_trace.RecordedTimes(),
                                            *m_traceZoom, options,
                                            MeasureTraceText(fonts.axisTitle, QStringLiteral("Second")),
                                            clockTitle);
        } else {
            model = ComputeTraceGraphModel(m_trace, fonts);
        }
        // The unzoomed graph spreads a short trace over the plot and shows a long one a
        // sample a pixel from the window's offset.
        const int n = m_trace.Count() < 0 ? 0 : m_trace.Written();
        full = n > kTraceWindowSize
                   ? TraceViewWindow{double(m_trace.Offset()), double(m_trace.Offset() + kTraceWindowSize),
                                     model.scale.bottom, model.scale.top}
                   : TraceViewWindow{0.0, double(n > 1 ? n - 1 : kTraceWindowSize), model.scale.bottom,
                                     model.scale.top};
    }
    m_traceShown = m_traceZoom ? *m_traceZoom : full;
    m_wndTraceArea->SetZoomed(m_traceZoom.has_value());
    m_wndTraceArea->ShowGraph(model, fonts);
    UpdateTraceCursors();
}

void CVelquorView::ZoomTraceRect(int xa, int ya, int xb, int yb) {
    const std::optional<TraceViewWindow> next =
        velquor::ZoomTraceToRect(m_traceShown, xa, ya, xb, yb, m_traceData);
    if (!next)
        return;
    m_traceZoom = next;
    RedrawTraceGraph();
}

void CVelquorView::ZoomTraceWheel(int x, int steps) {
    if (m_traceData.t1 <= m_traceData.t0)
        return;
    m_traceZoom = velquor::ZoomTraceWheel(m_traceShown, x, steps, m_traceData);
    RedrawTraceGraph();
}

void CVelquorView::ZoomTraceOut() {
    m_traceZoom.reset();
    RedrawTraceGraph();
}

void CVelquorView::SetTraceCursors(bool on) {
    m_bTraceCursors = on;
    if (on)
        PlaceTraceCursors();
    UpdateTraceCursors();
}

void CVelquorView::PlaceTraceCursors() {
    const double span = m_traceShown.t1 - m_traceShown.t0;
    m_traceCursor[0] = m_traceShown.t0 + span / 3;
    m_traceCursor[1] = m_traceShown.t0 + span * 2 / 3;
}

void CVelquorView::MoveTraceCursor(int which, int x) {
    m_traceCursor[which == 0 ? 0 : 1] = TraceTimeAtX(m_traceShown, x);
    UpdateTraceCursors();
}

void CVelquorView::UpdateTraceCursors() {
    if (!m_bTraceCursors) {
        m_wndTraceArea->SetCursors(false, 0, 0, QString());
        return;
    }
    for (double& c : m_traceCursor)
        c = std::clamp(c, m_traceData.t0, std::max(m_traceData.t0, m_traceData.t1));
    std::optional<TraceSampleAt> a, b;
    TraceSpanStats between;
    if (m_rolling) {
        a = m_rolling->ValueAt(std::llround(m_traceCursor[0]));
        b = m_rolling->ValueAt(std::llround(m_traceCursor[1]));
        between = m_rolling->StatsBetween(std::llround(m_traceCursor[0]), std::llround(m_traceCursor[1]));
    } else {
        const int stored =
            m_trace.Count() < 0 ? 0 : static_cast<int>(m_trace.RecordedSamples().size());
        const std::span<const double> values = m_trace.RecordedSamples().first(static_cast<std::size_t>(stored));
        std::vector<double> times(values.size());
        for (std::size_t i = 0; i < times.size(); ++i)
            times[i] = double(i);
        a = TraceValueAt(times, values, m_traceCursor[0]);
        b = TraceValueAt(times, values, m_traceCursor[1]);
        between = TraceStatsBetween(times, values, m_traceCursor[0], m_traceCursor[1]);
    }
    const auto column = [this](double t) {
        return std::clamp(TraceXAtTime(m_traceShown, t), kTracePlotLeft, kTracePlotRight);
    };
    m_wndTraceArea->SetCursors(true, column(m_traceCursor[0]), column(m_traceCursor[1]),
                               QString::fromStdString(
                                   TraceCursorReadout(a, b, between, m_rolling != nullptr)));
}

void CVelquorView::OnPlay() {
    if (m_bBusy)
        return;
    // A new recording starts on the whole view.
    m_traceZoom.reset();
    ApplyTraceAction(m_trace.Play(m_editPeriod->text().toStdString()));
    if (m_bTraceCursors) {
        PlaceTraceCursors();
        UpdateTraceCursors();
    }
}

void CVelquorView::StartTrace(const std::string& period) {
    m_editPeriod->setText(QString::fromStdString(period));
    OnPlay();
}

void CVelquorView::SetRollingHours(double hours) {
    if (hours <= 0.0) {
        m_rolling.reset();
        m_rollingTimer.stop();
    } else {
        const auto spanMs = static_cast<std::int64_t>(std::llround(hours * 3600.0 * 1000.0));
        if (m_rolling)
            m_rolling->SetSpan(spanMs);
        else
            m_rolling = std::make_unique<RollingRecord>(spanMs);
        m_rollingTimer.start(kTraceTimerIntervalMs, this);
    }
    // Sample numbers and clock times do not mix: the other graph starts unzoomed.
    m_traceZoom.reset();
    RedrawTraceGraph();
    if (m_bTraceCursors) {
        PlaceTraceCursors();
        UpdateTraceCursors();
    }
}

void CVelquorView::OnStop() {
    if (m_bBusy)
        return;
    ApplyTraceAction(m_trace.Stop());
}

void CVelquorView::OnPause() {
    if (m_bBusy)
        return;
    ApplyTraceAction(m_trace.Pause());
}

void CVelquorView::OnSliderReleased(int position) {
    if (m_bBusy)
        return;
    const int before = m_trace.Offset();
    const TraceViewAction action = m_trace.OnSliderReleased(position);
    // A zoom rides along with the window through the record.
    if (m_traceZoom && !m_rolling)
        m_traceZoom = PanTraceView(*m_traceZoom, m_trace.Offset() - before, m_traceData);
    ApplyTraceAction(action);
    if (m_traceZoom)
        RedrawTraceGraph();
}

void CVelquorView::OnTraceTimer() {
    ApplyTraceAction(m_trace.Tick(m_display.m_dShownPower, QDateTime::currentMSecsSinceEpoch()));
    // The next tick records what is shown now, even when no repaint comes between.
    m_display.m_dShownPower = ShownPowerDbm();
    m_display.m_dShownTemp = m_live.temperatureC.load();
}

void CVelquorView::SaveTraceCsv() {
    const QString path = AskSaveFile(this, "Save Trace as CSV", "trace.csv",
                                     "CSV files (*.csv);;All files (*)", "csv");
    if (path.isEmpty())
        return;
    std::string error;
    if (!WriteTraceCsv(path.toStdString(), error))
        m_prompt->ShowMessage(error, kAppTitle);
}

bool CVelquorView::WriteTraceCsv(const std::string& path, std::string& error) const {
    return velquor::WriteTraceCsv(path, m_trace.RecordedSamples(), m_trace.RecordedTimes(),
                                  TraceConditionsNow(), error);
}

TraceConditions CVelquorView::TraceConditionsNow() const {
    return TraceConditions{m_unit.m_strSerialNumber, m_pMeasure->Settings()};
}

void CVelquorView::SetTraceScaleMode(TraceScaleMode mode) {
    TraceGraphOptions options = m_trace.GraphOptions();
    options.scale.mode = mode;
    m_trace.SetGraphOptions(options);
    RedrawTraceGraph();
}

bool CVelquorView::SetTraceFixedScale(const std::string& bottom, const std::string& top,
                                      std::string& error) {
    TraceGraphOptions options = m_trace.GraphOptions();
    if (!ParseFixedTraceScale(bottom, top, options.scale, error))
        return false;
    m_trace.SetGraphOptions(options);
    RedrawTraceGraph();
    return true;
}

void CVelquorView::SetTraceWallClock(bool on) {
    TraceGraphOptions options = m_trace.GraphOptions();
    options.wallClock = on;
    m_trace.SetGraphOptions(options);
    RedrawTraceGraph();
}

void CVelquorView::AskTraceFixedScale() {
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Fixed Power Scale"));
    auto* form = new QFormLayout(&dialog);
    const TraceScale now = m_trace.GraphOptions().scale.mode == TraceScaleMode::kFixed
                               ? TraceScale{m_trace.GraphOptions().scale.fixedBottom,
                                            m_trace.GraphOptions().scale.fixedTop, 0.0}
                               : TraceScale{m_trace.ScaleMin(), m_trace.ScaleMax(), 0.0};
    auto* top = new QLineEdit(QString::number(now.top, 'f', 2), &dialog);
    auto* bottom = new QLineEdit(QString::number(now.bottom, 'f', 2), &dialog);
    form->addRow(tr("Top (dBm):"), top);
    form->addRow(tr("Bottom (dBm):"), bottom);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return;
    std::string error;
    if (!SetTraceFixedScale(bottom->text().toStdString(), top->text().toStdString(), error))
        m_prompt->ShowMessage(error, kAppTitle);
}

void CVelquorView::SaveTracePng() {
    const QString path = AskSaveFile(this, "Save Trace as PNG", "trace.png",
                                     "PNG images (*.png);;All files (*)", "png");
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveTraceGraphPng(m_wndTraceArea->Image(), path, error))
        m_prompt->ShowMessage(error.toStdString(), kAppTitle);
}

}  // namespace velquor
