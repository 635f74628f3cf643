// The receiver URL of a stored channel: "bbu://<kHz>,<service index>,0.ts" for TV and
// "....mp2" for radio and data, the frequency being the integer part of MHz x 1000 + 0.1.
#ifndef PLAYER_CORE_SERVICE_URL_H
#define PLAYER_CORE_SERVICE_URL_H

#include <string>

#include "player/settings/channel_store.h"

namespace koru::player {

std::string ServiceUrl(const settings::ChannelEntry& entry, int watch_kind);

}  // namespace koru::player

#endif
