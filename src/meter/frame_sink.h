#pragma once

#include <cstdint>
#include <vector>

namespace velquor {

// Receives every frame the meter layer accepts. Called on the link's worker
// thread; each call hands over its own copy of the frame, so implementations may
// queue it for another thread.
class IFrameSink {
public:
    virtual ~IFrameSink() = default;
    virtual void PostFrame(std::uint32_t message, std::vector<std::uint8_t> frame) = 0;
    // A sink that is done with the frame before returning (it decodes it on the
    // worker thread) takes it here instead, without the copy PostFrame needs, and
    // returns true. The frame is valid only during the call.
    virtual bool TakeFrame(std::uint32_t /*message*/, const std::uint8_t* /*frame*/,
                           int /*length*/) {
        return false;
    }
};

// Message number frames are posted under (WM_APP + 100).
inline constexpr std::uint32_t kMeterFrameMessage = 0x8064;

}  // namespace velquor
