#include "station/station.h"
#include "station/reconnect_wait.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "link/auto_reset_event.h"
#include "link/sim_driver.h"
#include "meter/number_format.h"

namespace velquor::station {

using Clock = std::chrono::steady_clock;

// One meter of the station. Lock order: sequenceLock, then publishLock, then stateLock.
struct Station::Slot : IReadingHandler {
    Slot(std::uint32_t i, std::shared_ptr<ReadingFeed> f) : index(i), feed(std::move(f)) {}
    // The session's link worker calls into this slot: it is joined while the slot is whole.
    ~Slot() override { EndSession(); }

    // Stops the meter's link worker and closes the device. Waits for a sequence in progress.
    void EndSession() {
        std::unique_ptr<MeterSession> ended;
        {
            std::lock_guard lock(sequenceLock);
            ended = std::move(session);
        }
        ended.reset();
    }

    // Wakes the supervisor wherever it waits, to look at the stop flag and the policy.
    void Wake() {
        wake.notify_all();
        wakeEvent.Set();
    }
    bool TakeWake() { return wakeEvent.TryConsume(); }
    void Stop() {
        {
            std::lock_guard lock(stateLock);
            stop = true;
        }
        Wake();
    }
    bool Stopping() const {
        std::lock_guard lock(stateLock);
        return stop;
    }

    // On the link worker: passes the meter's readings on while it is live. The link
    // lost ends that until a reconnect; frames of a link being set up are not passed.
    void OnReading(const Reading& reading) override {
        std::lock_guard lock(publishLock);
        if (!live && !Resume(reading))
            return;
        Reading r = reading;
        r.meter = index;
        // The status says lost before any consumer sees the event.
        if (r.kind == ReadingKind::LinkLost) {
            live = false;
            MarkLost(r.steady_ns);
        }
        Send(r);
    }

    // Numbers the meter's stream, so a subscriber that lost readings sees where and
    // how many. Under publishLock.
    void Send(Reading& r) {
        r.seq = ++sent;
        feed->Publish(r);
    }

    // Without reconnecting, a meter that only fell silent stays open; when its
    // frames come again on the same link, its stream goes on after a reconnected
    // event. Under publishLock.
    bool Resume(const Reading& reading) {
        if (reconnecting->load() || reading.kind != ReadingKind::Measurement || Stopping())
            return false;
        {
            std::lock_guard state(stateLock);
            if (status.state != MeterState::Lost)
                return false;
            status.state = MeterState::Connected;
            // Back on its own: turning reconnecting on later must not reopen a live meter.
            lostPending = false;
        }
        live = true;
        Reading back;
        back.kind = ReadingKind::Reconnected;
        back.meter = index;
        StampNow(back);
        Send(back);
        return true;
    }

    void MarkLost(std::int64_t steadyNs) {
        {
            std::lock_guard lock(stateLock);
            status.state = MeterState::Lost;
            status.lost_steady_ns = steadyNs;
            status.attempts = 0;
            lostPending = true;
        }
        wake.notify_all();
    }

    // The meter's readings flow from now; after a reconnect the stream says so first.
    void GoLive(bool announce) {
        std::lock_guard lock(publishLock);
        live = true;
        {
            std::lock_guard state(stateLock);
            status.state = MeterState::Connected;
            status.attempts = 0;
        }
        if (announce) {
            Reading r;
            r.kind = ReadingKind::Reconnected;
            r.meter = index;
            StampNow(r);
            Send(r);
        }
        // The link may have been lost while it was being set up, when its link-lost
        // frame was not passed on; it is not injected again, so report it now.
        if (!session->LinkAlive()) {
            Reading r;
            r.kind = ReadingKind::LinkLost;
            r.meter = index;
            StampNow(r);
            live = false;
            MarkLost(r.steady_ns);
            Send(r);
        }
    }

    void SetState(MeterState state) {
        std::lock_guard lock(stateLock);
        status.state = state;
    }

    std::uint32_t index;  // under publishLock; fixed once the meter is live
    const std::shared_ptr<ReadingFeed> feed;
    std::unique_ptr<MeterSession> session;

