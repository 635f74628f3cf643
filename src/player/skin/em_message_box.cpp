#include "player/skin/em_message_box.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>

namespace koru::skin {

EM_MessageBox::EM_MessageBox(QWidget* main_window)
    : QWidget(main_window), main_window_(main_window) {
    setObjectName("EM_MessageBox");
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void EM_MessageBox::Initialise(const QtSkin& skin) {
    const QRect element = skin.AbsoluteRect("BM_MB_Message");
    background_ = QImage(element.size().expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    if (background_.isNull()) {
        region_ = QRegion();
        resize(0, 0);
        return;
    }
    background_.fill(Qt::black);
    // The element drawn at the image's origin, whatever page position it has.
    const QImage bitmap = skin.Image("BM_MB_Message");
    if (!bitmap.isNull()) {
        QPainter painter(&background_);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), bitmap, QRect(QPoint(0, 0), element.size()));
    }
    region_ = BitmapToRegion(background_);
    resize(element.size());
    if (!region_.isEmpty()) setMask(region_);
}

void EM_MessageBox::Place(const QRect& picture_area) {
    move(picture_area.left() + (picture_area.width() - width()) / 2,
         picture_area.top() + (picture_area.height() - height()) / 2);
}

void EM_MessageBox::SetMessage(const std::string& text) {
    message_ = text;
    update();
}

bool EM_MessageBox::DrawsOnSeveralLines() const {
    return message_.size() == multi_line_lengths_[0] || message_.size() == multi_line_lengths_[1];
}

QColor EM_MessageBox::TextColour() const {
    return skin_number_ == 5 ? QColor(255, 255, 255) : QColor(20, 20, 20);
}

void EM_MessageBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, background_);
    QFont font("Arial");
    font.setWeight(QFont::Bold);
    font.setPixelSize(FontPixelHeight());
    painter.setFont(font);
    painter.setPen(TextColour());
    const QString text = QString::fromStdString(message_);
    if (DrawsOnSeveralLines()) {
        painter.drawText(QRect(10, 26, width() - 10, height() - 26),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    } else {
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text);
    }
}

void EM_MessageBox::keyPressEvent(QKeyEvent* event) {
    if (main_window_ != nullptr) QCoreApplication::sendEvent(main_window_, event);
}

void EM_MessageBox::keyReleaseEvent(QKeyEvent* event) {
    if (main_window_ != nullptr) QCoreApplication::sendEvent(main_window_, event);
}

}  // namespace koru::skin
