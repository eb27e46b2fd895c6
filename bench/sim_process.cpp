#include "bench/sim_process.h"

#include <fcntl.h>
#include <spawn.h>

#include <cstdlib>
#include <fstream>
#include <thread>

extern char** environ;

namespace bench {

pid_t StartSimulator(const std::vector<std::string>& arguments, const std::filesystem::path& log) {
    std::vector<std::string> args{POS_PRINTER_SIM};
    args.insert(args.end(), arguments.begin(), arguments.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t sim = -1;
    const int spawned = posix_spawn(&sim, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? sim : -1;
}

std::string WaitForLog(const std::filesystem::path& log, const std::string& text,
                       std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    std::string read;
    for (;;) {
        std::ifstream in(log);
        read.assign(std::istreambuf_iterator<char>(in), {});
        if (read.find(text) != std::string::npos || std::chrono::steady_clock::now() >= until)
            return read;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int NumberAfter(const std::string& text, const std::string& after) {
    const std::size_t at = text.find(after);
    return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + after.size());
}

}  // namespace bench
