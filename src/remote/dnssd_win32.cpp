// Windows has its own DNS-SD service (DnsServiceRegister); the program does not use
// it yet, so nothing is announced there and the caller is told so.
#include "remote/dnssd.h"

namespace velquor::remote {

struct DnsSdAnnouncer::Impl {
    std::string name;
};

DnsSdAnnouncer::DnsSdAnnouncer() : m_impl(std::make_unique<Impl>()) {}
DnsSdAnnouncer::~DnsSdAnnouncer() = default;

bool DnsSdAnnouncer::Start(const std::string& name, const std::vector<ServiceRecord>&,
                           std::string& status) {
    m_impl->name = name;
    status = "DNS-SD announcements are not supported on Windows; not announced";
    return false;
}

bool DnsSdAnnouncer::WaitAnnounced(std::chrono::milliseconds) {
    return false;
}

std::string DnsSdAnnouncer::Name() const {
    return m_impl->name;
}

void DnsSdAnnouncer::Stop() {}

}  // namespace velquor::remote
