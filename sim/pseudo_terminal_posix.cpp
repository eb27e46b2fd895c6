// Pseudo-terminals on Linux.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

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

void PseudoTerminal::Close() {
    if (master_ != printerlink::kNoSocket) close(static_cast<int>(master_));
    if (slave_ >= 0) close(slave_);
    master_ = printerlink::kNoSocket;
    slave_ = -1;
    path_.clear();
}

}  // namespace sim
