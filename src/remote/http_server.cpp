#include "remote/http_server.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>

#include "measure/battery_gauge.h"
#include "measure/power_units.h"
#include "remote/reading_json.h"
#include "remote/station_backend.h"

namespace velquor::remote {

namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

constexpr const char* kManufacturer = "Orvane";
// Bounds a client holds a thread for: a request that does not arrive, a reply not
// read, an idle keep-alive connection. Stop waits for them at most this long.
constexpr int kIoTimeoutSeconds = 2;
constexpr int kKeepAliveSeconds = 1;
// A stream with no reading says something this often, so a client that left is
// noticed (its write fails) and its thread returns to the pool.
constexpr auto kHeartbeat = 2s;
constexpr auto kStreamPoll = 50ms;
// Readings that arrive within this of a stream's last write go out together: one
// wake-up and one send per batch rather than per reading (a meter sends up to 213
// a second), for at most this much more delay.
constexpr auto kStreamBatch = 25ms;
constexpr std::size_t kMaxBody = 64 * 1024;
// Connections that may wait for their request at once, each on a thread of its
// own, beyond the streams; more wait in line for a free one.
constexpr std::size_t kMaxIdleConnections = 256;

// The pool httplib runs connections on, whose workers keep SIGPIPE blocked: the
// library writes with plain send(), and a client that hangs up must give this
// thread EPIPE, not end the process. No process-wide change.
// A connection holds its worker until it sends a request or its wait runs out
// (idle ones, half-sent requests), so a fixed pool lets a few hundred idle
// connections keep everyone else queued for many seconds. It starts with `base`
// workers and adds one whenever a connection arrives with none free, up to `most`;
// the workers stay until shutdown, so what it holds is bounded by `most`.
class BlockingPool : public httplib::TaskQueue {
public:
    BlockingPool(std::size_t base, std::size_t most) : most_(std::max(base, most)) {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < base; ++i)
            AddWorker();
    }
    ~BlockingPool() override { shutdown(); }
    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(fn));
            if (idle_ < jobs_.size() && threads_.size() < most_ && !stop_)
                AddWorker();
        }
        wake_.notify_one();
    }
    void shutdown() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        // No worker is added once stop_ is set, so the list no longer changes.
        for (auto& t : threads_)
            if (t.joinable())
                t.join();
    }

private:
    void AddWorker() { threads_.emplace_back([this] { Work(); }); }
    void Work() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            std::function<void()> fn;
            {
                std::unique_lock lock(mutex_);
                ++idle_;
                wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
                --idle_;
                if (jobs_.empty())
                    return;
                fn = std::move(jobs_.front());
                jobs_.pop_front();
            }
            fn();
        }
    }

    const std::size_t most_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::size_t idle_ = 0;
    bool stop_ = false;
    std::vector<std::thread> threads_;
};

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters are not allowed in XML 1.0 text.
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n')
                    out += c;
        }
    }
    return out;
}

const char* StateWord(station::MeterState state) {
    switch (state) {
        case station::MeterState::Connected: return "connected";
        case station::MeterState::Lost: return "lost";
        case station::MeterState::Waiting: return "waiting";
        case station::MeterState::Opening: return "opening";
        case station::MeterState::GaveUp: return "gave_up";
        case station::MeterState::Closed: return "closed";
    }
    return "closed";
}

Json NumberOrNull(double v) {
    return std::isfinite(v) ? Json(v) : Json(nullptr);
}

// The host name a client reached us by, for the resource strings: the Host
// header without its port, else the listen address.
std::string HostOf(const httplib::Request& req, const std::string& fallback) {
    std::string host = req.get_header_value("Host");
    if (host.empty())
        return fallback == "0.0.0.0" || fallback == "::" ? "localhost" : fallback;
    if (host.front() == '[') {
        const auto close = host.find(']');
        return close == std::string::npos ? host : host.substr(0, close + 1);
    }
    const auto colon = host.rfind(':');
    return colon == std::string::npos ? host : host.substr(0, colon);
}

// Takes as long whatever the guess, so the time of a refusal tells nothing.
bool ConstantTimeEqual(const std::string& given, const std::string& expected) {
    if (expected.empty())
        return false;
    unsigned diff = given.size() == expected.size() ? 0u : 1u;
    for (std::size_t i = 0; i < given.size(); ++i)
        diff |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    return diff == 0;
}

