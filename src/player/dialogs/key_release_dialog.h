// The base of the player's modal dialogs: Enter and Escape act when they are released, not
// pressed, and every key release stays in the dialog. A dialog that closed on the press would
// leave the release to the main window, where Enter and Escape switch full screen.
#ifndef PLAYER_DIALOGS_KEY_RELEASE_DIALOG_H
#define PLAYER_DIALOGS_KEY_RELEASE_DIALOG_H

#include <QDialog>

#include "player/dialogs/bilingual.h"

namespace koru::player {

namespace control {
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;
}  // namespace control

constexpr Bilingual kOkText = {"확인", "OK"};
constexpr Bilingual kCancelText = {"취소", "Cancel"};

class KeyReleaseDialog : public QDialog {
  public:
    explicit KeyReleaseDialog(QWidget* parent);

  protected:
    // What the release of Enter and of Escape does: OK and Cancel.
    virtual void EnterReleased() { accept(); }
    virtual void EscapeReleased() { reject(); }

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Buttons of the dialog never take Enter for themselves, and Enter and Escape reach the
    // dialog whichever control has the focus (an edit keeps their releases otherwise).
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace koru::player

#endif
