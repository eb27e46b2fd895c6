// Brindel: firmware updater. FWIMAGE_80.bin and gb2312 are read from the working directory.
//
// Options: --reply-port=N binds the reply socket to port N instead of 8999 (to run beside another
// copy, and for tests); --broadcast=ADDR[:PORT] sends discovery requests and address-set packets
// there instead of 255.255.255.255:9000.

#include <QApplication>
#include <QString>

#include "platform/qt/qt_dialog_host.h"
#include "updater/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform, -style, ...) out
    QApplication::setApplicationName(QStringLiteral("Brindel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    return updater::RunBrindel(platform::Utf8Arguments(), platform::RunQtWindow);
}
