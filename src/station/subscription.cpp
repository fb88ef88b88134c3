#include "station/subscription.h"

#include <algorithm>

namespace velquor::station {

Subscription::Subscription(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1)), m_ring(m_capacity + kEventSlots) {}

void Subscription::Push(const Reading& reading) {
    {
        std::lock_guard lock(m_lock);
        if (m_ended)
            return;
        const bool event = reading.kind != ReadingKind::Measurement;
        if (m_count >= (event ? m_ring.size() : m_capacity)) {
            ++m_dropped;
            return;
        }
        m_ring[(m_head + m_count) % m_ring.size()] = reading;
        ++m_count;
        // Under the lock, so that once SetWakeup has replaced it the old one is never called.
        if (m_count == 1 && m_wakeup)
            m_wakeup();
    }
    m_ready.notify_one();
}

void Subscription::SetWakeup(std::function<void()> wakeup) {
    std::lock_guard lock(m_lock);
    m_wakeup = std::move(wakeup);
}

void Subscription::End() {
    {
        std::lock_guard lock(m_lock);
        m_ended = true;
    }
    m_ready.notify_all();
}

bool Subscription::Pop(Reading& reading, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    if (!m_ready.wait_for(lock, timeout, [this] { return m_count > 0 || m_ended; }) || m_count == 0)
        return false;
    reading = m_ring[m_head];
    m_head = (m_head + 1) % m_ring.size();
    --m_count;
    return true;
}

std::size_t Subscription::PopAll(std::vector<Reading>& out, std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_lock);
    if (!m_ready.wait_for(lock, timeout, [this] { return m_count > 0 || m_ended; }))
        return 0;
    const std::size_t n = m_count;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(m_ring[(m_head + i) % m_ring.size()]);
    m_head = (m_head + n) % m_ring.size();
    m_count = 0;
    return n;
}

std::uint64_t Subscription::Dropped() const {
    std::lock_guard lock(m_lock);
    return m_dropped;
}

bool Subscription::TakeDropReport() {
    std::lock_guard lock(m_lock);
    if (m_dropped == 0 || m_dropReported)
        return false;
    m_dropReported = true;
    return true;
}

bool Subscription::Ended() const {
    std::lock_guard lock(m_lock);
    return m_ended;
}

void ReadingFeed::Publish(const Reading& reading) {
    std::shared_lock lock(m_lock);
    for (const auto& subscription : m_subscriptions)
        subscription->Push(reading);
}

std::shared_ptr<Subscription> ReadingFeed::Subscribe(std::size_t capacity) {
    auto subscription = std::make_shared<Subscription>(capacity);
    std::unique_lock lock(m_lock);
    if (m_ended)
        subscription->End();
    else
        m_subscriptions.push_back(subscription);
    return subscription;
}

void ReadingFeed::Unsubscribe(const std::shared_ptr<Subscription>& subscription) {
    std::unique_lock lock(m_lock);
    std::erase(m_subscriptions, subscription);
}

void ReadingFeed::EndAll() {
    std::unique_lock lock(m_lock);
    for (const auto& subscription : m_subscriptions)
        subscription->End();
    m_subscriptions.clear();
    m_ended = true;
}

}  // namespace velquor::station
