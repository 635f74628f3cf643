#include "player/skin/bitmap_slider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace koru::skin {

QImage WithTransparentColour(const QImage& image, QRgb colour, int pixel_x, int pixel_y) {
    if (image.isNull()) return image;
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    if (pixel_x >= 0 && pixel_y >= 0 && pixel_x < image.width() && pixel_y < image.height())
        colour = image.pixel(pixel_x, pixel_y);
    const QRgb key = colour & 0xFFFFFF;
    for (int y = 0; y < result.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if ((row[x] & 0xFFFFFF) == key) row[x] = 0;
        }
    }
    return result;
}

BitmapSlider::BitmapSlider(int control_id, QWidget* parent)
    : QWidget(parent), control_id_(control_id) {
    setObjectName(QString::number(control_id));
    setFocusPolicy(Qt::ClickFocus);
}

void BitmapSlider::SetRange(int minimum, int maximum, bool redraw) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, minimum_, maximum_);
    if (redraw) update();
}

void BitmapSlider::SetPos(int value) {
    position_ = std::clamp(value, minimum_, maximum_);
    update();
}

void BitmapSlider::SetChannelBitmaps(const QImage& channel, const QImage& active_channel,
                                     bool transparent, QRgb colour, int pixel_x, int pixel_y) {
    channel_ = transparent ? WithTransparentColour(channel, colour, pixel_x, pixel_y) : channel;
    active_channel_ = transparent ? WithTransparentColour(active_channel, colour, pixel_x, pixel_y)
                                  : active_channel;
    update();
}

void BitmapSlider::SetThumbBitmaps(const QImage& thumb, const QImage& active_thumb,
                                   bool transparent, QRgb colour, int pixel_x, int pixel_y) {
    thumb_ = transparent ? WithTransparentColour(thumb, colour, pixel_x, pixel_y) : thumb;
    active_thumb_ =
        transparent ? WithTransparentColour(active_thumb, colour, pixel_x, pixel_y) : active_thumb;
    update();
}

void BitmapSlider::SetMargins(int left, int top, int right, int bottom) {
    margin_left_ = left;
    margin_top_ = top;
    margin_right_ = right;
    margin_bottom_ = bottom;
    update();
}

void BitmapSlider::Enable(bool enabled) {
    enabled_ = enabled;
    if (!enabled) dragging_ = false;
    update();
}

int BitmapSlider::Length() const {
    return vertical_ ? height() : width();
}
int BitmapSlider::ThumbLength() const {
    return vertical_ ? thumb_.height() : thumb_.width();
}
int BitmapSlider::MarginBefore() const {
    return vertical_ ? margin_top_ : margin_left_;
}
int BitmapSlider::MarginAfter() const {
    return vertical_ ? margin_bottom_ : margin_right_;
}
int BitmapSlider::Along(const QPoint& point) const {
    return vertical_ ? point.y() : point.x();
}

int BitmapSlider::ValueToPixel(int value) const {
    const int thumb = ThumbLength();
    const int travel = Length() - MarginBefore() - MarginAfter() - thumb;
    const int range = maximum_ - minimum_;
    const double fraction = range > 0 ? static_cast<double>(value - minimum_) / range : 0.0;
    return MarginBefore() + thumb / 2 + static_cast<int>(fraction * travel);
}

int BitmapSlider::PixelToValue(int centre) const {
    const int thumb = ThumbLength();
    const int travel = Length() - MarginBefore() - MarginAfter() - thumb;
    if (travel <= 0) return minimum_;
    const double fraction = static_cast<double>(centre - MarginBefore() - thumb / 2) / travel;
    return minimum_ + static_cast<int>(fraction * (maximum_ - minimum_));
}

void BitmapSlider::Post(uint32_t message) {
    if (notify_) notify_(message, control_id_, position_);
}

void BitmapSlider::MoveThumbTo(int pointer) {
    const int thumb = ThumbLength();
    const int low = MarginBefore() + thumb / 2;
    const int high = std::max(low, Length() - thumb / 2 - MarginAfter());
    const int centre = std::clamp(pointer - drag_offset_, low, high);
    const int value = std::clamp(PixelToValue(centre), minimum_, maximum_);
    if (value != position_) {
        position_ = value;
        Post(kSliderMoving);
    }
    update();
}

void BitmapSlider::mousePressEvent(QMouseEvent* event) {
    if (!enabled_ || event->button() != Qt::LeftButton) return;
    const int pointer = Along(event->position().toPoint());
    const int centre = ValueToPixel(position_);
    drag_offset_ = std::abs(pointer - centre) > ThumbLength() / 2 ? 0 : pointer - centre;
    dragging_ = true;
    MoveThumbTo(pointer);
}

void BitmapSlider::mouseMoveEvent(QMouseEvent* event) {
    if (!enabled_ || !dragging_) return;
    MoveThumbTo(Along(event->position().toPoint()));
}

void BitmapSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!enabled_ || !dragging_ || event->button() != Qt::LeftButton) return;
    dragging_ = false;
    update();
    Post(kSliderReleased);
}

bool BitmapSlider::event(QEvent* event) {
    // The cursor keys belong to the slider while it has the focus.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Left || key->key() == Qt::Key_Right || key->key() == Qt::Key_Up ||
            key->key() == Qt::Key_Down) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void BitmapSlider::keyReleaseEvent(QKeyEvent* event) {
    if (!enabled_ || event->isAutoRepeat()) return;
    if (event->key() == Qt::Key_Left) {
        position_ = std::max(minimum_, position_ - 1);
    } else if (event->key() == Qt::Key_Right) {
        position_ = std::min(maximum_, position_ + 1);
    } else {
        QWidget::keyReleaseEvent(event);
        return;
    }
    update();
    Post(kSliderReleased);
}

void BitmapSlider::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

void BitmapSlider::paintEvent(QPaintEvent*) {
    QImage buffer(size(), QImage::Format_ARGB32_Premultiplied);
    buffer.fill(Qt::transparent);
    {
        QPainter painter(&buffer);
        if (!channel_.isNull()) painter.drawImage(0, 0, channel_);
        const int centre = ValueToPixel(position_);
        // The active track shows the part before the thumb (the volume that is set).
        if (!active_channel_.isNull()) {
            const QRect filled =
                vertical_ ? QRect(0, 0, width(), centre) : QRect(0, 0, centre, height());
            painter.drawImage(filled.topLeft(), active_channel_, filled);
        }
        const QImage& thumb = dragging_ && !active_thumb_.isNull() ? active_thumb_ : thumb_;
        if (!thumb.isNull()) {
            const QPoint at =
                vertical_ ? QPoint((width() - thumb.width()) / 2, centre - thumb.height() / 2)
                          : QPoint(centre - thumb.width() / 2, (height() - thumb.height()) / 2);
            painter.drawImage(at, thumb);
        }
    }
    QPainter(this).drawImage(0, 0, buffer);
}

}  // namespace koru::skin
