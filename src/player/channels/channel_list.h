// What the channel list does with a chosen item, apart from its window: the double-click that
// tunes a stored service (with the layout change between TV and radio), and the caption shown
// for it.
#ifndef PLAYER_CHANNELS_CHANNEL_LIST_H
#define PLAYER_CHANNELS_CHANNEL_LIST_H

#include "player/core/main_controller.h"

namespace koru::player {

// A double-click on item index of the list of watch_kind (300, 301, 302); -1 when no item is
// selected. Nothing happens for the service that is already playing.
void OpenChannelFromList(MainController& controller, int watch_kind, int index);

// The caption of entry index of the current list: its stored label loses its trailing blanks,
// then the main window shows it.
void ShowListCaption(MainController& controller, int index);

}  // namespace koru::player

#endif
