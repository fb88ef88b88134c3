// velquor-cli serve: the meters as a SCPI instrument on a TCP port, until Ctrl-C.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>

#include "cli_app.h"
#include "link/serial_driver.h"
#include "meter/number_format.h"
#include "remote/reading_pump.h"
#include "remote/station_backend.h"
#include "remote/tcp_server.h"
#include "station/station.h"

namespace velquor::cli {

namespace {

constexpr NumberField kIdleField{"--idle-timeout", 0, 7 * 24 * 3600.0, false, "s"};
constexpr NumberField kReconnectTimeoutField{"--reconnect-timeout", 0, 365 * 24 * 3600.0, false,
                                             "s"};
constexpr NumberField kSimulateField{"--simulate", 1, 16, true, "meters"};

struct ServeOptions {
    MeterOptions meters;
    std::string listen = "127.0.0.1:5025";
    std::string idleTimeout = "600";
    bool reconnect = false;
    std::string reconnectTimeout;
};

// "14:02:11" in local time, for the lines about lost and returning meters.
std::string ClockText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// The meters in the order the command line gives them: before the command, then
// after it, --port and --serial as they come; --simulate N gives N meters.
bool CollectTargets(const CLI::App& app, const MeterOptions& options,
                    std::vector<station::MeterTarget>& targets, std::size_t& simulated, bool& all,
                    std::string& error) {
    std::size_t port = 0, serial = 0;
    for (const CLI::Option* o : app.parse_order()) {
        if (o->get_name() == "--port" && port < options.ports.size()) {
            if (options.ports[port].empty()) {
                error = "--port needs a device path";
                return false;
            }
            targets.push_back(station::MeterTarget::ByPath(options.ports[port++]));
        } else if (o->get_name() == "--serial" && serial < options.serials.size()) {
            targets.push_back(station::MeterTarget::BySerial(options.serials[serial++]));
        }
    }
    if (options.Simulate()) {
        simulated = 1;
        if (!options.simulateCount.empty()) {
            const auto n = ParseNumberOption(options.simulateCount, kSimulateField, error);
            if (!n)
                return false;
            simulated = static_cast<std::size_t>(*n);
        }
    }
    all = all || options.all;
    return true;
}

// Prints link losses and returns as they happen, and ends the command when a
// meter's reconnect time-out passes.
class EventPrinter {
public:
    explicit EventPrinter(const station::Station& station) : m_station(station) {}
    void OnReading(const station::Reading& r) {
        const std::string& name = m_station.MeterName(r.meter);
        if (r.kind == station::ReadingKind::LinkLost) {
            std::lock_guard lock(m_lock);
            m_lostAt[r.meter] = r.steady_ns;
            std::fprintf(stderr, "%s %s: link lost%s\n", ClockText().c_str(), name.c_str(),
                         m_reconnect ? "; reconnecting" : "");
        } else if (r.kind == station::ReadingKind::Reconnected) {
            std::lock_guard lock(m_lock);
            const double away = (r.steady_ns - m_lostAt[r.meter]) / 1e9;
            std::fprintf(stderr, "%s %s: reconnected after %.1f s\n", ClockText().c_str(),
                         name.c_str(), away);
        }
    }
    void SetReconnect(bool on) { m_reconnect = on; }

private:
    const station::Station& m_station;
    std::mutex m_lock;
    std::map<std::uint32_t, std::int64_t> m_lostAt;
    bool m_reconnect = false;
};

int RunServe(CliApp& cli, const CLI::App& app, const ServeOptions& options) {
    std::string error;
    remote::ServerOptions server;
    if (!remote::ParseListenAddress(options.listen, server.address, server.port, error))
        return UsageError(error);
    const auto idle = ParseNumberOption(options.idleTimeout, kIdleField, error);
    if (!idle)
        return UsageError(error);
    server.idle_timeout = std::chrono::milliseconds(static_cast<long long>(*idle * 1000));
    station::StationOptions stationOptions;
    stationOptions.reconnect.enabled = options.reconnect;
    if (!options.reconnectTimeout.empty()) {
        if (!options.reconnect)
            return UsageError("--reconnect-timeout needs --reconnect");
        const auto t = ParseNumberOption(options.reconnectTimeout, kReconnectTimeoutField, error);
        if (!t)
            return UsageError(error);
        stationOptions.reconnect.timeout =
            std::chrono::milliseconds(static_cast<long long>(*t * 1000));
    }

    std::vector<station::MeterTarget> targets;
    std::size_t simulated = 0;
    bool all = false;
    if (!CollectTargets(*app.get_parent(), cli.RootMeters(), targets, simulated, all, error) ||
        !CollectTargets(app, options.meters, targets, simulated, all, error))
        return UsageError(error);
    if (simulated > 0 && !targets.empty())
        return UsageError("--simulate cannot be used with --port or --serial");
    if (all && !targets.empty())
        return UsageError("--all cannot be used with --port or --serial");
    const bool keepGoing = cli.RootMeters().keepGoing || options.meters.keepGoing;
    for (std::size_t i = 0; i < simulated; ++i)
        targets.push_back(station::MeterTarget::Simulated(static_cast<int>(i)));
    if (all || targets.empty()) {
        CSerialDriver lister;
        if (!station::ListMeterTargets(lister, targets, error))
            return Fail(error);
        if (targets.empty())
            return Fail("no meter found; give --port PATH or --simulate");
    }

    // Notices about a meter (refused on reconnecting, given up) go to stderr; a
    // reconnect time-out that passes ends the command.
    std::atomic<bool> gaveUp{false};
    std::mutex namesLock;
    std::vector<std::string> names;  // filled once the meters are open
    stationOptions.on_notice = [&](const station::MeterNotice& n) {
        std::string name = "meter " + std::to_string(n.meter + 1);
        {
            std::lock_guard lock(namesLock);
            if (n.meter < names.size())
                name = names[n.meter];
        }
        std::fprintf(stderr, "%s %s: %s\n", ClockText().c_str(), name.c_str(), n.text.c_str());
        if (n.kind == station::MeterNotice::Kind::GaveUp)
            gaveUp = true;
    };
    station::Station station(stationOptions);
    std::vector<std::string> errors;
    const bool opened = station.Open(targets, keepGoing, errors);
    {
        std::lock_guard lock(namesLock);
        for (std::size_t i = 0; opened && i < station.MeterCount(); ++i)
            names.push_back(station.MeterName(i));
    }
    for (const std::string& e : errors)
        std::fprintf(stderr, "velquor-cli: %s\n", e.c_str());
    if (!opened || cli.Stop().Requested()) {
        station.Close();
        return cli.Stop().Requested() ? cli.Stop().ExitStatus() : kExitFailure;
    }

    remote::StationBackend backend(station);
    remote::Instrument instrument(backend);
    EventPrinter events(station);
    events.SetReconnect(options.reconnect);
    const std::shared_ptr<station::Subscription> subscription = station.Subscribe();
    remote::SubscriptionSource source(subscription);
    remote::ReadingPump pump(source, instrument,
                             [&events](const station::Reading& r) { events.OnReading(r); });
    pump.Start();
    remote::TcpServer tcp(instrument, server);
    int status = kExitOk;
    if (!tcp.Start(error)) {
        status = Fail(error);
    } else {
        std::string names;
        for (std::size_t i = 0; i < station.MeterCount(); ++i)
            names += (i == 0 ? "" : ", ") + station.MeterName(i);
        std::printf("SCPI server on %s:%u for %zu meter%s (%s); Ctrl-C stops it\n",
                    server.address.c_str(), static_cast<unsigned>(tcp.Port()), station.MeterCount(),
                    station.MeterCount() == 1 ? "" : "s", names.c_str());
        std::fflush(stdout);
        while (!cli.Stop().WaitFor(std::chrono::milliseconds(100))) {
            if (subscription->TakeDropReport())
                std::fprintf(stderr,
                             "velquor-cli: the server fell behind the meters; readings "
                             "were dropped\n");
            if (gaveUp) {
                status = Fail("a meter did not come back before --reconnect-timeout");
                break;
            }
        }
    }
    // Clients first, then the readings, then the meters (cutting a setup in
    // progress short), all within the stop signal's grace.
    tcp.Stop();
    pump.Stop();
    station.Abort();
    backend.Stop();
    station.Close();
    return status;
}

}  // namespace

void RegisterServeCommand(CliApp& cli) {
    auto options = std::make_shared<ServeOptions>();
    auto app = std::make_shared<CLI::App*>(nullptr);
    *app = cli.AddCommand("serve", "answer SCPI clients (PyVISA, LabVIEW) over TCP",
                          [options, app](CliApp& c) { return RunServe(c, **app, *options); });
    (*app)
        ->add_option("--listen", options->listen,
                     "Listen on this address and port (default 127.0.0.1:5025)")
        ->type_name("ADDR:PORT");
    (*app)
        ->add_option("--idle-timeout", options->idleTimeout,
                     "Drop a client silent for S seconds (default 600; 0: never)")
        ->type_name("S");
    (*app)->add_flag("--reconnect", options->reconnect, "Wait for a lost meter to come back");
    (*app)
        ->add_option("--reconnect-timeout", options->reconnectTimeout,
                     "Give up on a lost meter after S seconds")
        ->type_name("S");
    AddMeterOptions(**app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
