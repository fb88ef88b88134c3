#include "link/meter_model.h"

#include <algorithm>
#include <cmath>

namespace velquor {

CMeterModel::CMeterModel(MeterModelConfig config)
    : m_config(std::move(config)), m_record(m_config.record) {
    m_record.resize(9, 0);
}

bool CMeterModel::Silent(double tSeconds) const {
    return m_config.silenceAfterS >= 0.0 && tSeconds >= m_config.silenceAfterS;
}

void CMeterModel::Append(const std::vector<std::uint8_t>& payload,
                         std::vector<std::uint8_t>& out) const {
    std::vector<std::uint8_t> wire;
    if (EncodeFrame(payload.data(), payload.size(), wire))
        out.insert(out.end(), wire.begin(), wire.end());
}

std::vector<std::uint8_t> CMeterModel::AckWire() {
    std::vector<std::uint8_t> wire;
    const std::uint8_t ack[] = {0xE3, 0x00};
    EncodeFrame(ack, sizeof ack, wire);
    return wire;
}

void CMeterModel::Receive(double tSeconds, const std::uint8_t* bytes, std::size_t count,
                          std::vector<std::uint8_t>& out, int& pendingAckDelayMs) {
    pendingAckDelayMs = -1;
    m_decoder.Feed(bytes, count, [&](const std::uint8_t* payload, int length) {
        m_received.emplace_back(payload, payload + length);
        if (length < 1 || !m_config.answerRequests || Silent(tSeconds))
            return;
        // Whether this message is among the first limit of its kind.
        const auto within = [&](int limit) {
            return limit < 0 ||
                   std::count_if(m_received.begin(), m_received.end(), [&](const auto& p) {
                       return !p.empty() && p[0] == payload[0];
                   }) <= limit;
        };
        switch (payload[0]) {
            case 0xE2: {
                if (!within(m_config.answeredRecordReads))
                    break;
                std::vector<std::uint8_t> reply = {0xE2};
                std::vector<std::uint8_t> record = m_record;
                record[6] = static_cast<std::uint8_t>(record[6] + m_config.readBackStepDelta);
                const int n = std::clamp(m_config.recordReplyBytes, 0, 9);
                reply.insert(reply.end(), record.begin(), record.begin() + n);
                Append(reply, out);
                break;
            }
            case 0xE3:
                if (length >= 10)
                    std::copy(payload + 1, payload + 10, m_record.begin());
                if (m_config.acknowledgeWrites && within(m_config.acknowledgedWrites)) {
                    if (m_config.ackDelayMs > 0) {
                        pendingAckDelayMs = m_config.ackDelayMs;
                    } else {
                        const auto ack = AckWire();
                        out.insert(out.end(), ack.begin(), ack.end());
                    }
                }
                break;
            case 0xE4: {
                const auto wire = MeasurementWire(tSeconds);
                out.insert(out.end(), wire.begin(), wire.end());
                break;
            }
            default:
                break;
        }
    });
}

std::vector<std::uint8_t> CMeterModel::MeasurementPayload(double t) const {
    // Slow, plausible drifts: a few dB of power, a couple of degrees, a draining battery.
    const int battery = m_config.fixedBattery.value_or(
        static_cast<std::uint8_t>(std::clamp(160.0 - t / 120.0, 140.0, 166.0)));
    const int power = m_config.fixedPowerTenths.value_or(static_cast<std::int16_t>(
        std::lround(100.0 + 50.0 * std::sin(t / 20.0)) + m_config.powerOffsetTenths));
    const int temperature = m_config.fixedTemperature.value_or(
        static_cast<std::uint8_t>(std::lround((25.0 + 2.0 * std::sin(t / 60.0) + 50.0) / 1.25)));
    return {0xE4, static_cast<std::uint8_t>(battery), static_cast<std::uint8_t>(power & 0xFF),
            static_cast<std::uint8_t>((power >> 8) & 0xFF), static_cast<std::uint8_t>(temperature)};
}

std::vector<std::uint8_t> CMeterModel::MeasurementWire(double tSeconds) const {
    std::vector<std::uint8_t> out(m_config.junk);
    Append(MeasurementPayload(tSeconds), out);
    return out;
}

}  // namespace velquor
