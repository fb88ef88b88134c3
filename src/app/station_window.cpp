#include "app/station_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QStatusBar>
#include <QSysInfo>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/app_options.h"
#include "app/meter_log.h"
#include "app/meter_panel_dialog.h"
#include "link/serial_driver.h"
#include "meter/prompt.h"
#include "telemetry/broker_address.h"
#include "telemetry/topics.h"
#include "ui/busy_runner.h"
#include "ui/station_view.h"

namespace velquor {

namespace {

std::int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

TileLink LinkOf(station::MeterState state) {
    switch (state) {
        case station::MeterState::Connected:
            return TileLink::Connected;
        case station::MeterState::Lost:
            return TileLink::Lost;
        case station::MeterState::Waiting:
        case station::MeterState::Opening:
            return TileLink::Waiting;
        case station::MeterState::GaveUp:
            return TileLink::GaveUp;
        case station::MeterState::Closed:
            return TileLink::Closed;
    }
    return TileLink::Closed;
}

measure::MeasureSettings Marks(const remote::ChannelSettings& s) {
    measure::MeasureSettings m;
    m.average_count = s.average_on ? s.average_count : 1;
    m.offset_db = s.offset_on ? s.offset_db : 0.0;
    m.relative = s.relative_on;
    m.reference_dbm = s.reference_dbm;
    m.unit = s.unit;
    return m;
}

}  // namespace

void CNoticeBox::Post(std::size_t meter, std::string text) {
    std::lock_guard lock(m_lock);
    // A meter that keeps failing must not grow this without bound.
    if (m_notices.size() >= 64)
        m_notices.pop_front();
    m_notices.push_back({meter, std::move(text)});
}

std::vector<CNoticeBox::Notice> CNoticeBox::TakeAll() {
    std::lock_guard lock(m_lock);
    std::vector<Notice> all(m_notices.begin(), m_notices.end());
    m_notices.clear();
    return all;
}

CStationWindow::CStationWindow(station::Station& station, std::shared_ptr<CNoticeBox> notices,
                               std::unique_ptr<CSensorSettings> sensors, QWidget* parent)
    : QMainWindow(parent),
      m_station(station),
      m_notices(notices ? std::move(notices) : std::make_shared<CNoticeBox>()),
      m_sensors(sensors ? std::move(sensors) : std::make_unique<CSensorSettings>()),
      m_host(std::make_unique<remote::StationHost>(station)),
      m_feed(station.Subscribe()),
      m_count(m_host->Model().Channels()),
      m_lister([] { return std::make_unique<CSerialDriver>(); }),
      m_startNs(SteadyNowNs()) {
    setObjectName("stationWindow");
    const std::size_t n = m_count;
    ShowTitle();
    m_view = new CStationView(n, 60.0, this);
    setCentralWidget(m_view);
    std::vector<std::string> names;
    for (std::size_t i = 0; i < n; ++i)
        names.push_back(station.MeterName(i));
    m_view->SetNames(names);
    connect(m_view, &CStationView::tileClicked, this, [this](int meter) { OpenPanel(meter); });
    m_statusMeters = new QLabel(this);
    m_statusRemote = new QLabel(this);
    m_statusRemote->setObjectName("remoteStatus");
    statusBar()->addPermanentWidget(m_statusRemote);
    statusBar()->addPermanentWidget(m_statusMeters);
    BuildMenus();
    LoadSensorSettings();
    Refresh();
    m_timer.start(kRefreshMs, this);
    QSize size(900, 640);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // A small screen (1024x600) gets the whole window, its status bar too; the
        // window manager's frame is not known before it is shown.
        size = size.boundedTo(screen->availableGeometry().size() - QSize(10, 40));
    }
    resize(size);
}

CStationWindow::~CStationWindow() {
    m_timer.stop();
    if (m_telemetry)
        m_telemetry->Stop(std::chrono::seconds(1));
    if (m_http)
        m_http->Stop();
    m_host->Stop();
    m_station.Unsubscribe(m_feed);
}

void CStationWindow::ShowTitle() {
    setWindowTitle(
        QString("%1 - %2 meter%3").arg(kAppTitle).arg(m_count).arg(m_count == 1 ? "" : "s"));
}

void CStationWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    m_addMeterAction = file->addAction("Add &Meter...", this, [this] { OnAddMeter(); });
    m_addMeterAction->setObjectName("addMeter");
    file->addSeparator();
    file->addAction("Save Snapshot &As...", this, [this] {
        const QString name = QFileDialog::getSaveFileName(this, "Save Snapshot As", "station.png",
                                                          "Pictures (*.png *.jpg);;PDF (*.pdf)");
        if (name.isEmpty())
            return;
        QString reason;
        if (!SaveSnapshot(name, reason))
            QMessageBox::warning(this, kAppTitle, reason);
    });
    file->addSeparator();
    file->addAction("E&xit", this, &QWidget::close);

    QMenu* options = menuBar()->addMenu("&Options");
    m_reconnectAction = options->addAction("&Reconnect Automatically");
    m_reconnectAction->setCheckable(true);
    m_reconnectAction->setChecked(m_station.Reconnecting().enabled);
    connect(m_reconnectAction, &QAction::toggled, this, [this](bool on) {
        station::ReconnectPolicy policy = m_station.Reconnecting();
        policy.enabled = on;
        m_station.SetReconnect(policy);
    });
    m_remoteAction = options->addAction("Remote &Control");
    m_remoteAction->setObjectName("remoteControl");
    m_remoteAction->setCheckable(true);
    connect(m_remoteAction, &QAction::triggered, this, [this](bool on) {
        if (!on) {
            StopRemote();
            return;
        }
        std::string error;
        StartRemote(m_listen, error);
    });
    options->addAction("Remote Control &Address...", this, [this] {
        if (!AskAddress("Remote Control Address", "Listen on (address:port):", m_listen))
            return;
        if (m_host->Serving()) {
            std::string reason;
            StartRemote(m_listen, reason);
        }
    });
    m_vxi11Action = options->addAction("Remote Control over &VXI-11");
    m_vxi11Action->setObjectName("remoteVxi11");
    m_vxi11Action->setCheckable(true);
    m_vxi11Action->setVisible(VELQUOR_HAVE_VXI11 != 0);
    connect(m_vxi11Action, &QAction::triggered, this, [this](bool on) {
        if (!on) {
            StopVxi11();
            return;
        }
        std::string error;
        StartVxi11(error);
    });
    m_announceAction = options->addAction("&Announce on the Network");
    m_announceAction->setObjectName("announce");
    m_announceAction->setCheckable(true);
    m_announceAction->setChecked(true);
    m_announceAction->setToolTip(
        "Announce the running servers over DNS-SD (mDNS) so discovery tools list them");
    connect(m_announceAction, &QAction::toggled, this, [this] {
        m_announced = "?";  // announce anew, or withdraw
        Announce();
    });
    m_webAction = options->addAction("&Web Page");
    m_webAction->setObjectName("webPage");
    m_webAction->setCheckable(true);
    connect(m_webAction, &QAction::triggered, this, [this](bool on) {
        if (!on) {
            StopWeb();
            return;
        }
        std::string error;
        StartWeb(m_web, error);
    });
    options->addAction("Web Page Add&ress...", this, [this] {
        if (!AskAddress("Web Page Address", "Serve the web page on (address:port):", m_web))
            return;
        if (m_http) {
            std::string reason;
            StartWeb(m_web, reason);
        }
    });
    options->addSeparator();
    m_telemetryAction = options->addAction("&Telemetry");
    m_telemetryAction->setObjectName("telemetry");
    m_telemetryAction->setCheckable(true);
    connect(m_telemetryAction, &QAction::triggered, this, [this](bool on) {
        if (!on) {
            StopTelemetry();
            return;
        }
        std::string error;
        StartTelemetry(m_broker, m_stand, error);
    });
    options->addAction("Telemetry &Broker...", this, [this] {
        bool ok = false;
        const QString broker = QInputDialog::getText(
            this, "Telemetry Broker", "MQTT broker (host[:port]):", QLineEdit::Normal,
            QString::fromStdString(m_broker), &ok);
        if (!ok)
            return;
        const QString stand = QInputDialog::getText(
            this, "Telemetry Broker", "This stand's name (a topic level):", QLineEdit::Normal,
            QString::fromStdString(m_stand), &ok);
        if (!ok)
            return;
        m_broker = broker.trimmed().toStdString();
        m_stand = stand.trimmed().toStdString();
        if (m_telemetry) {
            std::string error;
            StartTelemetry(m_broker, m_stand, error);
        }
    });
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&About Velquor...", this, [this] {
        QMessageBox::about(this, kAppTitle,
                           QString("Velquor 1.1.0\n%1 meters in one station").arg(m_count));
    });
}

