#include "link/serial_driver.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace velquor {

namespace {

// D2XX line-setting values.
constexpr std::uint8_t kBits7 = 7;
constexpr std::uint8_t kBits8 = 8;
constexpr std::uint8_t kStopBits1 = 0;
constexpr std::uint8_t kStopBits2 = 2;
constexpr std::uint8_t kParityNone = 0;
constexpr std::uint8_t kParityOdd = 1;
constexpr std::uint8_t kParityMark = 3;
constexpr std::uint8_t kParitySpace = 4;
constexpr std::uint16_t kFlowNone = 0x0000;
constexpr std::uint16_t kFlowRtsCts = 0x0100;
constexpr std::uint16_t kFlowXonXoff = 0x0400;

constexpr std::uint32_t kFtdiClock = 3000000;
// Bound on a write when the caller set no write time-out.
constexpr std::uint32_t kDefaultWriteTimeoutMs = 1000;

struct StandardRate {
    speed_t code;
    std::uint32_t baud;
};

constexpr std::array<StandardRate, 30> kRates = {{
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
}};

const StandardRate& NearestRate(std::uint16_t divisor) {
    const double target = divisor == 0 ? kFtdiClock : static_cast<double>(kFtdiClock) / divisor;
    const StandardRate* best = &kRates[0];
    double bestError = INFINITY;
    for (const auto& rate : kRates) {
        // Compare ratios: 5% off at 300 baud matters as much as 5% off at 1 Mbaud.
        const double error = std::fabs(std::log(target / rate.baud));
        if (error < bestError) {
            bestError = error;
            best = &rate;
        }
    }
    return *best;
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

bool HungUp(short revents) {
    return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// revents of a zero-time poll for the given events (0 when poll itself fails).
short PollNow(int fd, short events) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = poll(&p, 1, 0);
    } while (r < 0 && errno == EINTR);
    return r > 0 ? p.revents : 0;
}

// The tty name sysfs knows a node by: its own name, or that of the node a link
// (e.g. /dev/serial/by-id/...) leads to. Empty when it is no USB serial port.
std::string UsbTtyName(const std::string& sysfsRoot, const std::string& path) {
    namespace fs = std::filesystem;
    const std::string own = fs::path(path).filename().string();
    if (UsbIdentityOfTty(sysfsRoot, own))
        return own;
    std::error_code ec;
    const std::string target = fs::canonical(path, ec).filename().string();
    if (!ec && UsbIdentityOfTty(sysfsRoot, target))
        return target;
    return {};
}

}  // namespace

struct CSerialDriver::Port {
    std::mutex lock;
    int fd = -1;
    std::string path;
    std::string ttyName;  // empty for nodes that are no USB serial port
    bool notify = false;
    // The device was unplugged (tty hung up); the descriptor is already closed.
    bool gone = false;
    std::uint32_t writeTimeoutMs = kDefaultWriteTimeoutMs;

    void Release() {
        if (fd < 0)
            return;
        ioctl(fd, TIOCNXCL);
        flock(fd, LOCK_UN);
        close(fd);
        fd = -1;
    }
    void MarkGone() {
        Release();
        gone = true;
        notify = false;
    }
};

namespace {

// Reads, changes and writes back the line settings of an open port.
template <typename P, typename F>
FT_STATUS ChangeTermios(P& port, F change) {
    std::lock_guard lock(port.lock);
    if (port.gone)
        return FT_IO_ERROR;
    termios tio{};
    if (tcgetattr(port.fd, &tio) != 0)
        return FT_IO_ERROR;
    if (!change(tio))
        return FT_INVALID_PARAMETER;
    return tcsetattr(port.fd, TCSANOW, &tio) == 0 ? FT_OK : FT_IO_ERROR;
}

}  // namespace

CSerialDriver::CSerialDriver(SerialPaths paths) : m_paths(std::move(paths)) {}

CSerialDriver::~CSerialDriver() {
    std::lock_guard lock(m_lock);
    for (auto& [handle, port] : m_ports) {
        std::lock_guard portLock(port->lock);
        port->Release();
    }
}

std::string CSerialDriver::LastError() const {
    std::lock_guard lock(m_lock);
    return m_lastError;
}

std::uint32_t CSerialDriver::NearestStandardBaud(std::uint16_t divisor) {
    return NearestRate(divisor).baud;
}

std::shared_ptr<CSerialDriver::Port> CSerialDriver::Find(FT_HANDLE h) {
    std::lock_guard lock(m_lock);
    const auto it = m_ports.find(h);
    return it == m_ports.end() ? nullptr : it->second;
}

