#include "ui/velquor_view.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTimerEvent>
#include <chrono>
#include <cmath>

#include "display/trace_export.h"
#include "display/trace_graph_painter.h"
#include "logging/logger_controller.h"
#include "logging/qt_column_header.h"
#include "logging/qt_log_ui.h"
#include "logging/save_rate.h"
#include "meter/number_format.h"
#include "station/meter_target.h"
#include "station/stream_gap.h"
#include "ui/busy_runner.h"
#include "ui/cd_slider_ctrl_diamond.h"
#include "ui/check_image_button.h"
#include "ui/ctrl_id.h"
#include "ui/image_text_button.h"
#include "ui/measure_controller.h"
#include "ui/open_watch_driver.h"
#include "ui/qt_prompt.h"
#include "ui/resources.h"
#include "ui/save_file_dialog.h"
#include "ui/status_note.h"
#include "ui/trace_graph_window.h"
#include "ui/velquor_doc.h"
#include "ui/view_unit_controls.h"

namespace velquor {

namespace {

// Posted when readings wait in the view's feed; one at a time.
constexpr QEvent::Type kReadingsEvent = static_cast<QEvent::Type>(0x8065);

// Milliseconds as seconds, with the decimals they need and at least one: 1.0, 3.5,
// 2.25.
std::string FormatSeconds(int ms) {
    std::string text = FormatC("%.3f", ms / 1000.0);
    while (text.size() > 1 && text.back() == '0' && text[text.size() - 2] != '.')
        text.pop_back();
    return text;
}

QLineEdit* MakeEdit(QWidget* parent, int id, bool bordered, const QFont& font) {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(bordered);
    edit->setFont(font);
    edit->setGeometry(0, 0, 0, 0);
    edit->setTextMargins(0, 0, 0, 0);
    edit->setContentsMargins(0, 0, 0, 0);
    if (!bordered) {
        // Value fields: the panel fills them; a white background like the view's.
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setStyleSheet("QLineEdit { border: none; padding: 0px; background: white; }");
    } else {
        edit->setStyleSheet("QLineEdit { padding: 0px; }");
    }
    SetCtrlId(edit, id);
    return edit;
}

// name: what the button does, for its tooltip and for screen readers (the image
// says it only to the eye).
CImageTextButton* MakeImageButton(QWidget* parent, int id, const char* text, int normal,
                                  int pressed, const char* name) {
    auto* button = new CImageTextButton(parent);
    button->setText(text);
    button->setToolTip(name);
    button->setAccessibleName(name);
    button->setGeometry(0, 0, 0, 0);
    SetCtrlId(button, id);
    button->LoadBitmaps(normal, pressed);
    return button;
}

}  // namespace

CVelquorView::CVelquorView(IFtdiDriver& driver, CVelquorDoc* document, QWidget* parent,
                           LinkTimings timings)
    : QWidget(parent),
      m_pDocument(document),
      m_driver(driver),
      m_timings(timings),
      m_pMeasure(std::make_unique<CMeasureController>()),
      m_framePen(PanelFramePen()) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    connect(m_pMeasure.get(), &CMeasureController::changed, this, [this] {
        PublishMeasureSettings();
        // New limits show on the graph at once, not only at the next sample.
        if (m_wndTraceArea != nullptr && m_trace.GraphOptions().limits != m_pMeasure->Settings().limits)
            RedrawTraceGraph();
        update();
    });
}

CVelquorView::~CVelquorView() {
    // The logger's run condition; its wait ends at once, so this never waits a period.
    m_unit.m_bConnected = false;
    if (m_pLogger) {
        m_pLogger->NotifyConnectionChanged();
        m_pLogger->Shutdown();
    }
    m_traceTimer.stop();
    // Nothing is posted to this object once the wake-up is gone; the station's
    // threads are joined before the members they use go.
    if (m_feed)
        m_feed->SetWakeup({});
    if (m_station)
        m_station->Close();
}

