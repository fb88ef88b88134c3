#include "link/serial_driver.h"

// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <devpkey.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <deque>
#include <thread>

#include "link/auto_reset_event.h"
#include "link/com_port_names.h"

namespace velquor {

namespace {

constexpr std::uint32_t kFtdiClock = 3000000;
constexpr std::uint32_t kDefaultWriteTimeoutMs = 1000;
// A read returns after this much silence once bytes came, or after kReadSliceMs
// without any; the slice also bounds how long closing waits for the reader.
constexpr DWORD kReadIntervalMs = 1;
constexpr DWORD kReadSliceMs = 100;
constexpr std::uint16_t kFtdiVendor = 0x0403;
// Bytes held for the link before the oldest are dropped: a stalled worker must not
// grow the buffer without bound (10 s of the meter's fastest stream).
constexpr std::size_t kMaxBuffered = 1 << 20;

constexpr std::array<std::uint32_t, 30> kRates = {
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000,
};

std::wstring Wide(const std::string& text) {
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string Utf8(const wchar_t* text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

std::string RegistryString(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr))
        return {};
    return Utf8(buffer);
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t buffer[64] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD type = 0;
    std::string name;
    if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ)
        name = Utf8(buffer);
    RegCloseKey(key);
    return name;
}

// The COM ports the Ports device class knows, with the USB identity of those on an
// FTDI bridge: the product string as the device reports it (what the meter calls
// itself), its serial number from the instance id, the driver's manufacturer.
std::vector<FtdiTty> SetupApiPorts() {
    std::vector<FtdiTty> ports;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        FtdiTty port;
        std::string name = PortNameOf(set, device);
        if (!ComPortName(name))
            name = PortOfFriendlyName(RegistryString(set, device, SPDRP_FRIENDLYNAME))
                       .value_or(std::string());
        const auto com = ComPortName(name);
        if (!com)
            continue;
        port.name = *com;
        port.number = std::stoi(com->substr(3));
        wchar_t instance[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr)) {
            const auto usb = ParseUsbInstanceId(Utf8(instance));
            if (usb && usb->vid == kFtdiVendor) {
                port.identity.serial = usb->serial;
                DEVPROPTYPE type = 0;
                wchar_t product[256] = {};
                if (SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_BusReportedDeviceDesc,
                                              &type, reinterpret_cast<BYTE*>(product),
                                              sizeof product - sizeof(wchar_t), nullptr, 0) &&
                    type == DEVPROP_TYPE_STRING)
                    port.identity.product = Utf8(product);
                else
                    port.identity.product = RegistryString(set, device, SPDRP_DEVICEDESC);
                port.identity.manufacturer = RegistryString(set, device, SPDRP_MFG);
            }
        }
        ports.push_back(std::move(port));
    }
    SetupDiDestroyDeviceInfoList(set);
    return ports;
}

// Every COM name the serial drivers registered and the device namespace holds:
// ports without a Ports-class device node of their own.
std::vector<std::string> OtherComPorts() {
    std::vector<std::string> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameSize = 256;
            wchar_t data[64] = {};
            DWORD dataSize = sizeof data - sizeof(wchar_t);
            DWORD type = 0;
            if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                              reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS)
                break;
            if (const auto com = type == REG_SZ ? ComPortName(Utf8(data)) : std::nullopt)
                ports.push_back(*com);
        }
        RegCloseKey(key);
    }
    std::vector<wchar_t> names(1 << 16);
    const DWORD n = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
    for (DWORD at = 0; at < n && names[at] != L'\0';) {
        const std::wstring name(&names[at]);
        at += static_cast<DWORD>(name.size()) + 1;
        if (const auto com = ComPortName(Utf8(name.c_str())))
            ports.push_back(*com);
    }
    return ports;
}

// The FTDI bridges first by serial number, then every other COM port by its name
// (serial = "COM5", no description), ordered by port number within each group.
std::vector<FtdiTty> ListComPorts() {
    std::vector<FtdiTty> ports = SetupApiPorts();
    for (const std::string& name : OtherComPorts()) {
        if (std::none_of(ports.begin(), ports.end(),
                         [&](const FtdiTty& p) { return p.name == name; })) {
            FtdiTty port;
            port.name = name;
            port.number = std::stoi(name.substr(3));
            ports.push_back(std::move(port));
        }
    }
    std::stable_sort(ports.begin(), ports.end(), [](const FtdiTty& a, const FtdiTty& b) {
        const bool usbA = !a.identity.serial.empty();
        const bool usbB = !b.identity.serial.empty();
        return usbA != usbB ? usbA : a.number < b.number;
    });
    return ports;
}

std::string ListedSerial(const FtdiTty& port) {
    return port.identity.serial.empty() ? port.name : port.identity.serial;
}

