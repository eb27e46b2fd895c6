#pragma once
// The virtual printer's serial side: a pseudo-terminal whose other end the tools open as a serial
// port. Only where the system has pseudo-terminals (Linux); elsewhere Open fails and says so.

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/socket_io.h"

namespace sim {

// Whether this system has pseudo-terminals (--serial).
bool PseudoTerminalsAvailable();

class PseudoTerminal {
  public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a raw pseudo-terminal; false with `error` set when it cannot.
    [[nodiscard]] bool Open(std::string* error);
    // The path the tools open, e.g. "/dev/pts/7".
    const std::string& Path() const { return path_; }
    // The end this side reads, for WaitReadable.
    printerlink::SocketHandle Handle() const { return master_; }
    // One non-blocking read of what the tools wrote.
    printerlink::ReceiveStep Read(uint8_t* buffer, std::size_t capacity) const;
    // Writes what the printer answers; false when it could not.
    bool Write(const uint8_t* bytes, std::size_t length) const;
    void Close();

    // Readable (for WaitReadable) when a tool closed the port it had opened for writing;
    // kNoSocket where closes cannot be seen.
    printerlink::SocketHandle CloseWatch() const { return watch_; }
    // Bytes the tools wrote that this side has not read yet.
    std::size_t Unread() const;
    // Takes the close notices that arrived: true when a writer closed the port since the last call.
    bool WriterClosed() const;

  private:
    printerlink::SocketHandle master_ = printerlink::kNoSocket;
    printerlink::SocketHandle watch_ = printerlink::kNoSocket;
    int slave_ = -1;
    std::string path_;
};

}  // namespace sim
