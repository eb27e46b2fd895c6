// Tessary: printer test and setup tool.
//
// Options: --reply-port=N binds the reply socket to port N instead of 8999 (to run beside another
// copy, and for tests); --broadcast=ADDR[:PORT] sends discovery and address-set packets there
// instead of 255.255.255.255:9000.

#include <QApplication>
#include <QString>

#include "platform/qt/qt_dialog_host.h"
#include "setuptool/main_window.h"
#include "shell/start_up.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform, -style, ...) out
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QApplication::setApplicationVersion(QStringLiteral("2.1"));
    const shell::ProgramNames names{"tessary", "Tessary"};

    shell::StartOptions options;
    if (const int status = shell::ParseStartOptions(names, platform::Utf8Arguments(), options);
        status >= 0)
        return status;
    setuptool::MainWindowConfig config;
    config.replyPort = options.replyPort;
    config.broadcastAddress = options.broadcastAddress;
    config.discoveryPort = options.discoveryPort;
    const uint16_t replyPort = config.replyPort;

    platform::QtDialogHost host(setuptool::MainWindow::Spec());
    setuptool::MainWindow window(std::move(config));
    host.Attach(window);
    // A second copy finds the reply port taken and ends without a window, saying why on the
    // terminal it may have been started from.
    if (window.Initialise() == setuptool::StartResult::ReplyPortTaken) {
        shell::ReportReplyPortTaken(names, replyPort);
        return 0;
    }
    host.exec();
    shell::EndProcess(0);
}