    std::mutex sequenceLock;  // one sequence at a time; guards session's replacement
    std::mutex publishLock;   // orders the meter's stream
    bool live = false;
    std::uint64_t sent = 0;  // under publishLock
    // The station's: while it is off, a lost meter resumes with its frames (Resume()).
    const std::atomic<bool>* reconnecting = nullptr;

    mutable std::mutex stateLock;
    std::condition_variable wake;
    MeterStatus status;
    MeterInfo info;  // the last known, kept after Close
    bool lostPending = false;
    bool stop = false;
    // Has its name for good: Open's and AddAndConnect's meters at once, Add's at its
    // first connect, when its identity is known. Under the station's m_slotsLock.
    bool named = true;
    // Counts connects a person asked for: a wait for the meter begun before one ends.
    std::uint64_t personConnects = 0;
    // Readable after Wake, so a wait in poll() ends with the stop or a new policy too.
    CAutoResetEvent wakeEvent;
    std::thread supervisor;
};

DriverFactory DefaultDriverFactory(SerialPaths paths) {
    return [paths](const MeterTarget& target) -> std::unique_ptr<IFtdiDriver> {
        if (target.kind == MeterTarget::Kind::Simulated)
            return std::make_unique<CSimDriver>(std::vector<SimDeviceConfig>{
                CSimDriver::DefaultMeter(SimulatedMeterModel(target.sim_index))});
        return std::make_unique<CSerialDriver>(paths);
    };
}

Station::Station(StationOptions options)
    : m_options(std::move(options)),
      m_policy(m_options.reconnect),
      m_feed(std::make_shared<ReadingFeed>()) {
    m_reconnecting.store(m_options.reconnect.enabled);
    if (!m_options.make_driver)
        m_options.make_driver = DefaultDriverFactory(m_options.serial_paths);
}

Station::~Station() {
    Close();
}

bool Station::Open(const std::vector<MeterTarget>& targets, bool keep_going,
                   std::vector<std::string>& errors) {
    {
        std::lock_guard lock(m_slotsLock);
        if (std::exchange(m_opened, true)) {
            errors.push_back("the station is already open");
            return false;
        }
    }
    if (targets.empty()) {
        errors.push_back("no meter to open");
        return false;
    }
    std::vector<std::unique_ptr<Slot>> slots;
    for (std::size_t i = 0; i < targets.size(); ++i)
        slots.push_back(MakeSlot(targets[i], static_cast<std::uint32_t>(i)));
    {
        std::lock_guard lock(m_slotsLock);
        m_slots = std::move(slots);
    }
    if (m_aborted.load()) {
        for (auto& slot : m_slots)
            if (slot->session)
                slot->session->Abort();
    }

    // Every connect sequence at once: each has its own pauses to sit through.
    std::vector<std::string> failures(m_slots.size());
    std::vector<std::vector<std::string>> notes(m_slots.size());
    {
        std::vector<std::thread> connects;
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            Slot& slot = *m_slots[i];
            if (!slot.session) {
                failures[i] = "no driver for this meter";
                continue;
            }
            connects.emplace_back([&slot, &failures, &notes, i] {
                std::lock_guard lock(slot.sequenceLock);
                std::string error;
                if (!slot.session->Connect(error, notes[i]))
                    failures[i] = error.empty() ? "cannot open the meter" : error;
            });
        }
        for (auto& t : connects)
            t.join();
    }
    std::size_t opened = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (!failures[i].empty())
            errors.push_back(targets[i].Label() + ": " + failures[i]);
        else
            ++opened;
    }
    if (m_aborted.load()) {
        errors.push_back("stopped");
        opened = 0;
    }
    if (opened == 0 || (opened < m_slots.size() && !keep_going)) {
        Close();
        return false;
    }

    // Keep the meters that opened, numbered in the order given.
    std::vector<std::unique_ptr<Slot>> kept;
    std::vector<std::unique_ptr<Slot>> dropped;
    {
        std::lock_guard lock(m_slotsLock);
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            if (failures[i].empty())
                kept.push_back(std::move(m_slots[i]));
        }
        for (auto& slot : m_slots)
            if (slot)
                dropped.push_back(std::move(slot));
        m_slots.clear();
        for (std::size_t i = 0; i < kept.size(); ++i) {
            auto& slot = kept[i];
            {
                std::lock_guard publish(slot->publishLock);
                slot->index = static_cast<std::uint32_t>(i);
            }
            m_slots.push_back(std::move(slot));
        }
    }
    // Their link workers may still deliver a link-lost frame: each session goes first.
    for (auto& slot : dropped)
        slot->EndSession();
    dropped.clear();

    {
        std::lock_guard lock(m_slotsLock);
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            Slot& slot = *m_slots[i];
            MeterInfo info = slot.session->Info();
            info.name = UniqueNameLocked(info.name, m_names.size());
            m_names.push_back(info.name);
            std::lock_guard state(slot.stateLock);
            slot.info = std::move(info);
        }
    }
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        for (const std::string& note : notes[i])
            Notice(*m_slots[i], MeterNotice::Kind::Note, note);
    }
    for (auto& slot : m_slots) {
        slot->GoLive(false);
        slot->supervisor = std::thread([this, s = slot.get()] { Supervise(*s); });
    }
    return true;
}

