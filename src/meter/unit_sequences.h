#pragma once

#include <atomic>
#include <memory>

#include "link/ftdi_driver.h"
#include "meter/frame_sink.h"
#include "meter/orvane_usb.h"
#include "meter/prompt.h"
#include "meter/sequence_clock.h"
#include "meter/unit_state.h"

namespace velquor {

// Messages of the connect and setup sequences.
inline constexpr const char* kMsgListFailed =
    "USB unit(s) is not connected correctly. Please reconnect it.";
inline constexpr const char* kMsgReadFailed =
    "The unit is not connected correctly. Please reconnect it!";
inline constexpr const char* kMsgResetUnit =
    "Some parameter data in the unit with serial number %s are missing. Please reset the unit!";
inline constexpr const char* kCaptionResetUnit = " Reset Unit";
inline constexpr const char* kMsgNotConnected = "No Orvane Connected!";
inline constexpr const char* kMsgLowFrequencyQuestion =
    "Has this unit been calibrated for low frequency from 150 to 700 MHz?";
inline constexpr const char* kMsgFrequencyRange =
    "Frequency (%d MHz) is out of range! Enter %d to 2700 MHz.";
inline constexpr const char* kMsgSetupFailed =
    "The unit can not be set properly! Please reconnect the unit.";
inline constexpr const char* kMsgSetupDone = "This unit has been set successfully!";

inline constexpr std::uint32_t kMeterBaud = 19200;
inline constexpr int kIdentityPauseMs = 500;
inline constexpr int kAckWaitSeconds = 10;
inline constexpr int kAckPollMs = 20;

// Everything the sequences work on. The view (or the command-line tool) owns it all.
struct UnitContext {
    COrvaneUSB& meter;
    IFtdiDriver& driver;
    UnitState& state;
    IUnitControls& controls;
    IPrompt& prompt;
    ISequenceClock& clock;
    // Where the meter forwards its frames once connected.
    std::weak_ptr<IFrameSink> view;
    // A device node given by the user: opened directly instead of listing meters.
    std::string port;
    // Set (from any thread) when nobody waits for the outcome any more, e.g. the
    // window is closing: the waits for the meter end at once and nothing is shown.
    const std::atomic<bool>* abandon = nullptr;
};

// Month name of the calibration date; empty outside 1..12.
const char* MonthName(int month);

// Finds, opens and identifies a meter and fills the unit fields. Returns whether
// a unit is now connected.
bool ConnectUnits(UnitContext& ctx);

enum class SetupResult {
    NotConnected,
    InvalidInput,
    OutOfRange,
    Failed,
    Success,
    Abandoned,
};

// Validates the setup controls and writes the record to the unit, with
// acknowledgement and read-back.
SetupResult OnSetupUnit(UnitContext& ctx);

}  // namespace velquor
