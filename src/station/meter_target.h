#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/device_list.h"
#include "link/ftdi_driver.h"
#include "link/meter_model.h"

namespace velquor::station {

// Which meter to open: one found by its serial number, the device node at a path
// (any tty, e.g. a stable /dev/serial/by-id link or a pseudo-terminal), one of the
// built-in simulated meters, or whichever meter the person picks from the listing
// (the window's "Connect Units"; once open it is looked for again by its serial).
struct MeterTarget {
    enum class Kind { Serial, Path, Simulated, Listed };

    Kind kind = Kind::Simulated;
    std::string value;  // serial number or path; unused for a simulated meter
    int sim_index = 0;  // which simulated meter: its serial and power offset follow from it

    static MeterTarget BySerial(std::string serial);
    static MeterTarget ByPath(std::string path);
    static MeterTarget Simulated(int index);
    static MeterTarget Listed();

    // How messages name the meter before it is open: the serial, the path,
    // "simulated meter N" (counting from 1) or "listed meter".
    std::string Label() const;

    bool operator==(const MeterTarget&) const = default;
};

// A device path as typed, made absolute against the working directory cwd, so
// that a relative one ("./m1" in /dev/serial/by-id) is never taken for a serial
// number. "." and empty parts are dropped; ".." is kept, since a folder on the way
// may be a link.
std::string AbsoluteDevicePath(const std::string& path, const std::string& cwd);
// The same against this process's working directory. False with the reason when
// the path is empty or the directory cannot be read.
// On Windows a port name ("COM5", "\\.\COM12") is taken as it is, in capitals.
bool ResolveDevicePath(const std::string& path, std::string& absolute, std::string& error);
// Whether something is at a device path (Windows: whether the COM port exists).
bool DevicePathPresent(const std::string& path);

// The simulated meter of an index: serial OV227700 + index, and readings offset by
// kSimulatedPowerStepDb per index so several meters can be told apart.
inline constexpr double kSimulatedPowerStepDb = -15.0;
// The simulated meters a program runs at most (`--simulate N`, and those added later).
inline constexpr int kMaxSimulatedMeters = 16;
MeterModelConfig SimulatedMeterModel(int index);
// Which of count simulated meters calls itself serial; nothing when none does.
std::optional<int> SimulatedMeterIndex(const std::string& serial, int count);

// A serial-number target for every meter the driver lists, in listing order. On a
// failed listing: false with the reason.
bool ListMeterTargets(IFtdiDriver& driver, std::vector<MeterTarget>& targets, std::string& error);

// What to hand the driver's open call to reach the meter a target names, given the
// current device listing: its serial when a meter with that serial is listed (its
// node may have changed since), the path when the target is a path and something is
// there. Nothing when the meter is not present.
std::optional<std::string> FindSameMeter(const MeterTarget& target,
                                         const std::vector<DeviceEntry>& listed, bool path_present);

// Whether a meter that answered at the target may be taken for the one that was
// there before. expected is the serial read earlier (empty: never read); found is
// the serial its identity names now (empty: could not be read). Only two known,
// different serial numbers refuse it.
bool SameMeterIdentity(const std::string& expected, const std::string& found);

}  // namespace velquor::station
