// DAB+ services in the download thread: which services are DAB+, and what the terminal gets
// from a sub-channel's bytes: LOAS frames of the units, lost ones empty in their place, and the
// share of lost units for the signal reports.
#include <gtest/gtest.h>

#include <cstring>

#include "dab/loas.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/dabplus/dabplus.h"
#include "support/dabplus_reference.h"

namespace {

using koru::test::kIndia;

// An ensemble of one service on SubChId 2: EEP 3-A of 48 CUs (64 kbit/s).
struct Ensemble {
    ChannelInfo info{};
    Ensemble(uint8_t tmid, uint8_t ascty) {
        ServiceRecord& service = info.services[0];
        service.in_use = kRecordInUse;
        service.sid = 0x4C31;
        service.component_count = 1;
        service.components[0] = ComponentReference(0);
        ComponentRecord& component = info.components[0];
        component.in_use = kRecordInUse;
        component.tmid = tmid;
        component.type = ascty;
        component.subchid = 2;
        SubChannelRecord& sub = info.subchannels[2];
        sub.in_use = kRecordInUse;
        sub.subchid = 2;
        sub.form = 1;
        sub.option = 0;
        sub.protection_level = 2;
        sub.size = 48;
    }
};

TEST(DabPlus, OnlyStreamAudioOfAscty63IsDabPlus) {
    EXPECT_NE(DabPlusStream::ForService(Ensemble(0, kAsctyDabPlus).info,
                                        Ensemble(0, kAsctyDabPlus).info.services[0]),
              nullptr);
    Ensemble layer_two(0, 0);
    EXPECT_EQ(DabPlusStream::ForService(layer_two.info, layer_two.info.services[0]), nullptr);
    Ensemble stream_data(1, kAsctyDabPlus);  // TMId 1: DSCTy 63, no audio
    EXPECT_EQ(DabPlusStream::ForService(stream_data.info, stream_data.info.services[0]), nullptr);
    Ensemble unknown(0, kAsctyDabPlus);
    unknown.info.subchannels[2].in_use = 0;  // no FIG 0/1 for its sub-channel
    EXPECT_EQ(DabPlusStream::ForService(unknown.info, unknown.info.services[0]), nullptr);
}

TEST(DabPlus, UnitsGoOutInLoasFramesAndLostOnesAreCountedAsErrors) {
    if (koru::test::ReferenceDabPlusEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto frames = koru::test::ReferenceFrames(kIndia);
    ASSERT_GE(frames.size(), 100u);
    frames.resize(100);  // 20 superframes
    for (size_t i = 50; i < 55; ++i)
        std::memset(frames[i].data(), 0x5A, frames[i].size());  // superframe 10 destroyed
    const auto reference = koru::test::ReferenceUnits(kIndia);
    DabPlusStream stream(kIndia.bitrate_kbps);
    std::vector<uint8_t> delivered;
    int deliveries = 0;
    for (const auto& frame : frames) {
        stream.Feed(frame.data(), static_cast<int>(frame.size()), [&](const uint8_t* d, size_t n) {
            delivered.insert(delivered.end(), d, d + n);
            ++deliveries;
        });
    }
    EXPECT_EQ(deliveries, 20);  // one delivery a superframe
    koru::dab::LoasReader reader;
    std::vector<std::vector<uint8_t>> units;
    for (size_t at = 0; at < delivered.size();) {
        const size_t length = koru::dab::LoasFrameLength(std::span(delivered).subspan(at));
        ASSERT_GT(length, 0u);
        const auto unit = reader.Read(std::span(delivered).subspan(at, length));
        ASSERT_TRUE(unit);
        EXPECT_EQ(reader.config(), koru::dab::AudioSpecificConfigOf(kIndia.format));
        units.push_back(*unit);
        at += length;
    }
    ASSERT_EQ(units.size(), 60u);
    for (size_t i = 0; i < units.size(); ++i) {
        if (i >= 30 && i < 33) {
            EXPECT_TRUE(koru::dab::IsEmptyAccessUnit(units[i])) << i;
        } else {
            EXPECT_EQ(units[i], reference[i]) << i;
        }
    }
    EXPECT_EQ(stream.TakeErrorShare(), 3 * 1000000 / 60);
    EXPECT_EQ(stream.TakeErrorShare(), 0);  // none since
}

}  // namespace
