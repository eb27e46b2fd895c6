#pragma once
// The serial and parallel ports at the system's level: a descriptor on POSIX, a file handle on
// Windows. Every function returns kNoDevice / false on failure and leaves the system's error for
// LastDeviceError; none of them throws.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace printerlink {

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kNoDevice = -1;

// The parallel port.
#ifdef _WIN32
inline constexpr const char* kDefaultParallelPort = "LPT1";
#else
inline constexpr const char* kDefaultParallelPort = "/dev/lp0";
#endif

// The serial-port names probed for the list: "%d" stands for 0..127.
std::vector<std::string> SystemSerialPatterns();

// A name of the serial-port list: the pattern with its first "%d" replaced by the number. A
// Windows COM name from 10 on is only reachable in the device namespace, so "COM%d" gives
// "COM3" but "\\.\COM12".
std::string SerialPortName(const std::string& pattern, int number);
// The path that opens a serial port the user named: "COM12" (any case) becomes "\\.\COM12";
// every other name is used as it is.
std::string WindowsSerialPath(std::string_view name);

// The system's code of the last failure here (errno, GetLastError), and its text.
int LastDeviceError();
std::string DeviceErrorText(int error);

// Baud-rate text as a decimal integer: leading blanks, an optional '+', then digits up to the
// first non-digit. Anything else (no digits, a minus sign, a value beyond int) gives 0.
unsigned ParseBaudText(std::string_view text);

// Opens a serial port for exclusive use. POSIX: a character device that is a terminal, opened
// read-write without becoming the controlling terminal, locked with flock and TIOCEXCL (refused
// when another holder has either), left blocking. Windows: the COM device opened read-write
// without sharing, for overlapped writes. kNoDevice on any failure.
DeviceHandle OpenSerialExclusive(const std::string& name);

// Sets `baud`, 8 data bits, no parity, one stop bit and clears input parity checking; every
// other setting (flow control, the port's time-outs) stays. POSIX rates outside the B-constants
// go through termios2/BOTHER. Baud 0 changes nothing (it would hang the line up). When the port
// refuses the settings its old ones are restored. Returns whether the new settings are in effect.
bool ApplySerialLine(DeviceHandle port, unsigned baud);

// Switches the terminal's own processing off so the bytes go out exactly as given: no output
// post-processing (a line feed would otherwise become CR LF), no echo of what the printer sends
// back, no canonical input or signal characters. Flow control and line settings stay. (Windows
// ports have no such processing.)
bool MakeSerialRaw(DeviceHandle port);

// The port's current output rate, 0 when it cannot be read.
unsigned SerialOutputBaud(DeviceHandle port);

// How long writing `length` bytes at `baud` may take: twice the wire time (10 bits a byte) plus
// 2 s. An unknown rate (0) counts as 300 baud.
std::chrono::milliseconds SerialWriteTimeout(unsigned baud, std::size_t length);

enum class SerialWrite { Done, TimedOut, Cancelled, Failed };

// Writes all bytes, waiting in steps of at most 100 ms until `deadline`, so a line held by flow
// control cannot block for ever; `cancelled` is asked between steps. A write still held at the
// end is given up (POSIX: the descriptor is non-blocking; Windows: the overlapped write is
// cancelled).
SerialWrite WriteSerialUntil(DeviceHandle port, const uint8_t* bytes, std::size_t length,
                             std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled);

// Waits until the port has put out everything it holds, on the same terms.
SerialWrite DrainSerialUntil(DeviceHandle port, std::chrono::steady_clock::time_point deadline,
                             const std::function<bool()>& cancelled);

// Throws away output the port still holds, so that closing it does not wait for the line.
void DiscardSerialOutput(DeviceHandle port);

// Throws away input the port has received and not yet read (a stale answer).
void DiscardSerialInput(DeviceHandle port);

// Reads what the port receives, up to `capacity` bytes, returning as soon as something came or
// at `deadline`: the count read (0 when nothing came), -1 on a failure.
long ReadSerialUntil(DeviceHandle port, uint8_t* buffer, std::size_t capacity,
                     std::chrono::steady_clock::time_point deadline);

// Releases the exclusive use and closes.
void CloseSerial(DeviceHandle port);

// True when the name is a serial port that could be opened exclusively right now. Opens
// (non-blocking) and closes again at once.
bool SerialPortIsFree(const std::string& name);

// Opens the parallel port device for writing, exclusively (POSIX: flock); kNoDevice on failure.
// Never waits for a reader (a FIFO without one fails).
DeviceHandle OpenParallelPort(const std::string& path);

// Writes all bytes, resuming after partial writes and signals. False on an error.
bool WriteFully(DeviceHandle port, const uint8_t* bytes, std::size_t length);

// Closes a parallel port.
void ClosePort(DeviceHandle port);

}  // namespace printerlink
