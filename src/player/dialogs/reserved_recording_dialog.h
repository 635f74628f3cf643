// The reserved recording dialog (template 163): the kind (TV or radio), the channel, the start
// and end date with hour and minute, Addition, Delelete and Close, and the list of planned
// recordings. The controls carry their ids as object names. What they do is
// ReservedRecording's.
#ifndef PLAYER_DIALOGS_RESERVED_RECORDING_DIALOG_H
#define PLAYER_DIALOGS_RESERVED_RECORDING_DIALOG_H

#include <QComboBox>
#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <functional>

#include "player/dialogs/key_release_dialog.h"
#include "player/dialogs/reserved_recording.h"

namespace koru::player {

namespace control {
constexpr int kReserveTypeLabel = 1065;
constexpr int kReserveTv = 1052;
constexpr int kReserveRadio = 1053;
constexpr int kReserveChannelLabel = 1066;
constexpr int kReserveChannel = 1054;
constexpr int kReserveStartLabel = 1067;
constexpr int kReserveStartDate = 1056;
constexpr int kReserveStartHour = 1057;
constexpr int kReserveStartMinute = 1058;
constexpr int kReserveEndLabel = 1068;
constexpr int kReserveEndDate = 1059;
constexpr int kReserveEndHour = 1060;
constexpr int kReserveEndMinute = 1061;
constexpr int kReserveAdd = 1062;
constexpr int kReserveDelete = 1063;
constexpr int kReserveClose = 1071;
constexpr int kReserveList = 1064;
}  // namespace control

// The list's column widths in pixels: start, end, channel name, type, index (practically
// hidden).
constexpr int kReserveColumnWidths[] = {106, 106, 110, 84, 1};

class ReservedRecordingDlg : public KeyReleaseDialog {
  public:
    // Shows a refusal (OK only); the default is a message box over the dialog.
    using MessageBox = std::function<void(QWidget* parent, const QString& text)>;

    // Builds the dialog in the current language and opens it (ReservedRecording::Open).
    ReservedRecordingDlg(QWidget* parent, MainController& controller, ReservedRecording& model,
                         MessageBox message_box = {});

    template <typename T>
    T* Control(int id) const {
        return findChild<T*>(QString::number(id));
    }
    QTableWidget* list() const { return list_; }

  protected:
    void EnterReleased() override { EndByKey(true); }
    void EscapeReleased() override { EndByKey(false); }

  private:
    void FillChannels(int kind);
    void FillList();
    void OnAdd();
    void OnDelete();
    void EndByKey(bool enter);
    settings::CivilTime TimeOf(QDateEdit* date, QComboBox* hour, QComboBox* minute) const;

    MainController& controller_;
    ReservedRecording& model_;
    MessageBox message_box_;
    QRadioButton* tv_ = nullptr;
    QRadioButton* radio_ = nullptr;
    QComboBox* channel_ = nullptr;
    QDateEdit* start_date_ = nullptr;
    QComboBox* start_hour_ = nullptr;
    QComboBox* start_minute_ = nullptr;
    QDateEdit* end_date_ = nullptr;
    QComboBox* end_hour_ = nullptr;
    QComboBox* end_minute_ = nullptr;
    QTableWidget* list_ = nullptr;
};

}  // namespace koru::player

#endif
