#include "player/channels/em_channel_list.h"

#include "player/channels/channel_list.h"
#include "player/core/message_table.h"

namespace koru::player {

namespace {

const std::vector<std::string> kBitmaps = {"BM_CL_Top", "BM_CL_Left", "BM_CL_Right",
                                           "BM_CL_Bottom"};

struct ListButton {
    int control;
    const char* name;
};
constexpr ListButton kButtons[] = {{control::kListTvButton, "BT_CL_TV"},
                                   {control::kListRadioButton, "BT_CL_Radio"},
                                   {control::kListDataButton, "BT_CL_Data"},
                                   {control::kListSearchButton, "BT_CL_Search"},
                                   {control::kListCloseButton, "BT_CL_Close"}};

int ButtonOf(int watch_kind) {
    if (watch_kind == settings::kWatchKindRadio) return control::kListRadioButton;
    if (watch_kind == settings::kWatchKindData) return control::kListDataButton;
    return control::kListTvButton;
}

int TitleImageOf(int watch_kind) {
    if (watch_kind == settings::kWatchKindRadio) return 1;
    if (watch_kind == settings::kWatchKindData) return 2;
    return 0;
}

}  // namespace

EM_ChannelList::EM_ChannelList(QWidget* main_window, const skin::QtSkin& skin,
                               MainController& controller, const ChannelTable& table)
    : SkinnedPanel(main_window, skin, "ChannelListDlg", kPlaceChannelList),
      controller_(controller),
      table_(table) {
    setObjectName("EM_ChannelList");
    tv_ = MakeList(control::kListTvList, QString());
    radio_ = MakeList(control::kListRadioList, QString());
    data_ = MakeList(control::kListDataList, QString());
    const std::pair<QTreeWidget*, int> lists[] = {{tv_, settings::kWatchKindTv},
                                                  {radio_, settings::kWatchKindRadio},
                                                  {data_, settings::kWatchKindData}};
    for (const auto& [list, kind] : lists) {
        connect(list, &QTreeWidget::itemDoubleClicked, this,
                [this, kind = kind](QTreeWidgetItem* item) { OpenItem(kind, item); });
    }
    for (const ListButton& item : kButtons) {
        auto* button = new skin::EM_BitmapButton(item.control, this);
        button->setObjectName(item.name);
        button->setFocusPolicy(Qt::NoFocus);
        buttons_[item.control] = button;
    }
    title_ = new skin::EM_BitmapButton(control::kListTitle, this);
    title_->setObjectName("BT_CL_Title");
    title_->setFocusPolicy(Qt::NoFocus);
    connect(buttons_[control::kListTvButton], &QAbstractButton::clicked, this,
            [this] { SwitchTo(settings::kWatchKindTv); });
    connect(buttons_[control::kListRadioButton], &QAbstractButton::clicked, this,
            [this] { SwitchTo(settings::kWatchKindRadio); });
    connect(buttons_[control::kListDataButton], &QAbstractButton::clicked, this,
            [this] { SwitchTo(settings::kWatchKindData); });
    connect(buttons_[control::kListSearchButton], &QAbstractButton::clicked, this, [this] {
        if (search_handler_) search_handler_();
    });
    connect(buttons_[control::kListCloseButton], &QAbstractButton::clicked, this,
            [this] { HideList(); });
    SetPlaceHandler([this] { PlaceByAnchor(controller_.skin_number()); });
    Relayout();
    MarkList(settings::kWatchKindTv);
    hide();
}

void EM_ChannelList::Relayout() {
    DrawBackground(kBitmaps);
    const int width = controller_.skin_number() == 0 ? 277 : 144;
    for (QTreeWidget* list : {tv_, radio_, data_}) {
        list->setGeometry(skin().AbsoluteRect("RG_CL_LIST"));
        SetColumnWidth(list, width);
    }
    for (const ListButton& item : kButtons)
        buttons_[item.control]->LoadImages(skin(), item.name, 0, true);
    title_->LoadImages(skin(), "BT_CL_TVTitle", 0, true);
    title_->LoadImages(skin(), "BT_CL_RadioTitle", 1, false);
    title_->LoadImages(skin(), "BT_CL_DataTitle", 2, false);
    RefreshTexts();
    PostPlace();
}

void EM_ChannelList::RefreshTexts() {
    const int language = controller_.language();
    SetHeadings(tv_, radio_, data_, language);
    buttons_[control::kListTvButton]->setToolTip(
        QString::fromUtf8(Tr(Text::kTipTvConversion, language)));
    buttons_[control::kListRadioButton]->setToolTip(
        QString::fromUtf8(Tr(Text::kTipRadioConversion, language)));
    buttons_[control::kListDataButton]->setToolTip(
        QString::fromUtf8(Tr(Text::kTipDataConversion, language)));
    buttons_[control::kListSearchButton]->setToolTip(
        QString::fromUtf8(Tr(Text::kTipChannelSearch, language)));
}

QTreeWidget* EM_ChannelList::list_of(int watch_kind) const {
    if (watch_kind == settings::kWatchKindRadio) return radio_;
    if (watch_kind == settings::kWatchKindData) return data_;
    return tv_;
}

skin::EM_BitmapButton* EM_ChannelList::button(int control_id) const {
    const auto found = buttons_.find(control_id);
    if (found != buttons_.end()) return found->second;
    return control_id == control::kListTitle ? title_ : nullptr;
}

void EM_ChannelList::Select(int watch_kind, int index) {
    QTreeWidget* list = list_of(watch_kind);
    QTreeWidgetItem* item = list->topLevelItem(index);
    if (item == nullptr) return;
    list->setCurrentItem(item);
    item->setSelected(true);
    list->scrollToItem(item);
}

void EM_ChannelList::MarkList(int watch_kind) {
    if (watch_kind != settings::kWatchKindRadio && watch_kind != settings::kWatchKindData)
        watch_kind = settings::kWatchKindTv;
    for (const int control :
         {control::kListTvButton, control::kListRadioButton, control::kListDataButton}) {
        buttons_[control]->SetChecked(control == ButtonOf(watch_kind));
    }
    title_->SetImageSet(TitleImageOf(watch_kind));
    for (QTreeWidget* list : {tv_, radio_, data_})
        list->setVisible(list == list_of(watch_kind));
    Select(watch_kind, controller_.state().CurrentIndex(watch_kind));
    watch_kind_ = watch_kind;
}

void EM_ChannelList::SwitchTo(int watch_kind) {
    // The main window's list switch marks this window back through WatchKindSwitched.
    controller_.SwitchWatchKind(watch_kind);
}

void EM_ChannelList::OpenItem(int watch_kind, QTreeWidgetItem* item) {
    QTreeWidget* list = list_of(watch_kind);
    const int index = item != nullptr ? list->indexOfTopLevelItem(item) : -1;
    OpenChannelFromList(controller_, watch_kind, index);
}

void EM_ChannelList::Rebuild(int flag, int count) {
    controller_.state().WithStore(
        [&](settings::ChannelStore& store) { RebuildChannelLists(store, table_, flag, count); });
}

void EM_ChannelList::Refill() {
    for (QTreeWidget* list : {tv_, radio_, data_})
        list->clear();
    controller_.state().WithStore([this](const settings::ChannelStore& store) {
        const std::pair<QTreeWidget*, const settings::ChannelList*> lists[] = {
            {tv_, &store.tv}, {radio_, &store.radio}, {data_, &store.data}};
        for (const auto& [view, stored] : lists) {
            for (int i = 0; i < stored->count && i < settings::kMaxChannels; ++i) {
                const std::string_view label =
                    settings::FixedText(stored->entries[static_cast<size_t>(i)].label);
                view->addTopLevelItem(new QTreeWidgetItem(
                    QStringList{QString::fromUtf8(label.data(), static_cast<int>(label.size()))}));
            }
        }
    });
}

void EM_ChannelList::ShowTvList() {
    SwitchTo(settings::kWatchKindTv);
}

void EM_ChannelList::ShowRadioList() {
    SwitchTo(settings::kWatchKindRadio);
}

void EM_ChannelList::ShowList() {
    // A remembered place that has left the work area is given up for the one beside the main
    // window.
    if (!WorkArea().isEmpty() && !WorkArea().contains(geometry()))
        PlaceByAnchor(controller_.skin_number());
    show();
    raise();
    const int watch_kind = controller_.state().WatchKind();
    Select(watch_kind, controller_.state().CurrentIndex(watch_kind));
}

void EM_ChannelList::HideList() {
    hide();
}

}  // namespace koru::player