std::string ListedDescription(const FtdiTty& port) {
    return port.identity.serial.empty() ? "serial port without USB identity"
                                        : port.identity.product;
}

}  // namespace

struct CSerialDriver::Port {
    std::mutex lock;
    HANDLE file = INVALID_HANDLE_VALUE;
    // A named mutex per port, held while open: Windows keeps a second opener of a
    // real port out by itself, but not of every port (Wine's are terminals).
    HANDLE claim = nullptr;
    std::string name;  // "COM5"
    UsbIdentity identity;
    bool notify = false;
    // The device went away; the reader has stopped and the handle is closed.
    bool gone = false;
    std::uint32_t writeTimeoutMs = kDefaultWriteTimeoutMs;
    std::deque<std::uint8_t> received;
    CAutoResetEvent rxEvent;
    std::atomic<bool> stopReader{false};
    OVERLAPPED readOverlapped{};
    std::thread reader;

    ~Port() { Release(); }

    // On the reader thread: bounded overlapped reads into `received`. A read never
    // blocks the link worker, which only takes what is buffered.
    void Read() {
        std::uint8_t buffer[4096];
        while (!stopReader.load()) {
            DWORD n = 0;
            ResetEvent(readOverlapped.hEvent);
            BOOL ok = ReadFile(file, buffer, sizeof buffer, &n, &readOverlapped);
            if (!ok && GetLastError() == ERROR_IO_PENDING)
                ok = GetOverlappedResult(file, &readOverlapped, &n, TRUE);
            const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
            if (stopReader.load())
                break;
            if (!ok && !IsLostDeviceError(error)) {
                // A passing line error (a framing error, an overrun): read on, without spinning.
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            std::lock_guard guard(lock);
            if (!ok || (n == 0 && !StillThere())) {
                gone = true;
                notify = false;
                // Wakes the worker, whose next status call reports the loss.
                rxEvent.Set();
                break;
            }
            if (n == 0)
                continue;
            received.insert(received.end(), buffer, buffer + n);
            if (received.size() > kMaxBuffered)
                received.erase(
                    received.begin(),
                    received.begin() + static_cast<std::ptrdiff_t>(received.size() - kMaxBuffered));
            rxEvent.Set();
        }
    }

    // A terminal behind a Wine COM port that hung up reads as silence; the port's
    // status call is what fails then, as it does for an unplugged bridge.
    bool StillThere() {
        DWORD errors = 0;
        COMSTAT status{};
        return ClearCommError(file, &errors, &status) || !IsLostDeviceError(GetLastError());
    }

    void StopReader() {
        stopReader = true;
        if (file != INVALID_HANDLE_VALUE)
            CancelIoEx(file, &readOverlapped);
        if (reader.joinable())
            reader.join();
    }

    void Release() {
        StopReader();
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        if (readOverlapped.hEvent != nullptr)
            CloseHandle(readOverlapped.hEvent);
        readOverlapped.hEvent = nullptr;
        if (claim != nullptr)
            CloseHandle(claim);
        claim = nullptr;
    }
};

CSerialDriver::CSerialDriver(SerialPaths paths) : m_paths(std::move(paths)) {}

CSerialDriver::~CSerialDriver() {
    std::map<FT_HANDLE, std::shared_ptr<Port>> ports;
    {
        std::lock_guard lock(m_lock);
        ports.swap(m_ports);
    }
    for (auto& [handle, port] : ports)
        port->Release();
}

std::string CSerialDriver::LastError() const {
    std::lock_guard lock(m_lock);
    return m_lastError;
}

std::uint32_t CSerialDriver::NearestStandardBaud(std::uint16_t divisor) {
    const double target = divisor == 0 ? kFtdiClock : static_cast<double>(kFtdiClock) / divisor;
    std::uint32_t best = kRates[0];
    double bestError = HUGE_VAL;
    for (const std::uint32_t rate : kRates) {
        const double error = std::fabs(std::log(target / rate));
        if (error < bestError) {
            bestError = error;
            best = rate;
        }
    }
    return best;
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
        auto ports = ListComPorts();
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
        m_listed = ListComPorts();
        m_hasListing = true;
    }
    if (index >= m_listed.size())
        return FT_DEVICE_NOT_FOUND;
    const FtdiTty& port = m_listed[index];
    CopyTerminated(bySerial ? ListedSerial(port) : ListedDescription(port), buffer,
                   kListStringSize);
    return FT_OK;
}

// ---- open and close --------------------------------------------------------

