// Writes starting inputs for the image, layout, settings and packet-mode fuzz targets:
//   make_fuzz_seeds DIR    -> DIR/bmp, DIR/gif, DIR/lay, DIR/settings, DIR/packet
// e.g. build-fuzz/fuzz/fuzz_gif -max_total_time=300 corpus/gif build-fuzz/fuzz/seeds/gif
#include <filesystem>
#include <fstream>

#include "dab/gzip.h"
#include "dab/mot.h"
#include "dab/packet.h"
#include "support/image_bytes.h"

namespace {

using koru::test::Bytes;

void Write(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// fuzz_gif reads the frame to decode from the first byte.
Bytes WithFrame(uint8_t frame, const Bytes& gif) {
    Bytes out = {frame};
    koru::test::PutBytes(&out, gif);
    return out;
}

// A small website in both MOT modes, for fuzz_packet_data: the directory, then the bodies.
std::vector<koru::dab::MotObject> Website() {
    using namespace koru::dab;
    std::vector<MotObject> site(2);
    site[0].transport_id = 1;
    site[0].header.content_type = kMotText;
    site[0].header.SetContentName("index.htm");
    site[0].header.parameters.push_back({kMotCompressionType, {kMotCompressionGzip}});
    site[0].body = GzipCompress(Text("<html>seed</html>"));
    site[1].transport_id = 2;
    site[1].header.content_type = kMotImage;
    site[1].header.SetContentName("img/a.png");
    site[1].body = Bytes(300, 0x5A);
    for (MotObject& o : site)
        o.header.body_size = static_cast<uint32_t>(o.body.size());
    return site;
}

koru::dab::MotDirectory DirectoryOf(const std::vector<koru::dab::MotObject>& site) {
    koru::dab::MotDirectory directory;
    directory.carousel_period = 10;
    directory.segment_size = 128;
    directory.parameters.push_back({koru::dab::kMotDirectoryIndex, Text("\x01index.htm")});
    for (koru::dab::MotObject entry : site) {
        entry.body.clear();
        directory.entries.push_back(std::move(entry));
    }
    return directory;
}

// fuzz_packet_data input 0: raw sub-channel bytes of address 1, in chunks chosen by byte 1.
Bytes PacketChannel(bool header_mode) {
    using namespace koru::dab;
    const std::vector<MotObject> site = Website();
    MotEncoder encoder(128);
    std::vector<MscDataGroup> groups;
    for (const MotObject& o : site) {
        for (MscDataGroup& g : header_mode ? encoder.EncodeObject(o) : encoder.EncodeBody(o))
            groups.push_back(std::move(g));
    }
    for (MscDataGroup& g : encoder.EncodeDirectory(DirectoryOf(site), 9))
        groups.insert(header_mode ? groups.end() : groups.begin(), std::move(g));
    Bytes out = {0, 11};
    PacketWriter writer(1);
    for (const MscDataGroup& g : groups) {
        for (const Bytes& packet : writer.Packetize(BuildMscDataGroup(g))) {
            koru::test::PutBytes(&out, packet);
            koru::test::PutBytes(&out, PaddingPacket(24));
        }
    }
    for (int i = 0; i < 12; ++i)
        koru::test::PutBytes(&out, PaddingPacket(24));
    return out;
}

// fuzz_packet_data input 3: MOT entities (type, transport id, length, bytes).
Bytes MotEntities() {
    using namespace koru::dab;
    Bytes out = {3, 0};
    const auto entity = [&](uint8_t type, uint16_t tid, const Bytes& bytes) {
        koru::test::PutBytes(
            &out, {type, static_cast<uint8_t>(tid >> 8), static_cast<uint8_t>(tid),
                   static_cast<uint8_t>(bytes.size() >> 8), static_cast<uint8_t>(bytes.size())});
        koru::test::PutBytes(&out, bytes);
    };
    const std::vector<MotObject> site = Website();
    entity(kDataGroupMotBody, 2, site[1].body);
    entity(kDataGroupMotDirectory, 9, BuildMotDirectory(DirectoryOf(site)));
    entity(kDataGroupMotBody, 1, site[0].body);
    entity(kDataGroupMotHeader, 5, BuildMotHeader(site[0].header));
    entity(kDataGroupMotBody, 5, site[0].body);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::filesystem::path dir = argv[1];
    const Bytes palette = {0, 0, 0, 9, 9, 9, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0, 4, 5, 6, 0};
    Write(dir / "bmp/24", koru::test::Bmp24(3, 2, {1, 2, 3, 4, 5, 6}));
    Write(dir / "bmp/1",
          koru::test::BmpFile(
              {9, 2, 1, 0, Bytes(palette.begin(), palette.begin() + 8), Bytes(8, 0x5A)}));
    Write(dir / "bmp/4", koru::test::BmpFile({3, 1, 4, 0, palette, {0x12, 0x30, 0, 0}}));
    Write(dir / "bmp/rle8",
          koru::test::BmpFile(
              {5, 3, 8, 1, palette, {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 9, 0, 1}}));
    Write(dir / "bmp/rle4",
          koru::test::BmpFile({6, 1, 4, 2, palette, {3, 0x12, 0, 3, 0x45, 0x60, 0, 1}}));
    Write(dir / "bmp/16", koru::test::BmpFile({1, 1, 16, 0, {}, {0x22, 0x7C, 0, 0}}));

    const Bytes rgb = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    Bytes alpha;
    koru::test::PutLe32(&alpha, 2);
    koru::test::PutLe32(&alpha, 3);
    koru::test::PutLe32(&alpha, 2);
    koru::test::PutBytes(&alpha, {0, 3, 200, 7, 7});
    Write(dir / "gif/frames", WithFrame(1, koru::test::GifWriter(4, 2, rgb)
                                               .Control(2, 0)
                                               .Frame(0, 0, 4, 2, Bytes(8, 1))
                                               .Control(3)
                                               .Frame(1, 0, 2, 2, {3, 2, 1, 0}, rgb, true, 2)
                                               .Application("MOT1TR00", {0, 0, 20}, alpha)
                                               .Finish()));
    Write(dir / "gif/alpa", WithFrame(0, koru::test::GifWriter(4, 1, rgb)
                                             .Frame(0, 0, 4, 1, {1, 2, 3, 1})
                                             .Application("MOT1ALPA", {20, 0, 2}, alpha)
                                             .Finish()));

    const std::string xml =
        "<s><page id='P' x='100' y='0' width='9' height='9'><panel id='Q' x='20' y='0' width='9' "
        "height='9'><layer id='L' resource='L' x='10' y='0' width='9' height='9' size='1'><oblet "
        "type='button' id='BT_Play' resource='BT_Play' x='5' y='0' width='1' height='1' size1='1' "
        "size3='1'/><oblet type='bitmap' id='BM_A' resource='BM_A' x='1' y='1' width='1' "
        "height='1' size='1'/><oblet type='r' id='RG_SKIN' x='3' y='0' width='5' height='5'/>"
        "</layer></panel></page></s>";
    const Bytes image = koru::test::Bmp24(1, 1, {0x00FF00});
    Write(dir / "lay/skin",
          koru::test::LayFile(
              xml, {{"L", image}, {"BT_Play_1", image}, {"BT_Play_3", image}, {"BM_A", image}}));

    Write(dir / "settings/full",
          Text("<?xml version=\"1.0\"?><Velmar ver=\"1.0\"><WatchInfo type=\"radio\" channel=\"1\" "
               "volume=\"3\" mute=\"true\" radioch=\"0\" car=\"false\" datach=\"0\"/><Channel "
               "type=\"tv\" subch_id=\"2\" freq=\"175.28\" label=\"KBS\"/><Channel type=\"radio\" "
               "subch_id=\"1\" freq=\"208.736\" label=\"R\"/><Channel type=\"data\" subch_id=\"0\" "
               "freq=\"181.28\" label=\"D\"/><Path capture=\"/a\" video=\"\" audio=\"/c\" "
               "timeshift=\"/d\" DataService=\"/e\"/><Window topmost=\"true\" ratio=\"1\" "
               "language=\"1\" freqlocal=\"3\" timeshift=\"0\" timeshiftonoff=\"1\"/><Skin "
               "file=\"Koru Digital.lay\"/><RegionPos regionX=\"0\" regionY=\"0\"/><RECData "
               "type=\"tv\" index=\"0\" channel=\"KBS\" start=\"20240101-10:00\" "
               "end=\"20240101-11:00\"/></Velmar>"));

    Write(dir / "packet/directory-mode", PacketChannel(false));
    Write(dir / "packet/header-mode", PacketChannel(true));
    Write(dir / "packet/entities", MotEntities());
    return 0;
}
