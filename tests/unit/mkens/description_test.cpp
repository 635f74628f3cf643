#include "tools/mkens/description.h"

#include <gtest/gtest.h>

#include "support/environment.h"

namespace koru::mkens {
namespace {

constexpr char kMinimal[] = R"(
# comment
[ensemble]
eid = 0x1234
label = Test Ens
seconds = 5

[subchannel 2]
bitrate = 128
protection = uep 3

[subchannel 7]
bitrate = 64
protection = eep 1-b
start = 200

[radio]
sid = 0x1001
label = Radio One
subchannel = 2
dls = "quoted" text stays as it is
slide = a.jpg smptebars "Slide A"

[data]
sid = 0xE0123456
label = Web
subchannel = 7
address = 5
object = index.htm file site/index.htm gzip
object = img/a.png image rgbtestsrc 80x60 "Hi" gzip
)";

TEST(Description, ReadsEveryKind) {
    std::string error;
    const auto d = ParseDescriptionText(kMinimal, "/base", &error, "t.ens");
    ASSERT_TRUE(d) << error;
    EXPECT_EQ(d->eid, 0x1234);
    EXPECT_EQ(d->frames, 2 * kFramesPerBlock);  // 5 s rounds up to 9.024 s
    ASSERT_EQ(d->subchannels.size(), 2u);
    EXPECT_EQ(d->subchannels[0].protection, dab::Protection::Uep(35));
    EXPECT_EQ(d->subchannels[1].protection.SizeCu(), 54);
    EXPECT_EQ(PlaceSubchannels(*d), (std::vector<int>{0, 200}));
    ASSERT_EQ(d->services.size(), 2u);
    const ServiceDescription& radio = d->services[0];
    EXPECT_EQ(radio.dls, std::vector<std::string>{"\"quoted\" text stays as it is"});
    ASSERT_EQ(radio.slides.size(), 1u);
    EXPECT_EQ(radio.slides[0].image->source, "smptebars");
    EXPECT_EQ(radio.slides[0].image->text, "Slide A");
    const ServiceDescription& data = d->services[1];
    EXPECT_TRUE(data.long_sid);
    EXPECT_EQ(data.scid, 1);
    ASSERT_EQ(data.objects.size(), 2u);
    EXPECT_EQ(data.objects[0].file, "site/index.htm");
    EXPECT_TRUE(data.objects[0].gzip);
    EXPECT_EQ(data.objects[1].image->width, 80);
    EXPECT_EQ(data.objects[1].image->text, "Hi");
    EXPECT_TRUE(data.objects[1].gzip);
    EXPECT_FALSE(data.mot_header_mode);  // websites go in directory mode unless told

    const dab::Ensemble e = ToEnsemble(*d);
    EXPECT_EQ(e.services[0].components[0].user_apps[0].type, dab::kUserAppSlideshow);
    EXPECT_EQ(e.services[1].components[0].packet_address, 5);
    EXPECT_EQ(e.services[1].components[0].tmid, dab::kPacketData);
    EXPECT_EQ(e.subchannels[1].start_cu, 200);
}

// Each mistake is reported with the line it is on.
TEST(Description, ReportsMistakesByLine) {
    const std::string head =
        "[ensemble]\neid = 1\nlabel = E\nseconds = 5\n[subchannel 1]\nbitrate = 128\n"
        "protection = uep 3\n";
    const std::string radio = "[radio]\nsid = 0x1001\nlabel = R\nsubchannel = 1\n";
    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {head + radio + "colour = red\n", "t.ens:12: unknown key 'colour'"},
        {head + "[radio\n", "t.ens:8: section header"},
        {head + "[video]\n", "t.ens:8: unknown section"},
        {head + "[subchannel 2]\nbitrate = 100\nprotection = eep 1-b\n" + radio,
         "t.ens:8: protection 'eep 1-b' does not fit 100"},
        {head + "[subchannel 2]\nbitrate = 64\nprotection = uep 3\nstart = 50\n" + radio,
         "t.ens:8: overlaps"},
        {head + "[subchannel 2]\nbitrate = 384\nprotection = eep 1-a\nstart = 500\n" + radio,
         "t.ens:8: beyond 864 CUs"},
        {head + "[radio]\nsid = 0x1001\nlabel = This label is too long\nsubchannel = 1\n",
         "t.ens:8: label 'This label is too long'"},
        {head + "[radio]\nsid = 0x1001\nlabel = R\nsubchannel = 3\n",
         "t.ens:8: service without a defined subchannel"},
        {head + radio + radio, "t.ens:12: sid used twice"},
        {head + "[tv]\nsid = 0x1002\nlabel = T\nsubchannel = 1\n",
         "t.ens:8: outer-coded TV needs a bit rate that fills whole 204-byte packets"},
        {head + "[tv]\nsid = 0x1002\nlabel = T\nsubchannel = 1\nouter = off\naudio = bsac\n",
         "t.ens:8: audio = bsac needs systems = mpeg4"},
        {head + radio + "[tv]\nsid = 0x1002\nlabel = T\nsubchannel = 1\n",
         "t.ens:12: a stream sub-channel carries one service only"},
        {head + "[data]\nsid = 0x1001\nlabel = D\nsubchannel = 1\naddress = 1\n",
         "t.ens:8: data service without objects"},
        {head + radio + "pad = 4\ndls = x\n", "t.ens:8: pad must leave room"},
        {head + radio + "sid = 0x1FFFFFFFF\n", "t.ens:12: '0x1FFFFFFFF' is not a number"},
        {head + radio + "slide = a.jpg\n", "t.ens:12: expected: slide = NAME SOURCE"},
        {head + "[data]\nsid = 0x1001\nlabel = D\nsubchannel = 1\naddress = 1\n"
                "object = ../x file y\n",
         "t.ens:13: object name '../x' is not a relative name"},
        {head + "[data]\nsid = 0x1001\nlabel = D\nsubchannel = 1\naddress = 1\nmot = both\n",
         "t.ens:13: mot must be directory or header"},
        {"[ensemble]\neid = 1\nlabel = E\n[subchannel 1]\nbitrate = 64\nprotection = uep 3\n" +
             radio,
         "t.ens:1: [ensemble] needs seconds"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseDescriptionText(c.text, "/", &error, "t.ens")) << c.expected;
        EXPECT_EQ(error.substr(0, c.expected.size()), c.expected) << error;
    }
}

TEST(Description, TheDemoDescriptionsAreValid) {
    for (const char* name : {"208736.ens", "205280.ens", "1452960.ens"}) {
        std::string error;
        const auto d = ParseDescription(koru::test::SourceDir() / "data" / "demo" / name, &error);
        ASSERT_TRUE(d) << error;
        EXPECT_GE(d->frames * kFrameSeconds, 15.0);
        EXPECT_LE(d->frames * kFrameSeconds, 30.0);
    }
    std::string error;
    EXPECT_FALSE(ParseDescription("/nonexistent.ens", &error));
    EXPECT_EQ(error, "cannot open /nonexistent.ens");
}

}  // namespace
}  // namespace koru::mkens