FT_STATUS CSerialDriver::OpenFailure(const std::string& reason, FT_STATUS status) {
    std::lock_guard lock(m_lock);
    m_lastError = reason;
    return status;
}

// ---- listing ---------------------------------------------------------------

FT_STATUS CSerialDriver::FT_ListDevices(void* pArg1, void* pArg2, std::uint32_t flags) {
    if (flags == FT_LIST_NUMBER_ONLY) {
        if (pArg1 == nullptr)
            return FT_INVALID_PARAMETER;
        auto ports = ListFtdiTtys(m_paths.sysfsRoot);
        std::lock_guard lock(m_lock);
        m_listed = std::move(ports);
        m_hasListing = true;
        *static_cast<std::uint32_t*>(pArg1) = static_cast<std::uint32_t>(m_listed.size());
        return FT_OK;
    }
    auto* buffer = static_cast<char*>(pArg2);
    const bool bySerial = flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    const bool byDescription = flags == (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    if (buffer == nullptr || !(bySerial || byDescription))
        return FT_INVALID_PARAMETER;
    const auto index = reinterpret_cast<std::uintptr_t>(pArg1);
    std::lock_guard lock(m_lock);
    if (!m_hasListing) {
        m_listed = ListFtdiTtys(m_paths.sysfsRoot);
        m_hasListing = true;
    }
    if (index >= m_listed.size())
        return FT_DEVICE_NOT_FOUND;
    const UsbIdentity& identity = m_listed[index].identity;
    CopyTerminated(bySerial ? identity.serial : identity.product, buffer, kListStringSize);
    return FT_OK;
}

// ---- open and close --------------------------------------------------------

FT_STATUS CSerialDriver::FT_OpenEx(const char* name, std::uint32_t flags, FT_HANDLE* handle) {
    if (handle == nullptr || name == nullptr)
        return OpenFailure("no device named", FT_INVALID_PARAMETER);
    *handle = nullptr;
    const std::string text(name);
    auto port = std::make_shared<Port>();
    if (flags == FT_OPEN_BY_SERIAL_NUMBER && !text.empty() && text[0] == '/') {
        port->path = text;
        port->ttyName = UsbTtyName(m_paths.sysfsRoot, text);
    } else if (flags == FT_OPEN_BY_SERIAL_NUMBER || flags == FT_OPEN_BY_DESCRIPTION) {
        const bool bySerial = flags == FT_OPEN_BY_SERIAL_NUMBER;
        const char* what = bySerial ? "serial number" : "description";
        if (text.empty())
            return OpenFailure(std::string("no ") + what + " given", FT_DEVICE_NOT_FOUND);
        for (const FtdiTty& tty : ListFtdiTtys(m_paths.sysfsRoot)) {
            if ((bySerial ? tty.identity.serial : tty.identity.product) == text) {
                port->ttyName = tty.name;
                port->path = m_paths.devRoot + "/" + tty.name;
                break;
            }
        }
        if (port->path.empty())
            return OpenFailure(std::string("no FTDI device with ") + what + " \"" + text + "\"",
                               FT_DEVICE_NOT_FOUND);
    } else {
        return OpenFailure("unsupported open mode", FT_INVALID_PARAMETER);
    }

    const int fd = open(port->path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        const std::string reason = error == EBUSY ? "device busy" : ErrnoText(error);
        return OpenFailure(port->path + ": " + reason,
                           error == ENOENT ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED);
    }
    port->fd = fd;
    // The lock is what keeps a second program out; TIOCEXCL does not stop root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        const std::string reason = error == EWOULDBLOCK ? "device busy" : ErrnoText(error);
        return OpenFailure(port->path + ": " + reason, FT_DEVICE_NOT_OPENED);
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        const int error = errno;
        flock(fd, LOCK_UN);
        close(fd);
        const std::string reason = error == ENOTTY ? "not a serial device" : ErrnoText(error);
        return OpenFailure(port->path + ": " + reason, FT_DEVICE_NOT_OPENED);
    }
    ioctl(fd, TIOCEXCL);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        const std::string reason = ErrnoText(errno);
        port->Release();
        return OpenFailure(port->path + ": " + reason, FT_DEVICE_NOT_OPENED);
    }
    // Without low latency the FTDI driver holds small packets up to 16 ms; not every
    // tty has the setting (pseudo-terminals refuse it), and it is only a nicety.
    serial_struct serial{};
    if (ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ioctl(fd, TIOCSSERIAL, &serial);
    }
    // Bytes that piled up before we opened belong to nobody.
    tcflush(fd, TCIOFLUSH);

    std::lock_guard lock(m_lock);
    m_lastError.clear();
    *handle = port.get();
    m_ports.emplace(*handle, std::move(port));
    return FT_OK;
}

