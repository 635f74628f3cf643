// What the reserved recording dialog does, apart from its widgets: the list of planned
// recordings (those still ahead when it opens), Addition with its checks in order (a channel,
// a start after now, an end after the start, at most 8 whole hours, no overlap with a listed
// row, room in the table of 100), Delelete, and the rebuild of the reservation table from the
// list, sorted by start, after every change. The table is saved at once and the main window's
// schedule armed again.
#ifndef PLAYER_DIALOGS_RESERVED_RECORDING_H
#define PLAYER_DIALOGS_RESERVED_RECORDING_H

#include <string>
#include <vector>

#include "player/core/main_controller.h"
#include "player/core/reservation_schedule.h"
#include "player/settings/reservation_time.h"

namespace koru::player {

// The two kinds of the dialog's radio buttons.
constexpr int kReserveKindTv = 0;
constexpr int kReserveKindRadio = 1;

// One row of the list: start and end texts, the channel's label, "TV" or "Radio", the channel
// index in decimal.
struct ReservationRow {
    std::string start;
    std::string end;
    std::string channel;
    std::string type;
    std::string index;

    bool operator==(const ReservationRow&) const = default;
};

// What the controls hold when Addition is pressed.
struct ReservationRequest {
    int kind = kReserveKindTv;
    int channel = -1;  // the drop-down's index, -1 when nothing is chosen
    settings::CivilTime start;
    settings::CivilTime end;
};

class ReservedRecording {
  public:
    ReservedRecording(MainController& controller, ReservationSchedule& schedule);

    // Opening: the rows of the reservations still ahead, in table order; the table is rebuilt
    // from them (the past ones are dropped).
    void Open();
    const std::vector<ReservationRow>& rows() const { return rows_; }

    // The drop-down of a kind: the labels of the TV or radio list, and the list's current
    // index (-1 when the list is empty).
    std::vector<std::string> ChannelLabels(int kind) const;
    int CurrentChannel(int kind) const;
    // The date and time the controls start with.
    settings::CivilTime Now() const;

    // Addition: empty when the row was added, else the message that refused it (the message-box
    // flag is then set).
    std::string Add(const ReservationRequest& request);
    // Delelete: the rows at these positions.
    void Delete(const std::vector<int>& positions);
    // Close (1071): the message-box flag is cleared.
    void Close();

  private:
    std::string Refuse(const std::string& message);
    // The first listed row that the request overlaps, or -1.
    int OverlappedRow(std::time_t start, std::time_t end) const;
    void Rebuild();
    void Changed();

    MainController& controller_;
    PlayerState& state_;
    ReservationSchedule& schedule_;
    std::vector<ReservationRow> rows_;
};

}  // namespace koru::player

#endif
