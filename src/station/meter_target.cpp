#include "station/meter_target.h"

#include <algorithm>
#include <cmath>

namespace velquor::station {

MeterTarget MeterTarget::BySerial(std::string serial) {
    return {Kind::Serial, std::move(serial), 0};
}

MeterTarget MeterTarget::ByPath(std::string path) {
    return {Kind::Path, std::move(path), 0};
}

MeterTarget MeterTarget::Simulated(int index) {
    return {Kind::Simulated, {}, index};
}

MeterTarget MeterTarget::Listed() {
    return {Kind::Listed, {}, 0};
}

std::string MeterTarget::Label() const {
    if (kind == Kind::Listed)
        return "listed meter";
    if (kind == Kind::Simulated)
        return "simulated meter " + std::to_string(sim_index + 1);
    return value;
}

std::string AbsoluteDevicePath(const std::string& path, const std::string& cwd) {
    const std::string whole = !path.empty() && path.front() == '/' ? path : cwd + "/" + path;
    std::string out;
    std::size_t start = 0;
    while (start <= whole.size()) {
        std::size_t end = whole.find('/', start);
        if (end == std::string::npos)
            end = whole.size();
        const std::string part = whole.substr(start, end - start);
        if (!part.empty() && part != ".")
            out += "/" + part;
        start = end + 1;
    }
    return out.empty() ? "/" : out;
}

MeterModelConfig SimulatedMeterModel(int index) {
    MeterModelConfig model;
    model.serial = "OV" + std::to_string(227700 + index);
    model.powerOffsetTenths =
        static_cast<std::int16_t>(std::lround(kSimulatedPowerStepDb * 10.0 * index));
    return model;
}

std::optional<int> SimulatedMeterIndex(const std::string& serial, int count) {
    for (int index = 0; index < count; ++index) {
        if (SimulatedMeterModel(index).serial == serial)
            return index;
    }
    return std::nullopt;
}

bool ListMeterTargets(IFtdiDriver& driver, std::vector<MeterTarget>& targets, std::string& error) {
    std::vector<DeviceEntry> devices;
    if (!ListDevices(driver, devices)) {
        error = "cannot list the USB devices";
        return false;
    }
    for (const int index : MeterIndexes(devices))
        targets.push_back(MeterTarget::BySerial(devices[static_cast<std::size_t>(index)].serial));
    return true;
}

std::optional<std::string> FindSameMeter(const MeterTarget& target,
                                         const std::vector<DeviceEntry>& listed,
                                         bool path_present) {
    std::string serial;
    switch (target.kind) {
        case MeterTarget::Kind::Path:
            if (path_present && !target.value.empty())
                return target.value;
            return std::nullopt;
        case MeterTarget::Kind::Serial:
            serial = target.value;
            break;
        case MeterTarget::Kind::Simulated:
            serial = SimulatedMeterModel(target.sim_index).serial;
            break;
        case MeterTarget::Kind::Listed:
            // Once picked, a listed meter is the one with the serial it was found with.
            serial = target.value;
            break;
    }
    if (serial.empty())
        return std::nullopt;
    const auto meters = MeterIndexes(listed);
    const bool found = std::any_of(meters.begin(), meters.end(), [&](int index) {
        return listed[static_cast<std::size_t>(index)].serial == serial;
    });
    return found ? std::optional<std::string>(serial) : std::nullopt;
}

bool SameMeterIdentity(const std::string& expected, const std::string& found) {
    return expected.empty() || found.empty() || expected == found;
}

}  // namespace velquor::station
