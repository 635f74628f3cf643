#include "player/core/osd_window.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace koru::player {

namespace {

constexpr int kReferenceWidth = 320;
constexpr int kReferenceHeight = 240;

}  // namespace

int ScaleOsdValue(int value, int side, int reference_side) {
    return static_cast<int>(static_cast<double>(value) * side / reference_side + 0.1);
}

QRect OsdRect(const OsdReference& reference, const QSize& picture) {
    const int w = picture.width();
    const int h = picture.height();
    const int left = ScaleOsdValue(reference.left, w, kReferenceWidth);
    const int top = ScaleOsdValue(reference.top, h, kReferenceHeight);
    const int width = left + ScaleOsdValue(reference.right - reference.left, w, kReferenceWidth);
    const int height = top + ScaleOsdValue(reference.bottom - reference.top, h, kReferenceHeight);
    // The rule's size reaches past the picture for a mark near its right edge; what lies
    // outside would cover the window's frame.
    return QRect(left, top, width, height).intersected(QRect(QPoint(0, 0), picture));
}

int OsdFontPoints(int picture_height) {
    const int top = ScaleOsdValue(kBottomStripReference.top, picture_height, kReferenceHeight);
    const int height = ScaleOsdValue(kBottomStripReference.bottom - kBottomStripReference.top,
                                     picture_height, kReferenceHeight);
    const int tenths = 10 * static_cast<int>(12.0 * (height - top) / 240 + 0.1);
    return std::abs(tenths) / 10;
}

OsdWindow::OsdWindow(const QString& name, const QColor& text, const QColor& background,
                     const QString& family, QWidget* parent)
    : QWidget(parent), text_colour_(text), background_(background), font_(family) {
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    SetFontPoints(OsdFontPoints(kReferenceHeight));
    hide();
}

void OsdWindow::SetText(const QString& text) {
    text_ = text;
    update();
}

void OsdWindow::SetFontPoints(int points) {
    font_.setPointSize(std::max(1, points));
    update();
}

void OsdWindow::paintEvent(QPaintEvent*) {
    if (text_.isEmpty()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    // The text on its colour, as wide as the text and as high as the window; the rest of the
    // window stays transparent.
    const QFontMetrics metrics(font_);
    const int width = std::min(this->width(), metrics.horizontalAdvance(text_) + 8);
    const QRect box(0, 0, width, height());
    painter.fillRect(box, background_);
    painter.setPen(text_colour_);
    painter.drawText(box, Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace koru::player
