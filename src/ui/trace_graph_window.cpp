#include "ui/trace_graph_window.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>

#include "ui/ctrl_id.h"

namespace velquor {

CTraceGraphWindow::CTraceGraphWindow(QWidget* parent) : QWidget(parent) {
    SetCtrlId(this, kTraceGraphWindowId);
    // Every paint covers the whole window with the graph image.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kTraceGraphWidth, kTraceGraphHeight);
    const TraceGraphFonts fonts = DefaultTraceGraphFonts();
    TraceGraphInput empty;
    empty.timeTitleExtent = MeasureTraceText(fonts.axisTitle, QStringLiteral("Second"));
    empty.powerTitleExtent = MeasureTraceText(fonts.axisTitle, QStringLiteral("dBm"));
    m_image = RenderTraceGraph(ComputeTraceGraph(empty), fonts);
}

void CTraceGraphWindow::ShowGraph(const TraceGraphModel& model, const TraceGraphFonts& fonts) {
    m_image = RenderTraceGraph(model, fonts);
    update();
}

std::unique_ptr<QMenu> CTraceGraphWindow::CreateContextMenu() {
    auto menu = std::make_unique<QMenu>(this);
    QAction* csv = menu->addAction(tr("Save Trace as CSV..."));
    QAction* png = menu->addAction(tr("Save Trace as PNG..."));
    csv->setEnabled(m_bExportEnabled);
    png->setEnabled(m_bExportEnabled);
    connect(csv, &QAction::triggered, this, &CTraceGraphWindow::saveCsvRequested);
    connect(png, &QAction::triggered, this, &CTraceGraphWindow::savePngRequested);

    menu->addSeparator();
    QMenu* scale = menu->addMenu(tr("Power Scale"));
    auto* group = new QActionGroup(scale);
    const auto choice = [&](const QString& text, TraceScaleMode mode) {
        QAction* action = scale->addAction(text);
        action->setCheckable(true);
        action->setChecked(m_options.scale.mode == mode);
        group->addAction(action);
        return action;
    };
    for (const auto& [text, mode] :
         {std::pair{tr("Automatic (Classic)"), TraceScaleMode::kClassic},
          std::pair{tr("Automatic (Nice Steps)"), TraceScaleMode::kNice},
          std::pair{tr("Fit Limits"), TraceScaleMode::kFitLimits}}) {
        const TraceScaleMode chosen = mode;  // a structured binding cannot be captured
        connect(choice(text, chosen), &QAction::triggered, this,
                [this, chosen] { emit scaleModeRequested(chosen); });
    }
    connect(choice(tr("Fixed Top and Bottom..."), TraceScaleMode::kFixed), &QAction::triggered,
            this, &CTraceGraphWindow::fixedScaleRequested);
    QAction* clock = menu->addAction(tr("Clock Time Axis (UTC)"));
    clock->setCheckable(true);
    clock->setChecked(m_options.wallClock);
    connect(clock, &QAction::toggled, this, &CTraceGraphWindow::wallClockToggled);
    QAction* rolling = menu->addAction(tr("Rolling Record (Last 24 Hours)"));
    rolling->setCheckable(true);
    rolling->setChecked(m_bRolling);
    connect(rolling, &QAction::toggled, this, &CTraceGraphWindow::rollingToggled);
    return menu;
}

void CTraceGraphWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(QPoint(0, 0), m_image);
}

void CTraceGraphWindow::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu = CreateContextMenu();
    menu->exec(event->globalPos());
}

}  // namespace velquor