FT_STATUS CSerialDriver::FT_OpenEx(const char* name, std::uint32_t flags, FT_HANDLE* handle) {
    if (handle == nullptr || name == nullptr)
        return OpenFailure("no device named", FT_INVALID_PARAMETER);
    *handle = nullptr;
    const std::string text(name);
    auto port = std::make_shared<Port>();
    const auto listed = ListComPorts();
    if (const auto com = ComPortName(text); com && flags == FT_OPEN_BY_SERIAL_NUMBER) {
        port->name = *com;
        for (const FtdiTty& tty : listed) {
            if (tty.name == *com)
                port->identity = tty.identity;
        }
    } else if (flags == FT_OPEN_BY_SERIAL_NUMBER || flags == FT_OPEN_BY_DESCRIPTION) {
        const bool bySerial = flags == FT_OPEN_BY_SERIAL_NUMBER;
        const char* what = bySerial ? "serial number" : "description";
        if (text.empty())
            return OpenFailure(std::string("no ") + what + " given", FT_DEVICE_NOT_FOUND);
        for (const FtdiTty& tty : listed) {
            if (!tty.identity.serial.empty() &&
                (bySerial ? tty.identity.serial : tty.identity.product) == text) {
                port->name = tty.name;
                port->identity = tty.identity;
                break;
            }
        }
        if (port->name.empty())
            return OpenFailure(std::string("no FTDI device with ") + what + " \"" + text + "\"",
                               FT_DEVICE_NOT_FOUND);
    } else {
        return OpenFailure("unsupported open mode", FT_INVALID_PARAMETER);
    }

    // Messages name the port as the user typed it.
    const std::string shown = ComPortName(text) ? text : port->name;
    port->claim = CreateMutexW(nullptr, FALSE, Wide("Local\\velquor.port." + port->name).c_str());
    if (port->claim == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        port->Release();
        return OpenFailure(shown + ": device busy", FT_DEVICE_NOT_OPENED);
    }
    HANDLE file = CreateFileW(Wide(ComPortPath(port->name)).c_str(), GENERIC_READ | GENERIC_WRITE,
                              0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FT_STATUS status = FT_DEVICE_NOT_OPENED;
        const std::string reason = OpenErrorText(GetLastError(), status);
        return OpenFailure(shown + ": " + reason, status);
    }
    port->file = file;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(file, &dcb)) {
        port->Release();
        return OpenFailure(shown + ": not a serial device", FT_DEVICE_NOT_OPENED);
    }
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.BaudRate = 19200;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutConstant = kReadSliceMs;
    timeouts.WriteTotalTimeoutConstant = kDefaultWriteTimeoutMs;
    if (!SetCommState(file, &dcb) || !SetCommTimeouts(file, &timeouts)) {
        const DWORD error = GetLastError();
        port->Release();
        return OpenFailure(
            shown + ": cannot set the line (Windows error " + std::to_string(error) + ")",
            FT_DEVICE_NOT_OPENED);
    }
    // Bytes that piled up before we opened belong to nobody.
    PurgeComm(file, PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);
    port->readOverlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (port->readOverlapped.hEvent == nullptr) {
        port->Release();
        return OpenFailure(shown + ": out of resources", FT_DEVICE_NOT_OPENED);
    }
    Port* raw = port.get();
    port->reader = std::thread([raw] { raw->Read(); });

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
    port->Release();
    return FT_OK;
}

// ---- line settings ---------------------------------------------------------

namespace {

template <typename P, typename F>
FT_STATUS ChangeDcb(P& port, F change) {
    std::lock_guard lock(port.lock);
    if (port.gone)
        return FT_IO_ERROR;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port.file, &dcb))
        return FT_IO_ERROR;
    if (!change(dcb))
        return FT_INVALID_PARAMETER;
    return SetCommState(port.file, &dcb) ? FT_OK : FT_IO_ERROR;
}

}  // namespace

FT_STATUS CSerialDriver::FT_SetDivisor(FT_HANDLE h, std::uint16_t divisor) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    const std::uint32_t baud = NearestStandardBaud(divisor);
    return ChangeDcb(*port, [&](DCB& dcb) {
        dcb.BaudRate = baud;
        return true;
    });
}

FT_STATUS CSerialDriver::FT_SetDataCharacteristics(FT_HANDLE h, std::uint8_t wordLength,
                                                   std::uint8_t stopBits, std::uint8_t parity) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    return ChangeDcb(*port, [&](DCB& dcb) {
        // D2XX values: 7 or 8 bits; stop bits 0 (one) or 2 (two); parity 0..4 in
        // the order Windows uses too (none, odd, even, mark, space).
        if ((wordLength != 7 && wordLength != 8) || (stopBits != 0 && stopBits != 2) ||
            parity > SPACEPARITY)
            return false;
        dcb.ByteSize = wordLength;
        dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.Parity = parity;
        dcb.fParity = parity != NOPARITY;
        return true;
    });
}

