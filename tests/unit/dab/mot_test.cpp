// MSC data groups, packet mode and MOT objects: written then read back byte for byte, and the
// faults of the air (corrupt packets, lost packets, segments out of order or repeated).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dab/crc.h"
#include "dab/gzip.h"
#include "dab/mot.h"
#include "dab/msc_data_group.h"
#include "dab/packet.h"

namespace koru::dab {
namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> Pattern(size_t n, int seed) {
    std::vector<uint8_t> out(n);
    std::mt19937 random(seed);
    for (auto& b : out)
        b = static_cast<uint8_t>(random());
    return out;
}

TEST(MscDataGroup, RoundTripsEveryField) {
    MscDataGroup full;
    full.type = kDataGroupMotBody;
    full.continuity = 9;
    full.repetition = 3;
    full.extension = 0xBEEF;
    full.segmented = true;
    full.last = true;
    full.segment = 32767;
    full.user_access = true;
    full.transport_id = 0x1234;
    full.end_user_address = {1, 2, 3};
    full.data = Pattern(100, 1);
    MscDataGroup plain;
    plain.crc = false;
    plain.data = Bytes("tpeg");
    for (const MscDataGroup& g : {full, plain}) {
        const std::vector<uint8_t> bytes = BuildMscDataGroup(g);
        const auto back = ParseMscDataGroup(bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, g);
    }
}

TEST(MscDataGroup, RejectsBadBytes) {
    MscDataGroup g;
    g.data = Pattern(10, 2);
    std::vector<uint8_t> bytes = BuildMscDataGroup(g);
    bytes[4] ^= 0x10;
    DataGroupError error;
    EXPECT_FALSE(ParseMscDataGroup(bytes, &error));
    EXPECT_EQ(error, DataGroupError::kCrc);
    EXPECT_FALSE(ParseMscDataGroup(std::vector<uint8_t>{0x10}, &error));
    EXPECT_EQ(error, DataGroupError::kTooShort);
    // User access with a transport id flag but a length indicator of 1.
    EXPECT_FALSE(ParseMscDataGroup(std::vector<uint8_t>{0x14, 0x00, 0x11, 0x00}, &error));
    EXPECT_EQ(error, DataGroupError::kBadUserAccess);
    // User access length beyond the data group.
    EXPECT_FALSE(ParseMscDataGroup(std::vector<uint8_t>{0x14, 0x00, 0x1F, 0x00}, &error));
}

TEST(Packets, LengthsAndFields) {
    PacketWriter writer(1000);
    const auto packets = writer.Packetize(Pattern(200, 3));
    ASSERT_EQ(packets.size(), 3u);  // 91 + 91 + 18
    EXPECT_EQ(packets[0].size(), 96u);
    EXPECT_EQ(packets[2].size(), 24u);
    const auto first = ParsePacket(packets[0]);
    const auto last = ParsePacket(packets[2]);
    ASSERT_TRUE(first && last);
    EXPECT_TRUE(first->first);
    EXPECT_FALSE(first->last);
    EXPECT_EQ(first->address, 1000);
    EXPECT_EQ(last->continuity, 2);
    EXPECT_TRUE(last->last);
    EXPECT_EQ(last->data.size(), 18u);
    const auto pad = ParsePacket(PaddingPacket(48));
    ASSERT_TRUE(pad);
    EXPECT_EQ(pad->address, 0);
    EXPECT_TRUE(pad->data.empty());
    std::vector<uint8_t> lying = packets[2];
    lying[2] = 0x7F;  // useful length beyond the packet
    PutCrc16(lying);
    EXPECT_FALSE(ParsePacket(lying));
}

// Two services share a packet sub-channel with padding packets between them; the assembler
// for one address gets its data groups back, from any cut of the byte stream.
TEST(Packets, AssemblerJoinsOneAddress) {
    PacketWriter a(1), b(2);
    std::vector<std::vector<uint8_t>> groups_a, groups_b;
    std::vector<uint8_t> stream = {0x13, 0x37};  // not a packet: sync must be found
    for (int i = 0; i < 6; ++i) {
        groups_a.push_back(Pattern(50 + 70 * i, 10 + i));
        groups_b.push_back(Pattern(30 + 40 * i, 20 + i));
        auto pa = a.Packetize(groups_a.back());
        auto pb = b.Packetize(groups_b.back());
        for (size_t k = 0; k < std::max(pa.size(), pb.size()); ++k) {
            if (k < pa.size()) stream.insert(stream.end(), pa[k].begin(), pa[k].end());
            if (k < pb.size()) stream.insert(stream.end(), pb[k].begin(), pb[k].end());
            auto pad = PaddingPacket(24);
            stream.insert(stream.end(), pad.begin(), pad.end());
        }
    }
    for (size_t piece : {size_t{1}, size_t{7}, size_t{144}, stream.size()}) {
        std::vector<std::vector<uint8_t>> got;
        PacketAssembler assembler(1, [&](std::vector<uint8_t> g) { got.push_back(g); });
        for (size_t at = 0; at < stream.size(); at += piece) {
            assembler.Feed(std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
        }
        EXPECT_EQ(got, groups_a) << "pieces of " << piece;
        EXPECT_EQ(assembler.continuity_errors(), 0u);
    }
}

TEST(Packets, LostOrCorruptPacketsDropTheirDataGroup) {
    PacketWriter writer(5);
    std::vector<std::vector<uint8_t>> packets;
    std::vector<std::vector<uint8_t>> groups;
    for (int i = 0; i < 4; ++i) {
        groups.push_back(Pattern(150, 30 + i));  // two packets each
        for (auto& p : writer.Packetize(groups.back()))
            packets.push_back(p);
    }
    packets.erase(packets.begin() + 1);  // the second half of group 0 is lost
    packets[4][10] ^= 0x01;              // group 2's second packet corrupt
    std::vector<std::vector<uint8_t>> got;
    PacketAssembler assembler(5, [&](std::vector<uint8_t> g) { got.push_back(g); });
    for (auto& p : packets)
        assembler.Feed(p);
    EXPECT_EQ(got, (std::vector<std::vector<uint8_t>>{groups[1], groups[3]}));
    EXPECT_EQ(assembler.continuity_errors(), 2u);
    EXPECT_EQ(assembler.crc_errors(), 1u);
}

MotObject Object(uint16_t tid, const std::string& name, std::vector<uint8_t> body) {
    MotObject o;
    o.transport_id = tid;
    o.body = std::move(body);
    o.header.body_size = static_cast<uint32_t>(o.body.size());
    o.header.content_type = kMotText;
    o.header.content_subtype = kMotTextHtml;
    o.header.SetContentName(name);
    return o;
}

TEST(Mot, HeaderParametersRoundTrip) {
    MotHeader h;
    h.body_size = (1u << 28) - 1;
    h.content_type = kMotImage;
    h.content_subtype = kMotImagePng;
    h.SetContentName("images/logo.png");
    h.parameters.push_back({kMotCompressionType, {kMotCompressionGzip}});
    h.parameters.push_back({kMotTriggerTime, {0, 0, 0, 0}});
    h.parameters.push_back({kMotVersion, {}});
    h.parameters.push_back({kMotMimeType, Bytes("image/png")});
    h.parameters.push_back({0x25, Pattern(300, 4)});  // a long parameter: 15-bit length
    const std::vector<uint8_t> bytes = BuildMotHeader(h);
    const auto back = ParseMotHeader(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, h);
    EXPECT_EQ(back->ContentName(), "images/logo.png");
    EXPECT_EQ(back->CompressionType(), kMotCompressionGzip);
    // HeaderSize beyond the bytes, a parameter cut short.
    EXPECT_FALSE(ParseMotHeader(std::span(bytes).first(bytes.size() - 1)));
    std::vector<uint8_t> cut = BuildMotHeader(Object(1, "a.htm", {}).header);
    cut[4] = static_cast<uint8_t>((cut[4] & 0xE0) | 0x00);
    cut[5] = 0x09;  // HeaderSize 9 < what the parameter needs
    EXPECT_FALSE(ParseMotHeader(cut));
}

TEST(Mot, DirectoryRoundTrip) {
    MotDirectory d;
    d.carousel_period = 123;
    d.segment_size = 1024;
    d.parameters.push_back({kMotDirectoryIndex, Bytes("\x02index.htm")});
    d.entries.push_back(Object(10, "index.htm", Pattern(500, 5)));
    d.entries.push_back(Object(11, "style.css", Pattern(80, 6)));
    for (MotObject& e : d.entries)
        e.body.clear();
    const auto back = ParseMotDirectory(BuildMotDirectory(d));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, d);
    std::vector<uint8_t> bytes = BuildMotDirectory(d);
    bytes.resize(bytes.size() - 3);
    EXPECT_FALSE(ParseMotDirectory(bytes));
    // A DirectorySize that ends inside the directory's own fields and extension.
    bytes = BuildMotDirectory(d);
    bytes[3] = 14;
    bytes[0] = bytes[1] = bytes[2] = 0;
    EXPECT_FALSE(ParseMotDirectory(bytes));
}

// Header mode: the object is given back whole, with segments out of order and repeated,
// once, and again when its body changes.
TEST(Mot, HeaderModeObjects) {
    MotEncoder encoder(100);
    const MotObject object = Object(42, "news.htm", Pattern(777, 7));
    std::vector<MscDataGroup> groups = encoder.EncodeObject(object);
    ASSERT_EQ(groups.size(), 1u + 8u);
    EXPECT_EQ(groups[0].type, kDataGroupMotHeader);
    EXPECT_EQ(groups[8].continuity, 7);
    std::vector<MotObject> got;
    MotDecoder decoder([&](const MotObject& o) { got.push_back(o); });
    std::vector<MscDataGroup> shuffled(groups.begin() + 1, groups.end());
    std::reverse(shuffled.begin(), shuffled.end());
    shuffled.push_back(groups[3]);
    for (const MscDataGroup& g : shuffled)
        EXPECT_TRUE(decoder.Feed(BuildMscDataGroup(g)));
    EXPECT_TRUE(got.empty());  // no header yet
    EXPECT_TRUE(decoder.Feed(BuildMscDataGroup(groups[0])));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], object);
    for (const MscDataGroup& g : groups)
        decoder.Feed(g);
    EXPECT_EQ(got.size(), 1u);  // the repetition is not reported again
    MotObject changed = Object(42, "news.htm", Pattern(777, 8));
    for (const MscDataGroup& g : encoder.EncodeObject(changed))
        decoder.Feed(g);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], changed);
}

