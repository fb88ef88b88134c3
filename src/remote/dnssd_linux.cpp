// DNS-SD through the system's avahi-daemon (libavahi-client over D-Bus): the
// daemon owns mDNS on the machine, so announcements stay consistent with every
// other service on it and no second responder fights it for port 5353.
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/strlst.h>
#include <avahi-common/thread-watch.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <condition_variable>
#include <cstring>

#include "remote/dnssd.h"

namespace velquor::remote {

namespace {

struct Where {
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    AvahiProtocol protocol = AVAHI_PROTO_UNSPEC;
};

// The interface that holds a listening address; every one for a wildcard address.
Where InterfaceOf(const std::string& address) {
    Where where;
    in_addr v4{};
    in6_addr v6{};
    const bool isV4 = inet_pton(AF_INET, address.c_str(), &v4) == 1;
    const bool isV6 = !isV4 && inet_pton(AF_INET6, address.c_str(), &v6) == 1;
    if (isV4)
        where.protocol = AVAHI_PROTO_INET;
    if (isV6)
        where.protocol = AVAHI_PROTO_INET6;
    if ((isV4 && v4.s_addr == htonl(INADDR_ANY)) || (isV6 && IN6_IS_ADDR_UNSPECIFIED(&v6)) ||
        (!isV4 && !isV6)) {
        where.protocol = AVAHI_PROTO_UNSPEC;
        return where;
    }
    ifaddrs* all = nullptr;
    if (getifaddrs(&all) != 0)
        return where;
    for (const ifaddrs* a = all; a != nullptr; a = a->ifa_next) {
        if (a->ifa_addr == nullptr)
            continue;
        const bool match =
            (isV4 && a->ifa_addr->sa_family == AF_INET &&
             reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr == v4.s_addr) ||
            (isV6 && a->ifa_addr->sa_family == AF_INET6 &&
             std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a->ifa_addr)->sin6_addr, &v6,
                         sizeof v6) == 0);
        if (match) {
            where.interface = static_cast<AvahiIfIndex>(if_nametoindex(a->ifa_name));
            break;
        }
    }
    freeifaddrs(all);
    return where;
}

}  // namespace

struct DnsSdAnnouncer::Impl {
    // Everything below is used on the poll's thread, or under its lock.
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    std::vector<ServiceRecord> services;

    mutable std::mutex lock;  // guards what other threads read
    std::condition_variable changed;
    std::string name;
    enum class State { Idle, Waiting, Announced, Failed } state = State::Idle;
    std::string failure;

    void Set(State s, const std::string& why = {}) {
        {
            std::lock_guard g(lock);
            state = s;
            if (!why.empty())
                failure = why;
        }
        changed.notify_all();
    }
    std::string CurrentName() const {
        std::lock_guard g(lock);
        return name;
    }

    // On the poll's thread (or inside avahi_client_new, before it runs).
    void Publish(AvahiClient* c) {
        if (group == nullptr)
            group = avahi_entry_group_new(c, &Impl::OnGroup, this);
        if (group == nullptr) {
            Set(State::Failed, avahi_strerror(avahi_client_errno(c)));
            return;
        }
        const std::string current = CurrentName();
        for (const ServiceRecord& s : services) {
            AvahiStringList* txt = nullptr;
            for (auto it = s.txt.rbegin(); it != s.txt.rend(); ++it)
                txt = avahi_string_list_add(txt, it->c_str());
            const Where where = InterfaceOf(s.address);
            const int error = avahi_entry_group_add_service_strlst(
                group, where.interface, where.protocol, AvahiPublishFlags(0), current.c_str(),
                s.type.c_str(), nullptr, nullptr, s.port, txt);
            avahi_string_list_free(txt);
            if (error == AVAHI_ERR_COLLISION) {
                Rename();
                return;
            }
            if (error < 0) {
                Set(State::Failed, s.type + ": " + avahi_strerror(error));
                return;
            }
        }
        const int error = avahi_entry_group_commit(group);
        if (error < 0)
            Set(State::Failed, avahi_strerror(error));
    }

    // Another host has the name: the daemon's next alternative, and again.
    void Rename() {
        {
            std::lock_guard g(lock);
            char* alternative = avahi_alternative_service_name(name.c_str());
            name = alternative;
            avahi_free(alternative);
        }
        avahi_entry_group_reset(group);
        Publish(client);
    }

