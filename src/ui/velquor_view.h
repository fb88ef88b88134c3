#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "display/measurement_panel.h"
#include "display/measurement_update.h"
#include "display/panel_style.h"
#include "display/trace_panel_painter.h"
#include "display/rolling_record.h"
#include "display/trace_export.h"
#include "display/trace_recorder.h"
#include "display/trace_view_window.h"
#include "link/ftdi_driver.h"
#include "link/usb.h"
#include "logging/log_clock.h"
#include "logging/log_ui.h"
#include "logging/meter_log_source.h"
#include "logging/shown_power.h"
#include "meter/frame_timing_log.h"
#include "meter/prompt.h"
#include "meter/sequence_clock.h"
#include "meter/unit_sequences.h"
#include "meter/unit_state.h"
#include "station/reading.h"
#include "station/station.h"

class QLineEdit;

namespace velquor {

class CCDSliderCtrlDiamond;
class CCheckImageButton;
class CImageTextButton;
class CLoggerController;
class CMeasureController;
class COpenWatchDriver;
class IColumnHeader;
class CTraceGraphWindow;
class CVelquorDoc;
class CViewUnitControls;

// Command and control ids of the main view.
enum ViewId : int {
    kIdSetupUnit = 109,
    kIdSlider = 206,
    kIdPlay = 207,
    kIdStop = 208,
    kIdPause = 209,
    kIdEditPeriod = 210,
    kIdTraceArea = 211,
    kIdConnectUnits = 212,
    kIdSaveData = 214,
    kIdHeader = 215,
    kIdEditSaveRate = 108,
};

// The one-meter view: owns a station of one meter (opened, set up and looked for
// again after a loss by the station, the person answering through the prompt) and
// follows its readings like any other subscriber; owns the unit's identity as
// shown, the trace, the logger settings, the fonts and every child control of the
// main window.
class CVelquorView : public QWidget {
    Q_OBJECT

public:
    CVelquorView(IFtdiDriver& driver, CVelquorDoc* document, QWidget* parent = nullptr,
                 LinkTimings timings = {});
    ~CVelquorView() override;

    // Replace the message boxes and the clock of the sequences (tests, the CLI's
    // unattended modes). Call before OnInitialUpdate.
    void SetPrompt(std::unique_ptr<IPrompt> prompt);
    void SetSequenceClock(std::unique_ptr<ISequenceClock> clock);
    void SetLogUi(std::unique_ptr<ILogUi> ui);
    // The log's clock (tests); it must outlive the view. Call before OnInitialUpdate.
    void SetLogClock(ILogClock* clock) { m_pLogClock = clock; }
    // Open this device node directly instead of listing meters. Call before OnInitialUpdate.
    void SetPort(const std::string& port) { m_strPort = port; }
    // Where the reason for a failed open comes from (the serial backend's last
    // error); a connect whose open fails tells the user. Call before OnInitialUpdate.
    void SetOpenFailureReason(std::function<std::string()> reason) {
        m_openFailureReason = std::move(reason);
    }
    // Stamps decoded, handled and painted measurements into log (benchmarks; nothing
    // when null). The log must outlive the view.
    void SetTimingLog(CFrameTimingLog* log);
    // Shortest time between two repaints caused by meter frames (default: one screen
    // refresh). Frames arriving faster are all handled; their repaints are coalesced.
    void SetMinFrameRepaintIntervalMs(int ms) { m_nMinFrameRepaintMs = ms; }
    // Run the connect and setup sequences without the busy indication's helper
    // thread (tests drive them synchronously).
    void SetRunSequencesInline(bool inline_) { m_bSequencesInline = inline_; }

    // "Reconnect Automatically": a lost meter is looked for until it is back, and a
    // running log goes on meanwhile. Off ends a wait in progress.
    void SetReconnect(bool on);
    bool Reconnect() const { return m_bReconnect.load(); }
    bool WaitingForMeter() const;
    // The station the meter runs on (null before OnInitialUpdate): other consumers
    // may subscribe to it.
    station::Station* Station() const { return m_station.get(); }

    void OnInitialUpdate();
    // Handles one entry of the meter's stream: the station's feed delivers them here
    // (tests hand them in directly).
    void OnReading(const station::Reading& reading);

