// A publisher in a process of its own, for the test that kills it: connects to
// the broker on 127.0.0.1:PORT as stand STAND and publishes a steady reading
// until it is killed (or 60 s have passed).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "telemetry/publisher.h"

int main(int argc, char** argv) {
    using namespace velquor;
    using Clock = std::chrono::steady_clock;
    if (argc != 3)
        return 2;
    telemetry::PublisherOptions options;
    options.broker.host = "127.0.0.1";
    options.broker.port = std::atoi(argv[1]);
    options.stand = argv[2];
    telemetry::MeterIdentity meter;
    meter.name = "OV-CHILD";
    telemetry::Publisher publisher(options, {meter});
    std::string error;
    if (!publisher.Start(Clock::now(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const auto end = Clock::now() + std::chrono::seconds(60);
    for (std::int64_t i = 0; Clock::now() < end && !publisher.Failed(); ++i) {
        station::Reading r;
        r.steady_ns = Clock::now().time_since_epoch().count();
        r.utc_us = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
        r.power_dbm = -10.0;
        publisher.Add(r);
        publisher.Service(Clock::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 1;
}
