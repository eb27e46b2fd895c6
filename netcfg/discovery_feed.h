#pragma once
// Connects the program's one discovery listener to whichever list shows the devices. The window
// that owns the reply socket owns the feed; a list attaches while it is shown. The listener starts
// with the first attachment and reads until Stop; every new device makes the attached list
// rebuild itself on the UI thread while the listener waits.

#include <functional>
#include <memory>

#include "netcfg/device_table.h"
#include "netcfg/discovery_listener.h"
#include "netcfg/udp_socket.h"
#include "platform/ui_thread.h"

class QListWidget;

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
    // UI thread. `rebuild` runs on the UI thread after each new device until Detach; the first
    // call starts the listener.
    void Attach(std::function<void()> rebuild);
    void Detach();
    // UI thread. Ends the listener (before the reply socket is closed); later attachments only
    // show what the table holds.
    void Stop();
    const DiscoveryListener& Listener() const { return *listener_; }
    DiscoveryListener& Listener() { return *listener_; }

  private:
    DeviceTable table_;
    platform::UiCallGate gate_;
    std::function<void()> rebuild_;  // UI thread only
    std::unique_ptr<DiscoveryListener> listener_;
};

// The list boxes of both programs: one line per slot, in table order (UI thread).
void ShowDevices(QListWidget* list, const DeviceTable& table);
// The selected line, -1 when none.
int SelectedLine(const QListWidget* list);

}  // namespace netcfg
