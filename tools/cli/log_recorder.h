#pragma once

// What velquor-cli log writes: the station's readings, one row per meter per
// period, in the delimited text format of the window's logger (one file per
// meter) or as CSV (one file for every meter).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logging/log_file_writer.h"
#include "measure/running_statistics.h"
#include "station/reading.h"

namespace velquor::cli {

enum class LogFormat { Text, Csv };

// One CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line
// break, as RFC 4180 has it.
std::string CsvField(std::string_view text);
// A number as C would print it in the "C" locale, with the fewest digits that read
// back to the same value.
std::string CsvNumber(double value);
// The line ahead of the CSV header that names a host-side offset.
std::string CsvOffsetLine(double offsetDb);
inline constexpr const char* kCsvHeader =
    "time,meter,power_dbm,power_w,temperature_c,battery,frames,power_dbm_mean,power_dbm_min,"
    "power_dbm_max";
// One meter's row at time utc_us, LF-ended: its latest reading, then how many
// readings came in the period and their linear mean, min and max (empty fields
// when none came).
std::string CsvRow(std::int64_t utc_us, const std::string& meter, const station::Reading& latest,
                   const measure::StatisticsSnapshot& period);

// When a CSV row was measured: the UTC time in its time column, and the monotonic
// time of the same reading.
struct RowTime {
    std::int64_t utc_us = 0;
    std::int64_t steady_ns = 0;
};
// The time of the next CSV row, whose reading was stamped utc_us and steady_ns: that
// UTC time, but never before the row above. After the wall clock was stepped back
// the times run on from the row above at the pace of the monotonic clock, until the
// wall clock passes them again; a step forward shows as a jump.
RowTime NextRowTime(const std::optional<RowTime>& above, std::int64_t utc_us,
                    std::int64_t steady_ns);

// The file of one meter: "{meter}" in pattern replaced by its name, with every
// character that is not a letter, digit, '.', '-', '_' or '#' written as '_'.
std::string MeterFileName(const std::string& pattern, const std::string& meter);

struct LogRecorderSettings {
    LogFormat format = LogFormat::Text;
    // The text format's options.
    char delimiter = '\t';
    bool includeHeader = true;
    bool includeIndex = true;
    // Added to every power before it is written (CSV only); when set, the CSV file's
    // first line names it: "# OFS +30.0 dB ...".
    std::optional<double> offsetDb;
};

// One meter as the log sees it.
struct LoggedMeter {
    std::string name;
    std::string serial;  // empty when the identity was not read
    std::string file;    // the text format's file (the CSV file for CSV)
};

// Keeps each meter's latest reading and writes rows on request. The files are
// written a whole row at a time, each row synced. A file that cannot be written
// ends the rows of its meters; the other files go on. Not thread-safe: one consumer.
class LogRecorder {
public:
    // Makes each file's writer (a plain CLogFileWriter unless given).
    using WriterFactory = std::function<std::unique_ptr<CLogFileWriter>()>;
    LogRecorder(LogRecorderSettings settings, std::vector<LoggedMeter> meters,
                WriterFactory makeWriter = {});

    // Creates (or truncates) the files and writes their first lines. False with a
    // one-line reason.
    bool Open(std::string& error);
    // Takes a reading of the stream. A lost link forgets the meter's reading, so
    // nothing older than the loss is written after it returns.
    void Take(const station::Reading& reading);
    // A meter whose rows stop for good (lost without reconnecting, gone).
    void End(std::size_t meter);
    // The text format: one row for every meter that is connected and has a reading,
    // stamped utc_us (the time of writing, as the window's log has it). CSV: one row
    // for every connected meter that sent readings in the period, in the order of
    // their latest readings and stamped with their times (NextRowTime). False when a
    // file could not be written (FileError says why).
    bool WriteRows(std::int64_t utc_us);
    // Closes the files; false when closing one reported an error (FileError).
    bool Close();

    int Rows(std::size_t meter) const { return m_meters[meter].rows; }
    // The file a meter's rows go to, and the rows written to it.
    const std::string& File(std::size_t meter) const { return m_meters[meter].info.file; }
    int FileRows(std::size_t meter) const;
    // Why the meter's file could not be written; empty while it can.
    std::string FileError(std::size_t meter) const;

private:
    struct Meter {
        LoggedMeter info;
        std::optional<station::Reading> latest;
        measure::RunningStatistics period;
        bool connected = true;
        bool ended = false;
        int rows = 0;
        CLogFileWriter* writer = nullptr;
    };

    bool WriteCsvRows();

    LogRecorderSettings m_settings;
    std::vector<Meter> m_meters;
    WriterFactory m_makeWriter;
    std::vector<std::unique_ptr<CLogFileWriter>> m_writers;
    int m_csvRows = 0;
    std::optional<RowTime> m_lastCsvRow;
};

}  // namespace velquor::cli
