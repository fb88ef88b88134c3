#pragma once

#include <memory>
#include <string>

#include "cli_options.h"
#include "link/ftdi_driver.h"
#include "meter/orvane_usb.h"
#include "meter/unit_sequences.h"
#include "stderr_prompt.h"
#include "stop_signal.h"

namespace velquor::cli {

// Frames from the worker thread, queued for the main thread.
class FrameQueue;

// One meter as the commands use it: the chosen driver backend, the link with its
// worker, the unit fields and the headless controls.
class MeterSession {
public:
    MeterSession(const MeterRequest& request, StopSignal& stop);
    ~MeterSession();

    // Opens the meter for monitoring: the given port directly, or the meter
    // chosen by serial number (first meter when none is given). False with a
    // one-line reason.
    bool OpenForMonitor(std::string& error);
    // Runs the connect sequence. False with the reason when no unit is connected.
    bool Connect(std::string& error);

    // The connect read the unit's identity (serial number, manufacturer) from it.
    bool IdentityRead() const { return m_bIdentityRead; }

    COrvaneUSB& Meter() { return *m_meter; }
    IFtdiDriver& Driver() { return *m_driver; }
    UnitState& State() { return m_state; }
    PlainUnitControls& Controls() { return m_controls; }
    CStderrPrompt& Prompt() { return m_prompt; }
    UnitContext& Context() { return *m_context; }
    std::shared_ptr<FrameQueue> Frames() { return m_frames; }

private:
    bool ChooseByListing(std::string& serial, std::string& error);

    std::string m_port;
    std::string m_serial;
    std::unique_ptr<IFtdiDriver> m_driver;
    std::unique_ptr<COrvaneUSB> m_meter;
    UnitState m_state;
    PlainUnitControls m_controls;
    CStderrPrompt m_prompt;
    std::unique_ptr<ISequenceClock> m_clock;
    std::shared_ptr<FrameQueue> m_frames;
    std::unique_ptr<UnitContext> m_context;
    bool m_bIdentityRead = false;
};

}  // namespace velquor::cli
