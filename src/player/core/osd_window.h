// The on-screen text strips over the picture: the channel banner ("[Channel: name]"), the
// recording mark (" REC"), the status overlay (weak signal) and the volume display. Each is a
// small child window that draws one line of text on its own colour.
#ifndef PLAYER_CORE_OSD_WINDOW_H
#define PLAYER_CORE_OSD_WINDOW_H

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

namespace koru::player {

class OsdWindow : public QWidget {
  public:
    OsdWindow(const QString& name, const QColor& text, const QColor& background,
              const QString& family, QWidget* parent);

    void SetText(const QString& text);
    const QString& text() const { return text_; }
    // The font height follows the picture: 9 points at 240 lines, 18 at 480.
    void SetPictureHeight(int height);

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
