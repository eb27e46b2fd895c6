#pragma once
// The keyboard of a dialog, as the dialog manager of the windows' original platform handles it:
// - Enter on a focused push button presses that button;
// - Enter anywhere else presses the dialog's default button, and does nothing when the dialog
//   has none (no dialog closes by itself on Enter);
// - Esc closes the dialog the way its close box does (a dialog that refuses the close box
//   refuses Esc too).
// Qt's own handling (auto-default buttons taking over the default, a default chosen when the
// dialog has none) is bypassed: the keys are taken out before any control sees them.

#include <QObject>

class QDialog;
class QPushButton;

namespace platform {

class DialogKeyboard final : public QObject {
    Q_OBJECT
  public:
    // Takes the keys of `dialog` and of every widget in it at the time of the call. The rule is
    // a child of `dialog`. Event filters a window installs later run before it, so a window can
    // still take a key out for itself (Tessary's main window does, for Enter).
    static void Install(QDialog* dialog);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    explicit DialogKeyboard(QDialog* dialog);
    QDialog* dialog_;
};

// The button Enter presses in `dialog` when no push button has the focus: its visible default
// push button, or null.
QPushButton* DefaultButton(const QDialog* dialog);

}  // namespace platform
