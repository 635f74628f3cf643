// BMP and GIF decoding from memory, the MOT alpha extension, recognition and result codes.
#include <gtest/gtest.h>

#include <random>

#include "player/skin/bmp_decoder.h"
#include "player/skin/dib_image.h"
#include "player/skin/gif_decoder.h"
#include "support/image_bytes.h"

namespace {

using koru::skin::DibImage;
using koru::test::BmpFile;
using koru::test::BmpSpec;
using koru::test::Bytes;
using koru::test::GifWriter;

int Load(DibImage& image, const Bytes& bytes, std::string* kind = nullptr, int frame = 0) {
    return image.LoadFromMemory(bytes.data(), bytes.size(), kind, frame);
}

// Opaque pixel word of a colour 0x00RRGGBB.
constexpr uint32_t Opaque(uint32_t rgb) {
    return 0xFF000000u | rgb;
}

TEST(Bmp, OnePixelOf24BitsDecodesToOneOpaquePixel) {
    DibImage image;
    std::string kind;
    ASSERT_EQ(Load(image, koru::test::Bmp24(1, 1, {0x123456}), &kind), koru::skin::kImageOk);
    EXPECT_EQ(kind, "bmp");
    ASSERT_EQ(image.width(), 1);
    ASSERT_EQ(image.height(), 1);
    EXPECT_EQ(image.stride(), 4);
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0x123456));
    const uint8_t* bytes = image.bits();  // blue, green, red, fourth byte
    EXPECT_EQ(bytes[0], 0x56);
    EXPECT_EQ(bytes[1], 0x34);
    EXPECT_EQ(bytes[2], 0x12);
    EXPECT_EQ(bytes[3], 255);
}

TEST(Bmp, RowsArePaddedToFourBytesAndStoredBottomUp) {
    // 3 pixels of 24 bits: 9 bytes a row in the file, padded to 12.
    const std::vector<uint32_t> pixels = {0xFF0000, 0x00FF00, 0x0000FF,
                                          0x010203, 0x040506, 0x070809};
    DibImage image;
    ASSERT_EQ(Load(image, koru::test::Bmp24(3, 2, pixels)), koru::skin::kImageOk);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(image.Pixel(i % 3, i / 3), Opaque(pixels[i])) << i;
    // One byte short of the last row's pixels is a lying file.
    const Bytes whole = koru::test::Bmp24(3, 2, pixels);
    const Bytes short_file(whole.begin(), whole.end() - 4);
    EXPECT_EQ(Load(image, short_file), koru::skin::kImageDamaged);
    EXPECT_TRUE(image.IsNull());
}

TEST(Bmp, PaletteFormatsReadTheirIndexesInOrder) {
    const Bytes palette = {0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0};
    const uint32_t colours[] = {Opaque(0), Opaque(0x0000FF), Opaque(0x00FF00), Opaque(0xFF0000)};
    DibImage image;

    BmpSpec one_bit{10, 1, 1, 0, Bytes(palette.begin(), palette.begin() + 8), {0xA0, 0x40, 0, 0}};
    ASSERT_EQ(Load(image, BmpFile(one_bit)), 0);  // most significant bit first: 1010000001
    const int bits[] = {1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(image.Pixel(x, 0), colours[bits[x]]) << x;

    BmpSpec four_bit{3, 1, 4, 0, palette, {0x12, 0x30, 0, 0}};  // high nibble first
    ASSERT_EQ(Load(image, BmpFile(four_bit)), 0);
    EXPECT_EQ(image.Pixel(0, 0), colours[1]);
    EXPECT_EQ(image.Pixel(1, 0), colours[2]);
    EXPECT_EQ(image.Pixel(2, 0), colours[3]);

    BmpSpec eight_bit{2, 2, 8, 0, palette, {3, 2, 0, 0, 1, 9, 0, 0}};  // bottom row first
    ASSERT_EQ(Load(image, BmpFile(eight_bit)), 0);
    EXPECT_EQ(image.Pixel(0, 0), colours[1]);
    EXPECT_EQ(image.Pixel(1, 0), Opaque(0));  // index past the colour table: black
    EXPECT_EQ(image.Pixel(0, 1), colours[3]);
    EXPECT_EQ(image.Pixel(1, 1), colours[2]);
}

TEST(Bmp, SixteenAndThirtyTwoBitPixels) {
    DibImage image;
    // 5-5-5: red 31, green 1, blue 2 -> each shifted left by 3.
    const uint16_t word = 31 << 10 | 1 << 5 | 2;
    BmpSpec sixteen{1, 1,  16,
                    0, {}, {static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8), 0, 0}};
    ASSERT_EQ(Load(image, BmpFile(sixteen)), 0);
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0xF80810));
    // 32 bits: blue, green, red taken, the fourth byte of the file ignored.
    BmpSpec thirty_two{1, 1, 32, 0, {}, {0x11, 0x22, 0x33, 0x00}};
    ASSERT_EQ(Load(image, BmpFile(thirty_two)), 0);
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0x332211));
}

