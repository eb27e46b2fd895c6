#pragma once
// pos-printer-sim as a process of its own, for the benchmarks that measure it apart from their
// own client (Linux): started with its standard output to a log file, its lines read from there.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Starts POS_PRINTER_SIM with `arguments` (after the program's name), its standard output into
// `log`. The process's id, or -1 when it could not start.
pid_t StartSimulator(const std::vector<std::string>& arguments, const std::filesystem::path& log);

// The log once it holds `text`, waiting at most `limit`; what it holds then otherwise.
std::string WaitForLog(const std::filesystem::path& log, const std::string& text,
                       std::chrono::milliseconds limit = std::chrono::seconds(5));

// The number after `after` in `text` (e.g. a port after "listening on TCP port "); 0 when absent.
int NumberAfter(const std::string& text, const std::string& after);

}  // namespace bench
