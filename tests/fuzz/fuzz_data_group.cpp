// Packet-mode bytes: packets of one address joined into data groups, MSC data groups parsed,
// MOT headers, bodies and directories assembled, and the same bytes taken directly as a data
// group, a MOT header, a MOT directory and a gzip body.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dab/gzip.h"
#include "dab/mot.h"
#include "dab/msc_data_group.h"
#include "dab/packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace koru::dab;
    std::span<const uint8_t> input(data, size);
    MotDecoder mot([](const MotObject& object) {
        if (object.header.CompressionType() == kMotCompressionGzip) {
            (void)GzipDecompress(object.body, 1 << 16);
        }
    });
    mot.set_max_object_size(1 << 16);
    PacketAssembler packets(input.empty() ? 0 : input[0] & 0x3,
                            [&](std::vector<uint8_t> group) { mot.Feed(group); });
    for (size_t at = 0; at < input.size(); at += 37) {
        packets.Feed(input.subspan(at, std::min<size_t>(37, input.size() - at)));
    }
    mot.Feed(input);
    (void)ParseMotHeader(input);
    (void)ParseMotDirectory(input);
    (void)GzipDecompress(input, 1 << 16);
    return 0;
}
