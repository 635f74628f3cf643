#include "player/dialogs/reserved_recording.h"

#include <algorithm>
#include <cstdlib>

#include "m4systems/log.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "VelmarPlayerDlg";
constexpr const char* kTypeTv = "TV";
constexpr const char* kTypeRadio = "Radio";
constexpr long long kLongestHours = 8;

int WatchKindOf(int kind) {
    return kind == kReserveKindRadio ? settings::kWatchKindRadio : settings::kWatchKindTv;
}

}  // namespace

ReservedRecording::ReservedRecording(MainController& controller, ReservationSchedule& schedule)
    : controller_(controller), state_(controller.state()), schedule_(schedule) {}

void ReservedRecording::Open() {
    rows_.clear();
    const std::time_t now = schedule_.clock().Seconds();
    state_.WithStore([&](const settings::ChannelStore& store) {
        const int count = std::clamp(store.reservation_count, 0, settings::kMaxReservations);
        for (int i = 0; i < count; ++i) {
            const settings::Reservation& reservation = store.reservations[static_cast<size_t>(i)];
            const std::string start(settings::FixedText(reservation.start));
            const std::optional<std::time_t> moment = settings::ParseReservationTime(start);
            if (!moment || *moment <= now) continue;
            rows_.push_back(
                {start, std::string(settings::FixedText(reservation.end)),
                 std::string(settings::FixedText(reservation.channel)),
                 reservation.kind == settings::kReservationKindTv ? kTypeTv : kTypeRadio,
                 std::to_string(reservation.index)});
        }
    });
    Rebuild();
    Changed();
}

std::vector<std::string> ReservedRecording::ChannelLabels(int kind) const {
    std::vector<std::string> labels;
    const int watch_kind = WatchKindOf(kind);
    for (int i = 0; i < state_.ChannelCount(watch_kind); ++i) {
        const std::optional<settings::ChannelEntry> entry = state_.Channel(watch_kind, i);
        labels.push_back(entry ? std::string(settings::FixedText(entry->label)) : std::string());
    }
    return labels;
}

int ReservedRecording::CurrentChannel(int kind) const {
    const int watch_kind = WatchKindOf(kind);
    const int count = state_.ChannelCount(watch_kind);
    if (count == 0) return -1;
    return std::clamp(state_.CurrentIndex(watch_kind), 0, count - 1);
}

settings::CivilTime ReservedRecording::Now() const {
    return settings::LocalCivilTime(schedule_.clock().Seconds());
}

std::string ReservedRecording::Refuse(const std::string& message) {
    M4_LOG(2, kSource, "reservation refused: %s", message.c_str());
    state_.message_box_flag = true;
    return message;
}

int ReservedRecording::OverlappedRow(std::time_t start, std::time_t end) const {
    for (size_t i = 0; i < rows_.size(); ++i) {
        const auto row_start = settings::ParseReservationTime(rows_[i].start);
        const auto row_end = settings::ParseReservationTime(rows_[i].end);
        // A row whose times cannot be read stands in the way of every request.
        if (!row_start || !row_end) return static_cast<int>(i);
        const bool start_inside = *row_start <= start && start <= *row_end;
        const bool end_inside = *row_start <= end && end <= *row_end;
        if (start_inside || end_inside) return static_cast<int>(i);
    }
    return -1;
}

std::string ReservedRecording::Add(const ReservationRequest& request) {
    const std::vector<std::string> labels = ChannelLabels(request.kind);
    if (request.channel < 0 || request.channel >= static_cast<int>(labels.size()))
        return Refuse(controller_.Text(Text::kReserveSelectChannel));
    settings::CivilTime start_time = request.start;
    settings::CivilTime end_time = request.end;
    start_time.second = 0;
    end_time.second = 0;
    const std::optional<std::time_t> start = settings::LocalMoment(start_time);
    const std::optional<std::time_t> end = settings::LocalMoment(end_time);
    if (!start || *start <= schedule_.clock().Seconds())
        return Refuse(controller_.Text(Text::kReserveStartBeforeNow));
    if (!end || *end <= *start) return Refuse(controller_.Text(Text::kReserveCheckStart));
    if ((*end - *start) / 3600 > kLongestHours)
        return Refuse(controller_.Text(Text::kReserveBelow8Hours));
    if (const int row = OverlappedRow(*start, *end); row >= 0) {
        const ReservationRow& listed = rows_[static_cast<size_t>(row)];
        return Refuse(Format(controller_.Text(Text::kReserveOverlapFormat), listed.start.c_str(),
                             listed.end.c_str(), controller_.Text(Text::kReserveOverlap)));
    }
    if (rows_.size() >= settings::kMaxReservations)
        return Refuse(controller_.Text(Text::kReserveTableFull));
    rows_.push_back({settings::ReservationTimeText(start_time),
                     settings::ReservationTimeText(end_time),
                     labels[static_cast<size_t>(request.channel)],
                     request.kind == kReserveKindRadio ? kTypeRadio : kTypeTv,
                     std::to_string(request.channel)});
    M4_LOG(2, kSource, "reservation added: %s %s ~ %s", rows_.back().channel.c_str(),
           rows_.back().start.c_str(), rows_.back().end.c_str());
    Rebuild();
    Changed();
    return {};
}

void ReservedRecording::Delete(const std::vector<int>& positions) {
    bool first = false;
    std::vector<ReservationRow> kept;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (std::find(positions.begin(), positions.end(), static_cast<int>(i)) == positions.end()) {
            kept.push_back(rows_[i]);
        } else {
            first = first || i == 0;
        }
    }
    if (kept.size() == rows_.size()) return;
    rows_ = std::move(kept);
    // The table first: armed again before it, the schedule would still see the deleted row.
    Rebuild();
    if (first) schedule_.FirstRowDeleted();
    Changed();
}

void ReservedRecording::Close() {
    state_.message_box_flag = false;
}

void ReservedRecording::Rebuild() {
    std::stable_sort(
        rows_.begin(), rows_.end(),
        [](const ReservationRow& a, const ReservationRow& b) { return a.start < b.start; });
    if (rows_.size() > settings::kMaxReservations) rows_.resize(settings::kMaxReservations);
    state_.WithStore([this](settings::ChannelStore& store) {
        store.reservations.fill(settings::Reservation{});
        for (size_t i = 0; i < rows_.size(); ++i) {
            settings::Reservation& record = store.reservations[i];
            const ReservationRow& row = rows_[i];
            settings::SetFixedText(record.start, row.start);
            settings::SetFixedText(record.end, row.end);
            settings::SetFixedText(record.channel, row.channel);
            record.kind = row.type == kTypeRadio ? settings::kReservationKindRadio
                                                 : settings::kReservationKindTv;
            record.index = std::atoi(row.index.c_str());
        }
        store.reservation_count = static_cast<int>(rows_.size());
    });
}

void ReservedRecording::Changed() {
    // Kept at once: a reservation must not wait for the next save to survive a crash.
    controller_.SaveSettings();
    schedule_.Arm();
}

}  // namespace koru::player