TEST(Bmp, TopDownFilesKeepTheirRowOrder) {
    BmpSpec spec{1, -2, 24, 0, {}, {1, 1, 1, 0, 2, 2, 2, 0}};
    DibImage image;
    ASSERT_EQ(Load(image, BmpFile(spec)), 0);
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0x010101));
    EXPECT_EQ(image.Pixel(0, 1), Opaque(0x020202));
}

TEST(Bmp, RunLengthFilesExpandRunsLiteralsDeltasAndLineEnds) {
    Bytes palette;
    for (int i = 0; i < 16; ++i)
        koru::test::PutBytes(&palette, {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    DibImage image;
    // 8-bit, 5 x 3, file rows bottom-up:
    //   row 0: run of 3 x 7, literal {1, 2, 3} (odd count: padded), end of line
    //   then delta (1, 1) to row 2, x 1: run of 2 x 9, end of bitmap.
    BmpSpec rle8{5, 3, 8, 1, palette, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 9, 0, 1}};
    ASSERT_EQ(Load(image, BmpFile(rle8)), 0);
    auto grey = [](int v) { return Opaque(uint32_t(v) * 0x010101); };
    const int bottom[] = {7, 7, 7, 1, 2};  // decoded row 2
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(image.Pixel(x, 2), grey(bottom[x])) << x;
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(image.Pixel(x, 1), grey(0)) << x;  // never written
    const int top[] = {0, 9, 9, 0, 0};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(image.Pixel(x, 0), grey(top[x])) << x;

    // 4-bit: a run alternates its two nibbles; a literal of 3 nibbles takes 2 bytes.
    BmpSpec rle4{6, 1, 4, 2, palette, {3, 0x12, 0, 3, 0x45, 0x60, 0, 1}};
    ASSERT_EQ(Load(image, BmpFile(rle4)), 0);
    const int nibbles[] = {1, 2, 1, 4, 5, 6};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(image.Pixel(x, 0), grey(nibbles[x])) << x;

    // Runs past the row and data that ends early stay inside the image.
    BmpSpec wild{2, 2, 8, 1, palette, {255, 5, 0, 2, 255, 255, 0}};
    EXPECT_EQ(Load(image, BmpFile(wild)), 0);
}

TEST(Bmp, BitFieldsOtherCompressionsAndLyingHeaders) {
    DibImage image;
    std::string kind = "x";
    EXPECT_EQ(Load(image, BmpFile({1, 1, 32, 3, {}, {0, 0, 0, 0}}), &kind),
              koru::skin::kImageBitFields);
    EXPECT_EQ(kind, "");
    EXPECT_EQ(Load(image, BmpFile({1, 1, 24, 4, {}, {0xFF, 0xD8, 0xFF, 0}})),
              koru::skin::kImageNotRecognised);
    // Sizes that the data cannot hold, or that no skin needs: refused, never read or allocated.
    EXPECT_EQ(Load(image, BmpFile({100000, 100000, 24, 0, {}, {1, 2, 3, 0}})),
              koru::skin::kImageDamaged);
    EXPECT_EQ(Load(image, BmpFile({2000, 2000, 24, 0, {}, {1, 2, 3, 0}})),
              koru::skin::kImageDamaged);
    EXPECT_EQ(Load(image, BmpFile({0, 1, 24, 0, {}, {}})), koru::skin::kImageDamaged);
    EXPECT_EQ(Load(image, BmpFile({1, 1, 7, 0, {}, {0, 0, 0, 0}})), koru::skin::kImageDamaged);
    EXPECT_EQ(Load(image, BmpFile({1, 1, 24, 1, {}, {0, 1}})), koru::skin::kImageDamaged);
    Bytes offset_past_end = koru::test::Bmp24(1, 1, {0});
    offset_past_end[10] = 0xFF;
    EXPECT_EQ(Load(image, offset_past_end), koru::skin::kImageDamaged);
    EXPECT_EQ(Load(image, Bytes{'B', 'M', 0, 0}), koru::skin::kImageNotRecognised);
    EXPECT_TRUE(image.IsNull());
}

TEST(Recognition, JpegEmfUnknownAndFakeGifHeaders) {
    DibImage image;
    std::string kind;
    Bytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
    EXPECT_EQ(Load(image, jpeg, &kind), koru::skin::kImageNotDecodable);
    EXPECT_EQ(kind, "jpg");
    Bytes emf(88, 0);
    emf[0] = 1;
    emf[40] = ' ';
    emf[41] = 'E';
    emf[42] = 'M';
    emf[43] = 'F';
    EXPECT_EQ(Load(image, emf, &kind), koru::skin::kImageNotDecodable);
    EXPECT_EQ(kind, "emf");
    Bytes gif88 =
        GifWriter(1, 1, {0, 0, 0, 255, 255, 255}, "GIF88a").Frame(0, 0, 1, 1, {1}).Finish();
    EXPECT_EQ(Load(image, gif88, &kind), koru::skin::kImageNotRecognised);
    EXPECT_EQ(kind, "");
    EXPECT_EQ(Load(image, Bytes{}), koru::skin::kImageNotRecognised);
    EXPECT_EQ(image.LoadFromMemory(nullptr, 5), koru::skin::kImageNotRecognised);
}

const Bytes kPalette4 = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};  // black, red, green, blue

