#pragma once

#include <optional>
#include <string>


namespace velquor {

struct TraceScale {
    double bottom = 0.0;       // dBm at the bottom of the plot
    double top = 50.0;         // dBm at the top of the plot
    double divisor = 50.0001;  // dBm span the 200 plot pixels stand for
};

// How the trace graph chooses its power axis.
enum class TraceScaleMode {
    kClassic,    // the recorder's own rule: data range plus a tenth either side
    kNice,       // ten steps of 1, 2, 2.5 or 5 x 10^n on round values
    kFixed,      // top and bottom typed by the user
    kFitLimits,  // nice steps around the user limits (and the data)
};

struct TraceScaleChoice {
    TraceScaleMode mode = TraceScaleMode::kClassic;
    double fixedBottom = 0.0;
    double fixedTop = 50.0;
    bool operator==(const TraceScaleChoice&) const = default;
};

// The smallest step of 1, 2, 2.5 or 5 x 10^n that covers span in `steps` steps.
double NiceTraceStep(double span, int steps);

// Ten nice steps that hold lo..hi, the data centred on whole steps. A flat or
// nearly flat trace gets at least 0.2 dB so that a constant level sits on a
// labelled line (12.0 -> 11.90..12.10 in 0.02 steps).
TraceScale NiceTraceScale(double lo, double hi);

// Checks a typed fixed scale: both numbers within -200..200 dBm and top above
// bottom. False with a message that names what is wrong; nothing else changes.
bool ParseFixedTraceScale(const std::string& bottomText, const std::string& topText,
                          TraceScaleChoice& choice, std::string& error);

}  // namespace velquor
