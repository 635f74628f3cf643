// The PAD of DAB audio frames (and of DAB+ access units), frame by frame: F-PAD and X-PAD through
// the X-PAD reader of src/dab, dynamic label segments through its label decoder, MOT data groups
// through its MOT decoder. Bad frames and bad data groups are dropped and counted, never fatal.
#ifndef M4SYSTEMS_PADAUDIO_PAD_DECODER_H
#define M4SYSTEMS_PADAUDIO_PAD_DECODER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "dab/dls.h"
#include "dab/mot.h"
#include "dab/xpad.h"
#include "m4systems/m4_types.h"

namespace koru::padaudio {

class M4_INTERNAL PadDecoder {
  public:
    struct Handlers {
        std::function<void(const dab::DynamicLabel&)> label;  // a new label (or a cleared one)
        std::function<void(const dab::MotObject&)> object;    // a complete MOT object, once
    };

    explicit PadDecoder(Handlers handlers);

    // One or more whole MPEG audio frames (header first), as a demuxer cut them. Bytes that
    // are no whole Layer II frame break the chain: partly received data is dropped.
    void Feed(const uint8_t* frames, size_t size);
    // The PAD of one DAB+ access unit.
    void FeedPad(const dab::PadFrame& pad) { xpad_.Feed(pad.xpad, pad.fpad); }
    // Drops partly received labels and objects; complete ones are still known (no repeats).
    void DropPartial();

    size_t bad_frames() const { return bad_frames_; }
    size_t bad_data_groups() const { return bad_data_groups_; }

  private:
    void DataGroup(uint8_t start_type, std::vector<uint8_t> group);

    Handlers handlers_;
    dab::DynamicLabelDecoder labels_;
    dab::MotDecoder objects_;
    dab::XpadDecoder xpad_;
    size_t bad_frames_ = 0;
    size_t bad_data_groups_ = 0;
};

}  // namespace koru::padaudio

#endif
