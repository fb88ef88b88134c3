#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor {

// Where a tagged measurement frame was seen. The letters are the log's record types.
enum class TimingEvent : char {
    kSent = 'S',     // the meter queued it on the line
    kDecoded = 'D',  // the receive hook decoded it
    kHandled = 'H',  // the view (or the command's loop) handled it
    kPainted = 'P',  // a repaint finished; the tag is the reading the readout shows
};

// One line of a timing log: "<event> <tag> <monotonic ns>".
struct TimingRecord {
    TimingEvent event = TimingEvent::kSent;
    std::int64_t tag = 0;
    std::int64_t ns = 0;

    bool operator==(const TimingRecord&) const = default;
};

// A paint whose readout shows no measured reading carries this tag.
inline constexpr std::int64_t kNoTag = -1;

// Environment variable that names the log file of the GUI and of velquor-cli monitor.
inline constexpr const char* kTimingLogVariable = "VELQUOR_TRACE_FILE";

std::string FormatTimingRecord(const TimingRecord& record);
// Nothing for anything but a well-formed record line (no trailing text, known event).
std::optional<TimingRecord> ParseTimingRecord(std::string_view line);

// CLOCK_MONOTONIC in nanoseconds: one clock for every process on the machine.
std::int64_t MonotonicNs();

// The tag of a measurement frame (opcode first): its raw power field, the signed
// tenths of a dBm. Nothing for any other frame or a measurement too short to carry it.
std::optional<std::int64_t> MeasurementTag(const std::uint8_t* payload, int length);

// Per-frame timestamps for the end-to-end benchmark. Records go to a fixed buffer
// that is written out when full and at destruction, so a long run neither grows
// in memory nor writes per frame. Any thread may record.
class CFrameTimingLog {
public:
    // Creates or truncates the file. Nothing, with a reason, when it cannot.
    static std::unique_ptr<CFrameTimingLog> Open(const std::string& path, std::string& error);
    // The log named by kTimingLogVariable; nothing when it is unset or empty.
    static std::unique_ptr<CFrameTimingLog> FromEnvironment(std::string& error);

    explicit CFrameTimingLog(int fd, std::size_t capacity = 4096);
    ~CFrameTimingLog();
    CFrameTimingLog(const CFrameTimingLog&) = delete;
    CFrameTimingLog& operator=(const CFrameTimingLog&) = delete;

    void Record(TimingEvent event, std::int64_t tag) { Record(event, tag, MonotonicNs()); }
    void Record(TimingEvent event, std::int64_t tag, std::int64_t ns);
    // Writes what is buffered. False once a write has failed; later records are dropped.
    bool Flush();

private:
    bool FlushLocked();

    std::mutex m_lock;
    int m_fd;
    std::size_t m_capacity;
    std::vector<TimingRecord> m_buffer;
    bool m_bFailed = false;
};

}  // namespace velquor
