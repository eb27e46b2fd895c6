// The dialogs opened from their main-window buttons through the real widgets, in both languages:
// captions fitting their controls, controls named for accessibility, and the dialogs' keyboard
// rule (Enter, Esc) with the frames it makes a printer on loopback TCP receive. Set
// TESSARY_SHOT_DIR to save screenshots.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <functional>
#include <string>

#include "commands/factory_dialog.h"
#include "commands/settings_dialog.h"
#include "commands/voice_dialog.h"
#include "link/command_buffer.h"
#include "netcfg/device_list_dialog.h"
#include "netcfg/wifi_dialog.h"
#include "platform/qt/ipv4_edit.h"
#include "tests/fakes/tcp_peer.h"
#include "tests/platform/qt_wait.h"
#include "tests/setuptool/caption_fit.h"
#include "tests/setuptool/window_harness.h"

using namespace std::chrono_literals;
using testsupport::PumpFor;
using testsupport::PumpUntil;

namespace {

using Bytes = std::vector<uint8_t>;

// The main window in one language, NET pointed at a loopback printer.
struct DialogWindow : ::testing::TestWithParam<int> {
    void SetUp() override {
        ASSERT_TRUE(peer.ok());
        std::ofstream(h.workDir / "init_params.txt") << Language() << "\n";
        ASSERT_TRUE(h.Start());
        h.UseNet();
    }
    int Language() const { return GetParam(); }
    bool English() const { return Language() != 0; }

    // Presses `opener`, runs `body` on the modal dialog it opens, then closes the dialog unless
    // `body` did. Returns once the modal loop has ended.
    template <class D>
    void WithDialog(int opener, const std::function<void(D&)>& body) {
        bool ran = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            if (dialog == nullptr || ran) return;
            ran = true;
            poll.stop();
            body(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        poll.start(10);
        // Never left hanging in a modal loop: whatever is still open after 20 s is closed.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                modal->reject();
        });
        guard.start(20000);
        h.Get<QPushButton>(opener)->click();
        EXPECT_TRUE(ran) << "dialog of button " << opener;
    }

    Bytes Delivery(std::size_t count) { return testsupport::Delivery(peer, count); }
    std::string Shot(const char* dialog) const {
        return std::string(dialog) + (English() ? "-english.png" : "-chinese.png");
    }

    fakes::TcpPrinterPeer peer;
    testsupport::WindowHarness h{peer.port()};
};

INSTANTIATE_TEST_SUITE_P(Languages, DialogWindow, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? "English" : "Chinese"; });

// Each dialog through the real widgets: its title, every caption fitting its control, every
// control named for accessibility and carrying its id.
TEST_P(DialogWindow, EachDialogsCaptionsFitAndItsControlsAreNamed) {
    struct Opened {
        int opener;
        const char* shot;
        const char* title;
        std::span<const platform::ControlDef> controls;
    };
    const Opened dialogs[] = {
        {1006, "settings", "", commands::SettingsDialogControls()},
        {1091, "voice", "Dialog", commands::VoiceDialogControls()},
        {1090, "factory", "Dialog", commands::FactoryDialogControls()},
        {1044, "wifi", "Dialog", netcfg::WifiDialogControls()},
        {1014, "device-list", "Dialog", netcfg::DeviceListControls()},
    };
    for (const Opened& opened : dialogs) {
        SCOPED_TRACE(opened.shot);
        WithDialog<QDialog>(opened.opener, [&](QDialog& d) {
            testsupport::SaveShot(d, Shot(opened.shot).c_str());
            testsupport::ExpectCaptionsFit(d, opened.controls);
            EXPECT_EQ(d.windowTitle().toStdString(), opened.title);
            for (const platform::ControlDef& def : opened.controls) {
                QWidget* control = platform::FindControl(&d, def.id);
                if (def.id == platform::kNoId) continue;
                ASSERT_NE(control, nullptr) << def.id;
                EXPECT_EQ(control->accessibleDescription(), QString::number(def.id));
                QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
                ASSERT_NE(accessible, nullptr) << def.id;
                EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << def.id;
            }
        });
    }
    EXPECT_EQ(peer.ConnectionCount(), 0u);
}

}  // namespace

// ---- Keyboard --------------------------------------------------------------------------

