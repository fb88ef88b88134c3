#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <vector>

namespace velquor {

// biCompression for uncompressed rows.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBitmapInfoHeaderSize = 40;
inline constexpr std::uint32_t kBmpFileHeaderSize = 14;

// Colour-table entries of a packed DIB with this bit count: 2 to the power (bits mod 32),
// kept in 16 bits, none when that exceeds 256. So 1, 4, 8 give 2, 16, 256; 16 and 24 give 0;
// 32 gives 1. The BMP file header's offset of the bits follows the same rule.
int DibColorTableEntries(int bitCount);

// Bytes of the pixel rows, each padded to a multiple of 4 bytes, bottom row first. A
// compressed image is given half as much again. 0 when the size does not fit 32 bits.
std::uint32_t DibImageSize(int width, int height, int bitCount, std::uint32_t compression);

// The palette that stands in when the caller gives none: black and white for 1 bit, the
// 16 standard colours for 4 bits, and for 8 bits the 20 static colours (10 at each end)
// around a 6 x 6 x 6 colour cube and a grey ramp.
std::vector<QRgb> DefaultDibPalette(int bitCount);

// The bitmap as a packed device-independent bitmap of the given bit count (1, 4, 8, 16,
// 24 or 32): a 40-byte header, the colour table and the bottom-up rows. Indexed depths
// map every pixel to the nearest palette colour; an empty palette means the default one.
// Only uncompressed rows can be produced, so any compression other than kBiRgb fails.
// Empty on failure (null image, unsupported depth or compression, too large).
std::vector<std::uint8_t> BitmapToDib(const std::vector<QRgb>& palette, const QImage& bitmap,
                                      int bitCount, std::uint32_t compression = kBiRgb);

// The image of a BMP file: the 14-byte file header ("BM", file size, two reserved zero
// fields, offset of the bits) in front of the packed DIB. Empty when dib is not one.
std::vector<std::uint8_t> MakeBmpFileImage(const std::vector<std::uint8_t>& dib);

}  // namespace velquor
