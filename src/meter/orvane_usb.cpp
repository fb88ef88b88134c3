#include "meter/orvane_usb.h"

#include <algorithm>

namespace velquor {

COrvaneUSB::COrvaneUSB(IFtdiDriver& driver, LinkTimings timings) : CUSB(driver, timings) {}

// The worker calls our OnReceive; it must be gone before this part of the object is.
COrvaneUSB::~COrvaneUSB() {
    ShutdownWorker();
}

void COrvaneUSB::SetView(std::weak_ptr<IFrameSink> view, std::uint32_t message) {
    std::lock_guard lock(m_viewLock);
    m_pView = std::move(view);
    m_bHasView = true;
    m_nNotifyMessage = message;
}

bool COrvaneUSB::HasView() const {
    std::lock_guard lock(m_viewLock);
    return m_bHasView;
}

std::array<std::uint8_t, 16> COrvaneUSB::ReplyCopy() const {
    std::lock_guard lock(m_replyCopyLock);
    return m_replyCopy;
}

void COrvaneUSB::OnReceive(const std::uint8_t* payload, int length) {
    std::shared_ptr<IFrameSink> view;
    std::uint32_t message;
    {
        std::lock_guard lock(m_viewLock);
        view = m_pView.lock();
        message = m_nNotifyMessage;
    }
    if (!view || length > kMaxForwardedFrame || length < 0)
        return;
    if (length >= 1 && payload[0] == kOpMeasurement) {
        if (CFrameTimingLog* log = m_pTimingLog.load(std::memory_order_relaxed)) {
            if (const auto tag = MeasurementTag(payload, length))
                log->Record(TimingEvent::kDecoded, *tag);
        }
        const Measurement m = DecodeMeasurement(payload, length);
        if (m.hasBattery)
            m_dBattery.store(m.battery);
        if (m.hasPower)
            m_dPowerDbm.store(m.powerDbm);
        if (m.hasTemperature)
            m_dTemperatureC.store(m.temperatureC);
    }
    if (length >= 1 && payload[0] == kOpWriteRecord)
        m_bWriteAck.store(true);
    if (view->TakeFrame(message, payload, length))
        return;
    view->PostFrame(message, std::vector<std::uint8_t>(payload, payload + length));
}

bool COrvaneUSB::Request(std::uint8_t opcode, std::vector<std::uint8_t>& reply) {
    BeginAwaitReply(opcode);
    SendFrame(&opcode, 1);
    m_bWriteAck.store(false);
    if (!WaitForReply(Timings().reply_wait_ms, reply))
        return false;
    {
        std::lock_guard lock(m_replyCopyLock);
        const std::size_t n = std::min(reply.size(), m_replyCopy.size());
        std::copy_n(reply.begin(), n, m_replyCopy.begin());
    }
    return !reply.empty();
}

bool COrvaneUSB::RequestMeasurement() {
    std::vector<std::uint8_t> reply;
    return Request(kOpMeasurement, reply);
}

bool COrvaneUSB::ReadParameters(UnitParameters& record) {
    std::vector<std::uint8_t> reply;
    if (!Request(kOpReadRecord, reply))
        return false;
    const std::size_t n = std::min<std::size_t>(reply.size() - 1, record.size());
    std::copy_n(reply.begin() + 1, n, record.begin());
    return true;
}

bool COrvaneUSB::WriteParameters(const UnitParameters& record) {
    std::array<std::uint8_t, 10> message{};
    message[0] = kOpWriteRecord;
    std::copy(record.begin(), record.end(), message.begin() + 1);
    return SendFrame(message.data(), static_cast<int>(message.size()));
}

}  // namespace velquor
