// The program information dialog: the product line, the software version and OK. Enter and
// Escape both end it as OK.
#ifndef PLAYER_DIALOGS_PROGRAM_INFORMATION_DIALOG_H
#define PLAYER_DIALOGS_PROGRAM_INFORMATION_DIALOG_H

#include <QLabel>

#include "player/dialogs/key_release_dialog.h"

namespace koru::player {

class ProgramInformationDlg : public KeyReleaseDialog {
  public:
    ProgramInformationDlg(QWidget* parent, int language);
    QLabel* version_label() const { return version_; }

  protected:
    void EscapeReleased() override { accept(); }

  private:
    QLabel* version_ = nullptr;
};

}  // namespace koru::player

#endif