FT_STATUS CSerialDriver::FT_Close(FT_HANDLE h) {
    std::shared_ptr<Port> port;
    {
        std::lock_guard lock(m_lock);
        const auto it = m_ports.find(h);
        if (it == m_ports.end())
            return FT_INVALID_HANDLE;
        port = std::move(it->second);
        m_ports.erase(it);
    }
    std::lock_guard lock(port->lock);
    port->Release();
    return FT_OK;
}

// ---- line settings ---------------------------------------------------------

FT_STATUS CSerialDriver::FT_SetDivisor(FT_HANDLE h, std::uint16_t divisor) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    const speed_t speed = NearestRate(divisor).code;
    return ChangeTermios(*port, [&](termios& tio) {
        return cfsetispeed(&tio, speed) == 0 && cfsetospeed(&tio, speed) == 0;
    });
}

FT_STATUS CSerialDriver::FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength,
                                                   std::uint8_t stopBits, std::uint8_t parity) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    return ChangeTermios(*port, [&](termios& tio) {
        if ((wordLength != kBits7 && wordLength != kBits8) ||
            (stopBits != kStopBits1 && stopBits != kStopBits2) || parity > kParitySpace)
            return false;
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR);
        tio.c_cflag |= wordLength == kBits8 ? CS8 : CS7;
        if (stopBits == kStopBits2)
            tio.c_cflag |= CSTOPB;
        if (parity != kParityNone)
            tio.c_cflag |= PARENB;
        if (parity == kParityOdd || parity == kParityMark)
            tio.c_cflag |= PARODD;
        if (parity == kParityMark || parity == kParitySpace)
            tio.c_cflag |= CMSPAR;
        return true;
    });
}

FT_STATUS CSerialDriver::FT_SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                           std::uint8_t xoff) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    return ChangeTermios(*port, [&](termios& tio) {
        if (flow != kFlowNone && flow != kFlowRtsCts && flow != kFlowXonXoff)
            return false;  // DTR/DSR flow control has no termios counterpart
        tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
        if (flow == kFlowRtsCts)
            tio.c_cflag |= CRTSCTS;
        if (flow == kFlowXonXoff) {
            tio.c_iflag |= IXON | IXOFF;
            tio.c_cc[VSTART] = static_cast<cc_t>(xon);
            tio.c_cc[VSTOP] = static_cast<cc_t>(xoff);
        }
        return true;
    });
}

FT_STATUS CSerialDriver::ModemLines(FT_HANDLE h, int request, int lines) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(port->lock);
    if (port->gone)
        return FT_IO_ERROR;
    if (ioctl(port->fd, request, &lines) == 0)
        return FT_OK;
    // Lines without modem control (pseudo-terminals) have nothing to raise or drop.
    return errno == ENOTTY || errno == EINVAL ? FT_OK : FT_IO_ERROR;
}

FT_STATUS CSerialDriver::FT_SetDtr(FT_HANDLE h) {
    return ModemLines(h, TIOCMBIS, TIOCM_DTR);
}
FT_STATUS CSerialDriver::FT_SetRts(FT_HANDLE h) {
    return ModemLines(h, TIOCMBIS, TIOCM_RTS);
}
FT_STATUS CSerialDriver::FT_ClrDtr(FT_HANDLE h) {
    return ModemLines(h, TIOCMBIC, TIOCM_DTR);
}
FT_STATUS CSerialDriver::FT_ClrRts(FT_HANDLE h) {
    return ModemLines(h, TIOCMBIC, TIOCM_RTS);
}

FT_STATUS CSerialDriver::FT_SetTimeouts(FT_HANDLE h, std::uint32_t, std::uint32_t writeMs) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(port->lock);
    // Reads never block here, so only the write time-out has a use.
    port->writeTimeoutMs = writeMs == 0 ? kDefaultWriteTimeoutMs : writeMs;
    return FT_OK;
}

FT_STATUS CSerialDriver::FT_SetEventNotification(FT_HANDLE h, std::uint32_t mask) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(port->lock);
    port->notify = !port->gone && (mask & FT_EVENT_RXCHAR) != 0;
    return FT_OK;
}

EventHandle CSerialDriver::RxEventFd(FT_HANDLE h) {
    const auto port = Find(h);
    if (!port)
        return -1;
    std::lock_guard lock(port->lock);
    return port->notify && !port->gone ? port->fd : -1;
}

