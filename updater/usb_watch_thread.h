#pragma once
// The USB watch thread: probes for a listed printer on a link of its own (opened, never
// claimed, so a download on the window's link can run at the same time), keeps the status label
// following the printer, and runs a requested network download between probes.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "link/usb_printer_link.h"

namespace updater {

inline constexpr const char* kUsbConnect = "USB Connect";
inline constexpr const char* kUsbNotConnect = "USB not Connect";

// Called on the watch thread.
struct UsbWatchSinks {
    std::function<void(const std::string&)> setStatus;      // label 1001, only on a change
    std::function<void(const std::string&)> setDevicePath;  // label 1013, a new path probed
    std::function<void()> networkDownload;  // the requested download; empty: none yet
    std::function<void()> networkDownloadEnded;
};

class UsbWatchThread {
  public:
    // Without hotplug events from `usb` the thread probes every `probeInterval`; with them it
    // probes when a device arrives or leaves (and every `rescan` in case an event was missed).
    UsbWatchThread(std::shared_ptr<printerlink::UsbBackend> usb, UsbWatchSinks sinks,
                   std::chrono::milliseconds probeInterval = std::chrono::milliseconds(500),
                   std::chrono::milliseconds rescan = std::chrono::seconds(2));
    ~UsbWatchThread();  // stops and joins
    UsbWatchThread(const UsbWatchThread&) = delete;
    UsbWatchThread& operator=(const UsbWatchThread&) = delete;

    void Start();
    // Ends the thread after its current probe or download. The program leaves it running until
    // the process ends.
    void Stop();

    // Window side: asks for a network download after the current probe.
    void RequestNetworkDownload();
    bool NetworkDownloadRequested() const { return request_.load() != 0; }
    int Probes() const { return probes_.load(); }

  private:
    void Run();
    void Pause();

    std::shared_ptr<printerlink::UsbBackend> usb_;
    printerlink::UsbPrinterLink link_;
    UsbWatchSinks sinks_;
    std::chrono::milliseconds probeInterval_;
    std::chrono::milliseconds rescan_;
    std::atomic<int> request_{0};
    std::atomic<int> probes_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace updater
