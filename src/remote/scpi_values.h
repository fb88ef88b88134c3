#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/scpi_parser.h"

namespace velquor::remote {

// What SCPI replies when there is no value: its "not a number".
inline constexpr const char* kNotANumber = "9.91E37";

// NR3 as `-1.234000E+01`; kNotANumber for NaN and infinities.
std::string FormatNr3(double value);
void AppendNr3(std::string& out, double value);
// NR1: a plain integer.
std::string FormatNr1(long long value);
// String response data: in double quotes, a quote doubled, bytes outside printable
// ASCII as '?', so a device string cannot break the reply line.
std::string FormatString(std::string_view text);

// The unit family a numeric setting takes; values come back in the base unit.
enum class UnitKind {
    None,       // no suffix allowed
    Frequency,  // Hz: HZ, KHZ, MHZ, GHZ
    Ratio,      // dB: DB
    Level,      // dBm: DBM, or W, MW, UW, NW converted to dBm
};

// A numeric setting's bounds; MIN, MAX and DEF stand for them. No default
// (nullopt) makes DEF an illegal value.
struct NumericBounds {
    double min = 0.0;
    double max = 0.0;
    std::optional<double> def;
    UnitKind unit = UnitKind::None;
    bool whole = false;  // rounded to the nearest integer before the range check
};

// The outcome of converting one parameter: 0 and the value, or an error number
// with a detail for the error queue.
struct Converted {
    int error = 0;
    std::string detail;
};

// Decimal or non-decimal numbers (with a suffix of the bounds's family) and
// MIN/MAX/DEF; anything outside min..max is -222.
Converted ToNumber(const Parameter& param, const NumericBounds& bounds, double& value);
// ON, OFF, or a number (rounded; non-zero is on).
Converted ToBool(const Parameter& param, bool& value);
// One of the mnemonics, each given as its SCPI word ("DBM", "ONCE", "MAXimum").
// index receives its position in the list.
Converted ToChoice(const Parameter& param, std::initializer_list<std::string_view> words,
                   int& index);
// Whether a character parameter is MIN, MAX or DEF (for queries like FREQ? MAX).
enum class Bound { Min, Max, Def };
Converted ToBound(const Parameter& param, Bound& bound);

// Whether a parameter is a channel list: an expression that starts with '@'.
bool IsChannelList(const Parameter& param);
// The channels of "(@1)", "(@1,3)" or "(@1:3)", in the order named. A malformed
// list is -171; one naming more than kMaxListedChannels is -222.
inline constexpr std::size_t kMaxListedChannels = 64;
Converted ToChannelList(const Parameter& param, std::vector<int>& channels);

// Whether `typed` (upper case) is the short or the long form of `word`.
bool MnemonicIs(std::string_view typed, std::string_view word);

}  // namespace velquor::remote
