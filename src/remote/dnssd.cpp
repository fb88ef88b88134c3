#include "remote/dnssd.h"

namespace velquor::remote {

namespace {

constexpr std::size_t kMaxLabel = 63;
constexpr const char* kModel = "Orvane ViridIrivi RA";

std::string Known(const std::string& serial) {
    return serial.empty() ? std::string("unknown") : serial;
}

}  // namespace

std::string InstanceName(const std::vector<std::string>& serials) {
    const std::string model = kModel;
    if (serials.empty())
        return model;
    if (serials.size() == 1)
        return (model + " " + Known(serials[0])).substr(0, kMaxLabel);
    std::string all = model + " (";
    for (std::size_t i = 0; i < serials.size(); ++i)
        all += (i == 0 ? "" : ", ") + Known(serials[i]);
    all += ")";
    if (all.size() <= kMaxLabel)
        return all;
    const std::string some = model + " (" + Known(serials[0]) + " and " +
                             std::to_string(serials.size() - 1) + " more)";
    return some.substr(0, kMaxLabel);
}

std::vector<ServiceRecord> ServicesFor(const ServedInstrument& served) {
    std::string serials;
    for (std::size_t i = 0; i < served.serials.size(); ++i)
        serials += (i == 0 ? "" : ",") + Known(served.serials[i]);
    std::vector<std::string> identity = {"txtvers=1", "Manufacturer=Orvane",
                                         std::string("Model=") + "ViridIrivi RA"};
    if (!serials.empty())
        identity.push_back("SerialNumber=" + serials);
    if (!served.firmware.empty())
        identity.push_back("FirmwareVersion=" + served.firmware);
    // A TXT string carries at most 255 bytes; a long serial list is cut, not the record.
    for (std::string& t : identity)
        if (t.size() > 255)
            t.resize(255);

    std::vector<ServiceRecord> out;
    const Endpoint& scpi = served.scpi;
    const Endpoint& http = served.http;
    const Endpoint& vxi = served.vxi11;
    if (scpi.port != 0)
        out.push_back({"_scpi-raw._tcp", scpi.address, scpi.port, identity});
    if (http.port != 0) {
        std::vector<std::string> web = identity;
        web.push_back("path=/");
        out.push_back({"_http._tcp", http.address, http.port, web});
        out.push_back({"_lxi._tcp", http.address, http.port, web});
    }
    if (vxi.port != 0)
        out.push_back({"_vxi-11._tcp", vxi.address, vxi.port, identity});
    return out;
}

}  // namespace velquor::remote