std::string Base64Decode(const std::string& in) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    std::string out;
    int bits = 0;
    unsigned buffer = 0;
    for (const char c : in) {
        if (c == '=')
            break;
        const int v = value(c);
        if (v < 0)
            return {};
        buffer = (buffer << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return out;
}

void Reply(httplib::Response& res, int status, const std::string& text) {
    res.status = status;
    res.set_content(text + "\n", "text/plain; charset=utf-8");
}

}  // namespace

std::string FindWebRoot() {
    namespace fs = std::filesystem;
    std::vector<fs::path> candidates;
    if (const char* env = std::getenv("VELQUOR_WEB_DIR"); env != nullptr && *env != '\0')
        return fs::exists(fs::path(env) / "index.html") ? std::string(env) : std::string();
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec)
        candidates.push_back(exe.parent_path().parent_path() / "share" / "velquor" / "web");
#ifdef VELQUOR_WEB_SOURCE_DIR
    candidates.emplace_back(VELQUOR_WEB_SOURCE_DIR);
#endif
    for (const fs::path& dir : candidates)
        if (fs::exists(dir / "index.html", ec))
            return dir.string();
    return {};
}

bool IsLoopbackAddress(const std::string& address) {
    return address == "localhost" || address == "::1" || address == "[::1]" ||
           address.rfind("127.", 0) == 0;
}

struct HttpServer::Impl {
    struct Stream {
        std::shared_ptr<station::Subscription> subscription;
        std::chrono::steady_clock::time_point last_write;
        std::uint64_t reported_drops = 0;
        bool opened = false;
    };

    Impl(station::Station& s, Instrument& i, HttpOptions o)
        : station(s), instrument(i), options(std::move(o)) {}

    station::Station& station;
    Instrument& instrument;
    const HttpOptions options;
    httplib::Server server;
    std::thread listener;
    std::uint16_t port = 0;
    int listen_fd = -1;  // the server's, for its backlog
    std::atomic<bool> stopping{false};
    std::atomic<std::size_t> streams{0};
    std::atomic<std::uint64_t> requests{0}, streams_opened{0}, streams_refused{0}, events_sent{0},
        events_dropped{0}, writes_refused{0};

    void Route(const httplib::Request& req, httplib::Response& res);
    void Page(const std::string& file, const char* type, httplib::Response& res);
    void Meters(httplib::Response& res);
    void OpenStream(httplib::Response& res);
    bool StreamStep(Stream& s, httplib::DataSink& sink);
    void Identification(const httplib::Request& req, httplib::Response& res);
    void Write(const httplib::Request& req, httplib::Response& res, std::size_t channel);
    bool Authorized(const httplib::Request& req) const;
};

void HttpServer::Impl::Route(const httplib::Request& req, httplib::Response& res) {
    ++requests;
    const std::string& path = req.path;
    const bool get = req.method == "GET" || req.method == "HEAD";
    struct Page {
        const char* path;
        const char* file;
        const char* type;
    };
    static constexpr Page kPages[] = {
        {"/", "index.html", "text/html; charset=utf-8"},
        {"/index.html", "index.html", "text/html; charset=utf-8"},
        {"/style.css", "style.css", "text/css; charset=utf-8"},
        {"/app.js", "app.js", "text/javascript; charset=utf-8"},
    };
    auto wrongMethod = [&res](const char* allow) {
        res.set_header("Allow", allow);
        Reply(res, 405, std::string("method not allowed here; allowed: ") + allow);
    };
    for (const Page& p : kPages) {
        if (path == p.path)
            return get ? this->Page(p.file, p.type, res) : wrongMethod("GET, HEAD");
    }
    if (path == "/api/meters")
        return get ? Meters(res) : wrongMethod("GET, HEAD");
    if (path == "/api/stream")
        return req.method == "GET" ? OpenStream(res) : wrongMethod("GET");
    if (path == "/lxi/identification")
        return get ? Identification(req, res) : wrongMethod("GET, HEAD");
    // /api/meters/N/settings, N the channel from 1
    constexpr std::string_view prefix = "/api/meters/";
    constexpr std::string_view suffix = "/settings";
    if (path.size() > prefix.size() + suffix.size() && path.rfind(prefix, 0) == 0 &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        const std::string_view digits(path.data() + prefix.size(),
                                      path.size() - prefix.size() - suffix.size());
        std::size_t n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (ec != std::errc() || end != digits.data() + digits.size() || n == 0 ||
            n > instrument.Channels())
            return Reply(res, 404, "no meter " + std::string(digits));
        return req.method == "POST" ? Write(req, res, n - 1) : wrongMethod("POST");
    }
    Reply(res, 404, "not found: " + path);
}

