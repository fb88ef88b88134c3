#include "cli_platform.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>

#include "cli_text.h"
#include "link/device_list.h"

namespace velquor::cli::platform {

bool IsFolder(const std::string& path) {
    struct stat node {};
    return stat(path.c_str(), &node) == 0 && S_ISDIR(node.st_mode);
}

bool PathTaken(const std::string& path) {
    struct stat node {};
    return lstat(path.c_str(), &node) == 0;
}

bool DeviceGone(const std::string& path) {
    struct stat node {};
    return stat(path.c_str(), &node) != 0 && errno == ENOENT;
}

std::filesystem::path NativePath(const std::string& path) {
    return path;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

std::string NothingListedText(std::size_t ftdiDevices, bool every) {
    if (ftdiDevices > 0)
        return "no meter found; " +
               CountText(static_cast<long long>(ftdiDevices), "other FTDI device",
                         "other FTDI devices") +
               " ('velquor-cli list --all' shows them): a meter names itself \"" +
               kMeterDescription + "\"";
    return std::string(every ? "no FTDI device found" : "no meter found") +
           ": check that it is plugged in ('lsusb -d 0403:' lists it) and that the kernel's "
           "ftdi_sio driver made it a /dev/ttyUSB port (README: 'Using a real meter')";
}

void KeepFileSizeLimitAnError() {
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace velquor::cli::platform
