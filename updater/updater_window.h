#pragma once
// Brindel's window ("Ledvane"): the USB firmware download with its progress bar, the USB status
// and device-path labels kept current by the watch thread, the hidden USB service commands, and
// the discovery list of the network download.

#include <QDialog>
#include <QTimer>
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
#include "platform/qt/dialog_message_sink.h"
#include "platform/qt/qt_ui_thread.h"
#include "platform/ui_thread.h"
#include "updater/net_download.h"
#include "updater/usb_operations.h"
#include "updater/usb_watch_thread.h"

namespace netcfg {
class DiscoveryFeed;
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
    platform::MessageSink* messages = nullptr;          // null: modal message boxes
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

class UpdaterWindow : public QDialog {
    Q_OBJECT
  public:
    explicit UpdaterWindow(UpdaterWindowConfig config = {}, QWidget* parent = nullptr);
    ~UpdaterWindow() override;  // stops the threads it started

    // The start-up sequence: labels, lists, the watch thread, the reply socket.
    StartResult Initialise();

    QWidget* Control(int id) const;
    // True while a USB operation runs; the window then takes no input and cannot be closed.
    bool Busy() const { return busy_; }
    uint16_t ReplyPort() const { return replySocket_.LocalPort(); }
    UsbWatchThread* Watch() const { return watch_.get(); }
    netcfg::DeviceTable* Devices() const;
    const QTimer& ScanTimer() const { return scanTimer_; }
    // Discovery requests sent by the timer (benchmarks and tests).
    int RequestsSent() const { return requestsSent_; }
    void ShowAbout();

  signals:
    void UsbOperationFinished(updater::UsbOutcome outcome);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void done(int result) override;

  private:
    void BuildWindow();
    void ConnectHandlers();
    void FillLists();
    // Runs `operation` on a worker; the window takes no other input until it has ended.
    void RunUsbOperation(std::function<UsbOutcome(UsbOperations&)> operation);
    UsbOperationSinks OperationSinks();
    // The messages, the exit and the bar, shared by the USB and the network download.
    template <class Sinks>
    void FillDownloadSinks(Sinks& sinks);
    void SetLabel(int id, const std::string& utf8);
    void ExitProgram(int status);
    // Discovery: the timer's request, the list in table order, the clearing.
    void OnScanTick();
    void RebuildList();
    void ClearDevices();
    int SelectedLine() const;
    void OnIpSet();
    void OnConnectTest();
    // Runs on the watch thread.
    void RunNetworkDownload();

    UpdaterWindowConfig config_;
    platform::QtUiThread uiThread_{this};
    platform::UiCallGate gate_{uiThread_};
    std::unique_ptr<platform::MessageSink> ownMessages_;
    platform::MessageSink* messages_;
    printerlink::UsbPrinterLink usbLink_;  // used by one operation at a time
    std::atomic<bool> busy_{false};
    std::thread worker_;
    std::unique_ptr<UsbWatchThread> watch_;
    netcfg::UdpSocket replySocket_;
    std::unique_ptr<netcfg::DiscoveryFeed> feed_;
    QTimer scanTimer_;
    int requestsSent_ = 0;
    std::thread connectWorker_;
};

}  // namespace updater