void HttpServer::Impl::Page(const std::string& file, const char* type, httplib::Response& res) {
    if (options.web_root.empty())
        return Reply(res, 503, "the web page's files were not found (set VELQUOR_WEB_DIR)");
    const std::string path = options.web_root + "/" + file;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream body;
    if (!in || !(body << in.rdbuf()))
        return Reply(res, 503, "the web page's file " + path + " cannot be read");
    res.set_header("Cache-Control", "no-cache");
    res.set_content(body.str(), type);
}

void HttpServer::Impl::Meters(httplib::Response& res) {
    Json meters = Json::array();
    const std::size_t n = std::min(instrument.Channels(), station.MeterCount());
    for (std::size_t ch = 0; ch < n; ++ch) {
        const station::MeterInfo info = station.Meter(ch);
        const station::MeterStatus status = station.Status(ch);
        const ChannelView view = instrument.View(ch);
        const ChannelSettings& s = view.settings;
        Json m;
        m["channel"] = ch + 1;
        m["name"] = station.MeterName(ch);
        m["serial"] = info.serial;
        m["model"] = kMeterModelName;
        m["firmware"] = info.firmware;
        m["calibration_date"] = info.calibration_date;
        m["frequency_mhz"] = info.frequency_mhz;
        m["frequency_range"] = info.frequency_range;
        m["cable_loss_db"] = info.cable_loss_db;
        m["state"] = StateWord(status.state);
        m["lost"] = view.lost;
        if (view.has_reading) {
            const measure::MeasureResult& r = view.last;
            m["power_dbm"] = NumberOrNull(r.input_dbm);
            m["power_w"] = NumberOrNull(measure::DbmToUnit(r.input_dbm, measure::PowerUnit::Watt));
            m["shown_dbm"] = NumberOrNull(r.shown_dbm);
            m["value"] = NumberOrNull(s.relative_on ? r.relative_db
                                                    : measure::DbmToUnit(r.shown_dbm, s.unit));
            m["unit"] = s.relative_on ? "dB" : measure::UnitName(s.unit);
            const char* word = measure::LimitWord(r.limit);
            m["limit"] = *word ? Json(word) : Json(nullptr);
            m["averaged"] = r.averaged;
        } else {
            for (const char* key : {"power_dbm", "power_w", "shown_dbm", "value", "unit", "limit"})
                m[key] = nullptr;
            m["averaged"] = 0;
        }
        m["temperature_c"] = NumberOrNull(view.temperature_c);
        m["battery"] = NumberOrNull(view.battery);
        const auto percent =
            std::isfinite(view.battery) ? measure::BatteryPercent(view.battery) : std::nullopt;
        m["battery_percent"] = percent ? Json(*percent) : Json(nullptr);
        m["fail_count"] = view.fail_count;
        m["settings"] = {{"offset_db", s.offset_db},        {"offset_on", s.offset_on},
                         {"average_count", s.average_count}, {"average_on", s.average_on},
                         {"relative_on", s.relative_on},     {"limits_on", s.limits_on},
                         {"upper_dbm", s.upper_dbm},         {"lower_dbm", s.lower_dbm}};
        meters.push_back(std::move(m));
    }
    const Json body = {{"manufacturer", kManufacturer},
                       {"model", kMeterModelName},
                       {"version", instrument.Options().version},
                       {"writable", options.allow_writes},
                       {"meters", std::move(meters)}};
    res.set_header("Cache-Control", "no-store");
    res.set_content(body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n",
                    "application/json");
}

void HttpServer::Impl::OpenStream(httplib::Response& res) {
    // Taken here and given back by the releaser, which runs whether or not the
    // stream ever started.
    if (streams.fetch_add(1) >= options.max_streams) {
        --streams;
        ++streams_refused;
        res.set_header("Retry-After", "5");
        return Reply(res, 503,
                     "too many streams open (" + std::to_string(options.max_streams) + ")");
    }
    ++streams_opened;
    auto stream = std::make_shared<Stream>();
    stream->subscription = station.Subscribe(options.stream_queue);
    stream->last_write = std::chrono::steady_clock::now();
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, stream](std::size_t, httplib::DataSink& sink) { return StreamStep(*stream, sink); },
        [this, stream](bool) {
            station.Unsubscribe(stream->subscription);
            events_dropped += stream->subscription->Dropped() - stream->reported_drops;
            --streams;
        });
}

