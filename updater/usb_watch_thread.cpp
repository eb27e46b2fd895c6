#include "updater/usb_watch_thread.h"

namespace updater {

UsbWatchThread::UsbWatchThread(std::shared_ptr<printerlink::UsbBackend> usb, UsbWatchSinks sinks,
                               std::chrono::milliseconds probeInterval,
                               std::chrono::milliseconds rescan)
    : usb_(usb),
      link_(std::move(usb), printerlink::UsbProgram::Brindel),
      sinks_(std::move(sinks)),
      probeInterval_(probeInterval),
      rescan_(rescan) {}

UsbWatchThread::~UsbWatchThread() {
    Stop();
}

void UsbWatchThread::Start() {
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void UsbWatchThread::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (usb_) usb_->InterruptWait();
    if (thread_.joinable()) thread_.join();
}

void UsbWatchThread::RequestNetworkDownload() {
    {
        std::lock_guard lock(mutex_);  // a waiter between its check and its wait still wakes
        request_.store(1);
    }
    wake_.notify_all();
    if (usb_) usb_->InterruptWait();
}

void UsbWatchThread::Run() {
    bool shown = false;  // the window starts with "USB not Connect"
    std::string path;
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
        }
        const bool present = link_.Probe() == 1;
        if (present && link_.DevicePath() != path) {
            path = link_.DevicePath();
            if (sinks_.setDevicePath) sinks_.setDevicePath(path);
        }
        link_.Close();
        if (present != shown) {
            shown = present;
            if (sinks_.setStatus) sinks_.setStatus(present ? kUsbConnect : kUsbNotConnect);
        }
        probes_.fetch_add(1);
        if (request_.load() != 0) {
            if (sinks_.networkDownload) sinks_.networkDownload();
            request_.store(0);
            if (sinks_.networkDownloadEnded) sinks_.networkDownloadEnded();
        }
        Pause();
    }
}

void UsbWatchThread::Pause() {
    // Hotplug events wake the thread when a device comes or goes; without them it probes at a
    // steady pace. Either wait ends early for a request or Stop().
    if (usb_ && usb_->WaitForHotplug(rescan_)) return;
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, probeInterval_, [this] { return stop_ || request_.load() != 0; });
}

}  // namespace updater
