#include "dab/fig.h"

#include <gtest/gtest.h>

#include "dab/crc.h"
#include "dab/eti.h"
#include "dab/fic.h"
#include "support/environment.h"

namespace koru::dab {
namespace {

Label MakeLabel(std::string_view text, std::string_view short_text = {}) {
    std::optional<Label> label = Label::FromUtf8(text, short_text);
    EXPECT_TRUE(label) << text;
    return label.value_or(Label{});
}

// The FIC of the independent recording gives the ensemble its README lists.
TEST(FicDecoder, DecodesTheIndependentRecording) {
    if (koru::test::ReferenceEti().empty()) GTEST_SKIP() << "reference recording absent";
    auto reader = EtiReader::Open(koru::test::ReferenceEti());
    ASSERT_TRUE(reader);
    FicDecoder fic;
    EtiFrame frame;
    while (reader->Next(&frame)) {
        for (const Fib& fib : frame.fibs)
            EXPECT_TRUE(fic.Feed(fib));
    }
    EXPECT_EQ(fic.crc_errors(), 0u);
    EXPECT_EQ(fic.malformed_figs(), 0u);
    ASSERT_TRUE(fic.complete());
    const Ensemble e = fic.ensemble();
    EXPECT_EQ(e.eid, 0x4CA1);
    EXPECT_EQ(e.label.Text(), "Holdout Ens A");
    EXPECT_EQ(e.label.ShortText(), "HoldoutA");
    ASSERT_EQ(e.subchannels.size(), 3u);
    const Subchannel* a = e.FindSubchannel(3);
    const Subchannel* b = e.FindSubchannel(7);
    const Subchannel* c = e.FindSubchannel(12);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->protection, Protection::Uep(35));
    EXPECT_EQ(a->start_cu, 0);
    EXPECT_EQ(b->protection, *Protection::Eep(EepOption::kA, 2, 96));
    EXPECT_EQ(b->start_cu, 96);
    EXPECT_EQ(c->protection, *Protection::Eep(EepOption::kB, 1, 64));
    EXPECT_EQ(c->protection.SizeCu(), 54);
    ASSERT_EQ(e.services.size(), 3u);
    const Service* alpha = e.FindService(0x4A01);
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->label.Text(), "Alpha Tone 440");
    EXPECT_EQ(e.FindService(0x4A02)->label.Text(), "Bravo Tone 1k");
    EXPECT_EQ(e.FindService(0x4A03)->label.Text(), "Charlie 2500Hz");
    ASSERT_EQ(alpha->components.size(), 1u);
    const Component& audio = alpha->components[0];
    EXPECT_EQ(audio.tmid, kStreamAudio);
    EXPECT_EQ(audio.subchannel_id, 3);
    ASSERT_EQ(audio.user_apps.size(), 1u);
    EXPECT_EQ(audio.user_apps[0].type, kUserAppSlideshow);
    EXPECT_EQ(audio.user_apps[0].data, (std::vector<uint8_t>{0x0C, 0x3C}));
}

Ensemble SampleEnsemble() {
    Ensemble e;
    e.eid = 0xC1A1;
    e.label = MakeLabel("Sample Ensemble", "Sample");
    e.subchannels.push_back({1, 0, *Protection::Eep(EepOption::kA, 3, 384)});
    e.subchannels.push_back({2, 288, Protection::Uep(35)});
    e.subchannels.push_back({5, 384, *Protection::Eep(EepOption::kB, 2, 64)});
    Service tv{0xC101, false, MakeLabel("TV One"), {}};
    Component video;
    video.tmid = kStreamData;
    video.type = kDsctyMpeg2Ts;
    video.subchannel_id = 1;
    tv.components.push_back(video);
    Service radio{0xC111, false, MakeLabel("Radio Ünö", "Radio"), {}};
    Component audio;
    audio.subchannel_id = 2;
    audio.user_apps.push_back({kUserAppSlideshow, {0x0C, 0x3C}});
    radio.components.push_back(audio);
    Component second;
    second.subchannel_id = 1;
    second.primary = false;
    second.scids = 1;
    second.label = MakeLabel("Second part");
    radio.components.push_back(second);
    Service web{0xE0C1A101, true, MakeLabel("Website"), {}};
    Component data;
    data.tmid = kPacketData;
    data.type = kDsctyMot;
    data.scid = 0x123;
    data.subchannel_id = 5;
    data.packet_address = 1000;
    data.user_apps.push_back({kUserAppWebsite, {0x01, 0xFF}});
    web.components.push_back(data);
    e.services = {tv, radio, web};
    // Enough services to need more than one FIG per extension.
    for (uint32_t i = 0; i < 6; ++i) {
        Service extra{0xC200 + i, false, MakeLabel("Extra " + std::to_string(i)), {}};
        Component c;
        c.subchannel_id = 2;
        extra.components.push_back(c);
        e.services.push_back(extra);
    }
    return e;
}

