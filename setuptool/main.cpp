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
constexpr const char* kUsage = "usage: tessary [--reply-port=N]\n";

bool ParsePort(const QString& text, uint16_t& port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// Reads the options into `config`; -1 to go on, else the status to end with at once.
int ParseArguments(const QStringList& arguments, setuptool::MainWindowConfig& config) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString port;
        if (argument.startsWith(QStringLiteral("--reply-port="))) {
            port = argument.mid(13);
        } else if (argument == QStringLiteral("--reply-port") && i + 1 < arguments.size()) {
            port = arguments[++i];
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fprintf(stderr, "tessary: unknown option %s\n%s", qPrintable(argument), kUsage);
            return 2;
        }
        if (!ParsePort(port, config.replyPort)) {
            std::fprintf(stderr, "tessary: bad port %s\n%s", qPrintable(port), kUsage);
            return 2;
        }
    }
    return -1;
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options (-platform, -style, ...) out
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QApplication::setApplicationVersion(QStringLiteral("2.1"));

    setuptool::MainWindowConfig config;
    if (const int status = ParseArguments(QApplication::arguments(), config); status >= 0)
        return status;
    const uint16_t replyPort = config.replyPort;

    setuptool::MainWindow window(std::move(config));
    // A second copy finds the reply port taken and ends without a window, saying why on the
    // terminal it may have been started from.
    if (window.Initialise() == setuptool::StartResult::ReplyPortTaken) {
        std::fprintf(stderr,
                     "tessary: UDP port %u is in use (another copy of Tessary, or another "
                     "program); not starting\n",
                     static_cast<unsigned>(replyPort));
        return 0;
    }
    window.exec();
    // The worker threads end with the process; a sender blocked on a printer must not hold the
    // exit up.
    std::fflush(nullptr);
    ::_exit(0);
}
