#include "link/sysfs_devices.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace velquor {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTtyPrefix = "ttyUSB";

// Port number of "ttyUSB<n>", or -1 for any other name.
int PortNumber(const std::string& name) {
    const std::size_t prefix = std::strlen(kTtyPrefix);
    if (name.size() <= prefix || name.compare(0, prefix, kTtyPrefix) != 0 ||
        name.size() - prefix > 6)
        return -1;
    int n = 0;
    for (std::size_t i = prefix; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

fs::path PortEntry(const std::string& sysfsRoot, const std::string& ttyName) {
    return fs::path(sysfsRoot) / "bus" / "usb-serial" / "devices" / ttyName;
}

bool IsFtdiPort(const fs::path& entry) {
    std::error_code ec;
    const fs::path driver = fs::read_symlink(entry / "driver", ec);
    return !ec && driver.filename() == "ftdi_sio";
}

}  // namespace

std::optional<std::string> ReadAttribute(const std::string& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text(maxBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(maxBytes));
    if (in.bad())
        return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

void CopyTerminated(const std::string& text, char* buffer, int size) {
    if (buffer == nullptr || size <= 0)
        return;
    std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    // Never end inside a multi-byte character: back off over continuation bytes and
    // the lead byte they belong to.
    if (n < text.size()) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

std::optional<UsbIdentity> UsbIdentityOfTty(const std::string& sysfsRoot,
                                            const std::string& ttyName) {
    if (ttyName.empty() || ttyName.find('/') != std::string::npos || ttyName[0] == '.')
        return std::nullopt;
    std::error_code ec;
    const fs::path port = fs::canonical(PortEntry(sysfsRoot, ttyName), ec);
    if (ec)
        return std::nullopt;
    const fs::path root = fs::canonical(sysfsRoot, ec);
    if (ec)
        return std::nullopt;
    // The port sits below its USB interface, which sits below the USB device; the
    // device directory is the nearest ancestor that carries idVendor.
    for (fs::path dir = port.parent_path(); dir != root && dir.has_relative_path();
         dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        UsbIdentity identity;
        identity.serial = ReadAttribute((dir / "serial").string()).value_or("");
        identity.product = ReadAttribute((dir / "product").string()).value_or("");
        identity.manufacturer = ReadAttribute((dir / "manufacturer").string()).value_or("");
        return identity;
    }
    return std::nullopt;
}

std::vector<FtdiTty> ListFtdiTtys(const std::string& sysfsRoot) {
    std::vector<FtdiTty> ports;
    std::error_code ec;
    const fs::path devices = fs::path(sysfsRoot) / "bus" / "usb-serial" / "devices";
    fs::directory_iterator it(devices, ec);
    if (ec)
        return ports;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string name = it->path().filename().string();
        const int number = PortNumber(name);
        if (number < 0 || !IsFtdiPort(it->path()))
            continue;
        // A port unplugged between the listing and this look-up simply drops out.
        const auto identity = UsbIdentityOfTty(sysfsRoot, name);
        if (!identity)
            continue;
        ports.push_back({name, number, *identity});
    }
    std::sort(ports.begin(), ports.end(),
              [](const FtdiTty& a, const FtdiTty& b) { return a.number < b.number; });
    return ports;
}

}  // namespace velquor
