#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/event_handle.h"
#include "link/meter_model.h"
#include "sim_options.h"

namespace velquor::metersim {

// Windows: serves the simulated meter on a COM port the user names, e.g. one end
// of a null-modem pair (com0com), whose other end the host program opens.
class CComMeterServer {
public:
    CComMeterServer(SimOptions options, std::string port);
    ~CComMeterServer();
    CComMeterServer(const CComMeterServer&) = delete;
    CComMeterServer& operator=(const CComMeterServer&) = delete;

    // Opens the port at 19,200 baud 8N1. On failure returns false with a reason.
    bool Open(std::string& error);
    const std::string& PortName() const { return m_port; }

    // Serves until `stop` is set, the exit time passes or the port fails. Returns
    // false with a reason on a failure.
    bool Serve(EventHandle stop, std::string& error);
    void Close();

private:
    using Clock = std::chrono::steady_clock;
    struct Io;

    bool QueueWire(const std::vector<std::uint8_t>& bytes, bool droppable);
    void SendMeasurement(double t);
    bool Flush(Clock::time_point now, std::string& error);
    void Receive(double t, const std::vector<std::uint8_t>& bytes);
    void SaveRecord() const;

    SimOptions m_options;
    CMeterModel m_model;
    std::string m_port;
    std::unique_ptr<Io> m_io;
    std::deque<std::uint8_t> m_out;
    Clock::time_point m_nextChunk{};
    std::vector<Clock::time_point> m_pendingAcks;
    std::size_t m_recordWrites = 0;
    std::int64_t m_nTagCounter = 0;
};

}  // namespace velquor::metersim
