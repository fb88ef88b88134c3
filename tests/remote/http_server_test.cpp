// The meters over HTTP, as a browser, curl and a VISA discovery tool reach them:
// a server on loopback over simulated meters, asked with a real HTTP client.
#include <gtest/gtest.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <atomic>
#include <set>
#include <thread>

#include "remote/http_server.h"
#include "remote/reading_json.h"
#include "remote/station_host.h"
#include "remote/tcp_client.h"
#include "station/station.h"

namespace velquor::remote {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

std::string Base64(const std::string& in) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < in.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size())
            v |= static_cast<unsigned char>(in[i + 1]) << 8;
        if (i + 2 < in.size())
            v |= static_cast<unsigned char>(in[i + 2]);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < in.size() ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < in.size() ? kDigits[v & 63] : '=';
    }
    return out;
}

class HttpServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The client writes with plain send(); a server that hangs up must not end the test.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        // The program's own timings: meters that stream on, as served.
        station_ = std::make_unique<station::Station>(station::StationOptions{});
        std::vector<std::string> errors;
        ASSERT_TRUE(station_->Open(
            {station::MeterTarget::Simulated(0), station::MeterTarget::Simulated(1)}, false, errors));
        host_ = std::make_unique<StationHost>(*station_);
    }
    void TearDown() override {
        if (server_)
            server_->Stop();
        host_->Stop();
        station_->Close();
    }
    void Serve(HttpOptions options = {}) {
        options.port = 0;
        server_ = std::make_unique<HttpServer>(*station_, host_->Model(), options);
        std::string error;
        ASSERT_TRUE(server_->Start(error)) << error;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->Port());
        client_->set_read_timeout(5, 0);
    }
    bool WaitForReadings() {
        for (int i = 0; i < 300; ++i) {
            if (host_->Model().View(0).has_reading && host_->Model().View(1).has_reading)
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }
    httplib::Result Post(const std::string& path, const std::string& body,
                         const std::string& password = {}) {
        httplib::Headers headers;
        if (!password.empty())
            headers.emplace("Authorization",
                            "Basic " + Base64("web:" + password));
        return client_->Post(path.c_str(), headers, body, "application/json");
    }

    std::unique_ptr<station::Station> station_;
    std::unique_ptr<StationHost> host_;
    std::unique_ptr<HttpServer> server_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(HttpServerTest, TheMetersAsJsonCarryTheirIdentityAndWhatTheInstrumentShows) {
    Serve();
    ASSERT_TRUE(WaitForReadings());
    ChannelSettings s = host_->Model().Settings(1);
    s.offset_db = 10.0;
    s.offset_on = true;
    ASSERT_EQ(host_->Model().Apply(1, s).error, 0);
    // The next reading shows the offset.
    ASSERT_TRUE(WaitForReadings());
    auto res = client_->Get("/api/meters");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json");
    const Json body = Json::parse(res->body);
    EXPECT_EQ(body["manufacturer"], "Orvane");
    EXPECT_EQ(body["writable"], false);
    ASSERT_EQ(body["meters"].size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const Json& m = body["meters"][i];
        const station::MeterInfo info = station_->Meter(i);
        EXPECT_EQ(m["channel"], i + 1);
        EXPECT_EQ(m["name"], station_->MeterName(i));
        EXPECT_EQ(m["serial"], info.serial);
        EXPECT_FALSE(info.serial.empty());
        EXPECT_EQ(m["firmware"], info.firmware);
        EXPECT_EQ(m["calibration_date"], info.calibration_date);
        EXPECT_EQ(m["frequency_mhz"], info.frequency_mhz);
        EXPECT_EQ(m["state"], "connected");
        EXPECT_EQ(m["lost"], false);
        ASSERT_TRUE(m["power_dbm"].is_number()) << m.dump();
        EXPECT_TRUE(m["temperature_c"].is_number());
        EXPECT_TRUE(m["battery_percent"].is_number());
    }
    const Json& offset = body["meters"][1];
    EXPECT_EQ(offset["settings"]["offset_db"], 10.0);
    EXPECT_NEAR(offset["shown_dbm"].get<double>(), offset["power_dbm"].get<double>() + 10.0, 1e-9);
}

TEST_F(HttpServerTest, TheStreamSendsEveryMetersReadingsWithTheMonitorFieldsAndStopEndsIt) {
    Serve();
    std::mutex lock;
    std::string received;
    std::atomic<bool> ended{false};
    std::jthread reader([&] {
        httplib::Client c("127.0.0.1", server_->Port());
        c.set_read_timeout(5, 0);
        c.Get("/api/stream", [&](const char* data, std::size_t n) {
            std::lock_guard g(lock);
            received.append(data, n);
            return true;
        });
        ended = true;
    });
    // Whatever fails below, the server stops before the reader is joined.
    struct StopFirst {
        HttpServer& server;
        ~StopFirst() { server.Stop(); }
    } stopFirst{*server_};
    auto lines = [&] {
        std::lock_guard g(lock);
        std::vector<std::string> out;
        std::size_t at = 0;
        while ((at = received.find("data: {", at)) != std::string::npos) {
            const std::size_t end = received.find("\n\n", at);
            if (end == std::string::npos)
                break;
            out.push_back(received.substr(at + 6, end - at - 6));
            at = end;
        }
        return out;
    };
    for (int i = 0; i < 300 && lines().size() < 6; ++i)
        std::this_thread::sleep_for(10ms);
    const std::vector<std::string> got = lines();
    ASSERT_GE(got.size(), 6u);
    std::set<std::string> meters;
    // The same fields, in the same order, as velquor-cli monitor --json prints.
    station::Reading probe;
    probe.power_dbm = 1.0;
    probe.battery = 636;
    std::vector<std::string> expected;
    const nlohmann::ordered_json monitor = nlohmann::ordered_json::parse(ReadingJsonLine(probe, "x"));
    for (auto it = monitor.begin(); it != monitor.end(); ++it)
        expected.push_back(it.key());
    for (const std::string& line : got) {
        const nlohmann::ordered_json r = nlohmann::ordered_json::parse(line);
        std::vector<std::string> keys;
        for (auto it = r.begin(); it != r.end(); ++it)
            keys.push_back(it.key());
        std::sort(keys.begin(), keys.end());
        std::vector<std::string> want = expected;
        std::sort(want.begin(), want.end());
        EXPECT_EQ(keys, want) << line;
        meters.insert(r["meter"].get<std::string>());
        EXPECT_TRUE(r["power_dbm"].is_number());
    }
    EXPECT_EQ(meters, (std::set<std::string>{station_->MeterName(0), station_->MeterName(1)}));
    // A client still reading does not hold the server up.
    const auto start = std::chrono::steady_clock::now();
    server_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    reader.join();
    EXPECT_TRUE(ended);
    EXPECT_GE(server_->Counters().events_sent, got.size());
}

TEST_F(HttpServerTest, TheLxiIdentificationIsWellFormedAndNamesTheResources) {
    HttpOptions options;
    options.scpi_port = 5099;
    options.vxi11 = true;
    Serve(options);
    auto res = client_->Get("/lxi/identification");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    const std::string& x = res->body;
    EXPECT_NE(x.find("<Manufacturer>Orvane</Manufacturer>"), std::string::npos) << x;
    EXPECT_NE(x.find("<SerialNumber>" + station_->Meter(0).serial + "," +
                     station_->Meter(1).serial + "</SerialNumber>"),
              std::string::npos)
        << x;
    EXPECT_NE(x.find("<InstrumentAddressString>TCPIP::127.0.0.1::5099::SOCKET<"),
              std::string::npos)
        << x;
    EXPECT_NE(x.find("<InstrumentAddressString>TCPIP::127.0.0.1::INSTR<"), std::string::npos) << x;
    // Well-formed: one root, every element closed in order.
    ASSERT_EQ(x.rfind("<?xml version=\"1.0\"", 0), 0u);
    std::vector<std::string> open;
    int roots = 0;
    for (std::size_t at = x.find('<', 1); at != std::string::npos; at = x.find('<', at + 1)) {
        const std::size_t end = x.find('>', at);
        ASSERT_NE(end, std::string::npos);
        std::string tag = x.substr(at + 1, end - at - 1);
        if (tag[0] == '/') {
            ASSERT_FALSE(open.empty()) << tag;
            EXPECT_EQ(open.back(), tag.substr(1));
            open.pop_back();
        } else if (tag.back() != '/') {
            roots += open.empty();
            open.push_back(tag.substr(0, tag.find(' ')));
        }
    }
    EXPECT_TRUE(open.empty());
    EXPECT_EQ(roots, 1);
    EXPECT_EQ(x.find("&", 0), std::string::npos);  // nothing here needed escaping
}

TEST_F(HttpServerTest, WrongPathsMethodsAndWritesWhenReadOnlyAreRefusedWithTheirStatus) {
    HttpOptions options;
    options.max_streams = 0;
    Serve(options);
    struct Case {
        const char* method;
        const char* path;
        int status;
    };
    const Case cases[] = {
        {"GET", "/nothing/here", 404},
        {"GET", "/../../etc/passwd", 404},
        {"POST", "/api/meters", 405},
        {"DELETE", "/lxi/identification", 405},
        {"GET", "/api/meters/1/settings", 405},
        {"POST", "/api/meters/3/settings", 404},
        {"POST", "/api/meters/x/settings", 404},
        {"POST", "/api/meters/1/settings", 403},  // read-only server
        {"GET", "/api/stream", 503},              // no stream allowed
    };
    for (const Case& c : cases) {
        httplib::Request req;
        req.method = c.method;
        req.path = c.path;
        req.body = "{\"offset_db\": 1}";
        const auto res = client_->send(req);
        ASSERT_TRUE(res) << c.method << " " << c.path;
        EXPECT_EQ(res->status, c.status) << c.method << " " << c.path << ": " << res->body;
        if (c.status == 405) {
            EXPECT_FALSE(res->get_header_value("Allow").empty());
        }
    }
    EXPECT_EQ(host_->Model().Settings(0).offset_db, 0.0);
}

TEST_F(HttpServerTest, AChangeNeedsThePasswordAndAWellFormedBody) {
    HttpOptions options;
    options.allow_writes = true;
    options.password = "s3cret";
    Serve(options);
    ASSERT_TRUE(WaitForReadings());
    struct Case {
        std::string body;
        std::string password;
        int status;
    };
    const Case cases[] = {
        {R"({"offset_db": 3, "offset_on": true})", "", 401},
        {R"({"offset_db": 3, "offset_on": true})", "s3cre", 401},
        {R"({"offset_db": 3, "offset_on": true})", "s3cret!", 401},
        {R"({"offset_db": 3)", "s3cret", 400},
        {R"([1, 2])", "s3cret", 400},
        {R"({"offset_db": "3"})", "s3cret", 400},
        {R"({"colour": "red"})", "s3cret", 400},
        {R"({"average_count": 5000, "average_on": true})", "s3cret", 400},
        {R"({"frequency_mhz": 100})", "s3cret", 400},
        {R"({"offset_db": 3, "offset_on": true, "average_count": 4, "average_on": true})",
         "s3cret", 200},
    };
    for (const Case& c : cases) {
        // Nothing changed before the accepted one.
        if (c.status != 200) {
            EXPECT_FALSE(host_->Model().Settings(0).offset_on);
        }
        const auto res = Post("/api/meters/1/settings", c.body, c.password);
        ASSERT_TRUE(res) << c.body;
        EXPECT_EQ(res->status, c.status) << c.body << ": " << res->body;
    }
    const ChannelSettings s = host_->Model().Settings(0);
    EXPECT_TRUE(s.offset_on);
    EXPECT_EQ(s.offset_db, 3.0);
    EXPECT_EQ(s.average_count, 4);
    EXPECT_TRUE(s.average_on);
    EXPECT_EQ(host_->Model().Settings(1), ChannelSettings{});
    // The meter's own frequency goes through its setup sequence.
    const auto res = Post("/api/meters/2/settings", R"({"frequency_mhz": 1800})", "s3cret");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
    EXPECT_EQ(station_->Meter(1).frequency_mhz, 1800);
    EXPECT_GE(server_->Counters().writes_refused, 3u);
}

TEST_F(HttpServerTest, StartRefusesWritesOffLoopbackAndNamesAPortInUse) {
    HttpOptions writes;
    writes.address = "0.0.0.0";
    writes.allow_writes = true;
    writes.password = "x";
    HttpServer open(*station_, host_->Model(), writes);
    std::string error;
    EXPECT_FALSE(open.Start(error));
    EXPECT_NE(error.find("loopback"), std::string::npos) << error;

    Serve();
    HttpOptions same;
    same.port = server_->Port();
    HttpServer second(*station_, host_->Model(), same);
    EXPECT_FALSE(second.Start(error));
    EXPECT_NE(error.find("127.0.0.1:" + std::to_string(same.port)), std::string::npos) << error;
    EXPECT_NE(error.find("in use"), std::string::npos) << error;
    // The first one serves on.
    const auto res = client_->Get("/api/meters");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

TEST_F(HttpServerTest, ThePageIsServedAndPutsMeterTextInAsTextNeverAsMarkup) {
    HttpOptions options;
    options.web_root = FindWebRoot();
    ASSERT_FALSE(options.web_root.empty());
    Serve(options);
    const auto page = client_->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_NE(page->body.find("app.js"), std::string::npos);
    const auto script = client_->Get("/app.js");
    ASSERT_TRUE(script);
    ASSERT_EQ(script->status, 200);
    EXPECT_NE(script->body.find("textContent"), std::string::npos);
    // A meter's name, serial or firmware is whatever the meter says; parsed as
    // markup it could run script in the viewer's browser.
    for (const char* sink : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write",
                             "eval(", "new Function"})
        EXPECT_EQ(script->body.find(sink), std::string::npos) << sink;
}

TEST_F(HttpServerTest, IdleConnectionsAndASlowClientDoNotKeepOthersWaiting) {
    Serve();
    // Connections that never send a byte, as a port scanner or a stuck client leaves.
    // They come in a burst, which the listen queue takes without a SYN retry (1 s each).
    const auto burst = std::chrono::steady_clock::now();
    std::vector<std::unique_ptr<testing::TcpClient>> idle;
    for (int i = 0; i < 200; ++i) {
        idle.push_back(std::make_unique<testing::TcpClient>(server_->Port()));
        ASSERT_TRUE(idle.back()->Connected()) << i;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - burst, 1s);
    // And one that sends its request a byte every 100 ms, never finishing it.
    std::atomic<bool> done{false};
    std::thread slow([&] {
        testing::TcpClient c(server_->Port());
        const std::string header = "GET /api/meters HTTP/1.1\r\nX-Slow: ";
        for (std::size_t i = 0; !done && i < 100; ++i) {
            if (!c.Send(i < header.size() ? header.substr(i, 1) : "a"))
                break;
            std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    const auto start = std::chrono::steady_clock::now();
    client_->set_connection_timeout(2, 0);
    client_->set_read_timeout(2, 0);
    const auto res = client_->Get("/api/meters");
    const auto took = std::chrono::steady_clock::now() - start;
    done = true;
    slow.join();
    ASSERT_TRUE(res) << httplib::to_string(res.error());
    EXPECT_EQ(res->status, 200);
    EXPECT_LT(took, 2s);
}

TEST_F(HttpServerTest, AHugeHeaderIsRefusedAndTheServerAnswersOn) {
    Serve();
    struct Case {
        const char* what;
        std::string headers;
    };
    const Case cases[] = {
        {"one header of 1 MB", "X-Big: " + std::string(1u << 20, 'a') + "\r\n"},
        {"a header line of 64 KiB without a colon", std::string(64u << 10, 'c') + "\r\n"},
    };
    for (const Case& c : cases) {
        testing::TcpClient raw(server_->Port());
        ASSERT_TRUE(raw.Connected());
        // The server may close before all of it is sent; either way it must answer or hang up.
        raw.Send("GET /api/meters HTTP/1.1\r\nHost: 127.0.0.1\r\n" + c.headers + "\r\n");
        const std::string status = raw.ReadLine(5s);
        const bool refused = status.rfind("HTTP/1.1 431", 0) == 0 ||
                             status.rfind("HTTP/1.1 400", 0) == 0 ||
                             status.rfind("HTTP/1.1 413", 0) == 0 || status == "<closed>";
        EXPECT_TRUE(refused) << c.what << ": " << status;
        const auto res = client_->Get("/api/meters");
        ASSERT_TRUE(res) << c.what;
        EXPECT_EQ(res->status, 200) << c.what;
    }
}

}  // namespace
}  // namespace velquor::remote
