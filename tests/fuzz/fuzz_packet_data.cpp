// The data path of packet-mode services: any sub-channel bytes are cut into packets, joined into
// data groups and MOT objects, and written only under the MOT body path, without reading past a
// buffer. Input byte 0 chooses how the rest is taken:
//   0: raw sub-channel bytes (packet sync, CRC and continuity faults),
//   1: a data group, cut into valid packets among padding (data-group and MOT parsing),
//   2: one data group straight into the data-group step, then as each MOT entity type,
//   3: a run of MOT entities (type byte, transport id, 16-bit length, bytes), as joined from
//      segments: directories and the bodies they list (directory mode), headers and bodies.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "dab/packet.h"
#include "m4systems/log.h"
#include "rxmod/packet/packet.h"
#include "rxmod/rxmod_api.h"

namespace {

constexpr uint16_t kAddress = 1;

void Feed(DataDecoderContext* context, const std::vector<uint8_t>& bytes, size_t chunk,
          uint16_t dscty) {
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = bytes.size() - at < chunk ? bytes.size() - at : chunk;
        PKT_DataPath(context, bytes.data() + at, static_cast<int>(n), kAddress, dscty);
    }
}

void MotEntities(MotDecoderState& mot, const std::vector<uint8_t>& bytes) {
    DataGroupAssemblerState entity;
    entity.has_transport_id = true;
    for (size_t at = 0; at + 5 <= bytes.size();) {
        entity.type = bytes[at];
        entity.transport_id = static_cast<uint16_t>(bytes[at + 1] << 8 | bytes[at + 2]);
        const size_t length =
            std::min<size_t>(bytes[at + 3] << 8 | bytes[at + 4], bytes.size() - at - 5);
        entity.object.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at + 5),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + 5 + length));
        const int result = PKT_MotStep(mot, entity);
        if (result != PKT_SUCCESS && result != PKT_SKIPPED) PKT_ResetMotDecoder(mot);
        at += 5 + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        M4_SetLogLevel(0);
        static char folder[] = "/tmp/koru-fuzz-mot-XXXXXX";
        if (mkdtemp(folder) == nullptr) abort();
        std::atexit([] { std::filesystem::remove_all(folder); });
        const std::string prefix = std::string(folder) + "/";
        return SetMOTBodyPath(prefix.c_str()) > 0;
    }();
    if (!ready || size < 2) return 0;
    const std::vector<uint8_t> rest(data + 2, data + size);
    const size_t chunk = 1 + data[1] * 12u;
    // One context for all inputs (its buffers are large), put back to its start every time.
    static DataDecoderContext* context = NewBBContext();
    SQ_Reset(context->input);
    PKT_ResetPacketAssembler(context->packet);
    PKT_ResetDataGroupAssembler(context->group);
    PKT_ResetMotDecoder(context->mot);
    context->mot.carousel = MotCarousel{};
    switch (data[0] % 4) {
        case 0:
            Feed(context, rest, chunk, kMotDscty);
            break;
        case 1: {
            std::vector<uint8_t> air;
            koru::dab::PacketWriter writer(kAddress);
            for (int round = 0; round < 2; ++round) {
                for (const auto& packet : writer.Packetize(rest)) {
                    air.insert(air.end(), packet.begin(), packet.end());
                    const auto padding = koru::dab::PaddingPacket(24);
                    air.insert(air.end(), padding.begin(), padding.end());
                }
            }
            for (int i = 0; i < 12; ++i) {
                const auto padding = koru::dab::PaddingPacket(24);
                air.insert(air.end(), padding.begin(), padding.end());
            }
            Feed(context, air, chunk, data[1] & 1 ? kMotDscty : 5);
            break;
        }
        case 2: {
            if (PKT_DataGroupStep(context->group, rest.data(), rest.size()) == PKT_SUCCESS) {
                PKT_MotStep(context->mot, context->group);
            }
            DataGroupAssemblerState entity;
            entity.object = rest;
            entity.has_transport_id = true;
            for (int type : {3, 4, 6, 5, 9}) {
                entity.type = type;
                PKT_MotStep(context->mot, entity);
            }
            break;
        }
        default:
            MotEntities(context->mot, rest);
            break;
    }
    return 0;
}
