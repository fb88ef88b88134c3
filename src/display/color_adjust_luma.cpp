#include "display/color_adjust_luma.h"

#include <algorithm>

namespace velquor {
namespace {

constexpr int kRgbMax = 255;
constexpr int kHueUndefined = kHlsMax * 2 / 3;

int ClampByte(int v) {
    return std::clamp(v, 0, kRgbMax);
}

int HueToRgb(int n1, int n2, int hue) {
    if (hue < 0)
        hue += kHlsMax;
    if (hue > kHlsMax)
        hue -= kHlsMax;
    if (hue < kHlsMax / 6)
        return n1 + (((n2 - n1) * hue + kHlsMax / 12) / (kHlsMax / 6));
    if (hue < kHlsMax / 2)
        return n2;
    if (hue < kHlsMax * 2 / 3)
        return n1 + (((n2 - n1) * (kHlsMax * 2 / 3 - hue) + kHlsMax / 12) / (kHlsMax / 6));
    return n1;
}

}  // namespace

HlsColor ColorRGBToHLS(RgbColor rgb) {
    const int r = ClampByte(rgb.r);
    const int g = ClampByte(rgb.g);
    const int b = ClampByte(rgb.b);
    const int cMax = std::max({r, g, b});
    const int cMin = std::min({r, g, b});

    HlsColor hls;
    hls.l = ((cMax + cMin) * kHlsMax + kRgbMax) / (2 * kRgbMax);
    if (cMax == cMin) {
        hls.s = 0;
        hls.h = kHueUndefined;
        return hls;
    }
    const int range = cMax - cMin;
    if (hls.l <= kHlsMax / 2)
        hls.s = (range * kHlsMax + (cMax + cMin) / 2) / (cMax + cMin);
    else
        hls.s = (range * kHlsMax + (2 * kRgbMax - cMax - cMin) / 2) / (2 * kRgbMax - cMax - cMin);

    const int rDelta = ((cMax - r) * (kHlsMax / 6) + range / 2) / range;
    const int gDelta = ((cMax - g) * (kHlsMax / 6) + range / 2) / range;
    const int bDelta = ((cMax - b) * (kHlsMax / 6) + range / 2) / range;
    if (r == cMax)
        hls.h = bDelta - gDelta;
    else if (g == cMax)
        hls.h = kHlsMax / 3 + rDelta - bDelta;
    else
        hls.h = kHlsMax * 2 / 3 + gDelta - rDelta;
    if (hls.h < 0)
        hls.h += kHlsMax;
    if (hls.h > kHlsMax)
        hls.h -= kHlsMax;
    return hls;
}

RgbColor ColorHLSToRGB(HlsColor hls) {
    const int l = std::clamp(hls.l, 0, kHlsMax);
    const int s = std::clamp(hls.s, 0, kHlsMax);
    if (s == 0) {
        const int v = (l * kRgbMax + kHlsMax / 2) / kHlsMax;
        return {v, v, v};
    }
    const int magic2 = l <= kHlsMax / 2 ? (l * (kHlsMax + s) + kHlsMax / 2) / kHlsMax
                                        : l + s - (l * s + kHlsMax / 2) / kHlsMax;
    const int magic1 = 2 * l - magic2;
    auto channel = [&](int hue) {
        return ClampByte((HueToRgb(magic1, magic2, hue) * kRgbMax + kHlsMax / 2) / kHlsMax);
    };
    return {channel(hls.h + kHlsMax / 3), channel(hls.h), channel(hls.h - kHlsMax / 3)};
}

RgbColor ColorAdjustLuma(RgbColor rgb, int n, bool scale) {
    if (n == 0)
        return rgb;
    HlsColor hls = ColorRGBToHLS(rgb);
    // Parts per thousand; clamp first so a huge n cannot overflow the products below.
    n = std::clamp(n, -1000, 1000);
    if (!scale)
        hls.l += n * kHlsMax / 1000;
    else if (n > 0)
        hls.l += (kHlsMax - hls.l) * n / 1000;
    else
        hls.l += hls.l * n / 1000;
    hls.l = std::clamp(hls.l, 0, kHlsMax);
    return ColorHLSToRGB(hls);
}

}  // namespace velquor
