// Line settings through termios2 (exact rates); kept apart from <termios.h>, which clashes.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "tests/fakes/pty_peer.h"

namespace fakes {

LineSettings ReadLineSettings(int fd) {
    LineSettings s;
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return s;
    s.ok = true;
    s.outputBaud = t.c_ospeed;
    s.inputBaud = t.c_ispeed;
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    s.parity = (t.c_cflag & PARENB) != 0;
    s.twoStopBits = (t.c_cflag & CSTOPB) != 0;
    s.parityCheck = (t.c_iflag & INPCK) != 0;
    s.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    s.xonXoff = (t.c_iflag & IXON) != 0;
    s.outputProcessing = (t.c_oflag & OPOST) != 0;
    s.echo = (t.c_lflag & ECHO) != 0;
    return s;
}

bool SetLineSettings(int fd, const LineSettings& s) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0) return false;
    t.c_cflag &=
        ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_cflag |= s.dataBits == 5 ? CS5 : s.dataBits == 6 ? CS6 : s.dataBits == 7 ? CS7 : CS8;
    if (s.parity) t.c_cflag |= PARENB;
    if (s.twoStopBits) t.c_cflag |= CSTOPB;
    if (s.rtsCts) t.c_cflag |= CRTSCTS;
    t.c_ospeed = s.outputBaud;
    t.c_ispeed = s.inputBaud ? s.inputBaud : s.outputBaud;
    t.c_iflag = s.parityCheck ? (t.c_iflag | INPCK) : (t.c_iflag & ~static_cast<tcflag_t>(INPCK));
    t.c_iflag = s.xonXoff ? (t.c_iflag | IXON) : (t.c_iflag & ~static_cast<tcflag_t>(IXON));
    t.c_oflag =
        s.outputProcessing ? (t.c_oflag | OPOST) : (t.c_oflag & ~static_cast<tcflag_t>(OPOST));
    t.c_lflag = s.echo ? (t.c_lflag | ECHO) : (t.c_lflag & ~static_cast<tcflag_t>(ECHO));
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

}  // namespace fakes
