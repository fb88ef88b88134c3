#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli_station.h"
#include "station/subscription.h"

namespace velquor::cli {

struct PollOptions {
    // Who does not keep up when readings are dropped: "the log", "the server", ...
    std::string consumer;
    // Without --reconnect, a meter whose link is lost ends (log, read) instead of
    // being waited for on its own link (monitor, publish, serve).
    bool lossEnds = false;
    // A meter that ends is told on stderr at once; off for a command that reports it
    // in its own summary (log).
    bool tellEnds = true;
    // Link events are told (CliStation::Track) from this poll; off for a second
    // consumer of the same station, whose first one tells them.
    bool track = true;
};

// The loop every command that takes the meters' readings runs over its
// subscription: the readings of the meters still running, each link event told on
// stderr with its time, drops told when they begin and in total at the end, and a
// meter that is gone or was given up ended. One thread calls it.
class ReadingPoll {
public:
    ReadingPoll(CliStation& meters, std::shared_ptr<station::Subscription> subscription,
                PollOptions options);

    // Waits up to timeout for readings and returns those of the running meters in the
    // order they came, after telling their link events; then does Check().
    const std::vector<station::Reading>& Poll(std::chrono::milliseconds timeout);
    // How many readings of the meter of Poll's k-th reading were dropped right before
    // it: an average must not span them.
    std::uint64_t MissedBefore(std::size_t k) const { return m_missed[k]; }
    // Tells drops when they begin, and ends the meters that are gone (without
    // --reconnect) or were given up (with it). For a command whose readings another
    // thread takes, which calls CliStation::Track itself.
    void Check();

    // The meter's readings are not returned from now on; a non-empty why is a failure.
    void End(std::size_t meter, const std::string& why = {});
    bool Ended(std::size_t meter) const { return m_ended[meter]; }
    // Why the meter ended; empty while it runs or when it ended without failing.
    const std::string& Why(std::size_t meter) const { return m_why[meter]; }
    std::size_t Running() const { return m_running; }
    // Some meter ended with a failure.
    bool Failed() const { return m_failed; }

    // Prints "velquor-cli: N readings dropped in all" when any were; call at the end.
    void ReportDrops() const;

private:
    CliStation& m_meters;
    std::shared_ptr<station::Subscription> m_subscription;
    PollOptions m_options;
    std::vector<station::Reading> m_batch;
    std::vector<station::Reading> m_readings;
    std::vector<std::uint64_t> m_missed;
    std::vector<std::uint64_t> m_lastSeq;
    std::vector<bool> m_ended;
    std::vector<std::string> m_why;
    std::size_t m_running;
    bool m_failed = false;
};

}  // namespace velquor::cli
