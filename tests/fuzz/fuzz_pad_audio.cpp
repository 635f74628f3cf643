// padaudio on random audio frames: the input is cut into frames of 384 bytes (a 128 kbit/s
// Layer II frame at 48 kHz); every other one gets a valid frame header so the PAD is read.
// Slides that come complete are written below a scratch folder.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "m4systems/padaudio/pad_service.h"
#include "m4systems/padaudio/padaudio.h"

namespace {

constexpr size_t kFrame = 384;

void InitOnce() {
    static bool done = false;
    if (done) return;
    done = true;
    char pattern[] = "/tmp/fuzz-pad-XXXXXX";
    const char* folder = mkdtemp(pattern);
    if (folder != nullptr) SetMOTPath((std::string(folder) + "/").c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InitOnce();
    MOTInitVariable(1);
    const koru::padaudio::Notify notify = [](uint32_t, int64_t, int64_t) {
        uint8_t label[256];
        GetDLSData(label);
        MOTFileName name;
        GetMOTFileName(&name);
    };
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
