#pragma once
// Tessary's main window wired to loopback peers: the process-wide pieces (command buffer, reply
// port, working directory, clock, message boxes, program exit) are the test's own. WindowRig runs
// the window's logic on the fake host; tests/setuptool/window_harness.h on the Qt backend.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "link/command_buffer.h"
#include "link/usb_printer_link.h"
#include "setuptool/main_window.h"
#include "setuptool/main_window_layout.h"
#include "tests/fakes/fake_dialog_host.h"
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

// A folder of its own under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// What a test's main window takes from outside.
struct WindowParts {
    // `tcpPort`: where NET commands go (127.0.0.1 is the printer address after UseNet()).
    explicit WindowParts(uint16_t tcpPort = 9, std::filesystem::path workDir = {});

    setuptool::MainWindowConfig Config();

    TempDir tempDir;
    std::filesystem::path workDir;
    uint16_t tcpPort;
    printerlink::CommandBuffer buffer;
    fakes::RecordingMessageSink messages;
    fakes::ManualClock clock{1700000000};
    std::atomic<int> exitStatus{-1};
};

// The window's logic on the fake host; the test's thread is the window's thread.
struct WindowRig : WindowParts {
    using WindowParts::WindowParts;
    ~WindowRig();  // the window's logic goes before its window

    // Builds and initialises the window; false when the start-up did not reach Ready.
    bool Start(setuptool::MainWindowConfig config);
    bool Start() { return Start(Config()); }
    // Checks "NET" and points the printer address at 127.0.0.1.
    void UseNet();
    // Runs the window's thread until `done()` holds (10 s at most).
    bool Pump(const std::function<bool()>& done,
              std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits, running the window's thread, until delivery `count` (1-based) to `peer` has arrived
    // and its connection closed (the status questions asked after a job are no delivery). Its
    // bytes; empty when it did not come.
    std::vector<uint8_t> Delivery(const fakes::TcpPrinterPeer& peer, std::size_t count);

    fakes::FakeDialogHost host{setuptool::MainWindow::Layout()};
    std::unique_ptr<setuptool::MainWindow> window;
};

}  // namespace testsupport
