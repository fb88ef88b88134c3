#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "link/auto_reset_event.h"

namespace velquor {
namespace {

// The link worker's one wait: the mailbox's request and a driver's data event.
// A wait must consume neither, or the worker would miss a command or leave bytes
// unread until the next arrival (Windows' waits consume auto-reset events).
TEST(EventWait, NeitherEventIsConsumedByTheWait) {
    CAutoResetEvent request;
    CAutoResetEvent data;
    ReadyEvents ready;
    EXPECT_EQ(WaitForEvents(request.Fd(), data.Fd(), 0, ready), WaitOutcome::kTimeout);

    data.Set();
    for (int i = 0; i < 3; ++i) {
        ready = {};
        ASSERT_EQ(WaitForEvents(request.Fd(), data.Fd(), 1000, ready), WaitOutcome::kReady);
        EXPECT_FALSE(ready.request);
        EXPECT_TRUE(ready.data) << "round " << i;
    }
    data.Reset();  // the driver's buffer ran empty
    EXPECT_EQ(WaitForEvents(request.Fd(), data.Fd(), 0, ready), WaitOutcome::kTimeout);

    request.Set();
    data.Set();
    ready = {};
    ASSERT_EQ(WaitForEvents(request.Fd(), data.Fd(), 1000, ready), WaitOutcome::kReady);
    EXPECT_TRUE(ready.request);
    EXPECT_TRUE(ready.data);  // both are told, so bytes are read after the command
    EXPECT_TRUE(request.TryConsume());
    EXPECT_FALSE(request.TryConsume());
    ready = {};
    ASSERT_EQ(WaitForEvents(request.Fd(), data.Fd(), 1000, ready), WaitOutcome::kReady);
    EXPECT_FALSE(ready.request);
    EXPECT_TRUE(ready.data);
}

TEST(EventWait, ASetFromAnotherThreadEndsTheWaitAndNoDataEventIsWaitedFor) {
    CAutoResetEvent request;
    ReadyEvents ready;
    EXPECT_EQ(WaitForEvents(request.Fd(), kNoEvent, 0, ready), WaitOutcome::kTimeout);
    const auto start = std::chrono::steady_clock::now();
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        request.Set();
    });
    const WaitOutcome outcome = WaitForEvents(request.Fd(), kNoEvent, 5000, ready);
    setter.join();
    EXPECT_EQ(outcome, WaitOutcome::kReady);
    EXPECT_TRUE(ready.request);
    EXPECT_FALSE(ready.data);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

}  // namespace
}  // namespace velquor
