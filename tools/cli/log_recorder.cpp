#include "log_recorder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

#include "cli_text.h"
#include "logging/column_info.h"
#include "logging/log_format.h"
#include "measure/power_units.h"
#include "meter/number_format.h"
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

std::string CsvOffsetLine(double offsetDb) {
    return FormatC("# OFS %+.1f dB: offset_db=", offsetDb) + CsvNumber(offsetDb) +
           " is added to every power in this file\n";
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

RowTime NextRowTime(const std::optional<RowTime>& above, std::int64_t utc_us,
                    std::int64_t steady_ns) {
    if (!above || utc_us >= above->utc_us)
        return {utc_us, steady_ns};
    const std::int64_t since_ns = std::max<std::int64_t>(steady_ns - above->steady_ns, 0);
    return {above->utc_us + since_ns / 1000, std::max(steady_ns, above->steady_ns)};
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

LogRecorder::LogRecorder(LogRecorderSettings settings, std::vector<LoggedMeter> meters,
                         WriterFactory makeWriter)
    : m_settings(settings), m_makeWriter(std::move(makeWriter)) {
    for (LoggedMeter& m : meters)
        m_meters.push_back(Meter{std::move(m), {}, {}, true, false, 0, nullptr});
    if (!m_makeWriter)
        m_makeWriter = [] { return std::make_unique<CLogFileWriter>(); };
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
        std::unique_ptr<CLogFileWriter> writer = m_makeWriter();
        std::string head;
        if (m_settings.format == LogFormat::Csv) {
            head = (m_settings.offsetDb ? CsvOffsetLine(*m_settings.offsetDb) : std::string()) +
                   kCsvHeader + "\n";
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
        case station::ReadingKind::Measurement: {
            if (!std::isfinite(reading.power_dbm))
                break;
            station::Reading r = reading;
            r.power_dbm += m_settings.offsetDb.value_or(0.0);
            m.latest = r;
            m.period.Add(r.power_dbm, measure::DbmToMilliwatt(r.power_dbm), r.steady_ns);
            break;
        }
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

bool LogRecorder::WriteRows(std::int64_t utc_us) {
    if (m_settings.format == LogFormat::Csv)
        return WriteCsvRows();
    bool ok = true;
    for (Meter& m : m_meters) {
        if (m.ended || !m.connected || !m.latest || m.writer->Failed())
            continue;
        const std::time_t seconds = static_cast<std::time_t>(utc_us / 1000000);
        const std::string row =
            FormatLogRow(m_settings.includeIndex, m.rows,
                         LogReading{m.latest->power_dbm, m.latest->temperature_c},
                         LocalTimeStamp(seconds), m_settings.delimiter);
        if (!m.writer->Append(row)) {
            ok = false;
            continue;
        }
        ++m.rows;
    }
    return ok;
}

bool LogRecorder::WriteCsvRows() {
    std::vector<Meter*> due;
    for (Meter& m : m_meters) {
        if (!m.ended && m.connected && m.latest && m.period.Snapshot().count > 0)
            due.push_back(&m);
    }
    if (due.empty() || due.front()->writer->Failed())
        return due.empty();
    std::stable_sort(due.begin(), due.end(), [](const Meter* a, const Meter* b) {
        return a->latest->steady_ns < b->latest->steady_ns;
    });
    // Every meter's row of the period at once: the file never ends inside a period.
    std::string csv;
    std::optional<RowTime> last = m_lastCsvRow;
    for (Meter* m : due) {
        last = NextRowTime(last, m->latest->utc_us, m->latest->steady_ns);
        csv += CsvRow(last->utc_us, m->info.name, *m->latest, m->period.Snapshot());
    }
    if (!due.front()->writer->Append(csv))
        return false;
    m_lastCsvRow = last;
    for (Meter* m : due) {
        m->period.Reset();
        ++m->rows;
    }
    m_csvRows += static_cast<int>(due.size());
    return true;
}

bool LogRecorder::Close() {
    bool ok = true;
    for (const auto& writer : m_writers) {
        if (writer->IsOpen() && !writer->Close())
            ok = false;
    }
    return ok;
}

int LogRecorder::FileRows(std::size_t meter) const {
    return m_settings.format == LogFormat::Csv ? m_csvRows : m_meters.at(meter).rows;
}

std::string LogRecorder::FileError(std::size_t meter) const {
    const CLogFileWriter* writer = m_meters.at(meter).writer;
    return writer != nullptr && writer->Failed() ? writer->Error() : std::string();
}

}  // namespace velquor::cli
