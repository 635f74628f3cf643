// The on-screen text strips over the picture: the channel caption ("[Channel: name]"), the
// recording mark (" REC") and the status overlay (weak signal). Each is a small child window
// that is transparent (the picture shows through) except for its line of text on its own colour.
// The caption and the mark are placed from a reference frame of 320 x 240 pixels scaled to the
// picture, with one font size for both computed from the frame's bottom strip.
#ifndef PLAYER_CORE_OSD_WINDOW_H
#define PLAYER_CORE_OSD_WINDOW_H

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

namespace koru::player {

// A rectangle of the 320 x 240 reference frame (left, top, right, bottom).
struct OsdReference {
    int left;
    int top;
    int right;
    int bottom;
};
constexpr OsdReference kCaptionReference{10, 10, 250, 20};
constexpr OsdReference kRecordReference{282, 2, 322, 14};
// Carries only the font size of the other two.
constexpr OsdReference kBottomStripReference{10, 210, 250, 230};

// A reference value scaled to a picture side (value x side / reference side + 0.1, truncated).
int ScaleOsdValue(int value, int side, int reference_side);

// The window of a reference rectangle over a picture of the given size, relative to the
// picture's top-left corner: at the scaled left and top, as wide as the scaled left plus the
// scaled width and as high as the scaled top plus the scaled height (at 320 x 240 the caption is
// 250 x 20 at (10, 10)), and kept inside the picture.
QRect OsdRect(const OsdReference& reference, const QSize& picture);

// The font size in points of the OSD windows for a picture height: 9 at 240, 18 at 480.
int OsdFontPoints(int picture_height);

class OsdWindow : public QWidget {
  public:
    OsdWindow(const QString& name, const QColor& text, const QColor& background,
              const QString& family, QWidget* parent);

    // Draws the line (Caption, Rec and the status text all come here).
    void SetText(const QString& text);
    // Nothing drawn: the window is all transparent.
    void Clear() { SetText(QString()); }
    const QString& text() const { return text_; }
    void SetFontPoints(int points);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QColor text_colour_;
    QColor background_;
    QFont font_;
};

}  // namespace koru::player

#endif
