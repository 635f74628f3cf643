#include "player/channels/channel_search.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>

#include "m4systems/log.h"
#include "m4systems/messages.h"
#include "player/core/event_window.h"
#include "player/core/local_time.h"
#include "player/core/player_event.h"
#include "player/settings/band_tables.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "EM_ChannelSearch";
// The main window's report that the receiver went away during a search ("Canceled to search").
constexpr uint32_t kSearchDeviceLost = WM_USER + 211;
// How long "No data for channel" stays up.
constexpr auto kNoDataShown = std::chrono::milliseconds(1000);
// How long the search's outcome stays readable once the search window has gone.
constexpr int kOutcomeShownMs = 2000;

}  // namespace

ChannelSearch::ChannelSearch(const Dependencies& dependencies, QObject* parent)
    : QObject(parent),
      controller_(*dependencies.controller),
      state_(dependencies.controller->state()),
      event_window_(dependencies.event_window),
      find_search_function_(dependencies.find_search_function),
      now_(dependencies.now ? dependencies.now : [] { return PlayerWallClock().Seconds(); }) {}

ChannelSearch::~ChannelSearch() {
    closing_ = true;
    cancel_requested_ = true;
    WaitForWorker();
}

// ---- Requests -------------------------------------------------------------------------------

bool ChannelSearch::ReceiverCheck() {
    const bool present = controller_.CheckReceiver();
    if (!present) controller_.ReportError(WM_SYSTEM_USB_LOST);
    return present;
}

bool ChannelSearch::AskToStopRecording() {
    if (!state_.Recording()) return true;
    if (!controller_.Ask(controller_.Text(Text::kRecordingStopAsk))) return false;
    controller_.Stop();
    return true;
}

bool ChannelSearch::AskAboutReservations() {
    bool pending = false;
    const std::time_t now = now_();
    state_.WithStore(
        [&](const settings::ChannelStore& store) { pending = HasFutureReservation(store, now); });
    if (!pending) return true;
    if (!controller_.Ask(controller_.Text(Text::kReservationsDeleteAsk))) return false;
    state_.WithStore([](settings::ChannelStore& store) { ClearReservations(store); });
    controller_.timers().Stop(timer::kReservationStart);
    return true;
}

void ChannelSearch::ShowSearchTexts() {
    controller_.SetMessageLine(1, "");
    controller_.SetMessageLine(2, controller_.Text(Text::kSearch));
    controller_.ShowSkinnedMessage(controller_.Text(Text::kSearching));
}

void ChannelSearch::OpenSearchWindow() {
    if (list_ != nullptr) list_->HideList();
    if (window_ != nullptr) window_->ShowWindow();
    StartSearch();
}

void ChannelSearch::ChannelListButton() {
    if (searching_ || state_.Searching()) {
        if (window_ != nullptr) window_->ShowWindow();
        return;
    }
    if (state_.ChannelCount(settings::kWatchKindTv) > 0 ||
        state_.ChannelCount(settings::kWatchKindRadio) > 0) {
        if (list_ == nullptr) return;
        if (list_->ListVisible()) {
            list_->HideList();
        } else {
            list_->ShowList();
        }
        return;
    }
    if (!ReceiverCheck()) return;
    if (list_ != nullptr && list_->ListVisible()) {
        list_->HideList();
        return;
    }
    if (!AskAboutReservations()) return;
    ShowSearchTexts();
    OpenSearchWindow();
}

void ChannelSearch::SearchCommand() {
    if (!ReceiverCheck()) return;
    if (searching_ || state_.Searching()) return;
    controller_.LeaveFullScreen();
    if (!AskToStopRecording()) return;
    ShowSearchTexts();
    OpenSearchWindow();
}

void ChannelSearch::SearchButton() {
    if (!ReceiverCheck()) return;
    if (state_.FilePlayback()) {
        controller_.timers().Stop(timer::kFileProgress);
        controller_.ClearMessageLines();
    }
    if (!AskToStopRecording()) return;
    if (!AskAboutReservations()) return;
    if (state_.WatchKind() == settings::kWatchKindRadio) controller_.data_service().UseLogo();
    ShowSearchTexts();
    OpenSearchWindow();
}

// ---- The worker -----------------------------------------------------------------------------

