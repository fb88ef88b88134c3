#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "logging/column_info.h"
#include "logging/log_clock.h"
#include "logging/log_file_writer.h"
#include "logging/log_source.h"

namespace velquor {

struct LogSettings {
    std::string path;
    std::string serialNumber;
    char delimiter = '\t';
    bool includeHeader = true;
    bool includeIndex = true;
    int periodMs = 1000;
};

enum class LogStart { Started, AlreadyRunning, OpenFailed, WriteFailed };

struct LogStartResult {
    LogStart status = LogStart::Started;
    std::string error;  // the system's reason for OpenFailed and WriteFailed
};

enum class LogEnd {
    Disconnected,  // the source stopped being connected
    Stopped,       // Stop() was called
    WriteFailed,   // a row could not be written or synced, or closing failed
};

struct LogResult {
    LogEnd end = LogEnd::Disconnected;
    std::string path;
    int rows = 0;
    std::string error;  // the system's reason for WriteFailed
};

// Writes the source's readings to a file, one row per period, on a thread of its
// own, until the source is no longer connected or Stop() is called. At most one
// run at a time. Never shows or prints anything: the end is reported through the
// callback.
class CLogger {
public:
    // Called once on the logger's thread when a run ends, after the file is closed.
    // It must not call Start() or Stop() or destroy the logger.
    using FinishedCallback = std::function<void(const LogResult&)>;

    // clock may be null for the system clock; writer may be null for a plain one.
    // source (and clock) must outlive the logger.
    explicit CLogger(ILogSource& source, ILogClock* clock = nullptr,
                     std::unique_ptr<CLogFileWriter> writer = nullptr);
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // Opens the file and writes line 1 and the title line of columns on the
    // calling thread, then starts the thread, whose first row follows one period
    // later. Refused while a run is in progress.
    LogStartResult Start(const LogSettings& settings, const std::vector<CColumnInfo>& columns,
                         FinishedCallback finished);
    // As above with the columns BuildLogColumns() gives for the settings.
    LogStartResult Start(const LogSettings& settings, FinishedCallback finished);

    // Ends a run at once (the pause between rows is cut short) and joins the thread.
    void Stop();
    // Asks the run to end and waits at most timeout for it; true when it has ended
    // (the thread is then joined). The destructor joins in any case.
    bool StopAndWait(std::chrono::milliseconds timeout);
    // The source's connected state may have changed: re-check it now.
    void NotifyConnectionChanged();

    bool Running() const { return m_bRunning.load(); }
    int Rows() const { return m_nRows.load(); }
    // The path of the current (or last) run; for the thread that calls Start().
    const std::string& Path() const { return m_settings.path; }

private:
    void Run(FinishedCallback finished);
    bool StopRequested() const;
    void JoinIfPossible();

    ILogSource& m_source;
    std::unique_ptr<CSystemLogClock> m_pOwnClock;
    ILogClock& m_clock;
    std::unique_ptr<CLogFileWriter> m_pWriter;
    LogSettings m_settings;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRunning{false};
    std::atomic<int> m_nRows{0};
    std::mutex m_doneLock;
    std::condition_variable m_done;
    std::thread m_pLoggerThread;
};

}  // namespace velquor
