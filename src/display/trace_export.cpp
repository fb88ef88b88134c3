#include "display/trace_export.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "meter/number_format.h"

namespace velquor {

std::string TraceToCsv(std::span<const double> samples) {
    std::string text = "Second,dBm\r\n";
    for (std::size_t i = 0; i < samples.size(); ++i)
        text += FormatC("%zu,%.2f\r\n", i, samples[i]);
    return text;
}

bool WriteTraceCsv(const std::string& path, std::span<const double> samples, std::string& error) {
    if (path.empty()) {
        error = "No file name given.";
        return false;
    }
    const std::string text = TraceToCsv(samples);
    const std::string temp = path + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "Cannot create " + temp + ": " + std::strerror(errno);
            return false;
        }
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            error = "Cannot write " + temp + ".";
            std::error_code ignored;
            std::filesystem::remove(temp, ignored);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        error = "Cannot save " + path + ": " + ec.message();
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        return false;
    }
    return true;
}

}  // namespace velquor
