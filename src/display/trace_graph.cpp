#include "display/trace_graph.h"

#include <algorithm>
#include <cmath>
#include <ctime>

#include "display/station_trace.h"
#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

namespace {

constexpr int kGridSteps = 10;
constexpr double kTraceTimerIntervalMsForClock = 1000.0;
constexpr int kGridStepX = 45;
constexpr int kGridStepY = 20;

// Fewer samples than this give no useful spread, so the graph keeps its default 0..50 dBm.
constexpr int kMinSamplesForScale = 4;

// Formats values with "%3.<d>f", d the fewest decimals from minDecimals up to
// maxDecimals that give every value its own text; a text that would still repeat
// the one before it is left empty.
std::vector<std::string> DistinctTickLabels(const std::vector<double>& values, int minDecimals,
                                            int maxDecimals) {
    std::vector<std::string> texts;
    for (int d = minDecimals; d <= maxDecimals; ++d) {
        texts.clear();
        for (double v : values)
            texts.push_back(FormatC("%3.*f", d, v));
        std::vector<std::string> sorted = texts;
        std::sort(sorted.begin(), sorted.end());
        if (std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end())
            return texts;
    }
    for (std::size_t i = texts.size(); i-- > 1;) {
        if (std::find(texts.begin(), texts.begin() + static_cast<long>(i), texts[i]) !=
            texts.begin() + static_cast<long>(i))
            texts[i].clear();
    }
    return texts;
}

// A clock label is centred under its tick; the last one ends at the plot's right edge
// so that it stays inside the graph.
int ClockLabelX(int k, int x) {
    return k == kGridSteps ? x - 44 : x - 22;
}

int Usable(std::span<const double> values, int n) {
    return std::clamp(n, 0, static_cast<int>(values.size()));
}

}  // namespace

double TraceMax(std::span<const double> values, int n) {
    n = Usable(values, n);
    if (n == 0)
        return 0.0;
    return *std::max_element(values.begin(), values.begin() + n);
}

double TraceMin(std::span<const double> values, int n) {
    n = Usable(values, n);
    if (n == 0)
        return 0.0;
    return *std::min_element(values.begin(), values.begin() + n);
}

namespace {

TraceScale ClassicScale(double lo, double hi) {
    double range = hi - lo;
    // A flat trace would divide by zero; the replacement divisor (0.12) is wider than the
    // margins (0.02), which puts a flat trace near the bottom of the plot.
    if (std::fabs(range) < 0.001)
        range = 0.1;
    return TraceScale{lo - range / 10, hi + range / 10, range * 1.2};
}

}  // namespace

TraceScale ComputeTraceScale(std::span<const double> history, int n) {
    n = std::min({n, kTraceHistorySize, static_cast<int>(history.size())});
    if (n < kMinSamplesForScale)
        return TraceScale{};
    return ClassicScale(TraceMin(history, n), TraceMax(history, n));
}

TraceScale ComputeTraceScale(std::span<const double> history, int n,
                             const TraceGraphOptions& options) {
    const TraceScaleChoice& choice = options.scale;
    const measure::UserLimits& limits = options.limits;
    if (choice.mode == TraceScaleMode::kFixed)
        return TraceScale{choice.fixedBottom, choice.fixedTop, choice.fixedTop - choice.fixedBottom};
    if (choice.mode == TraceScaleMode::kClassic && !limits.Any())
        return ComputeTraceScale(history, n);
    if (choice.mode == TraceScaleMode::kFitLimits && limits.upper_dbm && limits.lower_dbm)
        return NiceTraceScale(*limits.lower_dbm, *limits.upper_dbm);

    // The data, when there is enough of it, and every limit that is on.
    n = std::min({n, kTraceHistorySize, static_cast<int>(history.size())});
    std::optional<double> lo, hi;
    if (n >= kMinSamplesForScale) {
        lo = TraceMin(history, n);
        hi = TraceMax(history, n);
    }
    return TraceScaleForRange(lo, hi, options);
}

TraceScale TraceScaleForRange(std::optional<double> lo, std::optional<double> hi,
                              const TraceGraphOptions& options) {
    const TraceScaleChoice& choice = options.scale;
    const measure::UserLimits& limits = options.limits;
    if (choice.mode == TraceScaleMode::kFixed)
        return TraceScale{choice.fixedBottom, choice.fixedTop, choice.fixedTop - choice.fixedBottom};
    if (choice.mode == TraceScaleMode::kFitLimits && limits.upper_dbm && limits.lower_dbm)
        return NiceTraceScale(*limits.lower_dbm, *limits.upper_dbm);
    for (const std::optional<double>& limit : {limits.lower_dbm, limits.upper_dbm}) {
        if (!limit)
            continue;
        lo = lo ? std::min(*lo, *limit) : *limit;
        hi = hi ? std::max(*hi, *limit) : *limit;
    }
    if (!lo || !hi)
        return TraceScale{};
    return choice.mode == TraceScaleMode::kClassic ? ClassicScale(*lo, *hi)
                                                   : NiceTraceScale(*lo, *hi);
}