TEST(Gif, GlobalAndLocalColourTables) {
    DibImage image;
    std::string kind;
    Bytes gif =
        GifWriter(2, 1, kPalette4, "GIF87a").Frame(0, 0, 2, 1, {1, 2}, {}, false, 2).Finish();
    ASSERT_EQ(Load(image, gif, &kind), 0);
    EXPECT_EQ(kind, "gif");
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0xFF0000));
    EXPECT_EQ(image.Pixel(1, 0), Opaque(0x00FF00));
    // A local table replaces the global one for its frame only.
    const Bytes local = {9, 9, 9, 8, 8, 8, 7, 7, 7, 6, 6, 6};
    gif = GifWriter(2, 1, kPalette4).Frame(0, 0, 2, 1, {1, 2}, local, false, 2).Finish();
    ASSERT_EQ(Load(image, gif), 0);
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0x080808));
    EXPECT_EQ(image.Pixel(1, 0), Opaque(0x070707));
}

// Two frames on a 4 x 2 canvas: frame 0 fills the canvas with red, frame 1 puts blue at (1, 0).
Bytes TwoFrames(int first_disposal) {
    return GifWriter(4, 2, kPalette4)
        .Control(first_disposal)
        .Frame(0, 0, 4, 2, Bytes(8, 1))
        .Frame(1, 0, 1, 1, {3})
        .Finish();
}

TEST(Gif, FramesAndDisposalMethods) {
    DibImage image;
    ASSERT_EQ(Load(image, TwoFrames(0), nullptr, 0), 0);  // frame 0 only
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image.Pixel(i % 4, i / 4), Opaque(0xFF0000)) << i;

    ASSERT_EQ(Load(image, TwoFrames(1), nullptr, 1), 0);  // frame 0 stays under frame 1
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0xFF0000));
    EXPECT_EQ(image.Pixel(1, 0), Opaque(0x0000FF));

    for (int disposal : {2, 3}) {  // restore to background / restore previous
        ASSERT_EQ(Load(image, TwoFrames(disposal), nullptr, 1), 0) << disposal;
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(image.Pixel(i % 4, i / 4), i == 1 ? Opaque(0x0000FF) : 0u) << disposal << i;
        }
    }
    EXPECT_EQ(Load(image, TwoFrames(0), nullptr, 2), koru::skin::kImageDamaged);  // no frame 2
    EXPECT_TRUE(image.IsNull());
}

