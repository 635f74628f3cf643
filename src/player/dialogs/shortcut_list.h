// The shortcut list's contents: the player's keyboard shortcuts, a description in both
// languages and the key, in the order the list shows them.
#ifndef PLAYER_DIALOGS_SHORTCUT_LIST_H
#define PLAYER_DIALOGS_SHORTCUT_LIST_H

#include <span>

#include "player/dialogs/bilingual.h"

namespace koru::player {

struct ShortcutRow {
    Bilingual description;
    const char* key;
};

std::span<const ShortcutRow> ShortcutRows();

constexpr Bilingual kShortcutListTitle = {"단축키 목록", "Shortcut list"};
constexpr Bilingual kShortcutKeyInformation = {"Key Information", "Key Information"};
constexpr Bilingual kShortcutKey = {"Key", "Key"};

}  // namespace koru::player

#endif
