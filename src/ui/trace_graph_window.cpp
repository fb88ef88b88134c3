#include "ui/trace_graph_window.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>
#include <QMenu>
#include <QPainter>

#include "ui/ctrl_id.h"

namespace velquor {

CTraceGraphWindow::CTraceGraphWindow(QWidget* parent) : QWidget(parent) {
    SetCtrlId(this, kTraceGraphWindowId);
    // Every paint covers the whole window with the graph image.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Escape zooms out once the graph was clicked.
    setFocusPolicy(Qt::ClickFocus);
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
    menu->addSeparator();
    QAction* zoomOut = menu->addAction(tr("Zoom Out"));
    zoomOut->setEnabled(m_bZoomed);
    connect(zoomOut, &QAction::triggered, this, &CTraceGraphWindow::zoomOutRequested);
    QAction* cursors = menu->addAction(tr("Cursors"));
    cursors->setCheckable(true);
    cursors->setChecked(m_bCursors);
    connect(cursors, &QAction::toggled, this, &CTraceGraphWindow::cursorsToggled);
    return menu;
}

void CTraceGraphWindow::SetCursors(bool on, int xa, int xb, const QString& readout) {
    m_bCursors = on;
    m_cursorX[0] = xa;
    m_cursorX[1] = xb;
    m_readout = readout;
    update();
}

void CTraceGraphWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(QPoint(0, 0), m_image);
    if (m_bBanding) {
        painter.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
        painter.setBrush(QColor(80, 80, 200, 40));
        painter.drawRect(QRect(m_bandFrom, m_bandTo).normalized());
    }
    if (!m_bCursors)
        return;
    const QColor colors[2] = {QColor(200, 0, 0), QColor(0, 140, 0)};
    for (int i = 0; i < 2; ++i) {
        painter.setPen(QPen(colors[i], 1));
        painter.drawLine(m_cursorX[i], kTracePlotTop, m_cursorX[i], kTracePlotBottom);
        painter.drawText(m_cursorX[i] + 2, kTracePlotBottom - 2, i == 0 ? QStringLiteral("A") : QStringLiteral("B"));
    }
    // The readout over the top of the plot, on white so the grid does not cross it.
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    const QRect line(kTracePlotLeft + 1, kTracePlotTop + 1, kTracePlotRight - kTracePlotLeft - 2, 12);
    painter.fillRect(line, QColor(255, 255, 255, 220));
    painter.setPen(Qt::black);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, m_readout);
}

void CTraceGraphWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const QPoint p = event->position().toPoint();
    if (m_bCursors) {
        // The nearer cursor within a few pixels is picked up; elsewhere a zoom begins.
        const int da = std::abs(p.x() - m_cursorX[0]);
        const int db = std::abs(p.x() - m_cursorX[1]);
        if (std::min(da, db) <= 4) {
            m_dragCursor = da <= db ? 0 : 1;
            return;
        }
    }
    m_bBanding = true;
    m_bandFrom = m_bandTo = p;
}

void CTraceGraphWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (m_dragCursor >= 0) {
        emit cursorMoved(m_dragCursor, std::clamp(p.x(), kTracePlotLeft, kTracePlotRight));
    } else if (m_bBanding) {
        m_bandTo = p;
        update();
    }
}

void CTraceGraphWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_dragCursor = -1;
    if (!m_bBanding)
        return;
    m_bBanding = false;
    update();
    const QPoint to = event->position().toPoint();
    emit zoomRectRequested(m_bandFrom.x(), m_bandFrom.y(), to.x(), to.y());
}

void CTraceGraphWindow::wheelEvent(QWheelEvent* event) {
    // Touchpads send fractions of a notch; whole notches are 120.
    m_wheelRest += event->angleDelta().y();
    const int steps = m_wheelRest / 120;
    m_wheelRest -= steps * 120;
    if (steps != 0)
        emit wheelZoomRequested(static_cast<int>(event->position().x()), steps);
    event->accept();
}

void CTraceGraphWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_bZoomed) {
        emit zoomOutRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CTraceGraphWindow::contextMenuEvent(QContextMenuEvent* event) {
    const std::unique_ptr<QMenu> menu = CreateContextMenu();
    menu->exec(event->globalPos());
}

}  // namespace velquor
