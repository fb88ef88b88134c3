// The paint routine of the main view: the four panels in a chain, then the
// snapshot of the measurement and trace area for printing.
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "display/measure_readout.h"
#include "display/unit_panels.h"
#include "logging/log_format.h"
#include "ui/cd_slider_ctrl_diamond.h"
#include "ui/check_image_button.h"
#include "ui/ctrl_id.h"
#include "ui/image_text_button.h"
#include "ui/measure_controller.h"
#include "ui/trace_graph_window.h"
#include "ui/velquor_doc.h"
#include "ui/velquor_view.h"

namespace velquor {

namespace {

// The snapshot covers everything right of this x and below this y.
constexpr int kSnapshotLeft = 225;
constexpr int kSnapshotTop = 185;
constexpr QColor kNavy(16, 16, 128);

}  // namespace

void CVelquorView::paintEvent(QPaintEvent* event) {
    if (!m_bInitialised)
        return;
    // A child repainting itself (a blinking text cursor, a hovered button) asks
    // for the area under it only: show the last drawing there, so the panels'
    // blink toggles follow the view's own repaints.
    const QRegion own = QRegion(rect()) - childrenRegion();
    if (m_backBuffer.size() == size() && (event->region() & own).isEmpty()) {
        QPainter(this).drawImage(event->rect(), m_backBuffer, event->rect());
        return;
    }
    ++m_nRepaints;
    m_lastPaint.start();
    // A new reading changes the Measurement Data panel alone: only it is drawn
    // again, and only its pixels go to the screen.
    if (m_backBuffer.size() == size() && m_nMeasurementX0 >= 0 &&
        m_measurementRect.contains(event->region().boundingRect())) {
        {
            QPainter painter(&m_backBuffer);
            painter.setClipRect(m_measurementRect);
            painter.fillRect(m_measurementRect, Qt::white);
            painter.setFont(m_fonts.label);
            painter.setPen(kNavy);
            DrawMeasurement(painter, m_pBusyUnit ? m_pBusyUnit->m_bConnected : m_unit.m_bConnected,
                            m_nMeasurementX0);
        }
        QPainter(this).drawImage(m_measurementRect.topLeft(), m_backBuffer, m_measurementRect);
        RecordPainted();
        return;
    }
    if (m_backBuffer.size() != size())
        m_backBuffer = QImage(size(), QImage::Format_RGB32);
    m_backBuffer.fill(Qt::white);
    {
        QPainter painter(&m_backBuffer);
        OnDraw(painter);
    }
    QPainter(this).drawImage(0, 0, m_backBuffer);
    TakeSnapshot(m_backBuffer);
    RecordPainted();
}

void CVelquorView::RecordPainted() {
    if (m_pTimingLog != nullptr) {
        // The readout's tag is its power in tenths, as the frame carried it.
        const std::int64_t shown =
            m_unit.m_bConnected ? std::llround(m_display.m_dShownPower * 10.0) : kNoTag;
        m_pTimingLog->Record(TimingEvent::kPainted, shown);
    }
}

PanelPoint CVelquorView::DrawMeasurement(QPainter& painter, bool connected, int x0) {
    const MeterReadings readings{m_live.powerDbm.load(), m_live.temperatureC.load(), m_dBattery};
    MeasurementPanelContent content = EvaluateMeasurementPanel(m_display, connected, readings);
    ApplyMeasureReadouts(content, m_display, connected, m_pMeasure->Pipeline());
    if (content.clearBatteryReading)
        m_dBattery = 0.0;
    return DrawMeasurementPanel(painter, x0, content, m_bitmaps, m_fonts, m_framePen);
}

void CVelquorView::OnDraw(QPainter& painter) {
    if (m_pDocument == nullptr)
        return;
    painter.setFont(m_fonts.label);
    painter.setPen(kNavy);

    // While a sequence runs on its helper thread the unit panels draw a frozen
    // copy and leave the controls alone, so nothing the sequence writes is raced
    // or overwritten.
    const bool busy = m_pBusyUnit != nullptr;
    UnitState& unit = busy ? *m_pBusyUnit : m_unit;

    const PanelDrawing properties = DrawUnitPropertiesPanel(painter, unit, m_fonts, m_framePen);
    const PanelDrawing setup =
        DrawUnitSetupPanel(painter, unit, properties.extent.y + 10, m_fonts, m_framePen);
    if (!busy) {
        ApplyControlUpdates(properties.controls);
        ApplyControlUpdates(setup.controls);
    }

    const int x0 = setup.extent.x + 10;
    const PanelPoint measurement = DrawMeasurement(painter, unit.m_bConnected, x0);
    // The panel's frame runs from x0 - 5 to its right edge, its title from the top.
    m_nMeasurementX0 = x0;
    m_measurementRect = QRect(QPoint(x0 - 7, 0), QPoint(measurement.x + 7, measurement.y + 2));

    painter.setPen(m_framePen);
    const TraceDataPanelLayout layout =
        MeasureTraceDataPanel(m_traceFonts, size(), x0, measurement.y + 10);
    DrawTraceDataPanel(painter, layout, m_traceFonts);
    const auto place = [](QWidget* w, const TraceRect& r) {
        if (w->geometry() != QRect(r.x, r.y, r.width, r.height))
            w->setGeometry(r.x, r.y, r.width, r.height);
        w->show();
    };
    place(m_editPeriod, layout.periodEdit);
    place(m_btnPlay, layout.playButton);
    place(m_btnStop, layout.stopButton);
    place(m_btnPause, layout.pauseButton);
    place(m_sliderTrace, layout.slider);
    place(m_wndTraceArea, kTraceGraphWindowRect);
}

void CVelquorView::ApplyControlUpdates(const std::vector<ControlUpdate>& updates) {
    for (const ControlUpdate& u : updates) {
        QWidget* w = FindByCtrlId(this, u.id);
        if (w == nullptr)
            continue;
        if (u.text) {
            const QString text = QString::fromStdString(*u.text);
            if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->text() != text)
                edit->setText(text);
        }
        if (u.geometry) {
            const QRect r(u.geometry->x, u.geometry->y, u.geometry->width, u.geometry->height);
            if (w->geometry() != r)
                w->setGeometry(r);
        }
        if (u.checked) {
            if (auto* check = qobject_cast<CCheckImageButton*>(w)) {
                const int state = *u.checked ? kChecked : kUnchecked;
                if (check->m_nCheck != state) {
                    check->m_nCheck = state;
                    check->update();
                }
            }
        }
        if (u.show && !w->isVisible())
            w->show();
    }
}

