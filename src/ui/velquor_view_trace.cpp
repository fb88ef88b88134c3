// The main view's trace: Play, Stop, Pause, the slider, the sampling timer and
// saving the recorded trace.
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <cmath>

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
    if (m_rolling) {
        // Up to now, so the graph moves on also while no reading comes; from the first
        // reading (at least a minute back) until the record spans its hours.
        const std::int64_t end = QDateTime::currentMSecsSinceEpoch() + 1;
        const std::int64_t first = m_rolling->Size() > 0 ? m_rolling->Oldest() : end;
        const std::int64_t begin =
            std::max(end - m_rolling->SpanMs(), std::min(first, end - 60 * 1000));
        const std::vector<TraceColumn> columns =
            m_rolling->Columns(begin, end, kTracePlotRight - kTracePlotLeft);
        m_wndTraceArea->ShowGraph(
            ComputeRollingGraph(columns, begin, end, options,
                                MeasureTraceText(fonts.axisTitle, kTraceClockTitle)),
            fonts);
        return;
    }
    m_wndTraceArea->ShowGraph(ComputeTraceGraphModel(m_trace, fonts), fonts);
}

void CVelquorView::OnPlay() {
    if (m_bBusy)
        return;
    ApplyTraceAction(m_trace.Play(m_editPeriod->text().toStdString()));
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
    RedrawTraceGraph();
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
