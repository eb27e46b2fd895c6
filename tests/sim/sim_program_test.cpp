// The pos-printer-sim program itself: its usage, its lines reaching a pipe one by one as they
// happen, its end on SIGTERM, and render mode's exit statuses.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/paper/drawing.h"

extern char** environ;

namespace simtest {
namespace {

using namespace std::chrono_literals;

// The program with its stdout and stderr on one pipe.
class Program {
  public:
    explicit Program(std::vector<std::string> args) {
        args.insert(args.begin(), POS_PRINTER_SIM);
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        out_ = fds[0];
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) close(out_);
    }

    // Reads until the output holds `part` or `timeout` passed; the output so far.
    std::string ReadUntil(const std::string& part, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (text_.find(part) == std::string::npos && std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char buffer[4096];
            const ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            text_.append(buffer, static_cast<std::size_t>(n));
        }
        return text_;
    }
    // Waits (5 s at most) for the end; the exit status, -1 when it did not end.
    int Wait() {
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string text_;
};

TEST(SimProgram, UsageAndUsageErrors) {
    Program help({"--help"});
    EXPECT_NE(help.ReadUntil("--slow", 5s).find("--reply-port N"), std::string::npos);
    EXPECT_EQ(help.Wait(), 0);
    Program bad({"--printers", "0"});
    EXPECT_NE(bad.ReadUntil("Usage", 5s).find("bad value for --printers: 0"), std::string::npos);
    EXPECT_EQ(bad.Wait(), 2);
}

// Render mode ends by itself: 2 for usage, 1 when a file could not be read (the others still
// rendered and named in their lines).
TEST(SimProgram, RenderModeStatuses) {
    Program usage({"render"});
    EXPECT_NE(usage.ReadUntil("Usage", 5s).find("render: no file to render"), std::string::npos);
    EXPECT_EQ(usage.Wait(), 2);

    char folder[] = "/tmp/sim-render-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string dir = folder, job = dir + "/job.bin";
    FILE* file = std::fopen(job.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("Thank you\n\x1DV\x01", file);
    std::fclose(file);
    Program render({"render", "--receipts", dir, dir + "/missing.bin", job});
    const std::string out = render.ReadUntil("bytes in all", 10s);
    EXPECT_EQ(render.Wait(), 1);
    EXPECT_NE(out.find("pos-printer-sim: cannot read " + dir + "/missing.bin: No such file"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("printer 1 file#2 paper: receipt-0001.png, 576 × "), std::string::npos)
        << out;
    EXPECT_EQ(access((dir + "/receipt-0001.json").c_str(), R_OK), 0);
    for (const char* name : {"receipt-0001.png", "receipt-0001.json", "index.html", "job.bin"})
        unlink((dir + "/" + name).c_str());
    EXPECT_EQ(rmdir(folder), 0);
}

TEST(SimProgram, LinesReachAPipeAsTheyHappenAndTermEndsIt) {
    Program sim({"--tcp-port", "0", "--udp-port", "0"});
    const std::string start = sim.ReadUntil("\n", 5s);
    const std::size_t at = start.find("listening on TCP port ");
    ASSERT_NE(at, std::string::npos) << start;
    const int port = std::stoi(start.substr(at + 22));

    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    const uint8_t cutter[] = {0x1F, 0x1B, 0x75, 0x9A, 0x01, 0x00};
    ASSERT_EQ(send(fd, cutter, sizeof cutter, MSG_NOSIGNAL), 6);
    // Seen while the connection is still open: the line was written and flushed at once.
    EXPECT_NE(
        sim.ReadUntil("setting cutter", 5s).find("printer 1 tcp#1 setting cutter: 01 (Off)\n"),
        std::string::npos);
    close(fd);
    EXPECT_NE(sim.ReadUntil("closed", 5s).find("connection closed, 6 bytes in all"),
              std::string::npos);
    kill(sim.pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
}

// --http without --receipts: the console on loopback, the receipts in a new temporary folder named
// in the log and removed at the end; a second console on the same port is refused at start.
TEST(SimProgram, TheConsoleKeepsReceiptsInATemporaryFolderUntilTheEnd) {
    Program sim({"--tcp-port", "0", "--udp-port", "0", "--http", "0"});
    const std::string start = sim.ReadUntil("removed at the end", 5s);
    const std::size_t console = start.find("sim console at http://127.0.0.1:");
    ASSERT_NE(console, std::string::npos) << start;
    EXPECT_NE(start.find("/ (this computer only)\n", console), std::string::npos) << start;
    const std::string port = std::to_string(std::stoi(start.substr(console + 32)));
    const std::string said = "receipts go to a temporary folder, ";
    const std::size_t at = start.find(said);
    ASSERT_NE(at, std::string::npos) << start;
    const std::string folder =
        start.substr(at + said.size(), start.find(',', at + said.size()) - (at + said.size()));
    EXPECT_NE(folder.find("pos-printer-sim-"), std::string::npos) << folder;
    EXPECT_EQ(access(folder.c_str(), W_OK), 0) << folder;

    Program second({"--tcp-port", "0", "--udp-port", "0", "--http", port});
    EXPECT_NE(second.ReadUntil("cannot serve", 5s)
                  .find("pos-printer-sim: cannot serve the console on "
                        "127.0.0.1:" +
                        port + ": Address already in use"),
              std::string::npos);
    EXPECT_EQ(second.Wait(), 1);

    kill(sim.pid(), SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_NE(access(folder.c_str(), F_OK), 0) << folder << " is still there";
}

}  // namespace
}  // namespace simtest
