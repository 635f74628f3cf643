#include "player/channels/em_channel_search.h"

#include "player/core/message_table.h"

namespace koru::player {

namespace {

const std::vector<std::string> kBitmaps = {"BM_CS_Top",      "BM_CS_Left",    "BM_CS_Right",
                                           "BM_CS_Bottom",   "BM_CS_TVTitle", "BM_CS_RadioTitle",
                                           "BM_CS_DataTitle"};

// The bar in the colours of the lists beside it.
constexpr const char* kProgressStyle =
    "QProgressBar { background: #101317; border: 1px solid #2a3038; border-radius: 3px; }"
    "QProgressBar::chunk { background: #1f9e87; border-radius: 2px; }";

}  // namespace

EM_ChannelSearch::EM_ChannelSearch(QWidget* main_window, const skin::QtSkin& skin,
                                   MainController& controller)
    : SkinnedPanel(main_window, skin, "ChannelSearchDlg", kPlaceChannelSearch),
      controller_(controller) {
    setObjectName("EM_ChannelSearch");
    tv_ = MakeList(control::kSearchTvList, QString());
    radio_ = MakeList(control::kSearchRadioList, QString());
    data_ = MakeList(control::kSearchDataList, QString());
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QString::number(control::kSearchProgress));
    progress_->setRange(0, kSearchProgressMaximum);
    progress_->setTextVisible(false);
    progress_->setStyleSheet(kProgressStyle);
    cancel_ = new skin::EM_BitmapButton(control::kSearchCancel, this);
    cancel_->setObjectName("BT_CS_Cancel");
    cancel_->setFocusPolicy(Qt::NoFocus);
    connect(cancel_, &QAbstractButton::clicked, this, [this] {
        if (cancel_handler_) cancel_handler_();
    });
    SetPlaceHandler([this] { PlaceByAnchor(controller_.skin_number()); });
    Relayout();
    hide();
}

void EM_ChannelSearch::Relayout() {
    DrawBackground(kBitmaps);
    const int width = controller_.skin_number() == 0 ? 250 : 148;
    const std::pair<QTreeWidget*, const char*> lists[] = {
        {tv_, "RG_CS_TVLIST"}, {radio_, "RG_CS_RADIOLIST"}, {data_, "RG_CS_DATALIST"}};
    for (const auto& [list, region] : lists) {
        list->setGeometry(skin().AbsoluteRect(region));
        SetColumnWidth(list, width);
    }
    progress_->setGeometry(skin().AbsoluteRect("RG_CS_Progress"));
    cancel_->LoadImages(skin(), "BT_CS_Cancel", 0, true);
    RefreshTexts();
    PostPlace();
}

void EM_ChannelSearch::RefreshTexts() {
    SetHeadings(tv_, radio_, data_, controller_.language());
}

QTreeWidget* EM_ChannelSearch::list_of_kind(int kind) const {
    if (kind == SERVICE_KIND_TV) return tv_;
    if (kind == SERVICE_KIND_RADIO) return radio_;
    if (kind == SERVICE_KIND_DATA) return data_;
    return nullptr;
}

void EM_ChannelSearch::ClearLists() {
    tv_->clear();
    radio_->clear();
    data_->clear();
}

void EM_ChannelSearch::AddService(int kind, const std::string& label) {
    QTreeWidget* list = list_of_kind(kind);
    if (list == nullptr) return;
    list->addTopLevelItem(new QTreeWidgetItem(QStringList{QString::fromStdString(label)}));
}

void EM_ChannelSearch::SetProgress(int position) {
    progress_->setValue(position);
}

void EM_ChannelSearch::ShowWindow() {
    show();
    raise();
    controller_.view().TakeFocus();
}

void EM_ChannelSearch::HideWindow() {
    hide();
}

}  // namespace koru::player
