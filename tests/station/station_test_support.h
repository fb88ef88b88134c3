#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <vector>

#include "common/fast_timings.h"
#include "common/stepping_clock.h"
#include "station/station.h"

namespace velquor::station::testing {

using namespace std::chrono_literals;

// Everything a subscription delivered, sorted by meter, collected until a condition holds.
struct Collected {
    std::vector<Reading> all;

    std::vector<Reading> Of(std::uint32_t meter) const {
        std::vector<Reading> out;
        for (const Reading& r : all)
            if (r.meter == meter)
                out.push_back(r);
        return out;
    }
    std::size_t Count(std::uint32_t meter, ReadingKind kind) const {
        std::size_t n = 0;
        for (const Reading& r : all)
            n += r.meter == meter && r.kind == kind;
        return n;
    }
};

// Pops into c until pred(c) holds or the limit passes.
template <typename Pred>
bool CollectUntil(Subscription& s, Collected& c, Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred(c)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        s.PopAll(c.all, 20ms);
    }
    return true;
}

// Station options for tests: short link waits, a clock that does not sleep out the
// sequences' pauses, notices kept.
struct NoticeLog {
    std::mutex lock;
    std::vector<MeterNotice> notices;
    void Add(const MeterNotice& n) {
        std::lock_guard g(lock);
        notices.push_back(n);
    }
    std::size_t Count(MeterNotice::Kind kind) {
        std::lock_guard g(lock);
        std::size_t n = 0;
        for (const auto& x : notices)
            n += x.kind == kind;
        return n;
    }
};

inline StationOptions FastOptions(NoticeLog* log = nullptr) {
    StationOptions o;
    o.timings = testing_support::FastTimings();
    o.make_clock = [] { return std::make_unique<testing_support::SteppingClock>(); };
    if (log != nullptr)
        o.on_notice = [log](const MeterNotice& n) { log->Add(n); };
    return o;
}

}  // namespace velquor::station::testing
