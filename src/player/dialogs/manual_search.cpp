#include "player/dialogs/manual_search.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/event_window.h"
#include "player/core/player_event.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "CManualSearch";
// The connection state while a manual search holds the receiver.
constexpr int kConnectionSearching = 5;
// How long the outcome messages stay up.
constexpr int kCompletedShownMs = 2000;
constexpr int kNoDataShownMs = 1000;

}  // namespace

int TextToInteger(const std::string& text) {
    size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    long long value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at)
        value = std::min<long long>(value * 10 + (text[at] - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

ManualSearch::ManualSearch(const Dependencies& dependencies, QObject* parent)
    : QObject(parent),
      controller_(*dependencies.controller),
      state_(dependencies.controller->state()),
      event_window_(dependencies.event_window),
      find_search_function_(dependencies.find_search_function),
      table_(*dependencies.table),
      list_(dependencies.list),
      clear_tv_and_radio_items_(dependencies.clear_tv_and_radio_items),
      channel_search_running_(dependencies.channel_search_running),
      timers_([this](int id) { OnTimer(id); }, this) {}

ManualSearch::~ManualSearch() {
    WaitForWorker();
}

std::span<const settings::ManualSearchRow> ManualSearch::Rows() {
    return settings::GetManualSearchList(settings::ManualSearchListKind::kKorea);
}

void ManualSearch::WaitForWorker() {
    // The worker waits for the event window only, never for this thread.
    if (worker_.joinable()) worker_.join();
}

bool ManualSearch::Refused() const {
    return busy_ || state_.Searching() || (channel_search_running_ && channel_search_running_());
}

void ManualSearch::RowDoubleClicked(int row) {
    const std::span<const settings::ManualSearchRow> rows = Rows();
    if (row < 0 || row >= static_cast<int>(rows.size())) return;
    if (state_.Searching() || state_.connection_state == kConnectionSearching) return;
    controller_.HideSkinnedMessage();
    Start(rows[static_cast<size_t>(row)].frequency_khz);
}

void ManualSearch::Go(const std::string& text) {
    Start(TextToInteger(text));
}

void ManualSearch::Start(int frequency_khz) {
    // Two searches would share the receiver: a request while one runs is refused.
    if (Refused()) return;
    busy_ = true;
    timers_.Stop(kManualSearchMessageTimer);
    // From here on the player treats it as a search: no tune, no exit, no other search.
    activity_before_ = state_.activity;
    state_.activity = kActivitySearching;
    if (list_ != nullptr) list_->HideList();
    controller_.SetMessageLine(2, "");
    controller_.SetMessageLine(1, "");
    if (clear_tv_and_radio_items_) clear_tv_and_radio_items_();
    controller_.SetSignalBars(1);
    state_.connection_state = kConnectionSearching;
    controller_.SetMessageLine(2, Format(controller_.Text(Text::kSearchFrequency),
                                         controller_.Text(Text::kSearch), frequency_khz / 1000.0));
    WaitForWorker();  // a previous worker has handed over its result already
    worker_ = std::thread([this, frequency_khz] { Run(frequency_khz); });
}

void ManualSearch::Run(int frequency_khz) {
    SendPlayerEvent(event_window_, kEventCloseForSearch);
    const DMB_API_SearchChannelFn search =
        find_search_function_ ? find_search_function_() : nullptr;
    if (search == nullptr) {
        M4_LOG(1, kSource, "DMB_API_SearchChannel not found");
        RunOnThreadOf(
            this, [this] { NoEntryPoint(); }, Qt::QueuedConnection);
        return;
    }
    ServiceEntry entries[DMB_MAX_SERVICES] = {};
    int32_t count = 0;
    const int result = search(frequency_khz * 0.001, entries, &count, kSearchTimeLimitMs);
    count = std::clamp<int32_t>(count, 0, DMB_MAX_SERVICES);
    M4_LOG(2, kSource, "manual search: %d kHz, result %d, %d services", frequency_khz, result,
           static_cast<int>(count));
    std::vector<ServiceEntry> found(entries, entries + count);
    RunOnThreadOf(
        this, [this, result, found = std::move(found)] { Finish(result, found); },
        Qt::QueuedConnection);
}

void ManualSearch::NoEntryPoint() {
    controller_.ShowMessage(controller_.Text(Text::kCannotFindRxmod));
    controller_.SetMessageLine(2, "");
    // Nothing was searched: the lists show the stored channels again. The URL was closed.
    if (list_ != nullptr) list_->Refill();
    state_.activity = activity_before_;
    state_.connection_state = kConnectionStopped;
    busy_ = false;
}

void ManualSearch::Finish(int result, std::vector<ServiceEntry> entries) {
    if (result != 0) {
        Failed();
        return;
    }
    table_.BeginManualSearch();
    table_.Store(entries.data(), static_cast<int>(entries.size()), false);
    const int stored = table_.count();
    M4_LOG(2, kSource, "manual search completed: %d services stored", stored);
    if (stored > 0) {
        controller_.SetMessageLine(2, "");
        controller_.ShowSkinnedMessageFor(controller_.Text(Text::kSearchCompleted),
                                          kCompletedShownMs);
    } else {
        controller_.ShowSkinnedMessageFor(controller_.Text(Text::kNoChannelData), kNoDataShownMs);
    }
    if (list_ != nullptr) {
        list_->Rebuild(0, stored);
        list_->Refill();
    }
    TuneFirstFound();
}

void ManualSearch::Failed() {
    controller_.SetSignalBars(1);
    controller_.ShowSkinnedMessage(controller_.Text(Text::kNoChannelData));
    controller_.ClearMessageLines();
    // The stored lists stay as they were, and the channel list shows them again.
    if (list_ != nullptr) list_->Refill();
    state_.WithStore([](settings::ChannelStore& store) { store.channels_available = 0; });
    state_.activity = kActivitySearchEnded;
    state_.connection_state = kConnectionStopped;
    timers_.Start(kManualSearchMessageTimer, kManualSearchMessageMs, false);
    busy_ = false;
}

void ManualSearch::TuneFirstFound() {
    const int tv = state_.ChannelCount(settings::kWatchKindTv);
    const int radio = state_.ChannelCount(settings::kWatchKindRadio);
    if (tv == 0 && radio == 0) {
        controller_.ClearMessageLines();
        if (list_ != nullptr) list_->ShowList();
        state_.WithStore([](settings::ChannelStore& store) { store.channels_available = 0; });
        state_.activity = kActivitySearchEnded;
        state_.connection_state = kConnectionStopped;
        busy_ = false;
        return;
    }
    if (tv > 0) {
        if (radio > 0) {
            state_.WithStore([](settings::ChannelStore& store) {
                store.current_tv = 0;
                store.current_radio = 0;
            });
        }
        // The TV button's action tunes nothing while the activity says "searching"; it switches
        // the layout back from radio.
        if (list_ != nullptr) list_->ShowTvList();
        state_.SetWatchKind(settings::kWatchKindTv);
        if (list_ != nullptr) list_->ShowList();
    } else {
        if (list_ != nullptr) list_->ShowRadioList();
        state_.SetWatchKind(settings::kWatchKindRadio);
    }
    state_.WithStore([](settings::ChannelStore& store) { store.channels_available = 1; });
    state_.activity = kActivitySearchEnded;
    state_.connection_state = kConnectionStopped;
    SendPlayerEvent(event_window_, WM_SYSTEM_TUNE, 0);
    busy_ = false;
}

void ManualSearch::OnTimer(int id) {
    if (id != kManualSearchMessageTimer) return;
    timers_.Stop(kManualSearchMessageTimer);
    controller_.HideSkinnedMessage();
}

}  // namespace koru::player
