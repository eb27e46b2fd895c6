#pragma once
// The sender thread: waits (blocking) for a pending command, reads the port choice, opens that
// port, writes the command and closes the port again.

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "link/command_buffer.h"
#include "link/device_io.h"
#include "link/port_choice.h"

namespace printerlink {

class UsbBackend;

// Fixed defaults; tests inject their own.
struct LinkEndpoints {
    uint16_t tcpPort = 9100;
    std::string lptPath = kDefaultParallelPort;
    std::chrono::milliseconds connectTimeout{3000};
    std::chrono::milliseconds retryPause{250};
    std::chrono::milliseconds usbPieceTimeout{1000};
    // A TCP send during which the printer takes nothing for this long is dropped.
    std::chrono::milliseconds tcpStall{10000};
};

// The texts the sender reports (UTF-8).
inline constexpr const char* kComOpenFail = " COM OPEN FAIL";
inline constexpr const char* kLptOpenFail = "LPT OPEN FAIL";
inline constexpr const char* kUsbOpenFail = "USB OPEN FAIL";
inline constexpr const char* kNetConnectFail =
    "网络连接失败,请确定IP地址是否与电脑同一网段,Fail to connect";
inline constexpr const char* kNoPortChosen = "NOT Selet USB OR NET";
inline constexpr const char* kPrintError = "Print error";

class SenderThread {
  public:
    // `usb` supplies the USB backend for the link created per command (the real one is libusb).
    SenderThread(CommandBuffer& buffer, PortChoiceSource& ports, SenderSinks sinks,
                 std::shared_ptr<UsbBackend> usb, LinkEndpoints endpoints = {});
    ~SenderThread();  // stops and joins
    SenderThread(const SenderThread&) = delete;
    SenderThread& operator=(const SenderThread&) = delete;

    void Start();
    // Ends the thread after the current cycle (a write in progress finishes first). Tests use it;
    // the programs leave the thread running until the process ends.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace printerlink
