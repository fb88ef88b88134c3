#include "display/trace_export.h"

#include <cerrno>
#include <cstring>
#include <ctime>
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

namespace {

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
    if (path.empty()) {
        error = "No file name given.";
        return false;
    }
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

std::string LimitText(const std::optional<double>& dbm) {
    return dbm ? FormatC("%.2f dBm", *dbm) : std::string("off");
}

}  // namespace

bool WriteTraceCsv(const std::string& path, std::span<const double> samples, std::string& error) {
    return WriteTextFile(path, TraceToCsv(samples), error);
}

std::string IsoUtcMsText(std::int64_t utcMs) {
    const std::int64_t seconds = utcMs >= 0 ? utcMs / 1000 : (utcMs - 999) / 1000;
    const auto ms = static_cast<int>(utcMs - seconds * 1000);
    const auto t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return FormatC("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                   tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
}

std::string TraceConditionsText(const TraceConditions& conditions) {
    const measure::MeasureSettings& s = conditions.settings;
    std::string text = "meter " + (conditions.serial.empty() ? "unknown" : conditions.serial);
    text += "; unit ";
    text += measure::UnitName(s.unit);
    text += FormatC("; offset %+.2f dB", s.offset_db);
    text += s.average_count > 1 ? FormatC("; averaging %d", s.average_count) : "; averaging off";
    text += s.relative ? FormatC("; relative to %.2f dBm", s.reference_dbm) : "; relative off";
    if (s.max_hold)
        text += "; max hold";
    text += "; upper limit " + LimitText(s.limits.upper_dbm);
    text += "; lower limit " + LimitText(s.limits.lower_dbm);
    return text;
}

std::string TraceToCsv(std::span<const double> samples, std::span<const std::int64_t> timesMs,
                       const TraceConditions& conditions) {
    std::string text = "# Velquor trace: " + TraceConditionsText(conditions) + "\r\n";
    if (!samples.empty() && !timesMs.empty())
        text += "# Start: " + IsoUtcMsText(timesMs[0]) + "\r\n";
    text += "Time (UTC),Second,dBm\r\n";
    for (std::size_t i = 0; i < samples.size(); ++i) {
        // A sample without its time still keeps its row; the time is left empty.
        const std::string time = i < timesMs.size() ? IsoUtcMsText(timesMs[i]) : std::string();
        text += time + FormatC(",%zu,%.2f\r\n", i, samples[i]);
    }
    return text;
}

bool WriteTraceCsv(const std::string& path, std::span<const double> samples,
                   std::span<const std::int64_t> timesMs, const TraceConditions& conditions,
                   std::string& error) {
    return WriteTextFile(path, TraceToCsv(samples, timesMs, conditions), error);
}

}  // namespace velquor
