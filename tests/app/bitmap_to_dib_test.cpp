#include "ui/bitmap_to_dib.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdint>
#include <vector>

namespace velquor {
namespace {

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

QImage Image(int w, int h, const std::vector<QRgb>& pixels) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, pixels[static_cast<std::size_t>(y * w + x)]);
    return image;
}

// Every header field a caller relies on.
void ExpectHeader(const std::vector<std::uint8_t>& dib, int w, int h, int bits,
                  std::uint32_t imageSize) {
    ASSERT_GE(dib.size(), 40u);
    EXPECT_EQ(U32(dib, 0), 40u);
    EXPECT_EQ(U32(dib, 4), static_cast<std::uint32_t>(w));
    EXPECT_EQ(U32(dib, 8), static_cast<std::uint32_t>(h));  // positive: bottom-up
    EXPECT_EQ(U16(dib, 12), 1);
    EXPECT_EQ(U16(dib, 14), bits);
    EXPECT_EQ(U32(dib, 16), 0u);
    EXPECT_EQ(U32(dib, 20), imageSize);
    for (std::size_t at : {24u, 28u, 32u, 36u})
        EXPECT_EQ(U32(dib, at), 0u) << "offset " << at;
}

TEST(DibColorTableEntries, FollowsThePowerOfTwoRule) {
    const struct {
        int bits;
        int entries;
    } cases[] = {{1, 2}, {4, 16}, {8, 256}, {16, 0}, {24, 0}, {32, 1}, {2, 4}, {0, 1}};
    for (const auto& c : cases)
        EXPECT_EQ(DibColorTableEntries(c.bits), c.entries) << c.bits << " bits";
}

TEST(DibImageSize, PadsRowsToFourBytesAndGrowsForCompression) {
    const struct {
        int w, h, bits;
        std::uint32_t compression;
        std::uint32_t size;
    } cases[] = {
        {3, 2, 24, 0, 24},  // 9-byte rows padded to 12
        {3, 2, 24, 1, 36},  // compressed: half as much again
        {3, 2, 32, 0, 24},  // 12-byte rows need no padding
        {1, 1, 1, 0, 4},    // one bit still takes a 4-byte row
        {33, 2, 1, 0, 16},  // 33 bits -> 8 bytes
        {5, 3, 4, 0, 12},   // 20 bits -> 4 bytes
        {3, 3, 8, 2, 18},   // rows of 4, 12 bytes, compressed 18
        {2, 1, 16, 0, 4},   // two 16-bit pixels fill a row exactly
        {0, 5, 24, 0, 0},   // empty
    };
    for (const auto& c : cases)
        EXPECT_EQ(DibImageSize(c.w, c.h, c.bits, c.compression), c.size)
            << c.w << "x" << c.h << "x" << c.bits << " comp " << c.compression;
    // Beyond 32 bits of size: reported as no size rather than wrapped.
    EXPECT_EQ(DibImageSize(1 << 20, 1 << 20, 32, 0), 0u);
}

TEST(BitmapToDib, TwentyFourBitThreeByTwoIsPaddedAndBottomUp) {
    const std::vector<QRgb> px = {0xFF102030, 0xFF405060, 0xFF708090,   // top row
                                  0xFFA0B0C0, 0xFFD0E0F0, 0xFF010203};  // bottom row
    const std::vector<std::uint8_t> dib = BitmapToDib({}, Image(3, 2, px), 24);
    ASSERT_EQ(dib.size(), 64u);
    ExpectHeader(dib, 3, 2, 24, 24);
    const std::vector<std::uint8_t> bits(dib.begin() + 40, dib.end());
    const std::vector<std::uint8_t> expected = {
        0xC0, 0xB0, 0xA0, 0xF0, 0xE0, 0xD0, 0x03, 0x02, 0x01, 0, 0, 0,  // bottom row first
        0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0x90, 0x80, 0x70, 0, 0, 0};
    EXPECT_EQ(bits, expected);
}

TEST(BitmapToDib, ThirtyTwoBitCarriesOneTableEntryBeforeTheBits) {
    const std::vector<QRgb> px = {0xFF112233, 0xFF445566};
    const std::vector<std::uint8_t> dib = BitmapToDib({}, Image(1, 2, px), 32);
    ExpectHeader(dib, 1, 2, 32, 8);
    ASSERT_EQ(dib.size(), 40u + 4u + 8u);  // 4 bytes more than header plus bits
    EXPECT_EQ(U32(dib, 40), 0u);
    const std::vector<std::uint8_t> bits(dib.begin() + 44, dib.end());
    EXPECT_EQ(bits, (std::vector<std::uint8_t>{0x66, 0x55, 0x44, 0, 0x33, 0x22, 0x11, 0}));
}

TEST(BitmapToDib, EightBitFillsTheTableFromThePaletteAndMapsToNearest) {
    const std::vector<QRgb> palette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    const std::vector<QRgb> px = {0xFFF00A0A, 0xFF0A0AF0, 0xFF101010,   // red, blue, black
                                  0xFF00E000, 0xFFFF0000, 0xFF0000FF};  // green, red, blue
    const std::vector<std::uint8_t> dib = BitmapToDib(palette, Image(3, 2, px), 8);
    ASSERT_EQ(dib.size(), 40u + 1024u + 8u);
    ExpectHeader(dib, 3, 2, 8, 8);
    // Palette entries as blue, green, red, 0; the rest of the 256 stay zero.
    EXPECT_EQ(U32(dib, 40), 0x00000000u);
    EXPECT_EQ(U32(dib, 44), 0x00FF0000u);
    EXPECT_EQ(U32(dib, 48), 0x0000FF00u);
    EXPECT_EQ(U32(dib, 52), 0x000000FFu);
    for (std::size_t i = 4; i < 256; ++i)
        ASSERT_EQ(U32(dib, 40 + 4 * i), 0u) << i;
    const std::vector<std::uint8_t> bits(dib.begin() + 1064, dib.end());
    EXPECT_EQ(bits, (std::vector<std::uint8_t>{2, 1, 3, 0, 1, 3, 0, 0}));
}

