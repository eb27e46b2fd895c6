#pragma once
// The start-up both programs share on both toolkits: the command line (--reply-port=N,
// --broadcast=ADDR[:PORT]), the main window's run, the one stderr line of a second copy that finds
// the reply port taken, and the end of the process.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog_host.h"

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

// How a toolkit runs a program's main window: builds the window of `layout`, attaches `presenter`,
// calls `started` once the controls exist and before the window shows, then runs it until it
// ends.
using RunWindow =
    std::function<void(const platform::DialogSpec& layout, platform::DialogPresenter& presenter,
                       const std::function<void()>& started)>;

// A program's main window through `run`: `initialise` runs before the window shows and returns
// false when the reply port is taken; the program then says so on stderr and ends with status 0
// without a window. Otherwise the process ends with status 0 once the window has closed.
[[noreturn]] void RunMainWindow(const ProgramNames& names, uint16_t replyPort, const RunWindow& run,
                                const platform::DialogSpec& layout,
                                platform::DialogPresenter& presenter,
                                const std::function<bool()>& initialise);

}  // namespace shell
