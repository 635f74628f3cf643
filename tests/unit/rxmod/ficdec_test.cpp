#include "rxmod/bb_ficdec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "dab/eti.h"
#include "fig_builder.h"
#include "m4systems/log.h"
#include "rxmod/bb_err.h"
#include "support/environment.h"

namespace koru::test {
namespace {

class FicTest : public ::testing::Test {
  protected:
    void SetUp() override {
        info_ = std::make_unique<ChannelInfo>();
        FIC_Reset(*info_, 208.736);
    }
    ChannelInfo& info() { return *info_; }

    int Decode(std::initializer_list<Bytes> fibs) {
        const Bytes fic = Join(fibs);
        return FIC_Decode(info(), fic.data(), static_cast<int>(fic.size()));
    }

    std::unique_ptr<ChannelInfo> Snapshot() const { return std::make_unique<ChannelInfo>(*info_); }
    bool Unchanged(const ChannelInfo& before) const {
        return std::memcmp(&before, info_.get(), sizeof before) == 0;
    }

  private:
    std::unique_ptr<ChannelInfo> info_;
};

TEST_F(FicTest, ResetMarksApplicationsAndPacketAddressesUnknown) {
    EXPECT_EQ(info().frequency, 208.736);
    EXPECT_EQ(info().services[63].user_application_type, 0xFFFF);
    EXPECT_EQ(info().components[0].packet_address, 0xFFFF);
    EXPECT_EQ(info().services[0].in_use, 0);
}

TEST_F(FicTest, AStreamAudioServiceIsCompleteWithItsLabelAndComponent) {
    EXPECT_EQ(Decode({Fib({Fig1(0, Sid16(0x4CA1), "Holdout Ens A")}),
                      Fib({Fig0(2, AudioService(0x4A01, 3))})}),
              0);
    EXPECT_EQ(FIC_Complete(info()), -1);  // no service label yet
    EXPECT_EQ(Decode({Fib({Fig1(1, Sid16(0x4A01), "Alpha Tone 440")})}), 0);
    EXPECT_EQ(FIC_Complete(info()), 0);

    EXPECT_STREQ(info().ensemble_label, "Holdout Ens A   ");
    const ServiceRecord& service = info().services[0];
    EXPECT_EQ(service.sid, 0x4A01u);
    EXPECT_STREQ(service.label, "Alpha Tone 440  ");
    EXPECT_EQ(service.component_count, 1);
    const ComponentRecord* component = FirstComponent(info(), service);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->tmid, 0);
    EXPECT_EQ(component->subchid, 3);
    EXPECT_EQ(component->ps, 1);
}

TEST_F(FicTest, AFibThatBeginsWithFFIsSkipped) {
    Bytes fib = Fib({Fig1(0, Sid16(0x4CA1), "Ensemble")});
    fib.insert(fib.begin(), 0xFF);
    fib.resize(32);
    EXPECT_EQ(Decode({fib}), 0);
    EXPECT_STREQ(info().ensemble_label, "");
}

TEST_F(FicTest, LongSidsMakeDataServices) {
    // One packet-mode component, SCId 0x123, on sub-channel 9 at packet address 0x2AB.
    const Bytes service =
        Join({Sid32(0xE1C2A001),
              {0x01, 0xC0 | (0x123 >> 6), static_cast<uint8_t>((0x123 & 0x3F) << 2)}});
    EXPECT_EQ(Decode({Fib({Fig1(0, Sid16(0x4CA1), "Ens")}), Fib({Fig0(2, service, true)}),
                      Fib({Fig1(5, Sid32(0xE1C2A001), "TPEG Seoul")})}),
              0);
    const ServiceRecord& record = info().services[0];
    EXPECT_EQ(record.sid, 0xE1C2A001u);
    const ComponentRecord* component = FirstComponent(info(), record);
    ASSERT_NE(component, nullptr);
    EXPECT_EQ(component->tmid, 3);
    EXPECT_EQ(component->scid, 0x123);
    EXPECT_EQ(FIC_Complete(info()), -1);  // the packet address has not come yet

    const Bytes packet = {0x12, 0x30, 0x80 | 5, 9 << 2 | 2, 0xAB};
    EXPECT_EQ(Decode({Fib({Fig0(3, packet)})}), 0);
    EXPECT_EQ(component->packet_address, 0x2AB);
    EXPECT_EQ(component->subchid, 9);
    EXPECT_EQ(component->type, 5);
    EXPECT_EQ(component->dg, 1);
    EXPECT_EQ(FIC_Complete(info()), 0);
}

TEST_F(FicTest, Fig03ForAnUnknownScidChangesNothing) {
    Decode({Fib({Fig0(2, AudioService(0x4A01, 0))})});  // a stream component: SCId field 0
    const auto before = Snapshot();
    EXPECT_EQ(Decode({Fib({Fig0(3, {0x00, 0x00, 0x3C, 0x04, 0x01})})}), 1);
    EXPECT_TRUE(Unchanged(*before));
}

TEST_F(FicTest, ALabelBeforeItsServiceCreatesAServiceWithoutComponents) {
    Decode({Fib({Fig1(0, Sid16(0x4CA1), "Ens")}), Fib({Fig1(1, Sid16(0x4A02), "Bravo")})});
    EXPECT_EQ(info().services[0].in_use, kRecordInUse);
    EXPECT_EQ(info().services[0].component_count, 0);
    EXPECT_EQ(FIC_Complete(info()), -1);
    Decode({Fib({Fig0(2, AudioService(0x4A02, 7))})});
    EXPECT_EQ(FIC_Complete(info()), 0);
    EXPECT_EQ(info().services[1].in_use, 0);  // the same record, not a second one
}

TEST_F(FicTest, AnEnsembleLabelAloneIsNoServiceList) {
    Decode({Fib({Fig1(0, Sid16(0x4CA1), "Ens")})});
    EXPECT_EQ(FIC_Complete(info()), -1);
}

TEST_F(FicTest, StreamDataNeedsTsOrAUserApplication) {
    const Bytes tv = Join({Sid16(0x1001), {0x01, 0x40 | 24, 4 << 2}});
    const Bytes data = Join({Sid16(0x1002), {0x01, 0x40 | 5, 5 << 2}});
    Decode({Fib({Fig1(0, Sid16(1), "Ens"), Fig0(2, tv)}),
            Fib({Fig0(2, data), Fig1(1, Sid16(0x1001), "TV")}),
            Fib({Fig1(1, Sid16(0x1002), "Data")})});
    EXPECT_EQ(FIC_Complete(info()), -1);
    // FIG 0/13: user application 0x003 with two bytes of data.
    const Bytes apps = Join({Sid16(0x1002), {0x01, 0x00, 0x60 | 2, 0xAB, 0xCD}});
    EXPECT_EQ(Decode({Fib({Fig0(13, apps)})}), 0);
    EXPECT_EQ(info().services[1].user_application_type, 3);
    EXPECT_EQ(info().services[1].user_application_data[1], 0xCD);
    EXPECT_EQ(FIC_Complete(info()), 0);

    // An application without data (type 0x002 here) clears what the last one left.
    EXPECT_EQ(Decode({Fib({Fig0(13, Join({Sid16(0x1002), {0x01, 0x00, 0x40}}))})}), 0);
    EXPECT_EQ(info().services[1].user_application_type, 2);
    EXPECT_EQ(info().services[1].user_application_data[1], 0);

    // Applications of a service not (yet) announced are skipped, not created.
    EXPECT_EQ(Decode({Fib({Fig0(13, Join({Sid16(0x7777), {0x01, 0x00, 0x80}}))})}), 0);
    EXPECT_EQ(info().services[2].in_use, 0);
}

TEST_F(FicTest, SubChannelsInShortAndLongForm) {
    const Bytes entries = {3 << 2, 0x00, 35,  // short form, table 35
                           7 << 2, 96,   0x80 | 0x08 | 0x00,
                           96,  // long form EEP 2-A, 96 CU
                           0xFF};
    EXPECT_EQ(Decode({Fib({Fig0(1, entries, false, true)})}), 0);
    const SubChannelRecord& a = info().subchannels[3];
    EXPECT_EQ(a.in_use, kRecordInUse);
    EXPECT_EQ(a.form, 0);
    EXPECT_EQ(a.table_index, 35);
    const SubChannelRecord& b = info().subchannels[7];
    EXPECT_EQ(b.form, 1);
    EXPECT_EQ(b.start_address, 96);
    EXPECT_EQ(b.protection_level, 2);
    EXPECT_EQ(b.size, 96);
    EXPECT_EQ(b.next_configuration, 1);
}

TEST_F(FicTest, AComponentLabelReplacesTheServiceLabel) {
    Decode({Fib({Fig0(2, AudioService(0x4A01, 3)), Fig1(1, Sid16(0x4A01), "Service")})});
    Decode({Fib({Fig1(4, Join({{0x00}, Sid16(0x4A01)}), "Component")})});
    EXPECT_STREQ(info().services[0].label, "Component       ");
}

TEST_F(FicTest, LengthsThatLieNeverLeaveTheFib) {
    const auto before = Snapshot();
    // A FIG announcing 31 bytes, a FIG 0/2 with 15 components but bytes for one, a FIG 0/13
    // whose application data runs past its FIG, a truncated label.
    Bytes overrun = Fib({});
    overrun[0] = 0x1F;
    EXPECT_NE(Decode({overrun}), 0);
    EXPECT_NE(Decode({Fib({Fig0(2, Join({Sid16(0x4A01), {0x0F, 0x00, 0x0C}}))})}), 0);
    EXPECT_NE(Decode({Fib({Fig0(13, Join({Sid16(0x4A01), {0x01, 0x00, 0x1F, 1, 2}}))})}), 0);
    Bytes short_label = {0x20 | 5, 0x01, 0x4A, 0x01, 'A', 'B'};
    EXPECT_NE(Decode({Fib({short_label})}), 0);
    EXPECT_TRUE(Unchanged(*before));
}

TEST_F(FicTest, ResultsOfFigsThisDecoderDoesNotRead) {
    EXPECT_EQ(Decode({Fib({Fig0(0, {0x4C, 0xA1, 0x00, 0x00})})}), 0);
    EXPECT_EQ(Decode({Fib({Fig0(6, {0x00})})}), 1);
    EXPECT_EQ(Decode({Fib({Bytes{0x42, 0x00, 0x00}})}), -3);  // FIG type 2
    EXPECT_EQ(Decode({Fib({Fig1(3, {0x00, 0x00}, "x")})}), 1);
}

TEST_F(FicTest, ALengthThatIsNotWholeFibsIsRefused) {
    const Bytes fic(40, 0);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(FIC_Decode(info(), fic.data(), 40), BB_ERR_INVALID_PARAM);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "FIC BUFFER LENGTH ERROR 40\n");
}

}  // namespace
}  // namespace koru::test

