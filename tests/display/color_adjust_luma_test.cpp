#include "display/color_adjust_luma.h"

#include <gtest/gtest.h>

namespace velquor {
namespace {

struct HlsCase {
    RgbColor rgb;
    HlsColor hls;
};

// Worked through by hand with the integer HLS formulas (rounding by adding half the divisor).
const HlsCase kHlsCases[] = {
    {{200, 200, 240}, {160, 207, 137}},  // the slider thumb's base colour
    {{255, 0, 0}, {0, 120, 240}},
    {{0, 255, 0}, {80, 120, 240}},
    {{0, 0, 255}, {160, 120, 240}},
    {{128, 128, 128}, {160, 120, 0}},  // grey: no saturation, undefined hue
    {{255, 255, 255}, {160, 240, 0}},
    {{0, 0, 0}, {160, 0, 0}},
};

TEST(ColorRgbToHls, MatchesHandComputedValues) {
    for (const auto& c : kHlsCases) {
        SCOPED_TRACE(testing::Message() << c.rgb.r << "," << c.rgb.g << "," << c.rgb.b);
        EXPECT_EQ(ColorRGBToHLS(c.rgb), c.hls);
    }
}

TEST(ColorHlsToRgb, PrimariesAndGreysSurviveTheRoundTrip) {
    for (const auto& c : kHlsCases) {
        if (c.rgb == RgbColor{200, 200, 240})
            continue;  // not exactly representable on the 240 scale
        EXPECT_EQ(ColorHLSToRGB(c.hls), c.rgb);
    }
}

struct LumaCase {
    RgbColor in;
    int n;
    bool scale;
    RgbColor out;
};

const LumaCase kLumaCases[] = {
    // Slider colours: L 207 -> 207 + 33 * 0.5 = 223 (light) and 207 - 68 = 139 (dark).
    {{200, 200, 240}, 500, true, {226, 226, 248}},
    {{200, 200, 240}, -333, true, {86, 86, 209}},
    // Grey L 120: +500 -> 180 -> 191; -333 -> 81 -> 86; absolute +100 -> 144 -> 153.
    {{128, 128, 128}, 500, true, {191, 191, 191}},
    {{128, 128, 128}, -333, true, {86, 86, 86}},
    {{128, 128, 128}, 100, false, {153, 153, 153}},
    // Pure red at L 120 lightened half way to white.
    {{255, 0, 0}, 500, true, {255, 128, 128}},
    // The ends of the scale.
    {{200, 200, 240}, 1000, true, {255, 255, 255}},
    {{200, 200, 240}, -1000, true, {0, 0, 0}},
    {{10, 20, 30}, 0, true, {10, 20, 30}},
    // Out-of-range amounts saturate instead of overflowing.
    {{128, 128, 128}, 2'000'000'000, false, {255, 255, 255}},
    {{128, 128, 128}, -2'000'000'000, true, {0, 0, 0}},
};

TEST(ColorAdjustLuma, MatchesHandComputedValues) {
    for (const auto& c : kLumaCases) {
        SCOPED_TRACE(testing::Message() << c.in.r << "," << c.in.g << "," << c.in.b << " n=" << c.n
                                        << " scale=" << c.scale);
        EXPECT_EQ(ColorAdjustLuma(c.in, c.n, c.scale), c.out);
    }
}

TEST(ColorAdjustLuma, KeepsHueAndSaturation) {
    const RgbColor base{200, 200, 240};
    const HlsColor before = ColorRGBToHLS(base);
    const HlsColor light = ColorRGBToHLS(ColorAdjustLuma(base, 500, true));
    const HlsColor dark = ColorRGBToHLS(ColorAdjustLuma(base, -333, true));
    EXPECT_GT(light.l, before.l);
    EXPECT_LT(dark.l, before.l);
    EXPECT_NEAR(light.h, before.h, 2);
    EXPECT_NEAR(dark.h, before.h, 2);
    EXPECT_NEAR(dark.s, before.s, 3);
}

}  // namespace
}  // namespace velquor
