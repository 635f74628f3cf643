// X-PAD of DAB audio frames (EN 300 401 clause 7.4): variable-size X-PAD with contents
// indicators, carrying data groups of several applications (dynamic label segments, MOT data
// groups with their length indicator). The encoder fills each frame's X-PAD room; the decoder
// cuts the X-PAD of each frame back into whole data groups.
//
// Application types used: 1 data group length indicator, 2/3 dynamic label start and
// continuation, 12/13 MOT start and continuation. A contents indicator is one byte: length
// code (3 bits, sub-field of 4, 6, 8, 12, 16, 24, 32 or 48 bytes) and application type (5).
#ifndef DAB_XPAD_H
#define DAB_XPAD_H

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace koru::dab {

enum XpadAppType : uint8_t {
    kXpadEndMarker = 0,
    kXpadDataGroupLength = 1,
    kXpadDlStart = 2,
    kXpadDlContinuation = 3,
    kXpadMotStart = 12,
    kXpadMotContinuation = 13,
};

// F-PAD byte L-1 X-PAD indicator values.
enum XpadIndicator : uint8_t { kNoXpad = 0, kShortXpad = 1, kVariableXpad = 2 };

struct PadFrame {
    std::vector<uint8_t> xpad;  // in transmission order (see PutPad in dab/mpa.h)
    std::array<uint8_t, 2> fpad{};
};

// The 4-byte data group length indicator that goes before a MOT data group.
std::vector<uint8_t> BuildDataGroupLengthIndicator(size_t length);

class XpadEncoder {
  public:
    // At most `xpad_size` X-PAD bytes per frame (at least 5).
    explicit XpadEncoder(size_t xpad_size) : xpad_size_(xpad_size) {}

    // Queues a data group, sent whole after those queued before it; `start_type` is the
    // application type of its first sub-field (continuations use start_type + 1).
    void Queue(uint8_t start_type, std::vector<uint8_t> data_group);
    // A dynamic label segment; a MOT data group with its length indicator in front.
    void QueueDynamicLabel(std::vector<uint8_t> segment) {
        Queue(kXpadDlStart, std::move(segment));
    }
    void QueueMot(std::vector<uint8_t> data_group);

    bool empty() const { return queue_.empty(); }
    size_t queued_bytes() const;

    // The PAD of the next frame: as much of the queue as fits, or no X-PAD.
    PadFrame Next();

  private:
    struct Pending {
        uint8_t start_type;
        std::vector<uint8_t> bytes;
        size_t sent = 0;
    };
    size_t xpad_size_;
    std::deque<Pending> queue_;
};

class XpadDecoder {
  public:
    // `start_type` is 2 for dynamic label segments, 12 for MOT data groups.
    using DataGroupHandler = std::function<void(uint8_t start_type, std::vector<uint8_t> group)>;
    explicit XpadDecoder(DataGroupHandler on_data_group)
        : on_data_group_(std::move(on_data_group)) {}

    // One frame: the bytes before the ScF-CRC in transmission order (XpadAreaOf) and F-PAD.
    void Feed(std::span<const uint8_t> xpad_area, const std::array<uint8_t, 2>& fpad);
    // Forget partial data groups (after a gap in the audio frames).
    void Reset();

    size_t length_indicator_errors() const { return dgli_errors_; }

  private:
    void SubField(uint8_t type, std::span<const uint8_t> bytes);
    void Deliver(uint8_t start_type, std::vector<uint8_t>& buffer, std::optional<size_t>& size);

    DataGroupHandler on_data_group_;
    std::optional<uint8_t> last_type_;  // application type of the last sub-field
    size_t last_length_ = 0;            // bytes of the last variable X-PAD field
    std::vector<uint8_t> dl_;
    std::optional<size_t> dl_size_;
    bool dl_open_ = false;
    std::vector<uint8_t> mot_;
    std::optional<size_t> mot_size_;
    bool mot_open_ = false;
    std::optional<size_t> announced_mot_size_;
    std::vector<uint8_t> dgli_;
    size_t dgli_errors_ = 0;
};

}  // namespace koru::dab

#endif
