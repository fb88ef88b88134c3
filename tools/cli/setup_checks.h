#pragma once

// The rules of velquor-cli setup that need no meter: which frequencies a unit takes
// and what its cable loss byte holds after a write.

#include <optional>
#include <string>

namespace velquor::cli {

// Frequencies a unit takes, in MHz: from 700 up, or from 150 when it is calibrated
// for low frequency.
inline constexpr int kLowestStandardMhz = 700;
inline constexpr int kLowestLowFrequencyMhz = 150;
inline constexpr int kHighestMhz = 2700;

// Why this unit would not take the frequency, or what --low-frequency could not do
// on it; empty when the setup may go ahead. The message names the range of that
// unit. The unit marks itself as calibrated for low frequency only when told so for
// a frequency below 700 MHz, and no setup clears the mark, so an answer that could
// not take effect is refused, never ignored.
std::string CheckSetupFrequency(double mhz, bool unitLow, std::optional<bool> lowAnswer);

// The cable loss the unit stores for a given one, in dB: tenths, an exact half
// rounded down (1.55 dB is stored as 1.5).
double StoredCableLossDb(double given_db);

// "Cable loss written: 1.5 dB (1.55 dB, to the tenth of a dB the meter stores)";
// table_mhz names the frequency a --loss-table gave the loss at.
std::string CableLossWrittenLine(double given_db, std::optional<int> table_mhz);

}  // namespace velquor::cli
