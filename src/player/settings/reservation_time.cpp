#include "player/settings/reservation_time.h"

#include <cstdio>

namespace koru::settings {

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// The number written in text[at, at + length), or -1 when a character is not a digit.
int Digits(std::string_view text, size_t at, size_t length) {
    int value = 0;
    for (size_t i = at; i < at + length; ++i) {
        if (text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

CivilTime LocalCivilTime(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<std::time_t> LocalMoment(const CivilTime& time) {
    if (time.year < 1900 || time.year > 9999 || time.month < 1 || time.month > 12 || time.day < 1 ||
        time.day > DaysInMonth(time.year, time.month) || time.hour < 0 || time.hour > 23 ||
        time.minute < 0 || time.minute > 59 || time.second < 0 || time.second > 59) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = time.year - 1900;
    local.tm_mon = time.month - 1;
    local.tm_mday = time.day;
    local.tm_hour = time.hour;
    local.tm_min = time.minute;
    local.tm_sec = time.second;
    local.tm_isdst = -1;
    const std::time_t moment = mktime(&local);
    if (moment == static_cast<std::time_t>(-1)) return std::nullopt;
    return moment;
}

std::string ReservationTimeText(const CivilTime& time) {
    char text[32];
    std::snprintf(text, sizeof(text), "%d%02d%02d-%02d:%02d", time.year, time.month, time.day,
                  time.hour, time.minute);
    return text;
}

std::string ReservationTimeText(std::time_t moment) {
    return ReservationTimeText(LocalCivilTime(moment));
}

std::optional<std::time_t> ParseReservationTime(std::string_view text) {
    if (text.size() < kReservationTimeLength || text[8] != '-' || text[text.size() - 3] != ':')
        return std::nullopt;
    CivilTime time;
    time.year = Digits(text, 0, 4);
    time.month = Digits(text, 4, 2);
    time.day = Digits(text, 6, 2);
    time.hour = Digits(text, 9, 2);
    time.minute = Digits(text, text.size() - 2, 2);
    if (time.year < 0 || time.month < 0 || time.day < 0 || time.hour < 0 || time.minute < 0)
        return std::nullopt;
    return LocalMoment(time);
}

}  // namespace koru::settings
