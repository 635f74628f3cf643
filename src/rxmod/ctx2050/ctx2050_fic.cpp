// Sub-channel shapes and FIB checks for the CTX2050.
#include "rxmod/ctx2050/ctx2050_fic.h"

#include <cstring>
#include <optional>
#include <span>

#include "dab/crc.h"
#include "dab/protection.h"
#include "m4systems/log.h"

namespace {

namespace dab = koru::dab;

constexpr const char* kSource = "ctx2050_fic";

// The protection that the sub-channel organisation gives the record.
dab::Protection ProtectionOf(const SubChannelRecord& sub) {
    dab::Protection protection;
    protection.short_form = sub.form == 0;
    protection.table_index = sub.table_index;
    protection.table_switch = sub.table_switch;
    protection.option = static_cast<dab::EepOption>(sub.option);
    protection.level = static_cast<uint8_t>(sub.protection_level + 1);
    protection.size_cu = sub.size;
    return protection;
}

}  // namespace

bool CTX2050_DescribeSubChannel(const SubChannelRecord& sub, DecoderChannel* channel) {
    if (sub.in_use != kRecordInUse) return false;
    const std::optional<dab::SubchannelCoding> coding = dab::CodingOf(ProtectionOf(sub));
    if (!coding) return false;
    channel->subchid = sub.subchid;
    channel->start = sub.start_address;
    channel->form = sub.form;
    channel->size = static_cast<uint16_t>(coding->size_cu);
    channel->bitrate = static_cast<uint16_t>(coding->bitrate_kbps);
    for (int i = 0; i < 4; ++i) {
        channel->l[i] = static_cast<uint16_t>(coding->l[i]);
        channel->pi[i] = static_cast<uint8_t>(coding->pi[i]);
    }
    channel->padding = static_cast<uint8_t>(coding->padding_bits);
    return true;
}

void CTX2050_PackDescriptor(const DecoderChannel& channel, uint8_t descriptor[kDescriptorLength]) {
    const auto byte = [](int value) { return static_cast<uint8_t>(value & 0xFF); };
    const uint16_t* l = channel.l;
    const uint8_t* pi = channel.pi;
    descriptor[0] = byte(channel.start);
    descriptor[1] = byte((channel.subchid << 2) | ((channel.start >> 8) & 0x03));
    descriptor[2] = byte(channel.size);
    descriptor[3] = byte(((channel.size >> 8) & 0x03) | (channel.form == 0 ? 0x80 : 0x00));
    descriptor[4] = byte((pi[0] & 0x1F) | ((l[0] & 0x07) << 5));
    descriptor[5] = byte(l[0] >> 3);
    descriptor[6] = byte((pi[1] & 0x1F) | ((l[1] & 0x07) << 5));
    descriptor[7] = byte((l[1] >> 3) & 0x7F);
    descriptor[8] = byte((pi[2] & 0x0F) | ((l[2] & 0x07) << 5));
    descriptor[9] = byte((l[2] & 0xFF) >> 3);
    descriptor[10] = byte((pi[3] & 0x1F) | ((l[3] << 5) & 0x7F));
    descriptor[11] = byte((channel.padding & 0xFC) << 4);
}

int CTX2050_KeepGoodFibs(uint8_t* payload, int length) {
    const int fibs = length > 0 ? length / kFibLength : 0;
    int kept = 0;
    for (int i = 0; i < fibs; ++i) {
        const uint8_t* fib = payload + i * kFibLength;
        if (!dab::Crc16Matches(std::span<const uint8_t>(fib, kFibLength))) continue;
        if (kept != i) std::memmove(payload + kept * kFibLength, fib, kFibLength);
        ++kept;
    }
    if (kept != fibs || length != fibs * kFibLength) {
        M4_LOG(2, kSource, "FIC packet of %d bytes: %d of %d FIBs failed their CRC", length,
               fibs - kept, fibs);
    }
    return kept * kFibLength;
}
