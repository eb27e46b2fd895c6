#include "netcfg/discovery_feed.h"

#include "platform/dialog_host.h"

namespace netcfg {

DiscoveryFeed::DiscoveryFeed(const platform::UiThread& thread, const UdpSocket& replySocket,
                             const DiscoveryPolicy& policy)
    : table_(policy), gate_(thread) {
    // The list is read on the window's thread when the call runs there, so a list that detached in
    // the meantime is never touched.
    listener_ = std::make_unique<DiscoveryListener>(replySocket, table_, [this] {
        gate_.Run([this] {
            if (rebuild_) rebuild_();
        });
    });
}

DiscoveryFeed::~DiscoveryFeed() {
    Stop();
}

void DiscoveryFeed::Attach(std::function<void()> rebuild) {
    rebuild_ = std::move(rebuild);
    if (!gate_.IsClosed() && !listener_->Running()) listener_->Start();
}

void DiscoveryFeed::Detach() {
    rebuild_ = nullptr;
}

void DiscoveryFeed::Stop() {
    gate_.Close();  // a listener waiting for the UI thread goes on at once
    listener_->Stop();
    rebuild_ = nullptr;
}

void ShowDevices(platform::DialogHost& host, int list, const DeviceTable& table) {
    host.ResetList(list);
    const std::vector<DeviceEntry> devices = table.Devices();
    for (std::size_t i = 0; i < devices.size(); ++i)
        host.InsertItem(list, static_cast<int>(i), ListLine(devices[i]));
}

}  // namespace netcfg
