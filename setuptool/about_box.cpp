#include "setuptool/about_box.h"

#include <QLabel>
#include <QPushButton>
#include <array>

#include "platform/dialog_layout.h"

// Resources of a static library are registered by name from outside any namespace.
static void RegisterTessaryResources() {
    Q_INIT_RESOURCE(tessary);
}

namespace setuptool {

namespace {
using platform::ControlKind;
constexpr int kIconId = 1200;

constexpr std::array<platform::ControlDef, 4> kAboutControls{{
    {kIconId, ControlKind::Icon, nullptr, 14, 14, 21, 20, 0, 0, "Tessary"},
    {1201, ControlKind::Label, "Tessary V2.1", 42, 14, 114, 8},
    {1202, ControlKind::Label, "POS printer test and setup tool", 42, 26, 114, 8},
    {1, ControlKind::DefaultButton, "确定", 113, 41, 50, 14},
}};
}  // namespace

QIcon ProgramIcon() {
    static const bool registered = (RegisterTessaryResources(), true);
    (void)registered;
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/tessary/tessary-%1.png").arg(size), QSize(size, size));
    return icon;
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kAboutTitle));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(platform::DialogFont(9.0));
    const auto units = platform::DialogUnits::FromFont(font());
    platform::BuildControls(this, kAboutControls, units);
    if (auto* icon = platform::FindControlAs<QLabel>(this, kIconId))
        icon->setPixmap(ProgramIcon().pixmap(32, 32));
    if (auto* ok = platform::FindControlAs<QPushButton>(this, 1)) {
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        ok->setFocus();
    }
    setFixedSize(units.ToPixels(0, 0, 170, 62).size());
}

}  // namespace setuptool