    static void OnGroup(AvahiEntryGroup* g, AvahiEntryGroupState state, void* self) {
        auto* impl = static_cast<Impl*>(self);
        impl->group = g;
        switch (state) {
            case AVAHI_ENTRY_GROUP_ESTABLISHED:
                impl->Set(State::Announced);
                break;
            case AVAHI_ENTRY_GROUP_COLLISION:
                impl->Rename();
                break;
            case AVAHI_ENTRY_GROUP_FAILURE:
                impl->Set(State::Failed,
                          avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
                break;
            case AVAHI_ENTRY_GROUP_UNCOMMITED:
            case AVAHI_ENTRY_GROUP_REGISTERING:
                break;
        }
    }

    static void OnClient(AvahiClient* c, AvahiClientState state, void* self) {
        auto* impl = static_cast<Impl*>(self);
        impl->client = c;
        switch (state) {
            case AVAHI_CLIENT_S_RUNNING:
                impl->Publish(c);
                break;
            case AVAHI_CLIENT_S_COLLISION:
            case AVAHI_CLIENT_S_REGISTERING:
                // The host name changes: announce again once the daemon runs.
                if (impl->group != nullptr)
                    avahi_entry_group_reset(impl->group);
                impl->Set(State::Waiting);
                break;
            case AVAHI_CLIENT_CONNECTING:
                impl->Set(State::Waiting);
                break;
            case AVAHI_CLIENT_FAILURE:
                impl->Set(State::Failed, avahi_strerror(avahi_client_errno(c)));
                break;
        }
    }
};

DnsSdAnnouncer::DnsSdAnnouncer() : m_impl(std::make_unique<Impl>()) {}

DnsSdAnnouncer::~DnsSdAnnouncer() {
    Stop();
}

bool DnsSdAnnouncer::Start(const std::string& name, const std::vector<ServiceRecord>& services,
                           std::string& status) {
    Impl& impl = *m_impl;
    if (services.empty()) {
        status = "nothing to announce";
        return false;
    }
    impl.services = services;
    impl.name = name;
    impl.poll = avahi_threaded_poll_new();
    if (impl.poll == nullptr) {
        status = "cannot start the DNS-SD client";
        return false;
    }
    int error = 0;
    // NO_FAIL: a daemon that starts (or restarts) later is used when it comes.
    impl.client = avahi_client_new(avahi_threaded_poll_get(impl.poll), AVAHI_CLIENT_NO_FAIL,
                                   &Impl::OnClient, &impl, &error);
    if (impl.client == nullptr) {
        status = std::string("avahi-daemon cannot be reached (") + avahi_strerror(error) +
                 "); not announced";
        avahi_threaded_poll_free(impl.poll);
        impl.poll = nullptr;
        return false;
    }
    if (avahi_threaded_poll_start(impl.poll) < 0) {
        status = "cannot start the DNS-SD thread; not announced";
        Stop();
        return false;
    }
    const bool running = avahi_client_get_state(impl.client) == AVAHI_CLIENT_S_RUNNING;
    status = running ? "announcing \"" + name + "\" over DNS-SD"
                     : "no avahi-daemon running; announcing \"" + name +
                           "\" once it starts";
    return true;
}

bool DnsSdAnnouncer::WaitAnnounced(std::chrono::milliseconds timeout) {
    std::unique_lock g(m_impl->lock);
    return m_impl->changed.wait_for(g, timeout, [this] {
        return m_impl->state == Impl::State::Announced || m_impl->state == Impl::State::Failed;
    }) && m_impl->state == Impl::State::Announced;
}

std::string DnsSdAnnouncer::Name() const {
    return m_impl->CurrentName();
}

void DnsSdAnnouncer::Stop() {
    Impl& impl = *m_impl;
    if (impl.poll == nullptr)
        return;
    // The poll's thread is joined first; then nothing else calls into the client.
    avahi_threaded_poll_stop(impl.poll);
    if (impl.client != nullptr)
        avahi_client_free(impl.client);  // withdraws the group with it
    impl.client = nullptr;
    impl.group = nullptr;
    avahi_threaded_poll_free(impl.poll);
    impl.poll = nullptr;
    impl.Set(Impl::State::Idle);
}

}  // namespace velquor::remote
