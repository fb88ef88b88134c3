#include "meter/frame_timing_log.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <system_error>

#include "meter/platform_io.h"
#include "meter/unit_parameters.h"

namespace velquor {

namespace {

bool KnownEvent(char c) {
    return c == 'S' || c == 'D' || c == 'H' || c == 'P';
}

// One decimal integer field followed by the end or a single blank.
bool ParseField(std::string_view& rest, std::int64_t& value) {
    const char* first = rest.data();
    const char* last = rest.data() + rest.size();
    const auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec != std::errc() || ptr == first)
        return false;
    rest.remove_prefix(static_cast<std::size_t>(ptr - first));
    return true;
}

void AppendInt(std::string& out, std::int64_t value) {
    char digits[24];
    const auto [ptr, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, ec == std::errc() ? ptr : digits);
}

void AppendRecord(std::string& out, const TimingRecord& record) {
    out += static_cast<char>(record.event);
    out += ' ';
    AppendInt(out, record.tag);
    out += ' ';
    AppendInt(out, record.ns);
}

}  // namespace

std::string FormatTimingRecord(const TimingRecord& record) {
    std::string line;
    AppendRecord(line, record);
    return line;
}

std::optional<TimingRecord> ParseTimingRecord(std::string_view line) {
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (line.size() < 5 || !KnownEvent(line[0]) || line[1] != ' ')
        return std::nullopt;
    TimingRecord record;
    record.event = static_cast<TimingEvent>(line[0]);
    line.remove_prefix(2);
    if (!ParseField(line, record.tag) || line.empty() || line[0] != ' ')
        return std::nullopt;
    line.remove_prefix(1);
    if (!ParseField(line, record.ns) || !line.empty() || record.ns < 0)
        return std::nullopt;
    return record;
}

std::int64_t MonotonicNs() {
    // CLOCK_MONOTONIC on Linux, the same clock other processes' logs use.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::optional<std::int64_t> MeasurementTag(const std::uint8_t* payload, int length) {
    if (payload == nullptr || length < 4 || payload[0] != kOpMeasurement)
        return std::nullopt;
    return static_cast<std::int16_t>(payload[2] | (payload[3] << 8));
}

std::unique_ptr<CFrameTimingLog> CFrameTimingLog::Open(const std::string& path,
                                                       std::string& error) {
    int openError = 0;
    const int fd = platform::CreateForWriting(path, openError);
    if (fd < 0) {
        error = path + ": " + std::error_code(openError, std::generic_category()).message();
        return nullptr;
    }
    return std::make_unique<CFrameTimingLog>(fd);
}

std::unique_ptr<CFrameTimingLog> CFrameTimingLog::FromEnvironment(std::string& error) {
    const char* path = std::getenv(kTimingLogVariable);
    if (path == nullptr || *path == '\0')
        return nullptr;
    return Open(path, error);
}

CFrameTimingLog::CFrameTimingLog(int fd, std::size_t capacity)
    : m_fd(fd), m_capacity(capacity > 0 ? capacity : 1) {
    m_buffer.reserve(m_capacity);
}

CFrameTimingLog::~CFrameTimingLog() {
    Flush();
    if (m_fd >= 0)
        platform::CloseFile(m_fd);
}

void CFrameTimingLog::Record(TimingEvent event, std::int64_t tag, std::int64_t ns) {
    std::lock_guard lock(m_lock);
    if (m_bFailed)
        return;
    m_buffer.push_back({event, tag, ns});
    if (m_buffer.size() >= m_capacity)
        FlushLocked();
}

bool CFrameTimingLog::Flush() {
    std::lock_guard lock(m_lock);
    return FlushLocked();
}

bool CFrameTimingLog::FlushLocked() {
    if (m_bFailed)
        return false;
    std::string text;
    text.reserve(m_buffer.size() * 28);
    for (const TimingRecord& record : m_buffer) {
        AppendRecord(text, record);
        text += '\n';
    }
    m_buffer.clear();
    std::size_t done = 0;
    while (done < text.size()) {
        const long long n = platform::WriteSome(m_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_bFailed = true;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace velquor
