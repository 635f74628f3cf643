#include "dab/loas.h"

#include <algorithm>

namespace koru::dab {
namespace {

constexpr uint32_t kSyncWord = 0x2B7;
constexpr uint32_t kLatmBufferFullnessVbr = 0xFF;

// LatmGetValue: 2 bits tell how many bytes follow, less one.
uint32_t LatmValue(BitReader* in) {
    const int bytes = static_cast<int>(in->Bits(2)) + 1;
    return in->Bits(8 * bytes);
}

bool GeneralAudio(int type) {
    return (type >= 1 && type <= 4) || type == 6 || type == 7 || (type >= 17 && type <= 23);
}

int ObjectType(BitReader* in) {
    int type = static_cast<int>(in->Bits(5));
    if (type == 31) type = 32 + static_cast<int>(in->Bits(6));
    return type;
}

void RateIndex(BitReader* in) {
    if (in->Bits(4) == 15) in->Skip(24);
}

// Reads past an AudioSpecificConfig of AAC, which holds no length of its own. False for what
// is no AAC, or needs a program config element.
bool SkipAudioSpecificConfig(BitReader* in) {
    int type = ObjectType(in);
    RateIndex(in);
    const uint32_t channels = in->Bits(4);
    if (type == 5 || type == 29) {
        RateIndex(in);
        type = ObjectType(in);
    }
    if (!GeneralAudio(type) || channels == 0) return false;
    in->Skip(1);                   // frameLengthFlag
    if (in->Flag()) in->Skip(14);  // dependsOnCoreCoder: coreCoderDelay
    const bool extension = in->Flag();
    if (type == 6 || type == 20) in->Skip(3);  // layerNr
    if (extension) {
        if (type == 22) in->Skip(16);  // numOfSubFrame, layer_length
        if (type == 17 || type == 19 || type == 20 || type == 23) in->Skip(3);
        in->Skip(1);  // extensionFlag3
    }
    return in->ok();
}

// Copies `bits` bits of `frame` from bit `from` into whole bytes.
std::vector<uint8_t> CopyBits(std::span<const uint8_t> frame, size_t from, size_t bits) {
    BitReader in(frame);
    in.Skip(from);
    BitWriter out;
    for (size_t left = bits; left > 0;) {
        const int take = static_cast<int>(std::min<size_t>(left, 32));
        out.Bits(in.Bits(take), take);
        left -= static_cast<size_t>(take);
    }
    while (!out.aligned())
        out.Bits(0, 1);
    return out.Take();
}

size_t BitPosition(const BitReader& in, std::span<const uint8_t> frame) {
    return frame.size() * 8 - in.bits_left();
}

}  // namespace

std::vector<uint8_t> WriteLoasFrame(std::span<const uint8_t> config, size_t config_bits,
                                    std::span<const uint8_t> unit) {
    BitWriter element;
    element.Bits(0, 1);  // useSameStreamMux: the config follows
    element.Bits(0, 1);  // audioMuxVersion
    element.Bits(1, 1);  // allStreamsSameTimeFraming
    element.Bits(0, 6);  // numSubFrames - 1
    element.Bits(0, 4);  // numProgram - 1
    element.Bits(0, 3);  // numLayer - 1
    element.BitsOf(config, config_bits);
    element.Bits(0, 3);  // frameLengthType 0: a payload length before the payload
    element.Bits(kLatmBufferFullnessVbr, 8);
    element.Bits(0, 1);  // otherDataPresent
    element.Bits(0, 1);  // crcCheckPresent
    // The header, the config and the length bytes take at most 44 bytes of the frame.
    const size_t room = kLoasMaxFrameBytes - kLoasHeaderBytes - 44;
    const std::span<const uint8_t> payload = unit.first(std::min(unit.size(), room));
    for (size_t left = payload.size();; left -= 255) {
        element.Bits(static_cast<uint32_t>(std::min<size_t>(left, 255)), 8);
        if (left < 255) break;
    }
    for (uint8_t byte : payload)
        element.Bits(byte, 8);
    while (!element.aligned())
        element.Bits(0, 1);
    const std::vector<uint8_t> body = element.Take();
    std::vector<uint8_t> frame(kLoasHeaderBytes + body.size());
    frame[0] = static_cast<uint8_t>(kSyncWord >> 3);
    frame[1] = static_cast<uint8_t>((kSyncWord & 7) << 5 | body.size() >> 8);
    frame[2] = static_cast<uint8_t>(body.size());
    std::copy(body.begin(), body.end(), frame.begin() + kLoasHeaderBytes);
    return frame;
}

size_t LoasFrameLength(std::span<const uint8_t> bytes) {
    if (bytes.size() < kLoasHeaderBytes) return 0;
    if ((static_cast<uint32_t>(bytes[0]) << 3 | bytes[1] >> 5) != kSyncWord) return 0;
    return kLoasHeaderBytes + ((bytes[1] & 0x1Fu) << 8 | bytes[2]);
}

bool LoasReader::ReadStreamMuxConfig(BitReader* in, std::span<const uint8_t> frame) {
    const bool version = in->Flag();
    if (version) {
        if (in->Flag()) return false;  // audioMuxVersionA
        LatmValue(in);                 // taraBufferFullness
    }
    if (!in->Flag()) return false;       // allStreamsSameTimeFraming
    if (in->Bits(6) != 0) return false;  // numSubFrames
    if (in->Bits(4) != 0) return false;  // numProgram
    if (in->Bits(3) != 0) return false;  // numLayer
    size_t config_bits = 0;
    if (version) config_bits = LatmValue(in);
    const size_t start = BitPosition(*in, frame);
    if (!SkipAudioSpecificConfig(in)) return false;
    size_t parsed = BitPosition(*in, frame) - start;
    if (version) {
        if (config_bits < parsed || config_bits > in->bits_left() + parsed) return false;
        in->Skip(config_bits - parsed);  // fill bits, extensions
        parsed = config_bits;
    }
    std::vector<uint8_t> config = CopyBits(frame, start, parsed);
    if (in->Bits(3) != 0) return false;  // frameLengthType
    in->Skip(8);                         // latmBufferFullness
    if (in->Flag()) {                    // otherDataPresent
        if (version) {
            LatmValue(in);
        } else {
            while (in->ok() && in->Flag())
                in->Skip(8);
            in->Skip(8);
        }
    }
    if (in->Flag()) in->Skip(8);  // crcCheckSum
    if (!in->ok()) return false;
    config_changed_ = config != config_;
    config_ = std::move(config);
    return true;
}

std::optional<std::vector<uint8_t>> LoasReader::Read(std::span<const uint8_t> frame) {
    config_changed_ = false;
    const size_t length = LoasFrameLength(frame);
    if (length == 0 || length > frame.size()) return std::nullopt;
    frame = frame.first(length);
    BitReader in(frame.subspan(kLoasHeaderBytes));
    const std::span<const uint8_t> element = frame.subspan(kLoasHeaderBytes);
    if (!in.Flag()) {  // useSameStreamMux clear: a config follows
        if (!ReadStreamMuxConfig(&in, element)) return std::nullopt;
    } else if (config_.empty()) {
        return std::nullopt;
    }
    size_t payload = 0;
    for (uint32_t byte = 255; byte == 255 && in.ok();) {
        byte = in.U8();
        payload += byte;
    }
    if (!in.ok() || payload > in.bytes_left()) return std::nullopt;
    return CopyBits(element, BitPosition(in, element), payload * 8);
}

}  // namespace koru::dab