FT_STATUS CSerialDriver::FT_SetFlowControl(FT_HANDLE h, std::uint16_t flow, std::uint8_t xon,
                                           std::uint8_t xoff) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    return ChangeDcb(*port, [&](DCB& dcb) {
        constexpr std::uint16_t kNone = 0x0000, kRtsCts = 0x0100, kXonXoff = 0x0400;
        if (flow != kNone && flow != kRtsCts && flow != kXonXoff)
            return false;
        dcb.fOutxCtsFlow = flow == kRtsCts;
        dcb.fRtsControl = flow == kRtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
        dcb.fOutX = dcb.fInX = flow == kXonXoff;
        dcb.XonChar = static_cast<char>(xon);
        dcb.XoffChar = static_cast<char>(xoff);
        return true;
    });
}

FT_STATUS CSerialDriver::ModemLines(FT_HANDLE h, int request, int) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(port->lock);
    if (port->gone)
        return FT_IO_ERROR;
    if (EscapeCommFunction(port->file, static_cast<DWORD>(request)))
        return FT_OK;
    // Lines without modem control (a terminal behind a Wine COM port) have nothing
    // to raise or drop.
    return GetLastError() == ERROR_NOT_SUPPORTED || GetLastError() == ERROR_INVALID_PARAMETER
               ? FT_OK
               : FT_IO_ERROR;
}

FT_STATUS CSerialDriver::FT_SetDtr(FT_HANDLE h) {
    return ModemLines(h, SETDTR, 0);
}
FT_STATUS CSerialDriver::FT_SetRts(FT_HANDLE h) {
    return ModemLines(h, SETRTS, 0);
}
FT_STATUS CSerialDriver::FT_ClrDtr(FT_HANDLE h) {
    return ModemLines(h, CLRDTR, 0);
}
FT_STATUS CSerialDriver::FT_ClrRts(FT_HANDLE h) {
    return ModemLines(h, CLRRTS, 0);
}

FT_STATUS CSerialDriver::FT_SetTimeouts(FT_HANDLE h, std::uint32_t, std::uint32_t writeMs) {
    const auto port = Find(h);
    if (!port)
        return FT_INVALID_HANDLE;
    std::lock_guard lock(port->lock);
    // Reads never block the caller here, so only the write time-out has a use.
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
        return kNoEvent;
    std::lock_guard lock(port->lock);
    return port->notify && !port->gone ? port->rxEvent.Fd() : kNoEvent;
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
    // What came before the loss is still handed out.
    if (port->gone && port->received.empty())
        return FT_IO_ERROR;
    if (rxBytes)
        *rxBytes = static_cast<std::uint32_t>(port->received.size());
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
    const std::size_t n = std::min<std::size_t>(count, port->received.size());
    std::copy_n(port->received.begin(), n, static_cast<std::uint8_t*>(buffer));
    port->received.erase(port->received.begin(),
                         port->received.begin() + static_cast<std::ptrdiff_t>(n));
    if (port->received.empty())
        port->rxEvent.Reset();
    if (returned)
        *returned = static_cast<std::uint32_t>(n);
    return n == 0 && port->gone ? FT_IO_ERROR : FT_OK;
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
    HANDLE file;
    std::uint32_t timeoutMs;
    {
        std::lock_guard lock(port->lock);
        if (port->gone)
            return FT_IO_ERROR;
        file = port->file;
        timeoutMs = port->writeTimeoutMs;
    }
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr)
        return FT_IO_ERROR;
    DWORD done = 0;
    BOOL ok = WriteFile(file, data, length, &done, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, timeoutMs) != WAIT_OBJECT_0)
            CancelIoEx(file, &overlapped);  // the line did not drain within the time-out
        ok = GetOverlappedResult(file, &overlapped, &done, TRUE);
    }
    const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    CloseHandle(overlapped.hEvent);
    if (written)
        *written = done;
    if (!ok && IsLostDeviceError(error) && error != ERROR_OPERATION_ABORTED) {
        std::lock_guard lock(port->lock);
        port->gone = true;
        port->notify = false;
    }
    return ok && done == length ? FT_OK : FT_IO_ERROR;
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
    UsbIdentity identity;
    {
        std::lock_guard lock(port->lock);
        if (port->gone)
            return FT_EEPROM_READ_FAILED;
        identity = port->identity;
    }
    // The FTDI driver exposes the strings the chip reports, which come from its EEPROM.
    if (identity.serial.empty())
        return FT_EEPROM_READ_FAILED;
    const int size = data->StringBufferSize;
    CopyTerminated(identity.manufacturer, data->Manufacturer, size);
    CopyTerminated(identity.serial.substr(0, 2), data->ManufacturerId, size);
    CopyTerminated(identity.product, data->Description, size);
    CopyTerminated(identity.serial, data->SerialNumber, size);
    return FT_OK;
}

}  // namespace velquor
