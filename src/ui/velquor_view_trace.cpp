// The main view's trace: Play, Stop, Pause, the slider, the sampling timer and
// saving the recorded trace.
#include <QLineEdit>

#include "display/trace_export.h"
#include "display/trace_graph_painter.h"
#include "display/trace_panel_layout.h"
#include "ui/cd_slider_ctrl_diamond.h"
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
    TraceGraphFonts fonts = DefaultTraceGraphFonts();
    fonts.label = m_fonts.label;
    m_wndTraceArea->ShowGraph(ComputeTraceGraphModel(m_trace, fonts), fonts);
}

void CVelquorView::OnPlay() {
    if (m_bBusy)
        return;
    ApplyTraceAction(m_trace.Play(m_editPeriod->text().toStdString()));
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
    ApplyTraceAction(m_trace.OnSliderReleased(position));
}

void CVelquorView::OnTraceTimer() {
    ApplyTraceAction(m_trace.Tick(m_display.m_dShownPower));
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
    if (!WriteTraceCsv(path.toStdString(), m_trace.RecordedSamples(), error))
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
