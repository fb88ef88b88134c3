#pragma once

// Shared by the logging tests: a temporary directory, a scripted reading source and
// clock, and a file size limit for disk-full runs.

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "logging/log_clock.h"
#include "logging/log_source.h"

#include "common/temp_dir.h"

namespace velquor::testing {

namespace fs = std::filesystem;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

class FakeSource : public ILogSource {
public:
    bool Connected() const override { return connected.load(); }
    std::optional<LogReading> Reading() const override {
        if (!hasReading.load())
            return std::nullopt;
        return LogReading{powerDbm.load(), temperatureC.load()};
    }
    std::string Notes() const override {
        std::lock_guard lock(notesLock);
        return notes;
    }
    void SetNotes(const std::string& text) {
        std::lock_guard lock(notesLock);
        notes = text;
    }
    std::atomic<bool> connected{true};
    std::atomic<bool> hasReading{true};
    mutable std::mutex notesLock;
    std::string notes;
    std::atomic<double> powerDbm{0.0};
    std::atomic<double> temperatureC{25.0};
};

// Pauses return at once. Every pause is recorded and may run a script step, so a
// test decides what each period brings (new readings, a lost link).
class FakeClock : public ILogClock {
public:
    LogTimeStamp LocalNow() override {
        std::lock_guard lock(m_lock);
        return stamp;
    }
    void Sleep(std::chrono::milliseconds period, const std::function<bool()>&) override {
        std::function<void(int)> step;
        int count = 0;
        {
            std::lock_guard lock(m_lock);
            periods.push_back(period);
            count = static_cast<int>(periods.size());
            ++stamp.second;
            step = onSleep;
        }
        if (step)
            step(count);
    }
    void Wake() override {}

    std::vector<std::chrono::milliseconds> Periods() {
        std::lock_guard lock(m_lock);
        return periods;
    }

    std::mutex m_lock;
    LogTimeStamp stamp{9, 5, 2, 3, 7, 2008};
    std::vector<std::chrono::milliseconds> periods;
    // Called after the count-th pause has been recorded.
    std::function<void(int count)> onSleep;
};

// Disconnects the source during pause number rows + 1, so exactly rows rows are
// written.
inline void DisconnectAfterRows(FakeClock& clock, FakeSource& source, int rows) {
    clock.onSleep = [&source, rows](int count) {
        if (count > rows)
            source.connected.store(false);
    };
}

// Limits the size of files this process writes, as a full disk would, and ignores
// the signal that would otherwise end the process. Restores both when destroyed.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    bool Ok() const { return m_ok; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

}  // namespace velquor::testing
