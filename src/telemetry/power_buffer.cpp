#include "telemetry/power_buffer.h"

#include <algorithm>

#include "telemetry/payloads.h"

namespace velquor::telemetry {

PowerBuffer::PowerBuffer(std::string session, Limits limits)
    : m_session(std::move(session)), m_limits(limits) {
    m_limits.max_readings = std::max<std::size_t>(1, m_limits.max_readings);
    m_limits.max_batch = std::clamp<std::size_t>(m_limits.max_batch, 1, m_limits.max_readings);
    m_batchSteadyNs.reserve(m_limits.max_batch);
    m_batchDbm.reserve(m_limits.max_batch);
}

void PowerBuffer::Add(std::int64_t utc_us, std::int64_t steady_ns, double dbm, double temperature_c,
                      double battery) {
    if (m_batchSteadyNs.size() >= m_limits.max_batch)
        CloseBatch();
    if (m_batchSteadyNs.empty())
        m_batchFirstUtcUs = utc_us;
    m_batchSteadyNs.push_back(steady_ns);
    m_batchDbm.push_back(dbm);
    m_batchTemperature = temperature_c;
    m_batchBattery = battery;
    m_newestSteadyNs = std::max(m_newestSteadyNs, steady_ns);
    EnforceLimits();
}

bool PowerBuffer::CloseBatch() {
    if (m_batchSteadyNs.empty())
        return false;
    PowerBatchView view;
    view.session = m_session;
    view.seq = m_nextSeq;
    view.first_utc_us = m_batchFirstUtcUs;
    view.steady_ns = m_batchSteadyNs;
    view.dbm = m_batchDbm;
    view.temperature_c = m_batchTemperature;
    view.battery = m_batchBattery;
    view.dropped = m_dropped;
    Entry entry;
    entry.message.seq = m_nextSeq++;
    entry.message.readings = m_batchSteadyNs.size();
    entry.message.payload = PowerPayload(view);
    entry.firstSteadyNs = m_batchSteadyNs.front();
    m_readings += entry.message.readings;
    m_bytes += entry.message.payload.size();
    m_entries.push_back(std::move(entry));
    m_batchSteadyNs.clear();
    m_batchDbm.clear();
    EnforceLimits();
    return true;
}

void PowerBuffer::Skip(std::uint64_t readings) {
    if (readings == 0)
        return;
    CloseBatch();
    m_dropped += readings;
    m_skipped += readings;
    ++m_nextSeq;
    ++m_numbersLeftOut;
}

const PowerMessage* PowerBuffer::NextUnsent() const {
    for (const auto& e : m_entries) {
        if (e.state == State::Unsent)
            return &e.message;
    }
    return nullptr;
}

void PowerBuffer::MarkSent(std::uint64_t seq) {
    for (auto& e : m_entries) {
        if (e.message.seq == seq && e.state == State::Unsent) {
            e.state = State::Sent;
            return;
        }
    }
}

void PowerBuffer::Confirm(std::uint64_t seq) {
    for (auto& e : m_entries) {
        if (e.message.seq == seq) {
            e.state = State::Confirmed;
            break;
        }
    }
    PopConfirmed();
}

void PowerBuffer::ResendUnconfirmed() {
    for (auto& e : m_entries) {
        if (e.state == State::Sent)
            e.state = State::Unsent;
    }
}

std::size_t PowerBuffer::InFlight() const {
    return static_cast<std::size_t>(std::count_if(
        m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.state == State::Sent; }));
}

void PowerBuffer::PopConfirmed() {
    while (!m_entries.empty() && m_entries.front().state == State::Confirmed) {
        m_readings -= m_entries.front().message.readings;
        m_bytes -= m_entries.front().message.payload.size();
        m_entries.pop_front();
    }
}

void PowerBuffer::EnforceLimits() {
    // Messages on the wire stay until the broker answers or the connection goes
    // (they are few: the publisher bounds them); the oldest waiting one goes instead.
    if (m_entries.empty() ||
        (BufferedReadings() <= m_limits.max_readings &&
         m_newestSteadyNs - m_entries.front().firstSteadyNs <= m_limits.span.count()))
        return;
    for (;;) {
        auto victim = std::find_if(m_entries.begin(), m_entries.end(),
                                   [](const Entry& e) { return e.state == State::Unsent; });
        if (victim == m_entries.end())
            return;
        const bool tooMany = BufferedReadings() > m_limits.max_readings;
        const bool tooOld = m_newestSteadyNs - victim->firstSteadyNs > m_limits.span.count();
        if (!tooMany && !tooOld)
            return;
        m_dropped += victim->message.readings;
        m_readings -= victim->message.readings;
        m_bytes -= victim->message.payload.size();
        m_entries.erase(victim);
    }
}

}  // namespace velquor::telemetry
