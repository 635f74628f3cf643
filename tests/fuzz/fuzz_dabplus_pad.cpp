// The PAD of DAB+ access units on its way to padaudio: LOAS frames read back into units (as the
// terminal reads the receiver's DAB+ input), the data stream element of each unit taken as PAD
// and fed to the label and MOT decoders. Byte 0 chooses: odd, the rest is read as LOAS bytes;
// even, each piece of it becomes a unit that opens with a data stream element holding it, in a
// LOAS frame of its own. Slides that come complete are written below a scratch folder.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dab/loas.h"
#include "dab/superframe.h"
#include "pad_sink.h"

namespace {

std::vector<uint8_t> LoasOfPad(const uint8_t* pad, size_t length) {
    koru::dab::BitWriter config;
    koru::dab::PutAudioSpecificConfig({true, true, true, false, 0}, &config);
    std::vector<uint8_t> unit{0x80, static_cast<uint8_t>(std::min<size_t>(length, 255))};
    if (length >= 255) unit.push_back(static_cast<uint8_t>(std::min<size_t>(length - 255, 255)));
    unit.insert(unit.end(), pad, pad + length);
    return koru::dab::WriteLoasFrame(config.bytes(), config.bit_size(), unit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    koru::test::UseScratchMotFolder("/tmp/fuzz-dabplus-pad-XXXXXX");
    MOTInitVariable(1);
    const koru::padaudio::Notify notify = koru::test::ReadBackNotify();
    std::vector<uint8_t> stream;
    if (data[0] & 1) {
        stream.assign(data + 1, data + size);
    } else {
        const size_t piece = data[0] / 2 + 3;  // a PAD of 3 to 130 bytes
        for (size_t at = 1; at < size; at += piece) {
            const std::vector<uint8_t> frame = LoasOfPad(data + at, std::min(piece, size - at));
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
    }
    koru::dab::LoasReader reader;
    for (size_t at = 0; at < stream.size();) {
        const size_t length = koru::dab::LoasFrameLength(std::span(stream).subspan(at));
        if (length == 0 || length > stream.size() - at) {
            ++at;
            continue;
        }
        const auto unit = reader.Read(std::span(stream).subspan(at, length));
        at += length;
        if (!unit) continue;
        if (const auto pad = koru::dab::PadOfAccessUnit(*unit))
            koru::padaudio::FeedPad(*pad, notify);
    }
    return 0;
}
