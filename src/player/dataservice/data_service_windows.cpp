#include "player/dataservice/data_service_windows.h"

#include "m4systems/folders.h"
#include "player/core/osd_window.h"

namespace koru::player {

DataServiceWindows::DataServiceWindows(VelmarPlayerDlg& main_window, std::string logo_path)
    : main_window_(main_window) {
    if (logo_path.empty()) logo_path = ProgramFolder() + "/dab_logo.jpg";
    mot_ = new EM_MOT(&main_window, std::move(logo_path));
    radio_text_ = new RadioTextWindow(&main_window);
    // Over the picture, under the on-screen texts.
    mot_->stackUnder(main_window.channel_banner());
    radio_text_->stackUnder(main_window.channel_banner());
    mot_->SetContextMenuHandler(
        [this](const QPoint& global) { main_window_.OpenContextMenu(global); });
    main_window.SetRelayoutHandler([this] { Place(); });
    Place();
}

DataServiceWindows::~DataServiceWindows() {
    main_window_.SetRelayoutHandler({});
    delete mot_.data();
    delete radio_text_.data();
}

void DataServiceWindows::Place() {
    const QRect picture = main_window_.VideoRect();
    if (mot_ != nullptr) mot_->Place(picture);
    if (radio_text_ != nullptr) {
        radio_text_->Place(picture, main_window_.width(), main_window_.skin_number(),
                           OsdFontPoints(picture.height()));
    }
}

void DataServiceWindows::Show(bool refresh) {
    if (mot_ == nullptr) return;
    mot_->Show();
    if (refresh) mot_->repaint();
}

void DataServiceWindows::Hide() {
    if (mot_ != nullptr) mot_->Hide();
}

void DataServiceWindows::Reset() {
    SetRadioText("");
    UseLogo();
}

void DataServiceWindows::UseLogo() {
    if (mot_ == nullptr) return;
    mot_->set_use_logo(true);
    // A picture on screen gives way to the logo now.
    if (mot_->isVisible() && !mot_->browser_mode()) mot_->ShowPicture();
}

void DataServiceWindows::ShowFile(const std::string& path) {
    if (mot_ != nullptr) mot_->ShowFile(path);
}

void DataServiceWindows::Navigate(const std::string& start_page) {
    if (mot_ != nullptr) mot_->Navigate(start_page);
}

void DataServiceWindows::SetRadioText(const std::string& text) {
    if (radio_text_ == nullptr) return;
    // A window that never had its place gets it first.
    if (radio_text_->x() < 0 && radio_text_->y() < 0) Place();
    radio_text_->SetText(QString::fromStdString(text));
}

void DataServiceWindows::ShowRadioText(bool visible) {
    if (radio_text_ != nullptr) radio_text_->setVisible(visible);
}

}  // namespace koru::player
