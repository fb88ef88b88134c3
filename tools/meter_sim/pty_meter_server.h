#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "link/meter_model.h"
#include "meter/frame_timing_log.h"
#include "sim_options.h"

namespace velquor::metersim {

// Serves the simulated meter on a pseudo-terminal: what the host writes to the
// slave side goes to the model, the model's replies and measurement frames go back.
class CPtyMeterServer {
public:
    explicit CPtyMeterServer(SimOptions options);
    ~CPtyMeterServer();
    CPtyMeterServer(const CPtyMeterServer&) = delete;
    CPtyMeterServer& operator=(const CPtyMeterServer&) = delete;

    // Creates the pseudo-terminal (and the send log, when asked for). On failure
    // returns false with a reason.
    bool Open(std::string& error);
    const std::string& SlavePath() const { return m_slavePath; }

    // Serves until stopFd turns readable, the exit time passes or the terminal
    // fails. Returns false with a reason on a failure.
    bool Serve(int stopFd, std::string& error);

    // Closes the master side: the host's open slave is hung up.
    void Close();

private:
    using Clock = std::chrono::steady_clock;

    // False when a droppable piece was dropped.
    bool QueueWire(const std::vector<std::uint8_t>& bytes, bool droppable);
    void SendMeasurement(double t);
    bool Flush(Clock::time_point now, std::string& error);
    bool ReceiveFromHost(double t, std::string& error);
    void SaveRecord() const;

    SimOptions m_options;
    CMeterModel m_model;
    int m_master = -1;
    // Held open so the master never reads EIO while no host has the slave open.
    int m_slave = -1;
    std::string m_slavePath;
    std::deque<std::uint8_t> m_out;
    Clock::time_point m_nextChunk{};
    std::vector<Clock::time_point> m_pendingAcks;
    std::size_t m_recordWrites = 0;
    std::int64_t m_nTagCounter = 0;
    std::unique_ptr<CFrameTimingLog> m_pSendLog;
};

}  // namespace velquor::metersim
