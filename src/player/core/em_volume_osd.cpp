#include "player/core/em_volume_osd.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "m4systems/log.h"
#include "player/core/osd_window.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "EM_VolumeOSD";
const QColor kTextColour(0xF7, 0xF7, 0xF7);
const QColor kBackground(0x3A, 0x58, 0x94);  // 0x94583A

// "Arial" whose line (cell) height is at most the given pixels, as a font height means there.
QFont FontOfCellHeight(int pixels) {
    QFont font("Arial");
    for (int size = std::max(1, pixels); size > 1; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= pixels) break;
    }
    return font;
}

}  // namespace

QRect VolumeOsdRect(const QRect& picture_area) {
    const int w = picture_area.width();
    const int h = picture_area.height();
    const int left = picture_area.left() + ScaleOsdValue(kVolumePlace.x(), w, 320);
    const int top = picture_area.top() + ScaleOsdValue(kVolumePlace.y(), h, 240);
    const int width = ScaleOsdValue(kVolumePlace.width(), w, 320) / 4 + 12;
    const int height = ScaleOsdValue(kVolumePlace.height(), h, 240) / 2 + 6;
    return QRect(left, top, width, height);
}

EM_VolumeOSD::EM_VolumeOSD(QWidget* parent) : QWidget(parent) {
    setObjectName("EM_VolumeOSD");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void EM_VolumeOSD::Set(const QString& text) {
    font_ = FontOfCellHeight(height() - 2);
    text_ = text;
    update();
}

void EM_VolumeOSD::Place(const QRect& picture_area) {
    setGeometry(VolumeOsdRect(picture_area));
    M4_LOG(3, kSource, "rcImage.Height()[%d]\n", picture_area.height());
    if (isVisible()) {
        hide();
        show();
    }
}

void EM_VolumeOSD::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    painter.setPen(kTextColour);
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace koru::player
