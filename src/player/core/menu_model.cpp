#include "player/core/menu_model.h"

#include <map>

namespace koru::player {

namespace {

MenuItem Item(int command, Text text) {
    MenuItem item;
    item.command = command;
    item.text = text;
    return item;
}

MenuItem Separator() {
    MenuItem item;
    item.kind = MenuItem::kSeparator;
    return item;
}

MenuItem Submenu(Text text, std::vector<MenuItem> children) {
    MenuItem item;
    item.kind = MenuItem::kSubmenu;
    item.text = text;
    item.children = std::move(children);
    return item;
}

// The commands that need a later part of the player.
const std::map<int, Feature>& CommandFeatures() {
    static const std::map<int, Feature> features = {
        {command::kOpen, Feature::kFilePlayback},
        {command::kRecord, Feature::kRecording},
        {command::kRecordFullScreen, Feature::kRecording},
        {command::kRecordingStop, Feature::kRecording},
        {command::kPreengagement, Feature::kReservations},
        {command::kCapture, Feature::kCapture},
        {command::kCaptureFullScreen, Feature::kCapture},
        {command::kOptions, Feature::kOptions},
        {command::kOptionsFullScreen, Feature::kOptions},
        {command::kProgramInformation, Feature::kProgramInformation},
        {command::kShortcutList, Feature::kShortcutList},
        {command::kShortcutListFullScreen, Feature::kShortcutList},
        {command::kUpdateCheck, Feature::kUpdateCheck},
        {command::kChannelSearch, Feature::kChannelWindows},
        {command::kChannelList, Feature::kChannelWindows},
    };
    return features;
}

}  // namespace

std::vector<MenuItem> MenuModel::MainMenu(
    bool with_skin_menu, const std::vector<std::pair<int, std::string>>& skins) const {
    std::vector<MenuItem> skin_items;
    for (const auto& [skin_command, label] : skins) {
        MenuItem item = Item(skin_command, Text::kTextCount);
        item.label = label;
        skin_items.push_back(item);
    }
    std::vector<MenuItem> menu = {
        Item(command::kOpen, Text::kMenuOpen),
        Item(command::kStop, Text::kMenuStop),
        Separator(),
        Item(command::kChannelSearch, Text::kMenuChannelSearch),
        Item(command::kChannelList, Text::kMenuChannelList),
        Item(command::kChannelUp, Text::kMenuChannelUp),
        Item(command::kChannelDown, Text::kMenuChannelDown),
        Separator(),
        Item(command::kRecord, Text::kMenuRecord),
        Item(command::kPreengagement, Text::kMenuPreengagement),
        Item(command::kCapture, Text::kMenuCapture),
        Separator(),
        Item(command::kNormalSize, Text::kMenuNormalSize),
        Item(command::kDoubleSize, Text::kMenuDoubleSize),
        Item(command::kFullScreen, Text::kMenuFullScreen),
        Submenu(Text::kMenuSkin, skin_items),  // position 15
        Separator(),
        Item(command::kOptions, Text::kMenuOptions),
        Submenu(Text::kMenuRegion, {Item(command::kRegionLBandEurope, Text::kMenuRegionLBandEurope),
                                    Item(command::kRegionBand3Europe, Text::kMenuRegionBand3Europe),
                                    Item(command::kRegionSeoul, Text::kMenuRegionSeoul),
                                    Item(command::kRegionKorea, Text::kMenuRegionKorea),
                                    Item(command::kRegionBeijing, Text::kMenuRegionBeijing),
                                    Item(command::kRegionShanghai, Text::kMenuRegionShanghai)}),
        Submenu(Text::kMenuLanguage, {Item(command::kLanguageKorean, Text::kMenuKorean),
                                      Item(command::kLanguageEnglish, Text::kMenuEnglish)}),
        Separator(),
        Item(command::kProgramInformation, Text::kMenuProgramInformation),
        Item(command::kShortcutList, Text::kMenuShortcutList),
        Item(command::kUpdateCheck, Text::kMenuUpdateCheck),
        Separator(),
        Item(command::kExit, Text::kMenuExit),
    };
    if (!with_skin_menu) menu.erase(menu.begin() + 15);
    return menu;
}

std::vector<MenuItem> MenuModel::FullScreenMenu() const {
    return {
        Item(command::kScreenRecover, Text::kMenuScreenRecover),
        Separator(),
        Item(command::kChannelUpFullScreen, Text::kMenuChannelUp),
        Item(command::kChannelDownFullScreen, Text::kMenuChannelDown),
        Separator(),
        Item(command::kRecordFullScreen, Text::kMenuRecord),
        Item(command::kRecordingStop, Text::kMenuRecordingStop),
        Item(command::kCaptureFullScreen, Text::kMenuCapture),
        Separator(),
        Item(command::kNormalSizeFullScreen, Text::kMenuNormalSize),
        Item(command::kDoubleSizeFullScreen, Text::kMenuDoubleSize),
        Separator(),
        Item(command::kOptionsFullScreen, Text::kMenuOptions),
        Item(command::kShortcutListFullScreen, Text::kMenuShortcutList),
        Separator(),
        Item(command::kExitFullScreen, Text::kMenuExit),
    };
}

void MenuModel::SetFeature(Feature feature, bool available) {
    if (available) {
        features_.insert(feature);
    } else {
        features_.erase(feature);
    }
}

bool MenuModel::IsEnabled(int command) const {
    const auto& features = CommandFeatures();
    auto it = features.find(command);
    if (it != features.end() && !HasFeature(it->second)) return false;
    return greyed_.count(command) == 0;
}

bool MenuModel::IsChecked(int command) const {
    if (record_checked_.count(command) != 0) return true;
    if (command == kRegionCommands[0] || command == kRegionCommands[1] ||
        command == kRegionCommands[2] || command == kRegionCommands[3] ||
        command == kRegionCommands[4] || command == kRegionCommands[5]) {
        return region_ >= 0 && region_ < 6 && kRegionCommands[region_] == command;
    }
    if (command == command::kLanguageKorean) return language_ == 0;
    if (command == command::kLanguageEnglish) return language_ == 1;
    return checked_skin_ != 0 && command == checked_skin_;
}

void MenuModel::OnRecordingStarted() {
    for (int item :
         {command::kOpen, command::kChannelSearch, command::kChannelUp, command::kChannelDown,
          command::kChannelUpFullScreen, command::kChannelDownFullScreen, command::kRecord,
          command::kRecordFullScreen}) {
        greyed_.insert(item);
    }
    record_checked_ = {command::kRecord, command::kRecordFullScreen};
}

void MenuModel::OnFilePlaying() {
    for (int item : {command::kRecord, command::kRecordFullScreen, command::kRecordingStop})
        greyed_.insert(item);
}

void MenuModel::OnStopped() {
    greyed_.clear();
    record_checked_.clear();
}

}  // namespace koru::player
