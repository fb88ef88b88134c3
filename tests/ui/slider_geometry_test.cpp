#include "ui/slider_geometry.h"

#include <gtest/gtest.h>

#include <climits>

namespace velquor {
namespace {

struct RectCase {
    int width, height, min, max, pos;
    ThumbRect expected;
};

TEST(SliderGeometry, ThumbItemRectFollowsThePosition) {
    const RectCase cases[] = {
        {100, 24, 0, 100, 0, {4, 0, 20, 24}},
        {100, 24, 0, 100, 100, {80, 0, 96, 24}},
        {100, 24, 0, 100, 50, {42, 0, 58, 24}},  // 38.5 pixels round down
        {100, 24, 0, 100, 51, {43, 0, 59, 24}},  // 38.76 rounds up
        {100, 24, 0, 100, -5, {4, 0, 20, 24}},   // clamped to the range
        {100, 24, 0, 100, 500, {80, 0, 96, 24}},
        {100, 24, 7, 7, 7, {4, 0, 20, 24}},               // empty range
        {100, 24, 10, 0, 5, {4, 0, 20, 24}},              // inverted range
        {10, 30, 0, 100, 100, {4, 0, 20, 30}},            // too narrow to travel
        {100, 24, INT_MIN, INT_MAX, 0, {42, 0, 58, 24}},  // no overflow
        {100, 24, INT_MIN, INT_MAX, INT_MAX, {80, 0, 96, 24}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << " " << c.min << ".." << c.max << " @" << c.pos);
        EXPECT_EQ(ThumbItemRect(c.width, c.height, c.min, c.max, c.pos), c.expected);
    }
}

TEST(SliderGeometry, PositionFromThumbLeftInvertsThePlacement) {
    EXPECT_EQ(PositionFromThumbLeft(100, 0, 100, 4), 0);
    EXPECT_EQ(PositionFromThumbLeft(100, 0, 100, 80), 100);
    EXPECT_EQ(PositionFromThumbLeft(100, 0, 100, -50), 0);
    EXPECT_EQ(PositionFromThumbLeft(100, 0, 100, 500), 100);
    EXPECT_EQ(PositionFromThumbLeft(100, 5, 5, 40), 5);
    EXPECT_EQ(PositionFromThumbLeft(10, 0, 100, 40), 0);
    // Every pixel the thumb can stand on maps to a position that puts it back there.
    for (int left = 4; left <= 80; ++left) {
        const int pos = PositionFromThumbLeft(100, 0, 100, left);
        EXPECT_EQ(ThumbItemRect(100, 24, 0, 100, pos).left, left) << "left " << left;
    }
    EXPECT_EQ(PositionFromThumbLeft(100, INT_MIN, INT_MAX, 80), INT_MAX);
}

TEST(SliderGeometry, OctagonCutsEachCornerByTwoPixels) {
    const std::array<SliderPoint, 8> expected = {
        {{6, 1}, {4, 3}, {4, 14}, {6, 16}, {13, 16}, {15, 14}, {15, 3}, {13, 1}}};
    EXPECT_EQ(ThumbOctagon({4, 0, 20, 24}), expected);
}

TEST(SliderGeometry, ThumbHitCoversTheDrawnThumbOnly) {
    const ThumbRect r{4, 0, 20, 24};
    const struct {
        int x, y;
        bool hit;
    } cases[] = {{4, 1, true},   {15, 16, true}, {10, 8, true},  {3, 8, false},
                 {16, 8, false}, {10, 0, false}, {10, 17, false}};
    for (const auto& c : cases)
        EXPECT_EQ(ThumbHit(r, c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST(SliderGeometry, ShadeGeometry) {
    const ThumbShade s = ComputeThumbShade({4, 0, 20, 24});
    EXPECT_EQ(s.width, 11);
    EXPECT_EQ(s.height, 15);
    const std::array<SliderPoint, 8> octagon = {
        {{2, 0}, {0, 2}, {0, 13}, {2, 15}, {9, 15}, {11, 13}, {11, 2}, {9, 0}}};
    EXPECT_EQ(s.octagon, octagon);
    EXPECT_EQ(s.dest, (SliderPoint{5, 2}));
    EXPECT_EQ(s.blendWidth, 10);
    EXPECT_EQ(s.blendHeight, 14);

    const ThumbShade tiny = ComputeThumbShade({0, 0, 5, 9});
    EXPECT_EQ(tiny.blendWidth, 0);
    EXPECT_EQ(tiny.blendHeight, 0);
}

TEST(SliderGeometry, ShadeAlphaIsThePositionWithinAByte) {
    const int cases[][2] = {{-1, 0},    {0, 0},     {1, 1},        {100, 100},
                            {255, 255}, {256, 255}, {INT_MAX, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(ShadeAlpha(c[0]), c[1]) << c[0];
}

TEST(SliderGeometry, PatternOriginKeepsTheSignOfTheRemainder) {
    EXPECT_EQ(PatternOrigin({4, 0, 20, 24}), (SliderPoint{4, 0}));
    EXPECT_EQ(PatternOrigin({50, 13, 66, 37}), (SliderPoint{2, 5}));
    EXPECT_EQ(PatternOrigin({-21, -3, -5, 21}), (SliderPoint{-5, -3}));
}

TEST(SliderGeometry, CheckerboardAlternatesFromTheOrigin) {
    // Row 0 is 0x55: the leftmost pixel clear, the next set.
    EXPECT_FALSE(CheckerBitAt(0, 0, {0, 0}));
    EXPECT_TRUE(CheckerBitAt(1, 0, {0, 0}));
    EXPECT_TRUE(CheckerBitAt(0, 1, {0, 0}));
    for (int y = -9; y < 9; ++y) {
        for (int x = -9; x < 9; ++x) {
            const bool odd = ((x + y) % 2) != 0;
            EXPECT_EQ(CheckerBitAt(x, y, {0, 0}), odd) << x << "," << y;
            EXPECT_EQ(CheckerBitAt(x, y, {1, 0}), !odd) << x << "," << y;
            EXPECT_EQ(CheckerBitAt(x, y, {-5, -3}), odd) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace velquor
