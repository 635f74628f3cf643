// The channel search: the requests that start it (the main window's channel list button, the
// "Channel Search" command, the channel list's Search button), the worker thread that scans the
// region's frequencies with the receiver plug-in's DMB_API_SearchChannel, and the closing steps
// that hand the result to the channel list and tune the first service found.
//
// The worker never touches a window or the main window's logic itself: every such step runs on
// the user interface thread through a blocking call, in the order the search takes them.
#ifndef PLAYER_CHANNELS_CHANNEL_SEARCH_H
#define PLAYER_CHANNELS_CHANNEL_SEARCH_H

#include <QObject>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "player/channels/channel_table.h"
#include "player/core/main_controller.h"
#include "player/core/player_state.h"
#include "rxmod/rxmod_api.h"

namespace koru::player {

// What the search does to its window (EM_ChannelSearch).
class SearchWindowView {
  public:
    virtual ~SearchWindowView() = default;
    virtual void ClearLists() = 0;
    // Appends a label to the list of a ServiceKind (0 TV, 1 radio, 3 data).
    virtual void AddService(int kind, const std::string& label) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void ShowWindow() = 0;
    virtual void HideWindow() = 0;
    virtual bool WindowVisible() const = 0;
};

// What the search asks of the channel list (EM_ChannelList).
class ChannelListControl {
  public:
    virtual ~ChannelListControl() = default;
    virtual void Rebuild(int flag, int count) = 0;
    virtual void Refill() = 0;
    virtual void ShowTvList() = 0;
    virtual void ShowRadioList() = 0;
    virtual void ShowList() = 0;
    virtual void HideList() = 0;
    virtual bool ListVisible() const = 0;
};

class ChannelSearch : public QObject {
  public:
    struct Dependencies {
        MainController* controller = nullptr;
        // Receives the blocking request that closes the terminal's URL before the search.
        QObject* event_window = nullptr;
        // DMB_API_SearchChannel of the plug-in module "rxmod", or null when it has none.
        std::function<DMB_API_SearchChannelFn()> find_search_function;
        // Now, for the reservation question.
        std::function<std::time_t()> now;
    };
    explicit ChannelSearch(const Dependencies& dependencies, QObject* parent = nullptr);
    ~ChannelSearch() override;

    void SetViews(SearchWindowView* window, ChannelListControl* list) {
        window_ = window;
        list_ = list;
    }

    // The three requests.
    void ChannelListButton();
    void SearchCommand();
    void SearchButton();

    // Starts the worker unless one runs; returns at once.
    void StartSearch();
    // Cancel button and receiver loss: the worker stops before its next frequency.
    void Cancel();
    bool searching() const { return searching_.load(); }
    // Waits for the worker to end (running the user interface thread's events meanwhile).
    void WaitForWorker();

    const ChannelTable& table() const { return table_; }
    // The manual search fills the same table, never while this search runs.
    ChannelTable& table() { return table_; }

  private:
    bool ReceiverCheck();
    bool AskToStopRecording();
    bool AskAboutReservations();
    void ShowSearchTexts();
    void OpenSearchWindow();

    void Run();
    // Nothing was searched: the search window goes, the channel list comes back.
    void RestoreWindows();
    // False when the receiver went away (the search ends).
    bool ScanFrequency(DMB_API_SearchChannelFn search, int i, int n, int frequency_khz);
    void Close(bool cancelled);
    void TuneFirstFound();
    void FinishShown(bool cancelled);
    // Runs f on the user interface thread and waits for it.
    void OnUi(const std::function<void()>& f);

    MainController& controller_;
    PlayerState& state_;
    QObject* event_window_;
    std::function<DMB_API_SearchChannelFn()> find_search_function_;
    std::function<std::time_t()> now_;
    SearchWindowView* window_ = nullptr;
    ChannelListControl* list_ = nullptr;

    ChannelTable table_;
    std::atomic<bool> searching_{false};
    std::atomic<bool> cancel_requested_{false};
    std::atomic<bool> closing_{false};
    std::atomic<bool> worker_running_{false};
    std::thread worker_;
};

}  // namespace koru::player

#endif
