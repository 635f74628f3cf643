#include "dab/outer_code.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace koru::dab {
namespace {

using Bytes = std::vector<uint8_t>;

// A transport stream of `count` packets with a running payload, so every packet differs.
Bytes Stream(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes ts;
    for (size_t i = 0; i < count; ++i) {
        ts.push_back(0x47);
        ts.push_back(static_cast<uint8_t>((i >> 8) & 0x1F));
        ts.push_back(static_cast<uint8_t>(i));
        ts.push_back(static_cast<uint8_t>(0x10 | (i & 0x0F)));
        for (size_t b = 4; b < kTsPacketBytes; ++b)
            ts.push_back(static_cast<uint8_t>(random()));
    }
    return ts;
}

// Corrupts `bytes` distinct bytes of the packet (sync included when drawn).
void Corrupt(std::span<uint8_t> packet, int bytes, std::mt19937* random) {
    std::vector<size_t> places(packet.size());
    for (size_t i = 0; i < places.size(); ++i)
        places[i] = i;
    std::shuffle(places.begin(), places.end(), *random);
    for (int i = 0; i < bytes; ++i)
        packet[places[i]] ^= static_cast<uint8_t>(1 + (*random)() % 255);
}

TEST(OuterCode, ReedSolomonCorrectsEightBytesAndRefusesNine) {
    std::mt19937 random(7);
    const Bytes ts = Stream(200, 1);
    for (size_t p = 0; p < 200; ++p) {
        const auto clean = RsEncode(std::span(ts).subspan(p * kTsPacketBytes).first<188>());
        auto received = clean;
        EXPECT_EQ(RsDecode(received), 0);
        const int errors = static_cast<int>(p % 10);  // 0 to 9 bad bytes
        Corrupt(received, errors, &random);
        const auto as_sent = received;
        const int result = RsDecode(received);
        if (errors <= kOuterCorrectableBytes) {
            EXPECT_EQ(result, errors) << "packet " << p;
            EXPECT_EQ(received, clean) << "packet " << p;
        } else {
            EXPECT_EQ(result, -1) << "packet " << p;
            EXPECT_EQ(received, as_sent) << "an uncorrectable packet is left as it came";
        }
    }
}

TEST(OuterCode, TheDeinterleaverUndoesTheInterleaverAfterItsDelay) {
    ConvolutionalInterleaver interleaver(false), deinterleaver(true);
    Bytes in(5000), out;
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(i * 31 + 7);
    for (uint8_t byte : in)
        out.push_back(deinterleaver.Push(interleaver.Push(byte)));
    for (size_t i = kInterleaverFillBytes; i < in.size(); ++i) {
        ASSERT_EQ(out[i], in[i - kInterleaverFillBytes]) << i;
    }
}

// The decoder joined an outer-coded stream at an arbitrary byte, in pieces of any size: every
// packet after the deinterleaver filled comes out whole and in order.
TEST(OuterCode, TheDecoderJoinsAnOuterCodedStreamAtAnyByte) {
    const Bytes ts = Stream(300, 2);
    ConvolutionalInterleaver interleaver(false);
    const Bytes coded = OuterEncode(ts, &interleaver);
    ASSERT_EQ(coded.size(), 300 * kOuterPacketBytes);
    for (size_t join : {size_t{0}, size_t{1}, size_t{203}, size_t{204 * 7 + 99}, size_t{5000}}) {
        OuterDecoder decoder;
        Bytes out;
        for (size_t at = join; at < coded.size(); at += 97) {
            decoder.Process(std::span(coded).subspan(at, std::min<size_t>(97, coded.size() - at)),
                            &out);
        }
        EXPECT_EQ(decoder.mode(), OuterDecoder::Mode::kOuterCoded);
        ASSERT_FALSE(out.empty());
        ASSERT_EQ(out.size() % kTsPacketBytes, 0u);
        // From the first whole packet joined on; the last 11 are still in the deinterleaver.
        const size_t first = (join + kOuterPacketBytes - 1) / kOuterPacketBytes;
        const size_t held = kInterleaverFillBytes / kOuterPacketBytes;
        ASSERT_EQ(out.size(), (300 - first - held) * kTsPacketBytes) << "join " << join;
        EXPECT_TRUE(std::equal(out.begin(), out.end(),
                               ts.begin() + static_cast<long>(first * kTsPacketBytes)))
            << "join " << join;
        EXPECT_EQ(decoder.counts().uncorrectable, 0u);
    }
}

TEST(OuterCode, TheDecoderCorrectsFlagsAndCounts) {
    const Bytes ts = Stream(60, 3);
    Bytes rs;
    for (size_t p = 0; p < 60; ++p) {
        auto packet = RsEncode(std::span(ts).subspan(p * kTsPacketBytes).first<188>());
        std::mt19937 random(static_cast<uint32_t>(p));
        // Packets 20 and 21: 8 bad bytes (not the sync), packet 30: 9.
        if (p == 20 || p == 21) Corrupt(std::span(packet).subspan(1), 8, &random);
        if (p == 30) Corrupt(std::span(packet).subspan(1), 9, &random);
        rs.insert(rs.end(), packet.begin(), packet.end());
    }
    ConvolutionalInterleaver interleaver(false);
    Bytes coded;
    for (uint8_t byte : rs)
        coded.push_back(interleaver.Push(byte));
    OuterDecoder decoder;
    Bytes out;
    decoder.Process(coded, &out);
    const size_t held = kInterleaverFillBytes / kOuterPacketBytes;
    ASSERT_EQ(out.size(), (60 - held) * kTsPacketBytes);
    for (size_t p = 0; p < 60 - held; ++p) {
        const uint8_t* got = out.data() + p * kTsPacketBytes;
        const uint8_t* sent = ts.data() + p * kTsPacketBytes;
        if (p == 30) {
            EXPECT_EQ(got[0], 0x47);
            EXPECT_EQ(got[1] & 0x80, 0x80) << "transport_error_indicator";
        } else {
            EXPECT_TRUE(std::equal(got, got + kTsPacketBytes, sent)) << "packet " << p;
        }
    }
    EXPECT_EQ(decoder.counts().packets, 60 - held);
    EXPECT_EQ(decoder.counts().corrected, 2u);
    EXPECT_EQ(decoder.counts().uncorrectable, 1u);
}

TEST(OuterCode, APlainTransportStreamPassesUnchanged) {
    const Bytes ts = Stream(40, 4);
    OuterDecoder decoder;
    Bytes out;
    // Joined inside a packet; handed over frame by frame as a sub-channel arrives.
    for (size_t at = 1000; at < ts.size(); at += 1632) {
        decoder.Process(std::span(ts).subspan(at, std::min<size_t>(1632, ts.size() - at)), &out);
    }
    EXPECT_EQ(decoder.mode(), OuterDecoder::Mode::kPlain);
    EXPECT_EQ(out, Bytes(ts.begin() + 1000, ts.end()));
}

}  // namespace
}  // namespace koru::dab
