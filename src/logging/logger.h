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
//
// While the source says it is only away for a while (ILogSource::Returning()),
// or has no reading to give, the run writes no rows and goes on; the row index
// keeps counting rows. The source's notes follow line 1, and are written again
// ahead of the first row after they change.
class CLogger {
public:
    // Called once on the logger's thread when a run ends, after the file is closed.
    // It must not call Start() or Stop() or destroy the logger.
    using FinishedCallback = std::function<void(const LogResult&)>;

    // clock may be null for the system clock; writer may be null for a plain one.
    // source (and clock) must outlive the logger.
    explicit CLogger(ILogSource& source, ILogClock* clock = nullptr,
                     std::unique_ptr<CLogFileWriter> writer = nullptr);
    // Stops a run and joins its thread (Stop()).
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // Opens the file on the calling thread, then starts the thread, which writes
    // line 1 and the title line of columns and the first row one period later. A
    // header the disk refuses ends the run with WriteFailed. Refused while a run is
    // in progress.
    LogStartResult Start(const LogSettings& settings, const std::vector<CColumnInfo>& columns,
                         FinishedCallback finished);
    // As above with the columns BuildLogColumns() gives for the settings.
    LogStartResult Start(const LogSettings& settings, FinishedCallback finished);

    // Ends a run at once (the pause between rows is cut short) and joins the thread.
    void Stop();
    // Asks the run to end and returns at once; the callback reports the end.
    void RequestStop();
    // Asks the run to end and waits at most timeout for it; true when it has ended
    // (the thread is then joined). The destructor joins in any case.
    bool StopAndWait(std::chrono::milliseconds timeout);
    // For a logger that is going away: as StopAndWait, but a run still stuck in the
    // disk after timeout is let go. It then touches neither the source, the clock
    // given to the constructor nor the callback again; it finishes its write, closes
    // the file and ends. The logger starts no further run. True when the run ended
    // in time.
    bool Abandon(std::chrono::milliseconds timeout);
    // The source's connected state may have changed: re-check it now.
    void NotifyConnectionChanged();

    bool Running() const;
    int Rows() const;
    // The path of the current (or last) run; for the thread that calls Start().
    const std::string& Path() const { return m_settings.path; }

private:
    struct RunState;
    static void Run(std::shared_ptr<RunState> run);
    void JoinIfPossible();

    ILogSource& m_source;
    std::shared_ptr<ILogClock> m_pOwnClock;
    ILogClock* m_pClock;
    std::shared_ptr<CLogFileWriter> m_pWriter;
    LogSettings m_settings;
    std::shared_ptr<RunState> m_pRun;
    bool m_bAbandoned = false;
    std::thread m_pLoggerThread;
};

}  // namespace velquor
