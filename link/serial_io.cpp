// Serial and parallel ports. This file uses the kernel's termios2 (for arbitrary rates such as
// 128000), so it must not include <termios.h>, whose struct termios clashes with it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "link/device_io.h"
#include "platform/decimal.h"

namespace printerlink {
namespace {

int OpenNonBlocking(const std::string& name, int access) {
    if (name.empty()) return -1;
    int fd;
    do {
        fd = ::open(name.c_str(), access | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool MakeBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool IsTerminalDevice(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && ::isatty(fd) == 1;
}

// Another holder has set the terminal's exclusive mode (root can still open such a terminal,
// so this is checked explicitly instead of relying on open failing with EBUSY).
bool HeldExclusivelyElsewhere(int fd) {
    int exclusive = 0;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// Opens and locks; the caller decides what to do with the descriptor. -1 on failure.
int OpenAndLockTerminal(const std::string& name) {
    const int fd = OpenNonBlocking(name, O_RDWR);
    if (fd < 0) return -1;
    if (!IsTerminalDevice(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        HeldExclusivelyElsewhere(fd) || ::ioctl(fd, TIOCEXCL) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

unsigned ParseBaudText(std::string_view text) {
    const std::optional<int> value = platform::ExtractDecimal(text);
    return (value && *value > 0) ? static_cast<unsigned>(*value) : 0;
}

int OpenSerialExclusive(const std::string& name) {
    const int fd = OpenAndLockTerminal(name);
    if (fd < 0) return -1;
    if (!MakeBlocking(fd)) {
        CloseSerial(fd);
        return -1;
    }
    return fd;
}

bool ApplySerialLine(int fd, unsigned baud) {
    if (baud == 0) return false;
    struct termios2 old {};
    if (::ioctl(fd, TCGETS2, &old) != 0) return false;
    struct termios2 line = old;
    line.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | CSTOPB);
    line.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | CS8;
    line.c_ospeed = baud;
    line.c_ispeed = baud;
    line.c_iflag &= ~static_cast<tcflag_t>(INPCK);
    if (::ioctl(fd, TCSETS2, &line) != 0) {
        ::ioctl(fd, TCSETS2, &old);
        return false;
    }
    struct termios2 now {};
    if (::ioctl(fd, TCGETS2, &now) != 0 || now.c_ospeed == 0) {
        // A driver that fell back to B0 would hang the line up: put the old settings back.
        ::ioctl(fd, TCSETS2, &old);
        return false;
    }
    return true;
}

bool MakeSerialRaw(int fd) {
    struct termios2 line {};
    if (::ioctl(fd, TCGETS2, &line) != 0) return false;
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    return ::ioctl(fd, TCSETS2, &line) == 0;
}

void CloseSerial(int fd) {
    if (fd < 0) return;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);  // also drops the flock
}

bool SerialPortIsFree(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const int fd = OpenAndLockTerminal(name);
    if (fd < 0) return false;
    CloseSerial(fd);
    return true;
}

int OpenParallelPort(const std::string& path) {
    const int fd = OpenNonBlocking(path, O_WRONLY);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !MakeBlocking(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool WriteFully(int fd, const uint8_t* bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace printerlink
