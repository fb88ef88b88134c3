#include "ui/bitmap_to_dib.h"

#include <array>
#include <limits>
#include <new>
#include <unordered_map>

namespace velquor {

namespace {

void PutU16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void PutU32(std::uint8_t* p, std::uint32_t v) {
    PutU16(p, v & 0xFFFF);
    PutU16(p + 2, v >> 16);
}

std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool SupportedBitCount(int bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 ||
           bitCount == 32;
}

// Nearest colour by squared RGB distance, the lowest index on a tie; colours repeat a lot
// in a screen picture, so answers are remembered.
class NearestColour {
public:
    explicit NearestColour(const std::vector<QRgb>& table) : m_table(table) {}

    std::uint8_t operator()(QRgb colour) {
        const QRgb key = colour | 0xFF000000u;
        if (auto it = m_cache.find(key); it != m_cache.end())
            return it->second;
        std::size_t best = 0;
        int bestDistance = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < m_table.size(); ++i) {
            const int dr = qRed(key) - qRed(m_table[i]);
            const int dg = qGreen(key) - qGreen(m_table[i]);
            const int db = qBlue(key) - qBlue(m_table[i]);
            const int distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        const auto index = static_cast<std::uint8_t>(best);
        m_cache.emplace(key, index);
        return index;
    }

private:
    const std::vector<QRgb>& m_table;
    std::unordered_map<QRgb, std::uint8_t> m_cache;
};

// One bottom-up row of pixel bits; row is zero-filled and padded already.
void PackRow(const QRgb* pixels, int width, int bitCount, NearestColour& nearest,
             std::uint8_t* row) {
    for (int x = 0; x < width; ++x) {
        const QRgb c = pixels[x];
        switch (bitCount) {
            case 1:
                row[x / 8] |= static_cast<std::uint8_t>((nearest(c) & 1) << (7 - x % 8));
                break;
            case 4:
                row[x / 2] |= static_cast<std::uint8_t>((nearest(c) & 0x0F) << (x % 2 ? 0 : 4));
                break;
            case 8:
                row[x] = nearest(c);
                break;
            case 16: {
                // Uncompressed 16-bit rows are 5-5-5 with the top bit unused.
                const std::uint32_t v = static_cast<std::uint32_t>(qRed(c) >> 3) << 10 |
                                        static_cast<std::uint32_t>(qGreen(c) >> 3) << 5 |
                                        static_cast<std::uint32_t>(qBlue(c) >> 3);
                PutU16(row + 2 * x, v);
                break;
            }
            case 24:
            case 32: {
                std::uint8_t* p = row + (bitCount / 8) * x;
                p[0] = static_cast<std::uint8_t>(qBlue(c));
                p[1] = static_cast<std::uint8_t>(qGreen(c));
                p[2] = static_cast<std::uint8_t>(qRed(c));
                break;
            }
            default:
                break;
        }
    }
}

}  // namespace

int DibColorTableEntries(int bitCount) {
    const auto entries = static_cast<std::uint16_t>(1u << (static_cast<unsigned>(bitCount) % 32));
    return entries > 256 ? 0 : entries;
}

std::uint32_t DibImageSize(int width, int height, int bitCount, std::uint32_t compression) {
    if (width < 0 || height < 0 || bitCount < 0)
        return 0;
    const std::uint64_t rowBytes =
        ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(bitCount) + 31) &
         ~std::uint64_t{31}) /
        8;
    std::uint64_t size = rowBytes * static_cast<std::uint64_t>(height);
    if (compression != kBiRgb)
        size = size * 3 / 2;
    return size > std::numeric_limits<std::uint32_t>::max() ? 0 : static_cast<std::uint32_t>(size);
}

