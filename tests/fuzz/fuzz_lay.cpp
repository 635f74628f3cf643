// Any bytes as a ".lay" layout file: read it, then ask for every element and image it has.
#include <cstdint>

#include "player/skin/skin_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    koru::skin::SkinLayout layout;
    layout.LoadLayoutData(std::span<const uint8_t>(data, size));
    for (const auto& [id, item] : layout.rectangles()) {
        layout.GetAbsoluteRect(id);
        for (int state = -1; state <= 4; ++state)
            layout.GetBitmap(id, state);
    }
    for (const auto& [name, image] : layout.bitmaps()) {
        if (image->IsNull() || image->stride() != image->width() * 4) __builtin_trap();
    }
    layout.IsMainWindowSkin();
    return 0;
}