void CVelquorView::SetPrompt(std::unique_ptr<IPrompt> prompt) {
    m_prompt = std::move(prompt);
}
void CVelquorView::SetSequenceClock(std::unique_ptr<ISequenceClock> clock) {
    m_clock = std::move(clock);
}
void CVelquorView::SetLogUi(std::unique_ptr<ILogUi> ui) {
    m_pLogUi = std::move(ui);
}
void CVelquorView::SetTimingLog(CFrameTimingLog* log) {
    m_pTimingLog = log;
}

const QImage& CVelquorView::TraceImage() const {
    return m_wndTraceArea->Image();
}

void CVelquorView::CreateControls() {
    const QFont& label = m_fonts.label;
    auto* header = new QHeaderView(Qt::Horizontal, this);
    header->setGeometry(0, 0, 0, 0);
    SetCtrlId(header, kIdHeader);
    m_wndHeader = header;
    m_editSerialNumber = MakeEdit(this, 101, false, label);
    m_editCalDate = MakeEdit(this, 102, false, label);
    m_editFreqRange = MakeEdit(this, 103, false, label);
    m_editResolution = MakeEdit(this, 104, false, label);
    m_editFirmware = MakeEdit(this, 105, false, label);
    m_btnConnect = MakeImageButton(this, kIdConnectUnits, "Connect Units", kBmpUsb, kBmpUsbPressed,
                                   "Connect Units");
    m_btnSave = MakeImageButton(this, kIdSaveData, "Save Measurement Data", kBmpDisk,
                                kBmpDiskPressed, "Save Measurement Data");
    m_editFrequency = MakeEdit(this, 106, true, label);
    m_editFrequency->setText(QString::fromStdString(m_unit.m_strFrequency));
    m_editCableLoss = MakeEdit(this, 107, true, label);
    m_editCableLoss->setText(QString::fromStdString(m_unit.m_strCableLoss));
    m_editSaveRate = MakeEdit(this, kIdEditSaveRate, true, label);
    m_editSaveRate->setText(QString::fromStdString(m_unit.m_strSaveRate));
    m_btnSetup = MakeImageButton(this, kIdSetupUnit, "Setup Unit", kBmpArrow, kBmpArrowPressed,
                                 "Setup Unit");

    const struct {
        CCheckImageButton** member;
        int id;
        const char* text;
        const char* caption;
        bool check;
    } checks[] = {{&m_btnShowDbm, 110, "Show dBM", "dBm", m_unit.m_bShowDbm},
                  {&m_btnShowWatt, 111, "Show Watt", "Watt", m_unit.m_bShowWatt}};
    for (const auto& c : checks) {
        auto* button = new CCheckImageButton(this);
        button->m_font = QFont("Arial", 9);
        button->setWindowTitle(c.text);
        button->setGeometry(0, 0, 0, 0);
        SetCtrlId(button, c.id);
        button->LoadStrip();
        button->m_bAutoToggle = true;
        button->setEnabled(true);
        button->m_strCaption = c.caption;
        button->m_nCheck = c.check ? kChecked : kUnchecked;
        button->update();
        *c.member = button;
    }

    m_sliderTrace = new CCDSliderCtrlDiamond(this);
    SetCtrlId(m_sliderTrace, kIdSlider);
    m_sliderTrace->InitColors();
    m_sliderTrace->SetRange(0, kTraceSliderMax, false);
    m_sliderTrace->m_bPlainChannel = 1;
    m_sliderTrace->setGeometry(0, 0, 0, 0);

    m_btnPlay = MakeImageButton(this, kIdPlay, "Play", kBmpPlay, kBmpPlayPressed, "Play");
    m_btnStop = MakeImageButton(this, kIdStop, "Play", kBmpStop, kBmpStopPressed, "Stop");
    m_btnPause = MakeImageButton(this, kIdPause, "Play", kBmpPause, kBmpPausePressed, "Pause");

    m_editPeriod = MakeEdit(this, kIdEditPeriod, true, label);
    m_editPeriod->setText(QString::fromStdString(FormatC("%d", m_trace.Period())));

    m_wndTraceArea = new CTraceGraphWindow(this);
    SetCtrlId(m_wndTraceArea, kIdTraceArea);
    m_wndTraceArea->setGeometry(kTraceGraphWindowRect.x, kTraceGraphWindowRect.y,
                                kTraceGraphWindowRect.width, kTraceGraphWindowRect.height);
    m_wndTraceArea->show();

    // Opaque children repaint alone; otherwise a blinking text cursor would run
    // the view's paint routine and its blink toggles.
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setAutoFillBackground(true);

    connect(m_btnConnect, &QPushButton::clicked, this, [this] { OnConnectUnits(); });
    connect(m_btnSetup, &QPushButton::clicked, this, [this] { OnSetupUnit(); });
    connect(m_btnSave, &QPushButton::clicked, this, [this] { OnSaveMeasurementData(); });
    connect(m_btnPlay, &QPushButton::clicked, this, [this] { OnPlay(); });
    connect(m_btnStop, &QPushButton::clicked, this, [this] { OnStop(); });
    connect(m_btnPause, &QPushButton::clicked, this, [this] { OnPause(); });
    connect(m_sliderTrace, &CCDSliderCtrlDiamond::released, this,
            [this](int id, int code, int pos) {
                if (id == kIdSlider && code == SLN_RELEASED)
                    OnSliderReleased(pos);
            });
    connect(m_wndTraceArea, &CTraceGraphWindow::saveCsvRequested, this, [this] { SaveTraceCsv(); });
    connect(m_wndTraceArea, &CTraceGraphWindow::savePngRequested, this, [this] { SaveTracePng(); });
    connect(m_wndTraceArea, &CTraceGraphWindow::scaleModeRequested, this,
            [this](TraceScaleMode mode) { SetTraceScaleMode(mode); });
    connect(m_wndTraceArea, &CTraceGraphWindow::fixedScaleRequested, this,
            [this] { AskTraceFixedScale(); });
    connect(m_wndTraceArea, &CTraceGraphWindow::wallClockToggled, this,
            [this](bool on) { SetTraceWallClock(on); });
    connect(m_wndTraceArea, &CTraceGraphWindow::rollingToggled, this,
            [this](bool on) { SetRollingHours(on ? kRollingMaxHours : 0); });
    connect(m_wndTraceArea, &CTraceGraphWindow::zoomRectRequested, this,
            [this](int xa, int ya, int xb, int yb) { ZoomTraceRect(xa, ya, xb, yb); });
    connect(m_wndTraceArea, &CTraceGraphWindow::wheelZoomRequested, this,
            [this](int x, int steps) { ZoomTraceWheel(x, steps); });
    connect(m_wndTraceArea, &CTraceGraphWindow::zoomOutRequested, this, [this] { ZoomTraceOut(); });
    connect(m_wndTraceArea, &CTraceGraphWindow::cursorsToggled, this,
            [this](bool on) { SetTraceCursors(on); });
    connect(m_wndTraceArea, &CTraceGraphWindow::cursorMoved, this,
            [this](int which, int x) { MoveTraceCursor(which, x); });
}

