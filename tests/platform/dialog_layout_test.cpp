#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <array>

#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"

namespace {
using platform::ControlDef;
using platform::ControlKind;
using K = ControlKind;

constexpr std::array<ControlDef, 9> kTable{{
    {100, K::GroupBox, "Frame", 5, 5, 150, 60},
    {101, K::Button, "Go", 10, 15, 40, 12},
    {102, K::RadioButton, "A", 60, 15, 30, 10},
    {103, K::RadioButton, "B", 95, 15, 30, 10},
    {104, K::Label, "Lines", 10, 35, 30, 9},
    {105, K::DropDownCombo, nullptr, 45, 33, 50, 60, platform::kSorted, 104},
    {106, K::Ipv4Edit, nullptr, 10, 48, 100, 14, 0, 0, "Printer address"},
    {107, K::CheckBox, "Hidden", 120, 48, 30, 10, platform::kHidden},
    {platform::kNoId, K::Label, "note", 120, 35, 30, 9},
}};

// Types `text` key by key as a keyboard with an input method would deliver it.
void TypeText(QWidget* target, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
}

struct Built : ::testing::Test {
    QDialog dialog;
    platform::DialogUnits units{7, 15};
    std::vector<QWidget*> controls = platform::BuildControls(&dialog, kTable, units);
    QComboBox* combo = platform::FindControlAs<QComboBox>(&dialog, 105);
};

TEST(DialogUnits, ConvertsWithTheBaseUnits) {
    const platform::DialogUnits units{7, 15};
    // x*7/4, y*15/8; sizes from the converted far edges.
    EXPECT_EQ(units.ToPixels(87, 36, 103, 15), QRect(152, 67, 180, 28));
    EXPECT_EQ(units.ToPixels(0, 0, 435, 259).size(), QSize(761, 485));
    const auto fromFont = platform::DialogUnits::FromFont(platform::DialogFont());
    EXPECT_GT(fromFont.bx, 3);
    EXPECT_GT(fromFont.by, fromFont.bx);
}

TEST_F(Built, EveryControlCarriesItsIdKindAndState) {
    ASSERT_EQ(controls.size(), kTable.size());
    for (std::size_t i = 0; i < kTable.size(); ++i) {
        const ControlDef& def = kTable[i];
        if (def.id == platform::kNoId) {
            EXPECT_EQ(controls[i]->objectName(), QStringLiteral("static"));
            continue;
        }
        EXPECT_EQ(platform::FindControl(&dialog, def.id), controls[i]) << def.id;
        EXPECT_EQ(platform::ControlId(controls[i]), def.id);
        EXPECT_EQ(controls[i]->accessibleDescription(), QString::number(def.id));
        EXPECT_EQ(controls[i]->isHidden(), (def.flags & platform::kHidden) != 0) << def.id;
        EXPECT_EQ(controls[i]->geometry(), def.kind == K::DropDownCombo
                                               ? QRect(units.ToPixels(def.x, def.y, def.w, 12))
                                               : units.ToPixels(def.x, def.y, def.w, def.h))
            << def.id;
    }
    EXPECT_NE(qobject_cast<QGroupBox*>(controls[0]), nullptr);
    EXPECT_NE(qobject_cast<QPushButton*>(controls[1]), nullptr);
    EXPECT_NE(qobject_cast<platform::Ipv4Edit*>(controls[6]), nullptr);
    EXPECT_EQ(platform::FindControl(&dialog, 999), nullptr);
    EXPECT_EQ(platform::FindControl(&dialog, platform::kNoId), nullptr);
}

TEST_F(Built, FramesLieBelowSoClicksReachTheControls) {
    auto* button = platform::FindControlAs<QPushButton>(&dialog, 101);
    EXPECT_EQ(dialog.childAt(button->geometry().center()), button);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    dialog.show();
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(Built, RadioButtonsAreOneExclusiveGroup) {
    auto* a = platform::FindControlAs<QRadioButton>(&dialog, 102);
    auto* b = platform::FindControlAs<QRadioButton>(&dialog, 103);
    a->setChecked(true);
    b->setChecked(true);
    EXPECT_FALSE(a->isChecked());
}

TEST_F(Built, AccessibleNamesComeFromTheBuddyAndFollowItsText) {
    EXPECT_EQ(combo->accessibleName(), QStringLiteral("Lines"));
    auto* ip = platform::FindControlAs<platform::Ipv4Edit>(&dialog, 106);
    EXPECT_EQ(ip->accessibleName(), QStringLiteral("Printer address"));
    EXPECT_EQ(ip->Field(2)->accessibleName(), QStringLiteral("Printer address, field 3"));
    ASSERT_TRUE(
        platform::SetControlText(platform::FindControl(&dialog, 104), QStringLiteral("行数")));
    platform::RefreshAccessibleNames(&dialog);
    EXPECT_EQ(combo->accessibleName(), QStringLiteral("行数"));
}

TEST_F(Built, ControlTextCoversEveryKindWithText) {
    EXPECT_EQ(platform::ControlText(platform::FindControl(&dialog, 100)), QStringLiteral("Frame"));
    EXPECT_TRUE(
        platform::SetControlText(platform::FindControl(&dialog, 100), QStringLiteral("F2")));
    EXPECT_EQ(platform::ControlText(platform::FindControl(&dialog, 100)), QStringLiteral("F2"));
    EXPECT_TRUE(platform::SetControlText(platform::FindControl(&dialog, 107), QStringLiteral("X")));
    EXPECT_EQ(platform::ControlText(platform::FindControl(&dialog, 107)), QStringLiteral("X"));
    EXPECT_FALSE(
        platform::SetControlText(platform::FindControl(&dialog, 106), QStringLiteral("X")));
}

// The Windows list semantics: nothing selected after filling, typed text that names no item
// leaves position -1 (text kept as typed), text naming an item selects it.
TEST_F(Built, EditableComboKeepsPositionMinusOneForUnknownText) {
    for (const char* item : {"3行", "1行", "2行"})
        platform::AddListString(combo, QString::fromUtf8(item));
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(0), QString::fromUtf8("1行"));  // sorted
    EXPECT_EQ(combo->itemText(2), QString::fromUtf8("3行"));
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_TRUE(combo->currentText().isEmpty());

    dialog.show();
    combo->lineEdit()->setFocus();
    TypeText(combo->lineEdit(), QString::fromUtf8("2行"));
    EXPECT_EQ(combo->currentIndex(), 1);
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("x"));
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), QString::fromUtf8("2行x"));  // typed text stays
    QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);
    EXPECT_EQ(combo->currentIndex(), 1);

    combo->setCurrentIndex(2);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("9"));
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), QStringLiteral("9"));
    EXPECT_EQ(combo->count(), 3);  // typing never adds items
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo->count(), 3);
}

TEST_F(Built, AddingToAListKeepsTypedTextAndNothingSelected) {
    combo->setEditText(QStringLiteral("/dev/ttyX"));
    platform::AddListString(combo, QStringLiteral("/dev/ttyUSB0"));
    platform::AddListString(combo, QStringLiteral("/dev/ttyS0"));
    platform::AddListString(combo, QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(combo->currentText(), QStringLiteral("/dev/ttyX"));
    EXPECT_EQ(combo->itemText(0), QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(combo->itemText(1), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(combo->itemText(2), QStringLiteral("/dev/ttyUSB0"));
    combo->setCurrentIndex(1);
    platform::AddListString(combo, QStringLiteral("/dev/ttyA"));  // before the selected item
    EXPECT_EQ(combo->currentText(), QStringLiteral("/dev/ttyS0"));
    platform::ResetListContent(combo);
    EXPECT_EQ(combo->count(), 0);
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_TRUE(combo->currentText().isEmpty());
}

}  // namespace
