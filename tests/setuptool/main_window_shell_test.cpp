// The window shell through the real widgets: Enter and Esc, the About box from F1 and the window
// menu, and the program's single-copy rule and command line.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/qt/qt_dialog_host.h"
#include "tests/platform/qt_wait.h"
#include "tests/setuptool/caption_fit.h"
#include "tests/setuptool/window_harness.h"

using namespace std::chrono_literals;
using testsupport::PumpUntil;
using testsupport::WindowHarness;
namespace id = setuptool::id;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// ---- Enter, Esc -------------------------------------------------------------------------

struct ShownWindow : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(h.Start());
        QApplication::setActiveWindow(h.host.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(h.host.get(), 2000));
    }
    WindowHarness h;
};

TEST_F(ShownWindow, EnterInPrintInfoAddsALineAtTheEndNotAtTheCaret) {
    auto* info = h.Get<QPlainTextEdit>(id::kPrintInfo);
    info->setPlainText(QStringLiteral("first\nsecond"));
    info->setFocus();
    QTextCursor cursor = info->textCursor();
    cursor.setPosition(3);  // inside "first"
    info->setTextCursor(cursor);
    QTest::keyClick(info, Qt::Key_Return);
    EXPECT_EQ(info->toPlainText(), QStringLiteral("first\nsecond\n"));
    EXPECT_EQ(info->textCursor().position(), info->toPlainText().size());
    cursor.setPosition(1);
    info->setTextCursor(cursor);
    QTest::keyClick(info, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(info->toPlainText(), QStringLiteral("first\nsecond\n\n"));
    QTest::keyClicks(info, QStringLiteral("x"));  // typing goes on at the new end
    EXPECT_EQ(info->toPlainText(), QStringLiteral("first\nsecond\n\nx"));
    EXPECT_EQ(h.window->SendCount(), 0);
    EXPECT_TRUE(h.host->isVisible());
}

TEST_F(ShownWindow, EnterElsewhereDoesNothing) {
    auto* print = h.Get<QPushButton>(id::kPrintTest);
    print->setFocus();
    QTest::keyClick(print, Qt::Key_Return);
    QTest::keyClick(print, Qt::Key_Enter, Qt::KeypadModifier);
    auto* interval = h.Get<QLineEdit>(id::kInterval);
    interval->setFocus();
    QTest::keyClick(interval, Qt::Key_Return);
    QTest::keyClick(h.host.get(), Qt::Key_Return);
    EXPECT_EQ(interval->text(), QStringLiteral("500"));
    EXPECT_EQ(h.window->SendCount(), 0);  // the focused button was not pressed
    EXPECT_TRUE(h.host->isVisible());
    EXPECT_EQ(h.host->result(), 0);
    EXPECT_GT(h.window->ReplySocket(), 0);
}

TEST_F(ShownWindow, EscClosesTheWindowAndItsReplySocket) {
    auto* interval = h.Get<QLineEdit>(id::kInterval);
    interval->setFocus();
    QTest::keyClick(interval, Qt::Key_Escape);
    EXPECT_FALSE(h.host->isVisible());
    EXPECT_LT(h.window->ReplySocket(), 0);
}

// ---- About box --------------------------------------------------------------------------

// Inspects and closes whatever menu and modal box the window opens (each runs its own loop).
// Two timers: a timer does not fire again while its own slot runs a nested loop.
struct ModalWatcher {
    ModalWatcher() {
        QObject::connect(&menuTimer, &QTimer::timeout, [this] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr) return;
            for (QAction* action : menu->actions()) menuItems << action->text();
            menu->close();
            if (!menu->actions().isEmpty()) menu->actions().first()->trigger();
        });
        menuTimer.start(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<platform::QtDialogHost*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            title = box->windowTitle();
            testsupport::SaveShot(*box, "about.png");
            for (QLabel* label : box->findChildren<QLabel*>()) {
                if (!label->pixmap().isNull()) hasIcon = true;
                if (!label->text().isEmpty()) lines << label->text();
            }
            for (QPushButton* button : box->findChildren<QPushButton*>()) {
                okText = button->text();
                button->click();
            }
        });
        timer.start(20);
    }
    QTimer menuTimer, timer;
    QString title, okText;
    QStringList lines, menuItems;
    bool hasIcon = false;
};

TEST_F(ShownWindow, F1OpensTheAboutBox) {
    ModalWatcher watcher;
    QTest::keyClick(h.Get<QLineEdit>(id::kInterval), Qt::Key_F1);  // returns once it closed
    EXPECT_EQ(watcher.title.toStdString(), "打印机机测试工具");
    EXPECT_EQ(watcher.okText.toStdString(), "确定");
    EXPECT_TRUE(watcher.hasIcon);
    EXPECT_TRUE(watcher.lines.contains(QStringLiteral("Tessary V2.1")));
    EXPECT_EQ(watcher.lines.size(), 2);
}

