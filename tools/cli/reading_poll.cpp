#include "reading_poll.h"

#include <cstdio>

#include "cli_text.h"
#include "station/stream_gap.h"

namespace velquor::cli {

namespace {

constexpr const char* kGone = "the meter is gone (the device hung up or vanished)";

}  // namespace

ReadingPoll::ReadingPoll(CliStation& meters, std::shared_ptr<station::Subscription> subscription,
                         PollOptions options)
    : m_meters(meters),
      m_subscription(std::move(subscription)),
      m_options(std::move(options)),
      m_lastSeq(meters.Count(), 0),
      m_ended(meters.Count(), false),
      m_why(meters.Count()),
      m_running(meters.Count()) {}

const std::vector<station::Reading>& ReadingPoll::Poll(std::chrono::milliseconds timeout) {
    m_batch.clear();
    m_readings.clear();
    m_missed.clear();
    m_subscription->PopAll(m_batch, timeout);
    for (const station::Reading& r : m_batch) {
        if (r.meter >= m_ended.size() || m_ended[r.meter])
            continue;
        m_missed.push_back(station::MissedBefore(m_lastSeq[r.meter], r.seq));
        m_readings.push_back(r);
        if (m_options.track)
            m_meters.Track(r);
        if (r.kind == station::ReadingKind::LinkLost && m_options.lossEnds &&
            !m_meters.Reconnecting())
            End(r.meter, m_meters.Gone(r.meter) ? kGone : "the meter was lost (it fell silent)");
    }
    Check();
    return m_readings;
}

void ReadingPoll::Check() {
    if (m_subscription->TakeDropReport())
        std::fprintf(stderr, "%s readings are being dropped: %s does not keep up with the meters\n",
                     LocalSecondsText(UtcNowUs()).c_str(), m_options.consumer.c_str());
    for (std::size_t i = 0; i < m_ended.size(); ++i) {
        if (m_ended[i])
            continue;
        if (m_meters.Reconnecting() && m_meters.GaveUp(i))
            End(i, m_meters.Get().Status(i).last_notice);
        else if (!m_meters.Reconnecting() && m_meters.Gone(i))
            End(i, kGone);
    }
}

void ReadingPoll::End(std::size_t meter, const std::string& why) {
    if (meter >= m_ended.size() || m_ended[meter])
        return;
    m_ended[meter] = true;
    m_why[meter] = why;
    --m_running;
    if (why.empty())
        return;
    m_failed = true;
    if (m_options.tellEnds)
        Fail(PrintableText(m_meters.Name(meter)) + ": " + PrintableText(why));
}

void ReadingPoll::ReportDrops() const {
    if (const std::uint64_t dropped = m_subscription->Dropped(); dropped > 0)
        Fail(CountText(static_cast<long long>(dropped), "reading", "readings") + " dropped in all");
}

}  // namespace velquor::cli
