#include "shell/about_box.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace shell {

AboutBox::AboutBox(const AboutContent& content, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(content.title));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(platform::DialogFont(content.pointSize));
    const auto units = platform::DialogUnits::FromFont(font());
    const std::vector<QWidget*> controls = platform::BuildControls(this, content.controls, units);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (content.controls[i].kind != platform::ControlKind::Icon) continue;
        if (auto* icon = qobject_cast<QLabel*>(controls[i]))
            icon->setPixmap(content.icon.pixmap(32, 32));
    }
    if (auto* ok = platform::FindControlAs<QPushButton>(this, 1)) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    setFixedSize(units.ToPixels(0, 0, content.width, content.height).size());
}

void ShowWindowMenu(QWidget* window, const QPoint& globalPos, const QString& aboutItem,
                    const std::function<void()>& showAbout) {
    QMenu menu(window);
    QAction* about = menu.addAction(aboutItem);
    QObject::connect(about, &QAction::triggered, window, [&showAbout] { showAbout(); });
    menu.exec(globalPos);
}

QIcon ProgramIcon(const QString& name) {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/%1/%1-%2.png").arg(name).arg(size), QSize(size, size));
    return icon;
}

}  // namespace shell
