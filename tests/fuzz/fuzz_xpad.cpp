// X-PAD of audio frames: the input is a run of frames, each a length byte, two F-PAD bytes and
// the X-PAD area. Every data group found goes on to the dynamic label and MOT decoders.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dab/dls.h"
#include "dab/mot.h"
#include "dab/xpad.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru::dab;
    DynamicLabelDecoder labels([](const DynamicLabel& label) { (void)label.Utf8(); });
    MotDecoder mot([](const MotObject& object) { (void)object.header.ContentName(); },
                   [](const MotDirectory& directory) { (void)directory.entries.size(); });
    mot.set_max_object_size(1 << 16);
    XpadDecoder xpad([&](uint8_t type, std::vector<uint8_t> group) {
        if (type == kXpadDlStart) {
            labels.Feed(group);
        } else {
            mot.Feed(group);
        }
    });
    std::span<const uint8_t> input(data, size);
    while (input.size() >= 3) {
        const size_t length = std::min<size_t>(input[0], input.size() - 3);
        xpad.Feed(input.subspan(3, length), {input[1], input[2]});
        input = input.subspan(3 + length);
    }
    return 0;
}