// Directory mode: bodies take their headers from the directory.
TEST(Mot, DirectoryModeObjects) {
    MotEncoder encoder(64);
    MotDirectory d;
    d.carousel_period = 50;
    d.segment_size = 64;
    std::vector<MotObject> objects{Object(1, "index.htm", Pattern(300, 9)),
                                   Object(2, "img/a.png", Pattern(90, 10))};
    for (MotObject o : objects) {
        o.body.clear();
        d.entries.push_back(o);
    }
    std::vector<MotObject> got;
    std::vector<MotDirectory> dirs;
    MotDecoder decoder([&](const MotObject& o) { got.push_back(o); },
                       [&](const MotDirectory& dir) { dirs.push_back(dir); });
    for (const MotObject& o : objects) {
        for (const MscDataGroup& g : encoder.EncodeBody(o))
            decoder.Feed(g);
    }
    EXPECT_TRUE(got.empty());
    for (const MscDataGroup& g : encoder.EncodeDirectory(d, 99))
        decoder.Feed(g);
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(dirs[0], d);
    EXPECT_EQ(got, objects);
    for (const MscDataGroup& g : encoder.EncodeDirectory(d, 99))
        decoder.Feed(g);
    EXPECT_EQ(dirs.size(), 1u);  // the same directory again
}

