#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QMainWindow>
#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/sensor_settings.h"
#include "remote/http_server.h"
#include "remote/dnssd.h"
#include "remote/station_host.h"
#include "station/station.h"
#include "telemetry/station_telemetry.h"

class QAction;
class QLabel;

namespace velquor {

class CMeterLog;

class CStationView;

// Notices the station raises on its meters' threads, kept until the window shows them.
class CNoticeBox {
public:
    struct Notice {
        std::size_t meter;
        std::string text;  // without the meter's name
    };
    void Post(std::size_t meter, std::string text);
    std::vector<Notice> TakeAll();

private:
    std::mutex m_lock;
    std::deque<Notice> m_notices;
};

// The window over several meters: a station's meters as tiles, their combined
// readout and graph, a panel per meter, and the same SCPI server as
// `velquor-cli serve` on the same measurement settings.
class CStationWindow : public QMainWindow {
    Q_OBJECT

public:
    // How often the view takes the meters' state: about a screen refresh.
    static constexpr int kRefreshMs = 33;

    CStationWindow(station::Station& station, std::shared_ptr<CNoticeBox> notices,
                   std::unique_ptr<CSensorSettings> sensors = nullptr, QWidget* parent = nullptr);
    ~CStationWindow() override;

    // Options › Remote Control on this address ("127.0.0.1:5025"); false with the
    // reason (also shown in a message box when interactive), the window goes on.
    bool StartRemote(const std::string& listen, std::string& error);
    void StopRemote();
    // Options › Remote Control over VXI-11: the same instrument for VISA's
    // TCPIP::host::INSTR, on the remote control's address and any free port,
    // registered with rpcbind when asked and it runs. False with the reason (also
    // shown when interactive).
    bool StartVxi11(std::string& error, bool register_portmap = true);
    void StopVxi11();
    // Options › Telemetry: the meters published to an MQTT broker ("host[:port]")
    // under the stand's name, as velquor-cli publish does (without credentials or
    // TLS here). False with the reason, also shown when interactive.
    bool StartTelemetry(const std::string& broker, const std::string& stand, std::string& error);
    void StopTelemetry();
    void SetBroker(const std::string& broker, const std::string& stand) {
        m_broker = broker;
        m_stand = stand;
    }
    void SetListenAddress(const std::string& listen) { m_listen = listen; }
    // Options › Web Page: the read-only page, JSON API and reading stream on this
    // address ("127.0.0.1:8080"), as velquor-cli serve --http does; false with the
    // reason (also shown when interactive). Changing settings from the page is left
    // to velquor-cli, which reads the password file.
    bool StartWeb(const std::string& listen, std::string& error);
    void StopWeb();
    void SetWebAddress(const std::string& listen) { m_web = listen; }
    // "127.0.0.1:8080" while serving, else empty.
    std::string WebAddress() const { return m_webShown; }
    void SetInteractive(bool on) { m_interactive = on; }

    // File › Add Meter: the meters that could be added (see station::AddableTargets;
    // real meters are listed by the lister), and adding one. The meter opens behind
    // the busy indication; when it opened it gets a tile, a line in the graph, the
    // next SCPI channel, its place in the telemetry and its sensor's kept settings.
    // False with the reason (also shown when interactive), and nothing changes.
    std::vector<station::MeterTarget> AddableTargets(std::string& error) const;
    bool AddMeter(const station::MeterTarget& target, std::string& error);
    using Lister = std::function<std::unique_ptr<IFtdiDriver>()>;
    void SetLister(Lister lister) { m_lister = std::move(lister); }

    // Takes the meters' state and readings now (the timer does it every kRefreshMs).
    void Refresh();
    // Opens the panel of one meter (a tile's click); returns it (tests).
    class CMeterPanelDialog* OpenPanel(int meter);

