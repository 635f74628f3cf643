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

// ReadJpegFile gives packed RGB rows; rows padded to 4 bytes are what QImage holds.
std::optional<QImage> DecodeJpeg(const std::string& path) {
    const std::optional<skin::RgbImage> rgb = skin::ReadJpegFile(path);
    if (!rgb) return std::nullopt;
    const std::optional<skin::PaddedRows> padded =
        skin::PadRows(rgb->pixels.data(), rgb->width, rgb->height);
    if (!padded) return std::nullopt;
    const QImage rows(padded->pixels.data(), rgb->width, rgb->height, padded->stride,
                      QImage::Format_RGB888);
    return rows.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

std::optional<QByteArray> ReadSlideFile(const std::string& path) {
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
