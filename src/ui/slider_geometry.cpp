#include "ui/slider_geometry.h"

#include <algorithm>
#include <cstdint>

namespace velquor {

int ThumbTravel(int controlWidth) {
    return std::max(0, controlWidth - 2 * kThumbMargin - kThumbItemWidth);
}

ThumbRect ThumbItemRect(int controlWidth, int controlHeight, int min, int max, int pos) {
    int offset = 0;
    if (max > min) {
        const std::int64_t range = static_cast<std::int64_t>(max) - min;
        const std::int64_t p = std::clamp<std::int64_t>(pos, min, max) - min;
        // Nearest pixel; 64-bit so extreme ranges cannot overflow.
        offset = static_cast<int>((p * ThumbTravel(controlWidth) + range / 2) / range);
    }
    const int left = kThumbMargin + offset;
    return {left, 0, left + kThumbItemWidth, controlHeight};
}

int PositionFromThumbLeft(int controlWidth, int min, int max, int thumbLeft) {
    const int travel = ThumbTravel(controlWidth);
    if (max <= min || travel == 0)
        return min;
    const std::int64_t offset = std::clamp(thumbLeft - kThumbMargin, 0, travel);
    const std::int64_t range = static_cast<std::int64_t>(max) - min;
    return static_cast<int>(min + (offset * range + travel / 2) / travel);
}

std::array<SliderPoint, 8> ThumbOctagon(const ThumbRect& r) {
    const int l = r.left, t = r.top, rr = r.right, b = r.bottom;
    return {{{l + 2, t + 1},
             {l, t + 3},
             {l, b - 10},
             {l + 2, b - 8},
             {rr - 7, b - 8},
             {rr - 5, b - 10},
             {rr - 5, t + 3},
             {rr - 7, t + 1}}};
}

bool ThumbHit(const ThumbRect& r, int x, int y) {
    return x >= r.left && x <= r.right - 5 && y >= r.top + 1 && y <= r.bottom - 8;
}

ThumbShade ComputeThumbShade(const ThumbRect& r) {
    ThumbShade s;
    s.width = r.right - r.left - 5;
    s.height = r.bottom - r.top - 9;
    const int w = s.width, h = s.height;
    s.octagon = {{{2, 0}, {0, 2}, {0, h - 2}, {2, h}, {w - 2, h}, {w, h - 2}, {w, 2}, {w - 2, 0}}};
    s.dest = {r.left + 1, r.top + 2};
    s.blendWidth = std::max(0, w - 1);
    s.blendHeight = std::max(0, h - 1);
    return s;
}

int ShadeAlpha(int pos) {
    return std::clamp(pos, 0, 255);
}

SliderPoint PatternOrigin(const ThumbRect& r) {
    return {r.right % 8, r.top % 8};
}

bool CheckerBitAt(int x, int y, SliderPoint origin) {
    const int px = ((x - origin.x) % 8 + 8) % 8;
    const int py = ((y - origin.y) % 8 + 8) % 8;
    return (kCheckerRows[static_cast<std::size_t>(py)] >> (7 - px)) & 1;
}

}  // namespace velquor