bool HttpServer::Impl::StreamStep(Stream& s, httplib::DataSink& sink) {
    if (stopping)
        return false;
    const auto since = std::chrono::steady_clock::now() - s.last_write;
    if (s.opened && since < kStreamBatch)
        std::this_thread::sleep_for(kStreamBatch - since);
    std::string out;
    if (!s.opened) {
        // A browser that loses the stream tries again after a second.
        out = "retry: 1000\n\n";
        s.opened = true;
    }
    std::vector<station::Reading> readings;
    s.subscription->PopAll(readings, kStreamPoll);
    for (const station::Reading& r : readings)
        out += "data: " + ReadingJsonLine(r, station.MeterName(r.meter)) + "\n\n";
    const std::uint64_t dropped = s.subscription->Dropped();
    if (dropped != s.reported_drops) {
        // Told to the client too, so a chart knows it has a gap.
        out += "event: dropped\ndata: " + std::to_string(dropped) + "\n\n";
        events_dropped += dropped - s.reported_drops;
        s.reported_drops = dropped;
    }
    const auto now = std::chrono::steady_clock::now();
    if (out.empty() && now - s.last_write >= kHeartbeat)
        out = ":\n\n";
    if (out.empty())
        return !s.subscription->Ended();
    s.last_write = now;
    if (!sink.write(out.data(), out.size()))
        return false;
    events_sent += readings.size();
    return true;
}

void HttpServer::Impl::Identification(const httplib::Request& req, httplib::Response& res) {
    const std::string host = HostOf(req, options.address);
    std::string serials, firmware;
    const std::size_t n = station.MeterCount();
    for (std::size_t i = 0; i < n; ++i) {
        const station::MeterInfo info = station.Meter(i);
        serials += (i ? "," : "") + (info.serial.empty() ? station.MeterName(i) : info.serial);
        firmware += (i ? "," : "") + info.firmware;
    }
    const bool v6 = host.find(':') != std::string::npos;
    std::string x;
    x += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    x += "<LXIDevice xmlns=\"http://www.lxistandard.org/InstrumentIdentification/1.0\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
         "xsi:schemaLocation=\"http://www.lxistandard.org/InstrumentIdentification/1.0 "
         "http://www.lxistandard.org/InstrumentIdentification/1.0/LXIIdentification.xsd\">\n";
    x += "  <Manufacturer>" + XmlEscape(kManufacturer) + "</Manufacturer>\n";
    x += "  <Model>" + XmlEscape(kMeterModelName) + "</Model>\n";
    x += "  <SerialNumber>" + XmlEscape(serials) + "</SerialNumber>\n";
    x += "  <FirmwareRevision>" + XmlEscape(firmware) + "</FirmwareRevision>\n";
    x += "  <ManufacturerDescription>" +
         XmlEscape("RF power meter" + std::string(n == 1 ? "" : "s") + ", " + std::to_string(n) +
                   " channel" + (n == 1 ? "" : "s") + ", served by Velquor " +
                   instrument.Options().version) +
         "</ManufacturerDescription>\n";
    const std::string base = "http://" + (v6 ? "[" + host + "]" : host) + ":" +
                             std::to_string(port);
    x += "  <HomepageURL>" + XmlEscape(base + "/") + "</HomepageURL>\n";
    x += "  <UserDescription>" + XmlEscape(serials) + "</UserDescription>\n";
    x += "  <IdentificationURL>" + XmlEscape(base + "/lxi/identification") +
         "</IdentificationURL>\n";
    x += std::string("  <Interface xsi:type=\"NetworkInformation\" InterfaceType=\"LXI\" IPType=\"") +
         (v6 ? "IPv6" : "IPv4") + "\" InterfaceName=\"eth0\">\n";
    if (options.scpi_port != 0)
        x += "    <InstrumentAddressString>" +
             XmlEscape("TCPIP::" + host + "::" + std::to_string(options.scpi_port) + "::SOCKET") +
             "</InstrumentAddressString>\n";
    if (options.vxi11)
        x += "    <InstrumentAddressString>" + XmlEscape("TCPIP::" + host + "::INSTR") +
             "</InstrumentAddressString>\n";
    x += "    <Hostname>" + XmlEscape(host) + "</Hostname>\n";
    x += "  </Interface>\n";
    x += "</LXIDevice>\n";
    res.set_content(x, "text/xml; charset=utf-8");
}

