// The skin engine's window layer: the layout's bitmaps as Qt images, window regions cut from a
// background by its key colour, and the drawing of layout elements and of the main window's
// twelve-piece resizable frame.
#ifndef PLAYER_SKIN_QT_SKIN_H
#define PLAYER_SKIN_QT_SKIN_H

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QSize>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "player/skin/skin_layout.h"

namespace koru::skin {

// Pure green, RGB(0, 255, 0): the pixels of a background that lie outside the window.
constexpr QRgb kKeyColour = 0x00FF00;
// The runs of a region are turned into a region in blocks of this many rectangles.
constexpr int kRegionBlock = 2000;

QRect ToQRect(const Rect& rect);
// A 32-bit image (QImage::Format_RGB32) with the DibImage's pixels.
QImage ToQImage(const DibImage& image);

// The layout's bitmaps as images, converted once and kept until Reset (a new layout).
class QtSkin {
  public:
    explicit QtSkin(const SkinLayout& layout) : layout_(layout) {}

    void Reset() { cache_.clear(); }
    const SkinLayout& layout() const { return layout_; }

    // The bitmap of name in a button state (-1: the name itself); a null image when missing.
    QImage Image(const std::string& name, int state = -1) const;
    QRect AbsoluteRect(const std::string& id) const { return ToQRect(layout_.GetAbsoluteRect(id)); }
    QRect ItemRect(const std::string& id) const { return ToQRect(layout_.GetItemRect(id)); }

  private:
    const SkinLayout& layout_;
    mutable std::map<std::pair<std::string, int>, QImage> cache_;
};

// The rectangles of the pixel runs that are inside: one rectangle per run of each row, rows top
// first. With outside_is_key a pixel is outside when its colour (red, green, blue) equals key
// exactly; otherwise it is inside exactly then.
std::vector<QRect> BitmapRuns(const QImage& image, QRgb key, bool outside_is_key);
// The same runs as a region, united from blocks of at most block rectangles.
QRegion BitmapToRegion(const QImage& image, QRgb key = kKeyColour, bool outside_is_key = true,
                       int block = kRegionBlock);

// Draws the bitmap of element name into target at the element's absolute rectangle, moved by
// offset and grown by extra; stretch scales the whole bitmap into it, otherwise its top-left
// part of the rectangle's size is copied. A missing bitmap draws nothing.
void DrawElement(QImage& target, const QtSkin& skin, const std::string& name,
                 std::optional<QPoint> offset = std::nullopt,
                 std::optional<QSize> extra = std::nullopt, bool stretch = false);

// The size the layout describes for the main window: the width of L_Top by the heights of
// L_Top, L_Body and L_Bottom.
QSize MainWindowLayoutSize(const QtSkin& skin);
// Draws the twelve frame pieces for a window (dx, dy) larger than the layout size.
void DrawFrame(QImage& target, const QtSkin& skin, int dx, int dy);

}  // namespace koru::skin

#endif