    CStationView* View() const { return m_view; }
    remote::StationHost& Host() { return *m_host; }
    // The meter's log (made on first use); it runs on when its panel closes.
    CMeterLog& Log(std::size_t meter);
    QAction* RemoteAction() const { return m_remoteAction; }
    QAction* Vxi11Action() const { return m_vxi11Action; }
    QAction* WebAction() const { return m_webAction; }
    // Options > Announce on the Network (on unless --no-announce).
    void SetAnnounce(bool on);
    QAction* AnnounceAction() const { return m_announceAction; }
    // The DNS-SD instance name in use ("" while nothing is announced).
    std::string AnnouncedName() const;
    QAction* ReconnectAction() const { return m_reconnectAction; }
    QAction* TelemetryAction() const { return m_telemetryAction; }
    QAction* AddMeterAction() const { return m_addMeterAction; }
    QString StatusText() const;
    // "4 meters: 51120 readings, 0 lost" for the closing report of unattended runs.
    std::string Summary() const;
    // Every reading published reached the broker (true when nothing was published).
    bool AllDelivered() const;
    // Saves the view as a picture (.png, .jpg) or printed page (.pdf).
    bool SaveSnapshot(const QString& file, QString& reason);

protected:
    void timerEvent(QTimerEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildMenus();
    void LoadSensorSettings();
    void ApplyKeptSettings(std::size_t meter);
    void OnAddMeter();
    // The window's part of a meter the station has added.
    void ShowAddedMeter();
    void ShowTitle();
    void KeepSensorSettings(std::size_t meter, const remote::ChannelSettings& settings);
    // Something the user must not miss: a message box when someone is there.
    void Warn(const QString& text);
    void ShowStatus();
    // A server or the telemetry that could not start: the reason becomes "WHAT could
    // not start: ...", told in the status bar (and a box for a person); the menu
    // item is left as stillOn. Returns false.
    bool RefuseStart(QAction& action, bool stillOn, const std::string& what, std::string& error);
    // Announces the servers that run now, when that set changed.
    void Announce();
    // Asks for a listening address; a malformed one is refused with a message and
    // address is left as it was. False when nothing was changed.
    bool AskAddress(const QString& title, const QString& label, std::string& address);

    station::Station& m_station;
    std::shared_ptr<CNoticeBox> m_notices;
    std::unique_ptr<CSensorSettings> m_sensors;
    std::unique_ptr<remote::StationHost> m_host;
    std::shared_ptr<station::Subscription> m_feed;
    std::vector<station::Reading> m_batch;
    std::vector<std::string> m_keys;
    CStationView* m_view = nullptr;
    QLabel* m_statusMeters = nullptr;
    QLabel* m_statusRemote = nullptr;
    QAction* m_remoteAction = nullptr;
    QAction* m_vxi11Action = nullptr;
    QAction* m_webAction = nullptr;
    QAction* m_announceAction = nullptr;
    // What runs, announced over DNS-SD; the set last announced, so a refresh that
    // finds the same servers announces nothing anew.
    std::unique_ptr<remote::DnsSdAnnouncer> m_announcer;
    std::string m_announced;
    std::unique_ptr<remote::HttpServer> m_http;
    std::string m_web = "127.0.0.1:8080";
    std::string m_webShown;
    QAction* m_reconnectAction = nullptr;
    QAction* m_telemetryAction = nullptr;
    QAction* m_addMeterAction = nullptr;
    // The meters the window shows, channels and tiles alike. The station counts a
    // meter being added before the window has made room for it.
    std::size_t m_count = 0;
    Lister m_lister;
    bool m_adding = false;
    bool m_closeWhenIdle = false;
    std::atomic<bool> m_abandonAdd{false};
    std::unique_ptr<telemetry::StationTelemetry> m_telemetry;
    std::string m_broker = "localhost";
    std::string m_stand;
    std::string m_brokerShown;
    bool m_published = false;
    std::uint64_t m_undelivered = 0;
    QBasicTimer m_timer;
    std::string m_listen = "127.0.0.1:5025";
    bool m_interactive = true;
    std::int64_t m_startNs = 0;
    QString m_lastNotice;
    std::int64_t m_lastGraphNs = 0;
    // Each meter's log, made when its panel first opens; they go before the host,
    // whose instrument they read.
    std::map<std::size_t, std::unique_ptr<CMeterLog>> m_logs;
};

}  // namespace velquor