TEST(Gif, TransparentIndexLeavesTheCanvas) {
    Bytes gif = GifWriter(3, 1, kPalette4)
                    .Frame(0, 0, 3, 1, {1, 1, 1})
                    .Control(1, 0)
                    .Frame(0, 0, 3, 1, {0, 2, 0})
                    .Finish();
    DibImage image;
    ASSERT_EQ(Load(image, gif, nullptr, 1), 0);
    EXPECT_EQ(image.Pixel(0, 0), Opaque(0xFF0000));
    EXPECT_EQ(image.Pixel(1, 0), Opaque(0x00FF00));
    EXPECT_EQ(image.Pixel(2, 0), Opaque(0xFF0000));
    // A frame partly outside the canvas is cut; nothing outside is drawn.
    gif = GifWriter(2, 2, kPalette4).Frame(1, 1, 3, 3, Bytes(9, 3)).Finish();
    ASSERT_EQ(Load(image, gif), 0);
    EXPECT_EQ(image.Pixel(1, 1), Opaque(0x0000FF));
    EXPECT_EQ(image.Pixel(0, 0), 0u);
}

// A pseudo-random image of 256 colours, large enough to fill the LZW table several times.
Bytes NoiseIndexes(int count, unsigned seed, int colours) {
    std::mt19937 random(seed);
    Bytes indexes(static_cast<size_t>(count));
    for (auto& index : indexes)
        index = static_cast<uint8_t>(random() % colours);
    // Runs make long strings, noise makes the table fill up.
    for (size_t i = 0; i + 40 < indexes.size(); i += 97)
        std::fill_n(indexes.begin() + i, 40, 5);
    return indexes;
}

TEST(Gif, LongLzwStreamsAndInterlacedFramesDecodeExactly) {
    Bytes palette(768);
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = uint8_t(i);
        palette[i * 3 + 1] = uint8_t(255 - i);
        palette[i * 3 + 2] = uint8_t(i * 7);
    }
    for (bool interlaced : {false, true}) {
        const int width = 97, height = 61;
        const Bytes indexes =
            NoiseIndexes(width * height, interlaced ? 2 : 1, interlaced ? 256 : 3);
        Bytes gif = GifWriter(width, height, palette)
                        .Frame(0, 0, width, height, indexes, {}, interlaced)
                        .Finish();
        DibImage image;
        ASSERT_EQ(Load(image, gif), 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const int i = indexes[static_cast<size_t>(y * width + x)];
                const uint32_t want =
                    Opaque(uint32_t(i) << 16 | uint32_t(255 - i) << 8 | uint8_t(i * 7));
                ASSERT_EQ(image.Pixel(x, y), want) << interlaced << " " << x << "," << y;
            }
        }
    }
}

TEST(Gif, DamagedStreamsGiveACodeOrAPartialFrame) {
    DibImage image;
    Bytes gif = GifWriter(4, 1, kPalette4).Frame(0, 0, 4, 1, {1, 2, 3, 1}).Finish();
    for (size_t cut = 6; cut < gif.size() - 1; ++cut) {  // every truncation
        Bytes part(gif.begin(), gif.begin() + static_cast<long>(cut));
        const int result = Load(image, part);
        EXPECT_TRUE(result == koru::skin::kImageDamaged || result == 0) << cut;
    }
    Bytes huge = GifWriter(60000, 60000, kPalette4).Frame(0, 0, 1, 1, {1}).Finish();
    EXPECT_EQ(Load(image, huge), koru::skin::kImageDamaged);
    Bytes huge_frame = GifWriter(2, 2, kPalette4).Finish();
    huge_frame.pop_back();
    koru::test::PutBytes(&huge_frame, {0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 0, 0x3B});
    EXPECT_EQ(Load(image, huge_frame), koru::skin::kImageDamaged);
}

// Joined data of a MOT alpha extension: a word, the payload sizes, the payloads.
Bytes AlphaData(uint32_t first_word, const std::vector<Bytes>& payloads) {
    Bytes data;
    koru::test::PutLe32(&data, first_word);
    for (const Bytes& payload : payloads)
        koru::test::PutLe32(&data, uint32_t(payload.size()));
    for (const Bytes& payload : payloads)
        koru::test::PutBytes(&data, payload);
    return data;
}

