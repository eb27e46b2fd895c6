#pragma once
// Connects the program's one discovery listener to whichever list shows the devices. The window
// that owns the reply socket owns the feed; a list attaches while it is shown. The listener starts
// with the first attachment and reads until Stop; every new device makes the attached list
// rebuild itself on the window's thread while the listener waits.

#include <functional>
#include <memory>

#include "netcfg/device_table.h"
#include "netcfg/discovery_listener.h"
#include "netcfg/udp_socket.h"
#include "platform/ui_thread.h"

namespace platform {
class DialogHost;
}

namespace netcfg {

class DiscoveryFeed {
  public:
    // `thread` (the owning window's) and `replySocket` must outlive the feed.
    DiscoveryFeed(const platform::UiThread& thread, const UdpSocket& replySocket,
                  const DiscoveryPolicy& policy);
    ~DiscoveryFeed();  // Stop()
    DiscoveryFeed(const DiscoveryFeed&) = delete;
    DiscoveryFeed& operator=(const DiscoveryFeed&) = delete;

    DeviceTable& Table() { return table_; }
    // Window's thread. `rebuild` runs on the window's thread after each new device until Detach;
    // the first call starts the listener.
    void Attach(std::function<void()> rebuild);
    void Detach();
    // Window's thread. Ends the listener (before the reply socket is closed); later attachments
    // only show what the table holds.
    void Stop();
    const DiscoveryListener& Listener() const { return *listener_; }
    DiscoveryListener& Listener() { return *listener_; }

  private:
    DeviceTable table_;
    platform::UiCallGate gate_;
    std::function<void()> rebuild_;  // window's thread only
    std::unique_ptr<DiscoveryListener> listener_;
};

// The device lists of both programs: one line per slot, in table order (window's thread).
void ShowDevices(platform::DialogHost& host, int list, const DeviceTable& table);

}  // namespace netcfg
