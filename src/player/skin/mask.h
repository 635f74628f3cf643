// Transparent drawing through a monochrome mask: MakeMask marks the pixels of one colour as
// transparent and blackens them in the image, so DrawTransparent needs only an AND of the mask
// and an OR of the image.
#ifndef PLAYER_SKIN_MASK_H
#define PLAYER_SKIN_MASK_H

#include <cstdint>
#include <vector>

#include "player/skin/dib_image.h"

namespace koru::skin {

// Colours are 0x00RRGGBB (a pixel word without its fourth byte). This value asks MakeMask to
// take the colour of the pixel at (x, y) instead.
constexpr uint32_t kColourOfPixel = 0xFF000000u;

// One byte a pixel: 1 (white) where the image has the transparent colour, 0 (black) elsewhere.
struct MonoMask {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;

    bool IsTransparent(int x, int y) const {
        return bits[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] !=
               0;
    }
};

// Builds the mask of `colour` and sets those pixels of the image to black (all four bytes 0).
// A position outside the image with kColourOfPixel gives a mask without transparent pixels.
MonoMask MakeMask(DibImage& image, uint32_t colour, int x, int y);

// Draws the width x height top-left part of a prepared image at (x, y) of the target, clipped
// to both: pixels that are transparent in the mask leave the target as it was.
void DrawTransparent(DibImage& target, int x, int y, int width, int height, const DibImage& image,
                     const MonoMask& mask);

}  // namespace koru::skin

#endif
