#include "player/dataservice/slide_picture.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include "m4systems/log.h"
#include "player/skin/image.h"
#include "player/skin/jpeg_file.h"

namespace koru::player {

namespace {

constexpr const char* kSource = "EM_MOT";

bool IsPng(const QByteArray& bytes) {
    return bytes.startsWith("\x89PNG\r\n\x1a\n");
}

std::optional<QImage> DecodePng(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "png");
    const QSize size = reader.size();
    if (!skin::IsAllowedImageSize(size.width(), size.height())) return std::nullopt;
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// ReadJpegFile gives packed RGB rows, top row first; they become the 32-bit pixels that are
// drawn as they are.
std::optional<QImage> DecodeJpeg(const std::string& path) {
    const std::optional<skin::RgbImage> rgb = skin::ReadJpegFile(path);
    if (!rgb) return std::nullopt;
    QImage image(rgb->width, rgb->height, QImage::Format_RGB32);
    if (image.isNull()) return std::nullopt;
    const uint8_t* source = rgb->pixels.data();
    for (int y = 0; y < rgb->height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < rgb->width; ++x, source += 3)
            row[x] = qRgb(source[0], source[1], source[2]);
    }
    return image;
}

}  // namespace

std::optional<QByteArray> ReadSlideFile(const std::string& path) {
    if (path.empty()) return std::nullopt;
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > kMaxSlideFileBytes) {
        M4_LOG(1, kSource, "%s: %lld bytes, too large for a slide", path.c_str(),
               static_cast<long long>(file.size()));
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QImage> DecodeSlide(const std::string& path, const QByteArray& bytes) {
    std::optional<QImage> picture = IsPng(bytes) ? DecodePng(bytes) : DecodeJpeg(path);
    if (!picture) M4_LOG(1, kSource, "%s cannot be decoded", path.c_str());
    return picture;
}

}  // namespace koru::player
