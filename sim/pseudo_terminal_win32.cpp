// Windows has no pseudo-terminals: --serial is refused there.
#include "sim/pseudo_terminal.h"

namespace sim {

bool PseudoTerminalsAvailable() {
    return false;
}

PseudoTerminal::~PseudoTerminal() {
    Close();
}

bool PseudoTerminal::Open(std::string* error) {
    *error = "--serial needs pseudo-terminals, which only Linux has";
    return false;
}

printerlink::ReceiveStep PseudoTerminal::Read(uint8_t*, std::size_t) const {
    return {printerlink::Received::Closed, 0, {}, 0};
}

bool PseudoTerminal::Write(const uint8_t*, std::size_t) const {
    return false;
}

std::size_t PseudoTerminal::Unread() const {
    return 0;
}

bool PseudoTerminal::WriterClosed() const {
    return false;
}

void PseudoTerminal::Close() {}

}  // namespace sim
