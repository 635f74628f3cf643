// The bitmap slider of the volume control (and of progress displays): a track image and a thumb
// image, both optionally drawn through a transparent colour, with margins at the track's ends.
// It reports to its owner with two messages: WM_USER + 9425 while a drag changes the value, and
// WM_USER + 9426 when the user lets go or uses a key (wparam: control id, lparam: position).
#ifndef PLAYER_SKIN_BITMAP_SLIDER_H
#define PLAYER_SKIN_BITMAP_SLIDER_H

#include <QImage>
#include <QWidget>
#include <functional>

namespace koru::skin {

constexpr uint32_t kSliderMoving = 1024 + 9425;    // 0x28D1
constexpr uint32_t kSliderReleased = 1024 + 9426;  // 0x28D2

class BitmapSlider : public QWidget {
  public:
    // Receives (message, control id, position); the owner posts it on to itself.
    using Notify = std::function<void(uint32_t message, int control_id, int position)>;

    BitmapSlider(int control_id, QWidget* parent = nullptr);

    void SetNotify(Notify notify) { notify_ = std::move(notify); }
    void SetRange(int minimum, int maximum, bool redraw = true);
    void SetPos(int value);
    int GetPos() const { return position_; }
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    // transparent: draw through a mask of colour (0xRRGGBB), or of the colour of the pixel at
    // (pixel_x, pixel_y) when that lies inside the image.
    void SetChannelBitmaps(const QImage& channel, const QImage& active_channel, bool transparent,
                           QRgb colour = 0, int pixel_x = -1, int pixel_y = -1);
    void SetThumbBitmaps(const QImage& thumb, const QImage& active_thumb, bool transparent,
                         QRgb colour = 0, int pixel_x = -1, int pixel_y = -1);
    void SetMargins(int left, int top, int right, int bottom);
    void SetVertical(bool vertical) { vertical_ = vertical; }
    void Enable(bool enabled);
    bool dragging() const { return dragging_; }

    // The thumb centre of a value, and the value of a thumb centre, along the slider.
    int ValueToPixel(int value) const;
    int PixelToValue(int centre) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

  private:
    int Length() const;
    int ThumbLength() const;
    int MarginBefore() const;
    int MarginAfter() const;
    int Along(const QPoint& point) const;
    void MoveThumbTo(int pointer);
    void Post(uint32_t message);

    int control_id_;
    Notify notify_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
    QImage channel_, active_channel_, thumb_, active_thumb_;
    int margin_left_ = 0, margin_top_ = 0, margin_right_ = 0, margin_bottom_ = 0;
    bool vertical_ = false;
    bool enabled_ = true;
    bool dragging_ = false;
    int drag_offset_ = 0;
};

// An image drawn through a transparent colour: the pixels of that colour become fully
// transparent (ARGB32). colour is taken from (pixel_x, pixel_y) when that lies inside.
QImage WithTransparentColour(const QImage& image, QRgb colour, int pixel_x = -1, int pixel_y = -1);

}  // namespace koru::skin

#endif
