#pragma once

#include <QImage>
#include <QWidget>
#include <memory>

#include "display/trace_graph.h"
#include "display/trace_graph_painter.h"

class QMenu;

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

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage m_image;
    bool m_bExportEnabled = false;
    TraceGraphOptions m_options;
    bool m_bRolling = false;
};

}  // namespace velquor