void CVelquorView::OnInitialUpdate() {
    if (m_bInitialised)
        return;  // a re-initialised document must not build the controls twice
    m_bInitialised = true;

    m_fonts = MakePanelFonts();
    // One set of fonts for every panel, so the layouts measure alike.
    m_traceFonts = TraceDataPanelFonts{m_fonts.title, m_fonts.label};
    if (m_pDocument != nullptr)
        m_pDocument->SetTitle("DPW");
    m_bitmaps = {LoadBitmapImage(kBmpBattery), LoadBitmapImage(kBmpSensorDbm),
                 LoadBitmapImage(kBmpSensorWatt), LoadBitmapImage(kBmpThermometer)};
    CreateControls();
    m_controls = std::make_unique<CViewUnitControls>(m_editFrequency, m_editCableLoss, m_btnShowDbm,
                                                     m_btnShowWatt);
    if (!m_prompt)
        m_prompt = std::make_unique<CQtPrompt>(this);
    m_pLogSource = std::make_unique<CMeterLogSource>(m_live, &m_unit.m_bConnected, &m_bReconnect,
                                                     &m_shownPower);
    PublishMeasureSettings();
    if (!m_pLogUi)
        m_pLogUi = std::make_unique<CQtLogUi>(this);
    m_pLogger =
        std::make_unique<CLoggerController>(*m_pLogSource, std::move(m_pLogUi), m_pLogClock);
    m_pColumnHeader =
        std::make_unique<CQtColumnHeader>(static_cast<QHeaderView*>(m_wndHeader), this);
    m_pLogger->SetColumnHeader(m_pColumnHeader.get());
    m_pLogger->SetFinishedHook([this](const LogResult& result) {
        // A log the meter's loss ended, with nobody waiting for the meter, would
        // otherwise end without a word.
        if (result.end == LogEnd::Disconnected) {
            m_strEndedLogFile = result.path;
            m_nEndedLogRows = result.rows;
        }
        OnLoggingChanged();
    });
    RedrawTraceGraph();

    station::StationOptions options;
    options.timings = m_timings;
    options.reconnect.enabled = m_bReconnect.load();
    options.timing_log = m_pTimingLog;
    options.make_driver = [this](const station::MeterTarget&) -> std::unique_ptr<IFtdiDriver> {
        auto watch = std::make_unique<COpenWatchDriver>(m_driver);
        if (m_openFailureReason)
            watch->SetReasonSource(m_openFailureReason);
        m_pOpenWatch = watch.get();
        return watch;
    };
    // A clock given here (tests) goes to the session; else it keeps its own, which a
    // close cuts short.
    if (m_clock)
        options.make_clock = [this] { return std::move(m_clock); };
    m_station = std::make_unique<station::Station>(std::move(options));
    m_station->Add(m_strPort.empty() ? station::MeterTarget::Listed()
                                     : station::MeterTarget::ByPath(m_strPort));
    m_feed = m_station->Subscribe();
    m_feed->SetWakeup([this] { QCoreApplication::postEvent(this, new QEvent(kReadingsEvent)); });
    ConnectUnits();
    PlaceSetupControls();
}

