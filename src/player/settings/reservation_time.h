// The time texts of a reservation: "%d%02d%02d-%02d:%02d" (year, month, day, hour and minute of
// the local time), 14 characters, read back by position. Texts of this form order as the
// moments they name.
#ifndef PLAYER_SETTINGS_RESERVATION_TIME_H
#define PLAYER_SETTINGS_RESERVATION_TIME_H

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace koru::settings {

constexpr size_t kReservationTimeLength = 14;

// A local date and time, as the reservation dialog's controls give it.
struct CivilTime {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

CivilTime LocalCivilTime(std::time_t moment);
// The moment of a local date and time; nothing when a field is out of its range (a day past
// the month's end, hour 24). A time that a change to summer time skips is taken as the
// system's mktime takes it.
std::optional<std::time_t> LocalMoment(const CivilTime& time);

// The text of a moment (the seconds are left out).
std::string ReservationTimeText(std::time_t moment);
std::string ReservationTimeText(const CivilTime& time);
// The moment a text names: year from characters 0 to 3, month 4 to 5, day 6 to 7, hour 9 to 10
// and minute from the last two. Nothing for a text shorter than 14 characters, without its '-'
// and ':', with fields that are not digits, or naming a date or time that does not exist.
std::optional<std::time_t> ParseReservationTime(std::string_view text);

}  // namespace koru::settings

#endif
