// The channel list and channel search windows as the main window sees them (ChannelWindows):
// created hidden with the main window, shown, hidden, moved and laid out again on its behalf,
// and the search requests of its channel list button and its "Channel Search" command.
#ifndef PLAYER_CHANNELS_CHANNEL_DIALOGS_H
#define PLAYER_CHANNELS_CHANNEL_DIALOGS_H

#include <QPointer>
#include <memory>

#include "m4systems/plugin.h"
#include "player/channels/channel_search.h"
#include "player/channels/em_channel_list.h"
#include "player/channels/em_channel_search.h"
#include "player/core/main_view.h"

namespace koru::player {

class ChannelDialogs : public ChannelWindows {
  public:
    struct Dependencies {
        QWidget* main_window = nullptr;
        const skin::QtSkin* skin = nullptr;
        ChannelSearch::Dependencies search;
    };
    explicit ChannelDialogs(const Dependencies& dependencies);
    ~ChannelDialogs() override;
    ChannelDialogs(const ChannelDialogs&) = delete;
    ChannelDialogs& operator=(const ChannelDialogs&) = delete;

    EM_ChannelSearch* search_window() const { return search_window_; }
    EM_ChannelList* list_window() const { return list_window_; }
    ChannelSearch& search() { return *search_; }

    // ChannelWindows.
    void ChannelListCommand() override;
    void ChannelSearchCommand() override;
    void OpenChannelList() override;
    void SelectChannel(int watch_kind, int index) override;
    void WatchKindSwitched(int watch_kind) override;
    void HideForFullScreen() override;
    void RestoreAfterFullScreen() override;
    void MainWindowMoved(int dx, int dy) override;
    void Relayout() override;
    void RefreshTexts() override;
    bool SearchWindowActive() override;

  private:
    MainController& controller_;
    std::unique_ptr<ChannelSearch> search_;
    QPointer<EM_ChannelSearch> search_window_;
    QPointer<EM_ChannelList> list_window_;
    bool search_was_visible_ = false;
    bool list_was_visible_ = false;
};

// DMB_API_SearchChannel of the plug-in module "rxmod" through the terminal's plug-in manager.
DMB_API_SearchChannelFn FindSearchFunction(PluginManager* plugins);

}  // namespace koru::player

#endif