std::unique_ptr<Station::Slot> Station::MakeSlot(const MeterTarget& target, std::uint32_t index) {
    SessionOptions so;
    so.timings = m_options.timings;
    so.meter_index = index;
    so.serial_paths = m_options.serial_paths;
    so.timing_log = m_options.timing_log;
    if (m_options.make_clock)
        so.clock = m_options.make_clock();
    auto driver = m_options.make_driver(target);
    auto slot = std::make_unique<Slot>(index, m_feed);
    slot->reconnecting = &m_reconnecting;
    if (driver) {
        slot->session = std::make_unique<MeterSession>(target, std::move(driver), std::move(so));
        slot->session->SetReadingHandler(slot.get());
    }
    return slot;
}

Station::Slot& Station::SlotAt(std::size_t index) const {
    std::lock_guard lock(m_slotsLock);
    return *m_slots.at(index);
}

std::string Station::UniqueNameLocked(const std::string& base, std::size_t self) const {
    const auto taken = [&](const std::string& name) {
        for (std::size_t i = 0; i < m_names.size(); ++i)
            if (i != self && m_names[i] == name)
                return true;
        return false;
    };
    std::string name = base;
    for (int n = 2; taken(name); ++n)
        name = base + "#" + std::to_string(n);
    return name;
}

std::size_t Station::Add(const MeterTarget& target) {
    std::lock_guard adding(m_addLock);
    std::uint32_t index;
    {
        std::lock_guard lock(m_slotsLock);
        m_opened = true;  // Open's all-at-once start no longer applies
        index = static_cast<std::uint32_t>(m_slots.size());
    }
    auto slot = MakeSlot(target, index);
    slot->named = false;
    {
        std::lock_guard lock(slot->stateLock);
        slot->info.target = target;
        slot->info.name = target.Label();
    }
    std::lock_guard lock(m_slotsLock);
    if (m_aborted.load() && slot->session)
        slot->session->Abort();
    m_slots.push_back(std::move(slot));
    m_names.push_back(target.Label());
    return index;
}

std::optional<std::size_t> Station::AddAndConnect(const MeterTarget& target,
                                                  const SequenceFront& front, std::string& error) {
    std::lock_guard adding(m_addLock);
    std::uint32_t index;
    {
        std::lock_guard lock(m_slotsLock);
        if (m_closed) {
            error = "the station is closed";
            return std::nullopt;
        }
        m_opened = true;
        index = static_cast<std::uint32_t>(m_slots.size());
    }
    std::unique_ptr<Slot> slot = MakeSlot(target, index);
    if (!slot->session) {
        error = "no driver for this meter";
        return std::nullopt;
    }
    {
        // Abort stores the flag before it looks here: one of the two sees the other.
        std::lock_guard lock(m_slotsLock);
        m_pending = slot.get();
        if (m_aborted.load())
            slot->session->Abort();
    }
    slot->SetState(MeterState::Opening);
    std::vector<std::string> notes;
    bool opened;
    {
        std::lock_guard sequence(slot->sequenceLock);
        opened = slot->session->Connect(error, notes, front);
    }
    {
        std::lock_guard lock(m_slotsLock);
        m_pending = nullptr;
        if (opened && (m_closed || m_aborted.load())) {
            error = "stopped";
            opened = false;
        }
        if (!opened) {
            if (error.empty())
                error = "cannot open the meter";
        } else {
            MeterInfo info = slot->session->Info();
            info.name = UniqueNameLocked(info.name, m_names.size());
            m_names.push_back(info.name);
            {
                std::lock_guard state(slot->stateLock);
                slot->info = std::move(info);
            }
            m_slots.push_back(std::move(slot));
        }
    }
    if (!opened)
        return std::nullopt;  // the slot goes with its session and link worker
    Slot& joined = SlotAt(index);
    for (const std::string& note : notes)
        Notice(joined, MeterNotice::Kind::Note, note);
    joined.GoLive(false);
    joined.supervisor = std::thread([this, s = &joined] { Supervise(*s); });
    return index;
}

