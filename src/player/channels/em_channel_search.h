// EM_ChannelSearch: the channel search window. Three report lists (TV, radio, data services
// found), a progress bar over the region's frequencies and a Cancel button on a skinned
// background of the BM_CS_* bitmaps; it never closes by keyboard and passes its keys on to the
// main window. The search itself is ChannelSearch's.
#ifndef PLAYER_CHANNELS_EM_CHANNEL_SEARCH_H
#define PLAYER_CHANNELS_EM_CHANNEL_SEARCH_H

#include <QProgressBar>
#include <QTreeWidget>
#include <functional>

#include "player/channels/channel_search.h"
#include "player/channels/skinned_panel.h"
#include "player/core/main_controller.h"
#include "player/skin/em_bitmap_button.h"

namespace koru::player {

// Asks the search window for its placement beside the main window.
constexpr uint32_t kPlaceChannelSearch = 1024 + 2000;

namespace control {
constexpr int kSearchTvList = 1020;
constexpr int kSearchRadioList = 1021;
constexpr int kSearchDataList = 1023;
constexpr int kSearchProgress = 1022;
constexpr int kSearchCancel = 1012;
}  // namespace control

class EM_ChannelSearch : public SkinnedPanel, public SearchWindowView {
  public:
    EM_ChannelSearch(QWidget* main_window, const skin::QtSkin& skin, MainController& controller);

    void SetCancelHandler(std::function<void()> handler) { cancel_handler_ = std::move(handler); }
    // Background, shape, lists, progress bar and button from the skin (again after a skin
    // change), then the placement.
    void Relayout();
    // Headings in the current language.
    void RefreshTexts();

    QTreeWidget* list_of_kind(int kind) const;
    QProgressBar* progress() const { return progress_; }
    skin::EM_BitmapButton* cancel_button() const { return cancel_; }

    // SearchWindowView.
    void ClearLists() override;
    void AddService(int kind, const std::string& label) override;
    void SetProgress(int position) override;
    void ShowWindow() override;
    void HideWindow() override;
    bool WindowVisible() const override { return isVisible(); }

  private:
    MainController& controller_;
    QTreeWidget* tv_ = nullptr;
    QTreeWidget* radio_ = nullptr;
    QTreeWidget* data_ = nullptr;
    QProgressBar* progress_ = nullptr;
    skin::EM_BitmapButton* cancel_ = nullptr;
    std::function<void()> cancel_handler_;
};

}  // namespace koru::player

#endif