std::string UtcClockText(std::int64_t utcMs) {
    const std::time_t seconds = static_cast<std::time_t>(
        utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return FormatC("%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
}

int TraceY(double dbm, const TraceScale& scale) {
    const int y =
        RoundHalfDown(kTracePlotBottom -
                      (dbm - scale.bottom) * (kTracePlotBottom - kTracePlotTop) / scale.divisor);
    // Values beyond the default scale (first seconds of a recording) stay inside the plot
    // instead of running over the labels.
    return std::clamp(y, kTracePlotTop, kTracePlotBottom);
}

TraceGraphModel ComputeTraceGraph(const TraceGraphInput& input) {
    TraceGraphModel model;
    // Nothing is shown after Stop: only the axes with their default labels.
    const int n = input.count < 0 ? 0 : std::max(input.recorded, 0);
    const int stored = std::min({n, kTraceHistorySize, static_cast<int>(input.history.size())});
    const int offset = input.offset;
    // The limits go with a recorded trace: an empty graph stays as it always was.
    TraceGraphOptions options = input.options;
    if (stored <= 0 || input.count <= 0)
        options.limits = {};
    model.scale = ComputeTraceScale(input.history, stored, options);
    const TraceScale& s = model.scale;

    const int last = n > kTraceWindowSize + 1 ? offset + kTraceWindowSize - 1
                     : n > 1                  ? n - 1
                                              : kTraceWindowSize;
    std::vector<double> xValues, yValues;
    for (int k = 0; k <= kGridSteps; ++k) {
        xValues.push_back(offset + static_cast<double>(last - offset) * k / kGridSteps);
        yValues.push_back(s.bottom + (s.top - s.bottom) * k / kGridSteps);
    }
    // The clock needs the time of every stored sample; without it the axis stays in seconds.
    const bool clock = input.options.wallClock && stored > 0 &&
                       static_cast<int>(input.timesMs.size()) >= stored;
    std::vector<std::string> xTexts = DistinctTickLabels(xValues, 0, 1);
    if (clock) {
        for (int k = 0; k <= kGridSteps; ++k) {
            // Every other tick: eight characters do not fit in one step.
            if (k % 2 != 0) {
                xTexts[k].clear();
                continue;
            }
            const double index = xValues[k];
            const int i0 = std::clamp(static_cast<int>(std::floor(index)), 0, stored - 1);
            // Past the newest sample the clock runs on at the recorder's one sample a second.
            const auto t = input.timesMs[i0] + static_cast<std::int64_t>(std::llround(
                                                   (index - i0) * kTraceTimerIntervalMsForClock));
            xTexts[k] = UtcClockText(t);
        }
    }
    const std::vector<std::string> yTexts = DistinctTickLabels(yValues, 2, 4);
    for (int k = 0; k <= kGridSteps; ++k) {
        const int x = kTracePlotLeft + kGridStepX * k;
        const int y = kTracePlotBottom - kGridStepY * k;
        model.xLabels.push_back({xTexts[k], clock ? ClockLabelX(k, x) : x - 15, kTracePlotBottom + 2});
        model.yLabels.push_back({yTexts[k], 12, y - 8});
        model.gridLines.push_back({x, kTracePlotBottom, x, kTracePlotTop});
        model.gridLines.push_back({kTracePlotLeft, y, kTracePlotRight, y});
    }

    const TraceTextExtent& time = input.timeTitleExtent;
    model.timeTitle = {"Second", (kTraceGraphWidth - time.cx) / 2, kTraceTimeTitleY};
    if (clock) {
        const TraceTextExtent& title = input.clockTitleExtent;
        model.timeTitle = {kTraceClockTitle, (kTraceGraphWidth - title.cx) / 2, kTraceTimeTitleY};
    }
    // At the foot of the power axis, in the row of the time title: beside the tick
    // labels there is no room for it without covering them.
    model.powerTitle = {"dBm", 0, kTraceTimeTitleY};

    const measure::UserLimits& limits = options.limits;
    for (const std::optional<double>& limit : {limits.upper_dbm, limits.lower_dbm}) {
        if (limit && *limit >= std::min(s.bottom, s.top) && *limit <= std::max(s.bottom, s.top)) {
            const int y = TraceY(*limit, s);
            model.limitLines.push_back({kTracePlotLeft, y, kTracePlotRight, y});
        }
    }

    if (n <= 0 || offset < 0 || input.count <= 0)
        return model;
    const double xs = n > 1 && n <= kTraceWindowSize ? double(kTraceWindowSize) / (n - 1) : 1.0;
    auto xAt = [&](int i) { return kTracePlotLeft + RoundHalfDown(i * xs); };
    const int visible = std::min(input.count, kTraceWindowSize);
    for (int i = 0; i < visible && offset + i < stored; ++i) {
        const double v = input.history[offset + i];
        model.trace.push_back({xAt(i), TraceY(v, s)});
        if (measure::Failed(measure::EvaluateLimits(limits, v)))
            model.failedPoints.push_back(model.trace.back());
    }

    // The newest sample is marked only while the window shows it.
    const int newest = stored - 1;
    if (newest >= offset && newest < offset + visible) {
        const int i = newest - offset;
        model.newestMarker = TracePoint{xAt(i), TraceY(input.history[newest], s)};
    }
    return model;
}

TraceGraphModel ComputeRollingGraph(std::span<const TraceColumn> columns, std::int64_t t0Ms,
                                    std::int64_t t1Ms, const TraceGraphOptions& options,
                                    TraceTextExtent clockTitle) {
    TraceGraphModel model;
    std::optional<double> lo, hi;
    for (const TraceColumn& c : columns) {
        if (!c.any)
            continue;
        lo = lo ? std::min(*lo, c.min) : c.min;
        hi = hi ? std::max(*hi, c.max) : c.max;
    }
    model.scale = TraceScaleForRange(lo, hi, options);
    const TraceScale& s = model.scale;
    std::vector<double> yValues;
    for (int k = 0; k <= kGridSteps; ++k)
        yValues.push_back(s.bottom + (s.top - s.bottom) * k / kGridSteps);
    const std::vector<std::string> yTexts = DistinctTickLabels(yValues, 2, 4);
    for (int k = 0; k <= kGridSteps; ++k) {
        const int x = kTracePlotLeft + kGridStepX * k;
        const int y = kTracePlotBottom - kGridStepY * k;
        const std::int64_t t = t0Ms + (t1Ms - t0Ms) * k / kGridSteps;
        model.xLabels.push_back({k % 2 == 0 ? UtcClockText(t) : std::string(), ClockLabelX(k, x),
                                 kTracePlotBottom + 2});
        model.yLabels.push_back({yTexts[k], 12, y - 8});
        model.gridLines.push_back({x, kTracePlotBottom, x, kTracePlotTop});
        model.gridLines.push_back({kTracePlotLeft, y, kTracePlotRight, y});
    }
    model.timeTitle = {kTraceClockTitle, (kTraceGraphWidth - clockTitle.cx) / 2, kTraceTimeTitleY};
    model.powerTitle = {"dBm", 0, kTraceTimeTitleY};

    const measure::UserLimits& limits = options.limits;
    for (const std::optional<double>& limit : {limits.upper_dbm, limits.lower_dbm}) {
        if (limit && *limit >= std::min(s.bottom, s.top) && *limit <= std::max(s.bottom, s.top)) {
            const int y = TraceY(*limit, s);
            model.limitLines.push_back({kTracePlotLeft, y, kTracePlotRight, y});
        }
    }
    const TraceColumn* previous = nullptr;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const TraceColumn& c = columns[i];
        if (!c.any) {
            previous = nullptr;  // a gap breaks the line
            continue;
        }
        // Each column reaches to its neighbour's range, so a slow slope stays one line.
        double top = c.max, bottom = c.min;
        if (previous != nullptr) {
            top = std::max(top, previous->min);
            bottom = std::min(bottom, previous->max);
        }
        const int x = kTracePlotLeft + static_cast<int>(i);
        model.envelope.push_back({x, TraceY(top, s), x, TraceY(bottom, s)});
        if (limits.upper_dbm && c.max > *limits.upper_dbm)
            model.failedEnvelope.push_back(
                {x, TraceY(c.max, s), x, TraceY(std::max(c.min, *limits.upper_dbm), s)});
        if (limits.lower_dbm && c.min < *limits.lower_dbm)
            model.failedEnvelope.push_back(
                {x, TraceY(std::min(c.max, *limits.lower_dbm), s), x, TraceY(c.min, s)});
        previous = &c;
    }
    return model;
}

}  // namespace velquor
