#include "cli_station.h"

#include <cerrno>
#include <cstdio>

#include "cli_platform.h"
#include "cli_text.h"
#include "link/serial_driver.h"
#include "meter/number_format.h"

namespace velquor::cli {

namespace {

// "OV227700", "OV227700 and OV227701", "OV227700 to OV227702".
std::string SimulatedSerials(int count) {
    const std::string first = station::SimulatedMeterModel(0).serial;
    if (count <= 1)
        return "the simulated meter is " + first;
    const std::string last = station::SimulatedMeterModel(count - 1).serial;
    return "the simulated meters are " + first + (count == 2 ? " and " : " to ") + last;
}

}  // namespace

CliStation::CliStation(CliApp& cli) : m_cli(cli) {}

CliStation::~CliStation() {
    m_cli.Stop().SetOnStop({});
    if (m_station)
        m_station->Close();
}

bool CliStation::ChooseTargets(const MeterRequest& request,
                               std::vector<station::MeterTarget>& targets,
                               std::string& error) const {
    using station::MeterTarget;
    if (request.simulated > 0 && !request.serials.empty()) {
        // --serial picks among the simulated meters, as it would among real ones.
        for (const std::string& serial : request.serials) {
            const auto index = station::SimulatedMeterIndex(serial, request.simulated);
            if (!index) {
                error = PrintableText(serial) + ": no simulated meter has this serial number (" +
                        SimulatedSerials(request.simulated) + ")";
                return false;
            }
            targets.push_back(MeterTarget::Simulated(*index));
        }
        return true;
    }
    for (int i = 0; i < request.simulated; ++i)
        targets.push_back(MeterTarget::Simulated(i));
    for (const std::string& port : request.ports) {
        // A path is a path also when relative; the driver would take it for a serial number.
        std::string path;
        if (!station::ResolveDevicePath(port, path, error))
            return false;
        targets.push_back(MeterTarget::ByPath(path));
    }
    for (const std::string& serial : request.serials)
        targets.push_back(MeterTarget::BySerial(serial));
    if (!targets.empty())
        return true;
    CSerialDriver driver;
    std::vector<MeterTarget> found;
    if (!station::ListMeterTargets(driver, found, error))
        return false;
    if (found.empty()) {
        error = "no meter found";
        return false;
    }
    if (request.all) {
        targets = found;
        return true;
    }
    targets.push_back(found.front());
    if (found.size() > 1) {
        std::string others;
        for (std::size_t i = 1; i < found.size(); ++i)
            others += (i > 1 ? ", " : "") + PrintableText(found[i].value);
        std::fprintf(stderr,
                     "velquor-cli: note: using meter %s; also found %s (choose with --serial, "
                     "or --all for every one)\n",
                     PrintableText(found.front().value).c_str(), others.c_str());
    }
    return true;
}

int CliStation::Open(const MeterRequest& request, const station::ReconnectPolicy& reconnect,
                     CFrameTimingLog* timing) {
    std::vector<station::MeterTarget> targets;
    std::string error;
    if (!ChooseTargets(request, targets, error))
        return Fail(error);
    m_reconnect = reconnect;
    m_requested = targets.size();
    station::StationOptions options;
    options.reconnect = reconnect;
    options.timing_log = timing;
    options.on_notice = [this](const station::MeterNotice& notice) { OnNotice(notice); };
    m_station = std::make_unique<station::Station>(std::move(options));
    station::Station* station = m_station.get();
    m_cli.Stop().SetOnStop([station] { station->Abort(); });
    std::vector<std::string> errors;
    const bool opened = m_station->Open(targets, request.keepGoing, errors);
    if (m_cli.Stop().Requested())
        return m_cli.Stop().ExitStatus();
    for (const std::string& e : errors)
        std::fprintf(stderr, "velquor-cli: %s\n", PrintableText(e).c_str());
    if (!opened)
        return kExitFailure;
    m_someFailed = !errors.empty();
    m_lostSteadyNs.assign(Count(), 0);
    return kExitOk;
}

bool CliStation::Gone(std::size_t index) const {
    const station::MeterInfo info = m_station->Meter(index);
    if (info.target.kind == station::MeterTarget::Kind::Simulated || info.path.empty())
        return false;
    return platform::DeviceGone(info.path);
}

bool CliStation::GaveUp(std::size_t index) const {
    return m_station->Status(index).state == station::MeterState::GaveUp;
}

std::string LinkEventLine(const station::Reading& reading, const std::string& meter,
                          std::int64_t lostSteadyNs, bool reconnecting) {
    std::string line = LocalSecondsText(reading.utc_us) + " " + PrintableText(meter) + ": ";
    if (reading.kind == station::ReadingKind::LinkLost)
        return line + (reconnecting ? "link lost; reconnecting" : "link lost");
    const double away = static_cast<double>(reading.steady_ns - lostSteadyNs) / 1e9;
    return line + FormatC("reconnected after %.1f s", away);
}

void CliStation::Track(const station::Reading& reading) {
    if (reading.kind == station::ReadingKind::Measurement || reading.meter >= m_lostSteadyNs.size())
        return;
    if (reading.kind == station::ReadingKind::LinkLost)
        m_lostSteadyNs[reading.meter] = reading.steady_ns;
    std::fprintf(stderr, "%s\n",
                 LinkEventLine(reading, Name(reading.meter), m_lostSteadyNs[reading.meter],
                               m_reconnect.enabled)
                     .c_str());
}

void CliStation::OnNotice(const station::MeterNotice& notice) {
    // On a supervising thread; stdio locks each call, so lines never interleave.
    const std::string name = notice.meter < Count() ? Name(notice.meter) : "?";
    std::fprintf(stderr, "%s %s: %s\n", LocalSecondsText(UtcNowUs()).c_str(),
                 PrintableText(name).c_str(), PrintableText(notice.text).c_str());
}

}  // namespace velquor::cli
