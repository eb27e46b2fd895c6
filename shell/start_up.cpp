#include "shell/start_up.h"

#include <arpa/inet.h>
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

// "a.b.c.d" or "a.b.c.d:port".
bool ParseBroadcast(const QString& text, StartOptions& options) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QString address = colon < 0 ? text : text.left(colon);
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &parsed) != 1) return false;
    uint16_t port = options.discoveryPort;
    if (colon >= 0 && (!ParsePort(text.mid(colon + 1), port) || port == 0)) return false;
    options.broadcastAddress = address.toStdString();
    options.discoveryPort = port;
    return true;
}
}  // namespace

int ParseStartOptions(const ProgramNames& names, const QStringList& arguments,
                      StartOptions& options) {
    const QString usage =
        QStringLiteral("usage: %1 [--reply-port=N] [--broadcast=ADDR[:PORT]]\n").arg(names.command);
    // "--name=value" or "--name value"; false when `argument` is not that option.
    const auto value = [&arguments](qsizetype& i, const QString& name, QString& out) {
        const QString& argument = arguments[i];
        if (argument.startsWith(name + QLatin1Char('='))) {
            out = argument.mid(name.size() + 1);
            return true;
        }
        if (argument == name && i + 1 < arguments.size()) {
            out = arguments[++i];
            return true;
        }
        return false;
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString text;
        if (value(i, QStringLiteral("--reply-port"), text)) {
            if (!ParsePort(text, options.replyPort)) {
                std::fprintf(stderr, "%s: bad port %s\n%s", names.command, qPrintable(text),
                             qPrintable(usage));
                return 2;
            }
        } else if (value(i, QStringLiteral("--broadcast"), text)) {
            if (!ParseBroadcast(text, options)) {
                std::fprintf(stderr, "%s: bad address %s\n%s", names.command, qPrintable(text),
                             qPrintable(usage));
                return 2;
            }
        } else if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            std::fputs(qPrintable(usage), stdout);
            return 0;
        } else {
            std::fprintf(stderr, "%s: unknown option %s\n%s", names.command, qPrintable(argument),
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
