// The manual search: one frequency, a row of the Korean block list or a typed kHz value,
// searched through the receiver plug-in's DMB_API_SearchChannel like the channel search, and
// its TV and radio services put in place of the stored channels.
//
// The user interface thread takes every step that touches the main window, the channel list
// and the player state's lists; a worker takes only the receiver's part: closing the terminal's
// URL (a blocking request to the event window) and the search call. It then hands the result
// back with a queued call, so it never waits for the user interface thread.
#ifndef PLAYER_DIALOGS_MANUAL_SEARCH_H
#define PLAYER_DIALOGS_MANUAL_SEARCH_H

#include <QObject>
#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "player/channels/channel_search.h"
#include "player/channels/channel_table.h"
#include "player/core/main_controller.h"
#include "player/core/timer_map.h"
#include "player/settings/band_tables.h"
#include "rxmod/rxmod_api.h"

namespace koru::player {

// The dialog's timer that hides "No data for channel" after a failed search.
constexpr int kManualSearchMessageTimer = 2026;
constexpr int kManualSearchMessageMs = 2000;

// The usual decimal text-to-integer conversion: leading blanks, a sign, the digits up to the
// first other character; no digits give 0.
int TextToInteger(const std::string& text);

class ManualSearch : public QObject {
  public:
    struct Dependencies {
        MainController* controller = nullptr;
        // Receives the blocking request that closes the terminal's URL before the search.
        QObject* event_window = nullptr;
        // DMB_API_SearchChannel of the plug-in module "rxmod", or null when it has none.
        std::function<DMB_API_SearchChannelFn()> find_search_function;
        // The channel search's working table, which the channel list rebuilds its lists from.
        ChannelTable* table = nullptr;
        ChannelListControl* list = nullptr;
        // Deletes the items of the channel list's TV and radio views (not the data view).
        std::function<void()> clear_tv_and_radio_items;
        // True while the channel search runs (from its start request on).
        std::function<bool()> channel_search_running;
    };
    explicit ManualSearch(const Dependencies& dependencies, QObject* parent = nullptr);
    ~ManualSearch() override;

    // The list's rows: the Korea block list.
    static std::span<const settings::ManualSearchRow> Rows();

    // A double-click on row (-1: none selected).
    void RowDoubleClicked(int row);
    // GO (and Escape): the edit's text as kHz.
    void Go(const std::string& text);

    bool busy() const { return busy_.load(); }
    TimerMap& timers() { return timers_; }
    // Waits for the worker to end.
    void WaitForWorker();

  private:
    // False when a search is running already (this one or the channel search).
    bool Refused() const;
    void Start(int frequency_khz);
    void Run(int frequency_khz);
    // The worker's outcome, on the user interface thread.
    void NoEntryPoint();
    void Finish(int result, std::vector<ServiceEntry> entries);
    void Failed();
    void TuneFirstFound();
    void OnTimer(int id);

    MainController& controller_;
    PlayerState& state_;
    QObject* event_window_;
    std::function<DMB_API_SearchChannelFn()> find_search_function_;
    ChannelTable& table_;
    ChannelListControl* list_;
    std::function<void()> clear_tv_and_radio_items_;
    std::function<bool()> channel_search_running_;
    TimerMap timers_;

    std::atomic<bool> busy_{false};
    int activity_before_ = 0;
    std::thread worker_;
};

}  // namespace koru::player

#endif
