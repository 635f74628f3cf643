// Finding skins: the ".lay" files of the program folder and the user folder, which of them are
// skins of the main window, and the entries of the skin menu.
#ifndef PLAYER_SKIN_SKIN_DISCOVERY_H
#define PLAYER_SKIN_SKIN_DISCOVERY_H

#include <string>
#include <vector>

namespace koru::skin {

// The menu's placeholder entry, which the first skin replaces, and the command of the next.
constexpr int kSkinMenuPlaceholderCommand = 32819;
constexpr int kFirstSkinCommand = 2124;
// With this skin the main window has a reduced menu without skins.
constexpr int kSkinNumberWithoutSkinMenu = 5;

// The folders that hold skins: the program folder, then the user folder.
std::vector<std::string> SkinFolders();

// The ".lay" files of the folders (not folders named so), by name within each folder; a name
// found in an earlier folder hides the same name in a later one.
std::vector<std::string> ListLayoutFiles(const std::vector<std::string>& folders);

// The path of a skin file named in the settings: the first folder that holds it; empty when
// none does.
std::string FindSkinFile(const std::string& file_name, const std::vector<std::string>& folders);

struct SkinMenuEntry {
    std::string path;
    std::string file_name;  // as stored in the settings, e.g. "Koru Digital.lay"
    std::string label;      // the file name without ".lay"
    int skin_number = 0;    // the absolute left of RG_SKIN
    int command = 0;        // kSkinMenuPlaceholderCommand, then kFirstSkinCommand, + 1, ...
    bool checked = false;   // its skin number is the current one
};

// The skin menu: every layout file whose RG_SKIN has a width or a height of at least 1. Empty
// when the current skin number is kSkinNumberWithoutSkinMenu.
std::vector<SkinMenuEntry> DiscoverSkins(const std::vector<std::string>& folders,
                                         int current_skin_number);

}  // namespace koru::skin

#endif
