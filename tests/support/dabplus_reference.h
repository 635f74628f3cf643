// The two DAB+ services of the independent recording (../shared/reference/odr-dabplus-c.eti):
// their sub-channels' bytes frame by frame, and the access units in them, for tests that build
// their own superframes and streams from real DAB+ audio.
#ifndef KORU_TESTS_SUPPORT_DABPLUS_REFERENCE_H
#define KORU_TESTS_SUPPORT_DABPLUS_REFERENCE_H

#include <cstdint>
#include <span>
#include <vector>

#include "dab/eti.h"
#include "dab/superframe.h"
#include "support/environment.h"

namespace koru::test {

struct DabPlusService {
    int subchannel;
    int bitrate_kbps;
    dab::SuperframeFormat format;
};
// "India HE 64": HE-AAC 48 kHz stereo with PAD; "Juliet Mono 32k": AAC LC 32 kHz mono.
inline const DabPlusService kIndia{2, 64, {true, true, true, false, 0}};
inline const DabPlusService kJuliet{6, 40, {false, false, false, false, 0}};

// The sub-channel's bytes of every frame of the recording, in order (empty without it).
inline std::vector<std::vector<uint8_t>> ReferenceFrames(const DabPlusService& service) {
    std::vector<std::vector<uint8_t>> frames;
    if (ReferenceDabPlusEti().empty()) return frames;
    auto reader = dab::EtiReader::Open(ReferenceDabPlusEti());
    if (!reader) return frames;
    dab::EtiFrame frame;
    while (reader->Next(&frame)) {
        if (const dab::EtiStream* stream = frame.FindStream(service.subchannel))
            frames.push_back(stream->data);
    }
    return frames;
}

// The access units of the service's superframes, in order.
inline std::vector<std::vector<uint8_t>> ReferenceUnits(const DabPlusService& service) {
    std::vector<std::vector<uint8_t>> units;
    dab::SuperframeDecoder decoder(
        dab::SuperframeSize(service.bitrate_kbps),
        [&](const dab::SuperframeFormat&, std::span<const uint8_t> unit, bool good) {
            if (good) units.emplace_back(unit.begin(), unit.end());
        });
    for (const std::vector<uint8_t>& frame : ReferenceFrames(service))
        decoder.Feed(frame);
    return units;
}

// Superframes of the service made anew from its units (whole superframes only), back to back.
inline std::vector<std::vector<uint8_t>> RebuiltSuperframes(const DabPlusService& service,
                                                            size_t count) {
    const std::vector<std::vector<uint8_t>> units = ReferenceUnits(service);
    const auto per = static_cast<size_t>(service.format.AccessUnits());
    std::vector<std::vector<uint8_t>> superframes;
    for (size_t at = 0; at + per <= units.size() && superframes.size() < count; at += per) {
        std::vector<std::vector<uint8_t>> group(units.begin() + static_cast<long>(at),
                                                units.begin() + static_cast<long>(at + per));
        superframes.push_back(
            dab::WriteSuperframe(service.format, group, dab::SuperframeSize(service.bitrate_kbps)));
    }
    return superframes;
}

}  // namespace koru::test

#endif
