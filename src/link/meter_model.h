#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/frame_codec.h"

namespace velquor {

// What a simulated meter is and how it misbehaves on request.
struct MeterModelConfig {
    std::string serial = "OV227700";
    std::string description = "Orvane Power Meter";
    std::string manufacturer = "Dunmarsh Instruments";
    // MAY-18-2015, firmware 1.10, no cable loss, dBm and Watt shown, 1700 MHz.
    std::vector<std::uint8_t> record = {0x12, 0x85, 0x2A, 0x00, 0x03, 0x00, 25, 0x00, 0x00};
    int frameIntervalMs = 200;
    // Raw measurement bytes instead of the drifting values.
    std::optional<std::uint8_t> fixedBattery;
    std::optional<std::int16_t> fixedPowerTenths;
    std::optional<std::uint8_t> fixedTemperature;
    // Added to the drifting power (not to a fixed one), so simulated meters differ.
    std::int16_t powerOffsetTenths = 0;
    // Stop sending anything after this many seconds (negative: never).
    double silenceAfterS = -1.0;
    bool acknowledgeWrites = true;
    // Only the first this many record writes are acknowledged and only the first
    // this many record reads answered (negative: all).
    int acknowledgedWrites = -1;
    int answeredRecordReads = -1;
    int ackDelayMs = 0;
    // Added to byte 6 of the record in read-back replies (a unit that reports a
    // different frequency than it was given).
    int readBackStepDelta = 0;
    // Record bytes sent in an E2 reply (at most 9).
    int recordReplyBytes = 9;
    bool answerRequests = true;
    // Junk bytes sent before every measurement frame.
    std::vector<std::uint8_t> junk;
    // Maximum bytes one read hands out (0: everything waiting).
    int maxChunk = 0;
};

// The meter's behaviour, free of any transport or clock: bytes from the host in,
// wire bytes to the host out.
class CMeterModel {
public:
    explicit CMeterModel(MeterModelConfig config);

    // Handles bytes written by the host. Immediate replies are appended to out;
    // a delayed acknowledgement is reported through pendingAckDelayMs.
    void Receive(double tSeconds, const std::uint8_t* bytes, std::size_t count,
                 std::vector<std::uint8_t>& out, int& pendingAckDelayMs);
    // Wire bytes of one unsolicited measurement at tSeconds since power-up
    // (junk first, when configured).
    std::vector<std::uint8_t> MeasurementWire(double tSeconds) const;
    // The acknowledgement frame of a write.
    static std::vector<std::uint8_t> AckWire();
    bool Silent(double tSeconds) const;

    const MeterModelConfig& Config() const { return m_config; }
    MeterModelConfig& MutableConfig() { return m_config; }
    const std::vector<std::uint8_t>& Record() const { return m_record; }
    // Every payload the host sent, in order.
    const std::vector<std::vector<std::uint8_t>>& Received() const { return m_received; }

private:
    std::vector<std::uint8_t> MeasurementPayload(double tSeconds) const;
    void Append(const std::vector<std::uint8_t>& payload, std::vector<std::uint8_t>& out) const;

    MeterModelConfig m_config;
    std::vector<std::uint8_t> m_record;
    CFrameDecoder m_decoder;
    std::vector<std::vector<std::uint8_t>> m_received;
};

}  // namespace velquor
