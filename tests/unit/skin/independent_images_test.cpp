// Images written by an independent tool (ImageMagick, from Debian) decode to the pixels that
// the same tool reads from them: BMP with the info and the V5 header, 1, 4, 8 and 24 bits,
// run-length coded, and GIF plain and interlaced.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "player/skin/dib_image.h"
#include "support/temp_dir.h"

namespace {

using koru::test::TempDir;

bool HaveConvert() {
    return std::system("convert -version >/dev/null 2>&1") == 0;
}

bool RunTool(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A 13 x 7 picture of six colours, as binary PPM.
void WritePicture(const std::filesystem::path& path) {
    const uint8_t colours[6][3] = {{255, 0, 0},   {0, 255, 0},  {0, 0, 255},
                                   {255, 255, 0}, {10, 20, 30}, {200, 100, 50}};
    std::string ppm = "P6\n13 7\n255\n";
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 13; ++x) {
            const uint8_t* c = colours[(x * 3 + y * 5 + x * y) % 6];
            ppm.append(reinterpret_cast<const char*>(c), 3);
        }
    }
    koru::test::WriteFile(path, ppm);
}

struct Case {
    const char* file;
    const char* options;
    const char* format;  // ImageMagick's output format prefix, or ""
};

TEST(IndependentImages, DecodeAsTheirWriterReadsThem) {
    if (!HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    TempDir dir;
    WritePicture(dir / "picture.ppm");
    const Case cases[] = {
        {"true.bmp", "-type TrueColor", "BMP3:"},
        {"v5.bmp", "-type TrueColor", "BMP:"},
        {"palette.bmp", "-type Palette", "BMP3:"},
        {"rle.bmp", "-type Palette -compress RLE", "BMP3:"},
        {"mono.bmp", "-colors 2 -type Palette", "BMP3:"},
        {"grey.bmp", "-colorspace Gray -type Grayscale", "BMP3:"},
        {"plain.gif", "", ""},
        {"interlaced.gif", "-interlace GIF", ""},
        {"two.gif", "-colors 2", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string out = (dir / c.file).string();
        ASSERT_TRUE(RunTool("convert " + (dir / "picture.ppm").string() + " " + c.options + " " +
                            c.format + out));
        ASSERT_TRUE(RunTool("convert " + out + " -depth 8 rgb:" + out + ".rgb"));
        const std::string file = koru::test::ReadFile(out);
        const std::string rgb = koru::test::ReadFile(out + ".rgb");
        ASSERT_EQ(rgb.size(), 13u * 7 * 3);

        koru::skin::DibImage image;
        ASSERT_EQ(image.LoadFromMemory(reinterpret_cast<const uint8_t*>(file.data()), file.size()),
                  0);
        ASSERT_EQ(image.width(), 13);
        ASSERT_EQ(image.height(), 7);
        for (int i = 0; i < 13 * 7; ++i) {
            const uint32_t want = 0xFF000000u | uint32_t(uint8_t(rgb[3 * i])) << 16 |
                                  uint32_t(uint8_t(rgb[3 * i + 1])) << 8 | uint8_t(rgb[3 * i + 2]);
            ASSERT_EQ(image.Pixel(i % 13, i / 13), want) << "pixel " << i;
        }
    }
}

}  // namespace
