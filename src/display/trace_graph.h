#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "display/trace_scale.h"
#include "measure/measure_settings.h"

namespace velquor {

// The trace graph is drawn off screen at this size and copied to its window in one piece.
inline constexpr int kTraceGraphWidth = 510;
inline constexpr int kTraceGraphHeight = 235;

// Plot area inside the graph: the scale bottom maps to kTracePlotBottom, the top to kTracePlotTop.
inline constexpr int kTracePlotLeft = 50;
inline constexpr int kTracePlotRight = 500;
inline constexpr int kTracePlotTop = 5;
inline constexpr int kTracePlotBottom = 205;

// Top of the axis titles' row.
inline constexpr int kTraceTimeTitleY = 220;

inline constexpr int kTraceHistorySize = 3600;
// The time axis' title when it shows the clock.
inline constexpr const char* kTraceClockTitle = "Time (UTC)";
inline constexpr int kTraceWindowSize = 450;

struct TraceTextExtent {
    int cx = 0;
    int cy = 0;
};

// What the user switched on for the graph. The defaults draw it as it always was.
struct TraceGraphOptions {
    TraceScaleChoice scale;
    measure::UserLimits limits;  // drawn as lines; samples beyond them are marked
    bool wallClock = false;      // time axis in UTC clock time instead of seconds
};

// What the graph is computed from: the history and the recorder's window over it.
struct TraceGraphInput {
    std::span<const double> history;   // the whole history; only the first `recorded` are used
    int recorded = 0;                  // samples taken since Play (the write position)
    int offset = 0;                    // history index of the first window position
    int count = -1;                    // samples in the window; -1 when nothing is shown
    TraceTextExtent timeTitleExtent;   // "Second" in the axis title font
    TraceTextExtent powerTitleExtent;  // "dBm" in the axis title font
    TraceGraphOptions options;
    std::span<const std::int64_t> timesMs;  // UTC ms of each history entry (wall clock)
    TraceTextExtent clockTitleExtent;       // "Time (UTC)" in the axis title font
};

// A text drawn with its top-left corner at (x, y).
struct TraceText {
    std::string text;
    int x = 0;
    int y = 0;
};

struct TraceLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
};

struct TracePoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const TracePoint&, const TracePoint&) = default;
};

// Everything the painter draws, in graph pixels, in drawing order.
struct TraceGraphModel {
    TraceScale scale;
    // Tick labels in the label font: "%3.0f" and "%3.2f", with more decimals where
    // fewer would show two ticks alike (a short or flat trace).
    std::vector<TraceText> xLabels;
    std::vector<TraceText> yLabels;
    std::vector<TraceLine> gridLines;  // dotted; vertical and horizontal alternate per step
    TraceText timeTitle;               // "Second", in the axis title font
    TraceText powerTitle;  // "dBm", in the axis title font, at the foot of the power axis
    // The trace: a line through consecutive points, and a small circle on every point that
    // starts a segment (all but the last).
    std::vector<TracePoint> trace;
    std::optional<TracePoint> newestMarker;  // circle around the newest sample when visible
    // Only with limits on: the limits inside the plot, and the samples that failed them.
    std::vector<TraceLine> limitLines;
    std::vector<TracePoint> failedPoints;
    // Only for the rolling record: one vertical line per pixel column from the lowest to
    // the highest power there, and the parts of them beyond a limit.
    std::vector<TraceLine> envelope;
    std::vector<TraceLine> failedEnvelope;
};

// Largest and smallest of the first n values (n clamped to the span); 0.0 when there are none.
double TraceMax(std::span<const double> values, int n);
double TraceMin(std::span<const double> values, int n);

// Scale over the first n samples, with the flat-trace rule.
TraceScale ComputeTraceScale(std::span<const double> history, int n);
// Scale as the options choose it; the automatic ones also hold the limits that are on.
TraceScale ComputeTraceScale(std::span<const double> history, int n,
                             const TraceGraphOptions& options);

// The same for a power range (nothing: no data) with the limits that are on.
TraceScale TraceScaleForRange(std::optional<double> lo, std::optional<double> hi,
                              const TraceGraphOptions& options);

// "12:34:56" of a UTC time in ms.
std::string UtcClockText(std::int64_t utcMs);

// y pixel of a power value, kept inside the plot area.
int TraceY(double dbm, const TraceScale& scale);

TraceGraphModel ComputeTraceGraph(const TraceGraphInput& input);

// The rolling record's graph: one column per plot pixel (450) between t0Ms and t1Ms
// drawn as an envelope, the time axis on the UTC clock, scale and limits as options say.
struct TraceColumn;
TraceGraphModel ComputeRollingGraph(std::span<const TraceColumn> columns, std::int64_t t0Ms,
                                    std::int64_t t1Ms, const TraceGraphOptions& options,
                                    TraceTextExtent clockTitle);

}  // namespace velquor
