#include "m4systems/padaudio/pad_decoder.h"

#include <span>

#include "dab/mpa.h"
#include "m4systems/log.h"

namespace koru::padaudio {

namespace {
constexpr const char* kSource = "padaudio";
// Slides are small; anything bigger is no slide and is not held.
constexpr size_t kMaxObjectBytes = 4 * 1024 * 1024;
}  // namespace

PadDecoder::PadDecoder(Handlers handlers)
    : handlers_(std::move(handlers)),
      labels_([this](const dab::DynamicLabel& label) {
          if (handlers_.label) handlers_.label(label);
      }),
      objects_([this](const dab::MotObject& object) {
          if (handlers_.object) handlers_.object(object);
      }),
      xpad_([this](uint8_t start_type, std::vector<uint8_t> group) {
          DataGroup(start_type, std::move(group));
      }) {
    objects_.set_max_object_size(kMaxObjectBytes);
}

void PadDecoder::Feed(const uint8_t* frames, size_t size) {
    std::span<const uint8_t> bytes(frames, size);
    do {
        const std::optional<dab::MpaHeader> header = dab::ParseMpaHeader(bytes);
        if (!header || header->frame_size() == 0 || header->frame_size() > bytes.size()) {
            if (bad_frames_++ == 0) M4_LOG(2, kSource, "audio frame without PAD skipped");
            xpad_.Reset();
            return;
        }
        const std::span<const uint8_t> frame = bytes.first(header->frame_size());
        xpad_.Feed(dab::XpadAreaOf(frame, dab::ScfCrcLength(*header)), dab::FpadOf(frame));
        bytes = bytes.subspan(frame.size());
    } while (!bytes.empty());
}

void PadDecoder::DropPartial() {
    xpad_.Reset();
}

void PadDecoder::DataGroup(uint8_t start_type, std::vector<uint8_t> group) {
    bool ok = false;
    if (start_type == dab::kXpadDlStart) {
        ok = labels_.Feed(group);
    } else if (start_type == dab::kXpadMotStart) {
        ok = objects_.Feed(std::span<const uint8_t>(group));
    }
    if (!ok) {
        ++bad_data_groups_;
        M4_LOG(3, kSource, "data group of type %d dropped (%zu bytes)", start_type, group.size());
    }
}

}  // namespace koru::padaudio
