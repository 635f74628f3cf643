// What the terminal calls of padaudio: each Layer II frame it plays, and the PAD of each DAB+
// access unit, goes here, on its audio thread; reports go out through `notify`.
#ifndef M4SYSTEMS_PADAUDIO_PAD_SERVICE_H
#define M4SYSTEMS_PADAUDIO_PAD_SERVICE_H

#include <cstddef>
#include <cstdint>
#include <functional>

#include "dab/xpad.h"
#include "m4systems/m4_types.h"

namespace koru::padaudio {

using Notify = std::function<void(uint32_t message, int64_t wparam, int64_t lparam)>;

M4_INTERNAL void FeedAudioFrame(const uint8_t* frame, size_t size, const Notify& notify);
// The PAD of a DAB+ access unit (X-PAD and F-PAD as in a Layer II frame).
M4_INTERNAL void FeedPad(const dab::PadFrame& pad, const Notify& notify);

}  // namespace koru::padaudio

#endif
