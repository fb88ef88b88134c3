#include "display/trace_view_window.h"

#include <algorithm>
#include <cmath>

#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

namespace {

constexpr double kPlotWidth = kTracePlotRight - kTracePlotLeft;
constexpr double kPlotHeight = kTracePlotBottom - kTracePlotTop;
// A drag shorter than this (pixels) is a click, not a zoom.
constexpr int kMinDragPixels = 4;
// Each wheel step keeps this share of the time span.
constexpr double kWheelStep = 0.8;
constexpr int kGridSteps = 10;

}  // namespace

double TraceTimeAtX(const TraceViewWindow& view, double x) {
    return view.t0 + (x - kTracePlotLeft) * (view.t1 - view.t0) / kPlotWidth;
}

double TracePowerAtY(const TraceViewWindow& view, double y) {
    return view.p0 + (kTracePlotBottom - y) * (view.p1 - view.p0) / kPlotHeight;
}

int TraceXAtTime(const TraceViewWindow& view, double t) {
    if (view.t1 <= view.t0)
        return kTracePlotLeft;
    return kTracePlotLeft + static_cast<int>(std::lround((t - view.t0) * kPlotWidth / (view.t1 - view.t0)));
}

TraceViewWindow ClampTraceView(TraceViewWindow view, const TraceDataExtent& data) {
    const double dataSpan = std::max(data.t1 - data.t0, 0.0);
    double span = std::clamp(view.t1 - view.t0, std::min(data.minSpan, dataSpan), dataSpan);
    double t0 = std::clamp(view.t0, data.t0, data.t1 - span);
    view.t0 = t0;
    view.t1 = t0 + span;
    if (view.p1 < view.p0)
        std::swap(view.p0, view.p1);
    return view;
}

std::optional<TraceViewWindow> ZoomTraceToRect(const TraceViewWindow& view, int xa, int ya,
                                               int xb, int yb, const TraceDataExtent& data) {
    if (data.t1 <= data.t0)
        return std::nullopt;
    const auto inX = [](int x) { return std::clamp(x, kTracePlotLeft, kTracePlotRight); };
    const auto inY = [](int y) { return std::clamp(y, kTracePlotTop, kTracePlotBottom); };
    xa = inX(xa), xb = inX(xb), ya = inY(ya), yb = inY(yb);
    if (std::abs(xb - xa) < kMinDragPixels)
        return std::nullopt;
    TraceViewWindow next = view;
    next.t0 = TraceTimeAtX(view, std::min(xa, xb));
    next.t1 = TraceTimeAtX(view, std::max(xa, xb));
    // A flat drag keeps the power range: the user chose a time span only.
    if (std::abs(yb - ya) >= kMinDragPixels) {
        next.p0 = TracePowerAtY(view, std::max(ya, yb));
        next.p1 = TracePowerAtY(view, std::min(ya, yb));
    }
    // A narrowing below the least span keeps its middle.
    if (next.t1 - next.t0 < data.minSpan) {
        const double mid = (next.t0 + next.t1) / 2;
        next.t0 = mid - data.minSpan / 2;
        next.t1 = mid + data.minSpan / 2;
    }
    return ClampTraceView(next, data);
}

TraceViewWindow ZoomTraceWheel(const TraceViewWindow& view, int x, int steps,
                               const TraceDataExtent& data) {
    const double anchor = TraceTimeAtX(view, std::clamp(x, kTracePlotLeft, kTracePlotRight));
    const double factor = std::pow(kWheelStep, steps);
    double span = (view.t1 - view.t0) * factor;
    span = std::clamp(span, std::min(data.minSpan, data.t1 - data.t0), std::max(data.t1 - data.t0, 0.0));
    const double share = view.t1 > view.t0 ? (anchor - view.t0) / (view.t1 - view.t0) : 0.5;
    TraceViewWindow next = view;
    next.t0 = anchor - share * span;
    next.t1 = next.t0 + span;
    return ClampTraceView(next, data);
}

TraceViewWindow PanTraceView(const TraceViewWindow& view, double dt, const TraceDataExtent& data) {
    TraceViewWindow next = view;
    next.t0 += dt;
    next.t1 += dt;
    return ClampTraceView(next, data);
}

std::optional<TraceSampleAt> TraceValueAt(std::span<const double> times,
                                          std::span<const double> values, double t) {
    const std::size_t n = std::min(times.size(), values.size());
    if (n == 0)
        return std::nullopt;
    const auto end = times.begin() + static_cast<long>(n);
    const auto it = std::lower_bound(times.begin(), end, t);
    std::size_t i = static_cast<std::size_t>(it - times.begin());
    if (i == n)
        i = n - 1;
    else if (i > 0 && t - times[i - 1] <= times[i] - t)
        --i;
    return TraceSampleAt{times[i], values[i]};
}

TraceSpanStats TraceStatsBetween(std::span<const double> times, std::span<const double> values,
                                 double ta, double tb) {
    const std::size_t n = std::min(times.size(), values.size());
    if (ta > tb)
        std::swap(ta, tb);
    const auto end = times.begin() + static_cast<long>(n);
    auto i = static_cast<std::size_t>(std::lower_bound(times.begin(), end, ta) - times.begin());
    TraceSpanStats stats;
    double sum = 0.0;
    for (; i < n && times[i] <= tb; ++i) {
        const double v = values[i];
        stats.min = stats.count == 0 ? v : std::min(stats.min, v);
        stats.max = stats.count == 0 ? v : std::max(stats.max, v);
        sum += v;
        ++stats.count;
    }
    if (stats.count > 0)
        stats.mean = sum / stats.count;
    return stats;
}

