#include "player/skin/em_bitmap_button.h"

#include <QMouseEvent>
#include <QPainter>

namespace koru::skin {

EM_BitmapButton::EM_BitmapButton(int control_id, QWidget* parent)
    : QAbstractButton(parent), control_id_(control_id) {
    setObjectName(QString::number(control_id));
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void EM_BitmapButton::LoadImages(const QtSkin& skin, const std::string& name, int set, bool place) {
    if (set < 0 || set >= kSets) return;
    for (int state = 0; state < kStates; ++state)
        images_[set][state] = skin.Image(name, state);
    for (int state = 1; state < kStates; ++state) {
        if (images_[set][state].isNull()) images_[set][state] = images_[set][0];
    }
    if (set == 0) {
        if (place) setGeometry(skin.AbsoluteRect(name));
        home_ = geometry();
    }
    update();
}

void EM_BitmapButton::SetImageSet(int set) {
    if (set < 0 || set >= kSets) return;
    set_ = set;
    update();
}

void EM_BitmapButton::SetChecked(bool checked) {
    checked_ = checked;
    update();
}

void EM_BitmapButton::MoveBy(int dx, int dy) {
    move(home_.topLeft() + QPoint(dx, dy));
}

int EM_BitmapButton::DrawnState() const {
    if (!isEnabled()) return 3;
    if (isDown()) return 2;
    if (hover_) return checked_ ? 2 : 1;
    return checked_ ? 2 : 0;
}

void EM_BitmapButton::paintEvent(QPaintEvent*) {
    const QImage& image = images_[set_][DrawnState()];
    QPainter painter(this);
    if (image.isNull()) return;
    painter.drawImage(QPoint(0, 0), image, QRect(0, 0, width(), height()));
}

void EM_BitmapButton::enterEvent(QEnterEvent* event) {
    hover_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void EM_BitmapButton::leaveEvent(QEvent* event) {
    hover_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void EM_BitmapButton::mouseMoveEvent(QMouseEvent* event) {
    if (!hover_ && rect().contains(event->position().toPoint())) {
        hover_ = true;
        update();
    }
    QAbstractButton::mouseMoveEvent(event);
}

}  // namespace koru::skin
