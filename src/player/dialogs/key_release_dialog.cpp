#include "player/dialogs/key_release_dialog.h"

#include <QKeyEvent>
#include <QPushButton>

namespace koru::player {

namespace {

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

KeyReleaseDialog::KeyReleaseDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {}

void KeyReleaseDialog::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event->key()) || event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void KeyReleaseDialog::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
    if (event->isAutoRepeat()) return;
    if (IsEnter(event->key())) {
        EnterReleased();
    } else if (event->key() == Qt::Key_Escape) {
        EscapeReleased();
    }
}

void KeyReleaseDialog::showEvent(QShowEvent* event) {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    for (QWidget* child : findChildren<QWidget*>()) {
        child->removeEventFilter(this);
        child->installEventFilter(this);
    }
    QDialog::showEvent(event);
}

bool KeyReleaseDialog::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // A popup of a control (a drop-down list) keeps its keys: Escape closes the popup only.
    const auto* widget = qobject_cast<QWidget*>(watched);
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && widget != nullptr &&
        widget->window() == this) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (IsEnter(key->key()) || key->key() == Qt::Key_Escape) {
            if (type == QEvent::KeyPress) {
                keyPressEvent(key);
            } else {
                keyReleaseEvent(key);
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace koru::player
