#include "player/skin/mask.h"

#include <algorithm>

namespace koru::skin {

MonoMask MakeMask(DibImage& image, uint32_t colour, int x, int y) {
    MonoMask mask;
    mask.width = image.width();
    mask.height = image.height();
    mask.bits.assign(static_cast<size_t>(mask.width) * static_cast<size_t>(mask.height), 0);
    if (colour == kColourOfPixel) {
        if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return mask;
        colour = image.Pixel(x, y) & 0x00FFFFFFu;
    }
    for (int row = 0; row < image.height(); ++row) {
        for (int column = 0; column < image.width(); ++column) {
            if ((image.Pixel(column, row) & 0x00FFFFFFu) != colour) continue;
            mask.bits[static_cast<size_t>(row) * static_cast<size_t>(mask.width) +
                      static_cast<size_t>(column)] = 1;
            image.SetPixel(column, row, 0);
        }
    }
    return mask;
}

void DrawTransparent(DibImage& target, int x, int y, int width, int height, const DibImage& image,
                     const MonoMask& mask) {
    const int64_t columns = std::min({width, image.width(), mask.width});
    const int64_t rows = std::min({height, image.height(), mask.height});
    for (int64_t row = std::max<int64_t>(0, -int64_t{y}); row < rows; ++row) {
        const int64_t target_y = y + row;
        if (target_y >= target.height()) break;
        for (int64_t column = std::max<int64_t>(0, -int64_t{x}); column < columns; ++column) {
            const int64_t target_x = x + column;
            if (target_x >= target.width()) break;
            const int tx = static_cast<int>(target_x), ty = static_cast<int>(target_y);
            const int ix = static_cast<int>(column), iy = static_cast<int>(row);
            // AND with the mask (white keeps the target, black clears it), then OR the image.
            const uint32_t kept = mask.IsTransparent(ix, iy) ? target.Pixel(tx, ty) : 0;
            target.SetPixel(tx, ty, kept | image.Pixel(ix, iy));
        }
    }
}

}  // namespace koru::skin
