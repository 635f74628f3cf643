// ETI-NI frames (EN 300 799): one 24 ms logical frame of an ensemble, 6144 bytes padded with
// 0x55, carrying the FIC (FIBs) and every sub-channel's bytes. A recording is such frames back
// to back ("raw" ETI).
#ifndef DAB_ETI_H
#define DAB_ETI_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dab/fib.h"

namespace koru::dab {

inline constexpr size_t kEtiFrameSize = 6144;
inline constexpr uint32_t kFsyncEven = 0x073AB6;
inline constexpr uint32_t kFsyncOdd = 0xF8C549;

// One sub-channel's share of a frame.
struct EtiStream {
    uint8_t subchannel_id = 0;   // SCID, 0 to 63
    uint16_t start_address = 0;  // SAD, in CUs
    uint8_t tpl = 0;             // type and protection level (see dab/protection.h)
    std::vector<uint8_t> data;   // STL x 8 bytes: the sub-channel's bytes of this CIF

    bool operator==(const EtiStream&) const = default;
};

struct EtiFrame {
    uint8_t err = 0xFF;      // 0xFF: no error
    uint32_t fsync = 0;      // 0 when writing: chosen by the parity of fct
    uint8_t fct = 0;         // frame count, 0 to 249
    uint8_t fp = 0;          // frame phase, 0 to 7
    uint8_t mid = 1;         // mode identity: 1 mode I, 2 II, 3 III, 0 IV
    uint16_t mnsc = 0xFFFF;  // multiplex network signalling channel
    uint32_t tist = 0xFFFFFFFF;
    std::vector<Fib> fibs;  // mode I, II, IV: 3 per frame; mode III: 4; none without FIC
    std::vector<EtiStream> streams;

    // The stream of a sub-channel, or null.
    const EtiStream* FindStream(int subchannel_id) const;
    bool operator==(const EtiFrame&) const = default;
};

// Why a frame was rejected.
enum class EtiError {
    kNone,
    kTruncated,     // the data ends inside the frame
    kNoSync,        // no FSYNC where a frame should start
    kErrorFlag,     // ERR is not 0xFF
    kHeaderCrc,     // CRC of FC, STC and MNSC
    kFrameLength,   // FL does not fit 6144 bytes, or is not the sum of FIC and streams
    kStreamLength,  // a stream's STL goes past the frame
    kMstCrc,        // CRC of the FIC and the streams
};
const char* EtiErrorText(EtiError error);

// Parses one frame from `bytes` (which holds the frame, 6144 bytes or at least its used part),
// reading only inside `bytes`. On kNone `frame` holds the frame.
EtiError ParseEtiFrame(std::span<const uint8_t> bytes, EtiFrame* frame);

// Builds the 6144-byte frame: NST and FL from the streams, FICF from the FIBs, both CRCs.
// Throws std::invalid_argument when the contents do not form a frame (a stream not a whole
// number of 8 bytes, more than 6144 bytes, more than 127 streams, wrong number of FIBs).
std::vector<uint8_t> WriteEtiFrame(const EtiFrame& frame);

// FIBs per frame with the FIC present, by mode identity.
int FibsPerFrame(uint8_t mid);

// Reads a raw ETI-NI recording frame by frame. It finds frame sync, checks each frame and
// yields the good ones; bad frames are counted, handed to the bad-frame handler and skipped.
// It never reads past its data.
class EtiReader {
  public:
    using BadFrameHandler = std::function<void(size_t offset, EtiError error)>;

    explicit EtiReader(std::vector<uint8_t> data) : data_(std::move(data)) {}
    // The whole file; nullopt (with a reason in `error`) when it cannot be read.
    static std::optional<EtiReader> Open(const std::filesystem::path& path,
                                         std::string* error = nullptr);

    // The next good frame; false at the end of the data.
    bool Next(EtiFrame* frame);
    // Back to the first byte (the counters stay).
    void Rewind() { offset_ = 0; }

    void set_bad_frame_handler(BadFrameHandler handler) { on_bad_frame_ = std::move(handler); }
    size_t good_frames() const { return good_frames_; }
    size_t bad_frames() const { return bad_frames_; }
    // Byte offset of the next frame to read.
    size_t offset() const { return offset_; }
    size_t size() const { return data_.size(); }

  private:
    bool SyncAt(size_t offset) const;
    size_t FindSync(size_t from) const;
    void Reject(size_t offset, EtiError error);

    std::vector<uint8_t> data_;
    size_t offset_ = 0;
    size_t good_frames_ = 0;
    size_t bad_frames_ = 0;
    BadFrameHandler on_bad_frame_;
};

}  // namespace koru::dab

#endif
