#pragma once
// A question to the printer and its answer, over a port held open for the exchange: TCP (the
// printer answers on the same connection), a serial port (as the sender sets it up) or USB (the
// printer interface's bulk IN endpoint). The parallel port has no way back and is not offered.
// This serves the status query of the command line and the windows.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "link/tcp_link.h"
#include "link/usb_printer_link.h"

namespace printerlink {

struct QueryAnswer {
    enum class Status { Answered, NoAnswer, Failed } status = Status::NoAnswer;
    std::vector<uint8_t> bytes;  // Answered: what came back
    std::string error;           // Failed: why the port failed
};

class PrinterQuery {
  public:
    virtual ~PrinterQuery() = default;
    // Sends `request`, then reads up to `capacity` answer bytes, returning as soon as some came
    // or after `timeout`. Input left over from before the request is thrown away first.
    virtual QueryAnswer Ask(std::span<const uint8_t> request, std::size_t capacity,
                            std::chrono::milliseconds timeout) = 0;
};

// Each returns null with `error` set when the port cannot be opened. A query over TCP ends the
// connection as a job does (TcpConnection::Finish) once the printer answered; `limits.cancelled`
// and `cancelled` end a wait early (Ask then fails).
std::unique_ptr<PrinterQuery> OpenTcpQuery(const std::array<uint8_t, 4>& ip, uint16_t port,
                                           const TcpLimits& limits, TcpResult& failure);
std::unique_ptr<PrinterQuery> OpenSerialQuery(const std::string& name, unsigned baud,
                                              std::string& error,
                                              std::function<bool()> cancelled = {});
std::unique_ptr<PrinterQuery> OpenUsbQuery(std::shared_ptr<UsbBackend> backend, UsbProgram program,
                                           unsigned writeTimeoutMs, std::string& error);

}  // namespace printerlink
