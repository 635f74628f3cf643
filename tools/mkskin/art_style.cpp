#include "art_style.h"

#include <QPainterPath>
#include <cmath>

namespace koru::skinart {

namespace {

// Icons are drawn on a 24 x 24 grid, scaled into the square centred in rect.
void IntoGrid(QPainter& painter, const QRectF& rect) {
    const qreal side = std::min(rect.width(), rect.height());
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
}

QPen Stroke(const QColor& colour, qreal width) {
    QPen pen(colour, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void Speaker(QPainter& p, const QColor& c) {
    QPainterPath body;
    body.moveTo(3, 9);
    body.lineTo(7, 9);
    body.lineTo(12, 4.5);
    body.lineTo(12, 19.5);
    body.lineTo(7, 15);
    body.lineTo(3, 15);
    body.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(body);
}

}  // namespace

void DrawKoru(QPainter& painter, const QRectF& rect, const QColor& colour, qreal width) {
    // A spiral that opens from the centre and runs out into a stem.
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(rect.center().x() + rect.width() * 0.08,
                         rect.center().y() - rect.height() * 0.05);
    const qreal outer = std::min(rect.width(), rect.height()) * 0.42;
    QPainterPath path;
    const int steps = 120;
    for (int i = 0; i <= steps; ++i) {
        const qreal t = static_cast<qreal>(i) / steps;  // 0 at the centre
        const qreal angle = 2.6 * M_PI * t + 0.3;
        const qreal radius = outer * (0.12 + 0.88 * t);
        const QPointF point(centre.x() + radius * std::cos(angle),
                            centre.y() + radius * std::sin(angle));
        if (i == 0) {
            path.moveTo(point);
        } else {
            path.lineTo(point);
        }
    }
    // The stem continues down and to the left.
    path.quadTo(QPointF(centre.x() - outer * 1.1, centre.y() + outer * 0.9),
                QPointF(centre.x() - outer * 0.55, rect.bottom() - width));
    painter.setPen(Stroke(colour, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(
        centre + QPointF(outer * 0.12 * std::cos(0.3), outer * 0.12 * std::sin(0.3)), width * 0.9,
        width * 0.9);
    painter.restore();
}

void DrawIcon(QPainter& painter, Icon icon, const QRectF& rect, const QColor& c) {
    QPainter& p = painter;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    IntoGrid(p, rect);
    p.setBrush(Qt::NoBrush);
    switch (icon) {
        case Icon::kPlay: {
            QPainterPath triangle;
            triangle.moveTo(8.5, 5.5);
            triangle.lineTo(19, 12);
            triangle.lineTo(8.5, 18.5);
            triangle.closeSubpath();
            p.setPen(Stroke(c, 1.5));
            p.setBrush(c);
            p.drawPath(triangle);
            break;
        }
        case Icon::kPause:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawRoundedRect(QRectF(7, 5.5, 3.6, 13), 1.2, 1.2);
            p.drawRoundedRect(QRectF(13.4, 5.5, 3.6, 13), 1.2, 1.2);
            break;
        case Icon::kStop:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawRoundedRect(QRectF(7, 7, 10, 10), 2, 2);
            break;
        case Icon::kUp:
            p.setPen(Stroke(c, 2.4));
            p.drawPolyline(QPolygonF({QPointF(6.5, 14.5), QPointF(12, 9), QPointF(17.5, 14.5)}));
            break;
        case Icon::kDown:
            p.setPen(Stroke(c, 2.4));
            p.drawPolyline(QPolygonF({QPointF(6.5, 9.5), QPointF(12, 15), QPointF(17.5, 9.5)}));
            break;
        case Icon::kRecord:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(QPointF(12, 12), 5.2, 5.2);
            break;
        case Icon::kCapture: {
            p.setPen(Stroke(c, 1.7));
            QPainterPath body;
            body.addRoundedRect(QRectF(4, 8, 16, 11), 2.5, 2.5);
            p.drawPath(body);
            p.drawPolyline(
                QPolygonF({QPointF(8.5, 8), QPointF(10, 5.5), QPointF(14, 5.5), QPointF(15.5, 8)}));
            p.drawEllipse(QPointF(12, 13.5), 3, 3);
            break;
        }
        case Icon::kOpen: {
            p.setPen(Stroke(c, 1.7));
            QPainterPath folder;
            folder.moveTo(4, 18);
            folder.lineTo(4, 6.5);
            folder.lineTo(9.5, 6.5);
            folder.lineTo(11.5, 8.5);
            folder.lineTo(19.5, 8.5);
            folder.lineTo(19.5, 11);
            p.drawPath(folder);
            QPainterPath front;
            front.moveTo(4, 18);
            front.lineTo(7, 11);
            front.lineTo(21.5, 11);
            front.lineTo(18.5, 18);
            front.closeSubpath();
            p.drawPath(front);
            break;
        }
        case Icon::kSpeaker:
            Speaker(p, c);
            p.setPen(Stroke(c, 1.7));
            p.drawArc(QRectF(9.5, 8, 8, 8), -50 * 16, 100 * 16);
            p.drawArc(QRectF(8, 4.5, 14, 15), -50 * 16, 100 * 16);
            break;
        case Icon::kMute:
            Speaker(p, c);
            p.setPen(Stroke(c, 1.9));
            p.drawLine(QPointF(15, 9), QPointF(21, 15));
            p.drawLine(QPointF(21, 9), QPointF(15, 15));
            break;
        case Icon::kList:
            p.setPen(Stroke(c, 1.9));
            for (qreal y : {7.0, 12.0, 17.0}) {
                p.drawPoint(QPointF(5.5, y));
                p.drawLine(QPointF(9, y), QPointF(19, y));
            }
            break;
        case Icon::kMinimise:
            p.setPen(Stroke(c, 2.0));
            p.drawLine(QPointF(6.5, 16), QPointF(17.5, 16));
            break;
        case Icon::kFullScreen:
            p.setPen(Stroke(c, 1.9));
            p.drawPolyline(QPolygonF({QPointF(5, 9.5), QPointF(5, 5), QPointF(9.5, 5)}));
            p.drawPolyline(QPolygonF({QPointF(14.5, 5), QPointF(19, 5), QPointF(19, 9.5)}));
            p.drawPolyline(QPolygonF({QPointF(19, 14.5), QPointF(19, 19), QPointF(14.5, 19)}));
            p.drawPolyline(QPolygonF({QPointF(9.5, 19), QPointF(5, 19), QPointF(5, 14.5)}));
            break;
        case Icon::kPower:
            p.setPen(Stroke(c, 2.0));
            p.drawArc(QRectF(5.5, 6, 13, 13), 125 * 16, 290 * 16);
            p.drawLine(QPointF(12, 4), QPointF(12, 11.5));
            break;
        case Icon::kClose:
        case Icon::kCancel:
            p.setPen(Stroke(c, 2.0));
            p.drawLine(QPointF(7, 7), QPointF(17, 17));
            p.drawLine(QPointF(17, 7), QPointF(7, 17));
            break;
        case Icon::kTv:
            p.setPen(Stroke(c, 1.7));
            p.drawRoundedRect(QRectF(3.5, 6, 17, 11.5), 2, 2);
            p.drawLine(QPointF(9, 20.5), QPointF(15, 20.5));
            p.drawPolyline(QPolygonF({QPointF(9, 3), QPointF(12, 5.5), QPointF(15, 3)}));
            break;
        case Icon::kRadio:
            p.setPen(Stroke(c, 1.7));
            p.setBrush(c);
            p.drawEllipse(QPointF(12, 13), 1.6, 1.6);
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(7.5, 8.5, 9, 9), 35 * 16, 110 * 16);
            p.drawArc(QRectF(7.5, 8.5, 9, 9), 215 * 16, 110 * 16);
            p.drawArc(QRectF(3.5, 4.5, 17, 17), 35 * 16, 110 * 16);
            p.drawArc(QRectF(3.5, 4.5, 17, 17), 215 * 16, 110 * 16);
            break;
        case Icon::kData:
            p.setPen(Stroke(c, 1.6));
            p.drawEllipse(QPointF(12, 12), 8, 8);
            p.drawEllipse(QRectF(8.5, 4, 7, 16));
            p.drawLine(QPointF(4, 12), QPointF(20, 12));
            break;
        case Icon::kSearch:
            p.setPen(Stroke(c, 2.0));
            p.drawEllipse(QPointF(10.5, 10.5), 5.5, 5.5);
            p.drawLine(QPointF(14.6, 14.6), QPointF(19.5, 19.5));
            break;
        case Icon::kGrip:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            for (int row = 0; row < 3; ++row) {
                for (int column = 2 - row; column < 3; ++column)
                    p.drawEllipse(QPointF(8 + 5.5 * column, 8 + 5.5 * row), 1.5, 1.5);
            }
            break;
    }
    p.restore();
}

QImage NewSurface(int width, int height) {
    QImage surface(width, height, QImage::Format_ARGB32_Premultiplied);
    surface.fill(Qt::transparent);
    return surface;
}

QImage Finish(const QImage& surface) {
    QImage result(surface.size(), QImage::Format_RGB32);
    const QImage source = surface.convertToFormat(QImage::Format_ARGB32);
    const QRgb backdrop = kBackdrop.rgb();
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            if (alpha < 128) {
                out[x] = kOutside.rgb();
                continue;
            }
            auto mix = [&](int front, int back) {
                return (front * alpha + back * (255 - alpha)) / 255;
            };
            out[x] = qRgb(mix(qRed(in[x]), qRed(backdrop)), mix(qGreen(in[x]), qGreen(backdrop)),
                          mix(qBlue(in[x]), qBlue(backdrop)));
            // Never pure green inside: that would cut a hole into the window.
            if ((out[x] & 0xFFFFFF) == (kOutside.rgb() & 0xFFFFFF)) out[x] = qRgb(0, 254, 0);
        }
    }
    return result;
}

QFont SkinFont(int pixel_size, bool bold) {
    QFont font("DejaVu Sans");
    font.setPixelSize(pixel_size);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

}  // namespace koru::skinart
