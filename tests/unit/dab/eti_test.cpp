#include "dab/eti.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "dab/crc.h"
#include "support/environment.h"

namespace koru::dab {
namespace {

std::vector<uint8_t> ReadReference() {
    std::ifstream in(koru::test::ReferenceEti(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

#define REQUIRE_REFERENCE() \
    if (koru::test::ReferenceEti().empty()) GTEST_SKIP() << "reference recording absent"

// Rewrites the header CRC of the frame at `at` after a test changed its header.
void FixHeaderCrc(std::vector<uint8_t>& data, size_t at) {
    const size_t nst = data[at + 5] & 0x7F;
    const size_t crc_at = at + 8 + 4 * nst + 2;
    const uint16_t crc = Crc16(std::span(data).subspan(at + 4, crc_at - at - 4));
    data[crc_at] = static_cast<uint8_t>(crc >> 8);
    data[crc_at + 1] = static_cast<uint8_t>(crc);
}

struct Counted {
    std::vector<std::pair<size_t, EtiError>> bad;
    size_t good = 0;
};

Counted ReadAll(std::vector<uint8_t> data) {
    Counted counted;
    EtiReader reader(std::move(data));
    reader.set_bad_frame_handler(
        [&](size_t offset, EtiError error) { counted.bad.emplace_back(offset, error); });
    EtiFrame frame;
    while (reader.Next(&frame))
        ++counted.good;
    EXPECT_EQ(reader.good_frames(), counted.good);
    EXPECT_EQ(reader.bad_frames(), counted.bad.size());
    return counted;
}

TEST(EtiReader, ReadsTheIndependentRecording) {
    REQUIRE_REFERENCE();
    auto reader = EtiReader::Open(koru::test::ReferenceEti());
    ASSERT_TRUE(reader);
    EtiFrame frame;
    size_t frames = 0;
    int last_fct = -1;
    while (reader->Next(&frame)) {
        ++frames;
        ASSERT_EQ(frame.fibs.size(), 3u);
        for (const Fib& fib : frame.fibs)
            EXPECT_TRUE(Crc16Matches(fib));
        ASSERT_EQ(frame.streams.size(), 3u);
        const EtiStream* a = frame.FindStream(3);
        const EtiStream* b = frame.FindStream(7);
        const EtiStream* c = frame.FindStream(12);
        ASSERT_TRUE(a && b && c);
        EXPECT_EQ(a->start_address, 0);
        EXPECT_EQ(a->data.size(), 384u);  // 128 kbit/s for 24 ms
        EXPECT_EQ(a->tpl, 0x12);
        EXPECT_EQ(b->start_address, 96);
        EXPECT_EQ(b->data.size(), 288u);
        EXPECT_EQ(c->start_address, 192);
        EXPECT_EQ(c->data.size(), 192u);
        EXPECT_EQ(frame.mid, 1);
        if (last_fct >= 0) {
            EXPECT_EQ(frame.fct, (last_fct + 1) % 250);
        }
        last_fct = frame.fct;
    }
    EXPECT_EQ(frames, 501u);
    EXPECT_EQ(reader->bad_frames(), 0u);
}

// Reading a frame and writing it again gives the same 6144 bytes: the writer lays out every
// field as the independent multiplexer did.
TEST(EtiWriter, RewritesTheIndependentRecordingByteForByte) {
    REQUIRE_REFERENCE();
    const std::vector<uint8_t> data = ReadReference();
    for (size_t at = 0; at + kEtiFrameSize <= data.size(); at += kEtiFrameSize * 50) {
        std::span<const uint8_t> original = std::span(data).subspan(at, kEtiFrameSize);
        EtiFrame frame;
        ASSERT_EQ(ParseEtiFrame(original, &frame), EtiError::kNone);
        const std::vector<uint8_t> written = WriteEtiFrame(frame);
        ASSERT_TRUE(std::equal(written.begin(), written.end(), original.begin())) << at;
    }
}

TEST(EtiWriter, RoundTrip) {
    EtiFrame frame;
    frame.fct = 17;
    frame.fp = 5;
    frame.mnsc = 0x1234;
    frame.tist = 0x00ABCDEF;
    for (int i = 0; i < 3; ++i) {
        Fib fib{};
        fib.fill(static_cast<uint8_t>(i + 1));
        frame.fibs.push_back(fib);
    }
    for (int i = 0; i < 4; ++i) {
        EtiStream stream;
        stream.subchannel_id = static_cast<uint8_t>(10 * i + 1);
        stream.start_address = static_cast<uint16_t>(100 * i);
        stream.tpl = static_cast<uint8_t>(0x20 | i);
        for (int k = 0; k < 8 * (i + 1) * 12; ++k)
            stream.data.push_back(uint8_t(k * 7 + i));
        frame.streams.push_back(stream);
    }
    const std::vector<uint8_t> bytes = WriteEtiFrame(frame);
    ASSERT_EQ(bytes.size(), kEtiFrameSize);
    EXPECT_EQ(bytes.back(), 0x55);
    EtiFrame back;
    ASSERT_EQ(ParseEtiFrame(bytes, &back), EtiError::kNone);
    EXPECT_EQ(back.fsync, kFsyncOdd);  // odd frame count
    frame.fsync = kFsyncOdd;
    EXPECT_EQ(back, frame);
}

TEST(EtiWriter, RefusesWhatIsNoFrame) {
    EtiFrame frame;
    frame.fibs.resize(2);
    EXPECT_THROW(WriteEtiFrame(frame), std::invalid_argument);
    frame.fibs.resize(3);
    frame.streams.push_back(EtiStream{1, 0, 0x12, std::vector<uint8_t>(12)});
    EXPECT_THROW(WriteEtiFrame(frame), std::invalid_argument);
    frame.streams[0].data.resize(6144);
    EXPECT_THROW(WriteEtiFrame(frame), std::invalid_argument);
    frame.streams[0].data.resize(5968);  // just fits
    EXPECT_NO_THROW(WriteEtiFrame(frame));
}

// Faults of recordings: lying length fields, flipped bits, lost bytes, garbage. Each bad
// frame is reported once and the good frames around it still come out.
TEST(EtiReader, SkipsBadFramesAndKeepsSync) {
    REQUIRE_REFERENCE();
    const std::vector<uint8_t> clean = ReadReference();
    const size_t f = kEtiFrameSize;

    {  // FL beyond the frame
        std::vector<uint8_t> data = clean;
        data[2 * f + 6] |= 0x07;
        data[2 * f + 7] = 0xFF;
        FixHeaderCrc(data, 2 * f);
        const Counted c = ReadAll(data);
        EXPECT_EQ(c.good, 500u);
        ASSERT_EQ(c.bad.size(), 1u);
        EXPECT_EQ(c.bad[0], std::make_pair(2 * f, EtiError::kFrameLength));
    }
    {  // an STL that overruns what is left of the frame
        std::vector<uint8_t> data = clean;
        data[3 * f + 8 + 4 * 2 + 2] |= 0x03;
        FixHeaderCrc(data, 3 * f);
        const Counted c = ReadAll(data);
        EXPECT_EQ(c.good, 500u);
        ASSERT_EQ(c.bad.size(), 1u);
        EXPECT_EQ(c.bad[0].second, EtiError::kStreamLength);
    }
    {  // FL a little larger, then a little smaller than FIC and streams together
        std::vector<uint8_t> data = clean;
        data[4 * f + 7] += 2;
        FixHeaderCrc(data, 4 * f);
        data[8 * f + 7] -= 2;
        FixHeaderCrc(data, 8 * f);
        const Counted c = ReadAll(data);
        ASSERT_EQ(c.bad.size(), 2u);
        EXPECT_EQ(c.bad[0].second, EtiError::kFrameLength);
        EXPECT_EQ(c.bad[1].second, EtiError::kStreamLength);
    }
    {  // header CRC, MST CRC, ERR
        std::vector<uint8_t> data = clean;
        data[5 * f + 9] ^= 0x01;
        data[6 * f + 500] ^= 0x80;
        data[7 * f] = 0x00;
        const Counted c = ReadAll(data);
        EXPECT_EQ(c.good, 498u);
        ASSERT_EQ(c.bad.size(), 3u);
        EXPECT_EQ(c.bad[0].second, EtiError::kHeaderCrc);
        EXPECT_EQ(c.bad[1].second, EtiError::kMstCrc);
        EXPECT_EQ(c.bad[2].second, EtiError::kErrorFlag);
    }
    {  // bytes lost inside frame 10, garbage in front, half a frame at the end
        std::vector<uint8_t> data = clean;
        data.erase(data.begin() + 10 * f + 500, data.begin() + 10 * f + 600);
        data.insert(data.begin(), {0x12, 0x07, 0x3A, 0x00, 0x99});
        data.resize(data.size() - (f - 500));
        const Counted c = ReadAll(data);
        EXPECT_EQ(c.good, 499u);  // frame 10 and the cut last one lost
        ASSERT_EQ(c.bad.size(), 3u);
        EXPECT_EQ(c.bad[0], std::make_pair(size_t{0}, EtiError::kNoSync));
        EXPECT_EQ(c.bad[1], std::make_pair(10 * f + 5, EtiError::kMstCrc));
        EXPECT_EQ(c.bad[2].second, EtiError::kTruncated);
    }
}

TEST(EtiReader, EmptyAndTinyInputs) {
    EXPECT_EQ(ReadAll({}).good, 0u);
    const Counted c = ReadAll({0xFF, 0x07, 0x3A});
    EXPECT_EQ(c.good, 0u);
    EXPECT_EQ(c.bad.size(), 1u);
    EtiFrame frame;
    EXPECT_EQ(ParseEtiFrame(std::vector<uint8_t>{0xFF, 0x07, 0x3A, 0xB6, 0, 0x80}, &frame),
              EtiError::kTruncated);
    std::string error;
    EXPECT_FALSE(EtiReader::Open("/nonexistent/file.eti", &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
}

}  // namespace
}  // namespace koru::dab
