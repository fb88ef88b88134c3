#include "app/velquor_app.h"

#include <QAction>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "app/main_frame.h"
#include "app/measure_menu.h"
#include "app/print_snapshot.h"
#include "app/station_window.h"
#include "app/unattended_prompt.h"
#include "link/serial_driver.h"
#include "link/sim_driver.h"
#include "meter/prompt.h"
#include "station/meter_target.h"
#include "ui/measure_controller.h"
#include "ui/resources.h"
#include "ui/velquor_view.h"

namespace velquor {

namespace {

// Where "Reconnect Automatically" is kept between runs.
constexpr const char* kReconnectKey = "connection/reconnectAutomatically";

}  // namespace

CVelquorApp::CVelquorApp(int& argc, char** argv) : m_app(argc, argv) {
    QApplication::setApplicationName(kAppTitle);
    QApplication::setApplicationVersion("1.1.0");
    // Lets the desktop match the window to the installed velquor.desktop entry.
    QGuiApplication::setDesktopFileName("velquor");
    QApplication::setWindowIcon(LoadAppIcon());
}

CVelquorApp::~CVelquorApp() {
    // The frame owns the view, whose link uses the driver: it goes first. The station
    // window reads the station until it goes.
    m_pFrame.reset();
    m_pStationWindow.reset();
    if (m_pStation)
        m_pStation->Close();
}

int CVelquorApp::Run(const AppOptions& options) {
    if (options.StationWindow())
        return RunStation(options);
    if (!InitInstance(options))
        return 1;
    const bool unattended = !options.snapshotFile.empty() || options.quitAfterS >= 0;
    if (unattended && !m_pView->Unit().m_bConnected) {
        // Nobody is there to press Connect Units: a picture or a run without a meter
        // would only pretend to have worked.
        std::fprintf(stderr, "velquor: no meter could be opened%s\n",
                     options.snapshotFile.empty() ? "" : "; no snapshot was written");
        return 1;
    }
    if (options.rollingHours > 0)
        m_pView->SetRollingHours(options.rollingHours);
    if (!options.tracePeriod.empty())
        m_pView->StartTrace(options.tracePeriod);
    ScheduleSnapshot(options);
    ScheduleQuit(options);
    const int code = QApplication::exec();
    return m_nExitCode != 0 ? m_nExitCode : code;
}

bool CVelquorApp::InitInstance(const AppOptions& options) {
    std::string error;
    m_pTimingLog = CFrameTimingLog::FromEnvironment(error);
    if (!error.empty()) {
        std::fprintf(stderr, "velquor: %s\n", error.c_str());
        return false;
    }
    CSerialDriver* serial = nullptr;
    if (options.simulate) {
        m_pDriver = std::make_unique<CSimDriver>();
    } else {
        auto driver = std::make_unique<CSerialDriver>();
        serial = driver.get();
        m_pDriver = std::move(driver);
    }
    // A relative --port is a path too; the driver would take it for a serial number.
    std::string port;
    if (!options.port.empty() && !station::ResolveDevicePath(options.port, port, error)) {
        std::fprintf(stderr, "velquor: %s\n", error.c_str());
        return false;
    }
    m_pView = new CVelquorView(*m_pDriver, &m_document);
    m_pView->SetPort(port);
    if (serial != nullptr)
        m_pView->SetOpenFailureReason([serial] { return serial->LastError(); });
    m_pView->SetTimingLog(m_pTimingLog.get());
    if (!options.snapshotFile.empty() || options.quitAfterS >= 0)
        m_pView->SetPrompt(std::make_unique<CUnattendedPrompt>());
    m_pFrame = std::make_unique<CMainFrame>(m_document, m_pView);
    // Another window opens another meter: a simulated one here, else by listing.
    QStringList newWindow;
    if (options.simulate)
        newWindow << "--simulate";
    if (options.reconnect)
        newWindow << "--reconnect";
    m_pFrame->SetNewWindowArguments(newWindow);
    if (!options.port.empty())
        m_pFrame->SetNewWindowPort(QString::fromStdString(options.port));
    AddMeasureMenu(*m_pFrame, *m_pView);
    // --reconnect turns it on for this run; the menu item is the lasting setting.
    const bool reconnect =
        options.reconnect || QSettings("velquor", "velquor").value(kReconnectKey, false).toBool();
    QAction* reconnectItem = m_pFrame->AddReconnectOption(reconnect);
    QObject::connect(reconnectItem, &QAction::toggled, m_pFrame.get(),
                     [](bool on) { QSettings("velquor", "velquor").setValue(kReconnectKey, on); });
    std::string warning;
    if (options.measure) {
        // For this run only: the kept settings are neither read nor overwritten.
        if (!m_pView->Measure().ApplySettings(*options.measure, error)) {
            std::fprintf(stderr, "velquor: %s\n", error.c_str());
            return false;
        }
    } else {
        m_pView->Measure().AttachSettings(std::make_unique<QSettings>("velquor", "velquor"),
                                          warning);
    }
    m_pView->OnInitialUpdate();
    m_pFrame->UpdateCaption();
    ConnectPrintCommands(*m_pFrame, *m_pView);
    m_pFrame->show();
    m_pFrame->FitOuterSize();
    if (!warning.empty())
        m_pFrame->statusBar()->showMessage(QString::fromStdString(warning));
    return true;
}

bool CVelquorApp::ChooseTargets(const AppOptions& options,
                                std::vector<station::MeterTarget>& targets,
                                std::string& error) const {
    using station::MeterTarget;
    const int simulated = options.simulate ? options.simulateCount : 0;
    if (simulated > 0 && !options.serials.empty()) {
        // --serial picks among the simulated meters, as it would among real ones.
        for (const std::string& serial : options.serials) {
            const auto index = station::SimulatedMeterIndex(serial, simulated);
            if (!index) {
                error = serial + ": no simulated meter has this serial number";
                return false;
            }
            targets.push_back(MeterTarget::Simulated(*index));
        }
        return true;
    }
    for (int i = 0; i < simulated; ++i)
        targets.push_back(MeterTarget::Simulated(i));
    for (const std::string& port : options.ports) {
        std::string path;
        if (!station::ResolveDevicePath(port, path, error))
            return false;
        targets.push_back(MeterTarget::ByPath(path));
    }
    for (const std::string& serial : options.serials)
        targets.push_back(MeterTarget::BySerial(serial));
    if (!targets.empty())
        return true;
    CSerialDriver driver;
    if (!station::ListMeterTargets(driver, targets, error))
        return false;
    if (targets.empty()) {
        error = "no meter found; check the cable and the udev rule, or use --simulate";
        return false;
    }
    // Without --all (remote control of the one listed meter) the first one.
    if (!options.all)
        targets.resize(1);
    return true;
}

int CVelquorApp::RunStation(const AppOptions& options) {
    const bool unattended = !options.snapshotFile.empty() || options.quitAfterS >= 0;
    std::string error;
    m_pTimingLog = CFrameTimingLog::FromEnvironment(error);
    std::vector<station::MeterTarget> targets;
    if (error.empty())
        ChooseTargets(options, targets, error);
    if (!error.empty()) {
        std::fprintf(stderr, "velquor: %s\n", error.c_str());
        if (!unattended)
            QMessageBox::critical(nullptr, kAppTitle,
                                  ReasonAsSentence(QString::fromStdString(error)));
        return 1;
    }
    auto notices = std::make_shared<CNoticeBox>();
    station::StationOptions stationOptions;
    stationOptions.reconnect.enabled =
        options.reconnect || QSettings("velquor", "velquor").value(kReconnectKey, false).toBool();
    stationOptions.timing_log = m_pTimingLog.get();
    stationOptions.on_notice = [notices](const station::MeterNotice& n) {
        notices->Post(n.meter, n.text);
    };
    m_pStation = std::make_unique<station::Station>(std::move(stationOptions));
    std::vector<std::string> errors;
    // Opened with the others going on, so the person can choose when some fail.
    const bool opened = m_pStation->Open(targets, true, errors);
    if (!errors.empty()) {
        std::string text;
        for (const std::string& e : errors) {
            std::fprintf(stderr, "velquor: %s\n", e.c_str());
            text += ReasonAsSentence(QString::fromStdString(e)).toStdString() + "\n";
        }
        bool goOn = opened && options.keepGoing;
        if (opened && !options.keepGoing && !unattended) {
            goOn = QMessageBox::question(nullptr, kAppTitle,
                                         QString::fromStdString(text) +
                                             "\nGo on with the meters that opened?") ==
                   QMessageBox::Yes;
        } else if (!opened && !unattended) {
            QMessageBox::critical(nullptr, kAppTitle, QString::fromStdString(text));
        }
        if (!goOn)
            return 1;
    }
    m_pStationWindow = std::make_unique<CStationWindow>(*m_pStation,
                                                        notices);
    if (!errors.empty()) {
        // Channels count the meters that opened: say which is which, so a script
        // is not left to guess after one was left out.
        for (std::size_t i = 0; i < m_pStation->MeterCount(); ++i)
            std::fprintf(stderr, "velquor: channel %zu is %s\n", i + 1,
                         m_pStation->MeterName(i).c_str());
    }
    m_pStationWindow->SetInteractive(!unattended);
    if (options.noAnnounce)
        m_pStationWindow->SetAnnounce(false);
    if (options.serve) {
        m_pStationWindow->SetListenAddress(*options.serve);
        if (!m_pStationWindow->StartRemote(*options.serve, error)) {
            std::fprintf(stderr, "velquor: %s\n", error.c_str());
            if (unattended)
                return 1;
        } else {
            std::fprintf(stderr, "velquor: remote control on %s\n",
                         m_pStationWindow->Host().ServerAddress().c_str());
        }
    }
    if (options.http) {
        m_pStationWindow->SetWebAddress(*options.http);
        if (!m_pStationWindow->StartWeb(*options.http, error)) {
            std::fprintf(stderr, "velquor: %s\n", error.c_str());
            if (unattended)
                return 1;
        } else {
            std::fprintf(stderr, "velquor: web page on http://%s/\n",
                         m_pStationWindow->WebAddress().c_str());
        }
    }
    if (!options.publish.empty()) {
        m_pStationWindow->SetBroker(options.publish, options.stand);
        if (!m_pStationWindow->StartTelemetry(options.publish, options.stand, error)) {
            std::fprintf(stderr, "velquor: %s\n", error.c_str());
            if (unattended)
                return 1;
        }
    }
    QObject::connect(m_pStationWindow->ReconnectAction(), &QAction::toggled,
                     m_pStationWindow.get(),
                     [](bool on) { QSettings("velquor", "velquor").setValue(kReconnectKey, on); });
    m_pStationWindow->show();
    if (!options.snapshotFile.empty()) {
        const QString file = QString::fromStdString(options.snapshotFile);
        const double delayMs = std::min(options.snapshotAfterS * 1000.0, 2147483647.0);
        QTimer::singleShot(static_cast<int>(delayMs), m_pStationWindow.get(), [this, file] {
            m_pStationWindow->Refresh();
            QString reason;
            if (!m_pStationWindow->SaveSnapshot(file, reason)) {
                std::fprintf(stderr, "velquor: %s\n", reason.toUtf8().constData());
                m_nExitCode = 1;
            }
            m_pStationWindow->close();
        });
    }
    if (options.quitAfterS >= 0) {
        const double delayMs = std::min(options.quitAfterS * 1000.0, 2147483647.0);
        QTimer::singleShot(static_cast<int>(delayMs), m_pStationWindow.get(),
                           [this] { m_pStationWindow->close(); });
    }
    const int code = QApplication::exec();
    if (unattended) {
        std::fprintf(stderr, "velquor: %s\n", m_pStationWindow->Summary().c_str());
        // As velquor-cli publish: readings that never reached the broker are a failure.
        if (!m_pStationWindow->AllDelivered())
            m_nExitCode = 1;
    }
    return m_nExitCode != 0 ? m_nExitCode : code;
}

void CVelquorApp::ScheduleSnapshot(const AppOptions& options) {
    if (options.snapshotFile.empty())
        return;
    const QString file = QString::fromStdString(options.snapshotFile);
    // A timer counts whole milliseconds in an int; longer waits are cut to about 24 days.
    const double delayMs = std::min(options.snapshotAfterS * 1000.0, 2147483647.0);
    QTimer::singleShot(static_cast<int>(delayMs), m_pFrame.get(), [this, file] {
        QString reason;
        if (!WriteSnapshotFile(*m_pView, file, reason)) {
            std::fprintf(stderr, "velquor: %s\n", reason.toUtf8().constData());
            m_nExitCode = 1;
        }
        m_pFrame->close();
    });
}

void CVelquorApp::ScheduleQuit(const AppOptions& options) {
    if (options.quitAfterS < 0)
        return;
    const double delayMs = std::min(options.quitAfterS * 1000.0, 2147483647.0);
    QTimer::singleShot(static_cast<int>(delayMs), m_pFrame.get(), [this] { m_pFrame->close(); });
}

}  // namespace velquor
