// T-DMB's MPEG-4 Systems signalling (ETSI TS 102 428 over ISO/IEC 14496-1): the descriptors
// of the IOD and of object descriptor updates, the SL packet header that their SL
// configuration lays out, and the AudioSpecificConfig of MPEG-4 audio (ISO/IEC 14496-3).
// Every parser checks each size against its buffer; a malformed structure gives nullopt or
// is skipped, never a read past the end.
#ifndef DAB_MPEG4_SYSTEMS_H
#define DAB_MPEG4_SYSTEMS_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace koru::dab {

// SLConfigDescriptor (14496-1 7.3.2.3): which fields an SL packet header carries.
struct SlConfig {
    bool use_au_start = false;
    bool use_au_end = false;
    bool use_random_access = false;
    bool use_padding = false;
    bool use_timestamps = false;
    bool use_idle = false;
    uint32_t timestamp_resolution = 0;
    int timestamp_length = 0;
    int ocr_length = 0;
    int au_length = 0;
    int instant_bitrate_length = 0;
    int degradation_priority_length = 0;
    int au_seq_num_length = 0;
    int packet_seq_num_length = 0;
};

// Object type indications and stream types of a DecoderConfigDescriptor that matter here.
inline constexpr uint8_t kObjectTypeMpeg4Visual = 0x20;
inline constexpr uint8_t kObjectTypeH264 = 0x21;
inline constexpr uint8_t kObjectTypeMpeg4Audio = 0x40;
inline constexpr uint8_t kObjectTypeMpeg2Audio = 0x69;
inline constexpr uint8_t kObjectTypeMpeg1Audio = 0x6B;
inline constexpr uint8_t kStreamTypeObjectDescriptor = 0x01;
inline constexpr uint8_t kStreamTypeVisual = 0x04;
inline constexpr uint8_t kStreamTypeAudio = 0x05;

struct EsDescriptor {
    uint16_t es_id = 0;
    uint8_t object_type = 0;  // objectTypeIndication
    uint8_t stream_type = 0;
    std::vector<uint8_t> specific;  // DecoderSpecificInfo
    SlConfig sl;
};

// The IOD descriptor of a PMT (tag 0x1D, body: scope, label, InitialObjectDescriptor): the ES
// descriptors the IOD carries (the scene and object descriptor streams, sometimes more).
std::optional<std::vector<EsDescriptor>> ParseIodDescriptor(std::span<const uint8_t> body);

// An access unit of an object descriptor stream: the ES descriptors that its
// ObjectDescriptorUpdate commands name. Other commands are skipped.
std::vector<EsDescriptor> ParseObjectDescriptorCommands(std::span<const uint8_t> unit);

struct SlHeader {
    bool au_start = true;
    bool au_end = true;
    bool carries_data = true;  // false for idle and padding-only packets
    int64_t dts = -1;          // in ticks of the timestamp resolution, -1 when absent
    int64_t cts = -1;
    size_t size = 0;  // bytes, up to the payload
};

// The header of an SL packet in that configuration; nullopt when the packet is shorter.
std::optional<SlHeader> ParseSlHeader(std::span<const uint8_t> packet, const SlConfig& config);

struct AudioSpecificConfig {
    int object_type = 0;     // the coded object type: after SBR/PS signalling, the core
    int signalled_type = 0;  // the first audioObjectType (5 SBR, 29 PS, 22 ER BSAC ...)
    int rate_index = 0;      // of the core
    int channel_configuration = 0;
};
std::optional<AudioSpecificConfig> ParseAudioSpecificConfig(std::span<const uint8_t> config);
// "MPEG-4 audio object type 22 (ER BSAC)": the number, with a name for the object types
// broadcasters use.
std::string AudioObjectTypeText(int type);

// An ADTS header (7 bytes, no CRC) for one raw AAC frame of `frame_bytes` bytes, or nullopt
// when the object type cannot be carried in ADTS (only AAC Main, LC, SSR and LTP can).
std::optional<std::vector<uint8_t>> AdtsHeader(const AudioSpecificConfig& config,
                                               size_t frame_bytes);

}  // namespace koru::dab

#endif