bool CStationWindow::AskAddress(const QString& title, const QString& label,
                                std::string& address) {
    bool ok = false;
    const QString text = QInputDialog::getText(this, title, label, QLineEdit::Normal,
                                               QString::fromStdString(address), &ok);
    if (!ok)
        return false;
    std::string host, error;
    std::uint16_t port = 0;
    if (!remote::ParseListenAddress(text.trimmed().toStdString(), host, port, error)) {
        // The parser speaks of the command-line option; the dialog has none.
        const std::string flag = "--listen takes ";
        if (error.rfind(flag, 0) == 0)
            error = "The address must be " + error.substr(flag.size());
        QMessageBox::warning(this, kAppTitle, QString::fromStdString(error));
        return false;
    }
    address = text.trimmed().toStdString();
    return true;
}

bool CStationWindow::StartRemote(const std::string& listen, std::string& error) {
    remote::ServerOptions options;
    const bool parsed = remote::ParseListenAddress(listen, options.address, options.port, error);
    if (parsed && m_host->StartServer(options, error)) {
        m_remoteAction->setChecked(true);
        ShowStatus();
        return true;
    }
    // A running server stays: a new address that cannot be had leaves it serving.
    return RefuseStart(*m_remoteAction, m_host->Serving(), "Remote control on " + listen, error);
}

bool CStationWindow::RefuseStart(QAction& action, bool stillOn, const std::string& what,
                                 std::string& error) {
    error = what + " could not start: " + error;
    action.setChecked(stillOn);
    statusBar()->showMessage(QString::fromStdString(error));
    if (m_interactive)
        QMessageBox::warning(this, kAppTitle, QString::fromStdString(error));
    ShowStatus();
    return false;
}

bool CStationWindow::StartWeb(const std::string& listen, std::string& error) {
    remote::HttpOptions options;
    if (remote::ParseListenAddress(listen, options.address, options.port, error)) {
        options.web_root = remote::FindWebRoot();
        // The SCPI socket the identification names, when it runs now.
        const std::string scpi = m_host->ServerAddress();
        if (const auto colon = scpi.rfind(':'); colon != std::string::npos)
            options.scpi_port = static_cast<std::uint16_t>(std::stoi(scpi.substr(colon + 1)));
        // The old server gives up its port first: the new one may want the same.
        StopWeb();
        auto server = std::make_unique<remote::HttpServer>(m_station, m_host->Model(), options);
        if (server->Start(error)) {
            m_http = std::move(server);
            const bool v6 = options.address.find(':') != std::string::npos;
            m_webShown = (v6 ? "[" + options.address + "]" : options.address) + ":" +
                         std::to_string(m_http->Port());
            m_webAction->setChecked(true);
            ShowStatus();
            return true;
        }
    }
    return RefuseStart(*m_webAction, false, "The web page on " + listen, error);
}

void CStationWindow::StopWeb() {
    if (m_http)
        m_http->Stop();
    m_http.reset();
    m_webShown.clear();
    if (m_webAction)
        m_webAction->setChecked(false);
    ShowStatus();
}

void CStationWindow::StopRemote() {
    m_host->StopServer();
    m_remoteAction->setChecked(false);
    ShowStatus();
}

bool CStationWindow::StartVxi11(std::string& error, bool register_portmap) {
    remote::Vxi11Options options;
    options.register_portmap = register_portmap;
    std::uint16_t ignored = 0;
    if (remote::ParseListenAddress(m_listen, options.address, ignored, error) &&
        m_host->StartVxi11(options, error)) {
        m_vxi11Action->setChecked(true);
        ShowStatus();
        return true;
    }
    return RefuseStart(*m_vxi11Action, false, "VXI-11 on " + options.address, error);
}

void CStationWindow::StopVxi11() {
    m_host->StopVxi11();
    m_vxi11Action->setChecked(false);
    ShowStatus();
}

