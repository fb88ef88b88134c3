#include "cli_platform.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>

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

void KeepFileSizeLimitAnError() {
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace velquor::cli::platform
