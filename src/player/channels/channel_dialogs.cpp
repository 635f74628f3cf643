#include "player/channels/channel_dialogs.h"

#include "m4systems/plugin.h"

namespace koru::player {

ChannelDialogs::ChannelDialogs(const Dependencies& dependencies)
    : controller_(*dependencies.search.controller),
      search_(std::make_unique<ChannelSearch>(dependencies.search)) {
    search_window_ =
        new EM_ChannelSearch(dependencies.main_window, *dependencies.skin, controller_);
    list_window_ = new EM_ChannelList(dependencies.main_window, *dependencies.skin, controller_,
                                      search_->table());
    search_->SetViews(search_window_, list_window_);
    search_window_->SetCancelHandler([this] { search_->Cancel(); });
    list_window_->SetSearchHandler([this] { search_->SearchButton(); });
    // A moved channel list takes the search window with it.
    list_window_->SetMovedHandler([this] {
        if (search_window_ != nullptr) search_window_->move(list_window_->pos());
    });
    list_window_->Refill();
}

ChannelDialogs::~ChannelDialogs() {
    // The worker ends first; the windows then write their positions as they go.
    search_.reset();
    delete search_window_.data();
    delete list_window_.data();
}

void ChannelDialogs::ChannelListCommand() {
    search_->ChannelListButton();
}

void ChannelDialogs::ChannelSearchCommand() {
    search_->SearchCommand();
}

void ChannelDialogs::OpenChannelList() {
    if (list_window_ != nullptr) list_window_->ShowList();
}

void ChannelDialogs::SelectChannel(int watch_kind, int index) {
    if (list_window_ != nullptr) list_window_->Select(watch_kind, index);
}

void ChannelDialogs::WatchKindSwitched(int watch_kind) {
    if (list_window_ != nullptr) list_window_->MarkList(watch_kind);
}

void ChannelDialogs::HideForFullScreen() {
    search_was_visible_ = search_window_ != nullptr && search_window_->isVisible();
    list_was_visible_ = list_window_ != nullptr && list_window_->isVisible();
    if (search_window_ != nullptr) search_window_->hide();
    if (list_window_ != nullptr) list_window_->hide();
}

void ChannelDialogs::RestoreAfterFullScreen() {
    if (search_was_visible_ && search_window_ != nullptr) search_window_->show();
    if (list_was_visible_ && list_window_ != nullptr) list_window_->show();
}

void ChannelDialogs::MainWindowMoved(int dx, int dy) {
    if (controller_.full_screen()) return;
    const QPoint offset(dx, dy);
    if (search_window_ != nullptr) search_window_->move(search_window_->pos() + offset);
    if (list_window_ == nullptr) return;
    list_window_->move(list_window_->pos() + offset);
    const QRect work_area = list_window_->WorkArea();
    if (list_window_->isVisible() && !work_area.isEmpty() &&
        !work_area.intersects(list_window_->geometry())) {
        list_window_->hide();
    }
}

void ChannelDialogs::Relayout() {
    if (search_window_ != nullptr) search_window_->Relayout();
    if (list_window_ != nullptr) list_window_->Relayout();
}

void ChannelDialogs::RefreshTexts() {
    if (search_window_ != nullptr) search_window_->RefreshTexts();
    if (list_window_ != nullptr) list_window_->RefreshTexts();
}

bool ChannelDialogs::SearchWindowActive() {
    return search_window_ != nullptr && search_window_->isVisible();
}

DMB_API_SearchChannelFn FindSearchFunction(PluginManager* plugins) {
    if (plugins == nullptr) return nullptr;
    return reinterpret_cast<DMB_API_SearchChannelFn>(
        PM_GetProcAddress(plugins, "rxmod", "DMB_API_SearchChannel"));
}

}  // namespace koru::player
