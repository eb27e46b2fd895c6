// The Qt window host: controls by id through DialogHost, notifications from real input only,
// timers by id, busy windows, the window menu's item and F1, the Enter rule of a window with its
// own, modal sub-dialogs and how a window ends.

#include "platform/qt/qt_dialog_host.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <array>
#include <functional>
#include <vector>

#include "platform/qt/dialog_builder.h"
#include "platform/qt/ipv4_edit.h"
#include "tests/platform/host_contract.h"
#include "tests/platform/qt_wait.h"

namespace {

using namespace std::chrono_literals;
using platform::ControlDef;
using platform::Notification;
using testsupport::PumpFor;
using testsupport::PumpUntil;
using K = platform::ControlKind;

using hosttest::kTable;

platform::DialogSpec Layout(int enterLine = 0) {
    return hosttest::Layout("Host", enterLine);
}

using hosttest::Probe;

struct HostTest : ::testing::Test {
    explicit HostTest(int enterLine = 0) : host(Layout(enterLine)) {
        host.Attach(probe);
        host.show();
        QApplication::setActiveWindow(&host);
        active = QTest::qWaitForWindowActive(&host, 2000);
    }
    template <class T>
    T* Get(int id) {
        return qobject_cast<T*>(host.Control(id));
    }
    // Counts the notifications of every control.
    std::vector<std::pair<int, Notification>> heard;
    void Listen() {
        for (const ControlDef& def : kTable) {
            for (Notification what : {Notification::Clicked, Notification::SelectionChanged})
                host.On(def.id, what, [this, id = def.id, what] { heard.emplace_back(id, what); });
        }
    }

    platform::QtDialogHost host;
    Probe probe;
    bool active = false;
};

TEST_F(HostTest, ControlsByIdKeepTheWindowsTerms) {
    EXPECT_EQ(host.windowTitle(), QStringLiteral("Host"));
    hosttest::WindowView view;
    view.items = [this](int id) {
        std::vector<std::string> items;
        if (auto* combo = Get<QComboBox>(id)) {
            for (int i = 0; i < combo->count(); ++i)
                items.push_back(combo->itemText(i).toStdString());
        } else if (auto* list = Get<QListWidget>(id)) {
            for (int i = 0; i < list->count(); ++i)
                items.push_back(list->item(i)->text().toStdString());
        }
        return items;
    };
    view.progress = [this](int id) { return Get<QProgressBar>(id)->value(); };
    view.enabled = [this](int id) { return host.Control(id)->isEnabled(); };
    hosttest::ExpectControlsByIdKeepTheWindowsTerms(host, view);

    // Accessible names follow the texts they are named after.
    EXPECT_EQ(host.Control(21)->accessibleName(), QStringLiteral("姓名"));  // named after 20
    host.SetText(27, "ready");
    EXPECT_EQ(host.Control(27)->accessibleName(), QStringLiteral("Status: ready"));
}

TEST_F(HostTest, OnlyTheUsersInputNotifies) {
    ASSERT_TRUE(active);
    Listen();
    // The window's own changes notify nothing.
    host.SetChecked(12, true);
    host.AddItem(23, "a");
    host.AddItem(23, "b");
    host.Select(23, 1);
    host.AddItem(22, "x");
    host.Select(22, 0);
    host.ResetList(23);
    EXPECT_TRUE(heard.empty());

    QTest::mouseClick(Get<QPushButton>(1), Qt::LeftButton);
    QTest::mouseClick(Get<QCheckBox>(12), Qt::LeftButton);
    EXPECT_FALSE(host.Checked(12));  // toggled by the click
    QTest::mouseClick(Get<QRadioButton>(10), Qt::LeftButton);
    host.AddItem(23, "line");
    auto* list = Get<QListWidget>(23);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(host.Position(23), 0);
    const std::vector<std::pair<int, Notification>> expected{{1, Notification::Clicked},
                                                             {12, Notification::Clicked},
                                                             {10, Notification::Clicked},
                                                             {23, Notification::SelectionChanged}};
    EXPECT_EQ(heard, expected);

    // A later handler replaces the earlier one.
    int replaced = 0;
    host.On(1, Notification::Clicked, [&] { ++replaced; });
    Get<QPushButton>(1)->click();
    EXPECT_EQ(replaced, 1);
    EXPECT_EQ(heard.size(), expected.size());
}

TEST_F(HostTest, TimersRunByIdUntilKilledOrTheWindowEnds) {
    int fast = 0, slow = 0;
    host.SetTimer(1, 0ms, [&] { ++fast; });  // raised to 10 ms
    EXPECT_EQ(host.TimerInterval(1), 10);
    host.SetTimer(2, 40ms, [&] { ++slow; });
    ASSERT_TRUE(PumpUntil([&] { return fast >= 3 && slow >= 1; }));
    host.KillTimer(1);
    const int stopped = fast;
    PumpFor(50ms);
    EXPECT_EQ(fast, stopped);
    EXPECT_FALSE(host.TimerActive(1));
    host.SetTimer(2, 20ms, [&] { ++slow; });  // the same timer with another period
    EXPECT_EQ(host.TimerInterval(2), 20);
    host.Close(platform::kDialogOk);
    EXPECT_FALSE(host.TimerActive(2));
    EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogOk});
}

