#include "ui/trace_graph_window.h"

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
