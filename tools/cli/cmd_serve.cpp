// velquor-cli serve: the meters as a SCPI instrument on a TCP port, until Ctrl-C;
// with --publish also to an MQTT broker, with --http as a web page and JSON API,
// from the same meters.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>

#include "cli_app.h"
#include "cli_station.h"
#include "cli_text.h"
#if VELQUOR_HAVE_MQTT
#include "mqtt_feed.h"
#endif
#include "reading_poll.h"
#if VELQUOR_HAVE_HTTP
#include "remote/http_server.h"
#include "telemetry/password_file.h"
#endif
#include "remote/dnssd.h"
#include "remote/reading_pump.h"
#include "remote/station_backend.h"
#include "remote/tcp_server.h"
#if VELQUOR_HAVE_VXI11
#include "remote/vxi11_server.h"
#endif

namespace velquor::cli {

namespace {

constexpr NumberField kIdleField{"--idle-timeout", 0, 7 * 24 * 3600.0, false, "s"};
#if VELQUOR_HAVE_VXI11
constexpr NumberField kVxi11PortField{"--vxi11-port", 0, 65535, true, ""};
#endif

struct ServeOptions {
    MeterOptions meters;
    ReconnectOptions reconnect;
    std::string listen = "127.0.0.1:5025";
    std::string idleTimeout = "600";
    bool vxi11 = false;
    std::string vxi11Port = "0";
#if VELQUOR_HAVE_MQTT
    MqttOptions mqtt;  // broker empty: no publishing
#endif
    CLI::Option* httpOption = nullptr;
    std::string http;  // given without a value: kDefaultHttp
    bool noScpi = false;
    bool noAnnounce = false;
    bool httpWrite = false;
    std::string httpPasswordFile;
    CLI::Option* httpStreamsOption = nullptr;
    std::size_t httpStreams = 4;
};

constexpr const char* kDefaultHttp = "127.0.0.1:8080";

#if VELQUOR_HAVE_HTTP
// The HTTP server's options from the command line; 0 or the exit status with error.
int BuildHttpOptions(const ServeOptions& o, remote::HttpOptions& http, std::string& error) {
    const std::string text = o.http.empty() ? kDefaultHttp : o.http;
    if (!remote::ParseListenAddress(text, http.address, http.port, error)) {
        // The same rules as --listen; the message names the option given.
        if (error.rfind("--listen", 0) == 0)
            error.replace(0, 8, "--http");
        if (const auto at = error.find("127.0.0.1:5025"); at != std::string::npos)
            error.replace(at, 14, kDefaultHttp);
        return kExitUsage;
    }
    http.allow_writes = o.httpWrite;
    http.max_streams = o.httpStreams;
    if (o.httpWrite) {
        if (o.httpPasswordFile.empty())
            return error = "--http-write needs --http-password-file FILE", kExitUsage;
        // The password never comes from the command line, where other users can read it.
        const auto password = telemetry::ReadPasswordFile(o.httpPasswordFile, error);
        if (!password)
            return kExitFailure;
        http.password = *password;
    }
    http.web_root = remote::FindWebRoot();
    return kExitOk;
}
#endif

int RunServe(CliApp& cli, const ServeOptions& options) {
    std::string error;
    remote::ServerOptions server;
    if (!remote::ParseListenAddress(options.listen, server.address, server.port, error))
        return Fail(error);
    const auto idle = ParseNumberOption(options.idleTimeout, kIdleField, error);
    if (!idle)
        return Fail(error);
    server.idle_timeout = std::chrono::milliseconds(std::llround(*idle * 1000));
#if VELQUOR_HAVE_VXI11
    remote::Vxi11Options vxi11;
    vxi11.address = server.address;
    vxi11.max_links = server.max_clients;
    if (options.vxi11) {
        const auto port = ParseNumberOption(options.vxi11Port, kVxi11PortField, error);
        if (!port)
            return Fail(error);
        vxi11.port = static_cast<std::uint16_t>(*port);
    } else if (options.vxi11Port != "0") {
        return UsageError("--vxi11-port needs --vxi11");
    }
#else
    if (options.vxi11 || options.vxi11Port != "0")
        return Fail("this build has no VXI-11 (it needs the ONC RPC library); the SCPI socket "
                    "server serves the same commands");
#endif
    MeterRequest request;
    if (const int status = ResolveMeters(cli.RootMeters(), options.meters, request, error))
        return Report(status, error);
    station::ReconnectPolicy policy;
    if (const int status = ReconnectPolicyFor(options.reconnect, policy, error))
        return Report(status, error);
    const bool serveHttp = options.httpOption->count() > 0;
    if (!serveHttp) {
        if (options.noScpi)
            return UsageError("--no-scpi needs --http: there would be nothing to serve");
        if (options.httpStreamsOption->count() > 0)
            return UsageError("--http-streams needs --http");
        if (options.httpWrite || !options.httpPasswordFile.empty())
            return UsageError(std::string(options.httpWrite ? "--http-write" : "--http-password-file") +
                              " needs --http");
    } else if (!options.httpWrite && !options.httpPasswordFile.empty()) {
        return UsageError("--http-password-file is only for --http-write");
    }
#if VELQUOR_HAVE_HTTP
    remote::HttpOptions httpOptions;
    if (serveHttp) {
        if (const int status = BuildHttpOptions(options, httpOptions, error))
            return Report(status, error);
        // Told before any meter is opened, so a mistake costs no wait.
        if (httpOptions.allow_writes && !remote::IsLoopbackAddress(httpOptions.address))
            return UsageError("--http-write needs --http on a loopback address (127.0.0.1 or "
                              "[::1]), not " + httpOptions.address +
                              ": without TLS the password would cross the network in clear");
    }
#else
    if (serveHttp)
        return Fail("this build has no HTTP server (cpp-httplib was not available)");
#endif
#if VELQUOR_HAVE_MQTT
    const bool publishing = !options.mqtt.broker.empty();
    telemetry::PublisherOptions publisher;
    if (!publishing) {
        if (const auto given = MqttOptionGiven(options.mqtt))
            return UsageError(*given + " needs --publish HOST[:PORT]");
    } else if (const int status = BuildPublisherOptions(options.mqtt, publisher, error)) {
        return Report(status, error);
    }
#endif

    CliStation meters(cli);
    if (const int status = meters.Open(request, policy))
        return status;
    station::Station& station = meters.Get();
    remote::StationBackend backend(station);
    remote::Instrument instrument(backend);
    const std::shared_ptr<station::Subscription> subscription = station.Subscribe();
    remote::SubscriptionSource source(subscription);
    // The pump takes the readings; this thread only checks on the meters.
    ReadingPoll poll(meters, subscription, {"the server"});
    // Link losses and returns are told on stderr from the pump's thread, the only
    // one that calls Track.
    remote::ReadingPump pump(source, instrument,
                             [&meters](const station::Reading& r) { meters.Track(r); });
    pump.Start();
    // The publisher has its own subscription and drop count; the pump's thread
    // alone tells the link events and the server's poll the meters that end.
#if VELQUOR_HAVE_MQTT
    std::unique_ptr<MqttFeed> feed;
    if (publishing)
        feed = std::make_unique<MqttFeed>(meters, options.mqtt.broker, std::move(publisher),
                                          PollOptions{"the publisher", false, false, false});
#else
    // Without the MQTT client there is never a feed; the loop below stays one.
    struct NoFeed {
        bool Start(std::string&) { return true; }
        void Step(std::chrono::steady_clock::time_point) {}
        bool Failed() const { return false; }
        int Finish(bool) { return kExitOk; }
    };
    std::unique_ptr<NoFeed> feed;
#endif
    remote::TcpServer tcp(instrument, server);
#if VELQUOR_HAVE_VXI11
    std::unique_ptr<remote::Vxi11Server> rpc;
    if (options.vxi11)
        rpc = std::make_unique<remote::Vxi11Server>(instrument, vxi11);
#endif
#if VELQUOR_HAVE_HTTP
    std::unique_ptr<remote::HttpServer> http;
#endif
    // An IPv6 address in brackets, as --listen takes it back.
    auto hostText = [](const std::string& address) {
        return address.find(':') != std::string::npos ? "[" + address + "]" : address;
    };
    // Says on the network what runs here, from when every server runs until they stop.
    remote::DnsSdAnnouncer announcer;
    int status = kExitOk;
    if (feed && !feed->Start(error)) {
        status = Fail(error);
    } else if (!options.noScpi && !tcp.Start(error)) {
        status = Fail(error);
#if VELQUOR_HAVE_VXI11
    } else if (rpc && !rpc->Start(error)) {
        status = Fail("VXI-11: " + error);
#endif
    } else {
#if VELQUOR_HAVE_HTTP
        if (serveHttp) {
            httpOptions.scpi_port = options.noScpi ? 0 : tcp.Port();
#if VELQUOR_HAVE_VXI11
            httpOptions.vxi11 = rpc != nullptr;
#endif
            http = std::make_unique<remote::HttpServer>(station, instrument, httpOptions);
            if (!http->Start(error))
                status = Fail(error);
        }
#endif
    }
    if (status == kExitOk) {
        std::string names;
        for (std::size_t i = 0; i < meters.Count(); ++i)
            names += (i == 0 ? "" : ", ") + PrintableText(meters.Name(i));
        // Not %zu: MinGW checks FormatC against the Microsoft runtime's printf.
        const std::string what = std::to_string(meters.Count()) + " meter" +
                                 (meters.Count() == 1 ? "" : "s") + " (" + names + ")";
        if (!options.noScpi)
            std::printf("SCPI server on %s:%u for %s; Ctrl-C stops it\n",
                        hostText(server.address).c_str(), static_cast<unsigned>(tcp.Port()),
                        what.c_str());
#if VELQUOR_HAVE_VXI11
        if (rpc) {
            // The same instrument; VISA finds the port through rpcbind when it runs.
            std::printf("VXI-11 (TCPIP::%s::INSTR) on %s:%u, abort channel %u; %s\n",
                        server.address.c_str(), hostText(server.address).c_str(),
                        static_cast<unsigned>(rpc->Port()), static_cast<unsigned>(rpc->AbortPort()),
                        rpc->Registered() ? "registered with rpcbind"
                                          : rpc->RegistrationNote().c_str());
        }
#endif
#if VELQUOR_HAVE_HTTP
        if (http) {
            std::printf("Web page on http://%s:%u/ for %s%s%s\n",
                        hostText(httpOptions.address).c_str(), static_cast<unsigned>(http->Port()),
                        what.c_str(), httpOptions.allow_writes ? ", settings can be changed" : "",
                        options.noScpi ? "; Ctrl-C stops it" : "");
            if (httpOptions.web_root.empty())
                std::fprintf(stderr,
                             "velquor-cli: warning: the web page's files were not found; the "
                             "API works, / answers 503 (set VELQUOR_WEB_DIR)\n");
        }
#endif
        if (!options.noAnnounce) {
            remote::ServedInstrument served;
            if (!options.noScpi)
                served.scpi = {server.address, tcp.Port()};
#if VELQUOR_HAVE_HTTP
            if (http)
                served.http = {httpOptions.address, http->Port()};
#endif
#if VELQUOR_HAVE_VXI11
            if (rpc)
                served.vxi11 = {server.address, rpc->Port()};
#endif
            for (std::size_t i = 0; i < meters.Count(); ++i)
                served.serials.push_back(station.Meter(i).serial);
            served.firmware = station.Meter(0).firmware;
            std::string note;
            // No daemon to announce through is said once; serving goes on.
            if (announcer.Start(remote::InstanceName(served.serials), remote::ServicesFor(served),
                                note))
                std::printf("DNS-SD: %s\n", note.c_str());
            else
                std::fprintf(stderr, "velquor-cli: DNS-SD: %s\n", note.c_str());
        }
        std::fflush(stdout);
        // Without --reconnect a lost meter is told and its channel answers -241; the
        // others are served on. One not back within --reconnect-timeout ends the server.
        // A broker away is told and retried by the publisher while serving goes on;
        // one that refuses the credentials ends both, as publish alone would.
        while (status == kExitOk) {
            if (feed) {
                feed->Step(std::chrono::steady_clock::now() + std::chrono::milliseconds(100));
                if (cli.Stop().Requested())
                    break;
                if (feed->Failed())
                    status = kExitFailure;
            } else if (cli.Stop().WaitFor(std::chrono::milliseconds(100))) {
                break;
            }
            poll.Check();
            if (meters.Reconnecting() && poll.Failed())
                status = kExitFailure;
        }
    }
    // Clients first, then the readings, then the meters (a setup in progress is cut
    // short), all within the stop signal's grace. The announcements go first.
    announcer.Stop();
#if VELQUOR_HAVE_VXI11
    if (rpc)
        rpc->Stop();
#endif
#if VELQUOR_HAVE_HTTP
    if (http)
        http->Stop();
#endif
    tcp.Stop();
    pump.Stop();
    station.Abort();
    backend.Stop();
    poll.ReportDrops();
    if (feed) {
        meters.Get().Close();
        // Its failure is told here, once, with the summary.
        const int published = feed->Finish(cli.Stop().Requested());
        if (published != kExitOk)
            status = published;
    }
    return status;
}

}  // namespace

void RegisterServeCommand(CliApp& cli) {
    auto options = std::make_shared<ServeOptions>();
    CLI::App* app =
        cli.AddCommand("serve", "answer SCPI clients (PyVISA, LabVIEW) over TCP until Ctrl-C",
                       [options](CliApp& c) { return RunServe(c, *options); });
    app->add_option("--listen", options->listen,
                    "Listen on this address and port (default 127.0.0.1:5025)")
        ->type_name("ADDR:PORT");
    app->add_option("--idle-timeout", options->idleTimeout,
                    "Drop a client silent for S seconds (default 600; 0: never)")
        ->type_name("S");
    app->add_flag("--vxi11", options->vxi11,
                  "Also serve VXI-11 (VISA's TCPIP::host::INSTR) on the --listen address, "
                  "registered with rpcbind when it runs");
    app->add_option("--vxi11-port", options->vxi11Port,
                    "The VXI-11 core channel's port (default 0: any free port)")
        ->type_name("PORT");
    options->httpOption =
        app->add_option("--http", options->http,
                        std::string("Also serve a web page and JSON API on this address (default ") +
                            kDefaultHttp + ")")
            ->expected(0, 1)
            ->type_name("[ADDR:PORT]");
    options->httpStreamsOption = app->add_option("--http-streams", options->httpStreams,
                    "Reading streams (/api/stream) open at once, each a thread (default 4)")
        ->check(CLI::Range(1, 64))
        ->type_name("N");
    app->add_flag("--no-scpi", options->noScpi, "With --http: no SCPI socket, only the web page");
    app->add_flag("--no-announce", options->noAnnounce,
                  "Do not announce the servers over DNS-SD (mDNS, through avahi-daemon)");
    app->add_flag("--http-write", options->httpWrite,
                  "Let the web page change frequency, offset and averaging (loopback only; "
                  "needs --http-password-file)");
    app->add_option("--http-password-file", options->httpPasswordFile,
                    "The password for changes over HTTP: first line of this file")
        ->type_name("FILE");
#if VELQUOR_HAVE_MQTT
    AddMqttOptions(*app, options->mqtt, "--publish",
                   "Also publish every reading to this MQTT broker, as publish does");
#endif
    AddReconnectOptions(*app, options->reconnect);
    AddMeterOptions(*app, options->meters, MeterOptionSet::Meters);
}

}  // namespace velquor::cli
