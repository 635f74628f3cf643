// What the options dialog does, apart from its widgets: the page controls write their setting
// at once, OK applies the four folders (through EnsureFolder), the window's top-most state, the
// receiver's car mode, the picture shape and a restart of time shift with the new parameters,
// then saves; Cancel puts the four switches back as they were and touches nothing else.
#ifndef PLAYER_DIALOGS_OPTIONS_MODEL_H
#define PLAYER_DIALOGS_OPTIONS_MODEL_H

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "player/core/main_controller.h"

namespace koru::player {

// The time-shift lengths of the length list, by the `timeshift` index.
constexpr std::array<int, 4> kTimeShiftMinutes = {30, 60, 90, 120};
// The cache file inside the time-shift folder.
constexpr const char* kTimeShiftCacheName = "/file_cache.ts";
// How long the restart waits between closing the channel and playing it again.
constexpr int kTimeShiftRestartDelayMs = 500;

// The four folder edits, in the order OK applies them.
enum OptionsFolder { kOptionsCapture, kOptionsVideo, kOptionsAudio, kOptionsTimeShift };
using OptionsFolderTexts = std::array<std::string, 4>;

class OptionsModel {
  public:
    // What OK does outside the settings and the main window's logic.
    struct Effects {
        std::function<void(bool)> set_top_most;  // the main window above the others or not
        std::function<void(bool)> set_car_mode;  // BB_SetCarMode / BB_UnsetCarMode
        std::function<void(const std::string& cache_file, uint32_t minutes)> set_time_shift;
        std::function<void(int ms, std::function<void()>)> later;  // runs f after ms
    };
    OptionsModel(MainController& controller, Effects effects);

    // Opening: the dialog-open mark is set and the four switches are remembered.
    void Open();

    // The page controls.
    void SetTopMost(bool on) { settings_.set_topmost(on); }
    void SetCar(bool on) { settings_.set_car(on); }
    void SetRatio(int ratio) { settings_.set_ratio(ratio); }
    void SetTimeShiftOn(bool on) { settings_.set_timeshiftonoff(on ? 1 : 0); }

    // The texts the edits start with: the stored capture, video, audio and time-shift folders.
    OptionsFolderTexts FolderTexts() const;
    // The stored length index, kept within the list's four items.
    int LengthIndex() const;
    // The disk space a length needs, in the current language.
    std::string DiskSpaceText(int length_index) const;

    // OK with the edits' texts and the chosen length; returns what the edits show afterwards (a
    // folder that could not be made shows the stored one again).
    OptionsFolderTexts Ok(const OptionsFolderTexts& edits, int length_index);
    void Cancel();

  private:
    void RestartTimeShift();

    MainController& controller_;
    settings::EM_XmlFile& settings_;
    Effects effects_;
    bool top_most_ = false;
    bool car_ = false;
    int ratio_ = 1;
    int timeshiftonoff_ = 1;
};

}  // namespace koru::player

#endif
