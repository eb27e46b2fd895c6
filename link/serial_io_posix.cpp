// Serial and parallel ports on POSIX. This file uses the kernel's termios2 (for arbitrary rates
// such as 128000), so it must not include <termios.h>, whose struct termios clashes with it.
#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "link/device_io.h"

namespace printerlink {
namespace {

int Fd(DeviceHandle port) {
    return static_cast<int>(port);
}

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

std::vector<std::string> SystemSerialPatterns() {
    return {"/dev/ttyS%d", "/dev/ttyUSB%d", "/dev/ttyACM%d"};
}

int LastDeviceError() {
    return errno;
}

std::string DeviceErrorText(int error) {
    return std::strerror(error);
}

DeviceHandle OpenSerialExclusive(const std::string& name) {
    const int fd = OpenAndLockTerminal(name);
    if (fd < 0) return kNoDevice;
    if (!MakeBlocking(fd)) {
        CloseSerial(fd);
        return kNoDevice;
    }
    return fd;
}

bool ApplySerialLine(DeviceHandle port, unsigned baud) {
    const int fd = Fd(port);
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

bool MakeSerialRaw(DeviceHandle port) {
    const int fd = Fd(port);
    struct termios2 line {};
    if (::ioctl(fd, TCGETS2, &line) != 0) return false;
    line.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    line.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    return ::ioctl(fd, TCSETS2, &line) == 0;
}

unsigned SerialOutputBaud(DeviceHandle port) {
    const int fd = Fd(port);
    struct termios2 line {};
    if (::ioctl(fd, TCGETS2, &line) != 0) return 0;
    return line.c_ospeed;
}

namespace {
constexpr auto kSerialWaitStep = std::chrono::milliseconds(100);

// Milliseconds to wait in the next step, 0 when the deadline has passed.
int StepMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    return static_cast<int>(std::min(left, kSerialWaitStep).count());
}
}  // namespace

SerialWrite WriteSerialUntil(DeviceHandle port, const uint8_t* bytes, std::size_t length,
                             std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled) {
    const int fd = Fd(port);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return SerialWrite::Failed;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return SerialWrite::Failed;
        // No room: the line is held (flow control) or slower than the writes.
        if (cancelled && cancelled()) return SerialWrite::Cancelled;
        const int step = StepMs(deadline);
        if (step == 0) return SerialWrite::TimedOut;
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, step) < 0 && errno != EINTR) return SerialWrite::Failed;
    }
    return SerialWrite::Done;
}

SerialWrite DrainSerialUntil(DeviceHandle port, std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled) {
    const int fd = Fd(port);
    for (;;) {
        int queued = 0;
        if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return SerialWrite::Done;
        if (cancelled && cancelled()) return SerialWrite::Cancelled;
        const int step = StepMs(deadline);
        if (step == 0) return SerialWrite::TimedOut;
        // The kernel has no wake-up for "output drained" with a time-out: look again shortly.
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(step, 10)));
    }
}

void DiscardSerialOutput(DeviceHandle port) {
    ::ioctl(Fd(port), TCFLSH, TCOFLUSH);
}

void DiscardSerialInput(DeviceHandle port) {
    ::ioctl(Fd(port), TCFLSH, TCIFLUSH);
}

long ReadSerialUntil(DeviceHandle port, uint8_t* buffer, std::size_t capacity,
                     std::chrono::steady_clock::time_point deadline) {
    const int fd = Fd(port);
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, StepMs(deadline));
        if (ready < 0 && errno != EINTR) return -1;
        if (ready > 0) {
            if ((p.revents & POLLIN) == 0) return -1;  // hang-up or error, nothing to read
            const ssize_t n = ::read(fd, buffer, capacity);
            if (n > 0) return static_cast<long>(n);
            if (n < 0 && errno != EAGAIN && errno != EINTR) return -1;
        }
        if (StepMs(deadline) == 0) return 0;
    }
}

void CloseSerial(DeviceHandle port) {
    if (port == kNoDevice) return;
    ::ioctl(Fd(port), TIOCNXCL);
    ::close(Fd(port));  // also drops the flock
}

bool SerialPortIsFree(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const int fd = OpenAndLockTerminal(name);
    if (fd < 0) return false;
    CloseSerial(fd);
    return true;
}

DeviceHandle OpenParallelPort(const std::string& path) {
    const int fd = OpenNonBlocking(path, O_WRONLY);
    if (fd < 0) return kNoDevice;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !MakeBlocking(fd)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return kNoDevice;
    }
    return fd;
}

bool WriteFully(DeviceHandle port, const uint8_t* bytes, std::size_t length) {
    const int fd = Fd(port);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, bytes + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void ClosePort(DeviceHandle port) {
    if (port != kNoDevice) ::close(Fd(port));
}

}  // namespace printerlink
