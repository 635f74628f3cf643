// EM_MOT: the data-service display, a 320 x 240 window centred over the main window's picture
// area. It shows the slideshow pictures of a radio service (JPEG or PNG files), the logo
// "dab_logo.jpg" of the program folder when there is no picture or "use logo" is set, and the
// start page of a data service's broadcast website in its HTML view. A picture is decoded once
// and kept; painting only draws the kept picture, centred and clipped, never scaled. Its keys
// go to the main window, a right click opens the main window's menu.
#ifndef PLAYER_DATASERVICE_EM_MOT_H
#define PLAYER_DATASERVICE_EM_MOT_H

#include <QByteArray>
#include <QImage>
#include <QWidget>
#include <functional>
#include <string>

#include "player/dataservice/site_browser.h"

namespace koru::player {

class EM_MOT : public QWidget {
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    // main_window receives the keys; logo_path is the logo file.
    EM_MOT(QWidget* main_window, std::string logo_path);

    // Centred on the picture area (in the main window's coordinates).
    void Place(const QRect& picture_area);
    void Show();
    void Hide();
    // A new page may be loaded (the browser's document is complete).
    void PageReady();
    // A new slideshow picture: the logo is no longer wanted; an empty path changes nothing.
    void ShowFile(const std::string& path);
    // Loads a start page in the HTML view, unless a page was loaded since the window was shown,
    // hidden or told PageReady. A page that is not complete yet is loaded again next time.
    void Navigate(const std::string& url);
    // The main window's "use logo" flag: the next picture shown is the logo.
    void set_use_logo(bool use_logo) { use_logo_ = use_logo; }
    bool use_logo() const { return use_logo_; }
    // Shows the current picture again (the logo while "use logo" is set).
    void ShowPicture();
    // The right click (global position); the main window opens its menu.
    void SetContextMenuHandler(std::function<void(const QPoint&)> handler) {
        context_menu_ = std::move(handler);
    }

    SiteBrowser* browser() const { return browser_; }
    bool browser_mode() const { return browser_mode_; }
    bool navigate_allowed() const { return navigate_allowed_; }
    const std::string& file_path() const { return file_path_; }
    const QImage& picture() const { return picture_; }
    // Pictures decoded since the window was made.
    int decodes() const { return decodes_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CollapseBrowser();
    // Decodes the chosen file unless it is the picture already kept; true when there is one.
    bool DecodeChosenFile();

    QWidget* main_window_;
    std::string logo_path_;
    SiteBrowser* browser_;
    std::function<void(const QPoint&)> context_menu_;
    std::string file_path_;
    QImage picture_;
    QByteArray picture_bytes_;  // the file the kept picture came from
    bool use_logo_ = false;
    bool browser_mode_ = false;
    bool navigate_allowed_ = true;
    int decodes_ = 0;
};

}  // namespace koru::player

#endif