bool CStationWindow::StartTelemetry(const std::string& broker, const std::string& stand,
                                    std::string& error) {
    StopTelemetry();
    telemetry::PublisherOptions options;
    const auto address = telemetry::ParseBrokerAddress(broker, false, error);
    if (address) {
        options.broker = *address;
        options.stand = stand.empty() ? telemetry::SafeTopicLevel(
                                            QSysInfo::machineHostName().toStdString())
                                      : stand;
        if (options.stand.empty())
            options.stand = "stand";
        if (const auto why = telemetry::CheckStandName(options.stand))
            error = "the stand's name: " + *why;
    }
    if (address && error.empty()) {
        auto feed = std::make_unique<telemetry::StationTelemetry>(m_station, std::move(options));
        if (feed->Start(error)) {
            m_telemetry = std::move(feed);
            m_published = true;
            m_brokerShown = broker;
            m_telemetryAction->setChecked(true);
            ShowStatus();
            return true;
        }
    }
    return RefuseStart(*m_telemetryAction, false, "Telemetry to " + broker, error);
}

void CStationWindow::StopTelemetry() {
    if (m_telemetry) {
        // Bounded: what is buffered and the goodbye get a second at most.
        const std::uint64_t undelivered = m_telemetry->Stop(std::chrono::seconds(1));
        m_undelivered += undelivered;
        if (undelivered > 0)
            statusBar()->showMessage(
                QString("Telemetry stopped: %1 readings did not reach the broker").arg(undelivered));
        m_telemetry.reset();
    }
    m_telemetryAction->setChecked(false);
    ShowStatus();
}

void CStationWindow::LoadSensorSettings() {
    for (std::size_t i = 0; i < m_count; ++i)
        ApplyKeptSettings(i);
    if (const std::string problem = m_sensors->Problem(); !problem.empty())
        Warn(QString::fromStdString("The settings kept per sensor could not be read: " + problem));
}

void CStationWindow::ApplyKeptSettings(std::size_t meter) {
    m_keys.push_back(CSensorSettings::KeyOf(m_station.Meter(meter)));
    const auto kept = m_sensors->Load(m_keys.back());
    if (kept) {
        const remote::Outcome o = m_host->Model().Apply(meter, *kept);
        if (o.error != 0)
            m_notices->Post(meter, "its kept settings were not used: " + o.detail);
    }
}

std::vector<station::MeterTarget> CStationWindow::AddableTargets(std::string& error) const {
    const std::unique_ptr<IFtdiDriver> lister = m_lister ? m_lister() : nullptr;
    return station::AddableTargets(m_station, lister.get(), error);
}

void CStationWindow::OnAddMeter() {
    std::string error;
    const std::vector<station::MeterTarget> targets = AddableTargets(error);
    const QString listing =
        error.empty() ? QString() : "\nThe meters could not be listed: " + QString::fromStdString(error);
    if (targets.empty()) {
        QMessageBox::information(this, kAppTitle, "No other meter found." + listing);
        return;
    }
    QStringList labels;
    for (const station::MeterTarget& t : targets) {
        QString label = QString::fromStdString(t.Label());
        if (t.kind == station::MeterTarget::Kind::Simulated)
            label += " (" + QString::fromStdString(station::SimulatedMeterModel(t.sim_index).serial) + ")";
        labels << label;
    }
    bool ok = false;
    const QString picked = QInputDialog::getItem(this, "Add Meter", "Meter to add:" + listing,
                                                 labels, 0, false, &ok);
    const qsizetype at = labels.indexOf(picked);
    if (!ok || at < 0)
        return;
    std::string reason;
    AddMeter(targets[static_cast<std::size_t>(at)], reason);
}

bool CStationWindow::AddMeter(const station::MeterTarget& target, std::string& error) {
    if (m_adding) {
        error = "another meter is being added";
        return false;
    }
    m_adding = true;
    m_abandonAdd = false;
    std::optional<std::size_t> index;
    const station::SequenceFront front{nullptr, nullptr, &m_abandonAdd};
    RunBusy(isVisible() ? this : nullptr,
            QString::fromStdString("Opening " + target.Label() + "..."),
            [&] { index = m_station.AddAndConnect(target, front, error); });
    m_adding = false;
    if (index) {
        ShowAddedMeter();
    } else {
        error = target.Label() + " could not be opened: " + error;
        statusBar()->showMessage(QString::fromStdString(error), 30000);
        if (m_interactive && !m_closeWhenIdle)
            QMessageBox::warning(this, kAppTitle, QString::fromStdString(error));
    }
    if (m_closeWhenIdle)
        close();
    return index.has_value();
}

