#pragma once
// File-descriptor level helpers for the serial and parallel branches. Every function returns
// -1 / false on failure and leaves errno alone otherwise; none of them throws.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace printerlink {

// Baud-rate text as a decimal integer: leading blanks, an optional '+', then digits up to the
// first non-digit. Anything else (no digits, a minus sign, a value beyond int) gives 0.
unsigned ParseBaudText(std::string_view text);

// Opens a serial port for exclusive use: a character device that is a terminal, opened
// read-write without becoming the controlling terminal, locked with flock and TIOCEXCL (refused
// when another holder has either). The descriptor is left blocking. -1 on any failure.
int OpenSerialExclusive(const std::string& name);

// Sets `baud`, 8 data bits, no parity, one stop bit and clears input parity checking; every
// other setting stays. Rates outside the B-constants go through termios2/BOTHER. Baud 0 changes
// nothing (it would hang the line up). When the port refuses the settings its old ones are
// restored. Returns whether the new settings are in effect.
bool ApplySerialLine(int fd, unsigned baud);

// Switches the terminal's own processing off so the bytes go out exactly as given: no output
// post-processing (a line feed would otherwise become CR LF), no echo of what the printer sends
// back, no canonical input or signal characters. Flow control and line settings stay.
bool MakeSerialRaw(int fd);

// The port's current output rate (termios2), 0 when it cannot be read.
unsigned SerialOutputBaud(int fd);

// How long writing `length` bytes at `baud` may take: twice the wire time (10 bits a byte) plus
// 2 s. An unknown rate (0) counts as 300 baud.
std::chrono::milliseconds SerialWriteTimeout(unsigned baud, std::size_t length);

enum class SerialWrite { Done, TimedOut, Cancelled, Failed };

// Writes all bytes, waiting for room in steps of at most 100 ms until `deadline`, so a line held
// by flow control cannot block for ever; `cancelled` is asked between steps. The descriptor is
// switched to non-blocking.
SerialWrite WriteSerialUntil(int fd, const uint8_t* bytes, std::size_t length,
                             std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled);

// Waits until the port has put out everything it holds, on the same terms.
SerialWrite DrainSerialUntil(int fd, std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled);

// Throws away output the port still holds, so that closing it does not wait for the line.
void DiscardSerialOutput(int fd);

// Releases the exclusive use (TIOCNXCL) and closes.
void CloseSerial(int fd);

// True when the name is a terminal character device that could be opened and locked
// exclusively right now. Opens non-blocking and closes again at once.
bool SerialPortIsFree(const std::string& name);

// Opens the parallel port device write-only and locked with flock; -1 on failure. Never waits
// for a reader (a FIFO without one fails).
int OpenParallelPort(const std::string& path);

// Writes all bytes, resuming after partial writes and signals. False on an error.
bool WriteFully(int fd, const uint8_t* bytes, std::size_t length);

}  // namespace printerlink
