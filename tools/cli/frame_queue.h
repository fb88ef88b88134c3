#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "meter/frame_sink.h"

namespace velquor::cli {

// Frames from the link's worker thread, queued for the command's main loop.
class FrameQueue : public IFrameSink {
public:
    void PostFrame(std::uint32_t, std::vector<std::uint8_t> frame) override {
        {
            std::lock_guard lock(m_lock);
            m_frames.push_back(std::move(frame));
        }
        m_ready.notify_one();
    }
    bool Pop(std::vector<std::uint8_t>& frame, int timeout_ms) {
        std::unique_lock lock(m_lock);
        if (!m_ready.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                              [this] { return !m_frames.empty(); }))
            return false;
        frame = std::move(m_frames.front());
        m_frames.pop_front();
        return true;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::vector<std::uint8_t>> m_frames;
};

}  // namespace velquor::cli
