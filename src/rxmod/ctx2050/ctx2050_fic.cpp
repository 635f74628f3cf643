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

bool DescribeUep(const SubChannelRecord& sub, DecoderChannel* channel) {
    const dab::UepProfile* profile =
        sub.table_switch == 0 ? dab::UepTableEntry(sub.table_index) : nullptr;
    if (profile == nullptr) return false;
    channel->size = profile->size_cu;
    channel->bitrate = profile->bitrate_kbps;
    for (int i = 0; i < 4; ++i) {
        channel->l[i] = profile->l[i];
        channel->pi[i] = profile->pi[i];
    }
    channel->padding = profile->padding_bits;
    return true;
}

// EEP: n = size / (CUs per n of the profile); bit rate 8n (option A) or 32n (option B).
bool DescribeEep(const SubChannelRecord& sub, DecoderChannel* channel) {
    if (sub.option > 1) return false;
    const auto option = static_cast<dab::EepOption>(sub.option);
    const int level = sub.protection_level + 1;
    const int kbps_per_n = option == dab::EepOption::kA ? 8 : 32;
    const int cu_per_n = dab::EepSizeCu(option, level, kbps_per_n);
    if (cu_per_n == 0 || sub.size < cu_per_n) return false;
    const int bitrate = sub.size / cu_per_n * kbps_per_n;
    const std::optional<dab::EepPuncturing> puncturing =
        dab::EepPuncturingFor(option, level, bitrate);
    if (!puncturing) return false;
    channel->size = sub.size;
    channel->bitrate = static_cast<uint16_t>(bitrate);
    channel->l[0] = static_cast<uint16_t>(puncturing->l1);
    channel->l[1] = static_cast<uint16_t>(puncturing->l2);
    channel->l[2] = channel->l[3] = 0;
    channel->pi[0] = static_cast<uint8_t>(puncturing->pi1);
    channel->pi[1] = static_cast<uint8_t>(puncturing->pi2);
    channel->pi[2] = channel->pi[3] = 0;
    channel->padding = 0;
    return true;
}

}  // namespace

bool CTX2050_DescribeSubChannel(const SubChannelRecord& sub, DecoderChannel* channel) {
    if (sub.in_use != kRecordInUse) return false;
    DecoderChannel shape = *channel;
    const bool described = sub.form == 0 ? DescribeUep(sub, &shape) : DescribeEep(sub, &shape);
    if (!described) return false;
    shape.subchid = sub.subchid;
    shape.start = sub.start_address;
    shape.form = sub.form;
    *channel = shape;
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
