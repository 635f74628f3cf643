// DAB+ audio (ETSI TS 102 563): an audio sub-channel carries superframes of five logical frames
// (120 ms). A superframe of 120 x s bytes (s = sub-channel bit rate / 8 kbit/s) holds s
// Reed-Solomon (120,110) codewords, virtually interleaved: byte j of codeword i is byte
// i + s x j of the superframe, so the first 110 x s bytes are the audio data as it was written
// and the last 10 x s the parity. The audio data begins with the header (a fire code over the
// next 9 bytes, the audio parameters and the AU start table), then the access units, each
// followed by its CRC-16. The units are AAC frames of 960 samples (AAC LC, with SBR HE-AAC, with
// PS as well HE-AAC v2).
//
// Here: the header and AU table, the code, the writer (tests build superframes with it) and the
// receiver side, SuperframeDecoder, which finds superframes in a sub-channel's bytes, corrects
// them and hands on the access units, good and lost, in order.
#ifndef DAB_SUPERFRAME_H
#define DAB_SUPERFRAME_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "dab/bits.h"
#include "dab/xpad.h"

namespace koru::dab {

inline constexpr size_t kSuperframeCodewordBytes = 120;
inline constexpr size_t kSuperframeDataBytes = 110;
inline constexpr size_t kSuperframeParityBytes = 10;
inline constexpr int kLogicalFramesPerSuperframe = 5;
inline constexpr int kDabPlusFrameSamples = 960;  // of the AAC core, per channel
inline constexpr int kMaxAccessUnits = 6;

// The audio parameters of a superframe header.
struct SuperframeFormat {
    bool dac_48k = true;        // dac_rate: the output rate 48 kHz, else 32 kHz
    bool sbr = false;           // sbr_flag: HE-AAC, the core runs at half the output rate
    bool stereo = false;        // aac_channel_mode
    bool ps = false;            // ps_flag: parametric stereo (with SBR, on a mono core)
    uint8_t mpeg_surround = 0;  // mpeg_surround_config (0: none)

