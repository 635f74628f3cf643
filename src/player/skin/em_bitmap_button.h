// EM_BitmapButton: a push button drawn from skin images. Four image sets of four states each
// (normal, mouse over, pressed or checked, disabled); a checked button shows its pressed image.
#ifndef PLAYER_SKIN_EM_BITMAP_BUTTON_H
#define PLAYER_SKIN_EM_BITMAP_BUTTON_H

#include <QAbstractButton>
#include <QImage>
#include <array>
#include <string>

#include "player/skin/qt_skin.h"

namespace koru::skin {

class EM_BitmapButton : public QAbstractButton {
  public:
    static constexpr int kSets = 4;
    static constexpr int kStates = 4;  // 0 normal, 1 mouse over, 2 pressed or checked, 3 disabled

    explicit EM_BitmapButton(int control_id, QWidget* parent = nullptr);

    int control_id() const { return control_id_; }

    // Fills the four state images of set from the layout (name_1 ... name_4; a missing state
    // takes the set's normal image). Set 0 also places the button: at the element's absolute
    // rectangle with place, else where it stands (remembered for MoveBy).
    void LoadImages(const QtSkin& skin, const std::string& name, int set, bool place);
    // Values outside 0..3 are ignored.
    void SetImageSet(int set);
    int image_set() const { return set_; }
    void SetChecked(bool checked);
    bool checked() const { return checked_; }
    bool hover() const { return hover_; }
    // The button at its remembered place moved by (dx, dy).
    void MoveBy(int dx, int dy);
    QRect home() const { return home_; }

    // The state whose image is drawn now.
    int DrawnState() const;
    const QImage& StateImage(int set, int state) const { return images_[set][state]; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    int control_id_;
    std::array<std::array<QImage, kStates>, kSets> images_;
    int set_ = 0;
    bool checked_ = false;
    bool hover_ = false;
    QRect home_;
};

}  // namespace koru::skin

#endif
