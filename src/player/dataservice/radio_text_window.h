// The radio text window: one line of white text on 0x0A000A at the foot of the picture area,
// the dynamic label of the radio service that plays. Horizontally centred on the picture area,
// as wide as the main window less 40 pixels (skin layout kind 0: as wide as the picture area and
// 26 pixels to the right). A label longer than the line scrolls through it; an empty one draws
// nothing, so the picture shows.
#ifndef PLAYER_DATASERVICE_RADIO_TEXT_WINDOW_H
#define PLAYER_DATASERVICE_RADIO_TEXT_WINDOW_H

#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

namespace koru::player {

class RadioTextWindow : public QWidget {
  public:
    explicit RadioTextWindow(QWidget* main_window);

    // Its place from the picture area, the main window's width and the skin's layout kind;
    // font_points follows the picture like the on-screen texts.
    void Place(const QRect& picture_area, int main_window_width, int layout_kind, int font_points);
    void SetText(const QString& text);
    void Clear() { SetText(QString()); }
    const QString& text() const { return text_; }
    // How far the text has scrolled (0 while it fits).
    int scroll_offset() const { return offset_; }
    // One step of scrolling (the window's timer calls it).
    void Scroll();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    int TextWidth() const;
    void RestartScrolling();

    QString text_;
    QFont font_;
    QTimer scroll_timer_;
    int offset_ = 0;
    int pause_steps_ = 0;
};

}  // namespace koru::player

#endif