    bool ConnectUnits();
    void OnConnectUnits();
    void OnSetupUnit();
    void OnSaveMeasurementData();
    // "Stop Saving": ends a running log; its file is then opened as at any end.
    void OnStopSaving();
    bool Logging() const;
    // The status bar's idle text: "Ready", or what is going on.
    QString StatusNote() const;
    void OnPlay();
    void OnStop();
    void OnPause();
    void OnTraceTimer();
    void OnSliderReleased(int position);
    // Ask for a file and save the recorded trace (the graph's menu and the File menu).
    void SaveTraceCsv();
    void SaveTracePng();
    // The trace CSV with the conditions in force now; false with a reason.
    bool WriteTraceCsv(const std::string& path, std::string& error) const;
    // Meter, offset, averaging and limits in force now, for files and pages.
    TraceConditions TraceConditionsNow() const;
    // The graph's scale and time axis; a refused fixed scale changes nothing.
    void SetTraceScaleMode(TraceScaleMode mode);
    bool SetTraceFixedScale(const std::string& bottom, const std::string& top,
                            std::string& error);
    void SetTraceWallClock(bool on);
    void AskTraceFixedScale();
    // Play with this period, as typed in the period box.
    void StartTrace(const std::string& period);
    // Keep every reading of the last hours (0: off) and draw them instead of the trace.
    void SetRollingHours(double hours);
    const RollingRecord* Rolling() const { return m_rolling.get(); }
    // Zoom and cursors on the trace graph, as its mouse and menu ask. The zoom is kept
    // in the trace's own time (sample or UTC ms), so new readings do not move it.
    void ZoomTraceRect(int xa, int ya, int xb, int yb);
    void ZoomTraceWheel(int x, int steps);
    void ZoomTraceOut();
    void SetTraceCursors(bool on);
    void MoveTraceCursor(int which, int x);
    const std::optional<TraceViewWindow>& TraceZoom() const { return m_traceZoom; }

    CVelquorDoc* GetDocument() const { return m_pDocument; }
    // The meter's latest reading as handled here.
    const LiveReading& Meter() const { return m_live; }
    UnitState& Unit() { return m_unit; }
    const MeasurementDisplayState& Display() const { return m_display; }
    const CTraceRecorder& Trace() const { return m_trace; }
    CLoggerController* Logger() const { return m_pLogger.get(); }
    // Averaging, statistics, relative, limits, offset, unit and loss table.
    CMeasureController& Measure() const { return *m_pMeasure; }
    bool Busy() const { return m_bBusy; }
    // Nobody waits for the sequence now running any more (the window is closing):
    // its waits end at once, and it shows nothing more. Callable from any thread.
    void AbandonSequence() { m_bAbandon = true; }
    bool TraceTimerActive() const { return m_traceTimer.isActive(); }
    // Frames handled and repaints done since construction.
    long FramesHandled() const { return m_nFramesHandled; }
    long Repaints() const { return m_nRepaints; }
    // The graph as last drawn into the trace graph window.
    const QImage& TraceImage() const;

signals:
    // A log started or ended.
    void loggingChanged(bool logging);
    // The status bar's idle text changed (StatusNote()).
    void statusNoteChanged(const QString& text);
    // A connect or setup sequence has ended (Busy() is false again).
    void sequenceEnded();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private:
    // How often the status note's counts are refreshed.
    static constexpr int kStatusRefreshMs = 250;

    void CreateControls();
    // The power the readouts show: the measurement's result, or the meter's reading
    // while the measurement math is all off.
    double ShownPowerDbm() const;
    // The measurement's shown power, or nothing before its first result.
    std::optional<double> MeasuredPowerDbm() const;
    // Hands the log what the screen shows: the power at each reading, the power and
    // the notes on the measurement settings together at each change.
    void PublishShownPower();
    void PublishMeasureSettings();
    void PlaceSetupControls();
    void TakeReadings();
    // The unit's identity and setup as the station last read them.
    void RefreshUnit();
    station::SequenceFront Front();
    void ScheduleFrameRepaint();
    void OnDraw(QPainter& painter);
    // The Measurement Data panel with the current readings; returns its extent.
    PanelPoint DrawMeasurement(QPainter& painter, bool connected, int x0);
    void RecordPainted();
    // Repaints what a new reading changes: the Measurement Data panel once drawn.
    void UpdateMeasurement();
    void ApplyControlUpdates(const std::vector<ControlUpdate>& updates);
    void ApplyTraceAction(const TraceViewAction& action);
    void RedrawTraceGraph();
    // Cursors a third and two thirds into what the graph shows.
    void PlaceTraceCursors();
    void UpdateTraceCursors();
    void TakeSnapshot(const QImage& painted);
    void RunSequence(const QString& busyText, const std::function<void()>& sequence);
    void OnLoggingChanged();
    void UpdateStatusNote();
    // The meter was lost: with reconnecting on, the station's wait for it begins.
    void OnMeterLost();
    bool WriteLossTableLoss();

    CVelquorDoc* m_pDocument;

    // The meter's station. Its driver reaches the given one through the watch, which
    // notes why an open failed; the view's feed of its readings.
    IFtdiDriver& m_driver;
    const LinkTimings m_timings;
    std::function<std::string()> m_openFailureReason;
    COpenWatchDriver* m_pOpenWatch = nullptr;  // owned by the station's session
    std::unique_ptr<station::Station> m_station;
    std::shared_ptr<station::Subscription> m_feed;
    std::vector<station::Reading> m_readings;
    std::uint64_t m_lastSeq = 0;
    // Readings the window fell behind on, told in the status bar.
    std::uint64_t m_nDropped = 0;
    LiveReading m_live;
    double m_dBattery = 0.0;

