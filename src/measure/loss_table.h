#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::measure {

// The cable loss the meter can store, in dB.
inline constexpr double kMinTableLossDb = 0.0;
inline constexpr double kMaxTableLossDb = 25.5;
// Far more points than any cable sheet has; bounds what a wrong file can cost.
inline constexpr std::size_t kMaxLossTablePoints = 10000;
// 1 THz: far above any cable sheet, and low enough to count in hertz exactly.
inline constexpr double kMaxTableFrequencyMhz = 1e6;

struct LossPoint {
    double frequency_mhz;
    double loss_db;
    int line;  // 1-based line of the file it came from
};

// Frequency-dependent loss, linearly interpolated between points whose frequencies
// strictly increase.
class LossTable {
public:
    const std::vector<LossPoint>& Points() const { return points_; }
    double MinFrequencyMhz() const { return points_.front().frequency_mhz; }
    double MaxFrequencyMhz() const { return points_.back().frequency_mhz; }

    // The loss at a frequency, or nothing with error saying why (outside the table:
    // the table is never extrapolated).
    std::optional<double> LossAt(double frequency_mhz, std::string& error) const;
    // The loss the meter stores for a frequency, in tenths of a dB: the interpolated
    // loss rounded to 0.1 dB, an exact half down. Computed in whole hertz and
    // micro-dB, so the points' decimals (up to six) are taken exactly and a half is
    // a half, not one of floating point's near misses.
    std::optional<int> LossTenthsAt(double frequency_mhz, std::string& error) const;

private:
    friend struct LossTableParser;
    // The first point above or at the frequency, or nothing outside the table.
    const LossPoint* UpperPoint(double frequency_mhz, std::string& error) const;

    std::vector<LossPoint> points_;
};

struct LossTableParse {
    std::optional<LossTable> table;
    std::string error;   // names the line where there is one
    int error_line = 0;  // 0 when the error is about the whole table
};

// Reads a loss table from text: one "frequency loss" pair per line, MHz and dB,
// separated by a comma or by blanks; '#' starts a comment; blank lines are
// skipped; the first line may be a header of words. A UTF-8 byte-order mark and
// CR LF line ends are taken as a spreadsheet writes them. Stops at the first error.
LossTableParse ParseLossTable(std::string_view text);

}  // namespace velquor::measure