void CVelquorView::PlaceSetupControls() {
    // Placed from the font the panel draws its labels in, not the system's, so a
    // large system font cannot push a box over its label or out of the panel.
    const SetupEditPlacement place =
        PlaceSetupEdits(kUnitSetupPanelTop, [this](PanelFont font, const std::string& text) {
            return MeasurePanelText(FontFor(m_fonts, font), text);
        });
    const auto setGeometry = [](QWidget* w, const PanelRect& r) {
        w->setGeometry(r.x, r.y, r.width, r.height);
    };
    m_unit.m_strFrequency =
        m_unit.m_bConnected ? FormatC("%d", m_unit.m_nFrequency) : std::string("XXXX");
    m_editFrequency->setText(QString::fromStdString(m_unit.m_strFrequency));
    setGeometry(m_editFrequency, place.frequency);
    m_editFrequency->show();

    m_unit.m_strCableLoss = FormatC("%1.1f", m_unit.m_dCableLoss);
    m_editCableLoss->setText(QString::fromStdString(m_unit.m_strCableLoss));
    setGeometry(m_editCableLoss, place.cableLoss);
    m_editCableLoss->show();

    m_btnShowDbm->setGeometry(15, 329, 100, 20);
    m_btnShowDbm->show();
    m_btnShowDbm->m_nCheck = m_unit.m_bShowDbm ? kChecked : kUnchecked;
    m_btnShowDbm->update();
    m_btnShowWatt->setGeometry(15, 351, 100, 20);
    m_btnShowWatt->show();
    m_btnShowWatt->m_nCheck = m_unit.m_bShowWatt ? kChecked : kUnchecked;
    m_btnShowWatt->update();

    m_btnSetup->setGeometry(191, 339, 32, 32);
    m_btnSetup->show();

    m_editSaveRate->setText(QString::fromStdString(m_unit.m_strSaveRate));
    setGeometry(m_editSaveRate, place.saveRate);
    m_editSaveRate->show();

    m_btnSave->setGeometry(191, 387, 32, 32);
    m_btnSave->show();
}

