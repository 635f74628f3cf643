// CManualSearch: the manual search window. A captioned pop-up without a close box: the Korean
// block list above (one column "Manual Search", a double-click searches the row), the
// frequency field (kHz, at most 7 characters) and GO below. Escape means GO as well, since GO
// carries the Cancel id. Created hidden with the main window; once shown it stays.
#ifndef PLAYER_DIALOGS_MANUAL_SEARCH_DIALOG_H
#define PLAYER_DIALOGS_MANUAL_SEARCH_DIALOG_H

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include "player/dialogs/manual_search.h"

namespace koru::player {

namespace control {
constexpr int kManualSearchList = 1026;
constexpr int kManualSearchFrequency = 1051;
constexpr int kManualSearchGo = 2;
}  // namespace control

class CManualSearch : public QWidget {
  public:
    CManualSearch(QWidget* main_window, ManualSearch& search);

    // Shows the window (beside the main window the first time) with the field focused.
    void ShowWindow();

    QTreeWidget* list() const { return list_; }
    QLineEdit* frequency() const { return frequency_; }
    QPushButton* go() const { return go_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QWidget* main_window_;
    ManualSearch& search_;
    QTreeWidget* list_ = nullptr;
    QLineEdit* frequency_ = nullptr;
    QPushButton* go_ = nullptr;
    bool placed_ = false;
};

}  // namespace koru::player

#endif