bool Station::Connect(std::size_t index, const SequenceFront& front, std::string& error) {
    Slot& slot = SlotAt(index);
    bool wasLive;
    {
        std::lock_guard state(slot.stateLock);
        ++slot.personConnects;
    }
    // A wait for the meter in progress ends: the person's connect replaces it.
    slot.Wake();
    std::lock_guard sequence(slot.sequenceLock);
    if (!slot.session) {
        error = "no driver for this meter";
        return false;
    }
    {
        std::lock_guard publish(slot.publishLock);
        wasLive = slot.sent > 0;
        // Frames of the link being set up are not passed on.
        slot.live = false;
        std::lock_guard state(slot.stateLock);
        slot.status.state = MeterState::Opening;
        slot.lostPending = false;
    }
    std::vector<std::string> notes;
    if (!slot.session->Connect(error, notes, front)) {
        if (error.empty())
            error = "cannot open the meter";
        std::lock_guard state(slot.stateLock);
        slot.status.state = MeterState::Closed;
        slot.status.last_failure = error;
        return false;
    }
    {
        MeterInfo info = slot.session->Info();
        std::lock_guard slots(m_slotsLock);
        if (!slot.named) {
            // Named as Open names its meters, now that its identity is known.
            m_names[index] = UniqueNameLocked(info.name, index);
            slot.named = true;
        }
        info.name = m_names[index];
        std::lock_guard state(slot.stateLock);
        slot.info = std::move(info);
        slot.status.last_failure.clear();
        slot.status.lost_steady_ns = 0;
    }
    for (const std::string& note : notes)
        Notice(slot, MeterNotice::Kind::Note, note);
    slot.GoLive(wasLive);
    if (!slot.supervisor.joinable())
        slot.supervisor = std::thread([this, s = &slot] { Supervise(*s); });
    return true;
}

std::size_t Station::MeterCount() const {
    std::lock_guard lock(m_slotsLock);
    return m_names.size();
}

MeterInfo Station::Meter(std::size_t index) const {
    const Slot& slot = SlotAt(index);
    std::lock_guard lock(slot.stateLock);
    return slot.info;
}

std::string Station::MeterName(std::size_t index) const {
    std::lock_guard lock(m_slotsLock);
    return m_names.at(index);
}

MeterStatus Station::Status(std::size_t index) const {
    const Slot& slot = SlotAt(index);
    std::lock_guard lock(slot.stateLock);
    return slot.status;
}

SetupOutcome Station::Setup(std::size_t index, const SetupRequest& request,
                            const SequenceFront& front) {
    Slot& slot = SlotAt(index);
    std::lock_guard sequence(slot.sequenceLock);
    bool live;
    {
        std::lock_guard lock(slot.publishLock);
        live = slot.live;
    }
    if (!slot.session || !live) {
        SetupOutcome outcome;
        outcome.messages.push_back(kMsgNotConnected);
        if (front.prompt != nullptr)
            front.prompt->ShowMessage(kMsgNotConnected, kAppTitle);
        return outcome;
    }
    SetupOutcome outcome = slot.session->Setup(request, front);
    MeterInfo info = slot.session->Info();
    std::lock_guard lock(slot.stateLock);
    info.name = slot.info.name;
    slot.info = std::move(info);
    return outcome;
}

std::shared_ptr<Subscription> Station::Subscribe(std::size_t capacity) {
    return m_feed->Subscribe(capacity);
}

void Station::Unsubscribe(const std::shared_ptr<Subscription>& subscription) {
    m_feed->Unsubscribe(subscription);
}

