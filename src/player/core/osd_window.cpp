#include "player/core/osd_window.h"

#include <QPainter>
#include <algorithm>

namespace koru::player {

OsdWindow::OsdWindow(const QString& name, const QColor& text, const QColor& background,
                     const QString& family, QWidget* parent)
    : QWidget(parent), text_colour_(text), background_(background), font_(family) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    SetPictureHeight(240);
    hide();
}

void OsdWindow::SetText(const QString& text) {
    text_ = text;
    update();
}

void OsdWindow::SetPictureHeight(int height) {
    const int points = std::max(6, 9 * height / 240);
    font_.setPointSize(points);
    update();
}

void OsdWindow::paintEvent(QPaintEvent*) {
    if (text_.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    const QFontMetrics metrics(font_);
    const int width = std::min(this->width(), metrics.horizontalAdvance(text_) + 12);
    const QRect box(0, 0, width, height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(background_);
    painter.drawRoundedRect(box, 4, 4);
    painter.setPen(text_colour_);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace koru::player
