// Where the picture goes: the full-screen video rectangle (whole screen, or the largest 4:3
// rectangle centred), the picture inside an enlarged screen region, and the signal bars.
#ifndef PLAYER_CORE_SCREEN_GEOMETRY_H
#define PLAYER_CORE_SCREEN_GEOMETRY_H

#include "player/skin/skin_layout.h"

namespace koru::player {

using skin::Rect;

// The video area in full screen on a desktop of width x height.
Rect FullScreenVideoRect(int width, int height, bool keep_4_3);

// The largest 4:3 rectangle centred in region (the picture keeps its shape when the window is
// resized with the grip).
Rect FitFourByThree(const Rect& region);

// The number of bars (1 to 7) of a signal report in tenths of dB.
int SignalBars(long long value);

// The antenna bitmap of a bar count: "BM_ATN_" + (8 - bars).
const char* AntennaBitmapName(int bars);

// Where the progress thumb's left edge stands in the progress region: the left edge plus
// position / length x (region width - thumb width); at the left edge for a ratio above 1, an
// unknown length or a stopped playback.
int ProgressThumbLeft(const Rect& region, int thumb_width, long long position_ms,
                      long long length_ms, bool stopped);

}  // namespace koru::player

#endif
