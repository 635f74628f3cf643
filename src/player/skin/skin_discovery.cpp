#include "player/skin/skin_discovery.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "m4systems/folders.h"
#include "player/skin/skin_layout.h"

namespace koru::skin {
namespace {

bool EndsWithLay(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".lay") == 0;
}

}  // namespace

std::vector<std::string> SkinFolders() {
    return {ProgramFolder(), UserFolder()};
}

std::vector<std::string> ListLayoutFiles(const std::vector<std::string>& folders) {
    std::vector<std::string> paths;
    std::set<std::string> names;
    for (const std::string& folder : folders) {
        std::vector<std::filesystem::path> found;
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (EndsWithLay(name) && !it->is_directory(error)) found.push_back(it->path());
        }
        std::sort(found.begin(), found.end());
        for (const auto& path : found) {
            if (names.insert(path.filename().string()).second) paths.push_back(path.string());
        }
    }
    return paths;
}

std::string FindSkinFile(const std::string& file_name, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        std::filesystem::path path = std::filesystem::path(folder) / file_name;
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) return path.string();
    }
    return {};
}

std::vector<SkinMenuEntry> DiscoverSkins(const std::vector<std::string>& folders,
                                         int current_skin_number) {
    std::vector<SkinMenuEntry> entries;
    if (current_skin_number == kSkinNumberWithoutSkinMenu) return entries;
    SkinLayout layout;
    for (const std::string& path : ListLayoutFiles(folders)) {
        if (!layout.LoadLayout(path) || !layout.IsMainWindowSkin()) continue;
        SkinMenuEntry entry;
        entry.path = path;
        entry.file_name = std::filesystem::path(path).filename().string();
        entry.label = entry.file_name.substr(0, entry.file_name.size() - 4);
        entry.skin_number = layout.SkinNumber();
        entry.command = entries.empty() ? kSkinMenuPlaceholderCommand
                                        : kFirstSkinCommand + static_cast<int>(entries.size()) - 1;
        entry.checked = entry.skin_number == current_skin_number;
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace koru::skin
