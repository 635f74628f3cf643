// The look of the default skin: its colours, and the icons and surfaces it is drawn from.
// Everything is drawn with QPainter at the size the layout gives.
#ifndef TOOLS_MKSKIN_ART_STYLE_H
#define TOOLS_MKSKIN_ART_STYLE_H

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <string>

namespace koru::skinart {

// Pure green: outside the window.
inline const QColor kOutside(0, 255, 0);
// Magenta: the transparent colour of the slider's thumb.
inline const QColor kThumbKey(255, 0, 255);

inline const QColor kAccent(0x22, 0xC3, 0xA6);
inline const QColor kAccentBright(0x5C, 0xE8, 0xCC);
inline const QColor kAccentDark(0x12, 0x86, 0x72);
inline const QColor kIcon(0xCF, 0xD5, 0xDD);
inline const QColor kIconDim(0xA2, 0xA9, 0xB4);
inline const QColor kIconDisabled(0x52, 0x58, 0x61);
inline const QColor kRecord(0xE5, 0x48, 0x4D);
inline const QColor kPanel(0x0D, 0x10, 0x14);
inline const QColor kEdge(0x09, 0x0A, 0x0C);
inline const QColor kBackdrop(0x15, 0x17, 0x1B);

// Button states as the layout numbers them minus one.
enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

// The icons, drawn centred in rect with colour.
enum class Icon {
    kPlay,
    kPause,
    kStop,
    kUp,
    kDown,
    kRecord,
    kCapture,
    kOpen,
    kSpeaker,
    kMute,
    kList,
    kMinimise,
    kFullScreen,
    kPower,
    kClose,
    kTv,
    kRadio,
    kData,
    kSearch,
    kCancel,
    kGrip
};
void DrawIcon(QPainter& painter, Icon icon, const QRectF& rect, const QColor& colour);

// The koru (an unfolding fern frond): the product's mark.
void DrawKoru(QPainter& painter, const QRectF& rect, const QColor& colour, qreal width);

// A window surface of size with rounded corners (outside pure green after Finish).
QImage NewSurface(int width, int height);
// Turns a surface with soft edges into opaque pixels: mostly transparent pixels become pure
// green, the others are laid on the backdrop colour.
QImage Finish(const QImage& surface);

// Text in the skin's face (DejaVu Sans), bold, pixel size.
QFont SkinFont(int pixel_size, bool bold = true);

}  // namespace koru::skinart

#endif