    // Connection, unit identity and setup values.
    UnitState m_unit;
    // What the panels show while a sequence runs on its helper thread.
    std::unique_ptr<UnitState> m_pBusyUnit;
    std::atomic<bool> m_bBusy{false};
    std::atomic<bool> m_bAbandon{false};
    // What the sequences ask and tell the user through: m_prompt, unless abandoned;
    // and how many messages the last one gave.
    std::unique_ptr<IPrompt> m_pSequencePrompt;
    int m_nSequenceMessages = 0;
    bool m_bSequencesInline = false;
    bool m_bLinkLostPending = false;
    std::string m_strPort;

    // Readings and display state.
    MeasurementDisplayState m_display;
    std::unique_ptr<CMeasureController> m_pMeasure;
    MeasurementPanelBitmaps m_bitmaps;

    // Trace.
    CTraceRecorder m_trace;
    QBasicTimer m_traceTimer;
    std::unique_ptr<RollingRecord> m_rolling;
    QBasicTimer m_rollingTimer;
    std::optional<TraceViewWindow> m_traceZoom;
    TraceViewWindow m_traceShown;  // the window the graph shows now, zoomed or not
    TraceDataExtent m_traceData;
    bool m_bTraceCursors = false;
    double m_traceCursor[2] = {0.0, 0.0};  // in the trace's time
    std::string m_strTimeUnit = "Second";
    std::string m_strPowerUnit = "dBm";

    // Fonts.
    PanelFonts m_fonts;
    TraceDataPanelFonts m_traceFonts;
    QPen m_framePen;

    // Sequences' collaborators.
    std::unique_ptr<IPrompt> m_prompt;
    std::unique_ptr<ISequenceClock> m_clock;
    std::unique_ptr<CViewUnitControls> m_controls;

    // Child controls (owned by Qt's parent-child tree).
    QWidget* m_wndHeader = nullptr;
    QLineEdit* m_editSerialNumber = nullptr;
    QLineEdit* m_editCalDate = nullptr;
    QLineEdit* m_editFreqRange = nullptr;
    QLineEdit* m_editResolution = nullptr;
    QLineEdit* m_editFirmware = nullptr;
    CImageTextButton* m_btnConnect = nullptr;
    CImageTextButton* m_btnSave = nullptr;
    QLineEdit* m_editFrequency = nullptr;
    QLineEdit* m_editCableLoss = nullptr;
    QLineEdit* m_editSaveRate = nullptr;
    CCheckImageButton* m_btnShowDbm = nullptr;
    CCheckImageButton* m_btnShowWatt = nullptr;
    CImageTextButton* m_btnSetup = nullptr;
    CTraceGraphWindow* m_wndTraceArea = nullptr;
    CImageTextButton* m_btnStop = nullptr;
    CImageTextButton* m_btnPause = nullptr;
    CImageTextButton* m_btnPlay = nullptr;
    CCDSliderCtrlDiamond* m_sliderTrace = nullptr;
    QLineEdit* m_editPeriod = nullptr;

    // Logging; the source reads m_live, m_unit and the shown power, the controller
    // owns the thread.
    CShownPower m_shownPower;
    ILogClock* m_pLogClock = nullptr;
    std::unique_ptr<CMeterLogSource> m_pLogSource;
    std::unique_ptr<ILogUi> m_pLogUi;
    std::unique_ptr<IColumnHeader> m_pColumnHeader;
    std::unique_ptr<CLoggerController> m_pLogger;

    QImage m_backBuffer;
    // Where the Measurement Data panel was last drawn (x0 < 0: not yet).
    QRect m_measurementRect;
    int m_nMeasurementX0 = -1;
    bool m_bInitialised = false;
    long m_nFramesHandled = 0;
    long m_nRepaints = 0;
    CFrameTimingLog* m_pTimingLog = nullptr;
    // Frame repaints: when the last paint ran, and the pending coalesced one.
    QElapsedTimer m_lastPaint;
    QBasicTimer m_frameRepaintTimer;
    // Refreshes the status note while something in it counts.
    QBasicTimer m_statusTimer;
    // The wait for a lost meter: the setting (also read by the log source on its
    // thread); the station waits.
    std::atomic<bool> m_bReconnect{false};
    bool m_bMeterLost = false;
    // Hints for the status bar: connects in a row that found no meter; the log a
    // lost meter ended.
    int m_nConnectTries = 0;
    std::string m_strEndedLogFile;
    int m_nEndedLogRows = 0;
    QString m_strStatusNote = "Ready";
    int m_nMinFrameRepaintMs = -1;
};

}  // namespace velquor
