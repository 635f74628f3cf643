#include "player/dataservice/radio_text_window.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace koru::player {

namespace {

const QColor kBackground(0x0A, 0x00, 0x0A);  // 0x0A000A
constexpr int kScrollStepMs = 40;
constexpr int kScrollStepPixels = 2;
// At the start of each pass the text rests for a moment (in scroll steps).
constexpr int kPauseSteps = 40;
// The gap before the text comes round again.
constexpr int kGapPixels = 48;
constexpr int kMargin = 4;

}  // namespace

RadioTextWindow::RadioTextWindow(QWidget* main_window) : QWidget(main_window), font_("Arial") {
    setObjectName("1099");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    font_.setPointSize(9);
    scroll_timer_.setInterval(kScrollStepMs);
    QObject::connect(&scroll_timer_, &QTimer::timeout, this, [this] { Scroll(); });
    hide();
}

void RadioTextWindow::Place(const QRect& picture_area, int main_window_width, int layout_kind,
                            int font_points) {
    font_.setPointSize(std::max(1, font_points));
    const int height = QFontMetrics(font_).height() + 4;
    int width = std::max(0, main_window_width - 40);
    int left = picture_area.left() + (picture_area.width() - width) / 2;
    if (layout_kind == 0) {
        width = picture_area.width();
        left = picture_area.left() + 26;
    }
    setGeometry(left, picture_area.top() + picture_area.height() - height, width, height);
}

void RadioTextWindow::SetText(const QString& text) {
    text_ = text;
    RestartScrolling();
    repaint();
}

int RadioTextWindow::TextWidth() const {
    return QFontMetrics(font_).horizontalAdvance(text_);
}

void RadioTextWindow::RestartScrolling() {
    offset_ = 0;
    pause_steps_ = kPauseSteps;
    if (TextWidth() > width() - 2 * kMargin) {
        scroll_timer_.start();
    } else {
        scroll_timer_.stop();
    }
}

void RadioTextWindow::Scroll() {
    if (pause_steps_ > 0) {
        --pause_steps_;
        return;
    }
    offset_ += kScrollStepPixels;
    if (offset_ >= TextWidth() + kGapPixels) {
        offset_ = 0;
        pause_steps_ = kPauseSteps;
    }
    update();
}

void RadioTextWindow::resizeEvent(QResizeEvent*) {
    RestartScrolling();
}

void RadioTextWindow::paintEvent(QPaintEvent*) {
    if (text_.isEmpty()) return;
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    painter.setPen(Qt::white);
    const int text_width = TextWidth();
    const QRect line = rect().adjusted(kMargin, 0, -kMargin, 0);
    if (text_width <= line.width()) {
        painter.drawText(line, Qt::AlignCenter | Qt::TextSingleLine, text_);
        return;
    }
    painter.setClipRect(line);
    const int baseline_x = line.left() - offset_;
    const QRect first(baseline_x, 0, text_width, height());
    painter.drawText(first, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text_);
    painter.drawText(first.translated(text_width + kGapPixels, 0),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text_);
}

}  // namespace koru::player
