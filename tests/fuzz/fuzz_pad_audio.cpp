// padaudio on random audio frames: the input is cut into frames of 384 bytes (a 128 kbit/s
// Layer II frame at 48 kHz); every other one gets a valid frame header so the PAD is read.
// Slides that come complete are written below a scratch folder.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pad_sink.h"

namespace {

constexpr size_t kFrame = 384;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    koru::test::UseScratchMotFolder("/tmp/fuzz-pad-XXXXXX");
    MOTInitVariable(1);
    const koru::padaudio::Notify notify = koru::test::ReadBackNotify();
    size_t index = 0;
    for (size_t at = 0; at < size; at += kFrame, ++index) {
        std::vector<uint8_t> frame(data + at, data + std::min(size, at + kFrame));
        if (index % 2 == 0 && frame.size() >= 4) {
            frame[0] = 0xFF;
            frame[1] = 0xFC;  // MPEG-1 Layer II with CRC
            frame[2] = 0x84;  // 128 kbit/s, 48 kHz
        }
        koru::padaudio::FeedAudioFrame(frame.data(), frame.size(), notify);
        if (index % 7 == 6) PADDataInValidCheck(50);
    }
    return 0;
}
