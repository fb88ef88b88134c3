#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "display/station_trace.h"
#include "display/trace_view_window.h"

namespace velquor {

inline constexpr int kRollingMaxHours = 24;

// Every reading of the last hours, kept compactly for a long unattended record: the
// power in tenths of a dB as int16 and the time as a 16-bit ms step from the reading
// before, in chunks that each start from a full UTC time. Four bytes a reading (about
// 3.1 MB a meter-hour at 213 readings a second), plus a min/max summary per block of
// readings so a whole day draws from the summaries instead of every reading.
class RollingRecord {
public:
    explicit RollingRecord(std::int64_t spanMs) : m_spanMs(spanMs) {}

    // A reading; a time earlier than the newest is taken as the newest (the clock was
    // set back), a step longer than 65.5 s starts a new chunk. A power that is not
    // finite is not stored: the record shows a gap there.
    void Add(std::int64_t utcMs, double dbm);
    void Clear() { m_chunks.clear(); }
    void SetSpan(std::int64_t spanMs);

    std::int64_t SpanMs() const { return m_spanMs; }
    std::size_t Size() const;
    // Memory the readings and summaries take.
    std::size_t Bytes() const;
    std::int64_t Newest() const { return m_chunks.empty() ? 0 : m_chunks.back().last; }
    std::int64_t Oldest() const { return m_chunks.empty() ? 0 : m_chunks.front().t0; }

    // The lowest and highest power in each of `columns` columns between t0 and t1 (ms).
    std::vector<TraceColumn> Columns(std::int64_t t0Ms, std::int64_t t1Ms, int columns) const;

    // The cursors' lookups: the reading nearest a time (nothing when empty), and the
    // readings between two times, from the block summaries where a block lies inside.
    std::optional<TraceSampleAt> ValueAt(std::int64_t utcMs) const;
    TraceSpanStats StatsBetween(std::int64_t t0Ms, std::int64_t t1Ms) const;

    static constexpr std::size_t kChunkReadings = 65536;
    static constexpr std::size_t kBlockReadings = 256;

private:
    struct Block {
        std::int64_t t0 = 0;
        std::int64_t t1 = 0;
        std::int16_t min = 0;
        std::int16_t max = 0;
        std::int32_t sum = 0;  // tenths: 256 readings of at most 32767 fit
    };
    struct Chunk {
        std::int64_t t0 = 0;    // time of the first reading
        std::int64_t last = 0;  // time of the newest reading
        std::vector<std::int16_t> tenths;
        std::vector<std::uint16_t> stepMs;  // from the reading before; 0 for the first
        std::vector<Block> blocks;
    };
    void Trim();

    std::int64_t m_spanMs;
    std::deque<Chunk> m_chunks;
};

}  // namespace velquor
