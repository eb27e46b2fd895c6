// Brindel: firmware updater. FWIMAGE_80.bin and gb2312 are read from the working directory.
//
// Options: --reply-port=N binds the reply socket to port N instead of 8999 (to run beside another
// copy, and for tests); --broadcast=ADDR[:PORT] sends discovery requests and address-set packets
// there instead of 255.255.255.255:9000.

#include <QApplication>
#include <QString>

#include "platform/qt/qt_dialog_host.h"
#include "shell/start_up.h"
#include "updater/updater_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform, -style, ...) out
    QApplication::setApplicationName(QStringLiteral("Brindel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    const shell::ProgramNames names{"brindel", "Brindel"};

    shell::StartOptions options;
    if (const int status = shell::ParseStartOptions(names, platform::Utf8Arguments(), options);
        status >= 0)
        return status;
    updater::UpdaterWindowConfig config;
    config.replyPort = options.replyPort;
    if (const auto to =
            netcfg::Ipv4Endpoint::Parse(options.broadcastAddress, options.discoveryPort))
        config.broadcastTo = *to;
    const uint16_t replyPort = config.replyPort;

    platform::QtDialogHost host(updater::UpdaterWindow::Spec());
    updater::UpdaterWindow window(std::move(config));
    host.Attach(window);
    // Only one copy runs: a second one ends at once without a window.
    if (window.Initialise() == updater::StartResult::ReplyPortTaken) {
        shell::ReportReplyPortTaken(names, replyPort);
        shell::EndProcess(0);  // the watch thread is not waited for
    }
    host.exec();
    // Closing ends the program at once, also during a network download (the window cannot be
    // closed while a USB operation runs).
    shell::EndProcess(0);
}