std::vector<QRgb> DefaultDibPalette(int bitCount) {
    // The 16 standard colours in their usual table order.
    static constexpr std::array<QRgb, 16> kStandard = {
        0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
        0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
        0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
    switch (bitCount) {
        case 1:
            return {0xFF000000, 0xFFFFFFFF};
        case 4:
            return {kStandard.begin(), kStandard.end()};
        case 8: {
            std::vector<QRgb> palette(kStandard.begin(), kStandard.begin() + 8);
            palette.push_back(0xFFC0DCC0);
            palette.push_back(0xFFA6CAF0);
            for (int r = 0; r < 6; ++r)
                for (int g = 0; g < 6; ++g)
                    for (int b = 0; b < 6; ++b)
                        palette.push_back(qRgb(r * 51, g * 51, b * 51));
            for (int i = 1; i <= 20; ++i)
                palette.push_back(qRgb(i * 12, i * 12, i * 12));
            palette.push_back(0xFFFFFBF0);
            palette.push_back(0xFFA0A0A4);
            palette.insert(palette.end(), kStandard.begin() + 8, kStandard.end());
            return palette;
        }
        default:
            return {};
    }
}

std::vector<std::uint8_t> BitmapToDib(const std::vector<QRgb>& palette, const QImage& bitmap,
                                      int bitCount, std::uint32_t compression) {
    if (bitmap.isNull() || !SupportedBitCount(bitCount) || compression != kBiRgb)
        return {};
    const int width = bitmap.width();
    const int height = bitmap.height();
    const int entries = DibColorTableEntries(bitCount);
    const std::uint32_t imageSize = DibImageSize(width, height, bitCount, compression);
    const std::uint64_t total =
        kBitmapInfoHeaderSize + 4ull * static_cast<std::uint64_t>(entries) + imageSize;
    if (imageSize == 0 || total > std::numeric_limits<std::uint32_t>::max())
        return {};

    std::vector<std::uint8_t> dib;
    QImage source;
    try {
        dib.assign(static_cast<std::size_t>(total), 0);
        source = bitmap.convertToFormat(QImage::Format_RGB32);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (source.isNull())
        return {};

    std::uint8_t* header = dib.data();
    PutU32(header + 0, kBitmapInfoHeaderSize);
    PutU32(header + 4, static_cast<std::uint32_t>(width));
    PutU32(header + 8, static_cast<std::uint32_t>(height));
    PutU16(header + 12, 1);
    PutU16(header + 14, static_cast<std::uint32_t>(bitCount));
    PutU32(header + 16, compression);
    PutU32(header + 20, imageSize);
    // Resolutions, colours used and important stay 0.

    // The palette only fills the table of an indexed depth; 32 bits carry one unused entry.
    std::vector<QRgb> table;
    if (bitCount <= 8) {
        table = palette.empty() ? DefaultDibPalette(bitCount) : palette;
        if (table.size() > static_cast<std::size_t>(entries))
            table.resize(static_cast<std::size_t>(entries));
        for (std::size_t i = 0; i < table.size(); ++i) {
            std::uint8_t* quad = dib.data() + kBitmapInfoHeaderSize + 4 * i;
            quad[0] = static_cast<std::uint8_t>(qBlue(table[i]));
            quad[1] = static_cast<std::uint8_t>(qGreen(table[i]));
            quad[2] = static_cast<std::uint8_t>(qRed(table[i]));
        }
    }

    NearestColour nearest(table);
    const std::size_t rowBytes = imageSize / static_cast<std::uint32_t>(height);
    std::uint8_t* bits = dib.data() + kBitmapInfoHeaderSize + 4 * static_cast<std::size_t>(entries);
    for (int y = 0; y < height; ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        PackRow(pixels, width, bitCount, nearest,
                bits + rowBytes * static_cast<std::size_t>(height - 1 - y));
    }
    return dib;
}

std::vector<std::uint8_t> MakeBmpFileImage(const std::vector<std::uint8_t>& dib) {
    if (dib.size() < kBitmapInfoHeaderSize)
        return {};
    const std::uint32_t headerSize = GetU32(dib.data());
    const int bitCount = dib[14] | dib[15] << 8;
    const std::uint64_t offBits = kBmpFileHeaderSize + static_cast<std::uint64_t>(headerSize) +
                                  4ull * static_cast<std::uint64_t>(DibColorTableEntries(bitCount));
    const std::uint64_t fileSize = dib.size() + std::uint64_t{kBmpFileHeaderSize};
    if (headerSize < kBitmapInfoHeaderSize || offBits > fileSize ||
        fileSize > std::numeric_limits<std::uint32_t>::max())
        return {};
    std::vector<std::uint8_t> file;
    try {
        file.resize(static_cast<std::size_t>(fileSize));
    } catch (const std::bad_alloc&) {
        return {};
    }
    file[0] = 'B';
    file[1] = 'M';
    PutU32(file.data() + 2, static_cast<std::uint32_t>(fileSize));
    // Bytes 6 to 9: the two reserved fields, zero.
    PutU32(file.data() + 10, static_cast<std::uint32_t>(offBits));
    std::copy(dib.begin(), dib.end(), file.begin() + kBmpFileHeaderSize);
    return file;
}

}  // namespace velquor