// ---- data ------------------------------------------------------------------

FT_STATUS CSerialDriver::FT_GetStatus(FT_HANDLE h, std::uint32_t* rxBytes, std::uint32_t* txBytes,
                                      std::uint32_t* eventStatus) {
    if (rxBytes)
        *rxBytes = 0;
    if (txBytes)
        *txBytes = 0;
    if (eventStatus)
        *eventStatus = 0;
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(port->lock);
    if (port->gone)
        return FT_IO_ERROR;
    // An unplugged device's tty is hung up but stays open: poll would report it
    // forever. Hand out what is still buffered, then drop the descriptor.
    const bool hungUp = HungUp(PollNow(port->fd, POLLIN));
    int waiting = 0;
    if (ioctl(port->fd, FIONREAD, &waiting) != 0 || (hungUp && waiting <= 0)) {
        port->MarkGone();
        return FT_IO_ERROR;
    }
    int queued = 0;
    if (txBytes && ioctl(port->fd, TIOCOUTQ, &queued) == 0 && queued > 0)
        *txBytes = static_cast<std::uint32_t>(queued);
    if (rxBytes && waiting > 0)
        *rxBytes = static_cast<std::uint32_t>(waiting);
    return FT_OK;
}

FT_STATUS CSerialDriver::FT_Read(FT_HANDLE h, void* buffer, std::uint32_t count,
                                 std::uint32_t* returned) {
    if (returned)
        *returned = 0;
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    if (buffer == nullptr && count > 0)
        return FT_INVALID_PARAMETER;
    std::lock_guard lock(port->lock);
    if (port->gone)
        return FT_IO_ERROR;
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        const std::size_t want = count - total;
        const ssize_t n = read(port->fd, out + total, want);
        if (n > 0) {
            total += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // With VMIN = VTIME = 0 an empty read means either "nothing waiting" or a
        // hang-up; only poll tells them apart.
        if ((n == 0 || errno == EAGAIN) && !HungUp(PollNow(port->fd, POLLIN)))
            break;
        port->MarkGone();
        break;
    }
    if (returned)
        *returned = total;
    return total == 0 && port->gone ? FT_IO_ERROR : FT_OK;
}

FT_STATUS CSerialDriver::FT_Write(FT_HANDLE h, const void* data, std::uint32_t length,
                                  std::uint32_t* written) {
    if (written)
        *written = 0;
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    if (data == nullptr && length > 0)
        return FT_INVALID_PARAMETER;
    std::lock_guard lock(port->lock);
    if (port->gone)
        return FT_IO_ERROR;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(port->writeTimeoutMs);
    std::uint32_t done = 0;
    FT_STATUS status = FT_OK;
    while (done < length) {
        const ssize_t n = write(port->fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            port->MarkGone();
            status = FT_IO_ERROR;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            status = FT_IO_ERROR;  // the line did not drain within the write time-out
            break;
        }
        pollfd p{port->fd, POLLOUT, 0};
        const int r = poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0 && HungUp(p.revents)) {
            port->MarkGone();
            status = FT_IO_ERROR;
            break;
        }
    }
    if (written)
        *written = done;
    return status;
}

// ---- identity --------------------------------------------------------------

FT_STATUS CSerialDriver::FT_EE_Read(FT_HANDLE h, FT_PROGRAM_DATA* data) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    if (data == nullptr || data->StringBufferSize <= 0 || data->Manufacturer == nullptr ||
        data->ManufacturerId == nullptr || data->Description == nullptr ||
        data->SerialNumber == nullptr)
        return FT_INVALID_PARAMETER;
    std::string ttyName;
    {
        std::lock_guard lock(port->lock);
        if (port->gone)
            return FT_EEPROM_READ_FAILED;
        ttyName = port->ttyName;
    }
    // The kernel exposes the USB strings the chip reports, which come from its EEPROM.
    const auto identity =
        ttyName.empty() ? std::nullopt : UsbIdentityOfTty(m_paths.sysfsRoot, ttyName);
    if (!identity)
        return FT_EEPROM_READ_FAILED;
    const int size = data->StringBufferSize;
    CopyTerminated(identity->manufacturer, data->Manufacturer, size);
    // The manufacturer id is the serial number's prefix; sysfs has no field of its own.
    CopyTerminated(identity->serial.substr(0, 2), data->ManufacturerId, size);
    CopyTerminated(identity->product, data->Description, size);
    CopyTerminated(identity->serial, data->SerialNumber, size);
    return FT_OK;
}

}  // namespace velquor
