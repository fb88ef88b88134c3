#include "logging/logger.h"

#include "logging/log_format.h"

namespace velquor {

CLogger::CLogger(ILogSource& source, ILogClock* clock, std::unique_ptr<CLogFileWriter> writer)
    : m_source(source),
      m_pOwnClock(clock == nullptr ? std::make_unique<CSystemLogClock>() : nullptr),
      m_clock(clock != nullptr ? *clock : *m_pOwnClock),
      m_pWriter(writer != nullptr ? std::move(writer) : std::make_unique<CLogFileWriter>()) {}

CLogger::~CLogger() {
    Stop();
}

LogStartResult CLogger::Start(const LogSettings& settings, FinishedCallback finished) {
    return Start(settings, BuildLogColumns(settings.includeHeader, settings.includeIndex, nullptr),
                 std::move(finished));
}

LogStartResult CLogger::Start(const LogSettings& settings, const std::vector<CColumnInfo>& columns,
                              FinishedCallback finished) {
    if (m_bRunning.load())
        return {LogStart::AlreadyRunning, {}};
    // A run that has ended may not have been joined yet.
    JoinIfPossible();
    m_settings = settings;
    m_nRows.store(0);
    m_bStop.store(false);
    if (!m_pWriter->Open(settings.path))
        return {LogStart::OpenFailed, m_pWriter->Error()};
    if (!m_pWriter->Append(FormatLogFirstLine(settings.serialNumber) +
                           FormatLogTitleLine(columns, settings.delimiter))) {
        LogStartResult result{LogStart::WriteFailed, m_pWriter->Error()};
        m_pWriter->Close();
        return result;
    }
    m_bRunning.store(true);
    m_pLoggerThread = std::thread(&CLogger::Run, this, std::move(finished));
    return {LogStart::Started, {}};
}

bool CLogger::StopRequested() const {
    return m_bStop.load() || !m_source.Connected();
}

void CLogger::Run(FinishedCallback finished) {
    const std::chrono::milliseconds period(m_settings.periodMs);
    const auto interrupted = [this] { return StopRequested(); };
    LogResult result;
    result.path = m_settings.path;
    int index = 0;
    m_clock.Sleep(period, interrupted);
    for (;;) {
        if (m_bStop.load()) {
            result.end = LogEnd::Stopped;
            break;
        }
        if (!m_source.Connected()) {
            result.end = LogEnd::Disconnected;
            break;
        }
        const std::string row = FormatLogRow(m_settings.includeIndex, index, m_source.Reading(),
                                             m_clock.LocalNow(), m_settings.delimiter);
        if (!m_pWriter->Append(row)) {
            result.end = LogEnd::WriteFailed;
            break;
        }
        ++index;
        m_nRows.store(index);
        m_clock.Sleep(period, interrupted);
    }
    if (!m_pWriter->Close())
        result.end = LogEnd::WriteFailed;
    if (result.end == LogEnd::WriteFailed)
        result.error = m_pWriter->Error();
    result.rows = index;
    if (finished)
        finished(result);
    {
        std::lock_guard lock(m_doneLock);
        m_bRunning.store(false);
    }
    m_done.notify_all();
}

void CLogger::JoinIfPossible() {
    if (m_pLoggerThread.joinable() && m_pLoggerThread.get_id() != std::this_thread::get_id())
        m_pLoggerThread.join();
}

void CLogger::Stop() {
    m_bStop.store(true);
    m_clock.Wake();
    JoinIfPossible();
}

bool CLogger::StopAndWait(std::chrono::milliseconds timeout) {
    m_bStop.store(true);
    m_clock.Wake();
    std::unique_lock lock(m_doneLock);
    const bool ended = m_done.wait_for(lock, timeout, [this] { return !m_bRunning.load(); });
    lock.unlock();
    if (ended)
        JoinIfPossible();
    return ended;
}

void CLogger::NotifyConnectionChanged() {
    m_clock.Wake();
}

}  // namespace velquor
