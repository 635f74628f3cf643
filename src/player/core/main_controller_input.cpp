// MainController: what the buttons, menu commands and keys of the main window do.
#include "player/core/main_controller.h"

#include <iterator>

#include "m4systems/messages.h"

namespace koru::player {

namespace {

// The volume keys' step.
constexpr int kVolumeStep = 5;
// The service key sequence that shows the manual search window: K, H, Z typed in a row.
constexpr int kManualSearchKeys[] = {Qt::Key_K, Qt::Key_H, Qt::Key_Z};

}  // namespace

// ---- Controls and menu commands -------------------------------------------------------------

void MainController::OnControl(int control_id) {
    switch (control_id) {
        case control::kOpen:
            if (!state_.Searching() && menu_.HasFeature(Feature::kFilePlayback))
                extensions_->OpenCommand();
            break;
        case control::kPlay:
            Play();
            break;
        case control::kStop:
            StopCommand();
            break;
        case control::kChannelUp:
            ChannelStep(-1);
            break;
        case control::kChannelDown:
            ChannelStep(+1);
            break;
        case control::kMute:
            ToggleMute();
            break;
        case control::kChannelList:
            if (channel_windows_ != nullptr) channel_windows_->ChannelListCommand();
            break;
        case control::kMinimize:
            if (!full_screen_ && !state_.Searching()) {
                minimised_ = true;
                view_.Minimize();
            }
            break;
        case control::kFullScreen:
            if (!state_.Searching()) EnterFullScreen();
            break;
        case control::kTurnOff:
            Exit();
            break;
        case control::kCapture:
            if (menu_.HasFeature(Feature::kCapture)) extensions_->CaptureCommand();
            break;
        case control::kRecord:
            if (menu_.HasFeature(Feature::kRecording)) extensions_->RecordCommand();
            break;
        case control::kLogo:
            view_.OpenMakerPage();
            break;
        default:
            break;
    }
    view_.TakeFocus();
}

void MainController::OnMenuCommand(int command) {
    if (!menu_.IsEnabled(command)) return;
    switch (command) {
        case command::kOpen:
            LeaveFullScreen();
            extensions_->OpenCommand();
            break;
        case command::kStop:
            LeaveFullScreen();
            StopCommand();
            break;
        case command::kRecordingStop:
            Stop();
            break;
        case command::kChannelSearch:
            if (channel_windows_ != nullptr) channel_windows_->ChannelSearchCommand();
            break;
        case command::kChannelList:
            LeaveFullScreen();
            if (channel_windows_ != nullptr) channel_windows_->ChannelListCommand();
            break;
        case command::kChannelUp:
        case command::kChannelUpFullScreen:
            ChannelStep(-1);
            break;
        case command::kChannelDown:
        case command::kChannelDownFullScreen:
            ChannelStep(+1);
            break;
        case command::kRecord:
        case command::kRecordFullScreen:
            extensions_->RecordCommand();
            break;
        case command::kPreengagement:
            extensions_->ReservationDialog();
            break;
        case command::kCapture:
        case command::kCaptureFullScreen:
            extensions_->CaptureCommand();
            break;
        case command::kNormalSize:
        case command::kNormalSizeFullScreen:
            NormalSize();
            break;
        case command::kDoubleSize:
        case command::kDoubleSizeFullScreen:
            DoubleSize();
            break;
        case command::kFullScreen:
            EnterFullScreen();
            break;
        case command::kScreenRecover:
            LeaveFullScreen();
            break;
        case command::kOptions:
        case command::kOptionsFullScreen:
            if (dialogs_ != nullptr) dialogs_->OptionsDialog();
            break;
        case command::kLanguageKorean:
            SetLanguage(kLanguageKorean);
            break;
        case command::kLanguageEnglish:
            SetLanguage(kLanguageEnglish);
            break;
        case command::kProgramInformation:
            if (dialogs_ != nullptr) dialogs_->InformationDialog();
            break;
        case command::kShortcutList:
        case command::kShortcutListFullScreen:
            if (dialogs_ != nullptr) dialogs_->ShortcutListDialog();
            break;
        case command::kUpdateCheck:
            start_update_checker_(language());
            break;
        case command::kExit:
        case command::kExitFullScreen:
            Exit();
            break;
        default:
            for (int region = 0; region < 6; ++region) {
                if (command == kRegionCommands[region]) SetFrequencyRegion(region);
            }
            if (command == command::kSkinPlaceholder || command >= command::kFirstSkin)
                SelectSkin(command);
            break;
    }
}

// ---- Keys -----------------------------------------------------------------------------------

bool MainController::OnKeyPress(int key, bool alt) {
    if (alt) return false;
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        SetVolume(volume_ + (key == Qt::Key_Left ? -kVolumeStep : kVolumeStep));
        view_.TakeFocus();
        return true;
    }
    return false;
}

