#include "tests/setuptool/caption_fit.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace testsupport {
namespace {

// Horizontal room a control leaves for its caption.
int CaptionRoom(const QWidget* control) {
    const QStyle* style = control->style();
    if (auto* button = qobject_cast<const QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.rect = button->rect();
        return style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    }
    if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control)) {
        const bool check = qobject_cast<const QCheckBox*>(control) != nullptr;
        const int indicator = style->pixelMetric(check ? QStyle::PM_IndicatorWidth
                                                       : QStyle::PM_ExclusiveIndicatorWidth);
        const int spacing = style->pixelMetric(check ? QStyle::PM_CheckBoxLabelSpacing
                                                     : QStyle::PM_RadioButtonLabelSpacing);
        return control->width() - indicator - spacing;
    }
    if (qobject_cast<const QGroupBox*>(control)) return control->width() - 16;
    return control->width();
}

}  // namespace

void ExpectCaptionsFit(const QWidget& dialog, std::span<const platform::ControlDef> controls) {
    for (const platform::ControlDef& def : controls) {
        QWidget* control = nullptr;
        if (def.id != platform::kNoId) control = platform::FindControl(&dialog, def.id);
        if (control == nullptr || control->isHidden()) continue;
        const QString text = platform::ControlText(control);
        if (text.isEmpty()) continue;
        const QFontMetrics fm(control->font());
        if (auto* label = qobject_cast<const QLabel*>(control)) {
            EXPECT_LE(label->heightForWidth(label->width()), label->height() + 1)
                << def.id << " " << text.toStdString();
            continue;
        }
        if (qobject_cast<const QAbstractButton*>(control) ||
            qobject_cast<const QGroupBox*>(control)) {
            EXPECT_LE(fm.horizontalAdvance(text), CaptionRoom(control))
                << def.id << " " << text.toStdString();
        }
    }
    // The statics without id keep their one-language texts; they must fit as well.
    for (QLabel* label : dialog.findChildren<QLabel*>(QStringLiteral("static"))) {
        EXPECT_LE(label->heightForWidth(label->width()), label->height() + 1)
            << label->text().toStdString();
    }
}

void SaveShot(QWidget& window, const char* name) {
    const QByteArray dir = qgetenv("TESSARY_SHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    window.grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QLatin1String(name));
}

}  // namespace testsupport
