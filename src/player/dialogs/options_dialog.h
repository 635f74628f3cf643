// The options dialog: a tab control with the "Option" page (top-most, car option, picture shape,
// three working folders) and the "Time Shift" page (on/off, length with its disk space, folder),
// OK and Cancel. The controls carry their ids as object names. What they do is OptionsModel's.
#ifndef PLAYER_DIALOGS_OPTIONS_DIALOG_H
#define PLAYER_DIALOGS_OPTIONS_DIALOG_H

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <array>
#include <functional>

#include "player/dialogs/key_release_dialog.h"
#include "player/dialogs/options_model.h"

namespace koru::player {

namespace control {
constexpr int kOptionsTabs = 1087;
constexpr int kOptionsTopMost = 1032;
constexpr int kOptionsCar = 1033;
constexpr int kOptionsRatio43 = 1088;
constexpr int kOptionsRatioFull = 1089;
constexpr int kOptionsCaptureEdit = 1024;
constexpr int kOptionsCaptureSearch = 1023;
constexpr int kOptionsVideoEdit = 1026;
constexpr int kOptionsVideoSearch = 1025;
constexpr int kOptionsAudioEdit = 1028;
constexpr int kOptionsAudioSearch = 1027;
constexpr int kOptionsTimeShiftOn = 1090;
constexpr int kOptionsTimeShiftOff = 1091;
constexpr int kOptionsLength = 1086;
constexpr int kOptionsDiskSpace = 1083;
constexpr int kOptionsTimeShiftEdit = 1029;
constexpr int kOptionsTimeShiftSearch = 1030;
}  // namespace control

// The title of the folder chooser, in both languages.
constexpr const char* kFolderChooserTitle = "폴더선택";

class OptionDlg : public KeyReleaseDialog {
  public:
    // Asks for a folder (title, folder to start in); an empty result leaves the edit as it was.
    using FolderChooser =
        std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

    // Builds the dialog in the current language and fills it from the settings (Open).
    OptionDlg(QWidget* parent, MainController& controller, OptionsModel& model,
              FolderChooser chooser = {});

    QTabWidget* tabs() const { return tabs_; }
    // A control by its id.
    template <typename T>
    T* Control(int id) const {
        return findChild<T*>(QString::number(id));
    }

  protected:
    void EnterReleased() override { OnOk(); }

  private:
    QWidget* BuildOptionPage(int language);
    QWidget* BuildTimeShiftPage(int language);
    QPushButton* SearchButton(int id, QLineEdit* edit, int language);
    void EnableTimeShiftControls(bool on);
    void OnOk();

    MainController& controller_;
    OptionsModel& model_;
    FolderChooser chooser_;
    QTabWidget* tabs_ = nullptr;
    std::array<QLineEdit*, 4> edits_{};
    QComboBox* length_ = nullptr;
    QLabel* disk_space_ = nullptr;
    QPushButton* time_shift_search_ = nullptr;
};

}  // namespace koru::player

#endif