void MainController::OnKeyRelease(int key, bool alt) {
    const bool enter_or_escape =
        key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
    if (!key_armed_) {
        key_armed_ = true;
        HandleKey(key, alt);
        return;
    }
    if (enter_or_escape) {
        deferred_key_ = key;
        key_taken_ = false;
        timers_.Start(timer::kDeferredKey, 200, true);
        return;
    }
    HandleKey(key, alt);
}

void MainController::HandleKey(int key, bool alt) {
    const bool searching = state_.Searching();
    if (alt) {
        if (key == Qt::Key_1 || key == Qt::Key_2) {
            if (key == Qt::Key_1) {
                NormalSize();
            } else {
                DoubleSize();
            }
            digit_keys_enabled_ = false;
            timers_.Start(timer::kDigitKeys, 200, true);
        } else if (key == Qt::Key_F4) {
            Exit();
        }
        view_.TakeFocus();
        return;
    }
    if (ManualSearchSequence(key) && dialogs_ != nullptr) dialogs_->ShowManualSearch();
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            HandleEnterOrEscape(true);
            break;
        case Qt::Key_Escape:
            HandleEnterOrEscape(false);
            break;
        case Qt::Key_Space:
            if (state_.FilePlayback() && menu_.HasFeature(Feature::kFilePlayback))
                extensions_->FilePlayPause();
            break;
        case Qt::Key_Up:
            ChannelStep(-1);
            break;
        case Qt::Key_Down:
            ChannelStep(+1);
            break;
        case Qt::Key_B:
            if (!searching && menu_.HasFeature(Feature::kReservations))
                extensions_->ReservationDialog();
            break;
        case Qt::Key_C:
            if (menu_.HasFeature(Feature::kCapture)) extensions_->CaptureCommand();
            break;
        case Qt::Key_I:
            if (dialogs_ != nullptr) dialogs_->InformationDialog();
            break;
        case Qt::Key_L:
            if (!full_screen_ && channel_windows_ != nullptr)
                channel_windows_->ChannelListCommand();
            break;
        case Qt::Key_M:
            ToggleMute();
            break;
        case Qt::Key_O:
            if (!full_screen_ && !searching && menu_.HasFeature(Feature::kFilePlayback))
                extensions_->OpenCommand();
            break;
        case Qt::Key_P:
            Play();
            break;
        case Qt::Key_R:
            if (menu_.HasFeature(Feature::kRecording)) extensions_->RecordCommand();
            break;
        case Qt::Key_S:
            if (full_screen_ && state_.Recording()) {
                ClearMessageLines();
                Post(WM_SYSTEM_STOP);
            } else {
                StopCommand();
            }
            break;
        case Qt::Key_T:
            if (state_.FilePlayback()) {
                ChannelStep(-1);
            } else {
                const int watch_kind = NormalisedWatchKind();
                SwitchWatchKind(watch_kind == settings::kWatchKindRadio
                                    ? settings::kWatchKindTv
                                    : settings::kWatchKindRadio);
            }
            break;
        case Qt::Key_F1:
            if (dialogs_ != nullptr) dialogs_->ShortcutListDialog();
            break;
        case Qt::Key_F3:
            if (!full_screen_ && channel_windows_ != nullptr)
                channel_windows_->ChannelSearchCommand();
            break;
        case Qt::Key_F5:
            if (dialogs_ != nullptr) dialogs_->OptionsDialog();
            break;
        default:
            if (key >= Qt::Key_1 && key <= Qt::Key_9) DigitKey(key - Qt::Key_0);
            break;
    }
    view_.TakeFocus();
}

bool MainController::ManualSearchSequence(int key) {
    if (key == kManualSearchKeys[manual_search_keys_typed_]) {
        ++manual_search_keys_typed_;
    } else {
        manual_search_keys_typed_ = key == kManualSearchKeys[0] ? 1 : 0;
    }
    if (manual_search_keys_typed_ < std::size(kManualSearchKeys)) return false;
    manual_search_keys_typed_ = 0;
    return true;
}

void MainController::HandleEnterOrEscape(bool enter) {
    if (state_.message_box_flag) {
        state_.message_box_flag = false;
        dialog_open_ = false;
    } else if (minimised_) {
        minimised_ = false;
    } else if (full_screen_) {
        LeaveFullScreen();
    } else if (enter && !state_.Searching()) {
        EnterFullScreen();
    }
}

}  // namespace koru::player
