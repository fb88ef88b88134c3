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
    // The frame owns the view, whose link uses the driver: it goes first.
    m_pFrame.reset();
}

int CVelquorApp::Run(const AppOptions& options) {
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
    m_pView->Measure().AttachSettings(std::make_unique<QSettings>("velquor", "velquor"), warning);
    m_pView->OnInitialUpdate();
    m_pFrame->UpdateCaption();
    ConnectPrintCommands(*m_pFrame, *m_pView);
    m_pFrame->show();
    m_pFrame->FitOuterSize();
    if (!warning.empty())
        m_pFrame->statusBar()->showMessage(QString::fromStdString(warning));
    return true;
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
