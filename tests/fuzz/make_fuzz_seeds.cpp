// Writes the starting inputs of the fuzz targets, one folder per target (its name without
// "fuzz_"), at build time:
//   make_fuzz_seeds DIR [REFERENCE_DIR]    -> DIR/bmp, DIR/eti, DIR/service_url, ...
// Inputs of broadcast bytes are cut from the independent reference recordings when the folder
// holds them. scripts/check runs each target on a copy of its folder, e.g.
//   build-fuzz/fuzz/fuzz_gif -max_total_time=300 corpus/gif build-fuzz/fuzz/seeds/gif
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dab/eti.h"
#include "dab/fig.h"
#include "dab/gzip.h"
#include "dab/mot.h"
#include "dab/mpa.h"
#include "dab/packet.h"
#include "rxmod/bb_ficdec.h"
#include "rxmod/dmb_api.h"
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

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes out;
    for (const Bytes& part : parts)
        koru::test::PutBytes(&out, part);
    return out;
}

// The first `count` good frames of a reference recording; none without the file.
std::vector<koru::dab::EtiFrame> ReferenceFrames(const std::filesystem::path& path, int count) {
    std::vector<koru::dab::EtiFrame> frames;
    std::optional<koru::dab::EtiReader> reader = koru::dab::EtiReader::Open(path);
    koru::dab::EtiFrame frame;
    while (reader && static_cast<int>(frames.size()) < count && reader->Next(&frame))
        frames.push_back(frame);
    return frames;
}

Bytes SubChannel(const std::vector<koru::dab::EtiFrame>& frames, int subchannel_id) {
    Bytes out;
    for (const koru::dab::EtiFrame& frame : frames) {
        if (const koru::dab::EtiStream* stream = frame.FindStream(subchannel_id))
            koru::test::PutBytes(&out, stream->data);
    }
    return out;
}

Bytes Fibs(const std::vector<koru::dab::EtiFrame>& frames) {
    Bytes out;
    for (const koru::dab::EtiFrame& frame : frames) {
        for (const koru::dab::Fib& fib : frame.fibs)
            out.insert(out.end(), fib.begin(), fib.end());
    }
    return out;
}

// A slide in header mode as MSC data groups: header, then body.
std::vector<Bytes> MotDataGroups() {
    koru::dab::MotObject object;
    object.transport_id = 7;
    object.header.content_type = koru::dab::kMotImage;
    object.header.content_subtype = koru::dab::kMotImageJfif;
    object.header.SetContentName("slide.jpg");
    object.body = Bytes(300, 0xA5);
    object.header.body_size = static_cast<uint32_t>(object.body.size());
    std::vector<Bytes> groups;
    for (const koru::dab::MscDataGroup& group : koru::dab::MotEncoder(128).EncodeObject(object))
        groups.push_back(koru::dab::BuildMscDataGroup(group));
    return groups;
}

Bytes Packets(const std::vector<Bytes>& groups, uint16_t address) {
    koru::dab::PacketWriter writer(address);
    Bytes out;
    for (const Bytes& group : groups) {
        for (const Bytes& packet : writer.Packetize(group))
            koru::test::PutBytes(&out, packet);
        koru::test::PutBytes(&out, koru::dab::PaddingPacket());
    }
    return out;
}

// One packet of the PN3030 pipe: id, a byte not read, the payload length (little-endian).
Bytes PipePacket(uint8_t id, const Bytes& payload) {
    Bytes out = {id, 0, static_cast<uint8_t>(payload.size()),
                 static_cast<uint8_t>(payload.size() >> 8)};
    koru::test::PutBytes(&out, payload);
    return out;
}

