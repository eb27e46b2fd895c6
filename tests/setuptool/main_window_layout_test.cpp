// The main window's controls: ids, initial state, captions in both languages, accessibility, and
// that every caption fits its control. Set TESSARY_SHOT_DIR to save screenshots of both languages.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <cstdio>
#include <fstream>

#include "platform/qt/ipv4_edit.h"
#include "setuptool/about_box.h"
#include "setuptool/captions.h"
#include "setuptool/random_mac.h"
#include "tests/setuptool/caption_fit.h"
#include "tests/setuptool/window_harness.h"

namespace {
using setuptool::CaptionTable;
using setuptool::kMainWindowDialog;
using setuptool::MainWindowControls;
using testsupport::SaveShot;
using testsupport::WindowHarness;
namespace id = setuptool::id;

void WriteFlag(const std::filesystem::path& dir, const char* content) {
    std::ofstream(dir / "init_params.txt") << content;
}

void ExpectCaptionsFit(const setuptool::MainWindow& window) {
    testsupport::ExpectCaptionsFit(window, MainWindowControls());
}

void ExpectCaptions(const setuptool::MainWindow& window, bool english) {
    for (const setuptool::CaptionEntry& entry : CaptionTable(kMainWindowDialog)) {
        QWidget* control = window.Control(entry.id);
        ASSERT_NE(control, nullptr) << entry.id;
        EXPECT_EQ(platform::ControlText(control).toStdString(),
                  english ? entry.english : entry.chinese)
            << entry.id;
    }
    auto text = [&](int controlId) {
        return platform::ControlText(window.Control(controlId)).toStdString();
    };
    EXPECT_EQ(text(id::kLanguage), english ? "中文" : "English");
    // Fixed in both languages.
    EXPECT_EQ(text(1101), "COM");
    EXPECT_EQ(text(1001), "USB");
    EXPECT_EQ(text(1043), "MAC");
    EXPECT_EQ(text(1078), "Check2");
    EXPECT_EQ(window.windowTitle().toStdString(), "打印机测试工具V2.1");
    QStringList statics;
    for (QLabel* label : window.findChildren<QLabel*>(QStringLiteral("static")))
        statics << label->text();
    EXPECT_TRUE(statics.contains(QStringLiteral("MAC")));
    EXPECT_TRUE(statics.contains(QStringLiteral("ms")));
    EXPECT_TRUE(statics.contains(QString::fromUtf8("MAC会随机产生")));
}

TEST(MainWindowLayout, InitialStateAfterStartUp) {
    WindowHarness h;
    ASSERT_TRUE(h.Start());
    auto& w = *h.window;
    EXPECT_EQ(w.windowTitle().toStdString(), "打印机测试工具V2.1");
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_TRUE(h.Get<QRadioButton>(id::kUsb)->isChecked());
    for (int radio : {id::kLpt, id::kNet, id::kCom})
        EXPECT_FALSE(h.Get<QRadioButton>(radio)->isChecked());
    auto* baud = h.Get<QComboBox>(id::kBaudRate);
    EXPECT_EQ(baud->count(), 9);
    EXPECT_EQ(baud->currentIndex(), 3);
    EXPECT_EQ(baud->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(baud->itemText(8), QStringLiteral("128000"));
    EXPECT_EQ(h.Get<QComboBox>(id::kBeeperList)->currentIndex(), 0);
    EXPECT_EQ(h.Get<QComboBox>(id::kBeeperList)->count(), 6);
    EXPECT_EQ(h.Get<QComboBox>(id::kBlankFeedList)->currentIndex(), -1);
    EXPECT_EQ(h.Get<QComboBox>(id::kBlankFeedList)->itemText(2), QString::fromUtf8("3行"));
    EXPECT_EQ(h.Get<QComboBox>(id::kSerialPort)->currentIndex(), -1);
    EXPECT_EQ(h.Get<QLineEdit>(id::kInterval)->text(), QStringLiteral("500"));
    EXPECT_FALSE(h.Get<QCheckBox>(id::kAutoSend)->isChecked());
    EXPECT_EQ(h.Get<platform::Ipv4Edit>(1009)->Text(), QStringLiteral("192.168.0.199"));
    EXPECT_EQ(h.Get<platform::Ipv4Edit>(1010)->Text(), QStringLiteral("255.255.255.0"));
    EXPECT_EQ(h.Get<platform::Ipv4Edit>(1011)->Text(), QStringLiteral("192.168.0.1"));
    EXPECT_EQ(h.Get<platform::Ipv4Edit>(1038)->Text(), QStringLiteral("192.168.1.199"));
    EXPECT_EQ(h.Get<QPlainTextEdit>(id::kPrintInfo)->toPlainText().size(), 121);  // two CR LF as LF
    EXPECT_TRUE(h.Get<QLabel>(id::kStatus)->text().isEmpty());
    EXPECT_TRUE(h.Get<QCheckBox>(1085)->isHidden());
    EXPECT_TRUE(h.Get<QCheckBox>(1078)->isHidden());
    EXPECT_GT(w.ReplySocket(), 0);
    EXPECT_GT(w.BroadcastSocket(), 0);
    EXPECT_NE(w.ReplyPort(), 0);

    // The MAC boxes show the proposal for the clock's second, "%x" each.
    const auto mac = setuptool::RandomMac(h.clock.SecondsSinceEpoch());
    EXPECT_EQ(w.MacProposal(), mac);
    for (std::size_t i = 0; i < 6; ++i) {
        char expected[4];
        std::snprintf(expected, sizeof expected, "%x", mac[i]);
        EXPECT_EQ(h.Get<QLineEdit>(setuptool::kMacBoxIds[i])->text().toStdString(), expected);
    }
    // Six frames without id, one hidden.
    int frames = 0, hiddenFrames = 0;
    for (QGroupBox* box : w.findChildren<QGroupBox*>(QStringLiteral("static"))) {
        ++frames;
        hiddenFrames += box->isHidden();
    }
    EXPECT_EQ(frames, 6);
    EXPECT_EQ(hiddenFrames, 1);
    EXPECT_EQ(h.messages.Messages().size(), 0u);
}

TEST(MainWindowLayout, EveryControlIsNamedForAccessibility) {
    WindowHarness h;
    ASSERT_TRUE(h.Start());
    for (int language = 0; language < 2; ++language) {
        for (const platform::ControlDef& def : MainWindowControls()) {
            if (def.id == platform::kNoId) continue;
            QWidget* control = h.window->Control(def.id);
            ASSERT_NE(control, nullptr) << def.id;
            EXPECT_EQ(control->accessibleDescription(), QString::number(def.id));
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr) << def.id;
            if (def.id == id::kStatus) continue;  // named "Status", empty text
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << def.id;
        }
        // Fields named after their label follow the language.
        const std::string label = platform::ControlText(h.window->Control(1045)).toStdString();
        EXPECT_EQ(h.window->Control(id::kPrinterIp)->accessibleName().toStdString(), label);
        h.Get<QPushButton>(id::kLanguage)->click();
    }
    EXPECT_EQ(h.window->Control(id::kStatus)->accessibleName(), QStringLiteral("Status"));
}

TEST(MainWindowLayout, ChineseCaptionsFitAndShow) {
    WindowHarness h;
    ASSERT_TRUE(h.Start());
    ExpectCaptions(*h.window, false);
    ExpectCaptionsFit(*h.window);
    SaveShot(*h.window, "main-chinese.png");
    setuptool::AboutBox about(h.window.get());
    about.show();
    SaveShot(about, "about.png");
}

TEST(MainWindowLayout, EnglishCaptionsFitAndShow) {
    WindowHarness h;
    WriteFlag(h.workDir, "1\n");
    ASSERT_TRUE(h.Start());
    ExpectCaptions(*h.window, true);
    ExpectCaptionsFit(*h.window);
    SaveShot(*h.window, "main-english.png");
}

}  // namespace