bool HttpServer::Impl::Authorized(const httplib::Request& req) const {
    const std::string header = req.get_header_value("Authorization");
    constexpr std::string_view basic = "Basic ";
    if (header.rfind(basic, 0) != 0)
        return false;
    const std::string pair = Base64Decode(header.substr(basic.size()));
    const auto colon = pair.find(':');
    if (colon == std::string::npos)
        return false;
    return ConstantTimeEqual(pair.substr(colon + 1), options.password);
}

void HttpServer::Impl::Write(const httplib::Request& req, httplib::Response& res,
                             std::size_t channel) {
    if (!options.allow_writes) {
        ++writes_refused;
        return Reply(res, 403, "settings are read-only (serve --http-write allows changes)");
    }
    if (!Authorized(req)) {
        ++writes_refused;
        res.set_header("WWW-Authenticate", "Basic realm=\"velquor\", charset=\"UTF-8\"");
        return Reply(res, 401, "a change needs the password (HTTP Basic, any user name)");
    }
    Json body;
    try {
        body = Json::parse(req.body);
    } catch (const nlohmann::json::exception&) {
        return Reply(res, 400, "the body is not JSON");
    }
    if (!body.is_object() || body.empty())
        return Reply(res, 400,
                     "the body must be a JSON object with frequency_mhz, offset_db, offset_on, "
                     "average_count or average_on");
    ChannelSettings s = instrument.Settings(channel);
    std::optional<int> frequency;
    for (auto it = body.begin(); it != body.end(); ++it) {
        const std::string& key = it.key();
        const Json& v = it.value();
        if (key == "offset_db" && v.is_number())
            s.offset_db = v.get<double>();
        else if (key == "offset_on" && v.is_boolean())
            s.offset_on = v.get<bool>();
        else if (key == "average_on" && v.is_boolean())
            s.average_on = v.get<bool>();
        else if (key == "average_count" && v.is_number_integer() && v.get<long long>() > 0 &&
                 v.get<long long>() <= 1'000'000)
            s.average_count = static_cast<int>(v.get<long long>());
        else if (key == "frequency_mhz" && v.is_number_integer() && v.get<long long>() > 0 &&
                 v.get<long long>() <= 1'000'000)
            frequency = static_cast<int>(v.get<long long>());
        else
            return Reply(res, 400, "\"" + key + "\" is not a setting or has the wrong type");
    }
    if (frequency) {
        const std::optional<MeterSetup> setup = instrument.Backend().Setup(channel);
        const int low = setup && setup->low_frequency ? kMinLowFrequencyMhz : kMinFrequencyMhz;
        if (*frequency < low || *frequency > kMaxFrequencyMhz)
            return Reply(res, 400,
                         "frequency_mhz must be from " + std::to_string(low) + " to " +
                             std::to_string(kMaxFrequencyMhz));
    }
    if (s != instrument.Settings(channel)) {
        const Outcome applied = instrument.Apply(channel, s);
        if (applied.error != 0)
            return Reply(res, 400, "refused: " + applied.detail);
    }
    if (frequency) {
        auto done = std::make_shared<std::promise<WriteOutcome>>();
        std::future<WriteOutcome> outcome = done->get_future();
        instrument.Backend().WriteSetup(channel, SetupWrite{*frequency, std::nullopt},
                                        [done](WriteOutcome w) { done->set_value(std::move(w)); });
        if (outcome.wait_for(options.write_wait) != std::future_status::ready)
            return Reply(res, 504, "the meter did not finish its setup in time");
        const WriteOutcome w = outcome.get();
        switch (w.status) {
            case WriteStatus::Done: instrument.Invalidate(channel); break;
            case WriteStatus::Gone: return Reply(res, 409, "the meter is not connected");
            case WriteStatus::Refused: return Reply(res, 400, "the meter refused: " + w.detail);
            case WriteStatus::Failed: return Reply(res, 502, "the setup failed: " + w.detail);
        }
    }
    Reply(res, 200, "ok");
}

