#include "logging/log_format.h"

#include "measure/power_units.h"
#include "meter/number_format.h"
#include "meter/platform_io.h"
#include "meter/unit_state.h"

namespace velquor {

LogTimeStamp FailedLocalTime() {
    return LogTimeStamp{-1, -1, -1, 0, 0, 0};
}

LogTimeStamp LocalTimeStamp(std::time_t t) {
    std::tm parts{};
    if (!platform::LocalTime(t, parts))
        return FailedLocalTime();
    return LogTimeStamp{parts.tm_hour,    parts.tm_min,  parts.tm_sec,
                        parts.tm_mon + 1, parts.tm_mday, parts.tm_year + 1900};
}

std::string TwoDigits(int value) {
    return value < 10 ? FormatC("0%d", value) : FormatC("%d", value);
}

std::string FormatLogFirstLine(const std::string& serialNumber) {
    return FormatC("Orvane Virid Irivi RA-Serial Number %s",
                   SerialNumberText(serialNumber).c_str()) +
           kLogLineEnd;
}

std::string FormatLogNotes(const measure::MeasureSettings& s) {
    std::string notes;
    const auto line = [&notes](const std::string& text) { notes += "# " + text + kLogLineEnd; };
    if (s.offset_db != 0.0)
        line(FormatC("OFS %+.1f dB: offset_db=%.10g is added to every power below", s.offset_db,
                     s.offset_db));
    if (s.average_count > 1)
        line(
            FormatC("AVG %d: every power below is the moving average of the last %d readings, "
                    "in linear power",
                    s.average_count, s.average_count));
    if (s.max_hold)
        line("MAX: every power below is the highest average held (max hold)");
    if (s.relative)
        line(
            FormatC("REL %.2f dBm: the window shows every power below minus this reference, "
                    "in dB",
                    s.reference_dbm));
    return notes;
}

std::string FormatLogNotesChange(const std::string& notes) {
    if (!notes.empty())
        return notes;
    return std::string("# every power below is the meter's reading as it came") + kLogLineEnd;
}

std::string FormatLogTitleLine(const std::vector<CColumnInfo>& columns, char delimiter) {
    if (columns.empty())
        return {};
    std::string line;
    for (const CColumnInfo& column : columns) {
        line += column.m_strHeading;
        line += delimiter;
    }
    return line + kLogLineEnd;
}

std::string FormatLogRow(bool includeIndex, int index, const LogReading& reading,
                         const LogTimeStamp& time, char delimiter) {
    std::string row;
    const auto field = [&](const std::string& text) {
        row += text;
        row += delimiter;
    };
    if (includeIndex)
        field(FormatC("%d", index));
    field(FormatC("%3.2f", reading.powerDbm));
    field(FormatC("%3.2f", measure::DbmToUnit(reading.powerDbm, measure::PowerUnit::Watt)));
    field(FormatC("%3.1f/%3.1f", CelsiusToFahrenheit(reading.temperatureC), reading.temperatureC));
    field(FormatC("%s:%s:%s", TwoDigits(time.hour).c_str(), TwoDigits(time.minute).c_str(),
                  TwoDigits(time.second).c_str()));
    field(FormatC("%s/%s/%s", TwoDigits(time.month).c_str(), TwoDigits(time.day).c_str(),
                  FormatC("%d", time.year).c_str()));
    return row + kLogLineEnd;
}

}  // namespace velquor
