#include "shell/start_up.h"

#include <unistd.h>

#include <QString>
#include <cstdio>

namespace shell {

namespace {
bool ParsePort(const QString& text, uint16_t& port) {
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value > 65535) return false;
    port = static_cast<uint16_t>(value);
    return true;
}
}  // namespace

int ParseStartOptions(const ProgramNames& names, const QStringList& arguments,
                      uint16_t& replyPort) {
    const QString usage = QStringLiteral("usage: %1 [--reply-port=N]\n").arg(names.command);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString port;
        if (argument.startsWith(QStringLiteral("--reply-port="))) {
            port = argument.mid(13);
        } else if (argument == QStringLiteral("--reply-port") && i + 1 < arguments.size()) {
            port = arguments[++i];
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            std::fputs(qPrintable(usage), stdout);
            return 0;
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n%s", names.command, qPrintable(argument),
                         qPrintable(usage));
            return 2;
        }
        if (!ParsePort(port, replyPort)) {
            std::fprintf(stderr, "%s: bad port %s\n%s", names.command, qPrintable(port),
                         qPrintable(usage));
            return 2;
        }
    }
    return -1;
}

void ReportReplyPortTaken(const ProgramNames& names, uint16_t port) {
    std::fprintf(stderr,
                 "%s: UDP port %u is in use (another copy of %s, or another program); not "
                 "starting\n",
                 names.command, static_cast<unsigned>(port), names.display);
}

void EndProcess(int status) {
    std::fflush(nullptr);
    ::_exit(status);
}

}  // namespace shell
