// EM_ChannelList: the channel list window. One of three report lists (TV, radio, data) on
// RG_CL_LIST, the buttons that switch between them, Search and Close, and the title button
// that names the list shown, on a skinned background of the BM_CL_* bitmaps. A double-click
// tunes the item; the switching buttons are the main window's list switch.
#ifndef PLAYER_CHANNELS_EM_CHANNEL_LIST_H
#define PLAYER_CHANNELS_EM_CHANNEL_LIST_H

#include <QTreeWidget>
#include <functional>
#include <map>

#include "player/channels/channel_search.h"
#include "player/channels/channel_table.h"
#include "player/channels/skinned_panel.h"
#include "player/core/main_controller.h"
#include "player/skin/em_bitmap_button.h"

namespace koru::player {

// Asks the channel list for its placement beside the main window.
constexpr uint32_t kPlaceChannelList = 1024 + 3000;

namespace control {
constexpr int kListTvButton = 1012;
constexpr int kListRadioButton = 1013;
constexpr int kListTitle = 1014;
constexpr int kListSearchButton = 1015;
constexpr int kListCloseButton = 1016;
constexpr int kListTvList = 1017;
constexpr int kListRadioList = 1018;
constexpr int kListDataList = 1019;
constexpr int kListDataButton = 1020;
}  // namespace control

class EM_ChannelList : public SkinnedPanel, public ChannelListControl {
  public:
    // table: the search's working table that Rebuild splits.
    EM_ChannelList(QWidget* main_window, const skin::QtSkin& skin, MainController& controller,
                   const ChannelTable& table);

    void SetSearchHandler(std::function<void()> handler) { search_handler_ = std::move(handler); }
    void Relayout();
    // Headings and tooltips in the current language.
    void RefreshTexts();

    // Item index of the list of watch_kind selected and focused.
    void Select(int watch_kind, int index);
    // The list's button marked, the title set, its list view shown with its current index.
    void MarkList(int watch_kind);
    int own_watch_kind() const { return watch_kind_; }

    QTreeWidget* list_of(int watch_kind) const;
    skin::EM_BitmapButton* button(int control_id) const;
    // The double-click on an item of the list of watch_kind.
    void OpenItem(int watch_kind, QTreeWidgetItem* item);

    // ChannelListControl.
    void Rebuild(int flag, int count) override;
    void Refill() override;
    void ShowTvList() override;
    void ShowRadioList() override;
    void ShowList() override;
    void HideList() override;
    bool ListVisible() const override { return isVisible(); }

  private:
    void SwitchTo(int watch_kind);

    MainController& controller_;
    const ChannelTable& table_;
    std::map<int, skin::EM_BitmapButton*> buttons_;
    skin::EM_BitmapButton* title_ = nullptr;
    QTreeWidget* tv_ = nullptr;
    QTreeWidget* radio_ = nullptr;
    QTreeWidget* data_ = nullptr;
    int watch_kind_ = settings::kWatchKindTv;
    std::function<void()> search_handler_;
};

}  // namespace koru::player

#endif
