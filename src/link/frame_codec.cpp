#include "link/frame_codec.h"

namespace velquor {

bool EncodeFrame(const std::uint8_t* payload, std::size_t length, std::vector<std::uint8_t>& out) {
    out.clear();
    std::size_t wire = 4;
    for (std::size_t i = 0; i < length; ++i)
        wire += payload[i] == kFrameEscape ? 2 : 1;
    if (wire > kFrameBufferSize)
        return false;
    out.reserve(wire);
    out.push_back(kFrameEscape);
    out.push_back(kFrameStart);
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(payload[i]);
        if (payload[i] == kFrameEscape)
            out.push_back(kFrameEscapedByte);
    }
    out.push_back(kFrameEscape);
    out.push_back(kFrameEnd);
    return true;
}

}  // namespace velquor

namespace velquor {

void CFrameDecoder::Step(std::uint8_t b, int& completedLength) {
    if (!m_bInFrame) {
        if (!m_bEscape) {
            m_bEscape = b == kFrameEscape;
        } else if (b == kFrameStart) {
            m_nFrameLength = 0;
            m_bInFrame = true;
            m_bEscape = false;
        } else if (b != kFrameEscape) {
            m_bEscape = false;
        }
        return;
    }
    std::uint8_t payloadByte = b;
    if (!m_bEscape) {
        if (b == kFrameEscape) {
            m_bEscape = true;
            return;
        }
    } else {
        m_bEscape = false;
        if (b == kFrameStart) {
            m_nFrameLength = 0;
            return;
        }
        if (b == kFrameEnd) {
            completedLength = m_nFrameLength;
            m_nFrameLength = 0;
            m_bInFrame = false;
            return;
        }
        if (b != kFrameEscapedByte) {
            // The byte is consumed by the discard, 0x11 included.
            m_nFrameLength = 0;
            m_bInFrame = false;
            return;
        }
        payloadByte = kFrameEscape;
    }
    if (static_cast<std::size_t>(m_nFrameLength) >= kFrameBufferSize) {
        // A frame longer than the buffer is dropped; decoding hunts again.
        m_nFrameLength = 0;
        m_bInFrame = false;
        return;
    }
    m_frame[m_nFrameLength++] = payloadByte;
}

}  // namespace velquor
