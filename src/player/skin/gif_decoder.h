// GIF87a and GIF89a images held in memory: global and local colour tables, frames with their
// disposal methods, transparency, interlace, and the "MOT1ALPA"/"MOT1TR00" alpha extension of
// broadcast slideshow pictures.
#ifndef PLAYER_SKIN_GIF_DECODER_H
#define PLAYER_SKIN_GIF_DECODER_H

#include <cstdint>
#include <functional>
#include <span>

#include "player/skin/image.h"

namespace koru::skin {

// Receives the canvas (width x height pixels, `stride` bytes a row) and the alpha payload of the
// decoded frame found in a "MOT1ALPA" or "MOT1TR00" application extension after that frame.
using GifExtensionHandler = std::function<void(uint8_t* canvas, int width, int height, int stride,
                                               std::span<const uint8_t> payload)>;

// True when the data starts with "GIF87a" or "GIF89a".
bool IsGif(std::span<const uint8_t> data);

// Decodes frame `frame` (0 first) over the frames before it. kImageOk and the image, else
// kImageNotRecognised or kImageDamaged (the frame is missing or the data does not hold what
// the header says).
int DecodeGif(std::span<const uint8_t> data, int frame, const GifExtensionHandler& handler,
              DecodedImage* image);

// The handler the image loader installs: the payload is a run-length coded alpha plane written
// into the fourth byte of the pixels, row by row from the top. A byte from 1 to 254 is the alpha
// of one pixel; 0 or 255 is followed by a count byte and gives that many pixels that alpha.
void ApplyAlphaPayload(uint8_t* canvas, int width, int height, int stride,
                       std::span<const uint8_t> payload);

}  // namespace koru::skin

#endif
