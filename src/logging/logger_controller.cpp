#include "logging/logger_controller.h"

#include <QMetaObject>

#include "logging/log_messages.h"
#include "logging/save_rate.h"
#include "meter/prompt.h"

namespace velquor {

CLoggerController::CLoggerController(ILogSource& source, std::unique_ptr<ILogUi> ui,
                                     ILogClock* clock, QObject* parent)
    : QObject(parent), m_source(source), m_pUi(std::move(ui)), m_logger(source, clock) {}

CLoggerController::~CLoggerController() {
    Shutdown();
}

void CLoggerController::OnSaveMeasurementData(const QString& saveRateText,
                                              const std::string& serialNumber) {
    if (!m_source.Connected()) {
        m_pUi->ShowMessage(kMsgNotConnected, kAppTitle, true);
        return;
    }
    // Two runs would share the column list and the file name; refuse the second.
    if (m_logger.Running()) {
        m_pUi->ShowMessage(AlreadyLoggingMessage(m_strLogFile), kAppTitle, true);
        return;
    }
    const SaveRate rate = ParseSaveRate(saveRateText.toStdString());
    if (rate.check != SaveRateCheck::Ok) {
        m_pUi->ShowMessage(SaveRateMessage(rate.check), kAppTitle, true);
        return;
    }
    const std::optional<LogFileOptions> options = m_pUi->AskSaveOptions();
    if (!options)
        return;

    m_strLogFile = options->path;
    m_bLogHeader = options->includeHeader;
    m_bLogIndex = options->includeIndex;
    m_arrColumns = BuildLogColumns(m_bLogHeader, m_bLogIndex, m_pHeader);

    LogSettings settings;
    settings.path = m_strLogFile;
    settings.serialNumber = serialNumber;
    settings.delimiter = options->delimiter;
    settings.includeHeader = m_bLogHeader;
    settings.includeIndex = m_bLogIndex;
    settings.periodMs = rate.periodMs;
    const LogStartResult start =
        m_logger.Start(settings, m_arrColumns, [this](const LogResult& result) {
            {
                std::lock_guard lock(m_pendingLock);
                m_pending.push_back(result);
            }
            // Runs on the logger's thread; the end is handled on the GUI thread. A
            // call still queued when this object goes is dropped, and Shutdown()
            // handles the result instead.
            QMetaObject::invokeMethod(
                this, [this] { HandleFinished(false); }, Qt::QueuedConnection);
        });
    switch (start.status) {
        case LogStart::Started:
            break;
        case LogStart::OpenFailed:
            m_pUi->ShowMessage(OpenErrorMessage(m_strLogFile), kCaptionFileOpenError, false);
            break;
        case LogStart::WriteFailed:
            m_pUi->ShowMessage(WriteErrorMessage(m_strLogFile, start.error), kCaptionFileWriteError,
                               true);
            break;
        case LogStart::AlreadyRunning:
            m_pUi->ShowMessage(AlreadyLoggingMessage(m_logger.Path()), kAppTitle, true);
            break;
    }
}

void CLoggerController::Shutdown() {
    m_logger.Abandon(std::chrono::milliseconds(kShutdownWaitMs));
    HandleFinished(true);
}

void CLoggerController::HandleFinished(bool closing) {
    for (;;) {
        LogResult result;
        {
            std::lock_guard lock(m_pendingLock);
            if (m_pending.empty())
                return;
            result = std::move(m_pending.front());
            m_pending.pop_front();
        }
        if (result.end == LogEnd::WriteFailed) {
            // While the view is going away, the box gets no owner.
            m_pUi->ShowMessage(WriteErrorMessage(result.path, result.error), kCaptionFileWriteError,
                               !closing);
        } else {
            m_pUi->OpenFile(result.path);
        }
        if (m_finishedHook)
            m_finishedHook(result);
    }
}

}  // namespace velquor