void CVelquorView::OnSaveMeasurementData() {
    if (m_bBusy)
        return;
    const QString typed = m_editSaveRate->text();
    m_pLogger->OnSaveMeasurementData(typed, m_unit.m_strSerialNumber);
    // A log that started shows its period as it is kept ("3,5" as 3.5).
    if (const SaveRate rate = ParseSaveRate(typed.toStdString());
        Logging() && rate.check == SaveRateCheck::Ok)
        m_editSaveRate->setText(QString::fromStdString(FormatSeconds(rate.periodMs)));
    OnLoggingChanged();
}

void CVelquorView::OnStopSaving() {
    if (m_pLogger)
        m_pLogger->StopSaving();
}

bool CVelquorView::Logging() const {
    return m_pLogger && m_pLogger->Running();
}

QString CVelquorView::StatusNote() const {
    return m_strStatusNote;
}

void CVelquorView::OnLoggingChanged() {
    const bool logging = Logging();
    if (logging)
        m_statusTimer.start(kStatusRefreshMs, this);
    UpdateStatusNote();
    emit loggingChanged(logging);
}

void CVelquorView::UpdateStatusNote() {
    StatusNoteState state;
    if (Logging()) {
        state.logFile = m_pLogger->LogFile();
        state.logRows = m_pLogger->Rows();
    }
    state.meterLost = m_bMeterLost && !m_unit.m_bConnected;
    if (state.meterLost) {
        state.endedLogFile = m_strEndedLogFile;
        state.endedLogRows = m_nEndedLogRows;
    }
    state.noMeterLooks = m_unit.m_bConnected ? 0 : m_nConnectTries;
    state.droppedReadings = m_nDropped;
    if (WaitingForMeter()) {
        const station::MeterStatus status = m_station->Status(0);
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        const std::int64_t away =
            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() -
            status.lost_steady_ns;
        state.awaySeconds = static_cast<int>(std::max<std::int64_t>(away, 0) / 1000000000);
        if (!status.last_failure.empty())
            state.awayNote = "last try: " + status.last_failure;
    }
    if (state.logFile.empty() && !state.awaySeconds)
        m_statusTimer.stop();
    else if (!m_statusTimer.isActive())
        m_statusTimer.start(kStatusRefreshMs, this);
    const QString note = QString::fromStdString(FormatStatusNote(state));
    if (note == m_strStatusNote)
        return;
    m_strStatusNote = note;
    emit statusNoteChanged(note);
}

// ---- frames ----------------------------------------------------------------

bool CVelquorView::event(QEvent* e) {
    if (e->type() == kReadingsEvent) {
        TakeReadings();
        return true;
    }
    return QWidget::event(e);
}

void CVelquorView::TakeReadings() {
    if (!m_feed)
        return;
    m_readings.clear();
    m_feed->PopAll(m_readings, std::chrono::milliseconds(0));
    for (const station::Reading& r : m_readings)
        OnReading(r);
    if (m_feed->Dropped() != m_nDropped) {
        m_nDropped = m_feed->Dropped();
        UpdateStatusNote();
    }
}

