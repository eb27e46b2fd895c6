#pragma once
// A main window wired to loopback peers: the process-wide pieces (command buffer, reply port,
// working directory, clock, message box, program exit) are the test's own.

#include <QTemporaryDir>
#include <atomic>
#include <filesystem>
#include <memory>
#include <vector>

#include "link/command_buffer.h"
#include "link/usb_printer_link.h"
#include "setuptool/main_window.h"
#include "setuptool/main_window_layout.h"
#include "tests/fakes/manual_clock.h"
#include "tests/fakes/recording_message_sink.h"
#include "tests/fakes/tcp_peer.h"

namespace testsupport {

// No USB printer present.
class NoUsbDevices final : public printerlink::UsbBackend {
  public:
    std::vector<printerlink::UsbDeviceInfo> EnumeratePresent() override { return {}; }
    std::unique_ptr<printerlink::UsbDeviceHandle> Open(const printerlink::UsbDeviceInfo&) override {
        return nullptr;
    }
};

struct WindowHarness {
    // `tcpPort`: where NET commands go (127.0.0.1 is set as the printer address by UseNet()).
    explicit WindowHarness(uint16_t tcpPort = 9, std::filesystem::path workDir = {});
    ~WindowHarness();

    setuptool::MainWindowConfig Config();
    // Builds and initialises the window; false when the start-up did not reach Ready.
    bool Start(setuptool::MainWindowConfig config);
    bool Start() { return Start(Config()); }

    // Checks "NET" and points the printer address at 127.0.0.1.
    void UseNet();
    template <class T>
    T* Get(int id) const {
        return qobject_cast<T*>(window->Control(id));
    }

    QTemporaryDir tempDir;
    std::filesystem::path workDir;
    uint16_t tcpPort;
    printerlink::CommandBuffer buffer;
    fakes::RecordingMessageSink messages;
    fakes::ManualClock clock{1700000000};
    std::atomic<int> exitStatus{-1};
    std::unique_ptr<setuptool::MainWindow> window;
};

// Waits, running the event loop, until delivery `count` (1-based) to `peer` has arrived and its
// connection closed (10 s at most). Its bytes; empty when it did not come.
std::vector<uint8_t> Delivery(const fakes::TcpPrinterPeer& peer, std::size_t count);
// How many connections to `peer` have been closed.
std::size_t ClosedCount(const fakes::TcpPrinterPeer& peer);

}  // namespace testsupport
