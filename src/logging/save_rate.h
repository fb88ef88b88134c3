#pragma once

#include <string_view>

namespace velquor {

inline constexpr int kMinSavePeriodMs = 1000;
inline constexpr int kMaxSavePeriodMs = 3600000;

enum class SaveRateCheck { Ok, TooShort, TooLong, NotANumber };

struct SaveRate {
    SaveRateCheck check = SaveRateCheck::NotANumber;
    int periodMs = 0;  // the rounded period, also when it is out of range
};

// Seconds as "%f" reads them (single precision) to milliseconds: truncated, plus
// one when the dropped fraction exceeds one half.
int SaveRateSecondsToMs(float seconds);

// The save-rate edit's text to a period. The whole text must be one number (blanks
// around it aside; a comma is taken as the decimal point), else NotANumber.
SaveRate ParseSaveRate(std::string_view text);

// The message for a refused rate; empty for Ok.
const char* SaveRateMessage(SaveRateCheck check);

}  // namespace velquor