void Station::Notice(Slot& slot, MeterNotice::Kind kind, const std::string& text) {
    {
        std::lock_guard lock(slot.stateLock);
        slot.status.last_notice = text;
    }
    if (m_options.on_notice)
        m_options.on_notice(MeterNotice{slot.index, kind, text});
}

Station::Wake Station::WaitForChance(Slot& slot, DeviceWatch* watch, Clock::time_point earliest,
                                     Clock::time_point until) {
    for (;;) {
        if (slot.Stopping())
            return Wake::Stop;
        const auto now = Clock::now();
        if (now >= until)
            return Wake::Due;
        // Before `earliest` the watch is not listened to; what it saw meanwhile waits
        // in its queue and ends the wait at `earliest`.
        const bool listen = watch != nullptr && watch->Fd() >= 0 && now >= earliest;
        const auto end = listen ? until : std::min(until, earliest);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(end - now);
        ReadyEvents ready;
        const WaitOutcome outcome =
            WaitForEvents(slot.wakeEvent.Fd(), listen ? watch->Fd() : kNoEvent,
                          static_cast<int>(std::max<long long>(wait.count(), 1)), ready);
        if (outcome == WaitOutcome::kFailed)
            std::this_thread::sleep_for(
                std::min<Clock::duration>(end - now, std::chrono::milliseconds(50)));
        if (ready.request && slot.TakeWake())
            return slot.Stopping() ? Wake::Stop : Wake::Changed;
        if (listen && ready.data && watch->Drain())
            return slot.Stopping() ? Wake::Stop : Wake::Due;
    }
}

ReconnectPolicy Station::Reconnecting() const {
    std::lock_guard lock(m_policyLock);
    return m_policy;
}

void Station::SetReconnect(const ReconnectPolicy& policy) {
    {
        std::lock_guard lock(m_policyLock);
        m_policy = policy;
        m_reconnecting.store(policy.enabled);
    }
    std::lock_guard lock(m_slotsLock);
    for (auto& slot : m_slots) {
        if (!slot)
            continue;
        {
            std::lock_guard state(slot->stateLock);
            // Turned on: meters already lost (or given up on) are looked for from now.
            if (policy.enabled && (slot->status.state == MeterState::Lost ||
                                   slot->status.state == MeterState::GaveUp))
                slot->lostPending = true;
        }
        slot->Wake();
    }
}

void Station::Supervise(Slot& slot) {
    for (;;) {
        {
            std::unique_lock lock(slot.stateLock);
            // Woken by a loss, a change of the policy or the stop; the bound only keeps
            // the wait finite.
            while (!slot.stop && !(slot.lostPending && Reconnecting().enabled))
                slot.wake.wait_for(lock, std::chrono::seconds(5));
            if (slot.stop)
                return;
            slot.lostPending = false;
        }
        if (!LookForMeter(slot))
            return;
    }
}

