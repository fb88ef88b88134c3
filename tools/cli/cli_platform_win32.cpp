#include "cli_platform.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "cli_text.h"
#include "link/device_list.h"
#include "station/meter_target.h"

namespace velquor::cli::platform {

namespace {

DWORD Attributes(const std::string& path) {
    return GetFileAttributesW(NativePath(path).c_str());
}

}  // namespace

bool IsFolder(const std::string& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathTaken(const std::string& path) {
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool DeviceGone(const std::string& path) {
    return !station::DevicePathPresent(path);
}

std::filesystem::path NativePath(const std::string& path) {
    // A narrow string would be read in the ANSI code page; the arguments are UTF-8.
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
        if (n > 0)
            WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), n, nullptr, nullptr);
        arg.resize(arg.size() - 1);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}

std::string NothingListedText(std::size_t otherPorts, bool every) {
    if (otherPorts > 0)
        return "no meter found; " +
               CountText(static_cast<long long>(otherPorts), "other serial port",
                         "other serial ports") +
               " ('velquor-cli list --all' shows them): a meter names itself \"" +
               kMeterDescription + "\"";
    return std::string(every ? "no serial port found" : "no meter found") +
           ": check that it is plugged in and that Device Manager shows it under Ports "
           "(COM & LPT) as \"USB Serial Port (COMn)\" (the FTDI driver's VCP mode; README.txt)";
}

void KeepFileSizeLimitAnError() {
    // Windows has no file-size signal: a full disk or quota fails the write itself.
}

}  // namespace velquor::cli::platform
