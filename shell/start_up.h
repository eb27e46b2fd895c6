#pragma once
// The start-up both programs share: the command line (--reply-port=N), the one stderr line of a
// second copy that finds the reply port taken, and the immediate end of the process.

#include <QStringList>
#include <cstdint>

namespace shell {

struct ProgramNames {
    const char* command;  // "tessary"
    const char* display;  // "Tessary"
};

// Reads "--reply-port=N" and "--reply-port N" into `replyPort`; "-h"/"--help" prints the usage.
// `arguments` as QApplication leaves them (its own options taken out). Returns -1 to go on, else
// the status to end with at once: 0 after the usage was asked for, 2 after a usage error (told on
// stderr).
int ParseStartOptions(const ProgramNames& names, const QStringList& arguments, uint16_t& replyPort);

// The one line a second copy writes on stderr before it ends with status 0.
void ReportReplyPortTaken(const ProgramNames& names, uint16_t port);

// Flushes the output and ends the process at once: worker threads blocked on a printer must not
// hold the exit up.
[[noreturn]] void EndProcess(int status);

}  // namespace shell