void WriteBroadcastSeeds(const std::filesystem::path& dir, const std::filesystem::path& reference) {
    const std::vector<koru::dab::EtiFrame> radio =
        ReferenceFrames(reference / "odr-ensemble-a.eti", 160);
    const std::vector<koru::dab::EtiFrame> tv = ReferenceFrames(reference / "gpac-tv-b.eti", 40);
    for (const auto& [name, frames] : {std::pair{"ensemble-a", &radio}, std::pair{"tv-b", &tv}}) {
        if (frames->empty()) continue;
        Bytes eti;
        for (size_t i = 0; i < 2 && i < frames->size(); ++i)
            koru::test::PutBytes(&eti, koru::dab::WriteEtiFrame((*frames)[i]));
        Write(dir / "eti" / name, eti);
        // Every FIB of the frames, and the ensemble they describe as "channel.dat".
        const std::vector<koru::dab::EtiFrame> first(
            frames->begin(), frames->begin() + std::min<size_t>(frames->size(), 40));
        const Bytes fibs = Fibs(first);
        Write(dir / "fic" / name, fibs);
        auto info = std::make_unique<ChannelInfo>();
        FIC_Reset(*info, 208.736);
        FIC_Decode(*info, fibs.data(), static_cast<int>(fibs.size()));
        DMB_ClearChannelCache();
        DMB_StoreChannel(*info);
        const std::string image = DMB_ChannelCacheImage();
        Write(dir / "channel_dat" / name, Bytes(image.begin(), image.end()));
        // The pipe of the stick: a FIC packet (mask, 12 FIBs without their CRC), service data,
        // a signal report and debug text.
        Bytes fic = {0, 0};
        for (size_t i = 0; i < 12 && (i + 1) * 32 <= fibs.size(); ++i)
            fic.insert(fic.end(), fibs.begin() + i * 32, fibs.begin() + i * 32 + 30);
        Write(dir / "pn3030_stream" / name,
              Concat({PipePacket(0, fic), PipePacket(3, Bytes(fibs.begin(), fibs.begin() + 200)),
                      PipePacket(4, {0, 0, 100, 0, 0x10, 0, 0, 0}), PipePacket(5, Text("dbg"))}));
    }
    if (!radio.empty()) {
        // SId 0x4A01: Layer II with X-PAD (labels, slides), 384 bytes a frame.
        const Bytes audio = SubChannel(radio, 3);
        Write(dir / "pad_audio" / "alpha", audio);
        Write(dir / "live_ts" / "alpha-mp2",
              Concat({{1}, Bytes(audio.begin(), audio.begin() + 20000)}));
        Bytes xpad;
        for (size_t at = 0; at + 384 <= audio.size(); at += 384) {
            const std::span<const uint8_t> frame(audio.data() + at, 384);
            const Bytes area = koru::dab::XpadAreaOf(frame, 4, 58);
            const std::array<uint8_t, 2> fpad = koru::dab::FpadOf(frame);
            xpad.push_back(static_cast<uint8_t>(area.size()));
            xpad.push_back(fpad[0]);
            xpad.push_back(fpad[1]);
            koru::test::PutBytes(&xpad, area);
        }
        Write(dir / "xpad" / "alpha", xpad);
    }
    // SubChId 9: the plain transport stream of the TV service.
    if (!tv.empty()) Write(dir / "live_ts" / "golf-ts", Concat({{0}, SubChannel(tv, 9)}));
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

// fuzz_ctx2050_stream: a FIC packet of three FIBs with their CRC (the middle one damaged), a
// signal report and a service packet, in the CTX2050's framing.
Bytes Ctx2050Stream() {
    using namespace koru::dab;
    Bytes out;
    const auto packet = [&](uint8_t id, const Bytes& payload) {
        koru::test::PutBytes(&out, {id, 0, static_cast<uint8_t>(payload.size()),
                                    static_cast<uint8_t>(payload.size() >> 8)});
        koru::test::PutBytes(&out, payload);
    };
    const std::vector<uint8_t> label = BuildFig1_0(0xE1C1, *Label::FromUtf8("KORU Demo 12C"));
    Bytes fic;
    for (int i = 0; i < 3; ++i) {
        const Fib fib = BuildFib({label});
        fic.insert(fic.end(), fib.begin(), fib.end());
    }
    fic[32 + 7] ^= 0x20;
    packet(0, fic);
    packet(4, {0x56, 0x55, 0x25, 0x00, 0x00, 0x00, 0x01, 0x00});
    packet(3, Bytes(1024, 0x47));
    return out;
}

void WriteDataSeeds(const std::filesystem::path& dir) {
    const std::vector<Bytes> groups = MotDataGroups();
    Write(dir / "data_group" / "header", groups.front());
    Write(dir / "data_group" / "packets", Packets(groups, 1));
    // fuzz_packet_data: byte 0 the mode, byte 1 the piece size.
    Write(dir / "packet_data" / "directory-mode", PacketChannel(false));
    Write(dir / "packet_data" / "header-mode", PacketChannel(true));
    Write(dir / "packet_data" / "group", Concat({{1, 1}, groups.front()}));
    Write(dir / "packet_data" / "step", Concat({{2, 0}, groups.back()}));
    Write(dir / "packet_data" / "entities", MotEntities());
}

void WriteTextSeeds(const std::filesystem::path& dir) {
    Write(dir / "service_url/tv", Text("bbu://208736,0,0.ts"));
    Write(dir / "service_url/radio", Text("bbu://1452960,12,0.mp2"));
    Write(dir / "service_url/mp3", Text("bbu://205280;7.x.mp3"));
    Write(dir / "service_url/capitals", Text("BBU://208736,63,0.TS"));
    Write(dir / "inifile/default",
          Text("; Terminal options\n[General]\nLogLevel=1\nPluginsDirectory=plugins\n"
               "[Audio]\nForceConfig=yes\nNumBuffers=2\n"));
    Write(dir / "rxsim_conf/demo",
          Text("# air\nair 208736 demo.eti level 20\nlibrary SiUSBXp\n"
               "firmware KX1000|2.10|Mar 02 2007|PN3030|ITD3020|emulated\nhardware-id 3\n"
               "tuner-clock 16.384\nacquisition 400\ntolerance 10\nlock-level 5\n"
               "rx-queue 65536\nstatus\nlevel 12.5\nlock-loss on\ncorrupt-fibs 10\nclear\n"));
    // fuzz_rxsim_frames: byte 0 how to start, byte 1 the fault shares, then frames.
    Write(dir / "rxsim_frames/fic", Bytes{0x03, 0x00, 0x82, 0x11, 0x21, 0x03, 0x22, 0x68, 0xD5});
    Write(dir / "rxsim_frames/service-faults",
          Bytes{0x05, 0x35, 0x06, 0x21, 0x68, 0x04, 0x00, 0x01, 0x02, 0x80, 0x02, 0x11, 0x22});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) return 2;
    const std::filesystem::path dir = argv[1];
    WriteTextSeeds(dir);
    WriteDataSeeds(dir);
    if (argc == 3) WriteBroadcastSeeds(dir, argv[2]);
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
    Write(dir / "ctx2050_stream" / "stream", Ctx2050Stream());
    return 0;
}
