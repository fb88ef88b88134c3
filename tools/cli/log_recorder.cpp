#include "log_recorder.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "cli_text.h"
#include "logging/column_info.h"
#include "logging/log_format.h"
#include "measure/power_units.h"
#include "reading_format.h"

namespace velquor::cli {

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string CsvNumber(double value) {
    if (!std::isfinite(value))
        return {};
    char buffer[64];
    // to_chars ignores the locale: '.' under any LC_NUMERIC.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string CsvRow(std::int64_t utc_us, const std::string& meter, const station::Reading& latest,
                   const measure::StatisticsSnapshot& period) {
    std::string row = IsoUtcText(utc_us) + "," + CsvField(meter) + "," +
                      CsvNumber(latest.power_dbm) + "," + CsvNumber(PowerWatts(latest.power_dbm)) +
                      "," + CsvNumber(latest.temperature_c) + "," + CsvNumber(latest.battery) +
                      "," + std::to_string(period.count);
    if (period.count > 0)
        row += "," + CsvNumber(period.mean_dbm) + "," + CsvNumber(period.min_dbm) + "," +
               CsvNumber(period.max_dbm);
    else
        row += ",,,";
    return row + "\n";
}

std::string MeterFileName(const std::string& pattern, const std::string& meter) {
    std::string safe;
    for (const char c : meter) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == '#';
        safe += keep ? c : '_';
    }
    std::string out = pattern;
    for (std::size_t at; (at = out.find("{meter}")) != std::string::npos;)
        out.replace(at, 7, safe);
    return out;
}

LogRecorder::LogRecorder(LogRecorderSettings settings, std::vector<LoggedMeter> meters)
    : m_settings(settings) {
    for (LoggedMeter& m : meters)
        m_meters.push_back(Meter{std::move(m), {}, {}, true, false, 0, nullptr});
}

bool LogRecorder::Open(std::string& error) {
    for (Meter& m : m_meters) {
        // Meters sharing a file (CSV) share its writer.
        for (const Meter& other : m_meters) {
            if (&other != &m && other.writer != nullptr && other.info.file == m.info.file)
                m.writer = other.writer;
        }
        if (m.writer != nullptr)
            continue;
        auto writer = std::make_unique<CLogFileWriter>();
        std::string head;
        if (m_settings.format == LogFormat::Csv) {
            head = std::string(kCsvHeader) + "\n";
        } else {
            head = FormatLogFirstLine(m.info.serial.empty() ? "unknown" : m.info.serial) +
                   FormatLogTitleLine(
                       BuildLogColumns(m_settings.includeHeader, m_settings.includeIndex, nullptr),
                       m_settings.delimiter);
        }
        if (!writer->Open(m.info.file) || !writer->Append(head)) {
            error = "cannot write " + PrintableText(m.info.file) + ": " + writer->Error();
            return false;
        }
        m.writer = writer.get();
        m_writers.push_back(std::move(writer));
    }
    return true;
}

void LogRecorder::Take(const station::Reading& reading) {
    if (reading.meter >= m_meters.size())
        return;
    Meter& m = m_meters[reading.meter];
    switch (reading.kind) {
        case station::ReadingKind::Measurement:
            if (!std::isfinite(reading.power_dbm))
                break;
            m.latest = reading;
            m.period.Add(reading.power_dbm, measure::DbmToMilliwatt(reading.power_dbm),
                         reading.steady_ns);
            break;
        case station::ReadingKind::LinkLost:
            m.connected = false;
            m.latest.reset();
            m.period.Reset();
            break;
        case station::ReadingKind::Reconnected:
            m.connected = true;
            break;
    }
}

void LogRecorder::End(std::size_t meter) {
    m_meters.at(meter).ended = true;
}

bool LogRecorder::WriteRows(std::int64_t utc_us, std::string& error) {
    std::string csv;
    std::vector<Meter*> inCsv;
    for (Meter& m : m_meters) {
        if (m.ended || !m.connected || !m.latest)
            continue;
        if (m_settings.format == LogFormat::Csv) {
            csv += CsvRow(utc_us, m.info.name, *m.latest, m.period.Snapshot());
            m.period.Reset();
            inCsv.push_back(&m);
            continue;
        }
        const std::time_t seconds = static_cast<std::time_t>(utc_us / 1000000);
        const std::string row =
            FormatLogRow(m_settings.includeIndex, m.rows,
                         LogReading{m.latest->power_dbm, m.latest->temperature_c},
                         LocalTimeStamp(seconds), m_settings.delimiter);
        if (!m.writer->Append(row)) {
            error = "cannot write " + PrintableText(m.info.file) + ": " + m.writer->Error();
            return false;
        }
        ++m.rows;
    }
    if (!csv.empty()) {
        // Every meter's row of the period at once: the file never ends inside a period.
        Meter& first = *inCsv.front();
        if (!first.writer->Append(csv)) {
            error = "cannot write " + PrintableText(first.info.file) + ": " + first.writer->Error();
            return false;
        }
        for (Meter* m : inCsv)
            ++m->rows;
        m_csvRows += static_cast<int>(inCsv.size());
    }
    return true;
}

bool LogRecorder::Close(std::string& error) {
    bool ok = true;
    for (const auto& writer : m_writers) {
        if (writer->IsOpen() && !writer->Close() && ok) {
            error = writer->Error();
            ok = false;
        }
    }
    return ok;
}

int LogRecorder::FileRows(std::size_t meter) const {
    return m_settings.format == LogFormat::Csv ? m_csvRows : m_meters.at(meter).rows;
}

}  // namespace velquor::cli
