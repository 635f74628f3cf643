#include "m4systems/terminal/recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "m4systems/messages.h"
#include "support/temp_dir.h"

namespace koru::m4 {
namespace {

using koru::test::ReadFile;
using koru::test::TempDir;

constexpr size_t kPacket = 188;

// A transport packet of pid; with a PCR (90 kHz units) when pcr >= 0. The payload bytes carry
// fill so every packet differs.
std::string Packet(int pid, int64_t pcr, uint8_t fill) {
    std::string p(kPacket, static_cast<char>(fill));
    p[0] = 0x47;
    p[1] = static_cast<char>((pid >> 8) & 0x1F);
    p[2] = static_cast<char>(pid & 0xFF);
    if (pcr < 0) {
        p[3] = 0x10;
        return p;
    }
    p[3] = 0x30;
    p[4] = 7;
    p[5] = 0x10;
    p[6] = static_cast<char>(pcr >> 25);
    p[7] = static_cast<char>(pcr >> 17);
    p[8] = static_cast<char>(pcr >> 9);
    p[9] = static_cast<char>(pcr >> 1);
    p[10] = static_cast<char>(((pcr & 1) << 7) | 0x7E);
    p[11] = 0;
    return p;
}

struct RecorderHarness {
    std::vector<std::array<int64_t, 3>> messages;
    uint32_t now = 1000;
    Recorder recorder;

    explicit RecorderHarness(uint64_t limit = Recorder::kSizeLimit)
        : recorder(
              [this](uint32_t m, int64_t w, int64_t l) {
                  messages.push_back({m, w, l});
              },
              [this] { return now; }, limit) {}

    // Hands the bytes over in awkward pieces, as a plug-in may.
    void Write(const std::string& bytes, size_t piece = 100) {
        for (size_t at = 0; at < bytes.size(); at += piece) {
            const std::string part = bytes.substr(at, piece);
            recorder.Write(reinterpret_cast<const uint8_t*>(part.data()), part.size());
        }
    }
    int Count(uint32_t code) const {
        int n = 0;
        for (const auto& m : messages)
            n += m[0] == code;
        return n;
    }
};

TEST(Recorder, TimeJumpsSplitTransportStreamsAtThePacket) {
    TempDir dir;
    RecorderHarness harness;
    const std::string base = (dir / "rec").string();
    ASSERT_TRUE(harness.recorder.Start(base + ".ts"));

    std::string first = Packet(0, -1, 1) + Packet(0x100, 900000, 2) + Packet(0x101, -1, 3);
    harness.Write(first);
    harness.now += 40;
    const std::string steady = Packet(0x100, 900000 + 3600, 4);  // 40 ms later, 40 ms passed
    harness.Write(steady);
    first += steady;
    // A lost second: the clock reference moves as far as time did. No split.
    harness.now += 3000;
    const std::string after_gap = Packet(0x100, 900000 + 3600 + 270000, 5);
    harness.Write(after_gap);
    first += after_gap;
    // Backwards by ten seconds: a new file starts with this packet.
    harness.now += 40;
    const std::string back = Packet(0x100, 0, 6) + Packet(0x101, -1, 7);
    harness.Write(back);
    // Forwards by a minute in 40 ms: the next file.
    harness.now += 40;
    const std::string ahead = Packet(0x100, 60 * 90000, 8);
    harness.Write(ahead);
    // An unfinished packet at the end is still kept.
    const std::string tail = Packet(0x101, -1, 9).substr(0, 50);
    harness.Write(tail);
    harness.recorder.Stop();

    EXPECT_EQ(ReadFile(base + ".ts"), first);
    EXPECT_EQ(ReadFile(base + "-1.ts"), back);
    EXPECT_EQ(ReadFile(base + "-2.ts"), ahead + tail);
    ASSERT_EQ(harness.Count(WM_SYSTEM_RECORD_SPLIT), 2);
    EXPECT_EQ(harness.messages[0][1], 1);
    EXPECT_EQ(harness.messages[1][1], 2);
    EXPECT_FALSE(harness.recorder.Recording());
}

TEST(Recorder, BytesOutOfStepAreKeptInTheirPlace) {
    TempDir dir;
    RecorderHarness harness;
    const std::string path = (dir / "odd.ts").string();
    ASSERT_TRUE(harness.recorder.Start(path));
    const std::string bytes =
        "junk" + Packet(0x100, 100, 1) + std::string(300, 'x') + Packet(0x100, 200, 2) + "\x47tail";
    harness.Write(bytes, 77);
    harness.recorder.Stop();
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_TRUE(harness.messages.empty());
}

TEST(Recorder, TheSizeLimitStopsTheRecording) {
    TempDir dir;
    {
        RecorderHarness harness(1000);
        const std::string path = (dir / "radio.mp2").string();
        ASSERT_TRUE(harness.recorder.Start(path));
        harness.Write(std::string(600, 'a'));
        harness.Write(std::string(600, 'b'));
        harness.Write(std::string(600, 'c'));  // after the stop: ignored
        EXPECT_FALSE(harness.recorder.Recording());
        EXPECT_EQ(ReadFile(path), std::string(600, 'a') + std::string(400, 'b'));
        EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_SIZE_LIMIT), 1);
    }
    {
        // A transport stream keeps whole packets only.
        RecorderHarness harness(5 * kPacket + 100);
        const std::string path = (dir / "tv.ts").string();
        ASSERT_TRUE(harness.recorder.Start(path));
        std::string packets;
        for (int i = 0; i < 10; ++i)
            packets += Packet(0x100, -1, static_cast<uint8_t>(i));
        harness.Write(packets);
        EXPECT_EQ(ReadFile(path), packets.substr(0, 5 * kPacket));
        EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_SIZE_LIMIT), 1);
        harness.recorder.Stop();
        EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_SIZE_LIMIT), 1);
    }
}

// A player killed while recording keeps all but the last second of what arrived.
TEST(Recorder, WhatWasWrittenReachesTheFileWithinASecond) {
    TempDir dir;
    RecorderHarness harness;
    const std::filesystem::path path = dir / "rec.ts";
    ASSERT_TRUE(harness.recorder.Start(path.string()));
    std::string bytes;
    for (int i = 0; i < 5; ++i)
        bytes += Packet(0x100, -1, static_cast<uint8_t>(i));
    harness.Write(bytes);
    harness.now += Recorder::kFlushMs - 1;
    harness.Write(Packet(0x100, -1, 5));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);  // still in the file buffer
    harness.now += 1;
    harness.Write(Packet(0x100, -1, 6), kPacket);
    EXPECT_EQ(std::filesystem::file_size(path), 7 * kPacket);
    // The same for MPEG audio, which is written as it comes.
    const std::filesystem::path audio = dir / "rec.mp2";
    ASSERT_TRUE(harness.recorder.Start(audio.string()));
    harness.Write(std::string(1000, 'a'));
    harness.now += Recorder::kFlushMs;
    harness.Write(std::string(10, 'b'));
    EXPECT_EQ(std::filesystem::file_size(audio), 1010u);
    EXPECT_TRUE(harness.messages.empty());
}

TEST(Recorder, AFileThatCannotBeCreatedIsAWriteError) {
    RecorderHarness harness;
    EXPECT_FALSE(harness.recorder.Start("/no/such/folder/x.mp2"));
    EXPECT_EQ(harness.Count(WM_SYSTEM_RECORD_WRITE_ERROR), 1);
    EXPECT_FALSE(harness.recorder.Recording());
    harness.Write("ignored");
    harness.recorder.Stop();
    EXPECT_EQ(harness.messages.size(), 1u);
}

}  // namespace
}  // namespace koru::m4
