#pragma once
// The thread that reads discovery replies: a blocking receive on the reply socket, each datagram
// offered to the DeviceTable, and a call to `onStored` whenever a new device took a slot. It
// never spins: it sleeps in the receive, and ends when the socket is shut down.

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "netcfg/device_table.h"
#include "netcfg/udp_socket.h"

namespace netcfg {

class DiscoveryListener {
  public:
    // `socket` must outlive the listener (or its Stop); `onStored` runs on the listener thread.
    DiscoveryListener(const UdpSocket& socket, DeviceTable& table, std::function<void()> onStored);
    ~DiscoveryListener();  // Stop()
    DiscoveryListener(const DiscoveryListener&) = delete;
    DiscoveryListener& operator=(const DiscoveryListener&) = delete;

    // Starts the thread once; false when the socket is invalid or the thread already ran.
    bool Start();
    // Shuts the socket down (which wakes the receive) and waits for the thread to end. The
    // socket stays open for its owner to close. Safe to call more than once.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // Figures for benchmarks and tests.
    uint64_t Received() const { return received_.load(std::memory_order_relaxed); }
    uint64_t Stored() const { return stored_.load(std::memory_order_relaxed); }
    std::thread::native_handle_type NativeHandle() { return thread_.native_handle(); }

  private:
    void Loop();

    const UdpSocket& socket_;
    DeviceTable& table_;
    std::function<void()> onStored_;
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> received_{0};
    std::atomic<uint64_t> stored_{0};
    bool started_ = false;
    std::thread thread_;
};

}  // namespace netcfg
