// A slideshow picture from its file: JPEG (MOT ContentSubType 1) through the JPEG reader of
// the skin engine, PNG (ContentSubType 3) through Qt's reader, told apart by their first bytes.
// The result is ready to be drawn as it is, one pixel on screen for each pixel of the picture.
#ifndef PLAYER_DATASERVICE_SLIDE_PICTURE_H
#define PLAYER_DATASERVICE_SLIDE_PICTURE_H

#include <QByteArray>
#include <QImage>
#include <optional>
#include <string>

namespace koru::player {

// No slide file is read beyond this size.
constexpr qint64 kMaxSlideFileBytes = qint64{16} << 20;

// The bytes of a slide file, or nothing when it cannot be read or is larger than allowed.
std::optional<QByteArray> ReadSlideFile(const std::string& path);

// Decodes the picture of a slide file whose bytes were read: nothing when neither reader can
// decode it (or it is larger than an image may be).
std::optional<QImage> DecodeSlide(const std::string& path, const QByteArray& bytes);

}  // namespace koru::player

#endif