TEST(GifAlpha, RunLengthPayloadSetsTheFourthByte) {
    // 0 followed by count 3: three pixels of alpha 0; 200: one pixel of alpha 200.
    const Bytes payload = {0, 3, 200};
    const Bytes data = AlphaData(0, {payload});
    Bytes gif =
        GifWriter(4, 1, kPalette4)
            .Frame(0, 0, 4, 1, {1, 1, 1, 1})
            .Application("MOT1ALPA", {uint8_t(data.size()), uint8_t(data.size() >> 8), 1}, data)
            .Finish();
    DibImage image;
    ASSERT_EQ(Load(image, gif), 0);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(image.Pixel(x, 0), 0x00FF0000u) << x;
    EXPECT_EQ(image.Pixel(3, 0), 0xC8FF0000u);
}

TEST(GifAlpha, FramePayloadsAreFoundPastTheEarlierOnes) {
    // MOT1TR00: the frame count is the first word of the data; frame 1's payload follows
    // frame 0's.
    const Bytes data = AlphaData(2, {{7, 7}, {255, 2, 9}});
    auto build = [&](const char* id, Bytes auth, const Bytes& joined) {
        return GifWriter(3, 1, kPalette4)
            .Frame(0, 0, 3, 1, {1, 1, 1})
            .Frame(0, 0, 3, 1, {2, 2, 2})
            .Application(id, auth, joined)
            .Finish();
    };
    const Bytes auth = {0, 0, uint8_t(data.size())};
    DibImage image;
    ASSERT_EQ(Load(image, build("MOT1TR00", auth, data), nullptr, 1), 0);
    EXPECT_EQ(image.Pixel(0, 0) >> 24, 255u);
    EXPECT_EQ(image.Pixel(1, 0) >> 24, 255u);
    EXPECT_EQ(image.Pixel(2, 0) >> 24, 9u);
    // The extension after the last frame serves every frame: frame 0 gets the first payload.
    ASSERT_EQ(Load(image, build("MOT1TR00", auth, data), nullptr, 0), 0);
    EXPECT_EQ(image.Pixel(0, 0), 0x07FF0000u);
    EXPECT_EQ(image.Pixel(1, 0) >> 24, 7u);
    EXPECT_EQ(image.Pixel(2, 0) >> 24, 255u);

    // Frame counts and sizes that the data does not hold hand nothing over.
    const Bytes lying_count = AlphaData(5000000, {{7}});
    const Bytes lying_size = [] {
        Bytes d;
        koru::test::PutLe32(&d, 2);
        koru::test::PutLe32(&d, 1);
        koru::test::PutLe32(&d, 0xFFFFFFF0u);
        d.push_back(7);
        return d;
    }();
    for (const Bytes& joined : {lying_count, lying_size, Bytes{}}) {
        ASSERT_EQ(Load(image, build("MOT1TR00", {0, 0, 0}, joined), nullptr, 1), 0);
        EXPECT_EQ(image.Pixel(0, 0) >> 24, 255u);
    }
    // MOT1ALPA takes its frame count from the third header byte: frame 1 of a count of 1 is
    // past it.
    ASSERT_EQ(Load(image, build("MOT1ALPA", {0, 0, 1}, AlphaData(0, {{7}})), nullptr, 1), 0);
    EXPECT_EQ(image.Pixel(0, 0) >> 24, 255u);
    // Another application's extension is left alone.
    ASSERT_EQ(Load(image, build("NETSCAPE", {'2', '.', '0'}, data), nullptr, 1), 0);
    EXPECT_EQ(image.Pixel(2, 0) >> 24, 255u);
}

TEST(GifAlpha, PayloadStopsAtTheCanvasEndAndAtADanglingRunByte) {
    koru::skin::DecodedImage canvas;
    canvas.Allocate(2, 2);
    koru::skin::ApplyAlphaPayload(canvas.pixels.data(), 2, 2, 8, Bytes{255, 200, 5, 6, 7});
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(canvas.pixels[size_t(i) * 4 + 3], 255) << i;
    canvas.Allocate(3, 1);
    koru::skin::ApplyAlphaPayload(canvas.pixels.data(), 3, 1, 12, Bytes{9, 0});
    EXPECT_EQ(canvas.pixels[3], 9);
    EXPECT_EQ(canvas.pixels[7], 0);
}

}  // namespace
