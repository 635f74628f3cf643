// JPEG files through libjpeg, the row conversions, and transparent drawing through a mask.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "player/skin/jpeg_file.h"
#include "player/skin/mask.h"
#include "support/temp_dir.h"

namespace {

using koru::test::TempDir;

// Writes a JPEG of `components` (1 grey, 3 RGB) from the pixels given, at quality 100.
void WriteJpeg(const std::filesystem::path& path, int width, int height, int components,
               const std::vector<uint8_t>& pixels) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels.data()) +
                       static_cast<size_t>(info.next_scanline) * width * components;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// Two flat halves, left red and right blue, 16 x 8 pixels.
std::vector<uint8_t> Halves() {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool left = x < 8;
            pixels.insert(pixels.end(), {uint8_t(left ? 200 : 0), 0, uint8_t(left ? 0 : 200)});
        }
    }
    return pixels;
}

void ExpectNear(const uint8_t* pixel, int r, int g, int b) {
    EXPECT_NEAR(pixel[0], r, 6);
    EXPECT_NEAR(pixel[1], g, 6);
    EXPECT_NEAR(pixel[2], b, 6);
}

TEST(JpegFile, ColourAndGreyFilesGiveRgbRows) {
    TempDir dir;
    WriteJpeg(dir / "colour.jpg", 16, 8, 3, Halves());
    auto colour = koru::skin::ReadJpegFile((dir / "colour.jpg").string());
    ASSERT_TRUE(colour.has_value());
    ASSERT_EQ(colour->width, 16);
    ASSERT_EQ(colour->height, 8);
    ASSERT_EQ(colour->pixels.size(), 16u * 8 * 3);
    ExpectNear(&colour->pixels[(3 * 16 + 2) * 3], 200, 0, 0);
    ExpectNear(&colour->pixels[(5 * 16 + 13) * 3], 0, 0, 200);

    std::vector<uint8_t> grey(16 * 8);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = i % 16 < 8 ? 40 : 220;
    WriteJpeg(dir / "grey.jpg", 16, 8, 1, grey);
    auto expanded = koru::skin::ReadJpegFile((dir / "grey.jpg").string());
    ASSERT_TRUE(expanded.has_value());
    ASSERT_EQ(expanded->pixels.size(), 16u * 8 * 3);
    ExpectNear(&expanded->pixels[(2 * 16 + 1) * 3], 40, 40, 40);
    ExpectNear(&expanded->pixels[(7 * 16 + 15) * 3], 220, 220, 220);
}

TEST(JpegFile, MissingDamagedAndOversizedFilesGiveNothing) {
    TempDir dir;
    std::vector<std::string> shown;
    auto show = [&](const std::string&, const std::string& text) { shown.push_back(text); };
    EXPECT_FALSE(koru::skin::ReadJpegFile((dir / "none.jpg").string(), show).has_value());
    koru::test::WriteFile(dir / "text.jpg", "not a picture at all");
    EXPECT_FALSE(koru::skin::ReadJpegFile((dir / "text.jpg").string(), show).has_value());
    EXPECT_TRUE(shown.empty());

    // A real file whose frame header claims 60000 x 60000 pixels.
    WriteJpeg(dir / "big.jpg", 16, 8, 3, Halves());
    std::string bytes = koru::test::ReadFile(dir / "big.jpg");
    size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    bytes[sof + 5] = char(0xEA);  // height 0xEA60
    bytes[sof + 6] = char(0x60);
    bytes[sof + 7] = char(0xEA);  // width 0xEA60
    bytes[sof + 8] = char(0x60);
    koru::test::WriteFile(dir / "big.jpg", bytes);
    EXPECT_FALSE(koru::skin::ReadJpegFile((dir / "big.jpg").string(), show).has_value());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "JpegFile :\nOut of memory");
}

