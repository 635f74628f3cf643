#include "player/dialogs/options_model.h"

#include <algorithm>

#include "m4systems/log.h"
#include "player/dialogs/bilingual.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "OptionDlg";

constexpr Bilingual kDiskSpaceWords = {"분   필요한 하드디스크 공간 :",
                                       "Minute   Needed harddisck space :"};
constexpr std::array<const char*, 4> kDiskSpaceFormats = {"%s 115MB", "%s 231MB", "%s 346MB",
                                                          "%s 461MB"};

constexpr settings::WorkingFolderIndex kFolderOf[] = {
    settings::kCaptureFolder, settings::kVideoFolder, settings::kAudioFolder,
    settings::kTimeshiftFolder};

int ClampLength(int index) {
    return std::clamp(index, 0, static_cast<int>(kTimeShiftMinutes.size()) - 1);
}

}  // namespace

OptionsModel::OptionsModel(MainController& controller, Effects effects)
    : controller_(controller), settings_(controller.settings()), effects_(std::move(effects)) {}

void OptionsModel::Open() {
    controller_.set_dialog_open(true);
    top_most_ = settings_.topmost();
    car_ = settings_.car();
    ratio_ = settings_.ratio();
    timeshiftonoff_ = settings_.timeshiftonoff();
}

OptionsFolderTexts OptionsModel::FolderTexts() const {
    OptionsFolderTexts texts;
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = settings_.path(kFolderOf[i]);
    return texts;
}

int OptionsModel::LengthIndex() const {
    return ClampLength(settings_.timeshift());
}

std::string OptionsModel::DiskSpaceText(int length_index) const {
    return Format(kDiskSpaceFormats[static_cast<size_t>(ClampLength(length_index))],
                  kDiskSpaceWords.In(controller_.language()));
}

OptionsFolderTexts OptionsModel::Ok(const OptionsFolderTexts& edits, int length_index) {
    OptionsFolderTexts shown = edits;
    bool restart = false;
    for (size_t i = 0; i < edits.size(); ++i) {
        const settings::WorkingFolderIndex folder = kFolderOf[i];
        const std::string before = settings_.path(folder);
        // EnsureFolder takes an existing folder as it is and reports its own failure.
        if (!settings_.EnsureFolder(edits[i])) {
            shown[i] = before;
            continue;
        }
        settings_.set_path(folder, edits[i]);
        // Only a cache that really moves is worth interrupting the channel for.
        if (i == kOptionsTimeShift && edits[i] != before) restart = true;
    }
    length_index = ClampLength(length_index);
    if (settings_.topmost() != top_most_ && effects_.set_top_most)
        effects_.set_top_most(settings_.topmost());
    if (settings_.car() != car_) {
        if (effects_.set_car_mode) effects_.set_car_mode(settings_.car());
        restart = true;
    }
    if (settings_.ratio() != ratio_ && controller_.full_screen()) {
        // The full-screen picture takes its new shape.
        controller_.LeaveFullScreen();
        controller_.EnterFullScreen();
    }
    if (length_index != settings_.timeshift()) {
        settings_.set_timeshift(length_index);
        restart = true;
    }
    if (settings_.timeshiftonoff() != timeshiftonoff_) restart = true;
    if (restart) RestartTimeShift();
    controller_.SaveSettings();
    controller_.set_dialog_open(false);
    return shown;
}

void OptionsModel::RestartTimeShift() {
    const uint32_t minutes =
        settings_.timeshiftonoff() != 0
            ? static_cast<uint32_t>(kTimeShiftMinutes[static_cast<size_t>(LengthIndex())])
            : 0;
    const std::string cache = settings_.path(settings::kTimeshiftFolder) + kTimeShiftCacheName;
    M4_LOG(2, kSource, "time shift restarts: %s, %u minutes", cache.c_str(), minutes);
    if (effects_.set_time_shift) effects_.set_time_shift(cache, minutes);
    PlayerState& state = controller_.state();
    if (state.play_source != kPlaySourceLive) return;
    // Read before the Stop, whose effect on the connection arrives later.
    const bool stopped = state.connection_state == kConnectionStopped;
    controller_.Stop();
    controller_.timers().Stop(timer::kTimeShiftCounter);
    if (stopped || !effects_.later) return;
    MainController* controller = &controller_;
    effects_.later(kTimeShiftRestartDelayMs, [controller] { controller->Play(); });
}

void OptionsModel::Cancel() {
    if (settings_.topmost() != top_most_) settings_.set_topmost(top_most_);
    if (settings_.car() != car_) settings_.set_car(car_);
    if (settings_.ratio() != ratio_) settings_.set_ratio(ratio_);
    if (settings_.timeshiftonoff() != timeshiftonoff_)
        settings_.set_timeshiftonoff(timeshiftonoff_);
    controller_.set_dialog_open(false);
}

}  // namespace koru::player
