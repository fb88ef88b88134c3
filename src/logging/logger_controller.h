#pragma once

#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "logging/column_info.h"
#include "logging/log_clock.h"
#include "logging/log_source.h"
#include "logging/log_ui.h"
#include "logging/logger.h"

namespace velquor {

// The "Save Measurement Data" command for the view: checks, dialog and messages on
// the GUI thread, rows on the logger's thread, and the end of a run handed back to
// the GUI thread, where the file is opened or the error shown. Lives on the GUI
// thread; source must outlive it.
class CLoggerController : public QObject {
public:
    static constexpr int kShutdownWaitMs = 1500;

    CLoggerController(ILogSource& source, std::unique_ptr<ILogUi> ui, ILogClock* clock = nullptr,
                      QObject* parent = nullptr);
    // Ends a running log at once and finishes it (Shutdown()).
    ~CLoggerController() override;

    // The view's m_wndHeader; may stay unset.
    void SetColumnHeader(IColumnHeader* header) { m_pHeader = header; }

    // Handler of command 214.
    void OnSaveMeasurementData(const QString& saveRateText, const std::string& serialNumber);
    // Call when the view's connected flag changes, so a running log ends at once.
    void NotifyConnectionChanged() { m_logger.NotifyConnectionChanged(); }
    // The "Stop Saving" command: ends a running log after the row being written;
    // the end is handled like any other (the file is opened).
    void StopSaving() { m_logger.RequestStop(); }
    // For the view's teardown: stops a running log without waiting for its period
    // and finishes the run here (the file is opened as at any end). A log stuck in a
    // slow disk is waited for at most kShutdownWaitMs; it is then let go to finish
    // its row and close the file on its own.
    void Shutdown();

    bool Running() const { return m_logger.Running(); }
    int Rows() const { return m_logger.Rows(); }
    const std::vector<CColumnInfo>& Columns() const { return m_arrColumns; }
    bool LogIndex() const { return m_bLogIndex; }
    bool LogHeader() const { return m_bLogHeader; }
    const std::string& LogFile() const { return m_strLogFile; }

    // Called on the GUI thread after a run's end has been handled.
    void SetFinishedHook(std::function<void(const LogResult&)> hook) {
        m_finishedHook = std::move(hook);
    }

private:
    void HandleFinished(bool closing);

    ILogSource& m_source;
    std::unique_ptr<ILogUi> m_pUi;
    IColumnHeader* m_pHeader = nullptr;
    std::vector<CColumnInfo> m_arrColumns;
    bool m_bLogIndex = false;
    bool m_bLogHeader = false;
    std::string m_strLogFile;
    std::function<void(const LogResult&)> m_finishedHook;
    std::mutex m_pendingLock;
    std::deque<LogResult> m_pending;
    // Last, so its thread is joined before the members above go.
    CLogger m_logger;
};

}  // namespace velquor
