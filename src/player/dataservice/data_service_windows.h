// The data-service display as the main window's logic, the message window and the channel
// windows see it (DataServiceDisplay): EM_MOT and the radio text window, children of the main
// window over its picture area, laid out again with it whenever its size, layout, skin or full
// screen changes. The "use logo" flag lives in EM_MOT.
#ifndef PLAYER_DATASERVICE_DATA_SERVICE_WINDOWS_H
#define PLAYER_DATASERVICE_DATA_SERVICE_WINDOWS_H

#include <QPointer>
#include <string>

#include "player/core/main_view.h"
#include "player/core/velmar_player_dlg.h"
#include "player/dataservice/em_mot.h"
#include "player/dataservice/radio_text_window.h"

namespace koru::player {

class DataServiceWindows : public DataServiceDisplay {
  public:
    // logo_path: the logo file (the program folder's "dab_logo.jpg" when empty).
    explicit DataServiceWindows(VelmarPlayerDlg& main_window, std::string logo_path = {});
    ~DataServiceWindows() override;
    DataServiceWindows(const DataServiceWindows&) = delete;
    DataServiceWindows& operator=(const DataServiceWindows&) = delete;

    EM_MOT* mot() const { return mot_; }
    RadioTextWindow* radio_text() const { return radio_text_; }
    // Places both windows from the main window's picture area.
    void Place();

    // DataServiceDisplay.
    void Show(bool refresh) override;
    void Hide() override;
    void Reset() override;
    void UseLogo() override;
    void ShowFile(const std::string& path) override;
    void Navigate(const std::string& start_page) override;
    void SetRadioText(const std::string& text) override;
    void ShowRadioText(bool visible) override;

  private:
    VelmarPlayerDlg& main_window_;
    QPointer<EM_MOT> mot_;
    QPointer<RadioTextWindow> radio_text_;
};

}  // namespace koru::player

#endif
