#include "display/rolling_record.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace velquor {

namespace {

std::int16_t Tenths(double dbm) {
    const double t = std::round(dbm * 10.0);
    return static_cast<std::int16_t>(std::clamp(t, double(std::numeric_limits<std::int16_t>::min()),
                                                double(std::numeric_limits<std::int16_t>::max())));
}

// Column of a time, or -1 / columns when before or after [t0, t1).
int ColumnOf(std::int64_t t, std::int64_t t0, std::int64_t t1, int columns) {
    if (t < t0)
        return -1;
    if (t >= t1)
        return columns;
    return static_cast<int>((t - t0) * columns / (t1 - t0));
}

void Widen(TraceColumn& c, double lo, double hi) {
    if (!c.any) {
        c.any = true;
        c.min = lo;
        c.max = hi;
        return;
    }
    c.min = std::min(c.min, lo);
    c.max = std::max(c.max, hi);
}

}  // namespace

void RollingRecord::Add(std::int64_t utcMs, double dbm) {
    if (!std::isfinite(dbm))
        return;
    const std::int16_t v = Tenths(dbm);
    if (!m_chunks.empty())
        utcMs = std::max(utcMs, m_chunks.back().last);
    if (m_chunks.empty() || m_chunks.back().tenths.size() >= kChunkReadings ||
        utcMs - m_chunks.back().last > std::numeric_limits<std::uint16_t>::max()) {
        Chunk chunk;
        chunk.t0 = utcMs;
        chunk.last = utcMs;
        // Reserved whole, so a chunk never reallocates while it fills.
        chunk.tenths.reserve(kChunkReadings);
        chunk.stepMs.reserve(kChunkReadings);
        chunk.blocks.reserve(kChunkReadings / kBlockReadings);
        m_chunks.push_back(std::move(chunk));
    }
    Chunk& c = m_chunks.back();
    c.stepMs.push_back(static_cast<std::uint16_t>(utcMs - c.last));
    c.tenths.push_back(v);
    c.last = utcMs;
    if ((c.tenths.size() - 1) % kBlockReadings == 0)
        c.blocks.push_back(Block{utcMs, utcMs, v, v});
    Block& b = c.blocks.back();
    b.t1 = utcMs;
    b.min = std::min(b.min, v);
    b.max = std::max(b.max, v);
    b.sum += v;
    Trim();
}

void RollingRecord::SetSpan(std::int64_t spanMs) {
    m_spanMs = spanMs;
    Trim();
}

void RollingRecord::Trim() {
    // Whole chunks go once all their readings are older than the span.
    while (m_chunks.size() > 1 && m_chunks.front().last < m_chunks.back().last - m_spanMs)
        m_chunks.pop_front();
}

std::size_t RollingRecord::Size() const {
    std::size_t n = 0;
    for (const Chunk& c : m_chunks)
        n += c.tenths.size();
    return n;
}

std::size_t RollingRecord::Bytes() const {
    std::size_t n = 0;
    for (const Chunk& c : m_chunks)
        n += sizeof(Chunk) + c.tenths.capacity() * sizeof(std::int16_t) +
             c.stepMs.capacity() * sizeof(std::uint16_t) + c.blocks.capacity() * sizeof(Block);
    return n;
}

