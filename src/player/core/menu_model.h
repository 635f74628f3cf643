// The main window's two popup menus (the main menu and the full-screen menu): their items by
// command id, texts from the message table, and which items are greyed or checked. The window
// builds its menus from this model and rebuilds them whenever it changes.
#ifndef PLAYER_CORE_MENU_MODEL_H
#define PLAYER_CORE_MENU_MODEL_H

#include <set>
#include <string>
#include <vector>

#include "player/core/message_table.h"

namespace koru::player {

namespace command {
constexpr int kOpen = 32783;
constexpr int kStop = 32784;
constexpr int kChannelSearch = 32785;
constexpr int kChannelList = 32786;
constexpr int kChannelUp = 32787;
constexpr int kChannelDown = 32788;
constexpr int kRecord = 32789;
constexpr int kNormalSize = 32790;
constexpr int kDoubleSize = 32791;
constexpr int kFullScreen = 32792;
constexpr int kExit = 32793;
constexpr int kCapture = 32795;
constexpr int kOptions = 32796;
constexpr int kProgramInformation = 32797;
constexpr int kRecordFullScreen = 32798;
constexpr int kRecordingStop = 32799;
constexpr int kCaptureFullScreen = 32800;
constexpr int kScreenRecover = 32801;
constexpr int kUpdateCheck = 32803;
constexpr int kShortcutList = 32804;
constexpr int kChannelUpFullScreen = 32805;
constexpr int kChannelDownFullScreen = 32806;
constexpr int kShortcutListFullScreen = 32807;
constexpr int kExitFullScreen = 32808;
constexpr int kOptionsFullScreen = 32809;
constexpr int kNormalSizeFullScreen = 32810;
constexpr int kDoubleSizeFullScreen = 32811;
constexpr int kSkinPlaceholder = 32819;
constexpr int kPreengagement = 32820;
constexpr int kRegionSeoul = 32822;
constexpr int kRegionLBandEurope = 32823;
constexpr int kRegionBand3Europe = 32824;
constexpr int kLanguageKorean = 32825;
constexpr int kLanguageEnglish = 32826;
constexpr int kRegionKorea = 32827;
constexpr int kRegionBeijing = 32828;
constexpr int kRegionShanghai = 32829;
constexpr int kFirstSkin = 2124;
}  // namespace command

// The region commands in FrequencyRegion order 0 to 5.
constexpr int kRegionCommands[] = {command::kRegionLBandEurope, command::kRegionBand3Europe,
                                   command::kRegionSeoul,       command::kRegionKorea,
                                   command::kRegionBeijing,     command::kRegionShanghai};

// What a later part of the player provides; its commands stay greyed until it is there.
enum class Feature {
    kFilePlayback,        // Open
    kRecording,           // Record, Recording stop
    kReservations,        // Preengagement of recording
    kCapture,             // Capture
    kOptions,             // Options dialog
    kProgramInformation,  // information dialog
    kShortcutList,        // shortcut list dialog
    kUpdateCheck,         // update checker
    kChannelWindows,      // channel list and channel search windows
};

struct MenuItem {
    enum Kind { kCommand, kSeparator, kSubmenu };
    Kind kind = kCommand;
    int command = 0;  // for kCommand
    Text text = Text::kTextCount;
    std::vector<MenuItem> children;  // for kSubmenu
    std::string label;               // a text that is not in the message table (skin names)
};

class MenuModel {
  public:
    // The main menu; position 15 is the skin submenu, left out when with_skin_menu is false
    // (skin number 5). skins are (command, label) pairs of the skin menu.
    std::vector<MenuItem> MainMenu(bool with_skin_menu,
                                   const std::vector<std::pair<int, std::string>>& skins) const;
    std::vector<MenuItem> FullScreenMenu() const;

    void SetFeature(Feature feature, bool available);
    bool HasFeature(Feature feature) const { return features_.count(feature) != 0; }

    bool IsEnabled(int command) const;
    bool IsChecked(int command) const;

    // Menu states while recording, while a file plays, and after Stop.
    void OnRecordingStarted();
    void OnFilePlaying();
    void OnStopped();

    void SetRegion(int frequency_region) { region_ = frequency_region; }
    void SetLanguage(int language) { language_ = language; }
    void SetCheckedSkin(int command) { checked_skin_ = command; }

  private:
    std::set<Feature> features_;
    std::set<int> greyed_;
    std::set<int> record_checked_;
    int region_ = 2;
    int language_ = 0;
    int checked_skin_ = 0;
};

}  // namespace koru::player

#endif
