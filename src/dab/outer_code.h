// The outer code of T-DMB video sub-channels (ETSI TS 102 427): every 188-byte transport
// packet gets 16 Reed-Solomon parity bytes (RS(204,188, t = 8), shortened from RS(255,239)
// over GF(2^8) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1 and the code roots 2^0 to
// 2^15), and the 204-byte packets pass a convolutional byte interleaver of I = 12 branches,
// branch j delaying its bytes by j x M, M = 17. A packet's first byte always takes branch 0,
// so the sync bytes keep their places in the interleaved stream.
//
// The multiplexer side (RsEncode, ConvolutionalInterleaver) and the receiver side (RsDecode,
// the deinterleaver, OuterDecoder) live here once, for the ensemble builder and every
// emulated baseband.
#ifndef DAB_OUTER_CODE_H
#define DAB_OUTER_CODE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace koru::dab {

constexpr size_t kTsPacketBytes = 188;
constexpr size_t kOuterPacketBytes = 204;
constexpr size_t kOuterParityBytes = kOuterPacketBytes - kTsPacketBytes;
constexpr int kOuterCorrectableBytes = 8;
constexpr size_t kInterleaverBranches = 12;
constexpr size_t kInterleaverDepth = 17;
// Bytes from the start of the deinterleaved stream to the first whole packet: the bytes
// before come (in part) from before the receiver joined.
constexpr size_t kInterleaverFillBytes =
    (kInterleaverBranches - 1) * kInterleaverDepth * kInterleaverBranches;

// The 204-byte packet of a 188-byte one: the packet, then its parity.
std::array<uint8_t, kOuterPacketBytes> RsEncode(std::span<const uint8_t, kTsPacketBytes> packet);

// Corrects a received 204-byte packet in place. The number of bytes corrected (0 to 8), or -1
// when more bytes are wrong than the code corrects (the packet is then left as it came).
int RsDecode(std::span<uint8_t, kOuterPacketBytes> packet);

// The byte interleaver, or with `deinterleave` its inverse (branch j delays by (11 - j) x 17).
// The first byte pushed after construction or Reset goes through branch 0.
class ConvolutionalInterleaver {
  public:
    explicit ConvolutionalInterleaver(bool deinterleave);
    uint8_t Push(uint8_t byte);
    void Reset();

  private:
    struct Branch {
        std::vector<uint8_t> fifo;
        size_t at = 0;
    };
    std::array<Branch, kInterleaverBranches> branches_;
    size_t branch_ = 0;
};

// Outer coding of a whole stream, as a multiplexer writes a video sub-channel: packets of 188
// bytes in, the interleaved 204-byte packets out. `stream` must hold whole packets.
std::vector<uint8_t> OuterEncode(std::span<const uint8_t> stream, ConvolutionalInterleaver* state);

// What a baseband in video mode does with a sub-channel's bytes: it finds the packet period
// from the sync bytes (0x47 every 204 or every 188 bytes); an outer-coded stream is
// deinterleaved and corrected into 188-byte packets, a packet it cannot correct keeps its bytes
// with transport_error_indicator set; a plain transport stream passes unchanged. Bytes before
// the period is known are held (about 1 kB).
class OuterDecoder {
  public:
    enum class Mode { kSearching, kPlain, kOuterCoded };
    struct Counts {
        uint64_t packets = 0;        // outer-coded packets decoded
        uint64_t corrected = 0;      // of them, with bytes corrected
        uint64_t uncorrectable = 0;  // of them, flagged
    };

    OuterDecoder();
    // Appends the transport stream made of `in` to out.
    void Process(std::span<const uint8_t> in, std::vector<uint8_t>* out);
    // A new sub-channel: the period is found again.
    void Reset();
    Mode mode() const { return mode_; }
    const Counts& counts() const { return counts_; }

  private:
    void Search(std::vector<uint8_t>* out);
    void Decode(uint8_t byte, std::vector<uint8_t>* out);
    void EmitPacket(std::vector<uint8_t>* out);

    Mode mode_ = Mode::kSearching;
    Counts counts_;
    std::vector<uint8_t> pending_;  // searching: bytes not yet placed
    ConvolutionalInterleaver deinterleaver_;
    size_t position_ = 0;   // bytes of the coded stream since the period was found
    int missed_syncs_ = 0;  // in a row, in the coded stream
    std::array<uint8_t, kOuterPacketBytes> packet_{};
    size_t packet_fill_ = 0;
};

}  // namespace koru::dab

#endif
