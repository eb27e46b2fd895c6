#pragma once
// Stand-ins for the main window: a port choice the test sets (and can hold the sender inside a
// cycle with), and sinks that record what the sender and the serial probe report.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "link/port_choice.h"

namespace fakes {

class FakePortSource : public printerlink::PortChoiceSource {
  public:
    void Set(const printerlink::PortParams& params);
    printerlink::PortParams ReadPortParams() override;
    int Reads() const;

    // The next read blocks until Release() (or 5 s at most), so a test can act while the
    // sender is inside a cycle.
    void HoldNextRead();
    bool WaitUntilHeld(std::chrono::milliseconds timeout);
    void Release();

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    printerlink::PortParams params_;
    int reads_ = 0;
    bool holdNext_ = false;
    bool holding_ = false;
};

// Port choices for the tests.
printerlink::PortParams NetParams();  // NET, 127.0.0.1
printerlink::PortParams ComParams(const std::string& name, const std::string& baud);
printerlink::PortParams UsbParams();
printerlink::PortParams LptParams();

class RecordingSinks {
  public:
    printerlink::SenderSinks Sinks();
    std::vector<std::string> Statuses() const;
    std::vector<std::string> Messages() const;
    std::vector<int> Exits() const;
    std::vector<printerlink::LinkNotice> Notices() const;
    std::size_t CountStatus(const std::string& text) const;
    std::size_t CountMessage(const std::string& text) const;
    // Status asks and messages in order: "ask net" (or "ask com"), then "asked" once it ended,
    // "message TEXT".
    std::vector<std::string> Log() const;
    // From now on an ask lasts until the sender cancels it (5 s at most: "ask not cancelled").
    void HoldAsks();

  private:
    std::atomic<bool> holdAsks_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> log_;
    std::vector<std::string> statuses_;
    std::vector<std::string> messages_;
    std::vector<int> exits_;
    std::vector<printerlink::LinkNotice> notices_;
};

class RecordingSerialList {
  public:
    printerlink::SerialListSink Sink();
    std::vector<std::string> Events() const;  // "reset" and the names added, in call order

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

}  // namespace fakes
