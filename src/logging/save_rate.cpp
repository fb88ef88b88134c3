#include "logging/save_rate.h"

#include <vector>

#include "logging/log_messages.h"
#include "meter/number_format.h"
#include "meter/round_half_down.h"

namespace velquor {

int SaveRateSecondsToMs(float seconds) {
    return RoundHalfDown(static_cast<double>(seconds) * 1000.0);
}

SaveRate ParseSaveRate(std::string_view text) {
    std::vector<double> values;
    SaveRate rate;
    if (ScanNumbers(text, "f", values) != 1)
        return rate;
    rate.periodMs = SaveRateSecondsToMs(static_cast<float>(values[0]));
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
        case SaveRateCheck::Ok:
            break;
    }
    return "";
}

}  // namespace velquor
