#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "display/trace_graph.h"
#include "display/trace_graph_painter.h"

class QMenu;
class QMouseEvent;
class QWheelEvent;
class QKeyEvent;

namespace velquor {

inline constexpr int kTraceGraphWindowId = 211;

// The trace graph window: shows the graph drawn off screen and paints the same image again
// whenever the system asks. Its context menu offers to save the trace; the view answers the
// requests (file dialogs, writing).
class CTraceGraphWindow : public QWidget {
    Q_OBJECT

public:
    explicit CTraceGraphWindow(QWidget* parent = nullptr);

    // Draws the model off screen and shows the result.
    void ShowGraph(const TraceGraphModel& model,
                   const TraceGraphFonts& fonts = DefaultTraceGraphFonts());
    const QImage& Image() const { return m_image; }

    // The save actions are offered only while there is a recorded trace to save.
    void SetExportEnabled(bool enabled) { m_bExportEnabled = enabled; }
    bool ExportEnabled() const { return m_bExportEnabled; }

    // The options the menu shows as checked.
    void SetGraphOptions(const TraceGraphOptions& options) { m_options = options; }
    void SetRollingOn(bool on) { m_bRolling = on; }

    // Zoom and cursors as the view has them: "Zoom Out" is offered while zoomed; the
    // cursors are drawn at their pixel columns with the readout line over the plot.
    void SetZoomed(bool zoomed) { m_bZoomed = zoomed; }
    bool Zoomed() const { return m_bZoomed; }
    void SetCursors(bool on, int xa, int xb, const QString& readout);
    bool CursorsOn() const { return m_bCursors; }
    int CursorX(int which) const { return m_cursorX[which == 0 ? 0 : 1]; }
    const QString& CursorReadout() const { return m_readout; }

    // A new context menu with the save actions, the scale choice and the clock axis,
    // wired to the signals below.
    std::unique_ptr<QMenu> CreateContextMenu();

signals:
    void saveCsvRequested();
    void savePngRequested();
    // An automatic scale or fit limits was chosen.
    void scaleModeRequested(velquor::TraceScaleMode mode);
    // "Fixed Scale...": the view asks for top and bottom.
    void fixedScaleRequested();
    void wallClockToggled(bool on);
    // "Rolling Record (Last 24 Hours)": every reading, instead of the trace.
    void rollingToggled(bool on);
    // A rectangle dragged with the left button, in graph pixels.
    void zoomRectRequested(int xa, int ya, int xb, int yb);
    // Wheel steps at pixel column x: positive zooms in.
    void wheelZoomRequested(int x, int steps);
    // Escape or "Zoom Out": the whole trace again.
    void zoomOutRequested();
    void cursorsToggled(bool on);
    // Cursor 0 or 1 dragged to pixel column x.
    void cursorMoved(int which, int x);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QImage m_image;
    bool m_bExportEnabled = false;
    TraceGraphOptions m_options;
    bool m_bRolling = false;
    bool m_bZoomed = false;
    bool m_bCursors = false;
    int m_cursorX[2] = {0, 0};
    QString m_readout;
    int m_dragCursor = -1;  // the cursor being dragged, -1 for none
    bool m_bBanding = false;  // a zoom rectangle is being dragged
    QPoint m_bandFrom;
    QPoint m_bandTo;
    int m_wheelRest = 0;  // eighths of a degree not yet a whole step
};

}  // namespace velquor
