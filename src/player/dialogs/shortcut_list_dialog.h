// The shortcut list dialog: a report list of the player's keys (description, key) and OK.
#ifndef PLAYER_DIALOGS_SHORTCUT_LIST_DIALOG_H
#define PLAYER_DIALOGS_SHORTCUT_LIST_DIALOG_H

#include <QTreeWidget>

#include "player/dialogs/key_release_dialog.h"

namespace koru::player {

namespace control {
constexpr int kShortcutList = 1040;
}  // namespace control

class ShortcutListDlg : public KeyReleaseDialog {
  public:
    ShortcutListDlg(QWidget* parent, int language);
    QTreeWidget* list() const { return list_; }

  private:
    QTreeWidget* list_ = nullptr;
};

}  // namespace koru::player

#endif