TEST(Mot, BadSegmentsAreDropped) {
    std::vector<MotObject> got;
    MotDecoder decoder([&](const MotObject& o) { got.push_back(o); });
    decoder.set_max_object_size(1000);
    MotEncoder encoder(400);
    const MotObject big = Object(3, "big.bin", Pattern(1500, 11));
    for (const MscDataGroup& g : encoder.EncodeObject(big))
        decoder.Feed(g);
    EXPECT_TRUE(got.empty());
    MscDataGroup no_tid;
    no_tid.type = kDataGroupMotBody;
    no_tid.segmented = true;
    no_tid.data = {0, 1, 0x55};
    EXPECT_FALSE(decoder.Feed(no_tid));
    no_tid.user_access = true;
    no_tid.transport_id = 5;
    no_tid.data = {0, 9, 0x55};  // segment size beyond the data
    EXPECT_FALSE(decoder.Feed(no_tid));
    // A body whose size differs from the header's BodySize is not reported.
    MotObject liar = Object(4, "liar.txt", Pattern(50, 12));
    liar.header.body_size = 60;
    for (const MscDataGroup& g : encoder.EncodeObject(liar))
        decoder.Feed(g);
    EXPECT_TRUE(got.empty());
}

TEST(Gzip, RoundTripAndLimits) {
    const std::vector<uint8_t> text = Bytes(std::string(2000, 'a') + "<html>KORU</html>");
    const std::vector<uint8_t> packed = GzipCompress(text);
    EXPECT_EQ(packed[0], 0x1F);
    EXPECT_EQ(packed[1], 0x8B);
    EXPECT_LT(packed.size(), 100u);
    EXPECT_EQ(GzipCompress(text), packed);  // deterministic
    EXPECT_EQ(GzipDecompress(packed), text);
    EXPECT_FALSE(GzipDecompress(packed, 100));  // larger than allowed
    EXPECT_FALSE(GzipDecompress(std::span(packed).first(packed.size() - 5)));
    EXPECT_FALSE(GzipDecompress(text));
}

}  // namespace
}  // namespace koru::dab
