#pragma once

#include <chrono>
#include <thread>

#include "link/usb.h"

namespace velquor::testing_support {

// Short link waits keep the suites fast; the ratios between them match the program's.
inline LinkTimings FastTimings() {
    LinkTimings t;
    t.idle_wait_ms = 20;
    t.mailbox_timeout_ms = 300;
    t.stop_timeout_ms = 300;
    t.identity_pause_ms = 5;
    t.reply_wait_ms = 200;
    return t;
}

// Polls pred every 2 ms until it holds or the limit passes.
template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return pred();
}

}  // namespace velquor::testing_support
