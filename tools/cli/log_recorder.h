#pragma once

// What velquor-cli log writes: the station's readings, one row per meter per
// period, in the delimited text format of the window's logger (one file per
// meter) or as CSV (one file for every meter).

#include <cstdint>
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
inline constexpr const char* kCsvHeader =
    "time,meter,power_dbm,power_w,temperature_c,battery,frames,power_dbm_mean,power_dbm_min,"
    "power_dbm_max";
// One meter's row at time utc_us, LF-ended: its latest reading, then how many
// readings came in the period and their linear mean, min and max (empty fields
// when none came).
std::string CsvRow(std::int64_t utc_us, const std::string& meter, const station::Reading& latest,
                   const measure::StatisticsSnapshot& period);

// The file of one meter: "{meter}" in pattern replaced by its name, with every
// character that is not a letter, digit, '.', '-', '_' or '#' written as '_'.
std::string MeterFileName(const std::string& pattern, const std::string& meter);

struct LogRecorderSettings {
    LogFormat format = LogFormat::Text;
    // The text format's options.
    char delimiter = '\t';
    bool includeHeader = true;
    bool includeIndex = true;
};

// One meter as the log sees it.
struct LoggedMeter {
    std::string name;
    std::string serial;  // empty when the identity was not read
    std::string file;    // the text format's file (the CSV file for CSV)
};

// Keeps each meter's latest reading and writes rows on request. The files are
// written a whole row at a time, each row synced. Not thread-safe: one consumer.
class LogRecorder {
public:
    LogRecorder(LogRecorderSettings settings, std::vector<LoggedMeter> meters);

    // Creates (or truncates) the files and writes their first lines. False with a
    // one-line reason.
    bool Open(std::string& error);
    // Takes a reading of the stream. A lost link forgets the meter's reading, so
    // nothing older than the loss is written after it returns.
    void Take(const station::Reading& reading);
    // A meter whose rows stop for good (lost without reconnecting, gone).
    void End(std::size_t meter);
    // One row for every meter that is connected and has a reading, stamped utc_us.
    // False with a one-line reason when a file could not be written.
    bool WriteRows(std::int64_t utc_us, std::string& error);
    // Closes the files; false with the reason when closing reported an error.
    bool Close(std::string& error);

    int Rows(std::size_t meter) const { return m_meters[meter].rows; }
    // The file a meter's rows go to, and the rows written to it.
    const std::string& File(std::size_t meter) const { return m_meters[meter].info.file; }
    int FileRows(std::size_t meter) const;

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

    LogRecorderSettings m_settings;
    std::vector<Meter> m_meters;
    std::vector<std::unique_ptr<CLogFileWriter>> m_writers;
    int m_csvRows = 0;
};

}  // namespace velquor::cli
