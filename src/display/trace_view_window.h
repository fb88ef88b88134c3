#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "display/trace_graph.h"

namespace velquor {

// The part of the trace the graph shows when zoomed: a time span (sample index for the
// recorder, UTC ms for the rolling record) and a power range (dBm).
struct TraceViewWindow {
    double t0 = 0.0;
    double t1 = 1.0;
    double p0 = 0.0;  // dBm at the bottom of the plot
    double p1 = 50.0;  // dBm at the top
    bool operator==(const TraceViewWindow&) const = default;
};

// Where the data lies: a zoom never leaves it, and never gets narrower than minSpan
// (two samples of the recorder; a second of the rolling record).
struct TraceDataExtent {
    double t0 = 0.0;
    double t1 = 0.0;
    double minSpan = 1.0;
};

// Time and power under a graph pixel, and the pixel column of a time.
double TraceTimeAtX(const TraceViewWindow& view, double x);
double TracePowerAtY(const TraceViewWindow& view, double y);
int TraceXAtTime(const TraceViewWindow& view, double t);

// The window moved and narrowed as little as needed to lie inside the data.
TraceViewWindow ClampTraceView(TraceViewWindow view, const TraceDataExtent& data);

// The rectangle dragged between two graph pixels as the new window; nothing when it is
// too small to mean a zoom (a click) or there is no data.
std::optional<TraceViewWindow> ZoomTraceToRect(const TraceViewWindow& view, int xa, int ya,
                                               int xb, int yb, const TraceDataExtent& data);

// The wheel: each step (positive in, negative out) narrows or widens the time span by
// a fifth, keeping the time under pixel x where it is. The power range stays.
TraceViewWindow ZoomTraceWheel(const TraceViewWindow& view, int x, int steps,
                               const TraceDataExtent& data);

// The window shifted by dt, clamped to the data (the slider moving a zoom through the record).
TraceViewWindow PanTraceView(const TraceViewWindow& view, double dt, const TraceDataExtent& data);

// What the cursors read: the sample nearest a time, and the samples between two times.
struct TraceSampleAt {
    double t = 0.0;
    double dbm = 0.0;
};
struct TraceSpanStats {
    int count = 0;
    double min = 0.0;
    double max = 0.0;
    double mean = 0.0;
};
// times ascending, one per value. Nothing when there are no samples; a time outside
// the data gives the first or last sample.
std::optional<TraceSampleAt> TraceValueAt(std::span<const double> times,
                                          std::span<const double> values, double t);
// Samples with ta <= time <= tb (in either order); count 0 when none.
TraceSpanStats TraceStatsBetween(std::span<const double> times, std::span<const double> values,
                                 double ta, double tb);

// The readout line of the two cursors: each one's time and value, dt and dB between
// them, min/max/mean between. clockTime: times are UTC ms, else seconds.
std::string TraceCursorReadout(const std::optional<TraceSampleAt>& a,
                               const std::optional<TraceSampleAt>& b, const TraceSpanStats& between,
                               bool clockTime);

// The recorder's trace drawn for a zoomed window: the samples 0..n-1 at times 0..n-1
// (timesMs gives the clock labels when options.wallClock), on the window's power range.
TraceGraphModel ComputeZoomedTraceGraph(std::span<const double> history, int n,
                                        std::span<const std::int64_t> timesMs,
                                        const TraceViewWindow& view,
                                        const TraceGraphOptions& options,
                                        TraceTextExtent timeTitle, TraceTextExtent clockTitle);

}  // namespace velquor