void CStationWindow::ShowAddedMeter() {
    // One at a time and in order, so channel N+1 is the station's meter N+1.
    while (m_count < m_station.MeterCount()) {
        const std::size_t meter = m_host->AddMeter();
        m_view->AddMeter();
        ApplyKeptSettings(meter);
        m_count = meter + 1;
        statusBar()->showMessage(
            QString("%1 added as channel %2").arg(QString::fromStdString(m_station.MeterName(meter))).arg(meter + 1),
            15000);
    }
    std::vector<std::string> names;
    for (std::size_t i = 0; i < m_count; ++i)
        names.push_back(m_station.MeterName(i));
    m_view->SetNames(names);
    ShowTitle();
    Refresh();
}

void CStationWindow::Warn(const QString& text) {
    statusBar()->showMessage(text, 30000);
    statusBar()->setToolTip(text);
    if (!m_interactive)
        return;
    auto* box = new QMessageBox(QMessageBox::Warning, kAppTitle, text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void CStationWindow::KeepSensorSettings(std::size_t meter, const remote::ChannelSettings& settings) {
    const QString name = QString::fromStdString(m_station.MeterName(meter));
    switch (m_sensors->Save(m_keys[meter], settings)) {
        case CSensorSettings::Saved::Yes:
            break;
        case CSensorSettings::Saved::ReplacedOther:
            Warn(name + ": another window had saved other settings for this sensor since this "
                        "one read them; they are replaced by these.");
            break;
        case CSensorSettings::Saved::No:
            Warn(name + ": its settings could not be kept: " +
                 QString::fromStdString(m_sensors->Problem()));
            break;
    }
}

CMeterPanelDialog* CStationWindow::OpenPanel(int meter) {
    if (meter < 0 || static_cast<std::size_t>(meter) >= m_count)
        return nullptr;
    const auto index = static_cast<std::size_t>(meter);
    auto* panel = new CMeterPanelDialog(
        m_station, m_host->Model(), index,
        [this, index](const remote::ChannelSettings& s) { KeepSensorSettings(index, s); }, this);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // Queued: the panel finishes its own handling of the write before the window goes.
    connect(
        panel, &CMeterPanelDialog::writingEnded, this,
        [this] {
            if (m_closeWhenIdle)
                close();
        },
        Qt::QueuedConnection);
    panel->SetLog(&Log(index));
    panel->show();
    panel->raise();
    panel->activateWindow();
    return panel;
}

CMeterLog& CStationWindow::Log(std::size_t meter) {
    std::unique_ptr<CMeterLog>& log = m_logs[meter];
    if (!log)
        log = std::make_unique<CMeterLog>(m_station, m_host->Model(), meter, this);
    return *log;
}

void CStationWindow::Refresh() {
    const std::size_t n = m_count;
    std::vector<remote::ChannelView> views;
    for (std::size_t i = 0; i < n; ++i)
        views.push_back(m_host->Model().View(i));
    const std::int64_t now = SteadyNowNs();
    m_batch.clear();
    m_feed->PopAll(m_batch, std::chrono::milliseconds(0));
    for (const station::Reading& r : m_batch) {
        if (r.meter >= n)
            continue;
        const double t = static_cast<double>(r.steady_ns - m_startNs) / 1e9;
        if (r.kind == station::ReadingKind::Measurement) {
            const remote::ChannelSettings& s = views[r.meter].settings;
            m_view->Trace().Add(r.meter, t, r.power_dbm + (s.offset_on ? s.offset_db : 0.0));
        } else if (r.kind == station::ReadingKind::LinkLost) {
            m_view->Trace().Add(r.meter, t, std::nan(""));
        }
    }
    std::vector<StationTileTexts> tiles;
    std::vector<std::optional<double>> shown;
    for (std::size_t i = 0; i < n; ++i) {
        const remote::ChannelView& v = views[i];
        const station::MeterStatus st = m_station.Status(i);
        StationTileInput in;
        in.name = m_station.MeterName(i);
        in.link = LinkOf(st.state);
        if (in.link == TileLink::Connected && v.lost)
            in.link = TileLink::Lost;
        if (st.lost_steady_ns != 0 && in.link != TileLink::Connected)
            in.lost_s = static_cast<double>(now - st.lost_steady_ns) / 1e9;
        in.has_reading = v.has_reading && !v.lost;
        in.shown_dbm = v.last.shown_dbm;
        in.relative_db = v.last.relative_db;
        in.temperature_c = v.temperature_c;
        in.battery_raw = v.battery;
        in.limit = v.settings.limits_on ? v.last.limit : measure::LimitState::Off;
        in.settings = Marks(v.settings);
        tiles.push_back(MakeStationTileTexts(in));
        shown.push_back(in.has_reading && in.link == TileLink::Connected
                            ? std::optional<double>(in.shown_dbm)
                            : std::nullopt);
    }
    for (CMeterPanelDialog* panel : findChildren<CMeterPanelDialog*>())
        panel->Follow();
    m_view->SetTiles(tiles);
    m_view->SetShownPowers(shown);
    // A new pixel column of the graph comes only every span / width seconds: drawing
    // it more often than that (or than the screen shows) is work nobody sees.
    const std::int64_t columnNs = static_cast<std::int64_t>(
        m_view->Trace().Span() * 1e9 / std::max(m_view->Graph()->width(), 1));
    if (!m_batch.empty() && now - m_lastGraphNs >= std::max<std::int64_t>(columnNs, kRefreshMs * 1'000'000LL)) {
        m_lastGraphNs = now;
        m_view->RedrawGraph();
    }

    if (m_telemetry) {
        for (const std::string& notice : m_telemetry->TakeNotices())
            m_lastNotice = "Telemetry: " + QString::fromStdString(notice);
    }
    for (const CNoticeBox::Notice& notice : m_notices->TakeAll()) {
        const std::string name = notice.meter < n ? m_station.MeterName(notice.meter) : "meter";
        m_lastNotice = QString::fromStdString(name + ": " + notice.text);
    }
    if (!m_lastNotice.isEmpty() && statusBar()->currentMessage() != m_lastNotice) {
        statusBar()->showMessage(m_lastNotice, 15000);
        m_lastNotice.clear();
    }
    ShowStatus();
}

QString CStationWindow::StatusText() const {
    return m_statusRemote->text() + (m_statusRemote->text().isEmpty() ? "" : "  ") +
           m_statusMeters->text();
}

void CStationWindow::ShowStatus() {
    std::size_t connected = 0;
    for (std::size_t i = 0; i < m_count; ++i)
        connected += m_station.Status(i).state == station::MeterState::Connected ? 1 : 0;
    QString meters = QString("%1 of %2 meters connected").arg(connected).arg(m_count);
    // A log runs on with its panel closed: the window says so.
    int saving = 0;
    for (const auto& [meter, log] : m_logs)
        saving += log->Running() ? 1 : 0;
    if (saving > 0)
        meters += QString(", saving %1 log%2").arg(saving).arg(saving == 1 ? "" : "s");
    // Readings the tiles' measurements or the graph fell behind on; a stall both
    // fell behind on is counted once.
    const std::uint64_t missed = std::max(m_host->Lost(), m_feed->Dropped());
    if (missed > 0)
        meters += QString(", %1 reading%2 missed since the window opened")
                      .arg(missed)
                      .arg(missed == 1 ? "" : "s");
    if (m_statusMeters->text() != meters)
        m_statusMeters->setText(meters);
    QString remote;
    if (m_host->Serving()) {
        const std::size_t clients = m_host->Clients();
        remote = QString("Remote control on %1: %2 client%3")
                     .arg(QString::fromStdString(m_host->ServerAddress()))
                     .arg(clients)
                     .arg(clients == 1 ? "" : "s");
    }
    if (m_host->ServingVxi11()) {
        // Without rpcbind VISA cannot find the port: the window says so.
        remote += QString(remote.isEmpty() ? "" : "  ") + "VXI-11 on " +
                  QString::fromStdString(m_host->Vxi11Address()) +
                  (m_host->Vxi11Registered() ? "" : " (not in rpcbind)");
    }
    if (m_http)
        remote += QString(remote.isEmpty() ? "" : "  ") + "Web page on http://" +
                  QString::fromStdString(m_webShown) + "/";
    if (m_telemetry) {
        remote += QString(remote.isEmpty() ? "" : "  ") + "Publishing to " +
                  QString::fromStdString(m_brokerShown) +
                  (m_telemetry->Failed()      ? " (refused)"
                   : m_telemetry->Connected() ? ""
                                              : " (connecting)");
    }
    if (m_statusRemote->text() != remote)
        m_statusRemote->setText(remote);
    Announce();
}

void CStationWindow::SetAnnounce(bool on) {
    m_announceAction->setChecked(on);
}

std::string CStationWindow::AnnouncedName() const {
    return m_announcer ? m_announcer->Name() : std::string();
}

namespace {

// "127.0.0.1:5025" or "[::1]:5025" as the servers name their address.
remote::Endpoint EndpointOf(const std::string& shown) {
    remote::Endpoint e;
    const auto colon = shown.rfind(':');
    if (shown.empty() || colon == std::string::npos)
        return e;
    e.address = shown.substr(0, colon);
    if (e.address.size() >= 2 && e.address.front() == '[')
        e.address = e.address.substr(1, e.address.size() - 2);
    e.port = static_cast<std::uint16_t>(std::strtoul(shown.c_str() + colon + 1, nullptr, 10));
    return e;
}

}  // namespace

void CStationWindow::Announce() {
    remote::ServedInstrument served;
    served.scpi = EndpointOf(m_host->Serving() ? m_host->ServerAddress() : std::string());
    served.http = EndpointOf(m_http ? m_webShown : std::string());
    served.vxi11 = EndpointOf(m_host->ServingVxi11() ? m_host->Vxi11Address() : std::string());
    for (std::size_t i = 0; i < m_count; ++i)
        served.serials.push_back(m_station.Meter(i).serial);
    if (m_count > 0)
        served.firmware = m_station.Meter(0).firmware;
    const std::vector<remote::ServiceRecord> services = remote::ServicesFor(served);
    const bool on = m_announceAction == nullptr || m_announceAction->isChecked();
    std::string key = on ? "on" : "off";
    for (const remote::ServiceRecord& r : services)
        key += ";" + r.type + "@" + r.address + ":" + std::to_string(r.port);
    for (const std::string& serial : served.serials)
        key += ";" + serial;
    if (key == m_announced)
        return;
    m_announced = key;
    m_announcer.reset();
    if (!on || services.empty())
        return;
    m_announcer = std::make_unique<remote::DnsSdAnnouncer>();
    std::string note;
    // Told once per change of what runs; serving goes on either way.
    if (!m_announcer->Start(remote::InstanceName(served.serials), services, note))
        m_announcer.reset();
    statusBar()->showMessage(QString::fromStdString("DNS-SD: " + note), 10000);
}

bool CStationWindow::AllDelivered() const {
    return m_undelivered == 0;
}

std::string CStationWindow::Summary() const {
    const std::size_t n = m_count;
    return std::to_string(n) + (n == 1 ? " meter: " : " meters: ") +
           std::to_string(m_host->Taken()) + " readings, " + std::to_string(m_host->Lost()) +
           " lost" +
           (m_published ? "; " + std::to_string(m_undelivered) + " did not reach the broker" : "");
}

bool CStationWindow::SaveSnapshot(const QString& file, QString& reason) {
    const auto format = SnapshotFormatOf(file.toStdString());
    if (!format || *format == SnapshotFormat::kCsv) {
        reason = "A snapshot file must end in .png, .jpg, .jpeg or .pdf: " + file;
        return false;
    }
    const QPixmap picture = m_view->grab();
    bool ok = false;
    if (*format == SnapshotFormat::kPdf) {
        QPdfWriter pdf(file);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageOrientation(QPageLayout::Landscape);
        QPainter painter;
        if (painter.begin(&pdf)) {
            const QRect page = painter.viewport();
            const QSize size = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
            painter.drawPixmap(QRect(page.topLeft(), size), picture);
            ok = painter.end();
        }
    } else {
        ok = picture.save(file);
    }
    if (!ok)
        reason = "The snapshot could not be written to " + file;
    return ok;
}

void CStationWindow::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_timer.timerId()) {
        Refresh();
        return;
    }
    QMainWindow::timerEvent(e);
}

void CStationWindow::closeEvent(QCloseEvent* e) {
    // A meter being opened, and a panel's setup being written, give up their
    // waits; the window closes right after.
    bool writing = false;
    for (CMeterPanelDialog* panel : findChildren<CMeterPanelDialog*>()) {
        if (panel->Writing()) {
            panel->Abandon();
            writing = true;
        }
    }
    if (m_adding || writing) {
        m_closeWhenIdle = true;
        m_abandonAdd = true;
        e->ignore();
        return;
    }
    m_timer.stop();
    // The announcements go before the servers they name.
    m_announcer.reset();
    m_announced = "closed";
    m_host->StopVxi11();
    StopWeb();
    m_host->StopServer();
    StopTelemetry();
    QMainWindow::closeEvent(e);
}

}  // namespace velquor
