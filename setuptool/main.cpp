// Tessary: printer test and setup tool.
//
// Options: --reply-port=N binds the reply socket to port N instead of 8999 (to run beside another
// copy, and for tests); --broadcast=ADDR[:PORT] sends discovery and address-set packets there
// instead of 255.255.255.255:9000.

#include <QApplication>
#include <QString>

#include "platform/qt/qt_dialog_host.h"
#include "setuptool/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform, -style, ...) out
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QApplication::setApplicationVersion(QStringLiteral("2.1"));
    return setuptool::RunTessary(platform::Utf8Arguments(), platform::RunQtWindow);
}
