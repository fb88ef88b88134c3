#include "logging/logger.h"

#include "logging/log_format.h"

namespace velquor {

// What the thread works on. Shared with the logger, so a run let go by Abandon()
// still has its writer and flags after the logger is gone; the source, the clock
// and the callback are reached only under the lock and only while not abandoned.
struct CLogger::RunState {
    ILogSource* source = nullptr;
    std::shared_ptr<ILogClock> ownClock;
    ILogClock* clock = nullptr;
    std::shared_ptr<CLogFileWriter> writer;
    LogSettings settings;
    std::string head;
    std::string notes;  // the source's notes as last written to the file
    FinishedCallback finished;

    std::mutex lock;
    bool abandoned = false;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{true};
    std::atomic<int> rows{0};
    std::condition_variable done;

    enum class Source { kConnected, kAway, kGone };
    // The source's state, or kGone once the run should end.
    Source Check() {
        std::lock_guard guard(lock);
        if (abandoned || stop.load())
            return Source::kGone;
        if (source->Connected())
            return Source::kConnected;
        return source->Returning() ? Source::kAway : Source::kGone;
    }
    // Pauses one period unless the run is to end; false once abandoned.
    bool Pause() {
        {
            std::lock_guard guard(lock);
            if (abandoned)
                return false;
        }
        clock->Sleep(std::chrono::milliseconds(settings.periodMs),
                     [this] { return Check() == Source::kGone; });
        return true;
    }
};

CLogger::CLogger(ILogSource& source, ILogClock* clock, std::unique_ptr<CLogFileWriter> writer)
    : m_source(source),
      m_pOwnClock(clock == nullptr ? std::make_shared<CSystemLogClock>() : nullptr),
      m_pClock(clock != nullptr ? clock : m_pOwnClock.get()),
      m_pWriter(writer != nullptr ? std::move(writer) : std::make_unique<CLogFileWriter>()) {}

CLogger::~CLogger() {
    Stop();
}

bool CLogger::Running() const {
    return m_pRun != nullptr && m_pRun->running.load();
}

int CLogger::Rows() const {
    return m_pRun != nullptr ? m_pRun->rows.load() : 0;
}

LogStartResult CLogger::Start(const LogSettings& settings, FinishedCallback finished) {
    return Start(settings, BuildLogColumns(settings.includeHeader, settings.includeIndex, nullptr),
                 std::move(finished));
}

LogStartResult CLogger::Start(const LogSettings& settings, const std::vector<CColumnInfo>& columns,
                              FinishedCallback finished) {
    if (Running() || m_bAbandoned)
        return {LogStart::AlreadyRunning, {}};
    // A run that has ended may not have been joined yet.
    JoinIfPossible();
    m_settings = settings;
    if (!m_pWriter->Open(settings.path))
        return {LogStart::OpenFailed, m_pWriter->Error()};
    auto run = std::make_shared<RunState>();
    run->source = &m_source;
    run->ownClock = m_pOwnClock;
    run->clock = m_pClock;
    run->writer = m_pWriter;
    run->settings = settings;
    run->notes = m_source.Notes();
    run->head = FormatLogFirstLine(settings.serialNumber) + run->notes +
                FormatLogTitleLine(columns, settings.delimiter);
    run->finished = std::move(finished);
    m_pRun = run;
    m_pLoggerThread = std::thread(&CLogger::Run, std::move(run));
    return {LogStart::Started, {}};
}

void CLogger::Run(std::shared_ptr<RunState> run) {
    CLogFileWriter& writer = *run->writer;
    const LogSettings& settings = run->settings;
    LogResult result;
    result.path = settings.path;
    int index = 0;
    // The header is synced here: a slow disk must not stall the thread that started
    // the run.
    bool ok = writer.Append(run->head);
    bool more = ok && run->Pause();
    while (more) {
        std::string row;
        {
            std::lock_guard guard(run->lock);
            if (run->abandoned || run->stop.load()) {
                result.end = LogEnd::Stopped;
                break;
            }
            if (!run->source->Connected()) {
                if (!run->source->Returning()) {
                    result.end = LogEnd::Disconnected;
                    break;
                }
            } else if (std::optional<LogSample> sample = run->source->Sample()) {
                // Rows after a change of what was applied to the powers say so first.
                if (sample->notes != run->notes) {
                    row = FormatLogNotesChange(sample->notes);
                    run->notes = std::move(sample->notes);
                }
                row += FormatLogRow(settings.includeIndex, index, sample->reading,
                                    run->clock->LocalNow(), settings.delimiter);
            }
        }
        if (!row.empty()) {
            if (!writer.Append(row)) {
                ok = false;
                break;
            }
            ++index;
            run->rows.store(index);
        }
        more = run->Pause();
    }
    if (!more && ok)
        result.end = LogEnd::Stopped;
    if (!writer.Close())
        ok = false;
    if (!ok) {
        result.end = LogEnd::WriteFailed;
        result.error = writer.Error();
    }
    result.rows = index;
    std::lock_guard guard(run->lock);
    if (!run->abandoned && run->finished)
        run->finished(result);
    run->running.store(false);
    run->done.notify_all();
}

void CLogger::JoinIfPossible() {
    if (m_pLoggerThread.joinable() && m_pLoggerThread.get_id() != std::this_thread::get_id())
        m_pLoggerThread.join();
}

void CLogger::RequestStop() {
    if (m_pRun == nullptr)
        return;
    m_pRun->stop.store(true);
    m_pClock->Wake();
}

void CLogger::Stop() {
    RequestStop();
    JoinIfPossible();
}

bool CLogger::StopAndWait(std::chrono::milliseconds timeout) {
    if (m_pRun == nullptr)
        return true;
    RequestStop();
    std::unique_lock lock(m_pRun->lock);
    const bool ended =
        m_pRun->done.wait_for(lock, timeout, [this] { return !m_pRun->running.load(); });
    lock.unlock();
    if (ended)
        JoinIfPossible();
    return ended;
}

bool CLogger::Abandon(std::chrono::milliseconds timeout) {
    // A run already let go is not waited for a second time.
    if (m_bAbandoned && !m_pLoggerThread.joinable())
        return !Running();
    m_bAbandoned = true;
    if (StopAndWait(timeout))
        return true;
    {
        std::lock_guard guard(m_pRun->lock);
        m_pRun->abandoned = true;
    }
    // The thread now owns everything it still touches; it ends after its write.
    if (m_pLoggerThread.joinable())
        m_pLoggerThread.detach();
    return false;
}

void CLogger::NotifyConnectionChanged() {
    m_pClock->Wake();
}

}  // namespace velquor
