#include "display/trace_scale.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "measure/measure_settings.h"
#include "meter/number_format.h"

namespace velquor {

namespace {

constexpr int kSteps = 10;
constexpr double kMinNiceSpan = 0.2;

}  // namespace

double NiceTraceStep(double span, int steps) {
    if (!(span > 0.0) || steps <= 0 || !std::isfinite(span))
        return 1.0;
    const double raw = span / steps;
    double decade = std::pow(10.0, std::floor(std::log10(raw)));
    constexpr std::array<double, 5> kMantissas{1.0, 2.0, 2.5, 5.0, 10.0};
    for (const double m : kMantissas) {
        // A hair of tolerance: 0.2 / 10 must give 0.02, not 0.025.
        if (m * decade >= raw * (1.0 - 1e-9))
            return m * decade;
    }
    return 10.0 * decade;
}

TraceScale NiceTraceScale(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi))
        return TraceScale{};
    if (hi < lo)
        std::swap(lo, hi);
    // Rounding the ends to whole steps can need a step more than the span alone.
    for (double step = NiceTraceStep(std::max(hi - lo, kMinNiceSpan), kSteps);;
         step = NiceTraceStep(step * 1.01, 1)) {
        const double first = std::floor(lo / step + 1e-9);
        const double last = std::ceil(hi / step - 1e-9);
        if (last - first > kSteps)
            continue;
        // Spare steps are shared out, the odd one at the top.
        const double spare = kSteps - (last - first);
        const double bottom = (first - std::floor(spare / 2.0)) * step;
        const double top = bottom + kSteps * step;
        return TraceScale{bottom, top, top - bottom};
    }
}

bool ParseFixedTraceScale(const std::string& bottomText, const std::string& topText,
                          TraceScaleChoice& choice, std::string& error) {
    const NumberField bottomField{"Bottom", measure::kMinPowerDbm, measure::kMaxPowerDbm, false,
                                  "dBm"};
    const NumberField topField{"Top", measure::kMinPowerDbm, measure::kMaxPowerDbm, false, "dBm"};
    const std::optional<double> bottom = ParseUserNumber(bottomText, bottomField, error);
    if (!bottom)
        return false;
    const std::optional<double> top = ParseUserNumber(topText, topField, error);
    if (!top)
        return false;
    if (!(*top > *bottom)) {
        error = FormatC("The top (%.2f dBm) must be above the bottom (%.2f dBm).", *top, *bottom);
        return false;
    }
    choice.mode = TraceScaleMode::kFixed;
    choice.fixedBottom = *bottom;
    choice.fixedTop = *top;
    return true;
}

}  // namespace velquor
