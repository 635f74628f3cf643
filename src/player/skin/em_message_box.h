// EM_MessageBox: the skinned modeless message box of the main window. Its shape and background
// come from the layout element BM_MB_Message; it stands centred on the main window's picture
// area and shows the main window's current message. Keys that reach it go on to the main window.
#ifndef PLAYER_SKIN_EM_MESSAGE_BOX_H
#define PLAYER_SKIN_EM_MESSAGE_BOX_H

#include <QImage>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <string>

#include "player/skin/qt_skin.h"

namespace koru::skin {

class EM_MessageBox : public QWidget {
  public:
    // A child of the main window, hidden until shown.
    explicit EM_MessageBox(QWidget* main_window);

    // Size, background and region from BM_MB_Message; then placed (WM_USER + 4000).
    void Initialise(const QtSkin& skin);
    // Centres the box on the picture area (in the main window's coordinates).
    void Place(const QRect& picture_area);

    // What it draws: the message, the language (0 Korean: 22 px, 1 English: 18 px), the skin
    // number (5: white text) and the lengths of the two receiver-disconnected texts of the
    // language, which are drawn on several lines.
    void SetMessage(const std::string& text);
    void SetLanguage(int language) { language_ = language; }
    void SetSkinNumber(int number) { skin_number_ = number; }
    void SetMultiLineLengths(size_t first, size_t second) {
        multi_line_lengths_[0] = first;
        multi_line_lengths_[1] = second;
    }

    const std::string& message() const { return message_; }
    const QRegion& region() const { return region_; }
    bool DrawsOnSeveralLines() const;
    QColor TextColour() const;
    int FontPixelHeight() const { return language_ == 0 ? 22 : 18; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

  private:
    QPointer<QWidget> main_window_;
    QImage background_;
    QRegion region_;
    std::string message_;
    int language_ = 0;
    int skin_number_ = 0;
    size_t multi_line_lengths_[2] = {0, 0};
};

}  // namespace koru::skin

#endif
