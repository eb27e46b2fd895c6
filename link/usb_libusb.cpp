// The libusb backend: one libusb context per backend, devices in libusb's enumeration order.
#include <libusb.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <memory>

#include "link/usb_printer_link.h"
#include "link/usb_sysfs.h"

namespace printerlink {
namespace {

constexpr int kPrinterClass = 7;

struct Context {
    libusb_context* ctx = nullptr;
    Context() {
        if (libusb_init(&ctx) != 0) ctx = nullptr;
    }
    ~Context() {
        if (ctx) libusb_exit(ctx);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

// "usb:<bus>-<port>.<port>... vid_xxxx&pid_xxxx"
std::string DevicePath(libusb_device* device, const libusb_device_descriptor& desc) {
    std::string path = "usb:" + std::to_string(libusb_get_bus_number(device));
    uint8_t ports[8];
    const int count = libusb_get_port_numbers(device, ports, sizeof ports);
    for (int i = 0; i < count; ++i) {
        path += (i == 0 ? '-' : '.');
        path += std::to_string(ports[i]);
    }
    char ids[32];
    std::snprintf(ids, sizeof ids, " vid_%04x&pid_%04x", desc.idVendor, desc.idProduct);
    return path + ids;
}

struct BulkOut {
    int interface = -1;
    int altSetting = 0;
    unsigned char endpoint = 0;
    int configuration = 0;    // bConfigurationValue of the configuration it belongs to
    unsigned char input = 0;  // the same interface's bulk IN endpoint, 0 when it has none
};

bool IsBulk(const libusb_endpoint_descriptor& ep, int direction) {
    return (ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK &&
           (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == direction;
}

// The first interface with a bulk OUT endpoint, a printer-class one if there is any.
BulkOut FindBulkOut(libusb_device* device) {
    BulkOut best;
    bool bestIsPrinter = false;
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0) {
        return best;
    }
    for (int i = 0; i < config->bNumInterfaces && !bestIsPrinter; ++i) {
        const libusb_interface& iface = config->interface[i];
        for (int a = 0; a < iface.num_altsetting && !bestIsPrinter; ++a) {
            const libusb_interface_descriptor& alt = iface.altsetting[a];
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if (!IsBulk(ep, LIBUSB_ENDPOINT_OUT)) continue;
                const bool printer = alt.bInterfaceClass == kPrinterClass;
                if (best.interface < 0 || printer) {
                    best = {alt.bInterfaceNumber, alt.bAlternateSetting, ep.bEndpointAddress,
                            config->bConfigurationValue, 0};
                    for (int i2 = 0; i2 < alt.bNumEndpoints; ++i2) {
                        if (IsBulk(alt.endpoint[i2], LIBUSB_ENDPOINT_IN)) {
                            best.input = alt.endpoint[i2].bEndpointAddress;
                            break;
                        }
                    }
                    bestIsPrinter = printer;
                }
                break;
            }
        }
    }
    libusb_free_config_descriptor(config);
    return best;
}

class LibusbHandle : public UsbDeviceHandle {
  public:
    LibusbHandle(std::shared_ptr<Context> context, libusb_device* device,
                 libusb_device_handle* handle)
        : context_(std::move(context)), handle_(handle), out_(FindBulkOut(device)) {
        uint8_t ports[8];
        const int count = libusb_get_port_numbers(device, ports, sizeof ports);
        if (out_.interface >= 0 && count > 0) {
            interfaceName_ =
                UsbInterfaceName(libusb_get_bus_number(device),
                                 std::span<const uint8_t>(ports, static_cast<std::size_t>(count)),
                                 out_.configuration, out_.interface);
        }
    }
    ~LibusbHandle() override {
        if (claimed_) libusb_release_interface(handle_, out_.interface);  // reattaches usblp
        libusb_close(handle_);
    }
    LibusbHandle(const LibusbHandle&) = delete;
    LibusbHandle& operator=(const LibusbHandle&) = delete;

    std::string BoundDriver() override {
        if (out_.interface < 0) return {};
        std::string driver;
        if (!interfaceName_.empty()) driver = UsbInterfaceDriver(kSysfsUsbDevices, interfaceName_);
        // Without sysfs, a driver libusb sees but cannot name is taken as a foreign one.
        if (driver.empty() && libusb_kernel_driver_active(handle_, out_.interface) == 1)
            driver = "unknown";
        return driver;
    }

    bool Claim(bool detachDriver) override {
        if (out_.interface < 0) return false;
        if (claimed_) return true;
        libusb_set_auto_detach_kernel_driver(handle_, detachDriver ? 1 : 0);
        if (libusb_claim_interface(handle_, out_.interface) != 0) return false;
        if (out_.altSetting != 0 &&
            libusb_set_interface_alt_setting(handle_, out_.interface, out_.altSetting) != 0) {
            libusb_release_interface(handle_, out_.interface);
            return false;
        }
        claimed_ = true;
        return true;
    }

    std::size_t BulkWrite(const uint8_t* bytes, std::size_t length, unsigned timeoutMs,
                          bool& ok) override {
        ok = false;
        if (!claimed_ || length > static_cast<std::size_t>(INT_MAX)) return 0;
        int transferred = 0;
        const int rc = libusb_bulk_transfer(handle_, out_.endpoint, const_cast<uint8_t*>(bytes),
                                            static_cast<int>(length), &transferred, timeoutMs);
        ok = rc == 0;
        return transferred > 0 ? static_cast<std::size_t>(transferred) : 0;
    }

    std::size_t BulkRead(uint8_t* buffer, std::size_t capacity, unsigned timeoutMs,
                         bool& ok) override {
        ok = false;
        if (!claimed_ || out_.input == 0 || capacity > static_cast<std::size_t>(INT_MAX)) return 0;
        int transferred = 0;
        const int rc = libusb_bulk_transfer(handle_, out_.input, buffer, static_cast<int>(capacity),
                                            &transferred, timeoutMs);
        ok = rc == 0 || rc == LIBUSB_ERROR_TIMEOUT;  // a time-out is no answer, not an error
        return transferred > 0 ? static_cast<std::size_t>(transferred) : 0;
    }

  private:
    std::shared_ptr<Context> context_;  // outlives the handle
    libusb_device_handle* handle_;
    BulkOut out_;
    std::string interfaceName_;  // sysfs name of the bulk OUT interface
    bool claimed_ = false;
};

class LibusbBackend : public UsbBackend {
  public:
    LibusbBackend() : context_(std::make_shared<Context>()) {}
    ~LibusbBackend() override {
        if (hotplugRegistered_) libusb_hotplug_deregister_callback(context_->ctx, hotplug_);
    }
    LibusbBackend(const LibusbBackend&) = delete;
    LibusbBackend& operator=(const LibusbBackend&) = delete;

    std::vector<UsbDeviceInfo> EnumeratePresent() override {
        std::vector<UsbDeviceInfo> present;
        ForEachDevice([&](libusb_device* device, const libusb_device_descriptor& desc) {
            present.push_back({desc.idVendor, desc.idProduct, DevicePath(device, desc)});
            return false;
        });
        return present;
    }

    std::unique_ptr<UsbDeviceHandle> Open(const UsbDeviceInfo& wanted) override {
        std::unique_ptr<UsbDeviceHandle> opened;
        ForEachDevice([&](libusb_device* device, const libusb_device_descriptor& desc) {
            if (desc.idProduct != wanted.productId || DevicePath(device, desc) != wanted.path) {
                return false;
            }
            libusb_device_handle* handle = nullptr;
            if (libusb_open(device, &handle) != 0) return true;  // the probe failed
            opened = std::make_unique<LibusbHandle>(context_, device, handle);
            return true;
        });
        return opened;
    }

    bool WaitForHotplug(std::chrono::milliseconds limit) override {
        if (!RegisterHotplug()) return false;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (interrupted_.exchange(false) || changed_.exchange(false)) return true;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return true;
            timeval tv{static_cast<time_t>(left.count() / 1000000),
                       static_cast<suseconds_t>(left.count() % 1000000)};
            // Returns after an event (the callback runs in here), the time-out or an interrupt.
            libusb_handle_events_timeout_completed(context_->ctx, &tv, nullptr);
        }
    }

    void InterruptWait() override {
        interrupted_.store(true);
        if (context_->ctx) libusb_interrupt_event_handler(context_->ctx);
    }

  private:
    // Registered on the first wait, so a backend that never waits has no callback.
    bool RegisterHotplug() {
        if (hotplugRegistered_) return true;
        if (!context_->ctx || !libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) return false;
        const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
        hotplugRegistered_ =
            libusb_hotplug_register_callback(context_->ctx, events, LIBUSB_HOTPLUG_NO_FLAGS,
                                             LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                             LIBUSB_HOTPLUG_MATCH_ANY, &OnHotplug, this,
                                             &hotplug_) == LIBUSB_SUCCESS;
        return hotplugRegistered_;
    }

    static int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device*, libusb_hotplug_event,
                                     void* self) {
        static_cast<LibusbBackend*>(self)->changed_.store(true);
        return 0;  // stay registered
    }

    // Calls `visit` for each present device until it returns true.
    template <typename Visit>
    void ForEachDevice(Visit visit) {
        if (!context_->ctx) return;
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context_->ctx, &list);
        if (count < 0) return;
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor desc{};
            if (libusb_get_device_descriptor(list[i], &desc) != 0) continue;
            if (visit(list[i], desc)) break;
        }
        libusb_free_device_list(list, 1);
    }

    std::shared_ptr<Context> context_;
    libusb_hotplug_callback_handle hotplug_ = 0;
    bool hotplugRegistered_ = false;  // used by the waiting thread only
    std::atomic<bool> changed_{false};
    std::atomic<bool> interrupted_{false};
};

}  // namespace

std::shared_ptr<UsbBackend> MakeLibusbBackend() {
    return std::make_shared<LibusbBackend>();
}

std::shared_ptr<UsbBackend> MakeSystemUsbBackend() {
    return MakeLibusbBackend();
}

}  // namespace printerlink
