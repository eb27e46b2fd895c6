#pragma once
// Qt widgets built from a dialog's control table. Dialog units are converted with the dialog
// font's base units: bx = average width of "A".."Z","a".."z", by = font height; px = x*bx/4,
// py = y*by/8.

#include <QFont>
#include <QRect>
#include <QString>
#include <span>
#include <vector>

#include "platform/dialog_layout.h"

class QComboBox;
class QDialog;
class QWidget;

namespace platform {

struct DialogUnits {
    int bx = 4;  // pixels per 4 horizontal units
    int by = 8;  // pixels per 8 vertical units

    static DialogUnits FromFont(const QFont& font);
    int X(int units) const { return units * bx / 4; }
    int Y(int units) const { return units * by / 8; }
    QRect ToPixels(int x, int y, int w, int h) const;
};

// The font of the windows: a sans with CJK glyphs, sized so the captions fit their controls.
QFont DialogFont(double pointSize = 10.0);

// Creates the controls of `table` as children of `dialog` (which uses no layout manager), in
// table order (which is also the tab order). Every control gets objectName "id_<id>" (statics
// without id "static"), the property "controlId", its accessible description (the id), its
// accessible name, its hidden/disabled state. Returns the widgets in table order. A QDialog also
// gets the dialogs' keyboard rule (DialogKeyboard): Enter presses the focused push button, else
// the default button (the last DefaultButton of the table), Esc closes.
std::vector<QWidget*> BuildControls(QWidget* dialog, std::span<const ControlDef> table,
                                    const DialogUnits& units);

// The control with `id` among the descendants of `dialog`, or null.
QWidget* FindControl(const QWidget* dialog, int id);
template <class T>
T* FindControlAs(const QWidget* dialog, int id) {
    return qobject_cast<T*>(FindControl(dialog, id));
}
// The id a control was built with, or 0.
int ControlId(const QWidget* control);

// The caption or text of a button, check/radio box, group box, label, edit or combo.
QString ControlText(const QWidget* control);
// Sets it; for labels and buttons this is the caption (a kLiveText label's accessible name
// follows). Returns false for kinds without text.
bool SetControlText(QWidget* control, const QString& text);

// Renews the accessible names of controls named after a buddy control (after captions changed):
// of those named after `buddyId`, or of all when it is 0.
void RefreshAccessibleNames(QWidget* dialog, int buddyId = 0);

// Gives `dialog` the frame of the program's modal dialogs (title, system menu and close box, no
// minimise or maximise box), the dialog font at `pointSize`, the controls of `table` and the fixed
// client size `width` x `height` in dialog units. Returns the built controls.
std::vector<QWidget*> BuildDialog(QDialog* dialog, const QString& title, double pointSize,
                                  std::span<const ControlDef> table, int width, int height);

// Lists (QComboBox, QListWidget) with the Windows notion of a selected position: -1 when nothing
// is selected, also when a combo's typed text names no item.
// Adds `text` at its sorted place in a kSorted list, else at the end; returns the position. The
// selection stays as it was ("none" in an empty list).
int AddListItem(QWidget* list, const QString& text);
// Inserts `text` at `position` (the end when out of range) whatever the sorting.
int InsertListItem(QWidget* list, int position, const QString& text);
// Removes every item, and a combo's text.
void ResetList(QWidget* list);
int ListPosition(const QWidget* list);
void SelectListPosition(QWidget* list, int position);
// The same for combo boxes.
int AddListString(QComboBox* combo, const QString& text);
void ResetListContent(QComboBox* combo);

}  // namespace platform
