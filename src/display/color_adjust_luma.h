#pragma once

#include "display/rgb_color.h"

namespace velquor {

// Hue, luminance and saturation on the 0..240 integer scale of the classic HLS model.
inline constexpr int kHlsMax = 240;

struct HlsColor {
    int h = 0;
    int l = 0;
    int s = 0;
    friend bool operator==(const HlsColor&, const HlsColor&) = default;
};

// Integer conversions of the classic HLS algorithm with every division rounded to nearest.
// A grey has saturation 0 and the undefined hue 160.
HlsColor ColorRGBToHLS(RgbColor rgb);
RgbColor ColorHLSToRGB(HlsColor hls);

// Lighter (n > 0) or darker (n < 0) by n thousandths. With scale, the change is relative:
// towards white by n/1000 of the remaining distance, or towards black by n/1000 of the
// current luminance. Without scale, n/1000 of the full luminance range is added. Hue and
// saturation are kept; n == 0 returns the colour unchanged.
RgbColor ColorAdjustLuma(RgbColor rgb, int n, bool scale);

}  // namespace velquor