bool Station::LookForMeter(Slot& slot) {
    ReconnectWait wait(Reconnecting());
    wait.Begin(Clock::now());
    std::uint64_t personConnects;
    {
        std::lock_guard state(slot.stateLock);
        personConnects = slot.personConnects;
    }
    const auto personConnected = [&] {
        std::lock_guard state(slot.stateLock);
        return slot.personConnects != personConnects;
    };
    {
        std::lock_guard lock(slot.sequenceLock);
        if (personConnected())
            return true;
        slot.session->CloseDevice();
    }
    const std::unique_ptr<DeviceWatch> watch = slot.session->WatchForReturn();
    for (;;) {
        const ReconnectPolicy policy = Reconnecting();
        if (!policy.enabled) {
            // Turned off while waiting: the meter stays lost until it is turned on again.
            std::lock_guard lock(slot.stateLock);
            slot.status.state = MeterState::Lost;
            return true;
        }
        wait.SetPolicy(policy);
        if (wait.GaveUp(Clock::now())) {
            slot.SetState(MeterState::GaveUp);
            Notice(slot, MeterNotice::Kind::GaveUp,
                   FormatC("not back after %.1f s; no longer waiting for it",
                           std::chrono::duration<double>(policy.timeout).count()));
            return true;
        }
        slot.SetState(MeterState::Waiting);
        // The node reappearing cuts a back-off short, but looks stay Earliest() apart.
        const Wake wake = WaitForChance(slot, watch.get(), wait.Earliest(), wait.NextLook());
        if (wake == Wake::Stop)
            return false;
        if (personConnected())
            return true;
        if (wake == Wake::Changed || wait.GaveUp(Clock::now()))
            continue;
        wait.Missed(Clock::now());
        {
            std::lock_guard lock(slot.stateLock);
            slot.status.attempts = wait.Looks();
        }
        if (!slot.session->Present())
            continue;
        slot.SetState(MeterState::Opening);
        std::string error;
        std::vector<std::string> notes;
        MeterSession::ReconnectResult result;
        {
            std::lock_guard lock(slot.sequenceLock);
            if (personConnected())
                return true;
            result = slot.session->Reconnect(error, notes);
            std::lock_guard state(slot.stateLock);
            slot.status.last_failure =
                result == MeterSession::ReconnectResult::Connected ? std::string() : error;
            if (result == MeterSession::ReconnectResult::Connected) {
                MeterInfo info = slot.session->Info();
                info.name = slot.info.name;
                slot.info = std::move(info);
            }
        }
        if (slot.Stopping())
            return false;
        if (result == MeterSession::ReconnectResult::Refused) {
            Notice(slot, MeterNotice::Kind::Refused, error + "; still waiting");
            continue;
        }
        if (result == MeterSession::ReconnectResult::Failed)
            continue;
        for (const std::string& note : notes)
            Notice(slot, MeterNotice::Kind::Note, note);
        slot.GoLive(true);
        return true;
    }
}

void Station::Abort() {
    m_aborted.store(true);
    std::lock_guard lock(m_slotsLock);
    if (m_pending != nullptr)
        m_pending->session->Abort();
    for (auto& slot : m_slots) {
        if (!slot)
            continue;
        if (slot->session)
            slot->session->Abort();
        slot->Stop();
    }
}

std::vector<MeterTarget> AddableTargets(const Station& station, IFtdiDriver* lister,
                                        std::string& error) {
    std::vector<bool> simOpen(kMaxSimulatedMeters, false);
    std::vector<std::string> serials;
    bool simulated = false;
    bool real = false;
    for (std::size_t i = 0; i < station.MeterCount(); ++i) {
        const MeterInfo info = station.Meter(i);
        if (info.target.kind == MeterTarget::Kind::Simulated) {
            simulated = true;
            if (info.target.sim_index >= 0 && info.target.sim_index < kMaxSimulatedMeters)
                simOpen[static_cast<std::size_t>(info.target.sim_index)] = true;
            continue;
        }
        real = true;
        // A lost meter keeps its serial, so it is not offered as another one.
        serials.push_back(info.serial);
        if (info.target.kind == MeterTarget::Kind::Serial)
            serials.push_back(info.target.value);
    }
    std::vector<MeterTarget> addable;
    for (int i = 0; simulated && i < kMaxSimulatedMeters; ++i)
        if (!simOpen[static_cast<std::size_t>(i)])
            addable.push_back(MeterTarget::Simulated(i));
    std::vector<MeterTarget> listed;
    if (real && lister != nullptr && !ListMeterTargets(*lister, listed, error))
        listed.clear();
    for (const MeterTarget& t : listed)
        if (std::find(serials.begin(), serials.end(), t.value) == serials.end())
            addable.push_back(t);
    return addable;
}

void Station::Close() {
    {
        std::lock_guard lock(m_slotsLock);
        if (std::exchange(m_closed, true))
            return;
    }
    Abort();
    // A meter being added gives up (Abort reached it) and is not let in.
    std::lock_guard adding(m_addLock);
    std::vector<Slot*> slots;
    {
        std::lock_guard lock(m_slotsLock);
        for (auto& slot : m_slots)
            slots.push_back(slot.get());
    }
    for (Slot* slot : slots) {
        if (slot && slot->supervisor.joinable())
            slot->supervisor.join();
    }
    for (Slot* slot : slots) {
        if (!slot)
            continue;
        {
            std::lock_guard lock(slot->publishLock);
            slot->live = false;
        }
        slot->EndSession();
        std::lock_guard lock(slot->stateLock);
        slot->status.state = MeterState::Closed;
    }
    m_feed->EndAll();
}

}  // namespace velquor::station