TEST(BitmapToDib, WithoutAPaletteUsesTheDefaultOneAndSucceeds) {
    for (int bits : {1, 4, 8}) {
        const std::vector<QRgb> palette = DefaultDibPalette(bits);
        ASSERT_EQ(palette.size(), static_cast<std::size_t>(DibColorTableEntries(bits)));
        const std::vector<std::uint8_t> dib =
            BitmapToDib({}, Image(2, 1, {0xFFFFFFFF, 0xFF000000}), bits);
        ASSERT_FALSE(dib.empty()) << bits;
        for (std::size_t i = 0; i < palette.size(); ++i)
            ASSERT_EQ(U32(dib, 40 + 4 * i), palette[i] & 0x00FFFFFFu) << bits << " entry " << i;
    }
    // The stock colours sit at both ends of the 8-bit table.
    const std::vector<QRgb> p8 = DefaultDibPalette(8);
    EXPECT_EQ(p8.front(), 0xFF000000u);
    EXPECT_EQ(p8[7], 0xFFC0C0C0u);
    EXPECT_EQ(p8[246], 0xFFFFFBF0u);
    EXPECT_EQ(p8.back(), 0xFFFFFFFFu);
}

TEST(BitmapToDib, PacksOneAndFourBitRowsHighNibbleFirst) {
    // White, black, white across: indices 1, 0, 1 for 1 bit; 15, 0, 15 for 4 bits.
    const QImage image = Image(3, 1, {0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF});
    const std::vector<std::uint8_t> one = BitmapToDib({}, image, 1);
    ASSERT_EQ(one.size(), 40u + 8u + 4u);
    EXPECT_EQ(one[48], 0b1010'0000);
    EXPECT_EQ(one[49], 0);
    const std::vector<std::uint8_t> four = BitmapToDib({}, image, 4);
    ASSERT_EQ(four.size(), 40u + 64u + 4u);
    EXPECT_EQ(four[104], 0xF0);
    EXPECT_EQ(four[105], 0xF0);
}

TEST(BitmapToDib, SixteenBitIsFiveFiveFive) {
    const std::vector<std::uint8_t> dib =
        BitmapToDib({}, Image(2, 1, {0xFFFF0000, 0xFF0808F8}), 16);
    ASSERT_EQ(dib.size(), 40u + 4u);
    EXPECT_EQ(U16(dib, 40), 0x7C00);
    EXPECT_EQ(U16(dib, 42), (1 << 10) | (1 << 5) | 31);
}

TEST(BitmapToDib, RefusesWhatItCannotProduce) {
    const QImage image = Image(2, 2, {0, 0, 0, 0});
    EXPECT_TRUE(BitmapToDib({}, QImage(), 24).empty());
    EXPECT_TRUE(BitmapToDib({}, image, 2).empty());
    EXPECT_TRUE(BitmapToDib({}, image, 0).empty());
    // Rows are never compressed, so a header claiming compression would lie.
    EXPECT_TRUE(BitmapToDib({}, image, 24, 1).empty());
}

TEST(MakeBmpFileImage, HeaderAgreesWithTheTableSizeForEveryDepth) {
    const QImage image =
        Image(3, 2, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000, 0xFF808080});
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        const std::vector<std::uint8_t> dib = BitmapToDib({}, image, bits);
        const std::vector<std::uint8_t> file = MakeBmpFileImage(dib);
        ASSERT_EQ(file.size(), dib.size() + 14) << bits;
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(U32(file, 2), dib.size() + 14);
        EXPECT_EQ(U32(file, 6), 0u);
        EXPECT_EQ(U32(file, 10), 14u + 40u + 4u * DibColorTableEntries(bits)) << bits;
        EXPECT_TRUE(std::equal(dib.begin(), dib.end(), file.begin() + 14));

        // Qt's reader finds the bits where the header says and gets the colours back
        // (all of them are in every default palette).
        const QImage back = QImage::fromData(file.data(), static_cast<int>(file.size()), "BMP");
        ASSERT_FALSE(back.isNull()) << bits;
        ASSERT_EQ(back.size(), image.size());
        // 16-bit rows keep 5 bits per channel; the reader does not fill the low 3.
        const QRgb kept = bits == 16 ? 0xF8F8F8 : 0xFFFFFF;
        if (bits >= 4) {
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(back.pixel(x, y) & kept, image.pixel(x, y) & kept)
                        << bits << " bits at " << x << "," << y;
        }
    }
}

TEST(MakeBmpFileImage, RejectsWhatIsNotAPackedDib) {
    EXPECT_TRUE(MakeBmpFileImage({}).empty());
    EXPECT_TRUE(MakeBmpFileImage(std::vector<std::uint8_t>(39, 0)).empty());
    std::vector<std::uint8_t> shortTable(40, 0);
    shortTable[0] = 40;
    shortTable[14] = 8;  // claims 1024 bytes of colour table it does not have
    EXPECT_TRUE(MakeBmpFileImage(shortTable).empty());
}

}  // namespace
}  // namespace velquor
