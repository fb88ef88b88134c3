#include "cli_platform.h"

#include <windows.h>

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

void KeepFileSizeLimitAnError() {
    // Windows has no file-size signal: a full disk or quota fails the write itself.
}

}  // namespace velquor::cli::platform
