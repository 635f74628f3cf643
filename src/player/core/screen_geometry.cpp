#include "player/core/screen_geometry.h"

namespace koru::player {

Rect FullScreenVideoRect(int width, int height, bool keep_4_3) {
    if (!keep_4_3) return Rect{0, 0, width, height};
    if (width * 0.75 > height) {
        const int video_width = static_cast<int>(height * 1.3333334);
        const int x = (width - video_width) / 2;
        return Rect{x, 0, x + video_width, height};
    }
    const int video_height = static_cast<int>(width * 0.75);
    const int y = (height - video_height) / 2;
    return Rect{0, y, width, y + video_height};
}

Rect FitFourByThree(const Rect& region) {
    const int width = region.width();
    const int height = region.height();
    if (width <= 0 || height <= 0) return Rect{region.left, region.top, region.left, region.top};
    Rect fitted = FullScreenVideoRect(width, height, true);
    fitted.left += region.left;
    fitted.right += region.left;
    fitted.top += region.top;
    fitted.bottom += region.top;
    return fitted;
}

int SignalBars(long long value) {
    const double db = static_cast<double>(value) * 0.1;
    if (db > 13) return 7;
    if (db > 12) return 6;
    if (db > 11) return 5;
    if (db > 10) return 4;
    if (db > 9) return 3;
    if (db > 7.8) return 2;
    return 1;
}

const char* AntennaBitmapName(int bars) {
    static const char* const kNames[] = {"BM_ATN_7", "BM_ATN_6", "BM_ATN_5", "BM_ATN_4",
                                         "BM_ATN_3", "BM_ATN_2", "BM_ATN_1"};
    if (bars < 1) bars = 1;
    if (bars > 7) bars = 7;
    return kNames[bars - 1];
}

int ProgressThumbLeft(const Rect& region, int thumb_width, long long position_ms,
                      long long length_ms, bool stopped) {
    if (stopped || length_ms <= 0 || position_ms < 0) return region.left;
    const double ratio = static_cast<double>(position_ms) / static_cast<double>(length_ms);
    if (ratio > 1) return region.left;
    return region.left + static_cast<int>(ratio * (region.width() - thumb_width));
}

}  // namespace koru::player
