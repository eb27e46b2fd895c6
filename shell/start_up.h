#pragma once
// The start-up both programs share: the command line (--reply-port=N, --broadcast=ADDR[:PORT]),
// the one stderr line of a second copy that finds the reply port taken, and the end of the
// process.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace shell {

struct ProgramNames {
    const char* command;  // "tessary"
    const char* display;  // "Tessary"
};

struct StartOptions {
    uint16_t replyPort = 8999;
    // Where discovery requests and address-set packets go: another segment's broadcast address,
    // or a virtual printer on this machine.
    std::string broadcastAddress = "255.255.255.255";
    uint16_t discoveryPort = 9000;
};

// Reads "--reply-port=N" and "--broadcast=ADDR[:PORT]" (also as two arguments); "-h"/"--help"
// prints the usage. `arguments` (UTF-8) as the toolkit leaves them (its own options taken out),
// the program's name first. Returns -1 to go on, else the status to end with at once: 0 after
// the usage was asked for, 2 after a usage error (told on stderr).
int ParseStartOptions(const ProgramNames& names, const std::vector<std::string>& arguments,
                      StartOptions& options);

// The one line a second copy writes on stderr before it ends with status 0.
void ReportReplyPortTaken(const ProgramNames& names, uint16_t port);

// Flushes the output and ends the process at once: worker threads blocked on a printer must not
// hold the exit up.
[[noreturn]] void EndProcess(int status);

// Calls `exitProgram` when set (tests), else ends the process with `status` (EndProcess).
void ExitProgram(const std::function<void(int)>& exitProgram, int status);

}  // namespace shell