std::string TraceCursorReadout(const std::optional<TraceSampleAt>& a,
                               const std::optional<TraceSampleAt>& b, const TraceSpanStats& between,
                               bool clockTime) {
    if (!a || !b)
        return "Cursors: no data";
    const auto timeText = [clockTime](double t) {
        if (clockTime) {
            const auto ms = static_cast<std::int64_t>(std::llround(t));
            return UtcClockText(ms) + FormatC(".%03d", static_cast<int>(((ms % 1000) + 1000) % 1000));
        }
        return FormatC("%.0f s", t);
    };
    const double dt = (b->t - a->t) / (clockTime ? 1000.0 : 1.0);
    std::string text = "A " + timeText(a->t) + FormatC(" %.2f dBm  B ", a->dbm) + timeText(b->t) +
                       FormatC(" %.2f dBm  dt %.3f s  dB %+.2f", b->dbm, dt, b->dbm - a->dbm);
    if (between.count == 0)
        return text + "  no samples between";
    return text + FormatC("  min %.2f max %.2f mean %.2f", between.min, between.max, between.mean);
}

TraceGraphModel ComputeZoomedTraceGraph(std::span<const double> history, int n,
                                        std::span<const std::int64_t> timesMs,
                                        const TraceViewWindow& view,
                                        const TraceGraphOptions& options,
                                        TraceTextExtent timeTitle, TraceTextExtent clockTitle) {
    TraceGraphModel model;
    n = std::clamp(n, 0, static_cast<int>(history.size()));
    model.scale = TraceScale{view.p0, view.p1, view.p1 - view.p0};
    const TraceScale& s = model.scale;
    const bool clock = options.wallClock && n > 0 && static_cast<int>(timesMs.size()) >= n;
    for (int k = 0; k <= kGridSteps; ++k) {
        const int x = kTracePlotLeft + (kTracePlotRight - kTracePlotLeft) * k / kGridSteps;
        const int y = kTracePlotBottom - (kTracePlotBottom - kTracePlotTop) * k / kGridSteps;
        const double t = view.t0 + (view.t1 - view.t0) * k / kGridSteps;
        std::string xText;
        int xLabel = x - 15;
        if (clock) {
            if (k % 2 == 0) {
                const int i = std::clamp(static_cast<int>(std::floor(t)), 0, n - 1);
                xText = UtcClockText(timesMs[static_cast<std::size_t>(i)] +
                                     std::llround((t - i) * 1000.0));
            }
            xLabel = k == kGridSteps ? x - 44 : x - 22;
        } else {
            xText = FormatC(view.t1 - view.t0 < 20 ? "%3.1f" : "%3.0f", t);
        }
        model.xLabels.push_back({xText, xLabel, kTracePlotBottom + 2});
        model.yLabels.push_back({FormatC("%3.2f", s.bottom + (s.top - s.bottom) * k / kGridSteps), 12, y - 8});
        model.gridLines.push_back({x, kTracePlotBottom, x, kTracePlotTop});
        model.gridLines.push_back({kTracePlotLeft, y, kTracePlotRight, y});
    }
    model.timeTitle = clock ? TraceText{kTraceClockTitle, (kTraceGraphWidth - clockTitle.cx) / 2, kTraceTimeTitleY}
                            : TraceText{"Second", (kTraceGraphWidth - timeTitle.cx) / 2, kTraceTimeTitleY};
    model.powerTitle = {"dBm", 0, kTraceTimeTitleY};
    const measure::UserLimits& limits = options.limits;
    for (const std::optional<double>& limit : {limits.upper_dbm, limits.lower_dbm}) {
        if (limit && *limit >= s.bottom && *limit <= s.top) {
            const int y = TraceY(*limit, s);
            model.limitLines.push_back({kTracePlotLeft, y, kTracePlotRight, y});
        }
    }
    // One sample either side of the window, so the line runs to the plot's edges.
    const int first = std::max(0, static_cast<int>(std::floor(view.t0)));
    const int last = std::min(n - 1, static_cast<int>(std::ceil(view.t1)));
    for (int i = first; i <= last; ++i) {
        double t = i;
        double v = history[static_cast<std::size_t>(i)];
        // The samples beyond the window are cut at the plot's edge, on the line to them.
        const bool outside = t < view.t0 || t > view.t1;
        if (outside) {
            const int j = t < view.t0 ? i + 1 : i - 1;
            if (j < first || j > last)
                continue;
            const double edge = t < view.t0 ? view.t0 : view.t1;
            const double vj = history[static_cast<std::size_t>(j)];
            v = v + (vj - v) * (edge - t) / (j - t);
            t = edge;
        }
        const TracePoint p{TraceXAtTime(view, t), TraceY(v, s)};
        model.trace.push_back(p);
        if (!outside && measure::Failed(measure::EvaluateLimits(limits, v)))
            model.failedPoints.push_back(p);
    }
    if (n > 0 && n - 1 >= view.t0 && n - 1 <= view.t1)
        model.newestMarker = TracePoint{TraceXAtTime(view, n - 1), TraceY(history[static_cast<std::size_t>(n - 1)], s)};
    return model;
}

}  // namespace velquor