void CVelquorView::OnReading(const station::Reading& r) {
    ++m_nFramesHandled;
    // Every entry of the stream is numbered, the link events too.
    const bool gap = station::MissedBefore(m_lastSeq, r.seq) > 0;
    switch (r.kind) {
        case station::ReadingKind::Measurement:
            if (gap)
                m_pMeasure->OnReadingsMissed();
            if (std::isfinite(r.power_dbm)) {
                if (m_pTimingLog != nullptr)
                    m_pTimingLog->Record(TimingEvent::kHandled, std::llround(r.power_dbm * 10.0));
                m_live.powerDbm = r.power_dbm;
                m_pMeasure->OnReading(r.power_dbm, r.steady_ns);
                PublishShownPower();
                if (m_rolling && m_pMeasure->Pipeline().LatestTaken())
                    m_rolling->Add(r.utc_us / 1000, ShownPowerDbm());
            }
            // A field a short frame lacked keeps the last value, as the readouts did.
            if (std::isfinite(r.temperature_c))
                m_live.temperatureC = r.temperature_c;
            if (std::isfinite(r.battery))
                m_dBattery = r.battery;
            ScheduleFrameRepaint();
            return;
        case station::ReadingKind::LinkLost:
            if (m_bBusy) {
                // A sequence owns the connected flag while it runs; the loss is
                // applied once it has returned, as if the window had been blocked.
                m_bLinkLostPending = true;
                ScheduleFrameRepaint();
                return;
            }
            m_live.alive = false;
            if (m_unit.m_bConnected) {
                m_unit.m_bConnected = false;
                m_pMeasure->OnLinkLost();
                PublishShownPower();
                OnMeterLost();
                m_pLogger->NotifyConnectionChanged();
            }
            update();
            return;
        case station::ReadingKind::Reconnected:
            RefreshUnit();
            m_unit.m_bConnected = true;
            m_live.alive = true;
            m_bMeterLost = false;
            m_strEndedLogFile.clear();
            m_pLogger->NotifyConnectionChanged();
            PlaceSetupControls();
            UpdateStatusNote();
            update();
            return;
    }
}

void CVelquorView::RefreshUnit() {
    const station::MeterInfo info = m_station->Meter(0);
    m_unit.m_strSerialNumber = info.serial;
    m_unit.m_strManufacturer = info.manufacturer;
    m_unit.m_strCalDate = info.calibration_date;
    m_unit.m_strFirmware = info.firmware;
    m_unit.m_bLowFrequency = info.low_frequency;
    m_unit.m_bShowDbm = info.show_dbm;
    m_unit.m_bShowWatt = info.show_watt;
    m_unit.m_dCableLoss = info.cable_loss_db;
    m_unit.m_nFrequency = info.frequency_mhz;
    m_unit.m_strFrequency = FormatC("%d", info.frequency_mhz);
}

bool CVelquorView::WaitingForMeter() const {
    if (!m_station || !m_bReconnect || !m_bMeterLost)
        return false;
    const station::MeterState state = m_station->Status(0).state;
    return state == station::MeterState::Lost || state == station::MeterState::Waiting ||
           state == station::MeterState::Opening;
}

void CVelquorView::UpdateMeasurement() {
    if (m_nMeasurementX0 >= 0)
        update(m_measurementRect);
    else
        update();
}

void CVelquorView::ScheduleFrameRepaint() {
    if (m_frameRepaintTimer.isActive())
        return;  // the coalesced repaint will show this frame too
    if (m_nMinFrameRepaintMs < 0) {
        const qreal hz = screen() != nullptr ? screen()->refreshRate() : 60.0;
        m_nMinFrameRepaintMs = hz >= 1.0 ? static_cast<int>(1000.0 / hz) : 16;
    }
    // A screen shows no more than one picture per refresh: frames faster than that
    // share a repaint instead of each costing one nobody can see.
    const qint64 since = m_lastPaint.isValid() ? m_lastPaint.elapsed() : m_nMinFrameRepaintMs;
    if (since >= m_nMinFrameRepaintMs)
        UpdateMeasurement();
    else
        m_frameRepaintTimer.start(static_cast<int>(m_nMinFrameRepaintMs - since), Qt::PreciseTimer,
                                  this);
}

void CVelquorView::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_traceTimer.timerId()) {
        OnTraceTimer();
        return;
    }
    if (e->timerId() == m_rollingTimer.timerId()) {
        RedrawTraceGraph();
        return;
    }
    if (e->timerId() == m_statusTimer.timerId()) {
        UpdateStatusNote();
        return;
    }
    if (e->timerId() == m_frameRepaintTimer.timerId()) {
        m_frameRepaintTimer.stop();
        UpdateMeasurement();
        return;
    }
    QWidget::timerEvent(e);
}

}  // namespace velquor
