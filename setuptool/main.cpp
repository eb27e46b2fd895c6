// Tessary: printer test and setup tool.
//
// Options: --reply-port=N binds the reply socket to port N instead of 8999 (to run beside another
// copy, and for tests).

#include <unistd.h>

#include <QApplication>
#include <QString>
#include <cstdio>

#include "setuptool/main_window.h"

namespace {
bool ParsePort(const QString& text, uint16_t& port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QApplication::setApplicationVersion(QStringLiteral("2.1"));

    setuptool::MainWindowConfig config;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.startsWith(QStringLiteral("--reply-port="))) {
            if (!ParsePort(argument.mid(13), config.replyPort)) {
                std::fprintf(stderr, "tessary: bad port in %s\n", qPrintable(argument));
                return 2;
            }
        } else if (argument == QStringLiteral("--reply-port") && i + 1 < arguments.size()) {
            if (!ParsePort(arguments[++i], config.replyPort)) {
                std::fprintf(stderr, "tessary: bad port %s\n", qPrintable(arguments[i]));
                return 2;
            }
        }
    }

    setuptool::MainWindow window(std::move(config));
    // A second copy finds the reply port taken and ends silently.
    if (window.Initialise() == setuptool::StartResult::ReplyPortTaken) return 0;
    window.exec();
    // The worker threads end with the process; a sender blocked on a printer must not hold the
    // exit up.
    std::fflush(nullptr);
    ::_exit(0);
}