std::vector<TraceColumn> RollingRecord::Columns(std::int64_t t0Ms, std::int64_t t1Ms,
                                                int columns) const {
    std::vector<TraceColumn> out(static_cast<std::size_t>(std::max(columns, 0)));
    if (columns <= 0 || t1Ms <= t0Ms)
        return out;
    const double msPerColumn = double(t1Ms - t0Ms) / columns;
    for (const Chunk& c : m_chunks) {
        if (c.last < t0Ms || c.t0 >= t1Ms)
            continue;
        std::size_t i = 0;
        std::int64_t t = c.t0;
        for (const Block& b : c.blocks) {
            const std::size_t n = std::min(kBlockReadings, c.tenths.size() - i);
            const int first = ColumnOf(b.t0, t0Ms, t1Ms, columns);
            const int last = ColumnOf(b.t1, t0Ms, t1Ms, columns);
            // A block inside one column counts whole; one that crosses a column edge
            // or the range's ends, or lasts long against a column, is read reading by reading.
            if (first == last && first >= 0 && first < columns &&
                double(b.t1 - b.t0) < msPerColumn) {
                Widen(out[static_cast<std::size_t>(first)], b.min / 10.0, b.max / 10.0);
                t = b.t1;
            } else if (last >= 0 && first < columns) {
                for (std::size_t k = i; k < i + n; ++k) {
                    t = k == 0 ? c.t0 : t + c.stepMs[k];
                    const int col = ColumnOf(t, t0Ms, t1Ms, columns);
                    if (col >= 0 && col < columns)
                        Widen(out[static_cast<std::size_t>(col)], c.tenths[k] / 10.0,
                              c.tenths[k] / 10.0);
                }
            } else {
                t = b.t1;
            }
            i += n;
        }
    }
    return out;
}

std::optional<TraceSampleAt> RollingRecord::ValueAt(std::int64_t utcMs) const {
    std::optional<TraceSampleAt> best;
    const auto consider = [&](std::int64_t t, std::int16_t v) {
        if (!best || std::llabs(t - utcMs) < std::llabs(static_cast<std::int64_t>(best->t) - utcMs))
            best = TraceSampleAt{double(t), v / 10.0};
    };
    for (const Chunk& c : m_chunks) {
        if (c.last < utcMs) {
            consider(c.last, c.tenths.back());
            continue;
        }
        std::size_t i = 0;
        for (const Block& b : c.blocks) {
            const std::size_t n = std::min(kBlockReadings, c.tenths.size() - i);
            if (b.t1 >= utcMs) {
                std::int64_t t = b.t0;
                for (std::size_t k = i; k < i + n; ++k) {
                    t = k == i ? b.t0 : t + c.stepMs[k];
                    consider(t, c.tenths[k]);
                    if (t >= utcMs)
                        return best;
                }
            }
            i += n;
        }
        return best;
    }
    return best;
}

TraceSpanStats RollingRecord::StatsBetween(std::int64_t t0Ms, std::int64_t t1Ms) const {
    if (t0Ms > t1Ms)
        std::swap(t0Ms, t1Ms);
    TraceSpanStats stats;
    std::int64_t sum = 0;  // tenths
    std::int16_t lo = 0, hi = 0;
    const auto take = [&](std::int16_t min, std::int16_t max, std::int64_t s, int count) {
        lo = stats.count == 0 ? min : std::min(lo, min);
        hi = stats.count == 0 ? max : std::max(hi, max);
        sum += s;
        stats.count += count;
    };
    for (const Chunk& c : m_chunks) {
        if (c.last < t0Ms || c.t0 > t1Ms)
            continue;
        std::size_t i = 0;
        for (const Block& b : c.blocks) {
            const std::size_t n = std::min(kBlockReadings, c.tenths.size() - i);
            if (b.t0 >= t0Ms && b.t1 <= t1Ms) {
                take(b.min, b.max, b.sum, static_cast<int>(n));
            } else if (b.t1 >= t0Ms && b.t0 <= t1Ms) {
                std::int64_t t = b.t0;
                for (std::size_t k = i; k < i + n; ++k) {
                    t = k == i ? b.t0 : t + c.stepMs[k];
                    if (t >= t0Ms && t <= t1Ms)
                        take(c.tenths[k], c.tenths[k], c.tenths[k], 1);
                }
            }
            i += n;
        }
    }
    if (stats.count > 0) {
        stats.min = lo / 10.0;
        stats.max = hi / 10.0;
        stats.mean = double(sum) / stats.count / 10.0;
    }
    return stats;
}

}  // namespace velquor
