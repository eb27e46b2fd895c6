// Pseudo-terminals on Linux.
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "sim/pseudo_terminal.h"

namespace sim {

bool PseudoTerminalsAvailable() {
    return true;
}

PseudoTerminal::~PseudoTerminal() {
    Close();
}

bool PseudoTerminal::Open(std::string* error) {
    Close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        *error = std::string("pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) close(master);
        return false;
    }
    // The slave stays open here, so the master never reads a hang-up between the tools'
    // open/close cycles; raw, so every byte arrives as sent.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) {
        *error = std::string("pseudo-terminal ") + name + ": " + std::strerror(errno);
        close(master);
        Close();
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    master_ = static_cast<printerlink::SocketHandle>(master);
    path_ = name;
    // The tools open and close the port for each job; the close marks a job's end (this side's
    // own descriptor was opened before the watch, so only theirs are seen).
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 && inotify_add_watch(watch, name, IN_CLOSE_WRITE) >= 0) {
        watch_ = static_cast<printerlink::SocketHandle>(watch);
    } else if (watch >= 0) {
        close(watch);
    }
    return true;
}

printerlink::ReceiveStep PseudoTerminal::Read(uint8_t* buffer, std::size_t capacity) const {
    using printerlink::Received;
    const ssize_t n = read(static_cast<int>(master_), buffer, capacity);
    if (n > 0) return {Received::Data, static_cast<std::size_t>(n), {}, 0};
    if (n == 0) return {Received::Closed, 0, {}, 0};
    if (errno == EAGAIN || errno == EINTR) return {Received::WouldBlock, 0, {}, 0};
    return {Received::Failed, 0, {}, errno};
}

bool PseudoTerminal::Write(const uint8_t* bytes, std::size_t length) const {
    const ssize_t n = write(static_cast<int>(master_), bytes, length);
    return n == static_cast<ssize_t>(length);
}

std::size_t PseudoTerminal::Unread() const {
    int n = 0;
    if (master_ == printerlink::kNoSocket || ioctl(static_cast<int>(master_), FIONREAD, &n) != 0)
        return 0;
    return static_cast<std::size_t>(std::max(n, 0));
}

bool PseudoTerminal::WriterClosed() const {
    if (watch_ == printerlink::kNoSocket) return false;
    alignas(inotify_event) char buffer[4096];
    bool closed = false;
    for (int i = 0; i < 64; ++i) {
        const ssize_t n = read(static_cast<int>(watch_), buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            closed = closed || (event.mask & IN_CLOSE_WRITE) != 0;
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    return closed;
}

void PseudoTerminal::Close() {
    if (watch_ != printerlink::kNoSocket) close(static_cast<int>(watch_));
    watch_ = printerlink::kNoSocket;
    if (master_ != printerlink::kNoSocket) close(static_cast<int>(master_));
    if (slave_ >= 0) close(slave_);
    master_ = printerlink::kNoSocket;
    slave_ = -1;
    path_.clear();
}

}  // namespace sim
