#include "setup_checks.h"

#include <cmath>

#include "meter/number_format.h"
#include "meter/unit_parameters.h"

namespace velquor::cli {

std::string CheckSetupFrequency(double mhz, bool unitLow, std::optional<bool> lowAnswer) {
    const bool answeredYes = lowAnswer && *lowAnswer;
    // Told yes, the unit is taken for one calibrated for low frequency.
    const char* kind = unitLow || answeredYes ? "calibrated" : "not calibrated";
    if (mhz < kLowestLowFrequencyMhz || mhz > kHighestMhz) {
        // No unit takes it; name the range this one has (or would have, told yes).
        const int lowest = unitLow || answeredYes ? kLowestLowFrequencyMhz : kLowestStandardMhz;
        return FormatC(
            "--frequency: %.10g MHz is out of range for a unit %s for low frequency; enter a "
            "whole number from %d to %d MHz",
            mhz, kind, lowest, kHighestMhz);
    }
    const bool below = mhz < kLowestStandardMhz;
    if (answeredYes && !unitLow && !below)
        return FormatC(
            "--low-frequency yes marks a unit as calibrated for low frequency only "
            "with a frequency below %d MHz, not %.10g MHz",
            kLowestStandardMhz, mhz);
    if (lowAnswer && !*lowAnswer && unitLow)
        return "--low-frequency no: the unit is marked as calibrated for low frequency, and a "
               "setup cannot clear the mark";
    if (below && !unitLow && !answeredYes)
        return FormatC(
            "--frequency: %.10g MHz is out of range for a unit not calibrated for low "
            "frequency; enter a whole number from %d to %d MHz, or give "
            "--low-frequency yes if the unit is calibrated from %d MHz",
            mhz, kLowestStandardMhz, kHighestMhz, kLowestLowFrequencyMhz);
    return {};
}

double StoredCableLossDb(double given_db) {
    return EncodeCableLoss(given_db) / 10.0;
}

std::string CableLossWrittenLine(double given_db, std::optional<int> table_mhz) {
    const double stored = StoredCableLossDb(given_db);
    std::string line = FormatC("Cable loss written: %.1f dB", stored);
    const bool rounded = std::abs(stored - given_db) > 1e-9;
    if (table_mhz && rounded)
        return line + FormatC(
                          " (the loss table's %.10g dB at %d MHz, to the tenth of a dB "
                          "the meter stores)",
                          given_db, *table_mhz);
    if (table_mhz)
        return line + FormatC(" (the loss table's at %d MHz)", *table_mhz);
    if (rounded)
        return line + FormatC(" (%.10g dB, to the tenth of a dB the meter stores)", given_db);
    return line;
}

}  // namespace velquor::cli
