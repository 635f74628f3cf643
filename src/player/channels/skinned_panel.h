// The shared mechanics of the channel search and channel list windows: a frameless tool window
// of the main window whose background is drawn from a skin page's bitmaps and whose shape is
// cut from it, placed beside the main window by RG_CS_Anchor, dragged by its background, with
// its keys going on to the main window and its position kept in the profile.
#ifndef PLAYER_CHANNELS_SKINNED_PANEL_H
#define PLAYER_CHANNELS_SKINNED_PANEL_H

#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "player/skin/qt_skin.h"

class QTreeWidget;

namespace koru::player {

class SkinnedPanel : public QWidget {
  public:
    // profile_key: "ChannelSearchDlg" or "ChannelListDlg" (the _x and _y values).
    SkinnedPanel(QWidget* main_window, const skin::QtSkin& skin, std::string profile_key,
                 uint32_t place_message);
    ~SkinnedPanel() override;

    // Draws the background from the bitmaps and cuts the window's shape from it.
    void DrawBackground(const std::vector<std::string>& bitmaps);
    const QImage& background() const { return background_; }
    const QRegion& region() const { return region_; }

    // The place beside the main window: left = main left + anchor left; top = main top +
    // anchor top for skin number 0, the main window's top for 1, 2, 3 and 5 (others: not moved).
    void PlaceByAnchor(int skin_number);
    // Asks for the placement (the window message WM_USER + 2000 or + 3000).
    void PostPlace();
    void SetPlaceHandler(std::function<void()> handler) { place_handler_ = std::move(handler); }
    // Called when a drag of the window has ended.
    void SetMovedHandler(std::function<void()> handler) { moved_handler_ = std::move(handler); }

    // The desktop less the task bar.
    QRect WorkArea() const;
    // Keys of this window and of child (a list) go to the main window.
    void ForwardKeysOf(QWidget* child);
    // A report list with one column headed title, full-row selection.
    QTreeWidget* MakeList(int control_id, const QString& title);
    static void SetColumnWidth(QTreeWidget* list, int width);
    // The headings "TV Channel List", "Radio Channel List", "Data Channel List" in a language.
    static void SetHeadings(QTreeWidget* tv, QTreeWidget* radio, QTreeWidget* data, int language);

    QWidget* main_window() const { return main_window_; }
    const skin::QtSkin& skin() const { return skin_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void customEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> main_window_;
    const skin::QtSkin& skin_;
    std::string profile_key_;
    uint32_t place_message_;
    QImage background_;
    QRegion region_;
    std::function<void()> place_handler_;
    std::function<void()> moved_handler_;
    bool dragging_ = false;
    QPoint drag_start_global_;
    QPoint drag_start_window_;
};

}  // namespace koru::player

#endif
