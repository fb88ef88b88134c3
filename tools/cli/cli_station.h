#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli_app.h"
#include "cli_options.h"
#include "station/station.h"

namespace velquor::cli {

// The station as a command uses it: the meters the command line names, opened with
// their failures reported, cut short by Ctrl-C, and the reconnect events told on
// stderr with their time.
class CliStation {
public:
    explicit CliStation(CliApp& cli);
    ~CliStation();
    CliStation(const CliStation&) = delete;
    CliStation& operator=(const CliStation&) = delete;

    // Chooses the meters the request names, opens them and prints why any could not
    // be opened. kExitOk when the command can go on; otherwise the status to end with.
    int Open(const MeterRequest& request, const station::ReconnectPolicy& reconnect = {},
             CFrameTimingLog* timing = nullptr);

    station::Station& Get() { return *m_station; }
    std::size_t Count() const { return m_station->MeterCount(); }
    std::string Name(std::size_t index) const { return m_station->MeterName(index); }
    // Several meters were asked for, so what is printed names each (also when only
    // one of them could be opened).
    bool Several() const { return m_requested > 1; }
    // Meters asked for but not opened (--keep-going went on without them).
    bool SomeFailed() const { return m_someFailed; }
    bool Reconnecting() const { return m_reconnect.enabled; }

    // The meter's device node has vanished (unplugged, or its simulator ended).
    bool Gone(std::size_t index) const;
    // The reconnect time-out passed for the meter.
    bool GaveUp(std::size_t index) const;

    // Tells a link event on stderr with its time ("14:02:11 OV227700: link lost",
    // "; reconnecting" added while reconnecting, "... reconnected after 8.1 s";
    // without reconnecting a meter that only fell silent may come back on its own
    // link). Call for every reading.
    void Track(const station::Reading& reading);

private:
    bool ChooseTargets(const MeterRequest& request, std::vector<station::MeterTarget>& targets,
                       std::string& error) const;
    void OnNotice(const station::MeterNotice& notice);

    CliApp& m_cli;
    station::ReconnectPolicy m_reconnect;
    std::unique_ptr<station::Station> m_station;
    std::vector<std::int64_t> m_lostSteadyNs;
    bool m_someFailed = false;
    std::size_t m_requested = 0;
};

// The line a link event is told with on stderr, without its line end.
std::string LinkEventLine(const station::Reading& reading, const std::string& meter,
                          std::int64_t lostSteadyNs, bool reconnecting);

}  // namespace velquor::cli
