#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velquor {

inline constexpr std::uint8_t kFrameEscape = 0x11;
inline constexpr std::uint8_t kFrameStart = 0x12;
inline constexpr std::uint8_t kFrameEnd = 0x13;
inline constexpr std::uint8_t kFrameEscapedByte = 0x14;

// Size of the encoder's working area and of the decoder's payload buffer.
inline constexpr std::size_t kFrameBufferSize = 4096;

// Wire bytes of one frame. Returns false (out left empty) when the encoded frame
// would not fit the 4096-byte working area.
bool EncodeFrame(const std::uint8_t* payload, std::size_t length, std::vector<std::uint8_t>& out);

// Longest payload EncodeFrame accepts whatever its bytes.
inline constexpr std::size_t kMaxSafePayload = (kFrameBufferSize - 4) / 2;

}  // namespace velquor

namespace velquor {

// Streaming decoder for the byte-stuffed frames. Frames and escape pairs may
// straddle any number of Feed calls.
class CFrameDecoder {
public:
    // Calls onFrame(payload, length) for every frame completed within these bytes;
    // the payload is valid only during the call.
    template <typename OnFrame>
    void Feed(const std::uint8_t* bytes, std::size_t count, OnFrame&& onFrame) {
        for (std::size_t i = 0; i < count; ++i) {
            int length = -1;
            Step(bytes[i], length);
            if (length >= 0)
                onFrame(static_cast<const std::uint8_t*>(m_frame), length);
        }
    }
    void Clear() {
        m_nFrameLength = 0;
        m_bInFrame = false;
        m_bEscape = false;
    }
    bool InFrame() const { return m_bInFrame; }

private:
    // Sets completedLength when b ends a frame.
    void Step(std::uint8_t b, int& completedLength);

    std::uint8_t m_frame[kFrameBufferSize] = {};
    std::int32_t m_nFrameLength = 0;
    bool m_bInFrame = false;
    bool m_bEscape = false;
};

}  // namespace velquor
