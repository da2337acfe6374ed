// The encoder's output read back by libpng, which checks every chunk's CRC and the zlib stream's
// Adler-32 as it reads.
#include <gtest/gtest.h>
#include <png.h>

#include "PngEncoder.h"

namespace
{
// Every pixel different: blue x, green y, red x + y, and a spare byte that must not show.
std::vector<uint8_t> PatternPixels(uint32_t nWidth, uint32_t nHeight, uint8_t bSpare)
{
    std::vector<uint8_t> pixels;
    for (uint32_t y = 0; y < nHeight; ++y)
        for (uint32_t x = 0; x < nWidth; ++x)
            pixels.insert(pixels.end(), {uint8_t(x), uint8_t(y), uint8_t(x + y), bSpare});
    return pixels;
}
}

TEST(PngEncoder, WritesRgbRowsThatAReaderGetsBack)
{
    for (uint32_t nWidth : {1u, 3u, 200u}) {
        const uint32_t nHeight = nWidth == 200 ? 120 : 2; // 200 x 120 needs two stored blocks
        SCOPED_TRACE(nWidth);
        const std::vector<uint8_t> png =
            EncodePngFromBgrx(nWidth, nHeight, PatternPixels(nWidth, nHeight, 0xEE).data());

        png_image image = {};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
        EXPECT_EQ(image.width, nWidth);
        EXPECT_EQ(image.height, nHeight);
        EXPECT_EQ(image.format, PNG_FORMAT_RGB);
        image.format = PNG_FORMAT_BGRA;
        std::vector<uint8_t> read(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), 0, nullptr)) << image.message;
        EXPECT_EQ(read, PatternPixels(nWidth, nHeight, 0xFF));
    }
}

TEST(PngEncoder, RefusesImagesPngCannotHold)
{
    const uint8_t abPixel[4] = {};
    EXPECT_TRUE(EncodePngFromBgrx(0, 10, abPixel).empty());
    EXPECT_TRUE(EncodePngFromBgrx(1, 1, nullptr).empty());
    EXPECT_TRUE(EncodePngFromBgrx(0x10000, 0x10000, abPixel).empty());
}