void ChannelSearch::StartSearch() {
    // A worker still on its closing steps (which wait for this thread) is left to end first.
    if (worker_running_ || searching_.exchange(true)) return;
    if (window_ != nullptr) window_->SetProgress(0);
    if (worker_.joinable()) worker_.join();  // ended: its last instruction has run
    worker_running_ = true;
    worker_ = std::thread([this] {
        Run();
        worker_running_ = false;
    });
}

void ChannelSearch::Cancel() {
    if (searching_) cancel_requested_ = true;
}

void ChannelSearch::WaitForWorker() {
    while (worker_running_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    if (worker_.joinable()) worker_.join();
}

void ChannelSearch::OnUi(const std::function<void()>& f) {
    if (QThread::currentThread() == thread()) {
        f();
        return;
    }
    if (closing_) return;
    RunOnThreadOf(this, f, Qt::BlockingQueuedConnection);
}

void ChannelSearch::Run() {
    const DMB_API_SearchChannelFn search =
        find_search_function_ ? find_search_function_() : nullptr;
    if (search == nullptr) {
        M4_LOG(1, kSource, "DMB_API_SearchChannel not found");
        OnUi([this] {
            controller_.ShowMessage(controller_.Text(Text::kCannotFindRxmod));
            // Nothing was searched: the windows return to where they were, and a later
            // request may try again (the plug-in may be installed by then).
            RestoreWindows();
        });
        searching_ = false;
        return;
    }
    int region = 0;
    state_.WithStore([&](const settings::ChannelStore& store) { region = store.frequency_region; });
    const settings::BandTable& band = settings::GetBandTable(region);
    const int n = static_cast<int>(band.frequencies_khz.size());
    if (n == 0) {
        // A scan of nothing is no result: the stored lists and what plays stay as they are.
        M4_LOG(1, kSource, "region %d has no frequencies: nothing searched", region);
        OnUi([this] {
            RestoreWindows();
            controller_.ShowSkinnedMessageFor(controller_.Text(Text::kSearchCanceled),
                                              kOutcomeShownMs);
        });
        searching_ = false;
        return;
    }

    OnUi([this] {
        controller_.data_service().SetRadioText("");
        if (window_ != nullptr) window_->ClearLists();
    });
    // The receiver is the search's before the close runs, so that no tune or connect still
    // queued at the event window takes it back.
    state_.activity = kActivitySearching;
    SendPlayerEvent(event_window_, kEventCloseForSearch);
    cancel_requested_ = false;
    M4_LOG(2, kSource, "search of region %d: %d frequencies", region, n);
    table_.BeginSearch();
    for (int i = 0; i < n; ++i) {
        OnUi([this] { controller_.SetSignalBars(1); });
        if (cancel_requested_) break;
        if (!ScanFrequency(search, i, n, band.frequencies_khz[static_cast<size_t>(i)])) break;
    }
    const bool cancelled = cancel_requested_;
    searching_ = false;
    Close(cancelled);
}

void ChannelSearch::RestoreWindows() {
    controller_.SetMessageLine(2, "");
    controller_.HideSkinnedMessage();
    if (window_ != nullptr) window_->HideWindow();
    if (list_ != nullptr) list_->ShowList();
}

bool ChannelSearch::ScanFrequency(DMB_API_SearchChannelFn search, int i, int n, int frequency_khz) {
    OnUi([this, frequency_khz] {
        controller_.SetMessageLine(
            2, Format(controller_.Text(Text::kSearchFrequency), controller_.Text(Text::kSearch),
                      frequency_khz / 1000.0));
    });
    ServiceEntry entries[DMB_MAX_SERVICES] = {};
    int32_t count = 0;
    const int result = search(frequency_khz * 0.001, entries, &count, kSearchTimeLimitMs);
    const int progress = SearchProgress(i, n);
    M4_LOG(2, kSource, "search %d of %d: %d kHz, result %d, %d services, progress %d", i + 1, n,
           frequency_khz, result, static_cast<int>(count), progress);
    OnUi([this, progress] {
        if (window_ != nullptr) window_->SetProgress(progress);
    });
    if (result == BB_ERR_NO_DEVICE) {
        // Set before the report: the plug-in's own receiver-lost message may arrive while the
        // report is still up, and it must not be shown a second time.
        state_.suppress_usb_lost = true;
        OnUi([this] { controller_.ReportError(kSearchDeviceLost); });
        cancel_requested_ = true;
        return false;
    }
    if (result != 0 || count <= 0) return true;
    const std::vector<ListedService> stored = table_.Store(entries, count);
    OnUi([this, &stored] {
        if (window_ == nullptr) return;
        for (const ListedService& service : stored)
            window_->AddService(service.kind, service.label);
    });
    return true;
}

void ChannelSearch::Close(bool cancelled) {
    const int found = table_.count();
    M4_LOG(2, kSource, "search %s: %d services stored, %d left out",
           cancelled ? "cancelled" : "completed", found, table_.dropped());
    if (cancelled) {
        OnUi([this] {
            controller_.SetMessageLine(2, "");
            controller_.ShowSkinnedMessageFor(controller_.Text(Text::kSearchCanceled),
                                              kOutcomeShownMs);
            const bool live = state_.play_source == kPlaySourceLive;
            const int watch_kind = state_.WatchKind();
            state_.activity = kActivitySearchEnded;
            state_.connection_state = kConnectionStopped;
            // The channel that was playing in the current list comes back.
            if (live &&
                (watch_kind == settings::kWatchKindTv || watch_kind == settings::kWatchKindRadio)) {
                controller_.Post(WM_SYSTEM_TUNE, state_.CurrentIndex(watch_kind));
            }
            FinishShown(true);
        });
        return;
    }
    if (found == 0) {
        OnUi([this] { controller_.ShowSkinnedMessage(controller_.Text(Text::kNoChannelData)); });
        std::this_thread::sleep_for(kNoDataShown);
        OnUi([this] {
            controller_.HideSkinnedMessage();
            if (list_ != nullptr) {
                list_->Rebuild(0, 0);
                list_->Refill();
            }
            TuneFirstFound();
        });
        return;
    }
    OnUi([this, found] {
        controller_.SetMessageLine(2, "");
        controller_.ShowSkinnedMessageFor(controller_.Text(Text::kSearchCompleted),
                                          kOutcomeShownMs);
        if (list_ != nullptr) {
            list_->Rebuild(0, found);
            list_->Refill();
        }
        if (table_.dropped() > 0)
            controller_.ShowMessage(
                Format(controller_.Text(Text::kSearchTableFull), table_.dropped()));
        TuneFirstFound();
    });
}

void ChannelSearch::TuneFirstFound() {
    const int tv = state_.ChannelCount(settings::kWatchKindTv);
    const int radio = state_.ChannelCount(settings::kWatchKindRadio);
    DataServiceDisplay& data_service = controller_.data_service();
    if (tv == 0 && radio == 0) {
        controller_.SetMessageLine(2, "");
        if (window_ != nullptr) window_->HideWindow();
        if (list_ != nullptr) list_->ShowList();
        controller_.HideSkinnedMessage();
        state_.activity = kActivitySearchEnded;
        state_.connection_state = kConnectionStopped;
        state_.WithStore([](settings::ChannelStore& store) { store.channels_available = 0; });
        controller_.view().TakeFocus();
        return;
    }
    if (tv > 0) {
        if (radio > 0) {
            state_.WithStore([](settings::ChannelStore& store) {
                store.current_tv = 0;
                store.current_radio = 0;
                store.current_data = 0;
            });
        }
        if (state_.WatchKind() == settings::kWatchKindRadio) {
            data_service.ShowRadioText(false);
            data_service.UseLogo();
            data_service.Hide();
        }
        // The TV button's action sets the list kind itself, after comparing it with the one that
        // was open, so that the video layout comes back after radio.
        if (list_ != nullptr) list_->ShowTvList();
        state_.SetWatchKind(settings::kWatchKindTv);
    } else {
        if (list_ != nullptr) list_->ShowRadioList();
        state_.SetWatchKind(settings::kWatchKindRadio);
    }
    state_.WithStore([](settings::ChannelStore& store) { store.channels_available = 1; });
    // The search is over before the tune request leaves, so the tune finds the receiver free
    // and its connection state is not overwritten afterwards.
    state_.activity = kActivitySearchEnded;
    state_.connection_state = kConnectionStopped;
    controller_.Post(WM_SYSTEM_TUNE, 0);
    FinishShown(false);
}

void ChannelSearch::FinishShown(bool cancelled) {
    if (window_ != nullptr) window_->HideWindow();
    // The outcome message hides itself a little later: hidden at once, nobody could read it.
    if (list_ != nullptr) list_->ShowList();
    if (cancelled && state_.FilePlayback()) controller_.view().RefreshButtons();
}

}  // namespace koru::player
