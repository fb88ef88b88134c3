#include "display/station_trace.h"

#include <algorithm>
#include <cmath>

namespace velquor {

void StationTrace::Add(std::size_t meter, double t_s, double dbm) {
    if (meter >= m_series.size() || !std::isfinite(t_s))
        return;
    std::deque<Point>& series = m_series[meter];
    if (!series.empty() && t_s < series.back().t_s)
        return;
    series.push_back({t_s, dbm});
    m_latest = std::max(m_latest, t_s);
    Trim(series);
}

void StationTrace::SetSpan(double span_s) {
    m_span = span_s;
    for (auto& series : m_series)
        Trim(series);
}

void StationTrace::Trim(std::deque<Point>& series) const {
    while (!series.empty() && series.front().t_s < m_latest - m_span)
        series.pop_front();
}

std::vector<TraceColumn> TraceColumns(const std::deque<StationTrace::Point>& series, double t0,
                                      double t1, int columns) {
    std::vector<TraceColumn> out(static_cast<std::size_t>(std::max(columns, 0)));
    if (out.empty() || !(t1 > t0))
        return out;
    const double per = (t1 - t0) / columns;
    auto it = std::lower_bound(series.begin(), series.end(), t0,
                               [](const StationTrace::Point& p, double t) { return p.t_s < t; });
    for (; it != series.end() && it->t_s <= t1; ++it) {
        const int c = std::min(static_cast<int>((it->t_s - t0) / per), columns - 1);
        TraceColumn& col = out[static_cast<std::size_t>(c)];
        if (!std::isfinite(it->dbm)) {
            col.gap = true;
            continue;
        }
        if (!col.any) {
            col = {true, col.gap, it->dbm, it->dbm};
        } else {
            col.min = std::min(col.min, it->dbm);
            col.max = std::max(col.max, it->dbm);
        }
    }
    return out;
}

}  // namespace velquor
