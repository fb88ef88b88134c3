#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "link/usb.h"
#include "meter/frame_sink.h"
#include "meter/frame_timing_log.h"
#include "meter/unit_parameters.h"

namespace velquor {

// Largest frame that is decoded and forwarded.
inline constexpr int kMaxForwardedFrame = 256;

// The meter's protocol on top of the link: requests, the parameter record and the
// receive hook that decodes measurements and forwards every frame.
class COrvaneUSB : public CUSB {
public:
    explicit COrvaneUSB(IFtdiDriver& driver, LinkTimings timings = {});
    ~COrvaneUSB() override;

    void OnReceive(const std::uint8_t* payload, int length) override;

    bool RequestMeasurement();
    bool ReadParameters(UnitParameters& record);
    bool WriteParameters(const UnitParameters& record);

    // Where accepted frames go. A sink that has been destroyed (its last owner
    // released it) receives nothing, like a window that no longer exists.
    void SetView(std::weak_ptr<IFrameSink> view, std::uint32_t message);
    bool HasView() const;
    // Stamps every decoded measurement into log (nothing when null). The log must
    // outlive the worker.
    void SetTimingLog(CFrameTimingLog* log) { m_pTimingLog.store(log); }

    double PowerDbm() const { return m_dPowerDbm.load(); }
    double TemperatureC() const { return m_dTemperatureC.load(); }
    double Battery() const { return m_dBattery.load(); }
    void SetBattery(double value) { m_dBattery.store(value); }

    bool WriteAck() const { return m_bWriteAck.load(); }
    void ClearWriteAck() { m_bWriteAck.store(false); }

    // The last collected reply, opcode first (at most 16 bytes).
    std::array<std::uint8_t, 16> ReplyCopy() const;

private:
    bool Request(std::uint8_t opcode, std::vector<std::uint8_t>& reply);

    std::atomic<bool> m_bWriteAck{false};
    mutable std::mutex m_replyCopyLock;
    std::array<std::uint8_t, 16> m_replyCopy{};
    std::atomic<double> m_dPowerDbm{0.0};
    std::atomic<double> m_dTemperatureC{0.0};
    std::atomic<double> m_dBattery{0.0};
    mutable std::mutex m_viewLock;
    std::weak_ptr<IFrameSink> m_pView;
    bool m_bHasView = false;
    std::uint32_t m_nNotifyMessage = 0;
    std::atomic<CFrameTimingLog*> m_pTimingLog{nullptr};
};

}  // namespace velquor