    int OutputRate() const { return dac_48k ? 48000 : 32000; }
    int CoreRate() const { return sbr ? OutputRate() / 2 : OutputRate(); }
    // Access units in a superframe: 2, 3, 4 or 6.
    int AccessUnits() const;
    // Samples an access unit decodes to, per channel, at the output rate.
    int OutputSamples() const { return sbr ? 2 * kDabPlusFrameSamples : kDabPlusFrameSamples; }
    int OutputChannels() const { return stereo || ps ? 2 : 1; }
    bool operator==(const SuperframeFormat&) const = default;
};

// The sizes of a sub-channel's superframes; s = 0 when the bit rate is no multiple of 8 kbit/s
// (no DAB+ sub-channel).
struct SuperframeSize {
    explicit SuperframeSize(int bitrate_kbps)
        : s(bitrate_kbps > 0 && bitrate_kbps % 8 == 0 ? bitrate_kbps / 8 : 0) {}
    int s;
    size_t FrameBytes() const { return 24 * static_cast<size_t>(s); }
    size_t Bytes() const { return kSuperframeCodewordBytes * static_cast<size_t>(s); }
    size_t DataBytes() const { return kSuperframeDataBytes * static_cast<size_t>(s); }
};

// The fire code of the 9 header bytes that follow it: the CRC of generator
// x^16 + x^14 + x^13 + x^12 + x^11 + x^5 + x^3 + x^2 + x + 1, register cleared at the start.
uint16_t FireCode(std::span<const uint8_t> nine_bytes);
// True when bytes 0 and 1 of `superframe` are the fire code of bytes 2 to 10.
bool FireCodeMatches(std::span<const uint8_t> superframe);

// The AudioSpecificConfig (ISO/IEC 14496-3 1.6.2.1) of the audio: AAC LC with 960-sample
// frames at the core rate; with SBR in explicit hierarchical signalling (object type 5, or 29
// with PS, and the output rate), so that a decoder knows the whole format from its first unit.
void PutAudioSpecificConfig(const SuperframeFormat& format, BitWriter* out);
// The same, padded with zero bits to whole bytes.
std::vector<uint8_t> AudioSpecificConfigOf(const SuperframeFormat& format);

// A superframe of `size` in transmission order: header with fire code, AU table, the units each
// with its CRC, zeros up to the parity, the parity. Throws std::invalid_argument when the number
// of units is not the format's or they do not fit.
std::vector<uint8_t> WriteSuperframe(const SuperframeFormat& format,
                                     const std::vector<std::vector<uint8_t>>& units,
                                     SuperframeSize size);

// Corrects the s codewords of a superframe (120 x s bytes) in place. The bytes corrected, or -1
// when a codeword had more errors than the code corrects (it is then left as it came; the
// others are corrected).
int CorrectSuperframe(std::span<uint8_t> superframe);

struct SuperframeUnit {
    std::span<const uint8_t> data;  // the access unit, without its CRC
    bool crc_ok = false;
};
struct SuperframeContents {
    SuperframeFormat format;
    std::vector<SuperframeUnit> units;
};
// The header and access units of a (corrected) superframe's audio data, which must be its first
// 110 x s bytes or more; the units point into `superframe`. nullopt when the fire code fails or
// the AU table lies (starts that do not ascend, a unit too short for its CRC, a start past the
// audio data).
std::optional<SuperframeContents> ParseSuperframe(std::span<const uint8_t> superframe,
                                                  SuperframeSize size);

// An access unit of no element (only the END element): what a receiver puts in the place of a
// lost unit. Decoders here play silence of one unit for it.
std::span<const uint8_t> EmptyAccessUnit();
bool IsEmptyAccessUnit(std::span<const uint8_t> unit);

// The PAD of an access unit: the bytes of a data stream element that opens the unit, in the
// order of the PAD at the end of a DAB audio frame (the X-PAD last byte first, then the F-PAD),
// split like that frame's. nullopt when the unit carries none (or its element does not fit).
std::optional<PadFrame> PadOfAccessUnit(std::span<const uint8_t> unit);

// The receiver side: the sub-channel's bytes in (in any pieces), access units out, in order.
// Superframes are found by their fire code: searched for at every byte while out of sync, then
// expected every superframe; one that is not where it should be (a frame or some bytes went
// missing) is sought again from the next byte on. Each superframe is corrected before its
// header is read; a
// superframe beyond correction whose header holds still gives the units whose CRC holds (with
// none whole it is taken for one that lost a frame). Lost units are handed on as lost: those
// whose CRC fails, and for the bytes that gave no superframe once in sync, the units of as
// many superframes of the last format as those bytes would have held (rounded).
class SuperframeDecoder {
  public:
    struct Counts {
        uint64_t superframes = 0;       // found and read
        uint64_t uncorrectable = 0;     // of them, with a codeword beyond correction
        uint64_t lost_superframes = 0;  // superframes' worth of bytes that gave none
        uint64_t units = 0;             // access units handed on, lost ones included
        uint64_t lost_units = 0;        // of them, lost
        uint64_t corrected_bytes = 0;
        uint64_t syncs = 0;  // times the superframes were found after a search
    };
    // One unit: its superframe's format, its bytes (empty when lost) and whether it is good.
    using UnitHandler = std::function<void(const SuperframeFormat& format,
                                           std::span<const uint8_t> unit, bool good)>;

    // A sub-channel of that size (s > 0).
    SuperframeDecoder(SuperframeSize size, UnitHandler on_unit);

    void Feed(std::span<const uint8_t> bytes);
    // A new stream: out of sync, nothing held, nothing owed.
    void Reset();

    bool synced() const { return synced_; }
    const Counts& counts() const { return counts_; }
    SuperframeSize size() const { return size_; }

  private:
    // Reads the superframe at offset: false when there is none.
    bool TakeAt(size_t offset);
    void Consume(size_t bytes, bool lost);
    void OweLostTime(size_t bytes);

    const SuperframeSize size_;
    UnitHandler on_unit_;
    std::vector<uint8_t> buffer_;  // bytes not yet read
    std::vector<uint8_t> work_;    // the superframe being corrected
    bool synced_ = false;
    std::optional<SuperframeFormat> last_format_;
    int64_t lost_bytes_ = 0;  // bytes that gave no superframe, not yet made up for
    Counts counts_;
};

}  // namespace koru::dab

#endif
