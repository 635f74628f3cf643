// Makes the terminal's test media with the ensemble builder's own generators, so the terminal
// is tested on the streams the demo ensembles carry:
//   tv10.ts      10 s of a TV service's transport stream: H.264 320x240, 15 fps, a key frame
//                every second, AAC, muxed at the constant 384 kbit/s of its sub-channel
//   radio10.mp2  10 s of a radio service's MPEG-1 Layer II (48 kHz, 128 kbit/s, CRC and
//                DAB ScF-CRC, room for PAD left empty), a 440 Hz tone
//   make_test_media <cache folder> <output folder>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tools/mkens/media.h"

namespace {

constexpr int kTvKbps = 384;
constexpr size_t kTsPacket = 188;
constexpr int kRadioKbps = 128;
// 24 ms each, 10.03 s: FFmpeg times an MPEG audio file without its first frame.
constexpr int kAudioFrames = 418;

bool Write(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_test_media <cache folder> <output folder>\n");
        return 2;
    }
    try {
        const std::filesystem::path out = argv[2];
        std::filesystem::create_directories(argv[1]);
        koru::mkens::MediaMaker maker(argv[1]);
        koru::mkens::ServiceDescription tv;
        tv.kind = koru::mkens::ServiceKind::kTv;
        tv.sid = 0xE101;
        tv.label = "KORU TV";
        tv.video = "testsrc";
        tv.fps = 15;
        // The builder keeps the last quarter second for null packets: 10 s of pictures.
        std::vector<uint8_t> ts = maker.TransportStream(tv, kTvKbps * 1000, 10250 * kTvKbps / 8);
        ts.resize(ts.size() / kTsPacket * kTsPacket);
        std::vector<uint8_t> mp2;
        for (const auto& frame :
             koru::mkens::EncodeTone(440, kRadioKbps, "joint", 58, kAudioFrames).frames) {
            mp2.insert(mp2.end(), frame.begin(), frame.end());
        }
        if (!Write(out / "tv10.ts", ts) || !Write(out / "radio10.mp2", mp2)) {
            std::fprintf(stderr, "make_test_media: cannot write into %s\n", argv[2]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_test_media: %s\n", error.what());
        return 1;
    }
    return 0;
}
