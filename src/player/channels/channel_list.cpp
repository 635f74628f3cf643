#include "player/channels/channel_list.h"

#include "m4systems/messages.h"
#include "player/channels/channel_table.h"

namespace koru::player {

void ShowListCaption(MainController& controller, int index) {
    PlayerState& state = controller.state();
    const int watch_kind = state.WatchKind();
    state.WithStore([&](settings::ChannelStore& store) {
        settings::ChannelList& list = ListOf(store, watch_kind);
        if (index >= 0 && index < list.count && index < settings::kMaxChannels)
            TrimLabelInPlace(list.entries[static_cast<size_t>(index)]);
    });
    controller.ShowChannelCaption(watch_kind, index);
}

void OpenChannelFromList(MainController& controller, int watch_kind, int index) {
    PlayerState& state = controller.state();
    // The receiver belongs to the search while it runs: nothing is tuned.
    if (index < 0 || state.Searching()) return;
    if (index == state.CurrentIndex(watch_kind) && state.WatchKind() == watch_kind &&
        !state.FilePlayback() && state.connection_state == kConnectionPlaying) {
        return;  // already on
    }
    if (state.FilePlayback()) controller.Stop();
    if (state.Recording()) {
        if (!controller.Ask(controller.Text(Text::kRecordingStopAsk))) return;
        controller.Stop();
    }
    const bool live = state.play_source == kPlaySourceLive;
    const int current = state.WatchKind();
    DataServiceDisplay& data_service = controller.data_service();
    if (watch_kind == settings::kWatchKindRadio) {
        data_service.SetRadioText("");
        data_service.UseLogo();
        if ((live && current == settings::kWatchKindTv) ||
            (!live && state.layout == kLayoutVideo)) {
            controller.SwitchLayout(kLayoutAudio);
        }
    } else if (watch_kind == settings::kWatchKindTv) {
        data_service.SetRadioText("");
        // From the data list too, whose layout is the audio layout.
        if ((live && current != settings::kWatchKindTv) ||
            (!live && state.layout == kLayoutAudio)) {
            controller.SwitchLayout(kLayoutVideo);
        }
    } else if (live && current == settings::kWatchKindTv) {
        // A data service from live TV: its display with the logo in the audio layout, as the
        // list's Data button does.
        data_service.UseLogo();
        data_service.Show(false);
        data_service.SetRadioText("");
        controller.SwitchLayout(kLayoutAudio);
    }
    // A live service of another list is tuned afresh: the same index in another list is
    // another service, whichever two lists they are.
    if (live && current != watch_kind) state.tune_state = kTuneChosenFromList;
    controller.CheckReceiverIfMissing();
    state.SetWatchKind(watch_kind);
    ShowListCaption(controller, index);
    controller.Post(WM_SYSTEM_TUNE, index);
    if (state.FilePlayback()) controller.view().RefreshButtons();
}

}  // namespace koru::player
