#pragma once
// What both programs' windows share around the About box: the box itself, laid out from a
// program's control table, the window menu item that opens it, and the program icon.

#include <QDialog>
#include <QIcon>
#include <QPoint>
#include <QString>
#include <functional>
#include <span>

#include "platform/qt/dialog_builder.h"

namespace shell {

struct AboutContent {
    const char* title;                               // caption, UTF-8
    std::span<const platform::ControlDef> controls;  // Icon controls show `icon`
    int width, height;                               // dialog units
    double pointSize;
    QIcon icon;
};

// A modal About box: the controls of `content`; its default button (id 1) closes it.
class AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit AboutBox(const AboutContent& content, QWidget* parent = nullptr);
};

// The window menu of a dialog (its context menu here) with the one extra item `aboutItem`,
// which calls `showAbout`. Returns when the menu has closed.
void ShowWindowMenu(QWidget* window, const QPoint& globalPos, const QString& aboutItem,
                    const std::function<void()>& showAbout);

// A program icon in all its sizes from the resources ":/<name>/<name>-<size>.png".
QIcon ProgramIcon(const QString& name);

}  // namespace shell
