#include "telemetry/password_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velquor::telemetry {

std::optional<std::string> ReadPasswordFile(const std::string& path, std::string& error) {
    constexpr std::size_t kMaxBytes = 4096;
    if (std::error_code ec; std::filesystem::is_directory(path, ec)) {
        error = "the password file " + path + " is a directory";
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text;
    text.resize(kMaxBytes + 1);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxBytes) {
        error = "the password file " + path + " is larger than 4096 bytes";
        return std::nullopt;
    }
    if (const auto end = text.find('\n'); end != std::string::npos)
        text.resize(end);
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.empty()) {
        error = "the password file " + path + " holds no password on its first line";
        return std::nullopt;
    }
    return text;
}

}  // namespace velquor::telemetry
