#include "logging/save_rate.h"

#include <limits>

#include "logging/log_messages.h"
#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

namespace {

// Any finite number gets past the parse; the range is checked on its own below.
constexpr double kAnyNumber = std::numeric_limits<double>::max();

}  // namespace

int SaveRateSecondsToMs(float seconds) {
    return RoundHalfDown(static_cast<double>(seconds) * 1000.0);
}

SaveRate ParseSaveRate(std::string_view text) {
    SaveRate rate;
    // The whole text must be one number (a comma counts as the decimal point); the
    // range is checked on the rounded period below, as the messages have it.
    std::string error;
    const auto seconds = ParseUserNumber(text, {"File save rate", -kAnyNumber, kAnyNumber}, error);
    if (!seconds) {
        rate.check = SaveRateCheck::NotANumber;
        return rate;
    }
    rate.periodMs = SaveRateSecondsToMs(static_cast<float>(*seconds));
    if (rate.periodMs < kMinSavePeriodMs)
        rate.check = SaveRateCheck::TooShort;
    else if (rate.periodMs > kMaxSavePeriodMs)
        rate.check = SaveRateCheck::TooLong;
    else
        rate.check = SaveRateCheck::Ok;
    return rate;
}

const char* SaveRateMessage(SaveRateCheck check) {
    switch (check) {
        case SaveRateCheck::TooShort:
            return kMsgPeriodTooShort;
        case SaveRateCheck::TooLong:
            return kMsgPeriodTooLong;
        case SaveRateCheck::NotANumber:
            return kMsgPeriodNotANumber;
        case SaveRateCheck::Ok:
            break;
    }
    return "";
}

}  // namespace velquor