TEST(RowConversions, SwapFlipAndPad) {
    std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    koru::skin::SwapRedBlue(pixels.data(), 5, 1);
    EXPECT_EQ(pixels, (std::vector<uint8_t>{3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10, 15, 14, 13}));

    std::vector<uint8_t> rows = {1, 1, 2, 2, 3, 3};  // three rows of two bytes: odd count
    ASSERT_TRUE(koru::skin::FlipRows(rows.data(), 2, 3));
    EXPECT_EQ(rows, (std::vector<uint8_t>{3, 3, 2, 2, 1, 1}));
    std::vector<uint8_t> even = {1, 2, 3, 4};
    ASSERT_TRUE(koru::skin::FlipRows(even.data(), 1, 4));
    EXPECT_EQ(even, (std::vector<uint8_t>{4, 3, 2, 1}));

    // 5 pixels of 3 bytes: 15 bytes a row, padded to 16.
    std::vector<uint8_t> packed(30);
    for (size_t i = 0; i < packed.size(); ++i)
        packed[i] = uint8_t(i + 1);
    auto padded = koru::skin::PadRows(packed.data(), 5, 2);
    ASSERT_TRUE(padded.has_value());
    EXPECT_EQ(padded->stride, 16);
    ASSERT_EQ(padded->pixels.size(), 32u);
    EXPECT_EQ(padded->pixels[0], 1);
    EXPECT_EQ(padded->pixels[14], 15);
    EXPECT_EQ(padded->pixels[16], 16);
    EXPECT_EQ(padded->pixels[30], 30);
    EXPECT_EQ(koru::skin::PadRows(packed.data(), 4, 1)->stride, 12);
}

TEST(Mask, CornerColourIsTransparentAndDrawingKeepsTheTarget) {
    koru::skin::DibImage image;
    ASSERT_TRUE(image.Create(3, 2));
    const uint32_t key = 0xFF00FF00u;  // pure green, opaque
    for (int i = 0; i < 6; ++i)
        image.SetPixel(i % 3, i / 3, i % 2 == 0 ? key : 0xFF102030u);
    auto mask = koru::skin::MakeMask(image, koru::skin::kColourOfPixel, 0, 0);
    ASSERT_EQ(mask.width, 3);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(mask.IsTransparent(i % 3, i / 3), i % 2 == 0) << i;
        // The transparent pixels of the image are black, ready for OR.
        EXPECT_EQ(image.Pixel(i % 3, i / 3), i % 2 == 0 ? 0u : 0xFF102030u) << i;
    }

    koru::skin::DibImage target;
    ASSERT_TRUE(target.Create(4, 3));
    for (int i = 0; i < 12; ++i)
        target.SetPixel(i % 4, i / 4, 0xFFAAAAAAu);
    koru::skin::DrawTransparent(target, 1, 1, 3, 2, image, mask);
    EXPECT_EQ(target.Pixel(0, 0), 0xFFAAAAAAu);  // outside
    EXPECT_EQ(target.Pixel(1, 1), 0xFFAAAAAAu);  // image (0, 0) is transparent
    EXPECT_EQ(target.Pixel(2, 1), 0xFF102030u);  // image (1, 0)
    EXPECT_EQ(target.Pixel(3, 1), 0xFFAAAAAAu);
    EXPECT_EQ(target.Pixel(1, 2), 0xFF102030u);  // image (0, 1)
    // Clipped at every edge, also far outside.
    koru::skin::DrawTransparent(target, -2, -1, 3, 2, image, mask);
    koru::skin::DrawTransparent(target, 2147483647, -2147483647 - 1, 3, 2, image, mask);
    EXPECT_EQ(target.Pixel(0, 0), 0xFF102030u);  // image (2, 1)
    EXPECT_EQ(target.Pixel(1, 0), 0xFFAAAAAAu);

    // A given colour instead of the corner's.
    auto none = koru::skin::MakeMask(image, 0x123456, 0, 0);
    for (uint8_t bit : none.bits)
        EXPECT_EQ(bit, 0);
}

}  // namespace
