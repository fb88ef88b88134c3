#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "logging/column_info.h"
#include "logging/log_source.h"
#include "measure/measure_settings.h"
#include "meter/reading_conversions.h"

namespace velquor {

// Local wall-clock parts of a row: hour 0-23, month 1-12, four-digit year.
struct LogTimeStamp {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int month = 0;
    int day = 0;
    int year = 0;
};

// The parts written when the local-time conversion fails: -1 for the time, 0 for
// the date.
LogTimeStamp FailedLocalTime();

// The local time of t, or FailedLocalTime() when the conversion fails.
LogTimeStamp LocalTimeStamp(std::time_t t);

// "%d", or "0%d" below 10 (so -1 gives "0-1").
std::string TwoDigits(int value);

// Every line ends with CR LF.
inline constexpr const char* kLogLineEnd = "\r\n";

// Line 1; an empty serial number (not read) is written "unknown".
std::string FormatLogFirstLine(const std::string& serialNumber);

// The lines that name what the measurement math applied to the powers, in the
// order it applies them ("# OFS +2.5 dB: offset_db=2.5 is added to every power
// below", then AVG, MAX and REL), each ending in CR LF; empty for plain readings.
std::string FormatLogNotes(const measure::MeasureSettings& settings);
// What a running log writes when the notes change before its next row: the new
// notes, or a line saying that the powers are plain again.
std::string FormatLogNotesChange(const std::string& notes);

// Each column's heading followed by the delimiter, then CR LF; empty when there
// are no columns (no title line).
std::string FormatLogTitleLine(const std::vector<CColumnInfo>& columns, char delimiter);

// One whole row, each field followed by the delimiter, then CR LF.
std::string FormatLogRow(bool includeIndex, int index, const LogReading& reading,
                         const LogTimeStamp& time, char delimiter);

}  // namespace velquor
