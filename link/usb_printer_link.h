#pragma once
// Raw USB printer transport shared by both programs: find the first present device whose product
// id is on the program's list (vendor ignored), open it, write bulk pieces with a time-out.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace printerlink {

enum class UsbProgram { Tessary, Brindel };

// "pid_xxxx" tokens documenting the accepted product ids, in list order; the 7th differs.
const std::array<const char*, 7>& ProductIdTokens(UsbProgram program);
const std::array<uint16_t, 7>& ProductIds(UsbProgram program);

// One present USB device as the backend enumerates it.
struct UsbDeviceInfo {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::string path;  // e.g. "usb:1-2.3 vid_1fc9&pid_2016"
};

// The device a Windows device interface path names, e.g. "\\?\usb#vid_1fc9&pid_2016#5&...":
// the ids of its first "vid_" and "pid_" tokens (four lower-case hexadecimal digits, as the
// system writes them: "PID_2016" is no token; a path without a vendor token gets vendor 0).
// nullopt without a product token, or for a path that does not fit the system's 260-byte path
// buffer with its end mark.
inline constexpr std::size_t kMaxDevicePath = 260;
std::optional<UsbDeviceInfo> DeviceFromInterfacePath(std::string_view path);

// The kernel's USB printer driver: the only driver that is detached to write to a device. A
// listed product id on a device bound to any other driver (a serial adapter, a keyboard) is not
// a printer.
inline constexpr const char* kKernelPrinterDriver = "usblp";

// An opened device (the probe): claim its bulk OUT interface, then write with a time-out.
class UsbDeviceHandle {
  public:
    virtual ~UsbDeviceHandle() = default;
    // The kernel driver bound to the interface the writes would use; empty when none is.
    virtual std::string BoundDriver() = 0;
    // Claims that interface, detaching the bound kernel driver first when `detachDriver` is set
    // (it is reattached when the handle closes). False when the device has no bulk OUT
    // endpoint or the claim is refused.
    virtual bool Claim(bool detachDriver) = 0;
    // Writes up to `length` bytes; returns how many actually went out (also when the time-out
    // hit after part of the piece left); `ok` is false on error or time-out.
    virtual std::size_t BulkWrite(const uint8_t* bytes, std::size_t length, unsigned timeoutMs,
                                  bool& ok) = 0;
    // Reads what the printer answers on the claimed interface's bulk IN endpoint, waiting at most
    // `timeoutMs`: the count read (0 when nothing came); `ok` is false on an error, and when the
    // device has no way to answer (the default).
    virtual std::size_t BulkRead(uint8_t* buffer, std::size_t capacity, unsigned timeoutMs,
                                 bool& ok) {
        (void)buffer, (void)capacity, (void)timeoutMs;
        ok = false;
        return 0;
    }
};

// Enumeration and opening, so tests can script devices.
class UsbBackend {
  public:
    virtual ~UsbBackend() = default;
    virtual std::vector<UsbDeviceInfo> EnumeratePresent() = 0;
    // The probe and open in one: null when the device cannot be opened.
    virtual std::unique_ptr<UsbDeviceHandle> Open(const UsbDeviceInfo& device) = 0;
    // Blocks until a device arrives or leaves, InterruptWait() is called or `limit` passes, and
    // returns true. Returns false at once when the backend has no hotplug events; the caller
    // then paces its probes itself.
    virtual bool WaitForHotplug(std::chrono::milliseconds limit) {
        (void)limit;
        return false;
    }
    // Ends the wait in progress, or else the next one, at once. Callable from any thread.
    virtual void InterruptWait() {}
};

// The libusb backend (kernel driver auto-detached, bulk OUT interface claimed, printer class
// preferred). It has hotplug events where libusb offers them on the platform.
std::shared_ptr<UsbBackend> MakeLibusbBackend();
// This system's backend: libusb on Linux, SetupAPI device interfaces on Windows.
std::shared_ptr<UsbBackend> MakeSystemUsbBackend();

class UsbPrinterLink {
  public:
    UsbPrinterLink(std::shared_ptr<UsbBackend> backend, UsbProgram program);
    virtual ~UsbPrinterLink();  // Close()

    // 1 when a device was chosen and its bulk OUT interface claimed, 0 when none. A listed
    // device is skipped when it cannot be opened, is bound to a driver other than the kernel's
    // printer driver (nothing is detached then), or cannot be claimed. The chosen device's path
    // is in DevicePath().
    int Open();
    // 1 when Open would find a device, without claiming it (so a write on another link to the
    // same printer is not disturbed); the link stays closed, DevicePath() names the device.
    int Probe();
    // Tessary: one piece; bytesWritten gets what went out. 1 = complete, 0 = failed/timed out.
    int Write(const uint8_t* bytes, std::size_t length, std::size_t& bytesWritten,
              unsigned timeoutMs);
    // Brindel: 64-byte pieces, 2000 ms each; the total written, or 0 when a piece wrote nothing.
    std::size_t WriteAll(const uint8_t* bytes, std::size_t length);
    // What the printer answers, up to `capacity` bytes within `timeoutMs`: the count read, 0
    // when nothing came or the link cannot read (`ok` false then).
    std::size_t Read(uint8_t* buffer, std::size_t capacity, unsigned timeoutMs, bool& ok);
    void Close();  // safe on a closed link
    bool IsOpen() const;
    const std::string& DevicePath() const;

  private:
    // The first listed device that opens and is not bound to a foreign driver; with `claim` it
    // must also be claimed and stays open.
    int Find(bool claim);

    std::shared_ptr<UsbBackend> backend_;
    UsbProgram program_;
    std::unique_ptr<UsbDeviceHandle> handle_;
    std::string path_;
};

}  // namespace printerlink