// One key pressed in a dialog opened from the main window: what reaches the printer and whether
// the dialog closed. After each key the main window's "Cut" marks the end of the deliveries, so
// a frame sent by mistake shows up before the marker.
struct KeyCase {
    const char* name;
    int opener;    // main-window button that opens the dialog
    int target;    // control that receives the key; 0: the dialog itself
    int key;       // Qt::Key_Return, Qt::Key_Enter (keypad) or Qt::Key_Escape
    Bytes prefix;  // first bytes of the frame sent; empty: nothing is sent
    std::size_t length;
    bool closes;
};

struct KeyboardRule : DialogWindow {};
INSTANTIATE_TEST_SUITE_P(Chinese, KeyboardRule, ::testing::Values(0));

QWidget* KeyTarget(QDialog& dialog, int target) {
    QWidget* control = target == 0 ? &dialog : platform::FindControl(&dialog, target);
    if (auto* combo = qobject_cast<QComboBox*>(control)) return combo->lineEdit();
    if (auto* ip = qobject_cast<platform::Ipv4Edit*>(control)) return ip->Field(2);
    return control;
}

TEST_P(KeyboardRule, EnterPressesTheFocusedButtonElseTheDefaultAndEscCloses) {
    const Bytes cut{0x0A, 0x0A, 0x1D, 0x56, 0x01, 0x01};
    const KeyCase cases[] = {
        // Settings: no default button; each row's "Confirm" is pressed only when focused.
        {"settings Confirm", 1006, 1003, Qt::Key_Return, {0x1F, 0x1B, 0x05, 0x00}, 6, false},
        {"settings Confirm, keypad", 1006, 1043, Qt::Key_Enter, {0x1F, 0x1B, 0x75, 0x9A}, 6, false},
        {"settings list", 1006, 1020, Qt::Key_Return, {}, 0, false},
        {"settings dialog", 1006, 0, Qt::Key_Return, {}, 0, false},
        {"settings Esc", 1006, 1020, Qt::Key_Escape, {}, 0, true},
        // WiFi: "OK" (credentials) is the default button.
        {"wifi Quit", 1044, 2, Qt::Key_Return, {}, 0, true},
        {"wifi SSID edit", 1044, 1007, Qt::Key_Return, {0x1F, 0x1B, 0x68, 0x00}, 128, false},
        {"wifi address field", 1044, 1010, Qt::Key_Enter, {0x1F, 0x1B, 0x68, 0x00}, 128, false},
        {"wifi Factory Restore", 1044, 1004, Qt::Key_Return, {0x1F, 0x1B, 0x6F, 0x12}, 128, false},
        {"wifi Setting", 1044, 1003, Qt::Key_Return, {0x1F, 0x1B, 0x69, 0x00}, 40, false},
        // Factory restore: two default push buttons in the table; the last one (1, code 76) is
        // the dialog's default.
        {"factory 退出", 1090, 2, Qt::Key_Return, {}, 0, true},
        {"factory sound and light",
         1090,
         1093,
         Qt::Key_Return,
         {0x1F, 0x1B, 0x77, 0xCA},
         48,
         false},
        {"factory dialog", 1090, 0, Qt::Key_Return, {0x1F, 0x1B, 0x76, 0xCA}, 48, false},
        // Voice: no default button.
        {"voice Vol+", 1091, 1003, Qt::Key_Return, {0x1F, 0x1B, 0x79, 0x97}, 7, false},
        {"voice list", 1091, 1028, Qt::Key_Return, {}, 0, false},
    };
    std::size_t delivered = 0;
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        bool closed = false;
        WithDialog<QDialog>(c.opener, [&](QDialog& d) {
            QWidget* target = KeyTarget(d, c.target);
            ASSERT_NE(target, nullptr);
            target->setFocus();
            const auto modifier = c.key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
            QTest::keyClick(target, static_cast<Qt::Key>(c.key), modifier);
            closed = !d.isVisible();
            if (closed) {
                EXPECT_NE(d.result(), platform::kDialogOk);  // ended as cancelled
            }
        });
        EXPECT_EQ(closed, c.closes);
        // Whatever the key submitted is written before the marker is submitted.
        ASSERT_TRUE(PumpUntil([&] { return printerlink::IsIdle(h.buffer); }, 10s));
        if (!c.prefix.empty()) {
            const Bytes frame = Delivery(++delivered);
            ASSERT_EQ(frame.size(), c.length);
            EXPECT_EQ(Bytes(frame.begin(), frame.begin() + c.prefix.size()), c.prefix);
        }
        h.Get<QPushButton>(1004)->click();
        EXPECT_EQ(Delivery(++delivered), cut);
    }
}