namespace koru::test {
namespace {

// The recording made by independent broadcast tools: every FIB of every frame, from the start.
TEST(FicReferenceTest, DecodesTheIndependentRecording) {
    const std::filesystem::path path = ReferenceEti();
    if (path.empty()) GTEST_SKIP() << "the reference recording is not beside this checkout";
    auto reader = dab::EtiReader::Open(path);
    ASSERT_TRUE(reader.has_value());
    auto info = std::make_unique<ChannelInfo>();
    FIC_Reset(*info, 208.736);
    dab::EtiFrame frame;
    int frames = 0;
    int complete_at = -1;
    while (reader->Next(&frame)) {
        for (const dab::Fib& fib : frame.fibs) {
            // 1 tells of FIGs this decoder does not read; nothing of it may look corrupt.
            EXPECT_GE(FIC_Decode(*info, fib.data(), static_cast<int>(fib.size())), 0);
        }
        if (complete_at < 0 && FIC_Complete(*info) == 0) complete_at = frames;
        ++frames;
    }
    ASSERT_EQ(frames, 501);
    EXPECT_GE(complete_at, 0);
    EXPECT_STREQ(info->ensemble_label, "Holdout Ens A   ");

    struct Expected {
        uint32_t sid;
        const char* label;
        int subchid;
        int start;
        int form;
        int table_index;
        int option;
        int level;
        int size;
    };
    const Expected expected[] = {{0x4A01, "Alpha Tone 440  ", 3, 0, 0, 35, 0, 0, 0},
                                 {0x4A02, "Bravo Tone 1k   ", 7, 96, 1, 0, 0, 1, 96},
                                 {0x4A03, "Charlie 2500Hz  ", 12, 192, 1, 0, 1, 0, 54}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].label);
        const ServiceRecord& service = info->services[i];
        EXPECT_EQ(service.in_use, kRecordInUse);
        EXPECT_EQ(service.sid, expected[i].sid);
        EXPECT_STREQ(service.label, expected[i].label);
        const ComponentRecord* component = FirstComponent(*info, service);
        ASSERT_NE(component, nullptr);
        EXPECT_EQ(component->tmid, 0);
        EXPECT_EQ(component->type, 0);
        EXPECT_EQ(component->ps, 1);
        EXPECT_EQ(component->subchid, expected[i].subchid);
        const SubChannelRecord& sub = info->subchannels[expected[i].subchid];
        EXPECT_EQ(sub.in_use, kRecordInUse);
        EXPECT_EQ(sub.start_address, expected[i].start);
        EXPECT_EQ(sub.form, expected[i].form);
        EXPECT_EQ(sub.table_index, expected[i].table_index);
        EXPECT_EQ(sub.option, expected[i].option);
        EXPECT_EQ(sub.protection_level, expected[i].level);
        EXPECT_EQ(sub.size, expected[i].size);
    }
    EXPECT_EQ(info->services[3].in_use, 0);
    EXPECT_EQ(info->services[0].user_application_type, 2);  // MOT slideshow
    EXPECT_EQ(info->services[0].user_application_data[0], 0x0C);
    EXPECT_EQ(info->services[0].user_application_data[1], 0x3C);
    EXPECT_EQ(info->services[1].user_application_type, kUnknownUserApplication);
}

}  // namespace
}  // namespace koru::test
