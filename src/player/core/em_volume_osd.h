// EM_VolumeOSD: the small window over the picture that shows the volume ("[Volume: 40%]") or
// the mute state ("[   Mute   ]") for a moment after a change. The main window shows it and
// hides it after its own delay; it stands at the volume place, in the picture's top right.
#ifndef PLAYER_CORE_EM_VOLUME_OSD_H
#define PLAYER_CORE_EM_VOLUME_OSD_H

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

namespace koru::player {

// The volume place in the 320 x 240 reference frame of the picture (scaled like the OSD
// windows): the window stands at its offsets, a quarter of its width plus 12 pixels wide and half
// its height plus 6 pixels high (150 x 20 at normal size).
constexpr QRect kVolumePlace{160, 10, 552, 28};

// The window's rectangle over a picture area.
QRect VolumeOsdRect(const QRect& picture_area);

class EM_VolumeOSD : public QWidget {
  public:
    explicit EM_VolumeOSD(QWidget* parent);

    // The text of Set (made from the message table by the main window's logic): the font is
    // made again for the current height.
    void Set(const QString& text);
    // Moves the window over the picture area; a visible window is hidden and shown again.
    void Place(const QRect& picture_area);
    const QString& text() const { return text_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString text_;
    QFont font_;
};

}  // namespace koru::player

#endif