TEST_F(HostTest, ABusyWindowTakesNoInputAndCannotEnd) {
    ASSERT_TRUE(active);
    Listen();
    int abouts = 0;
    host.SetAboutCommand("About (&A)...", [&] { ++abouts; });
    host.SetBusy(true);
    QTest::mouseClick(Get<QPushButton>(3), Qt::LeftButton);
    Get<QPushButton>(3)->click();  // pressed by other means
    QTest::keyClick(Get<QPushButton>(1), Qt::Key_F1);
    QTest::keyClick(Get<QPushButton>(1), Qt::Key_Escape);
    EXPECT_FALSE(host.close());  // the close box
    host.Close(platform::kDialogOk);
    EXPECT_TRUE(host.isVisible());
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(abouts, 0);
    EXPECT_TRUE(probe.closed.empty());

    host.SetBusy(false);
    QTest::keyClick(Get<QPushButton>(1), Qt::Key_F1);
    EXPECT_EQ(abouts, 1);
    QTest::keyClick(Get<QPushButton>(1), Qt::Key_Escape);
    EXPECT_FALSE(host.isVisible());
    EXPECT_EQ(probe.closed, std::vector<int>{platform::kDialogCancel});
    EXPECT_EQ(host.result(), platform::kDialogCancel);
}

TEST_F(HostTest, TheWindowMenuCarriesTheAboutItem) {
    int abouts = 0;
    host.SetAboutCommand("关于 Host(&A)...", [&] { ++abouts; });
    QStringList items;
    QTimer menuTimer;
    QObject::connect(&menuTimer, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        for (QAction* action : menu->actions()) items << action->text();
        menu->close();
        if (!menu->actions().isEmpty()) menu->actions().first()->trigger();
    });
    menuTimer.start(20);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), host.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&host, &event);  // returns once the menu closed
    EXPECT_EQ(items, QStringList{QString::fromUtf8("关于 Host(&A)...")});
    EXPECT_EQ(abouts, 1);
}

// A window whose Enter key appends a line to its text (Tessary's main window).
struct EnterRule : HostTest {
    EnterRule() : HostTest(26) {}
};

TEST_F(EnterRule, EnterAddsALineAtTheEndAndPressesNothing) {
    ASSERT_TRUE(active);
    Listen();
    auto* text = Get<QPlainTextEdit>(26);
    text->setPlainText(QStringLiteral("first\nsecond"));
    text->setFocus();
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(3);
    text->setTextCursor(cursor);
    QTest::keyClick(text, Qt::Key_Return);
    EXPECT_EQ(host.Text(26), "first\nsecond\n");
    EXPECT_EQ(text->textCursor().position(), text->toPlainText().size());
    QTest::keyClick(text, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::keyClicks(text, QStringLiteral("x"));
    EXPECT_EQ(host.Text(26), "first\nsecond\n\nx");
    auto* quit = Get<QPushButton>(3);
    quit->setFocus();
    QTest::keyClick(quit, Qt::Key_Return);
    QTest::keyClick(Get<QLineEdit>(21), Qt::Key_Return);
    EXPECT_TRUE(heard.empty());  // neither the focused nor the default button
    EXPECT_TRUE(host.isVisible());
}

// A sub-dialog: built from its layout with the owner's icon, its presenter attached; it returns
// the result it ended with.
TEST_F(HostTest, ModalSubDialogsReturnTheirResult) {
    constexpr std::array<ControlDef, 2> kSub{{
        {1, K::DefaultButton, "确定", 10, 10, 40, 12},
        {7, K::Icon, nullptr, 60, 10, 20, 20, 0, 0, "Icon"},
    }};
    platform::DialogSpec layout;
    layout.title = "Sub";
    layout.controls = kSub;
    layout.width = 90;
    layout.height = 40;
    layout.initialFocus = 1;
    for (const bool pressOk : {true, false}) {
        Probe sub;
        QString title;
        bool focused = false;
        sub.attach = [&](platform::DialogHost& dialog) {
            dialog.On(1, Notification::Clicked, [&dialog] { dialog.Close(platform::kDialogOk); });
        };
        QTimer::singleShot(50, [&] {
            auto* open = qobject_cast<platform::QtDialogHost*>(QApplication::activeModalWidget());
            if (open == nullptr) return;
            title = open->windowTitle();
            focused = open->focusWidget() == open->Control(1);
            if (pressOk) {
                QTest::keyClick(open, Qt::Key_Return);  // the default button
            } else {
                QTest::keyClick(open, Qt::Key_Escape);
            }
        });
        const int result = host.RunModal(layout, sub);
        EXPECT_EQ(title, QStringLiteral("Sub"));
        EXPECT_TRUE(focused);
        EXPECT_EQ(result, pressOk ? platform::kDialogOk : platform::kDialogCancel);
        EXPECT_EQ(sub.closed, std::vector<int>{result});
    }
    EXPECT_TRUE(probe.closed.empty());  // the owner stays open
}

}  // namespace
