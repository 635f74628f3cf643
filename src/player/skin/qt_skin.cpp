#include "player/skin/qt_skin.h"

#include <QPainter>
#include <cstring>

namespace koru::skin {

QRect ToQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.width(), rect.height());
}

QImage ToQImage(const DibImage& image) {
    if (image.IsNull()) return QImage();
    QImage result(image.width(), image.height(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* source = image.Row(y);
        auto* target = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const uint8_t* pixel = source + 4 * x;
            target[x] = qRgb(pixel[2], pixel[1], pixel[0]);
        }
    }
    return result;
}

QImage QtSkin::Image(const std::string& name, int state) const {
    const auto key = std::make_pair(name, state);
    auto it = cache_.find(key);
    if (it != cache_.end()) return it->second;
    const DibImage* bitmap = layout_.GetBitmap(name, state);
    QImage image = bitmap != nullptr ? ToQImage(*bitmap) : QImage();
    cache_.emplace(key, image);
    return image;
}

std::vector<QRect> BitmapRuns(const QImage& image, QRgb key, bool outside_is_key) {
    std::vector<QRect> runs;
    if (image.isNull()) return runs;
    const QImage pixels =
        image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    const QRgb key_rgb = key & 0xFFFFFF;
    runs.reserve(100);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        const int width = pixels.width();
        auto inside = [&](int x) { return ((row[x] & 0xFFFFFF) == key_rgb) != outside_is_key; };
        int x = 0;
        while (x < width) {
            while (x < width && !inside(x))
                ++x;
            const int start = x;
            while (x < width && inside(x))
                ++x;
            if (x > start) runs.emplace_back(start, y, x - start, 1);
        }
    }
    return runs;
}

QRegion BitmapToRegion(const QImage& image, QRgb key, bool outside_is_key, int block) {
    const std::vector<QRect> runs = BitmapRuns(image, key, outside_is_key);
    if (block < 1) block = static_cast<int>(runs.size()) + 1;
    QRegion region;
    for (size_t start = 0; start < runs.size(); start += static_cast<size_t>(block)) {
        const size_t count = std::min(runs.size() - start, static_cast<size_t>(block));
        QRegion part;
        part.setRects(runs.data() + start, static_cast<int>(count));
        region = region.united(part);
    }
    return region;
}

void DrawElement(QImage& target, const QtSkin& skin, const std::string& name,
                 std::optional<QPoint> offset, std::optional<QSize> extra, bool stretch) {
    QRect rect = skin.AbsoluteRect(name);
    if (offset) rect.translate(*offset);
    if (extra) rect.adjust(0, 0, extra->width(), extra->height());
    const QImage bitmap = skin.Image(name);
    if (bitmap.isNull() || rect.width() <= 0 || rect.height() <= 0) return;
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (stretch) {
        painter.drawImage(rect, bitmap);
    } else {
        painter.drawImage(rect.topLeft(), bitmap, QRect(QPoint(0, 0), rect.size()));
    }
}

QSize MainWindowLayoutSize(const QtSkin& skin) {
    const QRect top = skin.ItemRect("L_Top");
    return QSize(top.width(), top.height() + skin.ItemRect("L_Body").height() +
                                  skin.ItemRect("L_Bottom").height());
}

void DrawFrame(QImage& target, const QtSkin& skin, int dx, int dy) {
    struct Piece {
        const char* name;
        int offset_x, offset_y;  // multiples of dx, dy
        int extra_x, extra_y;
        bool stretch;
    };
    static constexpr Piece kPieces[] = {
        {"BM_Top_1", 0, 0, 0, 0, false},   {"BM_Top_2", 0, 0, 1, 0, true},
        {"BM_Top_3", 1, 0, 0, 0, false},   {"BM_Left_1", 0, 0, 0, 0, false},
        {"BM_Left_2", 0, 0, 0, 1, true},   {"BM_Left_3", 0, 1, 0, 0, false},
        {"BM_Right_1", 1, 0, 0, 0, false}, {"BM_Right_2", 1, 0, 0, 1, true},
        {"BM_Right_3", 1, 1, 0, 0, false}, {"BM_Bottom_1", 0, 1, 0, 0, false},
        {"BM_Bottom_2", 0, 1, 1, 0, true}, {"BM_Bottom_3", 1, 1, 0, 0, false},
    };
    for (const Piece& piece : kPieces) {
        std::optional<QPoint> offset;
        if (piece.offset_x != 0 || piece.offset_y != 0)
            offset = QPoint(piece.offset_x * dx, piece.offset_y * dy);
        std::optional<QSize> extra;
        if (piece.extra_x != 0 || piece.extra_y != 0)
            extra = QSize(piece.extra_x * dx, piece.extra_y * dy);
        DrawElement(target, skin, piece.name, offset, extra, piece.stretch);
    }
}

}  // namespace koru::skin