void CVelquorView::TakeSnapshot(const QImage& painted) {
    if (m_pDocument == nullptr)
        return;
    const int w = width() - kSnapshotLeft;
    const int h = height() - kSnapshotTop;
    if (w <= 0 || h <= 0) {
        // Too small a client area leaves a snapshot without a usable image.
        m_pDocument->m_pSnapshot = std::make_unique<QImage>();
        return;
    }
    auto snapshot = std::make_unique<QImage>(painted.copy(kSnapshotLeft, kSnapshotTop, w, h));
    // The graph is a child window; it is part of what the user sees there.
    QPainter p(snapshot.get());
    const QRect graph = m_wndTraceArea->geometry();
    p.drawImage(graph.x() - kSnapshotLeft, graph.y() - kSnapshotTop, m_wndTraceArea->Image());
    m_pDocument->m_pSnapshot = std::move(snapshot);
}

double CVelquorView::ShownPowerDbm() const {
    const measure::MeasurePipeline& p = m_pMeasure->Pipeline();
    // A reading the measurement refused (an impossible power) is not traced: the
    // last one taken stays, as in the log.
    if (p.HasReading() && (!MeasureIsPlain(p.Settings()) || !p.LatestTaken()))
        return p.Last().shown_dbm;
    return m_live.powerDbm.load();
}

std::optional<double> CVelquorView::MeasuredPowerDbm() const {
    const measure::MeasurePipeline& p = m_pMeasure->Pipeline();
    return p.HasReading() ? std::optional(p.Last().shown_dbm) : std::nullopt;
}

void CVelquorView::PublishShownPower() {
    m_shownPower.SetPower(MeasuredPowerDbm());
}

void CVelquorView::PublishMeasureSettings() {
    m_shownPower.Set(MeasuredPowerDbm(), FormatLogNotes(m_pMeasure->Settings()));
}

}  // namespace velquor