HttpServer::HttpServer(station::Station& station, Instrument& instrument, HttpOptions options)
    : impl_(std::make_unique<Impl>(station, instrument, std::move(options))) {}

HttpServer::~HttpServer() {
    Stop();
}

bool HttpServer::Start(std::string& error) {
    Impl& m = *impl_;
    const HttpOptions& o = m.options;
    const bool v6 = o.address.find(':') != std::string::npos;
    const std::string where =
        (v6 ? "[" + o.address + "]" : o.address) + ":" + std::to_string(o.port);
    if (o.allow_writes && !IsLoopbackAddress(o.address)) {
        error = "--http-write needs a loopback address (127.0.0.1 or ::1), not " + o.address +
                ": without TLS the password would cross the network in clear";
        return false;
    }
    if (o.allow_writes && o.password.empty()) {
        error = "--http-write needs a password (--http-password-file)";
        return false;
    }
    httplib::Server& s = m.server;
    // Only SO_REUSEADDR: the library's default also sets SO_REUSEPORT, which would
    // let a second server share a port in use instead of being told.
    // TCP_NODELAY (inherited by accepted sockets): a stream's chunk goes out in
    // several small writes, which Nagle's algorithm would hold back for the ACK.
    s.set_socket_options([&m](socket_t sock) {
        m.listen_fd = sock;
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    });
    const std::size_t base = o.max_streams + 4;
    s.new_task_queue = [base] { return new BlockingPool(base, base + kMaxIdleConnections); };
    s.set_keep_alive_timeout(kKeepAliveSeconds);
    // A page polling /api/meters keeps its connection rather than opening one per request.
    s.set_keep_alive_max_count(1000);
    s.set_read_timeout(kIoTimeoutSeconds, 0);
    s.set_write_timeout(kIoTimeoutSeconds, 0);
    s.set_payload_max_length(kMaxBody);
    // One router for every path and method, so a known path asked with the wrong
    // method is told 405 rather than 404. Methods that carry a body come through
    // the library's handlers, which have read it; GET and HEAD before that.
    s.set_pre_routing_handler([&m](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD")
            return httplib::Server::HandlerResponse::Unhandled;
        m.Route(req, res);
        return httplib::Server::HandlerResponse::Handled;
    });
    const auto route = [&m](const httplib::Request& req, httplib::Response& res) {
        m.Route(req, res);
    };
    s.Post(".*", route).Put(".*", route).Patch(".*", route).Delete(".*", route).Options(".*",
                                                                                        route);
    errno = 0;
    int bound = -1;
    if (o.port == 0)
        bound = s.bind_to_any_port(o.address);
    else if (s.bind_to_port(o.address, o.port))
        bound = o.port;
    if (bound <= 0) {
        const int code = errno;
        error = "cannot serve HTTP on " + where + ": " +
                (code == EADDRINUSE ? std::string("the port is in use")
                 : code != 0        ? std::string(std::strerror(code))
                                    : std::string("not an address of this machine"));
        return false;
    }
    m.port = static_cast<std::uint16_t>(bound);
    // The library listens with a backlog of 5: a burst of connections (a page's,
    // a scan's) beyond it waits out a 1 s SYN retry each. Listening again only
    // lengthens the queue.
    if (m.listen_fd >= 0)
        ::listen(m.listen_fd, SOMAXCONN);
    m.stopping = false;
    m.listener = std::thread([&s] { s.listen_after_bind(); });
    // Stop before the loop runs would find nothing to stop; wait (bounded) for it.
    for (int i = 0; i < 200 && !s.is_running(); ++i)
        std::this_thread::sleep_for(5ms);
    return true;
}

std::uint16_t HttpServer::Port() const {
    return impl_->port;
}

void HttpServer::Stop() {
    Impl& m = *impl_;
    if (!m.listener.joinable())
        return;
    m.stopping = true;
    for (int i = 0; i < 200 && !m.server.is_running(); ++i)
        std::this_thread::sleep_for(5ms);
    m.server.stop();
    m.listener.join();
}

HttpCounters HttpServer::Counters() const {
    const Impl& m = *impl_;
    return HttpCounters{m.requests.load(),     m.streams_opened.load(), m.streams_refused.load(),
                        m.events_sent.load(),  m.events_dropped.load(), m.writes_refused.load()};
}

}  // namespace velquor::remote
