#pragma once

#include <array>

namespace velquor {

struct SliderPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const SliderPoint&, const SliderPoint&) = default;
};

// A thumb item rectangle in the trackbar's convention: left/top inclusive, right/bottom
// exclusive.
struct ThumbRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const ThumbRect&, const ThumbRect&) = default;
};

// The thumb's item rectangle spans the control's height and this width; the octagon drawn in
// it is 5 pixels narrower. Its left edge runs from kThumbMargin to width - kThumbMargin -
// kThumbItemWidth, which centres the octagon over the channel groove (x 9..85 at 100).
inline constexpr int kThumbItemWidth = 16;
inline constexpr int kThumbMargin = 4;

// Pixels the thumb's left edge can travel in a control of this width (at least 0).
int ThumbTravel(int controlWidth);

// Item rectangle of the thumb at pos (clamped to min..max; min >= max puts it at the start).
ThumbRect ThumbItemRect(int controlWidth, int controlHeight, int min, int max, int pos);

// The position whose thumb left edge is nearest to thumbLeft.
int PositionFromThumbLeft(int controlWidth, int min, int max, int thumbLeft);

// The thumb: the rectangle (L, T + 1) .. (R - 5, B - 8) with each corner cut by 2 pixels.
std::array<SliderPoint, 8> ThumbOctagon(const ThumbRect& r);

// Whether (x, y) lies on the drawn thumb (its bounding box), for hit testing.
bool ThumbHit(const ThumbRect& r, int x, int y);

// Position shading: a W x H octagon (W = R - L - 5, H = B - T - 9), blended from its (1, 1)
// corner onto (L + 1, T + 2) over (W - 1) x (H - 1) pixels at a constant alpha.
struct ThumbShade {
    int width = 0;   // W
    int height = 0;  // H
    std::array<SliderPoint, 8> octagon;
    SliderPoint dest;     // (L + 1, T + 2)
    int blendWidth = 0;   // W - 1
    int blendHeight = 0;  // H - 1
};
ThumbShade ComputeThumbShade(const ThumbRect& r);

// Blend alpha 0..255 for a position: the position itself, limited to the byte range a
// constant alpha can hold (a position above 255 would otherwise wrap around to light).
int ShadeAlpha(int pos);

// Brush origin of the checkerboard: (R mod 8, T mod 8) with C++'s remainder, so negative
// coordinates give negative origins.
SliderPoint PatternOrigin(const ThumbRect& r);

// The 8 x 8 checkerboard: rows alternate 0x55 and 0xAA, bit 7 is the leftmost pixel.
inline constexpr std::array<unsigned char, 8> kCheckerRows = {0x55, 0xAA, 0x55, 0xAA,
                                                              0x55, 0xAA, 0x55, 0xAA};

// True where the pattern bit is set, which a pattern brush paints in the background colour
// (the base colour); clear bits take the text colour (the light colour). The pattern is laid
// from the brush origin.
bool CheckerBitAt(int x, int y, SliderPoint origin);

}  // namespace velquor
