#pragma once

namespace velquor {

// An RGB triple with 0..255 components, as the drawing code specifies its colours.
struct RgbColor {
    int r = 0;
    int g = 0;
    int b = 0;
    friend bool operator==(const RgbColor&, const RgbColor&) = default;
};

}  // namespace velquor
