#pragma once

#include <cstddef>
#include <deque>
#include <vector>

namespace velquor {

// Each meter's power over the last span of seconds, every reading kept, for the
// station view's graph. A NaN power marks a gap (the meter was lost).
class StationTrace {
public:
    struct Point {
        double t_s;
        double dbm;
    };

    StationTrace(std::size_t meters, double span_s) : m_series(meters), m_span(span_s) {}

    // Times must not run backwards per meter; older points than the span are let go.
    void Add(std::size_t meter, double t_s, double dbm);
    void SetSpan(double span_s);
    // One more meter, with no points yet.
    void AddMeter() { m_series.emplace_back(); }
    double Span() const { return m_span; }
    std::size_t Meters() const { return m_series.size(); }
    const std::deque<Point>& Series(std::size_t meter) const { return m_series[meter]; }
    // The newest time of any meter (0 before the first point).
    double Latest() const { return m_latest; }

private:
    void Trim(std::deque<Point>& series) const;

    std::vector<std::deque<Point>> m_series;
    double m_span;
    double m_latest = 0.0;
};

// A series reduced to one column per pixel between t0 and t1: the lowest and the
// highest power in each, so a spike shorter than a pixel still shows.
struct TraceColumn {
    bool any = false;
    bool gap = false;  // the meter was lost here: the line breaks
    double min = 0.0;
    double max = 0.0;
};
std::vector<TraceColumn> TraceColumns(const std::deque<StationTrace::Point>& series, double t0,
                                      double t1, int columns);

}  // namespace velquor
