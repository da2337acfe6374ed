// The encoder's output read back by a small independent PNG reader: chunk framing and CRCs,
// the header, the stored deflate blocks and the Adler-32 check, then the pixels themselves.
#include <gtest/gtest.h>

#include "PngEncoder.h"

#include <map>
#include <string>

namespace
{
uint32_t BigEndianAt(const std::vector<uint8_t>& bytes, size_t i)
{
    return uint32_t(bytes.at(i)) << 24 | uint32_t(bytes.at(i + 1)) << 16 | uint32_t(bytes.at(i + 2)) << 8 |
           bytes.at(i + 3);
}

// Bit by bit, unlike the encoder's table, so that a wrong table shows.
uint32_t BitwiseCrc(const uint8_t* pb, size_t cb)
{
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < cb; ++i) {
        crc ^= pb[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

struct Decoded
{
    std::map<std::string, std::vector<uint8_t>> chunks;
    std::vector<std::string> order;
    int cStoredBlocks = 0;
    std::vector<uint8_t> raw;
};

Decoded Decode(const std::vector<uint8_t>& png)
{
    Decoded decoded;
    const uint8_t abSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(png.size() > 8 && std::equal(abSignature, abSignature + 8, png.begin()));
    for (size_t i = 8; i + 12 <= png.size();) {
        const uint32_t cb = BigEndianAt(png, i);
        const std::string strType(png.begin() + i + 4, png.begin() + i + 8);
        EXPECT_EQ(BigEndianAt(png, i + 8 + cb), BitwiseCrc(&png[i + 4], cb + 4)) << strType;
        decoded.chunks[strType].assign(png.begin() + i + 8, png.begin() + i + 8 + cb);
        decoded.order.push_back(strType);
        i += 12 + cb;
    }
    const std::vector<uint8_t>& zlib = decoded.chunks["IDAT"];
    EXPECT_TRUE(zlib.size() >= 6 && zlib[0] == 0x78 && (zlib[0] << 8 | zlib[1]) % 31 == 0);
    bool bFinal = false;
    for (size_t i = 2; !bFinal && i + 5 <= zlib.size();) {
        bFinal = zlib[i] & 1;
        EXPECT_EQ(zlib[i] & 6, 0) << "stored block";
        const uint16_t cb = zlib[i + 1] | zlib[i + 2] << 8;
        EXPECT_EQ(cb ^ 0xFFFF, zlib[i + 3] | zlib[i + 4] << 8);
        decoded.raw.insert(decoded.raw.end(), zlib.begin() + i + 5, zlib.begin() + i + 5 + cb);
        ++decoded.cStoredBlocks;
        i += 5 + cb;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : decoded.raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(BigEndianAt(zlib, zlib.size() - 4), b << 16 | a);
    return decoded;
}

// Every pixel different: blue x, green y, red x + y, and a spare byte that must not show.
std::vector<uint8_t> PatternPixels(uint32_t nWidth, uint32_t nHeight)
{
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < nHeight; ++y)
        for (uint32_t x = 0; x < nWidth; ++x)
            pixels.insert(pixels.end(), {uint8_t(x), uint8_t(y), uint8_t(x + y), 0xEE});
    return pixels;
}
}

TEST(PngEncoder, WritesRgbRowsThatAReaderGetsBack)
{
    for (uint32_t nWidth : {1u, 3u, 200u}) {
        const uint32_t nHeight = nWidth == 200 ? 120 : 2; // 200 x 120 needs two stored blocks
        SCOPED_TRACE(nWidth);
        const std::vector<uint8_t> pixels = PatternPixels(nWidth, nHeight);
        const Decoded decoded = Decode(EncodePngFromBgrx(nWidth, nHeight, pixels.data()));

        EXPECT_EQ(decoded.order, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
        const std::vector<uint8_t> header = decoded.chunks.at("IHDR");
        ASSERT_EQ(header.size(), 13u);
        EXPECT_EQ(BigEndianAt(header, 0), nWidth);
        EXPECT_EQ(BigEndianAt(header, 4), nHeight);
        EXPECT_EQ(std::vector<uint8_t>(header.begin() + 8, header.end()), (std::vector<uint8_t>{8, 2, 0, 0, 0}));
        EXPECT_EQ(decoded.cStoredBlocks, nWidth == 200 ? 2 : 1);

        ASSERT_EQ(decoded.raw.size(), nHeight * (1 + 3 * nWidth));
        for (uint32_t y = 0; y < nHeight; ++y) {
            const uint8_t* pbRow = &decoded.raw[y * (1 + 3 * nWidth)];
            ASSERT_EQ(pbRow[0], 0) << "filter of row " << y;
            for (uint32_t x = 0; x < nWidth; ++x)
                ASSERT_TRUE(pbRow[1 + 3 * x] == uint8_t(x + y) && pbRow[2 + 3 * x] == uint8_t(y) &&
                            pbRow[3 + 3 * x] == uint8_t(x))
                    << "pixel " << x << "," << y;
        }
    }
}

TEST(PngEncoder, RefusesImagesPngCannotHold)
{
    const uint8_t abPixel[4] = {};
    EXPECT_TRUE(EncodePngFromBgrx(0, 10, abPixel).empty());
    EXPECT_TRUE(EncodePngFromBgrx(10, 0, abPixel).empty());
    EXPECT_TRUE(EncodePngFromBgrx(1, 1, nullptr).empty());
    EXPECT_TRUE(EncodePngFromBgrx(0x10000, 0x10000, abPixel).empty());
}
