#include "player/core/playback_features.h"

namespace koru::player {

PlaybackFeatures::PlaybackFeatures(const Dependencies& dependencies)
    : controller_(*dependencies.controller),
      time_shift_(controller_),
      files_(controller_, dependencies.choose_files),
      recording_(controller_, *dependencies.message_window, time_shift_, dependencies.clock),
      capture_(controller_, dependencies.clock, [this] { return files_.name(); }) {
    controller_.SetPlaybackExtensions(this);
    SetCommandsAvailable(true);
}

PlaybackFeatures::~PlaybackFeatures() {
    SetCommandsAvailable(false);
    controller_.SetPlaybackExtensions(nullptr);
}

void PlaybackFeatures::SetCommandsAvailable(bool available) {
    MenuModel& menu = controller_.menu();
    menu.SetFeature(Feature::kFilePlayback, available);
    menu.SetFeature(Feature::kRecording, available);
    menu.SetFeature(Feature::kCapture, available);
    controller_.view().RefreshButtons();
    controller_.view().RefreshMenus();
}

void PlaybackFeatures::FirstFrame() {
    PlayerState& state = controller_.state();
    if (state.FilePlayback()) {
        // The first picture cleared the message lines: the file's name comes back.
        controller_.SetMessageLine(1, files_.name());
    } else if (state.WatchKind() == settings::kWatchKindTv) {
        // The cache exists once a TV service plays.
        controller_.set_timeshift_ready(true);
    }
}

void PlaybackFeatures::OnTimer(int id) {
    if (id == timer::kTimeShiftCounter) {
        time_shift_.Tick();
    } else if (id == timer::kFileProgress) {
        files_.ProgressTick();
    }
}

}  // namespace koru::player
