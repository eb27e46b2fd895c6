// The main window through the real widgets: frame, icon and hidden controls, captions in both
// languages fitting their controls, accessibility, and the commands of real clicks and keys
// reaching a printer on loopback TCP. Set TESSARY_SHOT_DIR to save screenshots of both languages.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <fstream>

#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"
#include "setuptool/about_box.h"
#include "setuptool/captions.h"
#include "setuptool/test_text.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/platform/qt_wait.h"
#include "tests/setuptool/caption_fit.h"
#include "tests/setuptool/window_harness.h"

namespace {
using setuptool::MainWindowControls;
using testsupport::SaveShot;
using testsupport::WindowHarness;
namespace id = setuptool::id;

void WriteFlag(const std::filesystem::path& dir, const char* content) {
    std::ofstream(dir / "init_params.txt") << content;
}

void ExpectCaptions(const WindowHarness& h, bool english) {
    auto text = [&](int controlId) {
        return platform::ControlText(h.host->Control(controlId)).toStdString();
    };
    for (const platform::CaptionEntry& entry : setuptool::MainWindowCaptions())
        EXPECT_EQ(text(entry.id), english ? entry.english : entry.chinese) << entry.id;
    EXPECT_EQ(text(id::kLanguage), english ? "中文" : "English");
    EXPECT_EQ(h.host->windowTitle().toStdString(), "打印机测试工具V2.1");
    QStringList statics;
    for (QLabel* label : h.host->findChildren<QLabel*>(QStringLiteral("static")))
        statics << label->text();
    EXPECT_TRUE(statics.contains(QStringLiteral("MAC")));
    EXPECT_TRUE(statics.contains(QStringLiteral("ms")));
    EXPECT_TRUE(statics.contains(QString::fromUtf8("MAC会随机产生")));
}

TEST(MainWindowLayout, FrameIconAndTheWidgetsStartUpState) {
    WindowHarness h;
    ASSERT_TRUE(h.Start());
    auto& w = *h.host;
    EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_TRUE(h.Get<QRadioButton>(id::kUsb)->isChecked());
    auto* baud = h.Get<QComboBox>(id::kBaudRate);
    EXPECT_EQ(baud->count(), 9);
    EXPECT_EQ(baud->currentText(), QStringLiteral("9600"));
    EXPECT_EQ(h.Get<QComboBox>(id::kBlankFeedList)->currentIndex(), -1);
    EXPECT_EQ(h.Get<platform::Ipv4Edit>(1038)->Text(), QStringLiteral("192.168.1.199"));
    // The welcome text's two CR LF are new lines in the edit.
    EXPECT_EQ(h.Get<QPlainTextEdit>(id::kPrintInfo)->toPlainText().size(), 121);
    EXPECT_EQ(h.Get<QPlainTextEdit>(id::kPrintInfo)->blockCount(), 3);
    EXPECT_TRUE(h.Get<QLabel>(id::kStatus)->text().isEmpty());
    EXPECT_TRUE(h.Get<QCheckBox>(1085)->isHidden());
    EXPECT_TRUE(h.Get<QCheckBox>(1078)->isHidden());
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
            QWidget* control = h.host->Control(def.id);
            ASSERT_NE(control, nullptr) << def.id;
            EXPECT_EQ(control->accessibleDescription(), QString::number(def.id));
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
            ASSERT_NE(accessible, nullptr) << def.id;
            if (def.id == id::kStatus) continue;  // named "Status", empty text
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << def.id;
        }
        // Fields named after their label follow the language.
        const std::string label = platform::ControlText(h.host->Control(1045)).toStdString();
        EXPECT_EQ(h.host->Control(id::kPrinterIp)->accessibleName().toStdString(), label);
        h.Get<QPushButton>(id::kLanguage)->click();
    }
    EXPECT_EQ(h.host->Control(id::kStatus)->accessibleName(), QStringLiteral("Status"));
}

TEST(MainWindowLayout, CaptionsOfBothLanguagesFitAndShow) {
    for (const bool english : {false, true}) {
        WindowHarness h;
        WriteFlag(h.workDir, english ? "1\n" : "0\n");
        ASSERT_TRUE(h.Start());
        ExpectCaptions(h, english);
        testsupport::ExpectCaptionsFit(*h.host, MainWindowControls());
        SaveShot(*h.host, english ? "main-english.png" : "main-chinese.png");
    }
}

// Real clicks and keys on the widgets reach the printer through the window's logic: a mouse
// click on a button, a list choice typed key by key, the test page, and the status label.
TEST(MainWindowLayout, ClicksAndTypingThroughTheWidgetsReachThePrinter) {
    fakes::TcpPrinterPeer peer;
    ASSERT_TRUE(peer.ok());
    WindowHarness h(peer.port());
    ASSERT_TRUE(h.Start());
    h.UseNet();
    QTest::mouseClick(h.Get<QPushButton>(1004), Qt::LeftButton);  // cut
    EXPECT_EQ(testsupport::Delivery(peer, 1),
              (std::vector<uint8_t>{0x0A, 0x0A, 0x1D, 0x56, 0x01, 0x01}));

    auto* feed = h.Get<QComboBox>(id::kBlankFeedList);
    feed->lineEdit()->selectAll();
    QTest::keyClicks(feed->lineEdit(), QStringLiteral("5"));
    QKeyEvent line(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString::fromUtf8("行"));
    QApplication::sendEvent(feed->lineEdit(), &line);
    ASSERT_EQ(feed->currentIndex(), 4);
    QTest::mouseClick(h.Get<QPushButton>(1050), Qt::LeftButton);
    EXPECT_EQ(testsupport::Delivery(peer, 2),
              (std::vector<uint8_t>{0x1F, 0x1B, 0x6B, 0x04, 0x00, 0x00}));

    h.Get<QPlainTextEdit>(id::kPrintInfo)->setPlainText(QString::fromUtf8("打印\nAB"));
    QTest::mouseClick(h.Get<QPushButton>(id::kPrintTest), Qt::LeftButton);
    EXPECT_EQ(testsupport::Delivery(peer, 3),
              (std::vector<uint8_t>{0xB4, 0xF2, 0xD3, 0xA1, 0x0D, 0x0A, 'A', 'B'}));
    auto* status = h.Get<QLabel>(id::kStatus);
    EXPECT_EQ(status->text(), QStringLiteral("send finish count 1 "));
    // A screen reader reads what the line says, not just its name.
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(status);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Status: send finish count 1 "));
}

}  // namespace