TEST_F(ShownWindow, ContextMenuItemOpensTheAboutBox) {
    ModalWatcher watcher;
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            h.host->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(h.host.get(), &event);
    ASSERT_TRUE(PumpUntil([&] { return !watcher.title.isEmpty(); }, 5s));
    EXPECT_EQ(watcher.menuItems, QStringList{QString::fromUtf8("关于 Tessary(&A)...")});
    EXPECT_EQ(watcher.title.toStdString(), "打印机机测试工具");
}

// ---- One copy per machine ---------------------------------------------------------------

// Holds a UDP port on all addresses, as a running copy holds 8999.
struct HeldPort {
    explicit HeldPort(uint16_t wanted = 0) {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(wanted);
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            socklen_t length = sizeof address;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
            port = ntohs(address.sin_port);
        }
    }
    ~HeldPort() { ::close(fd); }
    int fd = -1;
    uint16_t port = 0;
};

QProcessEnvironment ProgramEnvironment(const QTemporaryDir& runtime) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    return environment;
}

struct ProgramRun {
    int exitCode = -1;
    QByteArray out, err;
    bool wroteLanguageFile = false;
};

// Runs Tessary to its end in a fresh working folder.
ProgramRun RunToEnd(const QStringList& arguments) {
    QTemporaryDir work, runtime;
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess program;
    program.setProcessEnvironment(ProgramEnvironment(runtime));
    program.setWorkingDirectory(work.path());
    program.start(QStringLiteral(TESSARY_PROGRAM), arguments);
    ProgramRun run;
    if (!program.waitForStarted(10000)) return run;
    if (!program.waitForFinished(20000)) {
        ADD_FAILURE() << "the program kept running";
        program.kill();
        program.waitForFinished(10000);
        return run;
    }
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    run.exitCode = program.exitCode();
    run.out = program.readAllStandardOutput();
    run.err = program.readAllStandardError();
    run.wroteLanguageFile = QFile::exists(work.filePath(QStringLiteral("init_params.txt")));
    return run;
}

TEST(SingleCopy, SecondProgramOnATakenPortExitsZeroSayingWhyOnStderr) {
    // Port 8999 is taken either by this socket or by whoever already holds it.
    HeldPort held(8999);
    const ProgramRun run = RunToEnd({});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("UDP port 8999 is in use")) << run.err.toStdString();
    EXPECT_FALSE(run.wroteLanguageFile);

    HeldPort other;
    ASSERT_NE(other.port, 0);
    const ProgramRun injected = RunToEnd({QStringLiteral("--reply-port=%1").arg(other.port)});
    EXPECT_EQ(injected.exitCode, 0);
    EXPECT_TRUE(injected.err.contains(QByteArray::number(other.port)))
        << injected.err.toStdString();
}

TEST(SingleCopy, UnknownOptionsAreUsageErrors) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("--bogus")}, QStringList{QStringLiteral("RegServer")},
          QStringList{QStringLiteral("--reply-port=70000")}}) {
        const ProgramRun run = RunToEnd(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains("usage: tessary")) << run.err.toStdString();
        EXPECT_FALSE(run.wroteLanguageFile);
    }
}

TEST(SingleCopy, FirstProgramOnAFreePortKeepsRunning) {
    HeldPort probe;  // find a free port, then free it for the program
    const uint16_t port = probe.port;
    ::close(probe.fd);
    probe.fd = -1;
    QTemporaryDir work, runtime;
    QProcess program;
    program.setProcessEnvironment(ProgramEnvironment(runtime));
    program.setWorkingDirectory(work.path());
    program.start(QStringLiteral(TESSARY_PROGRAM), {QStringLiteral("--reply-port=%1").arg(port)});
    ASSERT_TRUE(program.waitForStarted(10000));
    // Its start-up writes the language file in its working directory, then it waits for the user.
    const QString file = work.filePath(QStringLiteral("init_params.txt"));
    ASSERT_TRUE(PumpUntil([&] { return QFile::exists(file); }, 20s));
    EXPECT_FALSE(program.waitForFinished(500));
    EXPECT_EQ(ReadFile(file.toStdString()), "0\n");
    EXPECT_EQ(program.state(), QProcess::Running);
    program.kill();
    EXPECT_TRUE(program.waitForFinished(10000));
}

}  // namespace