std::vector<std::vector<uint8_t>> AllFigs(const Ensemble& e) {
    std::vector<std::vector<uint8_t>> figs{BuildFig0_0(e.eid, 1234), BuildFig1_0(e.eid, e.label)};
    for (auto* build :
         {&BuildFig0_2, &BuildFig0_3, &BuildFig0_8, &BuildFig0_13, &BuildServiceLabels}) {
        for (auto& fig : build(e.services))
            figs.push_back(fig);
    }
    for (auto& fig : BuildFig0_1(e.subchannels))
        figs.push_back(fig);
    return figs;
}

TEST(Figs, EnsembleRoundTripsThroughFibs) {
    const Ensemble in = SampleEnsemble();
    FicDecoder fic;
    for (const std::vector<uint8_t>& fig : AllFigs(in)) {
        ASSERT_LE(fig.size(), kMaxFigSize);
        const Fib fib = BuildFib({fig});
        EXPECT_TRUE(Crc16Matches(fib));
        EXPECT_TRUE(fic.Feed(fib));
    }
    ASSERT_TRUE(fic.complete());
    EXPECT_EQ(fic.cif_count(), 1234);
    const Ensemble out = fic.ensemble();
    EXPECT_EQ(out.eid, in.eid);
    EXPECT_EQ(out.label, in.label);
    EXPECT_EQ(out.label.ShortText(), "Sample");
    EXPECT_EQ(out.subchannels, in.subchannels);
    ASSERT_EQ(out.services.size(), in.services.size());
    for (const Service& service : in.services) {
        const Service* back = out.FindService(service.sid);
        ASSERT_TRUE(back) << service.sid;
        EXPECT_EQ(*back, service) << service.label.Text();
    }
    EXPECT_EQ(out.FindService(0xC111)->label.Text(), "Radio Ünö");
}

TEST(Figs, SeveralFigsShareAFib) {
    const Ensemble e = SampleEnsemble();
    const std::vector<uint8_t> a = BuildFig0_0(e.eid, 0);
    const std::vector<uint8_t> b = BuildFig0_1(e.subchannels)[0];
    const Fib fib = BuildFib({a, b});
    std::vector<uint8_t> types;
    EXPECT_TRUE(ForEachFig(std::span(fib).first(kFibDataSize),
                           [&](const Fig& fig) { types.push_back(fig.data[0] & 0x1F); }));
    EXPECT_EQ(types, (std::vector<uint8_t>{0, 1}));
    EXPECT_EQ(fib[a.size() + b.size()], 0xFF);  // end marker, then zero padding
    EXPECT_EQ(fib[29], 0x00);
}

// FIGs whose length fields lie: nothing outside the FIB or the FIG is read.
TEST(Figs, MalformedFigsAreRejected) {
    std::vector<uint8_t> data(30, 0);
    data[0] = 0x1F;  // type 0, 31 bytes: more than the FIB holds
    int visited = 0;
    EXPECT_FALSE(ForEachFig(data, [&](const Fig&) { ++visited; }));
    EXPECT_EQ(visited, 0);
    data[0] = 0x00;  // length 0
    EXPECT_FALSE(ForEachFig(data, [&](const Fig&) { ++visited; }));

    EXPECT_FALSE(ParseFig0_1(std::vector<uint8_t>{0x04, 0x00}));        // cut entry
    EXPECT_FALSE(ParseFig0_1(std::vector<uint8_t>{0x04, 0x00, 0x80}));  // cut long form
    EXPECT_FALSE(ParseFig0_2(std::vector<uint8_t>{0xC1, 0x01, 0x02, 0x00, 0x04}, false));
    EXPECT_FALSE(ParseFig0_13(std::vector<uint8_t>{0xC1, 0x11, 0x01, 0x00, 0x4F, 0x01}, false));
    Fig1 fig1{0, false, 1, {}};
    EXPECT_FALSE(ParseFig1Label(fig1));

    // A FIB with a bad CRC is counted and changes nothing.
    FicDecoder fic;
    Fib fib = BuildFib({BuildFig1_0(0x1234, MakeLabel("Label"))});
    fib[5] ^= 0x40;
    EXPECT_FALSE(fic.Feed(fib));
    EXPECT_EQ(fic.crc_errors(), 1u);
    EXPECT_TRUE(fic.ensemble().label.empty());
}

TEST(Labels, ShortLabelFlags) {
    const Label label = MakeLabel("KORU Radio One", "KORU One");
    EXPECT_EQ(label.ShortText(), "KORU One");
    EXPECT_EQ(label.short_flags, 0xF81C);  // K O R U space, then O n e
    EXPECT_EQ(MakeLabel("Long label text!").ShortText(), "Long lab");
    EXPECT_FALSE(Label::FromUtf8("This label is far too long"));
    EXPECT_FALSE(Label::FromUtf8("Radio", "Rx"));
    EXPECT_FALSE(Label::FromUtf8("한국"));
}

}  // namespace
}  // namespace koru::dab
