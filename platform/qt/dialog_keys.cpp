#include "platform/qt/dialog_keys.h"

#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace platform {

namespace {
bool Pressable(const QPushButton* button) {
    return button != nullptr && button->isVisible() && button->isEnabled();
}
}  // namespace

DialogKeyboard::DialogKeyboard(QDialog* dialog) : QObject(dialog), dialog_(dialog) {}

void DialogKeyboard::Install(QDialog* dialog) {
    auto* rule = new DialogKeyboard(dialog);
    dialog->installEventFilter(rule);
    for (QWidget* child : dialog->findChildren<QWidget*>()) child->installEventFilter(rule);
}

QPushButton* DefaultButton(const QDialog* dialog) {
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->isDefault() && button->isVisible() && button->window() == dialog) return button;
    }
    return nullptr;
}

bool DialogKeyboard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    // Keys of another window (a message box or sub-dialog parented to this one) are its own.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != dialog_) return false;
    switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // The key goes to the focused control first, and is taken out there.
            QPushButton* button = qobject_cast<QPushButton*>(widget);
            if (button == nullptr) button = DefaultButton(dialog_);
            if (Pressable(button)) button->click();
            return true;
        }
        case Qt::Key_Escape:
            dialog_->close();
            return true;
        default:
            return false;
    }
}

}  // namespace platform
