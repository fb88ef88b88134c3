#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "station/reading.h"

namespace velquor::station {

// One consumer's view of the station's stream: a bounded queue, filled by the link
// workers and emptied by the consumer. When the consumer falls behind, new readings
// are dropped and counted; the workers never wait for it. Link events have slots of
// their own beyond the capacity, so a consumer that falls behind still learns that a
// meter was lost rather than taking its last reading for a live one.
class Subscription {
public:
    explicit Subscription(std::size_t capacity);
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    // Waits up to timeout for a reading. False when none came (or the stream ended
    // and the queue is empty).
    bool Pop(Reading& reading, std::chrono::milliseconds timeout);
    // Appends every waiting reading to out, waiting up to timeout for the first.
    // Returns how many were appended.
    std::size_t PopAll(std::vector<Reading>& out, std::chrono::milliseconds timeout);

    // Readings dropped because the queue was full, since subscribing.
    std::uint64_t Dropped() const;
    // True exactly once: at the first call after readings began to be dropped, so
    // the consumer reports the loss once rather than per reading.
    bool TakeDropReport();
    // The station has closed: nothing more will be pushed.
    bool Ended() const;
    // How many measurements the queue holds.
    std::size_t Capacity() const { return m_capacity; }

    // Called on the pushing thread when a reading arrives in an empty queue, so an
    // event loop can be woken instead of polling; it must not block and must not call
    // back into this subscription. Empty: none. After it returns the old one is done.
    void SetWakeup(std::function<void()> wakeup);

    // The station's side. Push never allocates and never blocks beyond the lock.
    void Push(const Reading& reading);
    void End();

private:
    static constexpr std::size_t kEventSlots = 64;

    mutable std::mutex m_lock;
    std::condition_variable m_ready;
    std::size_t m_capacity;
    std::vector<Reading> m_ring;
    std::size_t m_head = 0;
    std::size_t m_count = 0;
    std::uint64_t m_dropped = 0;
    bool m_dropReported = false;
    bool m_ended = false;
    std::function<void()> m_wakeup;
};

// The fan-out: every reading to every subscription. Apart from the supervision of
// the meters, which only publishes into it. Link workers publish under the shared
// lock, so meters do not wait for each other; subscribing takes it exclusively.
class ReadingFeed {
public:
    void Publish(const Reading& reading);
    std::shared_ptr<Subscription> Subscribe(std::size_t capacity);
    void Unsubscribe(const std::shared_ptr<Subscription>& subscription);
    // Ends every subscription; later ones start ended.
    void EndAll();

private:
    std::shared_mutex m_lock;
    std::vector<std::shared_ptr<Subscription>> m_subscriptions;
    bool m_ended = false;
};

}  // namespace velquor::station
