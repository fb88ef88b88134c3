#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "cli_text.h"
#include "meter/frame_sink.h"
#include "meter/unit_parameters.h"

namespace velquor::cli {

// Frames from the link's worker thread. A link-lost frame runs the handler (the
// connected flag follows the link, as in the main view); other frames are kept
// for the command's main loop only when it asked for them, so a command that
// never reads them does not accumulate them.
class FrameQueue : public IFrameSink {
public:
    void SetLinkLostHandler(std::function<void()> handler) {
        std::lock_guard lock(m_lock);
        m_onLinkLost = std::move(handler);
    }
    void SetKeep(bool keep) {
        std::lock_guard lock(m_lock);
        m_bKeep = keep;
    }
    void PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) override {
        const std::int64_t utc_us = UtcNowUs();
        {
            std::lock_guard lock(m_lock);
            if (!frame.empty() && frame[0] == kOpLinkLost && m_onLinkLost)
                m_onLinkLost();
            if (!m_bKeep)
                return;
            m_frames.push_back({utc_us, std::move(frame)});
        }
        m_ready.notify_one();
    }
    // The oldest frame and the wall-clock time it arrived (UTC microseconds).
    bool Pop(std::vector<std::uint8_t>& frame, std::int64_t& utc_us, int timeout_ms) {
        std::unique_lock lock(m_lock);
        if (!m_ready.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [this] { return !m_frames.empty(); }))
            return false;
        utc_us = m_frames.front().first;
        frame = std::move(m_frames.front().second);
        m_frames.pop_front();
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::pair<std::int64_t, std::vector<std::uint8_t>>> m_frames;
    std::function<void()> m_onLinkLost;
    bool m_bKeep = false;
};

}  // namespace velquor::cli
