#pragma once
// Brindel's window ("Ledvane"): the USB firmware download with its progress bar, the USB status
// and device-path labels kept current by the watch thread, the hidden USB service commands, and
// the discovery list of the network download.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "link/usb_printer_link.h"
#include "netcfg/device_table.h"
#include "netcfg/udp_socket.h"
#include "platform/dialog_host.h"
#include "updater/net_download.h"
#include "updater/usb_operations.h"
#include "updater/usb_watch_thread.h"

namespace netcfg {
class DiscoveryFeed;
}
namespace platform {
class MessageSink;
}

namespace updater {

inline constexpr const char* kNoDeviceSelected = "ERROR 请选择设备";
inline constexpr const char* kConnectTestFailed = "网络连接失败";

// Everything the window takes from outside; the defaults are the program's.
struct UpdaterWindowConfig {
    std::shared_ptr<printerlink::UsbBackend> usb;       // the window's link; null: libusb
    std::shared_ptr<printerlink::UsbBackend> watchUsb;  // the watch thread's; null: libusb
    uint16_t replyPort = 8999;                          // 0: any free port (tests)
    std::filesystem::path workDir;                      // the image files; empty: current dir
    platform::MessageSink* messages = nullptr;          // null: the window's message boxes
    std::function<void(int)> exitProgram;               // null: flush and _exit(status)
    std::chrono::milliseconds probeInterval{500};       // watch pace without hotplug events
    bool startWatch = true;
    // Discovery requests and the address-set packet go here; the printers' raw port.
    netcfg::Ipv4Endpoint broadcastTo{0xFFFFFFFFu, netcfg::kDiscoveryPort};
    std::chrono::milliseconds scanInterval{2000};
    uint16_t printerPort = kPrinterPort;
    NetPacing netPacing;
};

enum class StartResult {
    Ready,           // show the window
    ReplyPortTaken,  // another copy runs: end at once with status 0
};

// The window's logic. Its window must outlive it: the destructor closes the window's gate and
// ends the threads that call into it.
class UpdaterWindow final : public platform::DialogPresenter {
  public:
    static constexpr int kScanTimer = 1;  // the window's timer 1: discovery requests

    explicit UpdaterWindow(UpdaterWindowConfig config = {});
    ~UpdaterWindow() override;
    UpdaterWindow(const UpdaterWindow&) = delete;
    UpdaterWindow& operator=(const UpdaterWindow&) = delete;

    static platform::DialogSpec Layout();
    // The template's list entries, the bindings, the window menu's About item.
    void Attach(platform::DialogHost& host) override;
    // Closing: the listener lets go of the reply socket, which is then closed.
    void Closed(int result) override;

    // The start-up sequence: labels, lists, the watch thread, the reply socket.
    StartResult Initialise();

    // True while a USB operation runs; the window then takes no input and cannot be closed.
    bool Busy() const { return busy_; }
    // USB operations that have ended so far (window's thread).
    int OperationsFinished() const { return operationsFinished_; }
    uint16_t ReplyPort() const { return replySocket_.LocalPort(); }
    UsbWatchThread* Watch() const { return watch_.get(); }
    netcfg::DeviceTable* Devices() const;
    // Discovery requests sent by the timer (benchmarks and tests).
    int RequestsSent() const { return requestsSent_; }
    void ShowAbout();

  private:
    void BindControls();
    void FillLists();
    // Runs `operation` on a worker; the window takes no other input until it has ended.
    void RunUsbOperation(std::function<UsbOutcome(UsbOperations&)> operation);
    UsbOperationSinks OperationSinks();
    // The messages, the exit and the bar, shared by the USB and the network download.
    template <class Sinks>
    void FillDownloadSinks(Sinks& sinks);
    void ExitProgram(int status);
    // Discovery: the timer's request, the list in table order, the clearing.
    void OnScanTick();
    void RebuildList();
    void ClearDevices();
    void OnIpSet();
    void OnConnectTest();
    // Runs on the watch thread.
    void RunNetworkDownload();

    UpdaterWindowConfig config_;
    platform::DialogHost* host_ = nullptr;
    platform::MessageSink* messages_ = nullptr;
    printerlink::UsbPrinterLink usbLink_;  // used by one operation at a time
    std::atomic<bool> busy_{false};
    int operationsFinished_ = 0;
    bool connectTesting_ = false;
    std::thread worker_;
    std::unique_ptr<UsbWatchThread> watch_;
    netcfg::UdpSocket replySocket_;
    std::unique_ptr<netcfg::DiscoveryFeed> feed_;
    int requestsSent_ = 0;
    std::thread connectWorker_;
};

}  // namespace updater
