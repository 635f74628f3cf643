// VelmarPlayerDlg: the skinned main window. It draws the skin (frame, buttons, volume slider,
// message lines, antenna, progress), shapes itself from its background, hosts the video window
// and the on-screen displays, and hands every button, key, menu command and mouse action to
// MainController. It decides nothing itself.
#ifndef PLAYER_CORE_VELMAR_PLAYER_DLG_H
#define PLAYER_CORE_VELMAR_PLAYER_DLG_H

#include <QImage>
#include <QMenu>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "m4systems/m4_types.h"
#include "player/core/em_volume_osd.h"
#include "player/core/main_controller.h"
#include "player/core/main_view.h"
#include "player/core/osd_window.h"
#include "player/core/screen_wnd.h"
#include "player/skin/bitmap_slider.h"
#include "player/skin/em_bitmap_button.h"
#include "player/skin/em_message_box.h"
#include "player/skin/qt_skin.h"
#include "player/skin/skin_layout.h"

namespace koru::player {

class VelmarPlayerDlg : public QWidget, public MainView {
  public:
    explicit VelmarPlayerDlg(PlayerState& state, QWidget* parent = nullptr);
    ~VelmarPlayerDlg() override;

    // Loads a layout file and lays the window out from it. False when the file is missing.
    bool LoadSkin(const std::string& path);
    int skin_number() const { return skin_number_; }
    const skin::SkinLayout& layout() const { return layout_; }
    const skin::QtSkin& skin() const { return skin_; }

    void SetController(MainController* controller);
    // The main window's own messages (2024 deferred start-up, 2027 URL text) go here.
    void SetUserMessageHandler(std::function<void(uint32_t, M4Param, M4Param)> handler) {
        user_message_handler_ = std::move(handler);
    }
    // Called once the window may close (the shutdown has run); before that a close request
    // (window manager, Alt+F4) asks the controller to exit.
    void AllowClose() { close_allowed_ = true; }
    // Skin entries of the skin menu (command, label); empty for skin 5.
    void SetSkinMenu(std::vector<std::pair<int, std::string>> skins) { skins_ = std::move(skins); }

    ScreenWnd* screen_wnd() { return screen_; }
    skin::EM_MessageBox* message_box() { return message_box_; }
    skin::BitmapSlider* volume_slider() { return volume_; }
    skin::EM_BitmapButton* button(int control_id);
    const QImage& background() const { return background_; }
    QSize layout_size() const { return layout_size_; }
    // An element's rectangle in the window at the current extra size (the frame's rule:
    // elements on the right side move with the width, those below the picture with the height,
    // and those spanning the stretched middle grow).
    QRect Place(const std::string& id) const;
    QRect VideoRect() const;
    bool full_screen() const { return full_screen_; }
    OsdWindow* channel_banner() { return caption_; }
    OsdWindow* record_mark() { return record_mark_; }
    OsdWindow* status_overlay() { return status_; }
    EM_VolumeOSD* volume_osd() { return volume_osd_; }
    // Builds the popup menu that a right click shows (for tests and the window).
    std::unique_ptr<QMenu> BuildPopupMenu(bool full_screen_menu);
    // A warning of the settings or the skin (its caption, or "KORU-DMB" when empty);
    // sets the message-box flag.
    void ShowMessageBox(const std::string& caption, const std::string& text);
    // The popup menu of a right click on a window over the picture (the data-service display):
    // the full-screen menu in full screen, where the pointer then stays, else the main menu.
    void OpenContextMenu(const QPoint& global);
    // Windows that other parts of the player put over the picture are laid out with the main
    // window: the handler runs after every change of size, layout, skin or full screen.
    void SetRelayoutHandler(std::function<void()> handler) {
        relayout_handler_ = std::move(handler);
    }

    // MainView.
    void RedrawMessageLine(int line) override;
    void RedrawAntenna() override;
    void RedrawProgress() override;
    // Drawn only in file playback with a known length.
    void SetProgress(long long position_ms, long long length_ms) override;
    void ShowErrorBox(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void ShowSkinnedMessage(const std::string& text) override;
    void HideSkinnedMessage() override;
    void ShowChannelBanner(const std::string& caption) override;
    void HideChannelBanner() override;
    void ShowStatusOverlay(const std::string& text) override;
    void HideStatusOverlay() override;
    void ShowVolumeOsd(const std::string& text) override;
    void HideVolumeOsd() override;
    void ShowRecordMark(bool visible) override;
    void ApplyLayout(int layout) override;
    void ApplyExtraSize(int dx, int dy) override;
    void EnterFullScreen(const skin::Rect& video) override;
    void LeaveFullScreen() override;
    Size DesktopSize() override;
    skin::Rect ScreenRegion() override;
    void Minimize() override;
    void RaiseWindow() override;
    void MovePointerAway() override;
    void SetVolumeSlider(int volume) override;
    void SetMuted(bool muted) override;
    void SetPlayTooltip(bool paused) override;
    void RefreshMenus() override;
    void RefreshTexts() override;
    void RefreshButtons() override;
    void OpenMakerPage() override;
    void TakeFocus() override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void CreateControls();
    void RebuildBackground();
    void Relayout();
    void PlaceOverlays(const QRect& picture);
    void ShowOsd(OsdWindow* osd, const std::string& text);
    void PopupMenu(const QPoint& global, bool full_screen_menu);
    void AddMenuItems(QMenu& menu, const std::vector<MenuItem>& items);
    QString Tr(Text id) const;
    QFont MessageFont() const;

    PlayerState& state_;
    MainController* controller_ = nullptr;
    skin::SkinLayout layout_;
    skin::QtSkin skin_;
    int skin_number_ = 0;
    QSize layout_size_;
    QSize extra_{0, 0};
    int layout_kind_ = kLayoutVideo;
    QImage background_;
    std::map<int, skin::EM_BitmapButton*> buttons_;
    skin::EM_BitmapButton* grip_ = nullptr;
    skin::BitmapSlider* volume_ = nullptr;
    ScreenWnd* screen_ = nullptr;
    skin::EM_MessageBox* message_box_ = nullptr;
    OsdWindow* caption_ = nullptr;
    OsdWindow* record_mark_ = nullptr;
    OsdWindow* status_ = nullptr;
    EM_VolumeOSD* volume_osd_ = nullptr;
    std::function<void()> relayout_handler_;
    std::vector<std::pair<int, std::string>> skins_;
    std::function<void(uint32_t, M4Param, M4Param)> user_message_handler_;
    bool close_allowed_ = false;
    bool shown_logged_ = false;
    std::set<int> alt_keys_;
    // Enter or Escape pressed in this window and not yet released.
    int pressed_enter_or_escape_ = 0;

    bool full_screen_ = false;
    QRect saved_geometry_;
    QRect full_screen_video_;

    // Moving the window by its background, resizing it by the grip.
    enum class Drag { kNone, kMove, kResize };
    Drag drag_ = Drag::kNone;
    QPoint drag_start_global_;
    QPoint drag_start_window_;
    QSize drag_start_extra_;

    long long progress_position_ms_ = 0;
    long long progress_length_ms_ = 0;
};

}  // namespace koru::player

#endif
